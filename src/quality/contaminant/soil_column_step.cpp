#include "quality/contaminant/soil_column_step.h"

#include <algorithm>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/constituent_kernels.h"
#include "quality/contaminant/soil_column_kernels.h"
#include "quality/nsm.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

enum class column_kind { green_ampt, redistribution, layered };

column_kind kind_of(const soil_state& s) {
  if (s.inf_layered_soil) return column_kind::layered;
  if (s.inf_redist) return column_kind::redistribution;
  return column_kind::green_ampt;
}

bool accounting_kept(const soil_state& s, int cells) {
  return s.sm_water_top.size() == cells && s.sm_water_bottom.size() == cells;
}

// The layers of a layered soil's column under one cell: the class's first
// two layers, or three with a mixing layer cut off the top of the first.
int layered_cell_layers(const constituent_state& k, const soil_class& sc, double* t) {
  const double top_cm = sc.thickness(1);
  if (k.mixing_layer_depth > 1e-16 && top_cm > k.mixing_layer_depth) {
    t[1] = k.mixing_layer_depth / 100.0;
    t[2] = (top_cm - k.mixing_layer_depth) / 100.0;
    t[3] = sc.thickness(2) / 100.0;
    return 3;
  }
  t[1] = top_cm / 100.0;
  t[2] = sc.thickness(2) / 100.0;
  t[3] = 0.0;
  return 2;
}

// The lake cells the column leaves alone: channel-lake cells that are not
// flooded land, overland-lake cells and cells never processed.
bool column_skips(const model_state& ms, int i) {
  const lake_state& lk = ms.lake;
  const int flooded = lk.new_flooded_grid.size() == ms.grid.ncells ? lk.new_flooded_grid[i] : 0;
  if (flooded == -1) return true;
  if (lk.chan_lakes && lk.lake_mask.size() == ms.grid.ncells && lake_cell(lk.lake_mask[i]) && flooded == 0) return true;
  return lk.overland_lake_map_given && lk.oland_lake_new.size() == ms.grid.ncells && lake_cell(lk.oland_lake_new[i]);
}

// The cell's column as the kernel takes it: layers, thickness, porosity,
// water content and the water through each boundary over the step (m,
// positive down).
struct cell_column {
  int layers = 0;
  double thickness[4] = {}, porosity[4] = {}, theta[4] = {};
  double flux[4] = {};
  bool exfiltrating = false;
};

cell_column column_of(model_state& ms, column_kind kind, int i, double area) {
  const constituent_state& k = ms.constituent;
  const soil_state& s = ms.soil;
  cell_column col;
  if (kind == column_kind::layered) {
    const soil_class& sc = ms.soil.soil_classes()[s.soiltype[i]];
    col.layers = std::min(layered_cell_layers(k, sc, col.thickness), k.soil_contam_layers);
  } else {
    col.layers = k.soil_contam_layers;
    for (int l = 1; l <= col.layers; ++l) col.thickness[l] = k.soil_layer_thickness[l];
  }
  for (int l = 1; l <= col.layers; ++l) {
    col.theta[l] = k.THETA(i, l);
    col.porosity[l] = kind == column_kind::layered ? k.THETAS(i, l) : s.soil_porosity[i];
  }
  if (kind == column_kind::green_ampt) return col;  // no water moves through a single Green-Ampt layer
  const groundwater_state& g = ms.groundwater;
  const bool table = g.water_table_given && g.yes_exfil.size() == ms.grid.ncells;
  if (table && g.yes_exfil[i] == 1) {
    // Water rising from the table through every boundary.
    col.exfiltrating = true;
    const double up = k.soil_con_exfil_vol.size() == ms.grid.ncells ? k.soil_con_exfil_vol[i] / area : 0.0;
    for (int l = 0; l <= col.layers; ++l) col.flux[l] = -up;
    return col;
  }
  if (s.sm_interlayer_flow.size() != ms.grid.ncells) return col;
  const double between = s.sm_interlayer_flow[i] / 100.0, below = s.sm_percolation[i] / 100.0;
  for (int l = 1; l < col.layers; ++l) col.flux[l] = between;
  col.flux[col.layers] = below;
  return col;
}

}  // namespace

