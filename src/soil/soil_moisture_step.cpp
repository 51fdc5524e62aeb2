// The soil-moisture step of the time loop and its part of the start of an
// event. The kernels see the soil component, the overland depths and the
// evapotranspiration rates; this file reads the rest of the record for them
// and books what they moved.
#include "soil/soil_moisture_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The surface soil moisture of every cell after a pass: the top zone's
// water content (the saturated content of a cell without soil). While a
// storm's redistribution fronts run, the cells with soil keep the surface
// content the redistribution gave them.
void set_surface_moisture(model_state& ms) {
  soil_state& s = ms.soil;
  if (s.surface_moisture.empty()) return;
  const array1d<soil_class>* classes = s.inf_layered_soil ? &s.soil_classes() : nullptr;
  const bool fronts_running = s.inf_redist && ms.clock.inf_redist_active == 1;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double depth = s.sm_depth[c];
    if (classes) {
      const soil_class& k = (*classes)[s.soiltype[c]];
      s.surface_moisture[c] = depth < 1e-16 ? k.porosity(1) : s.sm_water_top[c] / std::min(k.thickness(1), depth);
    } else if (depth < 1e-16) {
      s.surface_moisture[c] = s.soil_porosity[c];
    } else if (!fronts_running) {
      s.surface_moisture[c] = s.sm_water_top[c] / std::min(s.top_layer_depth, depth);
    }
  }
}

// A water content moved into [theta_r + 0.01, phi - 0.01] when it lies
// outside [theta_r, phi], with the console lines that say so.
double within_pores(double theta, double theta_r, double phi, int c, bool console) {
  if (theta >= theta_r && theta <= phi) return theta;
  if (console) std::printf("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", c, theta, theta_r, phi);
  if (theta < theta_r) {
    theta = theta_r + 0.01;
    if (console)
      std::printf("Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing it to %lf\n", c,
                  theta);
  } else {
    theta = phi - 0.01;
    if (console)
      std::printf("Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing it to %lf\n", c,
                  theta);
  }
  return theta;
}

}  // namespace

soil_moisture_domain soil_moisture_kernel_domain(model_state& ms, double dt) {
  soil_moisture_domain d{ms.soil};
  d.ov_depth = ms.overland.ov_depth.data();
  d.ncells = ms.grid.ncells;
  d.cell_area = ms.grid.grid_size * ms.grid.grid_size;
  d.dt = dt;
  d.long_term = ms.clock.long_term != 0;
  d.deardorff = ms.hydromet.et_calc_deardorff != 0;
  const hydromet_state& h = ms.hydromet;
  if (!h.pet_rate.empty() && !h.aet_rate.empty()) {
    d.pet_rate = h.pet_rate.data();
    d.aet_rate = h.aet_rate.data();
  }
  if (!h.rain_depth.empty()) d.rain = h.rain_depth.data();
  if (h.snow_present && !h.snow_swe.empty()) d.snow_swe = h.snow_swe.data();
  if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) d.boundary_type = ms.overland.boundary_type.data();
  d.blocked = blocked_cells(ms.overland);
  if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty()) d.channel_lake = ms.lake.lake_mask.data();
  if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty()) d.overland_lake = ms.lake.oland_lake_new.data();
  if (!ms.groundwater.yes_exfil.empty()) d.exfiltrating = ms.groundwater.yes_exfil.data();
  return d;
}

void et_removal_step(model_state& ms) {
  soil_state& s = ms.soil;
  clock_state& clock = ms.clock;
  if (!s.sm_accounting || s.sm_water.empty() || !is_due(ms, clock.soilmoist_next_time)) return;
  const double dt = seconds_since(ms, clock.soilmoist_last_time);
  if (dt > 0.0) {
    const soil_moisture_domain d = soil_moisture_kernel_domain(ms, dt);
    const soil_moisture_books b = s.inf_layered_soil ? soil_moisture_multilayer(d) : soil_moisture_redist(d);
    ms.ledger.book(b, soil_moisture_books_terms);
  }
  clock.soilmoist_last_time = clock.model_time;
  clock.soilmoist_next_time = clock.model_time + clock.soilmoist_dt_days;
  set_surface_moisture(ms);
}

