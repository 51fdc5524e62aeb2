// The simulation driver: the start of a run, the set-up sequence, the time
// loop with the error test after every step, the normal and the error end,
// and the teardown with its timing line.
#include "run/driver.h"

#include <cstdio>
#include <algorithm>
#include <memory>
#include <new>

#include "calibration/capture_buffer.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/process.h"
#include "core/replace.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_step.h"
#include "groundwater/lumped_steps.h"
#include "hydromet/evapotranspiration_step.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/rainfall_step.h"
#include "hydromet/snow_step.h"
#include "hydromet/weather_step.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "inputs/surface_maps.h"
#include "model/check_options.h"
#include "model/model_state.h"
#include "model/open_files.h"
#include "model/project.h"
#include "model/run_parameters.h"
#include "output/analyzer.h"
#include "output/dataset_out.h"
#include "output/hotstart_coverage.h"
#include "output/linknode.h"
#include "output/output_state.h"
#include "output/run_summary.h"
#include "output/step_outputs.h"
#include "output/xy_steps.h"
#include "pipe/pipe_state.h"
#include "pipe/storm_sewer.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/channel_attached_step.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/overland_point_sources.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "run/map_phase.h"
#include "quality/contaminant/soil_column_step.h"
#include "run/steps.h"
#include "soil/infiltration_step.h"
#include "soil/soil_moisture_step.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_lakes.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace nivra {