void fill_layer_water_content(model_state& ms) {
  constituent_state& k = ms.constituent;
  const int cells = ms.grid.ncells;
  const int layers = k.soil_contam_layers;
  if (layers < 1 || k.THETA.empty()) return;
  soil_state& s = ms.soil;
  const groundwater_state& g = ms.groundwater;
  const bool table = g.water_table_given && g.elevgw.size() == cells && ms.grid.elevation.size() == cells;
  const bool accounting = accounting_kept(s, cells);
  const column_kind kind = kind_of(s);
  for (int i = 1; i <= cells; ++i) {
    const double surface = s.surface_moisture.size() == cells ? s.surface_moisture[i] : 0.0;
    if (kind == column_kind::green_ampt || !accounting) {
      // One water content for the whole column: the surface moisture.
      for (int l = 1; l <= layers; ++l) {
        k.THETA(i, l) = surface;
        k.THETAS(i, l) = s.soil_porosity.size() == cells ? s.soil_porosity[i] : 0.0;
      }
      if (kind != column_kind::layered) continue;
    }
    if (kind == column_kind::redistribution) {
      soil_layer_water w;
      w.top_cm = k.top_layer_depth;
      w.moist_cm = k.soil_moist_depth;
      w.mixing_cm = k.mixing_layer_depth;
      w.water_top_cm = s.sm_water_top[i];
      w.water_bottom_cm = s.sm_water_bottom[i];
      w.porosity = s.soil_porosity[i];
      for (int l = 1; l <= layers; ++l) w.thickness[l] = k.soil_layer_thickness[l];
      w.layers = layers;
      w.water_table = table;
      w.table_depth = table ? ms.grid.elevation[i] - g.elevgw[i] : 0.0;
      for (int l = 1; l <= layers; ++l) {
        k.THETA(i, l) = layer_water_content(w, l);
        k.THETAS(i, l) = w.porosity;
      }
    } else if (kind == column_kind::layered) {
      const soil_class& sc = ms.soil.soil_classes()[s.soiltype[i]];
      layered_moisture_in in;
      in.layers = std::min(layered_cell_layers(k, sc, in.t), layers);
      in.P1 = sc.porosity(1);
      in.P2 = sc.porosity(2);
      in.water_top_cm = accounting ? s.sm_water_top[i] : surface * sc.thickness(1);
      in.water_bottom_cm = accounting ? s.sm_water_bottom[i] : surface * sc.thickness(2);
      in.table_cm = table ? (ms.grid.elevation[i] - g.elevgw[i]) * 100.0 : sc.thickness(1) + sc.thickness(2) + 1.0;
      const layered_moisture_out out = layered_soil_moisture(in);
      for (int l = 1; l <= in.layers; ++l) {
        k.THETA(i, l) = out.theta[l];
        k.THETAS(i, l) = out.thetas[l];
      }
    }
    // A shallow table puts the accounting's water into fewer centimetres
    // than it was spread over; no layer holds more water than its pores.
    for (int l = 1; l <= layers; ++l)
      if (k.THETAS(i, l) > 0.0 && k.THETA(i, l) > k.THETAS(i, l)) k.THETA(i, l) = k.THETAS(i, l);
  }
}

namespace {

// The water (m3) and the porosity of cell i's top layer.
struct top_layer {
  double water = 0.0, porosity = 0.0;
};

top_layer top_layer_of(model_state& ms, int i) {
  const constituent_state& k = ms.constituent;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const column_kind kind = kind_of(ms.soil);
  top_layer t;
  if (kind == column_kind::green_ampt) {
    const double theta = ms.soil.surface_moisture.size() == ms.grid.ncells ? ms.soil.surface_moisture[i] : 0.0;
    t.water = k.mixing_layer_depth / 100.0 * theta * area;
    t.porosity = ms.soil.soil_porosity[i];
  } else {
    const cell_column col = column_of(ms, kind, i, area);
    t.water = col.theta[1] * col.thickness[1] * area;
    t.porosity = col.porosity[1];
  }
  return t;
}

}  // namespace

top_layer_soil top_layer_soil_of(model_state& ms, int c, int i) {
  const constituent_state& k = ms.constituent;
  top_layer_soil s;
  if (k.soil_contam_layers < 1 || k.THETA.empty()) return s;
  const top_layer t = top_layer_of(ms, i);
  s.porosity = t.porosity;
  s.dissolved_fraction = soil_dissolved_fraction(k.THETA(i, 1), t.porosity, k.soil_partition_coef(c, i));
  return s;
}

