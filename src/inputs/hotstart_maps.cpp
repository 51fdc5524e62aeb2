// Initial state of a run from hotstart maps and uniform values: snow water
// equivalent, overland depth (a hotstart map or an initial water-surface
// elevation) and soil moisture spread into the infiltration scheme's state.
#include "core/process.h"
#include "inputs/grid_map.h"
#include "inputs/input_report.h"
#include "inputs/map_phase.h"
#include "model/model_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0; }

void ensure_cells(array1d<double>& a, int n, const char* name) {
  if (a.size() != n) alloc_1d_double(a, n, name);
}

}  // namespace

void read_snow_ov_hotstart(model_state& ms) {
  const project_options& po = ms.project_options;
  const int n = ms.ncells;

  if (po.init_swe_mode > 0) {
    ensure_cells(ms.snow_swe, n, "snow_swe");
    ensure_cells(ms.snow_swe_scaled, n, "snow_swe_scaled");
    if (po.init_swe_mode == 1) {
      input_report(ms, console_rule::unless_silent, "reading initial snow swe map from file: %s\n",
                   ms.init_swe_file.c_str());
      read_cell_map(ms, ms.init_swe_input_file, ms.init_swe_file.view(), ms.snow_swe);
      close_guarded_file(ms.init_swe_input_file);
      if (stopped()) return;
      for (int c = 1; c <= n; ++c) ms.snow_swe_scaled[c] = ms.snow_swe[c] * 10.0;
    } else if (po.init_swe_mode == 3) {
      for (int c = 1; c <= n; ++c) {
        ms.snow_swe[c] = po.init_swe_depth;
        ms.snow_swe_scaled[c] = po.init_swe_depth * 10.0;
      }
    }
    ms.snow_present = 1;
  }

  ensure_cells(ms.ov_depth, n, "ov_depth");
  ensure_cells(ms.ov_depth_old, n, "ov_depth_old");
  if (po.ov_hotstart_read_given) {
    input_report(ms, console_rule::unless_silent, "reading overland hotstart map from file: %s\n",
                 ms.ov_hotstart_read_file.c_str());
    read_cell_map(ms, ms.read_ov_hotstart_file, ms.ov_hotstart_read_file.view(), ms.ov_depth);
    close_guarded_file(ms.read_ov_hotstart_file);
    if (stopped()) return;
    for (int c = 1; c <= n; ++c) ms.ov_depth_old[c] = ms.ov_depth[c];
  }

  // A uniform initial water surface fills every cell below it; cells at or
  // above it keep the depth they had.
  if (po.init_elev_head_given) {
    const double head = po.init_elev_head;
    for (int c = 1; c <= n; ++c) {
      if (ms.elevation[c] < head) ms.ov_depth[c] = head - ms.elevation[c];
      ms.ov_depth_old[c] = ms.ov_depth[c];
    }
  }

  if (ms.long_term) {
    for (int c = 1; c <= n; ++c)
      if (ms.ov_depth[c] > 1e-16) ms.ov_water_at_start = 1;
    for (int c = 1; c <= ms.snow_swe.size(); ++c)
      if (ms.snow_swe[c] > 1e-16) ms.snow_present = 1;
  }
}

void read_soil_moisture_hotstart(model_state& ms) {
  if (!ms.project_options.read_sm_hotstart_given) return;
  const int n = ms.ncells;
  input_report(ms, console_rule::unless_silent, "reading soil moisture hotstart map from file: %s\n",
               ms.read_sm_hotstart.c_str());
  ensure_cells(ms.surface_moisture, n, "surface_moisture");
  read_cell_map(ms, ms.read_sm_hotstart_file, ms.read_sm_hotstart.view(), ms.surface_moisture);
  close_guarded_file(ms.read_sm_hotstart_file);
  if (stopped()) return;

  // Only the arrays of the chosen scheme exist; the first layer takes the
  // surface value.
  for (int c = 1; c <= n; ++c) {
    const double m = ms.surface_moisture[c];
    if (ms.inf_richards && ms.THETA.rows() >= c && ms.THETA.cols() >= 1) ms.THETA[c][1] = m;
    if (ms.green_ampt && ms.init_moisture.size() >= c) ms.init_moisture[c] = m;
    if (ms.inf_redist) {
      if (ms.init_moisture.size() >= c) ms.init_moisture[c] = m;
      if (ms.init_moisture_redist.size() >= c) ms.init_moisture_redist[c] = m;
      if (ms.init_moisture_old.size() >= c) ms.init_moisture_old[c] = m;
    }
    if (ms.inf_layered_soil && ms.THETA_ML.rows() >= c) ms.THETA_ML[c][1] = m;
  }
}

}  // namespace nivra
