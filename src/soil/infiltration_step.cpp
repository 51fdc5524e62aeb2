// The infiltration step of the time loop, its set-up and its part of the
// start of an event. The kernels see only the soil component and the
// overland depths; this file reads the rest of the record for them and books
// what they moved.
#include "soil/infiltration_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/exfiltration.h"
#include "soil/richards_setup.h"
#include "soil/soil_moisture_step.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Water standing on some cell outside the lakes. Between events the
// overland step sleeps and its wet flag keeps the value of its last pass;
// the infiltration step looks at the cells themselves.
bool surface_holds_water(const model_state& ms) {
  const double* h = ms.overland.ov_depth.data();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (overland_lake_of(ms.lake, c) || under_channel_lake(ms.lake, c)) continue;
    if (h[c] > 1e-16) return true;
  }
  return false;
}

bool single_layer(const soil_state& s) { return s.green_ampt || s.inf_redist; }
bool any_scheme(const soil_state& s) { return s.green_ampt || s.inf_redist || s.inf_layered_soil || s.inf_richards; }

// The soil of every cell of the single-layer schemes: a residual saturation
// at or above the porosity leaves no pores to fill and stops the run; an
// initial water content outside what the soil can hold is moved to its
// nearest bound with a warning.
bool check_single_layer_cells(model_state& ms) {
  soil_state& s = ms.soil;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double phi = s.soil_porosity[c];
    double& theta = s.init_moisture[c];
    if (s.inf_redist) {
      const double residual = s.resid_sat[c];
      if (!(residual < phi)) {
        std::printf("Error: the residual saturation of cell %d (%g) is not below its porosity (%g).\n", c, residual,
                    phi);
        stop_with_own_message();
        return false;
      }
      if (theta < residual) {
        input_report(ms, console_rule::unless_quiet,
                     "Warning: initial water content < residual saturation at grid %d\n", c);
        theta = residual;
      }
    }
    if (theta > phi) {
      input_report(ms, console_rule::unless_quiet, "Warning: initial water content > phi at grid %d\n", c);
      theta = phi;
    }
  }
  return true;
}

// The soil classes of the layered cells: every layer has pores, a
// conductivity, a suction and an initial water content within its pores
// that are numbers of their range, and layers 1 and 2 a thickness.
bool check_soil_classes(model_state& ms) {
  soil_state& s = ms.soil;
  if (s.soiltype.empty()) return true;
  const array1d<soil_class>& classes = s.soil_classes();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const int k = s.soiltype[c];
    if (k < 0 || k > classes.size()) {
      std::printf("Error: cell %d has the soil class %d, which is not in the soil table.\n", c, k);
      stop_with_own_message();
      return false;
    }
    const soil_class& soil = classes[k];
    for (int j = 1; j <= 3; ++j) {
      const bool sound = soil.porosity(j) > 0.0 && soil.porosity(j) <= 1.0 && soil.conductivity(j) >= 0.0 &&
                         soil.conductivity(j) <= 1e4 && soil.capillary_head(j) >= 0.0 &&
                         soil.capillary_head(j) <= 1e5 && soil.initial_moisture(j) >= 0.0 &&
                         soil.initial_moisture(j) <= soil.porosity(j) &&
                         (j == 3 || (soil.thickness(j) > 0.0 && soil.thickness(j) <= 1e4));
      if (!sound) {
        std::printf("Error: layer %d of soil class %d (cell %d) has a porosity, conductivity, suction head, "
                    "initial water content or thickness out of its range.\n",
                    j, k, c);
        stop_with_own_message();
        return false;
      }
    }
  }
  return true;
}

// Frozen soil (GTFSM, long-term runs) cuts the conductivity of every soil
// layer, or Richards node, by its liquid-water factor from the ground
// temperature; plain Green-Ampt has no layer factor and takes 1. The
// freezing curve of a soil needs its Brooks-Corey pore index and a suction
// head: Richards columns under the Haverkamp curve and layered soil classes
// without them stop the run.
bool check_frozen_soil(model_state& ms) {
  soil_state& s = ms.soil;
  if (s.inf_richards && s.richards_c_option == retention_haverkamp) {
    std::printf("Error: GTFSM freezes a Richards column through the Brooks-Corey pore index and bubbling head of "
                "its nodes; the Haverkamp curve (RICHARDS_C_OPTION HAVERCAMP) has neither.\n");
    stop_with_own_message();
    return false;
  }
  if (!s.inf_layered_soil || s.soiltype.empty()) return true;
  const array1d<soil_class>& classes = s.soil_classes();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const soil_class& soil = classes[s.soiltype[c]];
    for (int j = 1; j <= 3; ++j) {
      if (soil.pore_index(j) > 0.0 && soil.pore_index(j) <= 100.0 && soil.capillary_head(j) > 0.0) continue;
      std::printf("Error: GTFSM needs a pore-size index above 0 (at most 100) and a suction head above 0 in every "
                  "layer; layer %d of soil class %d (cell %d) has %g and %g cm.\n",
                  j, s.soiltype[c], c, soil.pore_index(j), soil.capillary_head(j));
      stop_with_own_message();
      return false;
    }
  }
  return true;
}