double top_layer_water_exchange(model_state& ms, int c, int i, double h, double dt) {
  constituent_state& k = ms.constituent;
  if (k.soil_contam_layers < 1 || k.THETA.empty()) return 0.0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  // The water of the top layer, m3.
  const top_layer t = top_layer_of(ms, i);
  const double layer_water = t.water, porosity = t.porosity;
  const double theta = k.THETA(i, 1);
  const double f = soil_dissolved_fraction(theta, porosity, k.soil_partition_coef(c, i));
  soil_water_exchange_in x;
  x.soil_dissolved_mass = f * k.soil_mass(c, i, 1);
  x.soil_conc = dissolved_concentration(k.soil_mass(c, i, 1), f, layer_water);
  x.water_conc = k.ov_conc(c, i);
  x.water_mass = k.ov_mass(c, i);
  x.water_volume = h * area;
  x.rate = k.cell_uptake_rate(c, i);
  x.area = area;
  return soil_water_exchange(x, dt);
}

jagged_array<double>* nutrient_soil_pool(const constituent_state& k, int c) {
  if (!k.nutrients || !k.nsm_model || k.first_nsm_constituent < 1) return nullptr;
  const int slot = nsm_partner_pool(c - k.first_nsm_constituent);
  if (slot < 0) return nullptr;
  nsm_soil& soil = k.nsm_model->soil;
  jagged_array<double>& pool = soil.pool[static_cast<std::size_t>(slot)];
  if (soil.layers < k.soil_contam_layers || pool.count() < soil.ncells) return nullptr;
  return &pool;
}

double soil_column_mass(const constituent_state& k, int c, int cells) {
  double g = 0.0;
  // Nothing set up for this constituent holds nothing.
  if (k.land_mass.count() < c || k.land_mass.row_length() < cells) return 0.0;
  const bool column = k.soil_contam_layers > 0 && k.soil_mass.count() >= c;
  const jagged_array<double>* pool = column ? nutrient_soil_pool(k, c) : nullptr;
  if (pool && pool->count() < cells) pool = nullptr;
  for (int i = 1; i <= cells; ++i) {
    if (column) {
      for (int l = 1; l <= k.soil_contam_layers; ++l) g += pool ? (*pool)(i, l) : k.soil_mass(c, i, l);
      g += k.soil_infil_mass(c, i) - k.soil_exchange_mass(c, i) + k.cell_exfil_mass(c, i);
    } else {
      g += k.land_mass(c, i);
    }
  }
  return g / 1000.0;
}

double groundwater_received_mass(const mass_ledger& books, int c) {
  double g = 0.0;
  for (int t = 1; t <= books.terms(); ++t) {
    const mass_term_row& r = books.term(t);
    if (r.to == mass_compartment::groundwater) g += books.run_total(c, t);
    if (r.from == mass_compartment::groundwater) g -= books.run_total(c, t);
  }
  return g;
}

void record_soil_column_masses(model_state& ms, ledger_moment moment) {
  constituent_state& k = ms.constituent;
  if (!k.mass_books) return;
  for (int c = 1; c <= k.num_constituents; ++c) {
    // Without a column the land surface's mass is the overland transport's
    // to record.
    if (k.soil_contam_layers > 0)
      k.mass_books->set_mass(c, mass_compartment::soil_column, moment, soil_column_mass(k, c, ms.grid.ncells));
    k.mass_books->set_mass(c, mass_compartment::groundwater, moment, groundwater_received_mass(*k.mass_books, c));
  }
}