void start_soil_moisture_event(model_state& ms) {
  soil_state& s = ms.soil;
  if (!ms.clock.long_term || !s.sm_accounting || s.sm_water.empty()) return;
  const bool console = ms.project.optimizer_mode != 1;
  double layered_saturation = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double depth = s.sm_depth[c];
    if (s.inf_redist) {
      const double phi = s.soil_porosity[c];
      const double theta = depth > 1e-16 ? s.sm_water_top[c] / std::min(depth, s.top_layer_depth) : phi;
      s.init_moisture[c] = within_pores(theta, s.resid_sat[c], phi, c, console);
    } else if (s.inf_layered_soil) {
      // Layer 1 from the top zone; the bottom zone's water spread over the
      // depth below layer 1, into layer 2 and, where the column reaches
      // below layer 2, into layer 3 too; the layers below the accounted
      // column saturated (a water table stands there, or the accounting
      // does not reach them); each within its residual and saturated
      // contents. The event starts from layer 1's mean saturation.
      const soil_class& k = s.soil_classes()[s.soiltype[c]];
      const double d1 = k.thickness(1), d2 = k.thickness(2);
      double theta[4] = {0.0, k.porosity(1), k.porosity(2), k.porosity(3)};
      if (depth > 1e-16) {
        theta[1] = s.sm_water_top[c] / std::min(d1, depth);
        if (depth > d1) theta[2] = s.sm_water_bottom[c] / (depth - d1);
        if (depth > d1 + d2) theta[3] = theta[2];
      }
      for (int j = 1; j <= 3; ++j)
        s.THETA_ML(c, j) = std::clamp(theta[j], k.residual_moisture(j), k.porosity(j));
      const double saturation = s.THETA_ML(c, 1) / k.porosity(1);
      if (std::isnan(saturation) && console) std::printf("bad initial value of soil moisture cell %d\n", c);
      layered_saturation += saturation;
    }
  }
  if (s.inf_layered_soil) s.init_soil_water = ms.grid.ncells > 0 ? layered_saturation / ms.grid.ncells : 0.0;
}

namespace {

// A Richards column's saturation weighted by node thickness down to the
// soil-moisture depth (at least its top node).
double column_saturation(const soil_state& s, int c) {
  double water = 0.0, depth = 0.0;
  for (int j = 1; j <= s.numcells[c] - 1 && (j == 1 || depth < s.soil_moist_depth); ++j) {
    const double dz = s.DZ(c, j);
    water += s.THETA(c, j) / s.richards.soil(c, j).theta_s * dz;
    depth += dz;
  }
  return depth > 0.0 ? water / depth : 0.0;
}

int column_nodes(const soil_state& s) {
  int n = 0;
  for (int c = 1; c <= s.numcells.size(); ++c) n += std::max(s.numcells[c] - 1, 0);
  return n;
}

}  // namespace

void soil_event_start_figures(model_state& ms) {
  soil_state& s = ms.soil;
  if (!s.inf_richards || s.numcells.empty()) return;
  s.n_cells_start_event = column_nodes(s);
  s.init_soil_water = 0.0;
  if (!ms.clock.long_term || ms.grid.ncells < 1) return;
  for (int c = 1; c <= ms.grid.ncells; ++c) s.init_soil_water += column_saturation(s, c);
  s.init_soil_water /= ms.grid.ncells;
}

void soil_event_end_figures(model_state& ms) {
  soil_state& s = ms.soil;
  const int n = ms.grid.ncells;
  s.final_soil_moisture = 0.0;
  if (n < 1) return;
  double sum = 0.0;
  if (s.inf_redist && !s.surface_moisture.empty()) {
    for (int c = 1; c <= n; ++c) sum += s.surface_moisture[c] / s.soil_porosity[c];
  } else if (s.inf_layered_soil && !s.sm_water_top.empty()) {
    const array1d<soil_class>& classes = s.soil_classes();
    for (int c = 1; c <= n; ++c) {
      const soil_class& k = classes[s.soiltype[c]];
      const double depth = s.sm_depth[c];
      sum += depth > 1e-16 ? s.sm_water_top[c] / std::min(depth, k.thickness(1)) / k.porosity(1) : 1.0;
    }
  } else if (s.inf_richards && ms.clock.long_term && !s.numcells.empty()) {
    for (int c = 1; c <= n; ++c) sum += column_saturation(s, c);
  }
  s.final_soil_moisture = sum / n;
  if (!s.inf_richards || s.numcells.empty()) return;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  s.net_infil_vol = 0.0;
  for (int c = 1; c <= n; ++c) s.net_infil_vol += s.inf_rich[c] * area;
  s.n_cells_end_event = column_nodes(s);
  // The columns' balance over the event: every term that carries water
  // into or out of the soil (the infiltration less the soil's evaporation,
  // the drainage into the table node, the water passed to and taken from
  // the saturated zone as the table moves through the columns) against the
  // change of their water. The water made holding heads and contents
  // consistent is what the balance checks: it is left out, so that it
  // shows as the error.
  const water_ledger& l = ms.ledger;
  const balance_sums b = l.event_balance_of(
      {water_set{water_compartment::soil}, {water_store::soil}, {water_flux::soil_column_adjustment}});
  s.richards_mass_error = 0.0;
  if (b.initial > 0.0)
    s.richards_mass_error = -b.residual() / b.initial * 100.0;
  else if (std::FILE* f = ms.output.summary_file.fp)
    std::fprintf(f, "\n No Unsaturated Cells in Grid, No infiltration \n");
}

}  // namespace nivra