// The soil-moisture accounting layer starts with the initial water content:
// SOIL_MOIST_DEPTH of soil, its top layer the top TOP_LAYER_DEPTH (single
// layer), or layers 1 and 2 of the soil class (layered). A water table
// shallower than that ends the layer at the table; one at or above the
// ground leaves no layer, the soil saturated and the cell exfiltrating
// (unless a channel lake covers it). Under saturated groundwater the
// single-layer soil meets the table at the aquifer's set-up instead.
void fill_accounting_layer(model_state& ms) {
  soil_state& s = ms.soil;
  if (!s.sm_accounting || s.sm_water.empty()) return;
  groundwater_state& g = ms.groundwater;
  const int n = ms.grid.ncells;
  const bool table = g.water_table_given && !g.elevgw.empty() && (s.inf_layered_soil || !g.gw_simulation);
  if (table && g.yes_exfil.size() != n) g.yes_exfil.alloc(n);
  const int* channel_lake = ms.lake.chan_lakes && !ms.lake.lake_mask.empty() ? ms.lake.lake_mask.data() : nullptr;
  for (int c = 1; c <= n; ++c) {
    double depth = s.inf_layered_soil ? 0.0 : s.soil_moist_depth;
    const soil_class* soil = s.inf_layered_soil ? &s.soil_classes()[s.soiltype[c]] : nullptr;
    if (soil) depth = soil->thickness(1) + soil->thickness(2);
    if (table) {
      const double below = (ms.grid.elevation[c] - g.elevgw[c]) * 100.0;  // cm
      if (below <= 0.0) {
        depth = 0.0;
        if (soil) {
          for (int j = 1; j <= 3; ++j) s.THETA_ML(c, j) = soil->porosity(j);
          if (!s.surface_moisture.empty()) s.surface_moisture[c] = soil->porosity(1);
        } else {
          s.init_moisture[c] = s.soil_porosity[c];
        }
        if (!(channel_lake && channel_lake[c] > 0)) {
          g.yes_exfil[c] = 1;
          g.any_exfil = 1;
        }
      } else {
        depth = std::min(depth, below);
      }
    }
    double top = 0.0, bottom = 0.0;
    if (soil) {
      const double d1 = soil->thickness(1);
      top = std::min(depth, d1) * s.THETA_ML(c, 1);
      bottom = std::max(depth - d1, 0.0) * s.THETA_ML(c, 2);
    } else {
      const double theta = s.init_moisture[c];
      top = std::min(depth, s.top_layer_depth) * theta;
      bottom = depth * theta - top;
    }
    s.sm_depth[c] = depth;
    s.sm_water_top[c] = top;
    s.sm_water_bottom[c] = bottom;
    s.sm_water[c] = top + bottom;
  }
}