void soil_column_constituent_step(model_state& ms) {
  constituent_state& k = ms.constituent;
  clock_state& clock = ms.clock;
  // Without layers (no soil scheme gave the column any) there is nothing
  // to step.
  if (!k.soil_con_trans || k.soil_contam_layers < 1 || !is_due(ms, clock.soil_con_clock.next_time)) return;
  const double dt = seconds_since(ms, clock.soil_con_clock.last_time);
  const int cells = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const column_kind kind = kind_of(ms.soil);
  fill_layer_water_content(ms);
  for (int c = 1; c <= k.num_constituents; ++c) {
    const int type = k.constituent_type[c];
    const bool strained = k.is_sediment_class(c);
    // A nutrient's layers are its partner pool's.
    jagged_array<double>* pool = nutrient_soil_pool(k, c);
    if (pool && pool->count() < cells) pool = nullptr;
    auto layer = [&](int i, int l) -> double& { return pool ? (*pool)(i, l) : k.soil_mass(c, i, l); };
    double decayed = 0.0, to_table = 0.0, from_table = 0.0, reset = 0.0;
    for (int i = 1; i <= cells; ++i) {
      const cell_column col = column_of(ms, kind, i, area);
      contam_column_cell cell;
      cell.layers = col.layers;
      cell.area = area;
      cell.static_soil = k.soil_static_conc != 0;
      for (int l = 1; l <= col.layers; ++l) {
        cell.thickness[l] = col.thickness[l];
        cell.porosity[l] = col.porosity[l];
        cell.theta[l] = col.theta[l];
        // Contaminants split between the water and the grains; the
        // nutrient pools are all in the water.
        cell.dissolved[l] = type == 1 ? soil_dissolved_fraction(col.theta[l], col.porosity[l], k.soil_partition_coef(c, i))
                                      : 1.0;
      }
      cell.decay_rate = type == 1 ? k.soil_decay_coef(c, i) : 0.0;
      const bool moves = !column_skips(ms, i);
      if (moves) {
        // The sediment classes are strained out of the infiltrating water
        // in the top layer and stay there: only dissolved contaminants
        // travel with the soil water.
        if (type == 1 && !strained)
          for (int l = 0; l <= col.layers; ++l) cell.water_flux[l] = col.flux[l];
        cell.table_conc = k.gw_conc(c, i);
        cell.infiltrated = k.soil_infil_mass(c, i);
        cell.taken_by_surface = k.soil_exchange_mass(c, i);
        k.soil_infil_mass(c, i) = 0.0;
        k.soil_exchange_mass(c, i) = 0.0;
      }
      double mass[4] = {};
      for (int l = 1; l <= col.layers; ++l) mass[l] = layer(i, l);
      const contam_column_moved m = contam_column_step(cell, dt, mass);
      double land = 0.0;
      for (int l = 1; l <= col.layers; ++l) {
        layer(i, l) = mass[l];
        k.soil_conc(c, i, l) = soil_layer_concentration(mass[l], col.porosity[l], col.thickness[l], area);
        land += mass[l];
      }
      k.land_mass(c, i) = land;
      // What rose out of the top layer waits for the overland transport.
      k.cell_exfil_mass(c, i) += m.to_surface;
      decayed += m.decayed;
      to_table += m.to_table;
      from_table += m.from_table;
      reset += m.reset;
    }
    // Books, kg. A static soil only reports its decay: its layers keep
    // their mass.
    k.soil_decay_mass[c] += decayed / 1000.0;
    k.GLOBAL_MASS_DECAY[c] += decayed / 1000.0;
    k.soil_mass_seep_to_wt[c] += to_table / 1000.0;
    k.GLOBAL_MASS_OUT[c] += to_table / 1000.0;
    k.soil_mass_seep_from_wt[c] += from_table / 1000.0;
    if (k.mass_books) {
      if (!k.soil_static_conc) k.mass_books->book(c, row(constituent_term::soil_decay), decayed / 1000.0);
      k.mass_books->book(c, row(constituent_term::seepage_to_water_table), to_table / 1000.0);
      k.mass_books->book(c, row(constituent_term::seepage_from_water_table), from_table / 1000.0);
      k.mass_books->book(c, row(constituent_term::soil_negative_reset), reset / 1000.0);
    }
  }
  // The water the accounting and the exfiltration moved has been used.
  for (array1d<double>* a : {&ms.soil.sm_interlayer_flow, &ms.soil.sm_percolation, &k.soil_con_exfil_vol})
    if (!a->empty()) a->fill(0.0);
  k.soil_step_interval_s = dt;
  clock.soil_con_clock.last_time = clock.model_time;
  clock.soil_con_clock.next_time = ms.soil.sm_accounting ? clock.soilmoist_next_time : clock.inf_next_time;
}

}  // namespace nivra
