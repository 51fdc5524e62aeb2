// Initial state of a run from hotstart maps and uniform values: snow water
// equivalent, overland depth (a hotstart map or an initial water-surface
// elevation) and soil moisture spread into the infiltration scheme's state.
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/surface_maps.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "quality/constituent_state.h"
#include "quality/ov_sed_record.h"
#include "soil/soil_state.h"
#include "surface/overland_hotstart.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0; }

void ensure_cells(array1d<double>& a, int n, const char* name) {
  if (a.size() != n) alloc_1d_double(a, n, name);
}

}  // namespace

void read_snow_ov_hotstart(model_state& ms) {
  const hydromet_state& h = ms.hydromet;
  const int n = ms.grid.ncells;

  if (h.init_swe_mode != initial_swe::none) {
    ensure_cells(ms.hydromet.snow_swe, n, "snow_swe");
    ensure_cells(ms.hydromet.snow_swe_scaled, n, "snow_swe_scaled");
    if (h.init_swe_mode == initial_swe::from_map) {
      input_report(ms, console_rule::unless_silent, "reading initial snow swe map from file: %s\n",
                   ms.project.init_swe_file.c_str());
      read_cell_map(ms.grid, ms.hydromet.init_swe_input_file, ms.project.init_swe_file.view(), ms.hydromet.snow_swe,
                    ms.project.optimizer_mode, from_to(0, 100000));
      close_guarded_file(ms.hydromet.init_swe_input_file);
      if (stopped()) return;
      for (int c = 1; c <= n; ++c) ms.hydromet.snow_swe_scaled[c] = ms.hydromet.snow_swe[c] * 10.0;
    } else if (h.init_swe_mode == initial_swe::uniform_depth) {
      for (int c = 1; c <= n; ++c) {
        ms.hydromet.snow_swe[c] = h.init_swe_depth;
        ms.hydromet.snow_swe_scaled[c] = h.init_swe_depth * 10.0;
      }
    }
    ms.hydromet.snow_present = 1;
  }

  ensure_cells(ms.overland.ov_depth, n, "ov_depth");
  // The previous depths are kept where the run starts on water.
  if (ms.overland.ov_hotstart_read_given || ms.overland.init_elev_head_given)
    ensure_cells(ms.overland.ov_depth_old, n, "ov_depth_old");
  if (ms.overland.ov_hotstart_read_given) {
    input_report(ms, console_rule::unless_silent, "reading overland hotstart map from file: %s\n",
                 ms.project.ov_hotstart_read_file.c_str());
    read_cell_map(ms.grid, ms.overland.read_ov_hotstart_file, ms.project.ov_hotstart_read_file.view(), ms.overland.ov_depth,
                  ms.project.optimizer_mode, from_to(0, 1000, "m"));
    close_guarded_file(ms.overland.read_ov_hotstart_file);
    if (stopped()) return;
    for (int c = 1; c <= n; ++c) ms.overland.ov_depth_old[c] = ms.overland.ov_depth[c];
    // Its companion carries the overland lakes and the outlet discharge.
    if (ms.overland.read_ov_state_file.is_open()) {
      ov_sed_record* sed = ms.constituent.soil_erosion_on ? ms.constituent.ov_sed.get() : nullptr;
      ov_sed_carried carried;
      const bool outlet = !ms.channel.chan_explic;
      const bool read = read_overland_state_file(ms.overland.read_ov_state_file, ms.overland, ms.lake, ms.grid,
                                                 sed ? &sed->cells : nullptr, outlet, carried);
      close_guarded_file(ms.overland.read_ov_state_file);
      if (!read) return;
      ms.overland.hotstart_state_read = 1;
      // Without channels the outlet's sediment of the writing run's last
      // step is the first value of the outlet's sediment series.
      const double step = ms.clock.ov_dt > 0.0 ? ms.clock.ov_dt : ms.clock.dt;
      if (sed && outlet) sed->outlet_last_vol = carried.outlet_rate * step;
      if (!carried.ground.empty()) {
        ensure_cells(ms.overland.carried_ground, n, "carried_ground");
        for (int c = 1; c <= n; ++c) ms.overland.carried_ground[c] = carried.ground[static_cast<std::size_t>(c)];
        ms.overland.hotstart_ground_read = 1;
      }
    }
  }

  // A uniform initial water surface fills every cell below it; cells at or
  // above it keep the depth they had.
  if (ms.overland.init_elev_head_given) {
    const double head = ms.overland.init_elev_head;
    for (int c = 1; c <= n; ++c) {
      if (ms.grid.elevation[c] < head) ms.overland.ov_depth[c] = head - ms.grid.elevation[c];
      ms.overland.ov_depth_old[c] = ms.overland.ov_depth[c];
    }
  }

  if (ms.clock.long_term) {
    for (int c = 1; c <= n; ++c)
      if (ms.overland.ov_depth[c] > 1e-16) ms.overland.ov_water_at_start = 1;
    for (int c = 1; c <= ms.hydromet.snow_swe.size(); ++c)
      if (ms.hydromet.snow_swe[c] > 1e-16) ms.hydromet.snow_present = 1;
  }
}

void lay_carried_ground(model_state& ms) {
  overland_state& ov = ms.overland;
  if (ov.carried_ground.empty()) return;
  for (int c = 1; c <= ms.grid.ncells; ++c) ms.grid.elevation[c] = ov.carried_ground[c];
  ov.carried_ground.free();
}

void read_soil_moisture_hotstart(model_state& ms) {
  if (!ms.soil.read_sm_hotstart_given) return;
  const int n = ms.grid.ncells;
  input_report(ms, console_rule::unless_silent, "reading soil moisture hotstart map from file: %s\n",
               ms.project.read_sm_hotstart.c_str());
  ensure_cells(ms.soil.surface_moisture, n, "surface_moisture");
  read_cell_map(ms.grid, ms.soil.read_sm_hotstart_file, ms.project.read_sm_hotstart.view(), ms.soil.surface_moisture,
                ms.project.optimizer_mode, from_to(0, 1));
  close_guarded_file(ms.soil.read_sm_hotstart_file);
  if (stopped()) return;

  // Only the arrays of the chosen scheme exist; the first layer takes the
  // surface value.
  for (int c = 1; c <= n; ++c) {
    const double m = ms.soil.surface_moisture[c];
    if (ms.soil.inf_richards && ms.soil.THETA.rows() >= c && ms.soil.THETA.cols() >= 1) ms.soil.THETA[c][1] = m;
    if (ms.soil.green_ampt && ms.soil.init_moisture.size() >= c) ms.soil.init_moisture[c] = m;
    if (ms.soil.inf_redist) {
      if (ms.soil.init_moisture.size() >= c) ms.soil.init_moisture[c] = m;
      if (ms.soil.init_moisture_redist.size() >= c) ms.soil.init_moisture_redist[c] = m;
      if (ms.soil.init_moisture_old.size() >= c) ms.soil.init_moisture_old[c] = m;
    }
    if (ms.soil.inf_layered_soil && ms.soil.THETA_ML.rows() >= c) ms.soil.THETA_ML[c][1] = m;
  }
}

}  // namespace nivra