// The growth of every cell's cumulative infiltration since the last booking:
// the volume (over the open part of a blocked cell; a Richards column's
// infiltration is already a depth over the whole cell) to the ledger, the
// depth to the infiltrated-depth map and, over the whole cell, to the
// soil-moisture accounting. Where no soil store keeps it (Green-Ampt over
// saturated groundwater) the water goes on down to the water table.
void book_infiltration(model_state& ms) {
  soil_state& s = ms.soil;
  const int n = ms.grid.ncells;
  const double* blocked = blocked_cells(ms.overland);
  double* F = s.cum_infil.data();
  double* before = s.cum_infil_prev.data();
  double* depth = s.inf_depth_cell.data();
  double* accounting = s.sm_accounting && !s.sm_infil_in.empty() ? s.sm_infil_in.data() : nullptr;
  groundwater_state& g = ms.groundwater;
  double* table = g.gw_simulation && !accounting && !s.inf_richards && !g.gw_recharge.empty() ? g.gw_recharge.data()
                                                                                              : nullptr;
  const double cell_area = ms.grid.grid_size * ms.grid.grid_size;
  // The overland constituents carry their share of the water into the soil.
  constituent_state& k = ms.constituent;
  double* constituent_water = k.ov_con_trans && k.ov_con_infil_vol.size() == n ? k.ov_con_infil_vol.data() : nullptr;
  double volume = 0.0;
  for (int c = 1; c <= n; ++c) {
    const double dI = F[c] - before[c];
    before[c] = F[c];
    const double open = s.inf_richards ? 1.0 : open_share(blocked, c);
    volume += dI * open;
    depth[c] += dI;
    if (accounting) accounting[c] += dI * open;
    if (table) table[c] += dI * open;
    if (constituent_water) constituent_water[c] += dI * open * cell_area;
  }
  ms.ledger.book(water_flux::infiltration, volume * cell_area);
  if (table) {
    ms.ledger.book(water_flux::unsaturated_down_flux, volume * cell_area);
    ms.ledger.book(water_flux::groundwater_recharge, volume * cell_area);
  }
  // The lumped models take the same water, as depth summed over the cells.
  if (ms.groundwater.sacramento_given) ms.groundwater.sac_infil_in += volume;
  if (ms.groundwater.conceptual_gw_given) ms.groundwater.congw_infil_in += volume;
}

// The start of an event: in a long-term run the columns first catch up with
// the time since the infiltration step last ran (its infiltration and
// evaporation booked), and the infiltration clock restarts now; then every
// column starts the event with a flux top and a sub-step no longer than the
// infiltration step, and its drainage and ponded evaporation (booked as
// they happened) start from nothing.
void start_richards_event(model_state& ms) {
  soil_state& s = ms.soil;
  clock_state& clock = ms.clock;
  if (clock.long_term && clock.clock_call_count != 1) {
    const double dt = seconds_since(ms, clock.inf_last_time);
    if (dt > 0.0) {
      if (!richards_columns_step(ms, dt)) return;
      book_infiltration(ms);
      if (std::FILE* f = ms.output.summary_file.fp)
        std::fprintf(f, "Total evaporation at beginning of event %lf \n", ms.ledger.run_total(water_flux::evaporation));
    }
    if (clock.inf_next_time > clock.model_time + clock.ov_dt_days) {
      clock.inf_last_time = clock.model_time;
      clock.inf_next_time = clock.model_time + clock.ov_dt_days;
    }
  }
  soil_event_start_figures(ms);
  const double longest = clock.inf_dt / 3600.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    s.inf_rate[c] = 0.0;
    s.inf_rich[c] = 0.0;
    s.bound_type[c] = 1;
    if (s.dtr[c] > longest) s.dtr[c] = longest;
    s.unsat_down_flux[c] = 0.0;
    if (clock.long_term) s.direct_evap_cell[c] = 0.0;
  }
}

// A soil hot-start written while an event went on carries its fronts into
// this run's first event when that event starts where the writing run
// ended: the event goes on from the step it had reached, and nothing of
// the soil starts again. An event that starts at another time starts the
// fronts again from the carried water contents, with a warning.
bool continue_carried_fronts(model_state& ms) {
  soil_state& s = ms.soil;
  const int step = s.carried_fronts_step;
  if (step <= 0) return false;
  const bool goes_on = carried_fronts_go_on(ms);
  s.carried_fronts_step = 0;
  if (!goes_on) {
    input_report(ms, console_rule::unless_quiet,
                 "Warning: READ_SM_HOTSTART %s: the run that wrote it ended inside an event (Julian date %.6f); "
                 "this run's first event starts at %.6f, so the wetting fronts start again from the carried water "
                 "contents instead of going on.\n",
                 ms.project.read_sm_hotstart.c_str(), s.carried_fronts_until, ms.clock.model_time);
    return false;
  }
  s.fronts_continue_at = step;
  // The fronts run on, or sleep on until the next event, as they did.
  if (s.inf_redist) ms.clock.inf_redist_active = s.carried_clocks.infiltration.given ? s.carried_clocks.running : 1;
  return true;
}

}  // namespace