namespace {

// Closes the file slots of the record that the project's files go into, in
// record order. The sediment files and the files of the writers are closed
// by the record itself.
void close_file_slots(model_state& ms) {
  guarded_file* const slots[] = {
      &ms.grid.elevation_file,
      &ms.grid.watershed_mask_file,
      &ms.grid.dike_map_file,
      &ms.grid.lowspot_input_file,
      &ms.clock.exchange_map_file,
      &ms.clock.mola_exchange_file,
      &ms.overland.roughness_file,
      &ms.overland.reten_depth_file,
      &ms.overland.read_ov_hotstart_file,
      &ms.overland.write_ov_hotstart_file,
      &ms.overland.read_ov_state_file,
      &ms.soil.soil_type_file,
      &ms.soil.soil_moisture_file,
      &ms.soil.ks_file,
      &ms.soil.hc_file,
      &ms.soil.porosity_file,
      &ms.soil.pore_index_file,
      &ms.soil.residual_sat_file,
      &ms.soil.area_reduction_file,
      &ms.soil.soil_layer_table_file,
      &ms.soil.in_theta_location_file,
      &ms.soil.out_theta_location_file,
      &ms.soil.read_sm_hotstart_file,
      &ms.soil.write_sm_hotstart_file,
      &ms.soil.read_sm_state_file,
      &ms.soil.evap_out_file,
      &ms.groundwater.sacramento_param_file,
      &ms.groundwater.conceptual_gw_param_file,
      &ms.groundwater.water_table_file,
      &ms.groundwater.water_table_state_file,
      &ms.groundwater.aquifer_bottom_file,
      &ms.groundwater.well_location_file,
      &ms.groundwater.gw_boundary_file,
      &ms.groundwater.gw_hycond_file,
      &ms.groundwater.gw_porosity_file,
      &ms.groundwater.well_level_file,
      &ms.groundwater.gw_flux_location_file,
      &ms.groundwater.out_gw_flux_location_file,
      &ms.groundwater.gw_hotstart_out_file,
      &ms.lake.lake_map_file,
      &ms.lake.lake_data_file,
      &ms.lake.lake_output_file,
      &ms.channel.grid_stream_file,
      &ms.channel.chan_input_file,
      &ms.channel.chan_depth_out_file,
      &ms.channel.chan_discharge_out_file,
      &ms.channel.chan_velocity_out_file,
      &ms.channel.chan_stage_out_file,
      &ms.channel.stream_sed_flux_file,
      &ms.channel.chan_depth_file,
      &ms.channel.chan_discharge_file,
      &ms.channel.chan_hotstart_in_file,
      &ms.channel.chan_hotstart_out_file,
      &ms.channel.chan_new_elev_file,
      &ms.channel.flood_stream_file,
      &ms.channel.chan_discharge_in_file,
      &ms.channel.chan_state_in_file,
      &ms.pipe.superlink_node_location_file,
      &ms.pipe.superjunction_location_file,
      &ms.pipe.superjunction_output_file,
      &ms.pipe.superlink_node_output_file,
      &ms.pipe.pipe_head_file,
      &ms.pipe.pipe_tile_file,
      &ms.pipe.pipe_flow_file,
      &ms.hydromet.raingage_file,
      &ms.hydromet.hmet_input_file,
      &ms.hydromet.orog_met_file,
      &ms.hydromet.albedo_file,
      &ms.hydromet.veg_height_file,
      &ms.hydromet.trans_coeff_file,
      &ms.hydromet.canopy_resist_file,
      &ms.hydromet.wilting_point_file,
      &ms.hydromet.storage_capacity_file,
      &ms.hydromet.interception_coeff_file,
      &ms.hydromet.nwsrfs_elev_snow_file,
      &ms.hydromet.init_swe_input_file,
      &ms.constituent.contam_map_file,
      &ms.constituent.adjust_elev_file,
      &ms.constituent.chan_contam_file,
      &ms.constituent.total_chan_p_file,
      &ms.constituent.total_chan_kn_file,
      &ms.constituent.total_chan_n_file,
      &ms.output.summary_file,
      &ms.output.outlet_hydro_file,
      &ms.output.opt_output_file,
      &ms.output.hyd_6digit_file,
      &ms.output.overland_depths_file,
      &ms.output.overland_wse_file,
      &ms.output.hyd_location_file,
      &ms.output.out_hyd_location_file,
      &ms.output.dep_dis_location_file,
      &ms.output.out_dep_dis_location_file,
      &ms.output.sed_hyd_location_file,
      &ms.constituent.out_sed_hyd_location_file,
      &ms.output.overland_depth_location_file,
      &ms.output.overland_wse_location_file,
      &ms.output.depth_map_file,
      &ms.output.discharge_map_file,
      &ms.output.dis_rain_map_file,
      &ms.output.gw_recharge_cum_map_file,
      &ms.output.gw_recharge_inc_map_file,
      &ms.output.inf_depth_map_file,
      &ms.output.rate_of_infil_map_file,
      &ms.output.surf_moist_map_file,
      &ms.output.ov_con_map_file,
      &ms.output.sat_source_map_file,
      &ms.output.flood_grid_file,
      &ms.output.out_dep_location_file,
      &ms.output.out_con_location_file,
      &ms.output.out_mass_location_file,
      &ms.output.qin_output_file,
  };
  for (guarded_file* f : slots) reset_guarded_file(*f);
}

// The words of the parameter searches, whose runs keep the console quiet.
bool is_search_word(const std::string& word) {
  return word == "-slm" || word == "-ms" || word == "-tr" || word == "-mlsl";
}

// The error test after a step: a waiting code is reported, and the run
// ends when the reporter (or the step) set the stop flag.
bool stopped() {
  if (process.error_block.code > 0) report_error();
  return process.error_block.stop != 0;
}

// The routines of one time step, in order; the error test follows every one
// that is marked.
constexpr time_step_routine step_routines[] = {
    {advance_clock, true},
    {read_precip_event, true},
    {update_hydromet, true},
    {init_event_state, true},
    {update_rainfall, true},
    {apply_rainfall, true},
    {apply_overland_point_sources, true},
    {infiltration_step, true},
    {longterm_hourly_output, true},
    {frozen_soil_step, false},  // tested with the snowmelt step
    {snowmelt_step, true},
    {apply_snowmelt, true},
    {et_removal_step, true},
    {sacramento_update, true},
    {conceptual_gw_step, true},
    {soil_column_constituent_step, true},
    {xy_overland_boundary_step, true},
    {overland_routing_step, true},
    {storm_sewer_step, true},
    {lakes_attached_to_cells, true},
    {cells_attached_to_pipes, true},
    {sediment_contaminant_source, true},
    {overland_constituent_processes, true},
    {overland_constituent_transport, true},
    {xy_groundwater_boundary_step, true},
    {groundwater_step, true},
    {overland_lake_step, true},
    {xy_stream_inflow_step, false},
    {channel_routing_step, true},
    {read_chan_point_input, true},
    {track_peak_values, true},
    {nsm_overland_step, true},
    {nsm_channel_step, true},
    {channel_constituent_step, true},
    {chan_sed_contam_step, true},
    {print_progress, true},
    {check_simulation_end, true},
    {exchange_maps_event_end, true},
    {finish_event, true},
    {write_time_series_output, true},
    {write_map_output, true},
    {[](model_state& m) { check_analyzers(m, analyzer_event::step_end); }, false},
};

// What a set-up routine is handed: the run's record, and the project file
// and calibration buffer the run was started with.
struct run_start {
  model_state& ms;
  const std::string& project_file;
  capture_buffer* capture;
};

// A routine of the set-up sequence and whether the error test follows it.
struct set_up_routine {
  void (*run)(const run_start&);
  bool tested;
};

// A set-up routine that needs only the record.
template <void (*routine)(model_state&)>
void on_record(const run_start& s) {
  routine(s.ms);
}

void read_project(const run_start& s) { read_run_parameters(s.project_file, s.ms); }

// A calibration run writes its optimisation output whatever the project
// says; the copy of the cards has just put the project's own setting there.
void keep_calibration_output(const run_start& s) {
  if (s.capture) s.ms.output.optimize_given = 1;
}

void print_start_up(const run_start& s) { print_startup_info(s.ms, s.project_file); }

// The contaminant series, when every contaminant output is asked for.
void init_constituent_series(model_state& ms) {
  if (!ms.constituent.all_contam_output) return;
  if (ms.constituent.ov_con_trans) init_contaminant_map_series(ms);
  if (ms.constituent.chan_con_trans) init_channel_constituent_series(ms);
}

void shift_series_to_run_start(model_state& ms) { shift_relative_time_series(ms.clock.model_time); }

// A fault of the analyzer file stops the run before its first step.
void start_analyzers(model_state& ms) {
  if (ms.output.analyzers_given) setup_analyzers(ms, ms.project.analyzers.view());
  if (process.error_block.stop) return;
  check_analyzers(ms, analyzer_event::set_up_done);
}

// The set-up of a run, in order; the error test follows every routine that
// is marked, and the first test that finds the run stopped ends the set-up.
constexpr set_up_routine set_up_routines[] = {
    {read_project, true},
    {keep_calibration_output, false},
    {on_record<check_options>, true},
    {on_record<open_project_files>, true},
    {print_start_up, false},
    {on_record<setup_time_steps>, true},
    {on_record<read_input_maps>, true},
    {on_record<check_cards_against_inputs>, true},
    {on_record<init_grid_dataset_output>, true},
    {on_record<init_constituent_series>, true},
    {on_record<build_cell_connectivity>, true},
    {on_record<compute_cell_slopes>, true},
    {on_record<lay_carried_ground>, false},
    {on_record<init_station_distances>, true},
    {on_record<init_event_inputs>, true},
    {on_record<init_state_variables>, true},
    {on_record<init_evapotranspiration>, true},
    {on_record<init_snow_state>, true},
    {on_record<read_chan_point_sources>, true},
    {on_record<warn_uncarried_at_reading>, false},
    {on_record<alloc_calib_output>, false},
    {on_record<read_exchange_maps>, true},
    {on_record<shift_series_to_run_start>, false},
    {on_record<init_xy_boundary_inputs>, true},
    {on_record<init_xy_point_output>, true},
    {on_record<compute_initial_surface_volume>, false},
    {on_record<start_overland_routing>, true},
    {on_record<init_soil_contam>, true},
    {on_record<start_channel_constituent_books>, false},
    {on_record<init_simulation_clock>, true},
    {on_record<init_linknode_output>, true},
    {on_record<alloc_soil_energy>, false},
    {on_record<start_analyzers>, true},
};

// Set-up, time loop and the end of the run; returns when the teardown is due.
void simulate(model_state& ms, const std::string& project_file, capture_buffer* capture,
              const wall_timer& clock) {
  if (!set_up_run(ms, project_file, capture)) return;

  const double init_time = clock.seconds();
  if (process.replace_on) print_replace_usage(ms.output.summary_file.fp, ms.project.optimizer_mode);
  const bool quiet = ms.project.super_quiet || ms.project.optimizer_mode == 1;
  if (!quiet) std::printf("total time to init(s): %8.1lf\n", init_time);
  error_state& e = process.error_block;
  if (e.code != 0) {
    check_analyzers(ms, analyzer_event::error_end);
    return;
  }
  if (!quiet) std::printf("Running....\n");
  if (ms.output.summary_file.fp) std::fprintf(ms.output.summary_file.fp, "Running.... \n\n");

  for (;;) {
    if (!run_time_step(ms)) return;
    if (e.code != 0) {
      // A code that no test reported: the error end.
      check_analyzers(ms, analyzer_event::error_end);
      return;
    }
    if (ms.clock.keep_running) continue;
    write_run_summary(ms);
    if (stopped()) return;
    check_analyzers(ms, analyzer_event::run_end);
    return;
  }
}

}  // namespace

