// Exchange files with the outside framework and the outside model: the
// precipitation-event summary, the maps read at the start of the run, and
// at the end of every event the maps written, the record file, the maps
// read back and the jump to the next event.
#include "run/exchange.h"

#include <cstdio>
#include <filesystem>
#include <limits>

#include "channel/channel_state.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_map.h"
#include "inputs/grid_state.h"
#include "inputs/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/grid_writers.h"
#include "quality/constituent_state.h"
#include "run/clock_state.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "soil/soil_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Conductivity of the exchanged maps is in cm/h, the model's in m/s.
constexpr double cm_per_hour_per_m_per_s = 360000.0;

bool sized(const model_state& ms, const array1d<double>& a) { return a.size() >= ms.grid.ncells && !a.empty(); }

// Writes one map over the watershed mask; false after the message.
bool write_map(model_state& ms, const file_name_text& name, const double* values, const char* what) {
  guarded_file& f = ms.clock.exchange_map_file;
  if (!open_guarded_file(f, name.view(), "w")) {
    std::printf("Can't open %s exchange file %s for writing\n", what, name.c_str());
    stop_with_own_message();
    return false;
  }
  const grid_state& g = ms.grid;
  write_grass_grid(f, g.mask, g.north, g.south, g.east, g.west, g.rows, g.cols, values);
  close_guarded_file(f);
  return true;
}

// Reads one map of real values into the cells; false after the message.
bool read_map(model_state& ms, const file_name_text& name, array1d<double>& values, const char* what, int pass,
              const value_range& range) {
  guarded_file& f = ms.clock.exchange_map_file;
  if (!open_input_file(f, name.view())) {
    std::printf("%d Can't open %s exchange file %s for reading\n", pass, what, name.c_str());
    stop_with_own_message();
    return false;
  }
  read_cell_map(ms.grid, f, name.view(), values, 1, range);
  close_guarded_file(f);
  return !process.error_block.stop;
}

constexpr value_range any_moisture{};
constexpr value_range any_roughness = value_range{std::numeric_limits<double>::lowest(), 10.0, false, ""};
constexpr value_range conductivity_cm_per_h = from_to(0, 10000, "cm/h");

// The maps MOLA gives back: soil moisture (limited to what the soil can
// hold when `limit` is set), roughness (0 or less becomes 0.04), and
// conductivity (cm/h to m/s).
bool read_mola_maps(model_state& ms, int pass, bool limit) {
  const clock_state& c = ms.clock;
  soil_state& soil = ms.soil;
  const int n = ms.grid.ncells;
  if (c.moist_from_mola_given) {
    if (!read_map(ms, ms.project.moist_from_mola, soil.init_moisture, "soil moisture", pass, any_moisture)) return false;
    // Green-Ampt's suction-deficit term is built again from the new water
    // contents at the kernel's next call.
    soil.ga_kernel.ready = false;
    for (int k = 1; limit && k <= n; ++k) {
      double& m = soil.init_moisture[k];
      const double porosity = soil.soil_porosity[k];
      if (c.long_term) {
        const double residual = sized(ms, soil.resid_sat) ? soil.resid_sat[k] : 0.0;
        if (m > porosity) m = (porosity - residual) * 0.99 + residual;
        if (m <= residual) m = residual + (porosity - residual) * 0.01;
      } else {
        if (m > porosity) m = porosity * 0.99;
        if (m < 0.1) m = 0.1;
      }
    }
  }
  if (c.rough_from_mola_given) {
    if (!read_map(ms, ms.project.rough_from_mola, ms.overland.dist_rough, "roughness", pass, any_roughness))
      return false;
    for (int k = 1; k <= n; ++k)
      if (ms.overland.dist_rough[k] <= 0.0) ms.overland.dist_rough[k] = 0.04;
  }
  if (c.ksat_from_mola_given) {
    if (!read_map(ms, ms.project.ksat_from_mola, soil.sat_hyd_cond, "Ksat", pass, conductivity_cm_per_h)) return false;
    for (int k = 1; k <= n; ++k) soil.sat_hyd_cond[k] /= cm_per_hour_per_m_per_s;
  }
  return true;
}

