// Set-up of the state of the first time step, after the maps and the
// geometry: weather stations and elevation bands of long-term runs, the
// optimisation output, the precipitation events and their start times, the
// initial stored volumes, the downstream channel boundary, and the
// frozen-soil energy array.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "calibration/capture_buffer.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/time_series.h"
#include "groundwater/groundwater_hotstart.h"
#include "groundwater/groundwater_step.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/precip_file.h"
#include "hydromet/radar.h"
#include "hydromet/weather_step.h"
#include "inputs/grid_state.h"
#include "model/card_table.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "quality/sediment/sediment_books.h"
#include "run/exchange.h"
#include "run/steps.h"
#include "run/water_books.h"
#include "soil/infiltration_step.h"
#include "soil/soil_hotstart.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

void to_summary(model_state& ms, const char* format, const char* text) {
  if (ms.output.summary_file.fp) std::fprintf(ms.output.summary_file.fp, format, text);
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

// How far a point lies outside the grid's edges, m (0 on or inside them).
double distance_from_grid(const grid_state& grid, double x, double y) {
  const double dx = std::max({grid.west - x, 0.0, x - grid.east});
  const double dy = std::max({grid.south - y, 0.0, y - grid.north});
  return std::hypot(dx, dy);
}

// The grid's own extent, m: the longer of its sides.
double grid_extent(const grid_state& grid) {
  return std::max(std::fabs(grid.east - grid.west), std::fabs(grid.north - grid.south));
}

// A gage farther from the grid than the grid is across is most likely given
// in other units or another coordinate system (degrees, feet): it still
// weighs in the rain of every cell, so the run warns, naming the gage and
// its distance. Each gage position is named once.
void warn_of_distant_gages(const model_state& ms, int event, std::vector<std::pair<double, double>>& named) {
  const hydromet_state& hm = ms.hydromet;
  const double extent = grid_extent(ms.grid);
  for (int g = 1; g <= hm.num_gages && g <= hm.gage_x.size() && g <= hm.gage_y.size(); ++g) {
    const double x = hm.gage_x[g], y = hm.gage_y[g];
    const double d = distance_from_grid(ms.grid, x, y);
    if (d <= extent || std::find(named.begin(), named.end(), std::pair{x, y}) != named.end()) continue;
    named.emplace_back(x, y);
    char text[1400];
    std::snprintf(text, sizeof text,
                  "Warning: gage %d of event %d (%s) of the precipitation file %s lies at %.2f, %.2f, %.0f m from "
                  "the grid, which is %.0f m across: its COORD line must give the maps' coordinates in m.\n",
                  g, event, hm.event_title.c_str(), ms.hydromet.raingage_file.name.c_str(), x, y, d, extent);
    report_text(text);
  }
}

// An event of the precipitation file that a storm run leaves out: its
// number, title and first line.
struct event_left_out {
  int number = 0;
  std::string title;
  date_entry first;
};

std::string date_text(const date_entry& d) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day, d.hour, d.minute);
  return text;
}

// "event 2 (title, from 2024-05-20 09:00), event 3 (...)": the first few
// events named, the rest counted.
std::string events_named(const std::vector<event_left_out>& events) {
  constexpr std::size_t named = 5;
  std::string s;
  for (std::size_t i = 0; i < events.size() && i < named; ++i) {
    const event_left_out& e = events[i];
    if (i > 0) s += i + 1 == events.size() ? " and " : ", ";
    s += "event " + std::to_string(e.number) + " (" + e.title + ", from " + date_text(e.first) + ")";
  }
  if (events.size() > named) s += " and " + std::to_string(events.size() - named) + " more";
  return s;
}

