// Set-up of the state of the first time step, after the maps and the
// geometry: weather stations and elevation bands of long-term runs, the
// optimisation output, the precipitation events and their start times, the
// initial stored volumes, the downstream channel boundary, and the
// frozen-soil energy array.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/time_series.h"
#include "hydromet/precipitation.h"
#include "model/model_state.h"
#include "run/steps.h"
#include "run/time_loop.h"

namespace nivra {

namespace {

void to_summary(model_state& ms, const char* format, const char* text) {
  if (ms.summary_file.fp) std::fprintf(ms.summary_file.fp, format, text);
}

// A record stamped hour 24 is hour 0 of the next day.
void roll_hour_24(int& year, int& month, int& day, int& hour) {
  if (hour != 24) return;
  hour = 0;
  if (++day <= month_length(year, month)) return;
  day = 1;
  if (++month <= 12) return;
  month = 1;
  ++year;
}

// Counts the events of the precipitation file and keeps their start times;
// false when the run must stop.
bool count_precip_events(model_state& ms) {
  const bool quiet_card = ms.quiet != 0;
  const bool silent = quiet_card || ms.super_quiet || ms.optimizer_mode == 1;
  ms.event_times.clear();
  int count = 0, last_year = 0, last_month = 0, last_day = 0;
  int result;
  for (;;) {
    result = read_precip_file(ms);
    if (process.error_block.stop) return false;
    if (result != 1) break;
    ++count;
    const date_entry& first = ms.dates()[1];
    ms.event_times.push_back(julian_date(first.year, first.month, first.day, first.hour,
                                         first.minute, 0.0));
    last_year = first.year;
    last_month = first.month;
    last_day = first.day;
  }
  if (result == -1) {
    std::printf("Unexpected end of file in rain gage data file.\n");
    std::printf("Check the format of the data file.\nProgram terminated.");
    std::printf("Check rain event %d, event after %d %d %d \n", count + 1, last_year, last_month,
                last_day);
    set_error(own_message_code);
    return false;
  }
  if (!silent) {
    std::printf("End of precipitation input file reached.\n");
    if (ms.long_term && !ms.zem) {
      std::printf("Precip. file contains %d events\n", count);
    } else if (!ms.long_term && !ms.zem) {
      std::printf("Precip. file contains %d events, simulating first event only\n", count);
      std::printf("because LONG_TERM project file card not set in project file.\n");
    } else {
      std::printf("Precip. file contains %d events.\n", count);
    }
  }
  // An event run simulates the first event only.
  ms.num_events = (ms.long_term || ms.zem || count == 0) ? count : 1;
  if (ms.raingage_file.fp) std::rewind(ms.raingage_file.fp);
  if (ms.zem_event_num_given && ms.zem_event_num > ms.num_events) {
    std::printf("\n\nZEM has requested that NIVRA run event %d.\n", ms.zem_event_num);
    std::printf("The precip file specified in the project file: %s\n", ms.precip_file.c_str());
    std::printf("contains only %d events.  PROGRAM TERMINATED.\n\n", ms.num_events);
    set_error(own_message_code);
    return false;
  }
  return true;
}

}  // namespace

void init_station_distances(model_state& ms) {
  if (!ms.long_term) return;
  const int gages = ms.num_hmet_gages;
  for (int g = 1; g <= gages && g <= ms.Gage_XYZ_Lev_P_rh_c_w_t_qh.rows(); ++g) {
    const double x = ms.hmet_xcoord_gage;
    const double y = ms.hmet_ycoord_gage;
    const double z = ms.project_options.hmet_elev_gage;
    auto row = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh[g];
    row[1] = x;
    row[2] = y;
    row[3] = z;
    row[4] = (z - ms.elev_min) / ms.elev_band_height + 2.0;
    if (g > ms.Dist_Cell2Gage.cols()) continue;
    for (int c = 1; c <= ms.ncells; ++c) {
      const double dy = ms.cell_y[c] - y, dx = ms.cell_x[c] - x, dz = ms.elevation[c] - z;
      ms.Dist_Cell2Gage[c][g] = std::sqrt(dy * dy + dx * dx + dz * dz);
    }
  }
  elev_band_assign(ms);
  if (process.error_block.stop) return;
  // Every gage starts from the bands of the first; a later gage takes the
  // elevation and level of the first band within one band height of it.
  array3d<double>& bands = ms.El_T_P_e_es_LR;
  for (int g = 2; g <= gages && g <= bands.dim1(); ++g) {
    for (int b = 1; b <= bands.dim2(); ++b)
      for (int k = 1; k <= bands.dim3(); ++k) bands(g, b, k) = bands(1, b, k);
    const double z = ms.Gage_XYZ_Lev_P_rh_c_w_t_qh(g, 3);
    for (int b = 1; b <= bands.dim2(); ++b) {
      if (std::fabs(bands(g, b, 1) - z) > ms.elev_band_height) continue;
      ms.Gage_XYZ_Lev_P_rh_c_w_t_qh(g, 3) = bands(g, b, 1);
      ms.Gage_XYZ_Lev_P_rh_c_w_t_qh(g, 4) = b + 0.1;
      break;
    }
  }
  slope_normals(ms);
}

void init_event_inputs(model_state& ms) {
  if (ms.long_term) {
    ms.hmet_repaired = 0;
    ms.hmet_record_count = 1;
    read_hmet(ms);
    if (process.error_block.stop) return;
    roll_hour_24(ms.hmet_start_year, ms.hmet_start_month, ms.hmet_start_day, ms.hmet_start_hour);
    roll_hour_24(ms.hmet_end_year, ms.hmet_end_month, ms.hmet_end_day, ms.hmet_end_hour);
    ms.date_stamp_hhmm = ms.hmet_start_hour * 100;
    ms.date_stamp_ymd = (ms.hmet_start_year * 100 + ms.hmet_start_month) * 100 + ms.hmet_start_day;
  }
  ms.hmet_record_count += 1;
  ms.hmet_hour_year = ms.hmet_start_year;
  ms.hmet_hour_month = ms.hmet_start_month;
  ms.hmet_hour_day = ms.hmet_start_day;
  ms.hmet_hour_hour = ms.hmet_start_hour - 1;
  ms.event_index = 0;
  ms.event_active = 0;
  ms.rain_on = 0;

  if (ms.optimize_given) {
    if (ms.optimize.empty()) ms.optimize.assign("nivra_optim.out");
    if (!open_guarded_file(ms.opt_output_file, ms.optimize.view(), "w")) {
      std::fprintf(stderr, "Problem opening optimization output file named:%s for writing\n",
                   ms.optimize.c_str());
      set_error(own_message_code);
      return;
    }
    alloc_1d_double(ms.hyd_loc_peak_q, 100, "hyd_loc_peak_q");
    alloc_1d_double(ms.hyd_loc_volume, 100, "hyd_loc_volume");
  }
  if (!ms.super_quiet && ms.optimizer_mode != 1)
    std::fprintf(stderr, "writing output for optimization to file %s\n", ms.optimize.c_str());
  to_summary(ms, "writing output for optimization to file %s\n", ms.optimize.c_str());

  if (ms.quiet) {
    if (!ms.super_quiet && process.parallel_env.proc_id == 0 && ms.optimizer_mode != 1)
      std::printf("using precipitation data from file: %s\n", ms.precip_file.c_str());
    to_summary(ms, "using precipitation data from file: %s\n", ms.precip_file.c_str());
  }

  if (!ms.precip_unif && !count_precip_events(ms)) return;
  if (ms.zem) ms.long_term = 0;
}

void init_state_variables(model_state& ms) {
  const int n = ms.ncells;
  const double area = ms.grid_size * ms.grid_size;
  if (ms.green_ampt || ms.inf_redist) {
    if (ms.top_layer_depth < 1e-16) ms.top_layer_depth = ms.soil_moist_depth;
    if (ms.mixing_layer_depth < 1e-16) ms.mixing_layer_depth = ms.top_layer_depth;
  }

  // Per-cell arrays of the time loop.
  alloc_1d_int(ms.rain_reset, n, "rain_reset");
  if (ms.flood_grid_given && ms.flood_depth_max.size() != n)
    alloc_1d_double(ms.flood_depth_max, n, "flood_depth_max");
  if (ms.overland_lake_map_given && ms.num_olakes > 0)
    alloc_1d_double(ms.olake_precip_vol, ms.num_olakes, "olake_precip_vol");
  if (ms.chan_lakes && ms.num_lakes > 0 && ms.lake_precip_in.size() != ms.num_lakes)
    alloc_1d_double(ms.lake_precip_in, ms.num_lakes, "lake_precip_in");

  // Water stored below and on the ground at the start.
  double soil = 0.0, simple_soil = 0.0;
  ms.init_gw_vol = 0.0;
  ms.ov_lake_init_vol = 0.0;
  const bool olakes = ms.overland_lake_map_given && !ms.oland_lake_mask.empty();
  for (int c = 1; c <= n; ++c) {
    if (ms.gw_simulation)
      ms.init_gw_vol += (ms.elevgw[c] - ms.bottom_elev[c]) * ms.gw_porosity[c] * area;
    if (olakes && ms.oland_lake_mask[c] > 0 && ms.oland_lake_mask[c] <= ms.olake_table.size()) {
      const int k = ms.oland_lake_mask[c];
      const double level = ms.olake_table[k].value[1];
      const double depth = level - ms.elevation[c];
      if (depth < 0.0) {
        std::printf("\nWARNING: initial water surface elevation in lake %d is %f which is\n", k, level);
        std::printf("less than the land surface elevation in grid cell %d, %f.\n", c, ms.elevation[c]);
        std::printf("You should either raise your initial lake elevation or lower that grid\n");
        std::printf("cell elevation.  Program stopped.\n");
        set_error(own_message_code);
        return;
      }
      ms.ov_lake_init_vol += depth * area;
    }
    if (ms.sm_accounting && !ms.sm_water.empty()) {
      const double v = ms.sm_water[c] / 100.0 * area;
      soil += v;
      simple_soil += v;
      if (ms.gw_simulation && !ms.sm_depth.empty() && !ms.gw_inf_redist_theta.empty()) {
        const double below = ms.elevation[c] - ms.elevgw[c] - ms.sm_depth[c] / 100.0;
        if (below > 0.0) soil += below * ms.gw_inf_redist_theta[c] * area;
      }
    }
    if (ms.inf_richards && !ms.numcells.empty()) {
      for (int k = 1; k <= ms.numcells[c] - 1; ++k) soil += ms.THETA(c, k) * ms.DZ(c, k) / 100.0 * area;
    }
  }
  ms.run_init_soil_vol = soil;
  ms.simple_soil_init_vol = simple_soil;
}

void read_chan_point_sources(model_state& ms) {
  ms.chan_flow_started = 0;
  if (!ms.head_bound) return;
  if (ms.bound_ts_given && !find_time_series(ms.bound_ts.c_str())) {
    set_error(127, ms.bound_ts.view());
    return;
  }
  chan_point_source_value(ms);
  ms.chan_flow_started = 1;
}

int chan_point_source_value(model_state& ms) {
  if (ms.bound_ts_given)
    if (time_series* series = find_time_series(ms.bound_ts.c_str()))
      ms.bound_depth = ts_value_at(ms.model_time, series);
  // The water surface of the last node of the outlet link.
  const int link = ms.num_stream_links;
  if (link < 1 || ms.nx.size() < link) return 0;
  const int node = ms.nx[link];
  if (ms.yp.empty() || node > ms.yp.rows() || link > ms.yp.cols()) return 0;
  ms.yp(node, link) = ms.bel(node, link) + ms.bound_depth;
  if (!ms.chan_depth.empty()) ms.chan_depth(node, link) = ms.bound_depth;
  return 0;
}

void alloc_soil_energy(model_state& ms) {
  if (!ms.gtfsm) return;
  int layers = 1;
  if (ms.sm_accounting) layers = 3;
  if (ms.inf_layered_soil) layers = 4;
  if (ms.inf_richards) layers = ms.max_soil_layers > 0 ? ms.max_soil_layers : 1;
  alloc_2d_double(ms.ncells, layers, ms.SE, "SE");
  process_clock& c = ms.soil_energy_clock;
  c.dt = 3600.0;
  c.dt_days = c.dt / seconds_per_day;
  c.next_time = ms.model_time;
  c.last_time = ms.model_time - c.dt_days;
}

}  // namespace nivra