bool carried_fronts_go_on(const model_state& ms) {
  const soil_state& s = ms.soil;
  const double half_step = 0.5 * ms.clock.base_dt / seconds_per_day;
  return s.carried_fronts_step > 0 && std::fabs(ms.clock.model_time - s.carried_fronts_until) <= half_step;
}

infiltration_domain infiltration_kernel_domain(model_state& ms) {
  infiltration_domain d{ms.soil};
  d.ov_depth = ms.overland.ov_depth.data();
  d.ncells = ms.grid.ncells;
  d.cell_area = ms.grid.grid_size * ms.grid.grid_size;
  if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) d.boundary_type = ms.overland.boundary_type.data();
  d.blocked = blocked_cells(ms.overland);
  if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty()) d.channel_lake = ms.lake.lake_mask.data();
  if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty()) d.overland_lake = ms.lake.oland_lake_new.data();
  if (ms.clock.long_term && !ms.hydromet.snow_no_infil_cell.empty())
    d.snow_blocked = ms.hydromet.snow_no_infil_cell.data();
  if (ms.clock.long_term && ms.hydromet.cfgi && !ms.hydromet.cfgi_cell.empty()) {
    d.frost_index = ms.hydromet.cfgi_cell.data();
    d.frost_limit = ms.hydromet.cfgi_index;
  }
  if (!ms.groundwater.yes_exfil.empty()) d.exfiltrating = ms.groundwater.yes_exfil.data();
  if (ms.hydromet.gtfsm && !ms.soil.SE.empty()) d.unfrozen = &ms.soil.SE;
  return d;
}

void init_infiltration_state(model_state& ms) {
  soil_state& s = ms.soil;
  if (!any_scheme(s)) return;
  const int n = ms.grid.ncells;
  alloc_1d_double(s.cum_infil, n, "cum_infil");
  alloc_1d_double(s.cum_infil_prev, n, "cum_infil_prev");
  if (s.inf_redist) {
    alloc_1d_double(s.theta_front, n, "theta_front");
    alloc_1d_double(s.redist_infil, n, "redist_infil");
  }
  if (s.sm_accounting) alloc_1d_double(s.sm_infil_in, n, "sm_infil_in");
  if (single_layer(s) && !check_single_layer_cells(ms)) return;
  if (s.inf_layered_soil && !check_soil_classes(ms)) return;
  if (ms.hydromet.gtfsm && !check_frozen_soil(ms)) return;
  fill_accounting_layer(ms);
  for (int c = 1; c <= n && single_layer(s); ++c) {
    const double theta = s.init_moisture[c];
    s.surface_moisture[c] = s.init_moisture_old[c] = theta;
    if (s.inf_redist) s.init_moisture_redist[c] = s.theta_front[c] = theta;
  }
  // The single-layer kernel's suction-deficit term, from the checked soil.
  if (s.green_ampt) s.ga_kernel.prepare(n, s.soil_porosity.data(), s.init_moisture.data(), s.capillary_head.data());
}

void start_infiltration_event(model_state& ms) {
  soil_state& s = ms.soil;
  if (!any_scheme(s) || s.cum_infil.empty()) return;
  if (continue_carried_fronts(ms)) return;
  start_soil_moisture_event(ms);
  if (s.inf_richards) start_richards_event(ms);
  s.cum_infil.fill(0.0);
  s.cum_infil_prev.fill(0.0);
  if (s.inf_layered_soil) {
    s.wetdep.fill(0.0);
    s.inf_rate.fill(0.0);
  }
  if (!s.inf_redist) return;
  ms.clock.inf_redist_active = 1;
  s.redist_infil.fill(0.0);
  for (array1d<int>* words : {&s.iter_pond_1, &s.iter_n, &s.no_wat_prof, &s.iter_i_less_k}) words->fill(0);
  double saturation = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double theta = s.init_moisture[c];
    s.init_moisture_redist[c] = s.init_moisture_old[c] = theta;
    saturation += theta / s.soil_porosity[c];
  }
  s.init_soil_water = ms.grid.ncells > 0 ? saturation / ms.grid.ncells : 0.0;
}