// A storm run simulates the first event of its precipitation file: the
// events after it are named in a warning (on the console whatever QUIET
// says, and among the run summary's warnings), and so is a TOT_TIME that
// runs the storm into the time of one of them, which it gets no rain of.
void warn_of_events_left_out(model_state& ms, const std::string& first_title,
                             const std::vector<event_left_out>& later) {
  if (later.empty()) return;
  project_options& po = ms.project.project_options;
  const std::string file = ms.hydromet.raingage_file.name.c_str();
  warn_card(po,
            "the precipitation file " + file + " holds " + std::to_string(later.size() + 1) +
                " events; a storm run simulates its first event (" + first_title + ") only and leaves out " +
                events_named(later) + ". A long-term run (LONG_TERM) simulates them, or a storm run of each with a "
                "precipitation file of its own.",
            ms.project.optimizer_mode);
  if (ms.clock.event_times.empty()) return;
  double end = ms.clock.event_times.front() + ms.clock.tot_time / 1440.0;
  if (ms.clock.end_time_given) end = std::min(end, ms.clock.end_time);
  std::vector<event_left_out> reached;
  for (const event_left_out& e : later)
    if (static_cast<std::size_t>(e.number) <= ms.clock.event_times.size() &&
        ms.clock.event_times[static_cast<std::size_t>(e.number) - 1] < end)
      reached.push_back(e);
  if (reached.empty()) return;
  warn_card(po,
            card_on_line("TOT_TIME", card_line_number(po, "TOT_TIME")) + " (" + std::to_string(ms.clock.tot_time) +
                " minutes) runs the storm run past the start of " + events_named(reached) +
                ", whose rain the run does not simulate.",
            ms.project.optimizer_mode);
}

// Counts the events of the precipitation file and keeps their start times;
// false when the run must stop.
bool count_precip_events(model_state& ms) {
  const bool quiet_card = ms.project.quiet != 0;
  const bool silent = quiet_card || ms.project.super_quiet || ms.project.optimizer_mode == 1;
  ms.clock.event_times.clear();
  int count = 0, last_year = 0, last_month = 0, last_day = 0;
  int result;
  bool radar = false;
  std::vector<std::pair<double, double>> named;
  // A storm run simulates the first event only.
  const bool first_only = !ms.clock.long_term && !ms.clock.zem;
  std::string first_title;
  std::vector<event_left_out> left_out;
  for (;;) {
    result = read_precip_file(ms.hydromet.raingage_file, ms.hydromet, ms.clock.dates());
    if (process.error_block.stop) return false;
    if (result != 1) break;
    ++count;
    // An event run simulates the first event only.
    // A radar event has no gages: its rain comes from the radar grids.
    if ((count == 1 || ms.clock.long_term || ms.clock.zem) && ms.hydromet.radar_rain != 2)
      warn_of_distant_gages(ms, count, named);
    if (ms.hydromet.radar_rain == 2) {
      // The event's first radar file fixes its radar grid: it must be there.
      radar = true;
      if (!read_radar_header(ms.hydromet.radar, ms.hydromet.radar_file_names[1])) {
        std::printf("Error: the radar grid of event %d (%s) cannot be read.\n", count, ms.hydromet.event_title.c_str());
        set_error(own_message_code);
        return false;
      }
    }
    const date_entry& first = ms.clock.dates()[1];
    if (count == 1) first_title = ms.hydromet.event_title;
    else if (first_only) left_out.push_back({count, ms.hydromet.event_title, first});
    ms.clock.event_times.push_back(julian_date(first.year, first.month, first.day, first.hour,
                                         first.minute, 0.0));
    last_year = first.year;
    last_month = first.month;
    last_day = first.day;
  }
  const char* file = ms.hydromet.raingage_file.name.c_str();
  if (result == -1) {
    std::printf("Unexpected end of file in rain gage data file.\n");
    std::printf("Check the format of the data file.\nProgram terminated.");
    std::printf("Check rain event %d, event after %d %d %d \n", count + 1, last_year, last_month,
                last_day);
    std::printf("Error: the precipitation file %s ends, or gives a gage value that is not a number, at line %d, "
                "inside event %d (%s).\n",
                file, ms.hydromet.precip_line_no, count + 1, ms.hydromet.event_title.c_str());
    set_error(own_message_code);
    return false;
  }
  if (count == 0) {
    // Without an event nothing rains and the run would simulate nothing.
    std::printf("Error: the precipitation file %s holds no EVENT card (up to its end at line %d).\n", file,
                ms.hydromet.precip_line_no);
    set_error(own_message_code);
    return false;
  }
  if (!silent) {
    std::printf("End of precipitation input file reached.\n");
    std::printf("Precip. file contains %d event%s.\n", count, count == 1 ? "" : "s");
  }
  warn_of_events_left_out(ms, first_title, left_out);
  ms.clock.num_events = first_only ? 1 : count;
  if (radar) ms.hydromet.radar.nivra_to_precip.alloc(ms.grid.ncells);
  rewind_precip_file(ms.hydromet.raingage_file, ms.hydromet);
  if (ms.clock.zem_event_num_given && ms.clock.zem_event_num > ms.clock.num_events) {
    std::printf("\n\nZEM has requested that NIVRA run event %d.\n", ms.clock.zem_event_num);
    std::printf("The precip file specified in the project file: %s\n", ms.project.precip_file.c_str());
    std::printf("contains only %d events.  PROGRAM TERMINATED.\n\n", ms.clock.num_events);
    set_error(own_message_code);
    return false;
  }
  return true;
}