// Every map the cards exchange must be a map of this run: the soil maps
// exist only with infiltration.
bool exchanged_maps_exist(model_state& ms) {
  const clock_state& c = ms.clock;
  soil_state& s = ms.soil;
  const struct {
    int given;
    const array1d<double>* values;
    const char* card;
  } maps[] = {
      {c.moist_to_mola_given, &s.inf_depth_cell, "MOIST_TO_MOLA"},
      {c.ksat_to_mola_given, &s.sat_hyd_cond, "KSAT_TO_MOLA"},
      {c.poros_to_mola_given, &s.soil_porosity, "POROS_TO_MOLA"},
      {c.moist_from_mola_given, &s.init_moisture, "MOIST_FROM_MOLA"},
      {c.moist_from_mola_given, &s.soil_porosity, "MOIST_FROM_MOLA"},
      {c.ksat_from_mola_given, &s.sat_hyd_cond, "KSAT_FROM_MOLA"},
      {c.rough_to_mola_given, &ms.overland.dist_rough, "ROUGH_TO_MOLA"},
      {c.rough_from_mola_given, &ms.overland.dist_rough, "ROUGH_FROM_MOLA"},
  };
  for (const auto& m : maps) {
    if (!m.given || sized(ms, *m.values)) continue;
    std::printf("Error: the %s card exchanges a map that this run does not have (the soil maps come with "
                "Green-Ampt infiltration).\n",
                m.card);
    stop_with_own_message();
    return false;
  }
  return true;
}

// The next event of a framework run: the model time goes to one step
// before its start, and the water clocks restart there.
void jump_to_next_event(model_state& ms) {
  clock_state& c = ms.clock;
  const double t = event_start_time_of(ms, c.event_index + 1) - c.dt_days;
  c.model_time = t;
  c.ov_last_time = t;
  c.ov_next_time = t + c.dt_days;
  c.inf_last_time = t;
  c.inf_next_time = t + c.dt_days;
  if (ms.channel.chan_explic) {
    c.chan_last_time = t;
    c.chan_next_time = t + c.dt_days;
    if (ms.constituent.chan_con_trans)
      for (process_clock* k : {&c.chan_con_clock, &c.contam_table_chan_clock, &c.nsm_chan_clock, &c.stream_loss_clock}) {
        k->last_time = c.chan_last_time;
        k->next_time = c.chan_next_time;
      }
  }
  if (ms.constituent.ov_con_trans)
    for (process_clock* k : {&c.ov_con_clock, &c.contam_table_clock, &c.nsm_ov_clock}) {
      k->last_time = c.ov_last_time;
      k->next_time = c.ov_next_time;
    }
}

}  // namespace

int exchange_day_number(double model_time, int year) {
  const double origin = julian_date(year - 1, 12, 31, 1, 0, 0.0);
  return static_cast<int>(model_time - origin);
}

bool exchange_folder_exists() {
  std::error_code ec;
  if (std::filesystem::is_directory(os_path(exchange_folder), ec)) return true;
  const std::string in_project = std::string(process.project_dir.view()) + exchange_folder;
  return !process.project_dir.empty() && std::filesystem::is_directory(os_path(in_project), ec);
}

bool open_zem_precip_summary(model_state& ms) {
  if (ms.project.quiet)
    std::printf("\n\nReading precip file to write ZEM summary in file: ZEM_PRECIP.SUM\n");
  if (!open_guarded_file(ms.clock.exchange_map_file, std::string(exchange_folder) + "ZEM_PRECIP.SUM", "w")) {
    std::printf("Unable to open file ZEM_PRECIP.SUM for writing. Program terminated\n");
    stop_with_own_message();
    return false;
  }
  return true;
}