void infiltration_step(model_state& ms) {
  soil_state& s = ms.soil;
  if (!any_scheme(s) || !is_due(ms, ms.clock.inf_next_time)) return;
  const double dt = seconds_since(ms, ms.clock.inf_last_time);
  if (dt > 0.0) {
    const infiltration_domain d = infiltration_kernel_domain(ms);
    infiltration_result r;
    if (s.inf_redist) {
      r = infil_redist_flux(d, dt, ms.clock.inf_event_step);
      ms.clock.inf_event_step += 1;
      exfiltration_step(ms, dt);
    } else if (s.green_ampt) {
      r = infil_ga_cells(d, dt);
    } else if (s.inf_layered_soil) {
      r = infil_layered_cells(d, dt);
      exfiltration_step(ms, dt);
    } else {
      exfiltration_step(ms, dt);
      if (!richards_columns_step(ms, dt)) return;
    }
    if (r.status != infiltration_status::ok) {
      set_error(own_message_code);
      return;
    }
    ms.ledger.book(r, infiltration_books_terms);
    book_infiltration(ms);
  }
  ms.clock.inf_last_time = ms.clock.model_time;
  ms.clock.inf_next_time = ms.clock.model_time + ms.clock.inf_dt_days;

  // Between events the soil-moisture accounting keeps the soil; once the
  // water left on the surface has gone in (or dried), the step sleeps until
  // one overland step into the next event. The redistribution fronts stop
  // with it: the next event starts them again from the accounting's water,
  // and until then the surface moisture is the accounting's top zone.
  if (s.sm_accounting && !ms.overland.ov_water_at_start && !ms.groundwater.any_exfil && !ms.clock.event_active &&
      !(ms.overland.ov_wet && surface_holds_water(ms))) {
    if (s.inf_redist) ms.clock.inf_redist_active = 0;
    s.inf_rate.fill(0.0);  // nothing enters while the surface is dry
    const double next = next_event_start(ms);
    ms.clock.inf_next_time = next >= clock_parked ? clock_parked : next + ms.clock.ov_dt_days;
    // The constituents of the surface water sleep with it; the soil column
    // keeps the accounting's clock, and overland point sources keep theirs
    // (their water wakes the surface when it comes).
    const constituent_state& k = ms.constituent;
    if (k.ov_con_trans && !k.ov_point_source_given) {
      ms.clock.ov_con_clock.next_time = ms.clock.inf_next_time;
      (ms.channel.chan_explic ? ms.clock.chan_outlet_con_clock : ms.clock.ov_outlet_con_clock).next_time =
          ms.clock.inf_next_time;
      if (k.contam_table_input)
        ms.clock.contam_table_clock.next_time = ms.clock.contam_table_soil_clock.next_time = ms.clock.inf_next_time;
    }
  }
}

namespace {

// The constituents of one call's exfiltration. Water rising from the table
// brings the groundwater's concentration onto the cell, and ponded water
// seeping down takes the water's; with a soil column the rising water
// passes through the layers first, and the soil step carries it.
void exfiltrated_constituents(model_state& ms) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  const bool column = k.soil_con_trans && k.soil_con_exfil_vol.size() == n;
  for (int c = 1; c <= n; ++c) {
    const double v = k.exfil_step_vol[c];
    if (v == 0.0) continue;
    k.ov_con_exfil_vol[c] += v;
    if (column) {
      k.soil_con_exfil_vol[c] += v;
      continue;
    }
    for (int j = 1; j <= k.num_constituents; ++j)
      k.cell_exfil_mass(j, c) += v * (v >= 0.0 ? k.gw_conc(j, c) : k.ov_conc(j, c));
  }
}

}  // namespace