// A uniform storm is one event, which starts at the start date of the
// cards; inside the outside framework it can only be asked for as event 1
// (or by no event number). False when the run must stop.
bool uniform_storm_is_the_event_asked_for(const model_state& ms) {
  if (!ms.clock.zem || !ms.clock.zem_event_num_given || ms.clock.zem_event_num == 1) return true;
  std::printf("\n\nZEM has requested event %d of a project with uniform rain (PRECIP_UNIF).\n",
              ms.clock.zem_event_num);
  std::printf("A uniform storm is one event, starting at START_DATE and START_TIME: only\n");
  std::printf("ZEM_EVENT_NUM 1 (or no ZEM_EVENT_NUM card) can run it.  PROGRAM TERMINATED.\n\n");
  set_error(own_message_code);
  return false;
}

}  // namespace

void init_station_distances(model_state& ms) {
  if (!ms.clock.long_term) return;
  const hydromet_state& station = ms.hydromet;
  const double far = distance_from_grid(ms.grid, station.hmet_xcoord_gage, station.hmet_ycoord_gage);
  if (station.hmet_station_xy_given && far > grid_extent(ms.grid)) {
    char text[600];
    std::snprintf(text, sizeof text,
                  "Warning: the weather station (HMET_XCOORD_GAGE %.2f, HMET_YCOORD_GAGE %.2f) lies %.0f m from the "
                  "grid, which is %.0f m across: the cards must give the maps' coordinates in m.\n",
                  station.hmet_xcoord_gage, station.hmet_ycoord_gage, far, grid_extent(ms.grid));
    report_text(text);
  }
  const int gages = ms.hydromet.num_hmet_gages;
  for (int g = 1; g <= gages && g <= ms.hydromet.Gage_XYZ_Lev_P_rh_c_w_t_qh.rows(); ++g) {
    const double x = ms.hydromet.hmet_xcoord_gage;
    const double y = ms.hydromet.hmet_ycoord_gage;
    const double z = ms.hydromet.hmet_elev_gage_value;
    auto row = ms.hydromet.Gage_XYZ_Lev_P_rh_c_w_t_qh[g];
    row[1] = x;
    row[2] = y;
    row[3] = z;
    row[4] = (z - ms.hydromet.elev_min) / ms.hydromet.elev_band_height + 2.0;
    if (g > ms.hydromet.Dist_Cell2Gage.cols()) continue;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      const double dy = ms.grid.cell_y[c] - y, dx = ms.grid.cell_x[c] - x, dz = ms.grid.elevation[c] - z;
      ms.hydromet.Dist_Cell2Gage[c][g] = std::sqrt(dy * dy + dx * dx + dz * dz);
    }
  }
  elev_band_assign(ms);
  if (process.error_block.stop) return;
  // Every gage starts from the bands of the first; a later gage takes the
  // elevation and level of the first band within one band height of it.
  array3d<double>& bands = ms.hydromet.El_T_P_e_es_LR;
  for (int g = 2; g <= gages && g <= bands.dim1(); ++g) {
    for (int b = 1; b <= bands.dim2(); ++b)
      for (int k = 1; k <= bands.dim3(); ++k) bands(g, b, k) = bands(1, b, k);
    const double z = ms.hydromet.Gage_XYZ_Lev_P_rh_c_w_t_qh(g, 3);
    for (int b = 1; b <= bands.dim2(); ++b) {
      if (std::fabs(bands(g, b, 1) - z) > ms.hydromet.elev_band_height) continue;
      ms.hydromet.Gage_XYZ_Lev_P_rh_c_w_t_qh(g, 3) = bands(g, b, 1);
      ms.hydromet.Gage_XYZ_Lev_P_rh_c_w_t_qh(g, 4) = b + 0.1;
      break;
    }
  }
  slope_normals(ms);
}

