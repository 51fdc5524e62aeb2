// The simulation driver: the start of a run, the set-up sequence, the time
// loop with the error test after every step, the normal and the error end,
// and the teardown with its timing line.
#include "run/driver.h"

#include <cstdio>
#include <algorithm>
#include <memory>
#include <new>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/process.h"
#include "core/replace.h"
#include "core/time_series.h"
#include "inputs/geometry.h"
#include "inputs/map_phase.h"
#include "model/check_options.h"
#include "model/model_state.h"
#include "model/open_files.h"
#include "model/run_parameters.h"
#include "output/dataset_out.h"
#include "output/linknode.h"
#include "output/step_outputs.h"
#include "output/run_summary.h"
#include "run/steps.h"

namespace nivra {

namespace {

// The file slots of the record that the project's files go into, in record
// order. The sediment files and the files of the writers are closed by the
// record itself.
constexpr guarded_file model_state::*file_slots[] = {
    &model_state::elevation_file,
    &model_state::watershed_mask_file,
    &model_state::dike_map_file,
    &model_state::lowspot_input_file,
    &model_state::exchange_map_file,
    &model_state::mola_exchange_file,
    &model_state::roughness_file,
    &model_state::reten_depth_file,
    &model_state::read_ov_hotstart_file,
    &model_state::write_ov_hotstart_file,
    &model_state::soil_type_file,
    &model_state::soil_moisture_file,
    &model_state::ks_file,
    &model_state::hc_file,
    &model_state::porosity_file,
    &model_state::pore_index_file,
    &model_state::residual_sat_file,
    &model_state::area_reduction_file,
    &model_state::soil_layer_table_file,
    &model_state::in_theta_location_file,
    &model_state::out_theta_location_file,
    &model_state::read_sm_hotstart_file,
    &model_state::write_sm_hotstart_file,
    &model_state::evap_out_file,
    &model_state::sacramento_param_file,
    &model_state::conceptual_gw_param_file,
    &model_state::water_table_file,
    &model_state::aquifer_bottom_file,
    &model_state::well_location_file,
    &model_state::gw_boundary_file,
    &model_state::gw_hycond_file,
    &model_state::gw_porosity_file,
    &model_state::well_level_file,
    &model_state::gw_flux_location_file,
    &model_state::out_gw_flux_location_file,
    &model_state::gw_hotstart_out_file,
    &model_state::lake_map_file,
    &model_state::lake_data_file,
    &model_state::lake_output_file,
    &model_state::grid_stream_file,
    &model_state::chan_input_file,
    &model_state::chan_depth_out_file,
    &model_state::chan_discharge_out_file,
    &model_state::chan_velocity_out_file,
    &model_state::chan_stage_out_file,
    &model_state::stream_sed_flux_file,
    &model_state::chan_depth_file,
    &model_state::chan_discharge_file,
    &model_state::chan_hotstart_in_file,
    &model_state::chan_hotstart_out_file,
    &model_state::chan_new_elev_file,
    &model_state::flood_stream_file,
    &model_state::chan_discharge_in_file,
    &model_state::superlink_node_location_file,
    &model_state::superjunction_location_file,
    &model_state::superjunction_output_file,
    &model_state::superlink_node_output_file,
    &model_state::pipe_head_file,
    &model_state::pipe_tile_file,
    &model_state::pipe_flow_file,
    &model_state::raingage_file,
    &model_state::hmet_input_file,
    &model_state::orog_met_file,
    &model_state::albedo_file,
    &model_state::veg_height_file,
    &model_state::trans_coeff_file,
    &model_state::canopy_resist_file,
    &model_state::wilting_point_file,
    &model_state::storage_capacity_file,
    &model_state::interception_coeff_file,
    &model_state::nwsrfs_elev_snow_file,
    &model_state::init_swe_input_file,
    &model_state::contam_map_file,
    &model_state::adjust_elev_file,
    &model_state::chan_contam_file,
    &model_state::total_chan_p_file,
    &model_state::total_chan_kn_file,
    &model_state::total_chan_n_file,
    &model_state::summary_file,
    &model_state::outlet_hydro_file,
    &model_state::opt_output_file,
    &model_state::hyd_6digit_file,
    &model_state::overland_depths_file,
    &model_state::overland_wse_file,
    &model_state::hyd_location_file,
    &model_state::out_hyd_location_file,
    &model_state::dep_dis_location_file,
    &model_state::out_dep_dis_location_file,
    &model_state::sed_hyd_location_file,
    &model_state::out_sed_hyd_location_file,
    &model_state::overland_depth_location_file,
    &model_state::overland_wse_location_file,
    &model_state::depth_map_file,
    &model_state::discharge_map_file,
    &model_state::dis_rain_map_file,
    &model_state::gw_recharge_cum_map_file,
    &model_state::gw_recharge_inc_map_file,
    &model_state::inf_depth_map_file,
    &model_state::rate_of_infil_map_file,
    &model_state::surf_moist_map_file,
    &model_state::ov_con_map_file,
    &model_state::sat_source_map_file,
    &model_state::flood_grid_file,
    &model_state::out_dep_location_file,
    &model_state::out_con_location_file,
    &model_state::out_mass_location_file,
    &model_state::qin_output_file,
};

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
    {overland_constituent_step, true},
    {overland_routing_step, true},
    {storm_sewer_step, true},
    {sediment_contaminant_source, true},
    {soil_contaminant_step, true},
    {overland_mass_check, true},
    {groundwater_step, true},
    {overland_lake_step, true},
    {channel_routing_step, true},
    {read_chan_point_input, true},
    {track_peak_values, true},
    {nsm_overland_step, true},
    {nsm_channel_step, true},
    {channel_constituent_step, true},
    {print_progress, true},
    {check_simulation_end, true},
    {exchange_maps_event_end, true},
    {finish_event, true},
    {write_time_series_output, true},
    {write_map_output, true},
    {[](model_state& m) { check_analyzers(m, 1); }, false},
};

// Set-up, time loop and the end of the run; returns when the teardown is due.
void simulate(model_state& ms, const std::string& project_file, capture_buffer* capture,
              const wall_timer& clock) {
  if (!set_up_run(ms, project_file, capture)) return;

  const double init_time = clock.seconds();
  if (process.replace_on) print_replace_usage(ms.summary_file.fp, ms.optimizer_mode);
  const bool quiet = ms.super_quiet || ms.optimizer_mode == 1;
  if (!quiet) std::printf("total time to init(s): %8.1lf\n", init_time);
  error_state& e = process.error_block;
  if (e.code != 0) {
    check_analyzers(ms, 32);
    return;
  }
  if (!quiet) std::printf("Running....\n");
  if (ms.summary_file.fp) std::fprintf(ms.summary_file.fp, "Running.... \n\n");

  for (;;) {
    if (!run_time_step(ms)) return;
    if (e.code != 0) {
      // A code that no test reported: the error end.
      check_analyzers(ms, 32);
      return;
    }
    if (ms.keep_running) continue;
    write_run_summary(ms);
    if (stopped()) return;
    check_analyzers(ms, 16);
    return;
  }
}

}  // namespace