void write_zem_precip_summary(model_state& ms) {
  std::FILE* fp = ms.clock.exchange_map_file.fp;
  if (fp) {
    const int n = ms.clock.num_events;
    std::fprintf(fp, "%d\n", n);
    for (int k = 1; k <= n && k <= static_cast<int>(ms.clock.event_times.size()); ++k) {
      const calendar d = calendar_date(ms.clock.event_times[k - 1]);
      std::fprintf(fp, "%4d %2d %2d %2d %2d\n", d.year, d.month, d.day, d.hour, d.minute);
    }
    close_guarded_file(ms.clock.exchange_map_file);
  }
  std::printf("NIVRA wrote precipitation data event summary to file: exchange/ZEM_PRECIP.SUM\n");
  std::printf("No simulations performed.  NIVRA terminated.\n\n");
  stop_with_own_message();
}

void read_exchange_maps(model_state& ms) {
  clock_state& c = ms.clock;
  if (c.zem_event_num_given) {
    const double t = c.model_time;
    c.ov_next_time = t;
    c.ov_last_time = t - c.dt_days;
    c.inf_last_time = t;
    c.inf_next_time = t + c.dt_days;
    c.chan_last_time = t;
    c.chan_next_time = t + c.dt_days;
    if (ms.constituent.ov_con_trans) {
      c.ov_con_clock.next_time = t;
      c.ov_con_clock.last_time = t - c.dt_days;
    }
  }
  if (!c.zem || !c.mola_given) return;
  if (!exchange_folder_exists()) {
    std::printf("Error: the folder %s that the ZEM and MOLA cards exchange their files in does not exist.\n",
                exchange_folder);
    stop_with_own_message();
    return;
  }
  if (!exchanged_maps_exist(ms)) return;
  if (c.mola_first) read_mola_maps(ms, 1, false);
}

void exchange_maps_event_end(model_state& ms) {
  clock_state& c = ms.clock;
  if (c.event_done != 1) return;
  if (c.zem && c.mola_given) {
    soil_state& soil = ms.soil;
    if (c.moist_to_mola_given && !write_map(ms, ms.project.moist_to_mola, soil.inf_depth_cell.data(), "soil moisture"))
      return;
    if (c.rough_to_mola_given && !write_map(ms, ms.project.rough_to_mola, ms.overland.dist_rough.data(), "roughness"))
      return;
    if (c.ksat_to_mola_given) {
      array1d<double>& scratch = ms.grid.scratch_map;
      for (int k = 1; k <= ms.grid.ncells; ++k) scratch[k] = soil.sat_hyd_cond[k] * cm_per_hour_per_m_per_s;
      if (!write_map(ms, ms.project.ksat_to_mola, scratch.data(), "Ksat")) return;
    }
    if (c.poros_to_mola_given && !write_map(ms, ms.project.poros_to_mola, soil.soil_porosity.data(), "porosity"))
      return;

    const int year = calendar_date(c.model_time).year;
    const bool last = c.event_index >= c.num_events;
    const int today = exchange_day_number(c.model_time, year);
    const int next = last ? -1 : exchange_day_number(event_start_time_of(ms, c.event_index + 1), year);
    if (!open_guarded_file(c.mola_exchange_file, ms.project.mola.view(), "w")) {
      std::printf("unable to open mola exchange file for writing\n");
      stop_with_own_message();
      return;
    }
    if (last)
      std::fprintf(c.mola_exchange_file.fp, "999 999\n");
    else
      std::fprintf(c.mola_exchange_file.fp, "%3d %3d\n", today, next);
    close_guarded_file(c.mola_exchange_file);

    if (!last && !c.zem_event_num_given) {
      std::printf("reading MOLA exchange maps\n");
      std::fflush(stdout);
      if (!read_mola_maps(ms, 2, true)) return;
    }
    if (c.zem_event_num_given) {
      std::printf("End of ZEM event %d\n", c.zem_event_num);
      c.keep_running = 0;
    } else if (!(ms.soil.inf_richards || ms.groundwater.gw_simulation || ms.soil.inf_redist || c.lake_above_min)) {
      c.keep_running = last ? 0 : 1;
      if (!last) jump_to_next_event(ms);
    }
  }
  c.event_done = 0;
}

}  // namespace nivra