void init_event_inputs(model_state& ms) {
  if (ms.clock.long_term) {
    ms.hydromet.hmet_repaired = 0;
    ms.hydromet.hmet_record_count = 1;
    read_hmet(ms);
    if (process.error_block.stop) return;
    roll_hour_24(ms.hydromet.hmet_start_year, ms.hydromet.hmet_start_month, ms.hydromet.hmet_start_day, ms.hydromet.hmet_start_hour);
    roll_hour_24(ms.hydromet.hmet_end_year, ms.hydromet.hmet_end_month, ms.hydromet.hmet_end_day, ms.hydromet.hmet_end_hour);
    ms.clock.date_stamp_hhmm = ms.hydromet.hmet_start_hour * 100;
    ms.clock.date_stamp_ymd = (ms.hydromet.hmet_start_year * 100 + ms.hydromet.hmet_start_month) * 100 + ms.hydromet.hmet_start_day;
  }
  ms.hydromet.hmet_record_count += 1;
  ms.hydromet.hmet_hour_year = ms.hydromet.hmet_start_year;
  ms.hydromet.hmet_hour_month = ms.hydromet.hmet_start_month;
  ms.hydromet.hmet_hour_day = ms.hydromet.hmet_start_day;
  ms.hydromet.hmet_hour_hour = ms.hydromet.hmet_start_hour - 1;
  ms.clock.event_index = 0;
  ms.clock.event_active = 0;
  ms.clock.rain_on = 0;

  if (ms.output.optimize_given) {
    if (ms.project.optimize.empty()) ms.project.optimize.assign("nivra_optim.out");
    if (!open_guarded_file(ms.output.opt_output_file, ms.project.optimize.view(), "w")) {
      std::fprintf(stderr, "Problem opening optimization output file named:%s for writing\n",
                   ms.project.optimize.c_str());
      set_error(own_message_code);
      return;
    }
    alloc_1d_double(ms.output.hyd_loc_peak_q, 100, "hyd_loc_peak_q");
    alloc_1d_double(ms.output.hyd_loc_volume, 100, "hyd_loc_volume");
  }
  if (ms.output.optimize_given) {
    if (!ms.project.super_quiet && ms.project.optimizer_mode != 1)
      std::fprintf(stderr, "writing output for optimization to file %s\n", ms.project.optimize.c_str());
    to_summary(ms, "writing output for optimization to file %s\n", ms.project.optimize.c_str());
  }

  if (ms.project.quiet && ms.hydromet.precip_file_given) {
    if (!ms.project.super_quiet && process.parallel_env.proc_id == 0 && ms.project.optimizer_mode != 1)
      std::printf("using precipitation data from file: %s\n", ms.project.precip_file.c_str());
    to_summary(ms, "using precipitation data from file: %s\n", ms.project.precip_file.c_str());
  }

  if (ms.hydromet.precip_unif && !uniform_storm_is_the_event_asked_for(ms)) return;
  // ZEM_EVENT_NUM 0 asks for the framework's summary of the events only.
  const bool zem_summary = ms.clock.zem && ms.clock.zem_event_num_given && ms.clock.zem_event_num == 0;
  if (!ms.hydromet.precip_unif && zem_summary && !open_zem_precip_summary(ms)) return;
  if (!ms.hydromet.precip_unif && !count_precip_events(ms)) return;
  if (!ms.hydromet.precip_unif && zem_summary) return write_zem_precip_summary(ms);
  if (ms.clock.zem) ms.clock.long_term = 0;
}