std::span<const time_step_routine> time_step_sequence() { return step_routines; }

bool set_up_run(model_state& ms, const std::string& project_file, capture_buffer* capture) {
  read_run_parameters(project_file, ms);
  if (stopped()) return false;
  if (capture) ms.optimize_given = 1;  // the project's own setting was copied over it
  check_options(ms);
  if (stopped()) return false;
  open_project_files(ms);
  if (stopped()) return false;
  print_startup_info(ms, project_file);
  setup_time_steps(ms);
  if (stopped()) return false;
  read_input_maps(ms);
  if (stopped()) return false;
  init_grid_dataset_output(ms);
  if (stopped()) return false;
  init_linknode_output(ms);
  if (stopped()) return false;
  if (ms.all_contam_output) {
    if (ms.ov_con_trans) init_contaminant_map_series(ms);
    if (ms.chan_con_trans) init_channel_constituent_series(ms);
  }
  if (stopped()) return false;
  build_cell_connectivity(ms);
  if (stopped()) return false;
  compute_cell_slopes(ms);
  if (stopped()) return false;
  compute_centred_slopes(ms);
  if (stopped()) return false;
  init_station_distances(ms);
  if (stopped()) return false;
  init_event_inputs(ms);
  if (stopped()) return false;
  init_state_variables(ms);
  if (stopped()) return false;
  read_chan_point_sources(ms);
  if (stopped()) return false;
  alloc_calib_output(ms);
  read_exchange_maps(ms);
  if (stopped()) return false;
  shift_relative_time_series(ms.model_time);
  init_xy_point_output(ms);
  if (stopped()) return false;
  compute_initial_surface_volume(ms);
  init_soil_contam(ms);
  init_simulation_clock(ms);
  if (stopped()) return false;
  alloc_soil_energy(ms);
  if (ms.project_options.analyzers_given) setup_analyzers(ms, ms.project_options.analyzers);
  check_analyzers(ms, 8);
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
  for (guarded_file model_state::*slot : file_slots) reset_guarded_file(ms.*slot);
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
  ms->optimizer_mode = is_search_word(mode_word) ? 1 : 0;
  if (capture) {
    ms->optimize_given = 1;
    ms->capture = capture;
  }
  ms->project_file.assign_cut(project_file);
  const int optimizer_mode = ms->optimizer_mode;

  simulate(*ms, project_file, capture, clock);

  close_all_files(*ms);
  std::fflush(stdout);
  std::fflush(stderr);
  ms.reset();
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