std::span<const time_step_routine> time_step_sequence() { return step_routines; }

bool set_up_run(model_state& ms, const std::string& project_file, capture_buffer* capture) {
  const run_start start{ms, project_file, capture};
  for (const set_up_routine& r : set_up_routines) {
    r.run(start);
    if (r.tested && stopped()) return false;
  }
  return true;
}

bool run_time_step(model_state& ms) {
  for (const time_step_routine& r : step_routines) {
    r.run(ms);
    if (r.tested && stopped()) return false;
  }
  return true;
}

void close_all_files(model_state& ms) {
  close_file_slots(ms);
}

void shift_relative_time_series(double start_time) {
  for (const auto& series : process.ts_list) {
    if (!series || !series->relative) continue;
    const std::size_t n = std::min(static_cast<std::size_t>(series->count), series->times.size());
    for (std::size_t i = 0; i < n; ++i) series->times[i] += start_time;
  }
}

int run_simulation(const std::string& project_file, capture_buffer* capture,
                   const std::string& mode_word) {
  const wall_timer clock;
  error_state& e = process.error_block;
  std::unique_ptr<model_state> ms;
  try {
    ms = make_model_state();
  } catch (const std::bad_alloc&) {
    std::printf("Error: not enough memory for the record of a model run.\n");
    e.code = own_message_code;
    e.stop = 1;
    return e.code;
  }
  e.code = 0;
  e.stop = 0;
  e.term = 0;
  const int bad_ranges_before = process.bad_range_reports;
  ms->project.optimizer_mode = is_search_word(mode_word) ? 1 : 0;
  if (capture) {
    ms->output.optimize_given = 1;
    ms->project.capture = capture;
  }
  ms->project.project_file.assign_cut(project_file);
  const int optimizer_mode = ms->project.optimizer_mode;

  simulate(*ms, project_file, capture, clock);

  close_all_files(*ms);
  std::fflush(stdout);
  std::fflush(stderr);
  ms.reset();
  // An array the run addressed out of its range has been named as it went:
  // the run's results cannot be trusted, and it ends as a failure.
  if (process.bad_range_reports != bad_ranges_before) {
    std::printf("Error: the run addressed an array out of its range (named above); it ends as a failure.\n");
    if (e.code == 0) e.code = own_message_code;
    e.stop = 1;
  }
  const double run_time = clock.seconds();

  // Opened through the run prefix, so every batch or calibration run keeps
  // its own log.
  guarded_file log;
  if (open_guarded_file(log, "out_time.out", "a")) std::fprintf(log.fp, "total time (s): %8.2lf\n", run_time);
  if (optimizer_mode != 1) std::printf("Run time: %6.2lf(s) \n", run_time);
  std::fflush(stdout);
  close_guarded_file(log);
  return e.code;
}

}  // namespace nivra