void init_state_variables(model_state& ms) {
  const int n = ms.grid.ncells;
  if (ms.soil.green_ampt || ms.soil.inf_redist) {
    if (ms.soil.top_layer_depth < 1e-16) ms.soil.top_layer_depth = ms.soil.soil_moist_depth;
    if (ms.soil.mixing_layer_depth < 1e-16) ms.soil.mixing_layer_depth = ms.soil.top_layer_depth;
  }
  init_infiltration_state(ms);
  init_groundwater_state(ms);
  if (process.error_block.stop) return;
  // The companion of a soil hot-start carries the scheme's whole state,
  // which takes the place of the one just set up.
  if (ms.soil.read_sm_hotstart_given && ms.soil.read_sm_state_file.is_open()) {
    std::vector<double> ground_temp;
    const bool read = read_soil_state_file(ms.soil.read_sm_state_file, ms.soil, n, ground_temp);
    close_guarded_file(ms.soil.read_sm_state_file);
    if (!read) return;
    ms.soil.hotstart_state_read = 1;
    // The ground's surface temperature, for the first hour's balance.
    if (!ground_temp.empty()) {
      alloc_1d_double(ms.hydromet.carried_ground_temp, n, "carried_ground_temp");
      for (int c = 1; c <= n; ++c) ms.hydromet.carried_ground_temp[c] = ground_temp[static_cast<std::size_t>(c)];
    }
    // The accounting layer the set-up laid against the water table gives
    // way to the carried one, which met the same table: what the set-up
    // moved between the layer and the aquifer is not moved.
    if (ms.soil.sm_accounting && !ms.groundwater.gw_recharge.empty()) ms.groundwater.gw_recharge.fill(0.0);
  }
  // The water that reached the table of a groundwater hot-start after its
  // last solve joins the first solve.
  if (ms.groundwater.water_table_state_file.is_open()) {
    const bool read = read_groundwater_state_file(ms.groundwater.water_table_state_file, ms);
    close_guarded_file(ms.groundwater.water_table_state_file);
    if (!read) return;
  }

  // Per-cell arrays of the time loop.
  alloc_1d_int(ms.overland.rain_reset, n, "rain_reset");
  if (ms.output.flood_grid_given && ms.overland.flood_depth_max.size() != n)
    alloc_1d_double(ms.overland.flood_depth_max, n, "flood_depth_max");
  if (ms.lake.overland_lake_map_given && ms.lake.num_olakes > 0)
    alloc_1d_double(ms.lake.olake_precip_vol, ms.lake.num_olakes, "olake_precip_vol");
  if (ms.lake.chan_lakes && ms.lake.num_lakes > 0 && ms.lake.lake_precip_in.size() != ms.lake.num_lakes)
    alloc_1d_double(ms.lake.lake_precip_in, ms.lake.num_lakes, "lake_precip_in");

  // The water every compartment holds at the start of the run.
  book_storages(ms, ledger_moment::run_start);
}

void read_chan_point_sources(model_state& ms) {
  ms.clock.chan_flow_started = 0;
  if (ms.channel.head_bound) {
    if (ms.channel.bound_ts_given && !find_time_series(ms.project.bound_ts.c_str())) {
      set_error(127, ms.project.bound_ts.view());
      return;
    }
    chan_point_source_value(ms);
    ms.clock.chan_flow_started = 1;
  }
  init_channel_start(ms);
  mark_sediment_channel_cells(ms);
}

void alloc_soil_energy(model_state& ms) {
  if (!ms.hydromet.gtfsm) return;
  // One liquid-water factor per soil layer, or per node of a Richards
  // column; the soil is unfrozen until the hourly step finds it colder.
  int layers = 1;
  if (ms.soil.sm_accounting) layers = 3;
  if (ms.soil.inf_layered_soil) layers = 4;
  if (ms.soil.inf_richards) layers = std::max({ms.soil.max_soil_layers, ms.soil.richards.max_nodes, 1});
  alloc_2d_double(ms.grid.ncells, layers, ms.soil.SE, "SE");
  ms.soil.SE.fill(1.0);
  process_clock& c = ms.clock.soil_energy_clock;
  c.dt = 3600.0;
  c.dt_days = c.dt / seconds_per_day;
  c.next_time = ms.clock.model_time;
  c.last_time = ms.clock.model_time - c.dt_days;
}

void alloc_calib_output(model_state& ms) {
  capture_buffer* cb = ms.project.capture;
  if (!ms.output.optimize_given || !cb) return;
  const int locations = ms.output.optimize_sed ? ms.output.n_sed_loc : ms.output.num_hyd_locations;
  cb->loc_stride = locations + 1;
  cb->step_count = ms.clock.num_events;
  cb->loc_a.free();
  cb->loc_b.free();
  cb->series_a.free();
  cb->series_b.free();
  if (locations < 0 || cb->step_count < 0) return;
  // A uniform storm counts its one event only when its clock starts.
  const int events = cb->step_count > 1 ? cb->step_count : 1;
  const long long entries = static_cast<long long>(events) * cb->loc_stride + 1;
  if (entries >= INT_MAX) {
    std::printf("Error: %d events of %d locations are more results than a calibration run can hold.\n",
                events, cb->loc_stride);
    return;
  }
  cb->loc_a.alloc(cb->loc_stride);
  cb->loc_b.alloc(cb->loc_stride);
  cb->series_a.alloc(static_cast<int>(entries));
  cb->series_b.alloc(static_cast<int>(entries));
  cb->series_a.fill(not_captured);
  cb->series_b.fill(not_captured);
}

}  // namespace nivra