void exfiltration_step(model_state& ms, double dt) {
  soil_state& s = ms.soil;
  groundwater_state& g = ms.groundwater;
  if (!g.any_exfil || g.yes_exfil.empty() || g.elevgw.empty()) return;
  if (!(s.inf_redist || s.inf_layered_soil || s.inf_richards)) return;
  exfiltration_domain d;
  d.ncells = ms.grid.ncells;
  d.cell_area = ms.grid.grid_size * ms.grid.grid_size;
  d.saturated_groundwater = g.gw_simulation != 0;
  d.exfiltrating = g.yes_exfil.data();
  d.water_table = g.elevgw.data();
  d.ground = ms.grid.elevation.data();
  d.ov_depth = ms.overland.ov_depth.data();
  if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) d.boundary_type = ms.overland.boundary_type.data();
  d.blocked = blocked_cells(ms.overland);
  if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty()) d.channel_lake = ms.lake.lake_mask.data();
  if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty()) d.overland_lake = ms.lake.oland_lake_new.data();
  if (s.inf_redist) {
    d.form = exfiltration_form::redistribution;
    d.conductivity = s.sat_hyd_cond.data();
    d.layer_depth = s.soil_moist_depth;
  } else if (s.inf_layered_soil) {
    d.form = exfiltration_form::layered;
    d.classes = &s.soil_classes();
    d.soiltype = s.soiltype.data();
  } else {
    d.form = exfiltration_form::richards;
    d.column_conductivity = s.avgks.data();
    d.column_depth = s.totaldz.data();
  }
  if (g.gw_simulation) {
    d.storage = g.gw_porosity.data();
    d.groundwater_dt = g.gw_timestep;
    d.leakage = g.gw_leakage_rate / 360000.0;  // cm/h to m/s
    d.aquifer_change = g.gw_recharge.empty() ? nullptr : g.gw_recharge.data();
  }
  constituent_state& k = ms.constituent;
  const bool constituents = k.ov_con_trans && k.exfil_step_vol.size() == d.ncells;
  if (constituents) {
    k.exfil_step_vol.fill(0.0);
    d.exfiltrated_volume = k.exfil_step_vol.data();
  }
  ms.ledger.book(exfiltrate(d, dt), exfiltration_books_terms);
  if (constituents) exfiltrated_constituents(ms);
}

void wake_surface_processes(model_state& ms) {
  clock_state& clock = ms.clock;
  const double t = clock.model_time;
  const double d = clock.base_dt;
  const double dd = d / seconds_per_day;
  ms.overland.ov_water_at_start = 1;
  clock.ov_dt = clock.inf_dt = d;
  clock.ov_dt_days = clock.inf_dt_days = dd;
  clock.ov_last_time = clock.inf_last_time = t;
  clock.ov_next_time = clock.inf_next_time = t + dd;
  const constituent_state& k = ms.constituent;
  if (k.ov_con_trans) {
    set_clock(clock.ov_con_clock, d, dd, t, t + dd);
    set_clock(ms.channel.chan_explic ? clock.chan_outlet_con_clock : clock.ov_outlet_con_clock, d, dd, t, t + dd);
    if (k.contam_table_input) {
      set_clock(clock.contam_table_clock, d, dd, t, t + dd);
      set_clock(clock.contam_table_soil_clock, d, dd, t, t + dd);
    }
  }
  soil_state& s = ms.soil;
  if (s.sm_accounting) {
    clock.soilmoist_next_time = t + dd;
    clock.soilmoist_dt_days = dd;
    clock.soilmoist_dt = d;
    if (k.soil_con_trans) clock.soil_con_clock.next_time = t + dd;
    // The redistribution fronts and the layered soils start again from the
    // accounting layer, as at an event's start.
    if ((s.inf_redist && !clock.inf_redist_active) || s.inf_layered_soil) start_infiltration_event(ms);
  }
  const pipe_state& p = ms.pipe;
  if (p.storm_sewer_given && !clock.superlink_active && p.num_sjunc >= 1) {
    // The network wakes when some inlet can take the surface's water.
    int inlets = 0;
    for (int j = 1; j <= p.num_sjunc && j <= p.sjunc_inlet.size(); ++j)
      if (p.sjunc_inlet[j] < 777) inlets += p.sjunc_inlet[j];
    for (int l = 1; l <= p.num_slink && !p.inlet_type.empty(); ++l)
      for (int n = 2; n <= p.superlink_cnodes[l]; ++n)
        if (p.inlet_type(n, l) < 777) inlets += p.inlet_type(n, l);
    if (inlets > 0) {
      clock.superlink_active = 1;
      clock.sl_last_time = t;
      clock.sl_next_time = t + clock.ov_dt_days;
    }
  }
}

void constituent_clocks_follow_overland(model_state& ms) {
  const constituent_state& k = ms.constituent;
  if (!k.ov_con_trans) return;
  clock_state& clock = ms.clock;
  const double last = clock.ov_last_time, next = clock.ov_next_time;
  process_clock* clocks[] = {&clock.ov_con_clock, &clock.soil_con_clock,
                             ms.channel.chan_explic ? &clock.chan_outlet_con_clock : &clock.ov_outlet_con_clock,
                             k.contam_table_input ? &clock.contam_table_clock : nullptr,
                             k.contam_table_input ? &clock.contam_table_soil_clock : nullptr};
  for (process_clock* c : clocks) {
    if (!c) continue;
    c->last_time = last;
    c->next_time = next;
  }
}

}  // namespace nivra
