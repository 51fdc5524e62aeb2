// The run's record: what a fresh record holds, the tables made on first
// use, and a teardown that leaves nothing of the run behind, so that a
// record built after another equals a fresh one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/replace.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/model_test_support.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

// The replacement pair below allocates with malloc and frees with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// While set, every allocation of this test program is handed out filled with
// 0xA5, so that a member without an initialiser of its own shows.
static bool poison_new_memory = false;

void* operator new(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (!p) throw std::bad_alloc();
  if (poison_new_memory) std::memset(p, 0xA5, n);
  return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// The library's temporary buffers (std::stable_sort) take memory from the
// nothrow form and give it back to the sized delete above: it allocates
// with malloc too.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p && poison_new_memory) std::memset(p, 0xA5, n);
  return p;
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::write_file;

class ModelState : public testing::process_test {};

int open_descriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// What every fresh record holds: the defaults, closed files, empty and
// correctly named containers, zero counters.
void expect_fresh(const model_state& ms) {
  EXPECT_EQ(ms.soil.top_layer_depth, 40.0);
  EXPECT_EQ(ms.soil.soil_moist_depth, 40.0);
  EXPECT_EQ(ms.overland.snow_darcy, -1.0);
  EXPECT_EQ(ms.overland.overtype, 2);
  EXPECT_EQ(ms.overland.ade_sweep, 1);
  EXPECT_EQ(ms.constituent.ov_mass_check_sweep, 1);
  EXPECT_EQ(ms.constituent.kinetics_timestep_factor, 1.0);
  EXPECT_EQ(ms.channel.overbank_max_dv, 0.01);
  EXPECT_EQ(ms.lake.lake_flood_marker, 1);
  EXPECT_EQ(ms.output.float_grass_maps, 1);
  EXPECT_EQ(ms.output.xy_out.mode, -1);
  EXPECT_EQ(ms.output.xy_in.num_ovpts, 0);
  EXPECT_EQ(ms.output.zv.n_seg, 0);
  EXPECT_EQ(ms.output.zv.first_line, 1);
  EXPECT_TRUE(ms.output.analyzers.empty());
  EXPECT_EQ(ms.output.cfs_per_cms, 35.314667);
  EXPECT_EQ(ms.channel.m_river, 1.0);
  EXPECT_EQ(ms.hydromet.cfgi_index, 83.0);
  EXPECT_EQ(ms.hydromet.cfgi_k, 0.5);
  EXPECT_EQ(ms.groundwater.gw_sweep, 1);
  EXPECT_EQ(ms.groundwater.gw_relax_coeff, 1.0);
  EXPECT_EQ(ms.output.sat_source_map_on, 1);
  EXPECT_EQ(ms.constituent.uniform_num_contams, -1);
  EXPECT_EQ(ms.hydromet.num_hmet_gages, 1);
  EXPECT_EQ(ms.hydromet.elev_band_height, 100.0);
  EXPECT_EQ(ms.hydromet.elev_band_mode, 1);
  EXPECT_EQ(ms.hydromet.snow_coef_a, 3.0);
  EXPECT_EQ(ms.hydromet.snow_coef_b, 0.67);
  EXPECT_EQ(ms.hydromet.snow_coef_c, 10.0);
  EXPECT_EQ(ms.hydromet.snow_coef_d, 3.0);
  EXPECT_EQ(ms.hydromet.snow_interval, 3600);
  EXPECT_EQ(ms.hydromet.snow_coef_e, 1.0);
  EXPECT_EQ(ms.hydromet.snow_coef_f, 0.077);
  EXPECT_EQ(ms.hydromet.snow_divisor, 80.0);
  EXPECT_EQ(ms.hydromet.snow_offset, 27.0);
  EXPECT_EQ(ms.constituent.con_output_name.view(), "con_output");
  EXPECT_EQ(ms.hydromet.uniform_rain_step, 1);

  // Counters that belong to the run.
  EXPECT_EQ(ms.hydromet.precip_event_call_count, 0);
  EXPECT_EQ(ms.hydromet.hmet_skip_done, 0);
  EXPECT_EQ(ms.hydromet.snow_hour_accum, 0.0);
  // Evapotranspiration, frozen ground and melt start with nothing computed.
  EXPECT_EQ(ms.hydromet.et_calls, 0);
  EXPECT_EQ(ms.hydromet.melt_pending, 0);
  EXPECT_EQ(ms.hydromet.melt_period, 0);
  EXPECT_EQ(ms.hydromet.melt_steps_in_hour, 0);
  EXPECT_TRUE(ms.hydromet.frost.empty());
  EXPECT_TRUE(ms.hydromet.ground_temp.empty());
  EXPECT_TRUE(ms.hydromet.cfgi_cell.empty());
  EXPECT_TRUE(ms.hydromet.pet_rate.empty());
  EXPECT_TRUE(ms.hydromet.snow_depth.empty());
  EXPECT_EQ(ms.hydromet.front_scratch.at(1, 3), 0.0);
  EXPECT_EQ(ms.channel.chan_dry_count, 0);
  EXPECT_EQ(ms.channel.chan_point_read_count, 0);
  EXPECT_EQ(ms.overland.bc_levels_set, 0);
  EXPECT_TRUE(ms.overland.ov_pumps.empty());
  EXPECT_EQ(ms.channel.structures.count(), 0);
  EXPECT_TRUE(ms.channel.structures.stream_pumps.empty());
  EXPECT_TRUE(ms.channel.min_bel.empty());
  EXPECT_TRUE(ms.pipe.sl_prestep_depth.empty());
  EXPECT_EQ(ms.pipe.num_sjunc, 0);
  EXPECT_EQ(ms.pipe.sl_step_count, 0);
  EXPECT_EQ(ms.pipe.chan_sl_pending, 0.0);
  EXPECT_EQ(ms.pipe.solver.calls, 0);
  EXPECT_TRUE(ms.pipe.solver.matrix.empty());
  EXPECT_TRUE(ms.pipe.solver.values.empty());
  EXPECT_FALSE(ms.pipe.solver.system.analysed());
  EXPECT_FALSE(ms.pipe.solver.dense_reference);
  EXPECT_EQ(ms.pipe.solver.timing.solve, 0.0);
  EXPECT_TRUE(ms.channel.chan_pipe_flow.empty());
  EXPECT_TRUE(ms.pipe.sl_tailwater.empty());
  EXPECT_TRUE(ms.pipe.sl_tail_volume.empty());
  EXPECT_TRUE(ms.channel.chan_xy_flow.empty());
  EXPECT_EQ(ms.channel.xy_stream_inflow_on, 0);

  // Scalars that other runs change.
  EXPECT_EQ(ms.clock.keep_running, 0);
  EXPECT_EQ(ms.clock.step_count, 0);
  EXPECT_EQ(ms.clock.clock_call_count, 0);
  EXPECT_EQ(ms.clock.precip_event_state, 0);
  EXPECT_TRUE(ms.clock.event_times.empty());
  EXPECT_EQ(ms.clock.ov_next_time, 0.0);
  EXPECT_EQ(ms.clock.soil_energy_clock.next_time, 0.0);
  EXPECT_EQ(ms.clock.peak_q, 0.0);
  EXPECT_EQ(ms.ledger.run_total(water_flux::outlet_discharge), 0.0);
  EXPECT_EQ(ms.hydromet.rain_sum, 0.0);
  EXPECT_TRUE(ms.hydromet.gage_values.empty());
  EXPECT_TRUE(ms.hydromet.radar_file_names.empty());
  // Where the precipitation reader stands in its file, and the event it read.
  EXPECT_EQ(ms.hydromet.precip_events_read, 0);
  EXPECT_EQ(ms.hydromet.precip_line_no, 0);
  EXPECT_EQ(ms.hydromet.precip_periods_read, 0);
  EXPECT_TRUE(ms.hydromet.precip_line.empty());
  EXPECT_TRUE(ms.hydromet.event_title.empty());
  EXPECT_TRUE(ms.hydromet.weather_end_note.empty());
  EXPECT_TRUE(ms.hydromet.gage_x.empty());
  // The weather file, its clock and the hour's weather and sun.
  EXPECT_EQ(ms.hydromet.hmet_reader.records(), 0);
  EXPECT_EQ(ms.hydromet.weather_format, 0);
  EXPECT_EQ(ms.hydromet.terrain_shading, 1);
  EXPECT_EQ(ms.hydromet.hmet_read_result, 0);
  EXPECT_EQ(ms.hydromet.temper_hours, 0);
  EXPECT_EQ(ms.hydromet.hmet_temperature, 0.0);
  EXPECT_EQ(ms.hydromet.sun.zenith, 0.0);
  EXPECT_EQ(ms.hydromet.last_total_evap, 0.0);
  EXPECT_TRUE(ms.hydromet.cell_pressure.empty());
  EXPECT_EQ(ms.clock.hmet_next_time, 0.0);
  EXPECT_EQ(ms.hydromet.radar.radar_rows, 0);
  EXPECT_TRUE(ms.hydromet.radar.precip_data.empty());
  EXPECT_TRUE(ms.hydromet.radar.nivra_to_precip.empty());
  EXPECT_EQ(ms.clock.model_time, 0.0);
  EXPECT_EQ(ms.grid.ncells, 0);
  EXPECT_EQ(ms.grid.grid_size, 0.0);
  EXPECT_EQ(ms.constituent.soil_erosion_on, 0);
  EXPECT_EQ(ms.project.optimizer_mode, 0);
  EXPECT_EQ(ms.project.super_quiet, 0);
  EXPECT_EQ(ms.project.capture, nullptr);
  EXPECT_EQ(ms.constituent.nsm_model, nullptr);
  EXPECT_TRUE(ms.project.project_file.empty());
  EXPECT_TRUE(ms.project.summary.empty());
  EXPECT_TRUE(ms.project.elevation_file_name.empty());
  EXPECT_EQ(ms.hydromet.precip_unif, 0);
  EXPECT_EQ(ms.channel.chan_explic, 0);
  EXPECT_EQ(ms.channel.num_stream_links, 0);
  EXPECT_EQ(ms.channel.chan_has_water, 0);
  EXPECT_EQ(ms.channel.gst_num_cells, 0);
  EXPECT_EQ(ms.channel.num_xsec_tables, 0);
  EXPECT_TRUE(ms.channel.uslinks.empty());
  EXPECT_TRUE(ms.channel.xarea.empty());
  EXPECT_EQ(ms.output.optimize_given, 0);
  for (int present : ms.grid.cmt_table_present) EXPECT_EQ(present, 0);
  for (int present : ms.channel.st_table_present) EXPECT_EQ(present, 0);

  // Tables and containers.
  EXPECT_TRUE(ms.clock.date_table.empty());
  EXPECT_TRUE(ms.soil.multilayer_soil_table.empty());
  EXPECT_TRUE(ms.soil.cum_infil.empty());
  EXPECT_FALSE(ms.soil.ga_kernel.ready);
  EXPECT_TRUE(ms.soil.ga_kernel.suction_deficit.empty());
  EXPECT_TRUE(ms.soil.richards_kernel.KMID.empty());
  EXPECT_EQ(ms.soil.richards_kernel.substeps, 0);
  EXPECT_TRUE(ms.soil.richards.soil.empty());
  EXPECT_EQ(ms.soil.richards.max_nodes, 0);
  EXPECT_TRUE(ms.soil.unsat_down_flux.empty());
  EXPECT_TRUE(ms.hydromet.pet_rate.empty());
  EXPECT_EQ(ms.groundwater.lumped_pool, 0.0);
  EXPECT_EQ(ms.groundwater.sac_infil_in, 0.0);
  EXPECT_EQ(ms.groundwater.sac_params.pbase, 0.0);
  EXPECT_EQ(ms.groundwater.congw_store.slow_max, 0.0);
  EXPECT_EQ(ms.groundwater.congw_step_count, 0.0);
  EXPECT_TRUE(ms.groundwater.upslope_area.empty());
  EXPECT_TRUE(ms.grid.mask.empty());
  EXPECT_EQ(ms.grid.cell_x.count(), 0);
  EXPECT_EQ(ms.constituent.soil_chem_table.marker, -1);
  EXPECT_EQ(ms.constituent.soil_chem_table.table.count(), 0);
  EXPECT_EQ(ms.output.map_series.count(), 0);
  EXPECT_EQ(ms.output.channel_series.count(), 0);
  EXPECT_EQ(ms.constituent.soil_mass.count(), 0);
  EXPECT_EQ(ms.constituent.soil_mass_name.view(), "soil_mass");

  // Files.
  for (const guarded_file* f :
       {&ms.grid.elevation_file, &ms.grid.watershed_mask_file, &ms.output.summary_file, &ms.output.outlet_hydro_file,
        &ms.overland.roughness_file, &ms.hydromet.raingage_file, &ms.channel.chan_input_file, &ms.pipe.pipe_flow_file,
        &ms.lake.lake_output_file, &ms.groundwater.gw_boundary_file, &ms.soil.soil_type_file, &ms.output.depth_map_file,
        &ms.constituent.chan_contam_file, &ms.clock.exchange_map_file, &ms.constituent.out_tss_loc_file,
        &ms.output.snow_temp_dataset.file, &ms.output.qin_output_file, &ms.channel.chan_discharge_in_file,
        &ms.constituent.total_chan_n_file, &ms.hydromet.init_swe_input_file, &ms.output.out_dep_location_file}) {
    EXPECT_FALSE(f->is_open());
    EXPECT_EQ(f->fp_guard, nullptr);
  }

  // The project sub-records are built empty; the reader sets the defaults.
  EXPECT_EQ(ms.project.project_options.overtype, 0);
  EXPECT_EQ(ms.project.project_options.m_river, 0.0);
  EXPECT_EQ(ms.project.project_options.nsm_model, nullptr);
  EXPECT_EQ(ms.project.project_options.partition_coeffs, nullptr);
  EXPECT_EQ(ms.project.project_options.xy_output.mode, -1);
  EXPECT_FALSE(ms.project.project_options.xy_output.ov_file.is_open());
  EXPECT_EQ(ms.project.project_options.xy_input.ovpts.count(), 0);
  EXPECT_STREQ(ms.project.project_options.xy_input.ovpts.name(), "xy_input::ovpts");
  EXPECT_STREQ(ms.project.project_options.xy_input.stpts.name(), "xy_input::stpts");
  EXPECT_STREQ(ms.project.project_options.xy_input.gwpts.name(), "xy_input::gwpts");
  EXPECT_STREQ(ms.project.project_options.xy_input.gw_interp_pts.name(), "xy_input::gwInterpPts");
  EXPECT_EQ(ms.project.run_control.rows, 0);
  EXPECT_EQ(ms.project.rain_event.rain_interp, 0);
  EXPECT_TRUE(ms.project.rain_event.precip_file.empty());
}

TEST_F(ModelState, AFreshRecordHoldsTheDefaultsAndNamedArrays) {
  CaptureStdout();
  auto ms = make_model_state();
  expect_fresh(*ms);
  // The named constituent balances, with the names the range report prints.
  const std::pair<const checked_array<double>*, const char*> named[] = {
      {&ms->constituent.OV_MASS_INIT, "OV_MASS_INIT"},
      {&ms->constituent.OV_MASS_FINAL, "OV_MASS_FINAL"},
      {&ms->constituent.OV_MASS_OUT, "OV_MASS_OUT"},
      {&ms->constituent.OV_QLAT_MASS, "OV_QLAT_MASS"},
      {&ms->constituent.OV_MASS_DECAY, "OV_MASS_DECAY"},
      {&ms->constituent.OV_POINT_MASS, "OV_POINT_MASS"},
      {&ms->constituent.OV_EXFIL_MASS, "OV_EXFIL_MASS"},
      {&ms->constituent.OV_PRECIP_MASS, "OV_PRECIP_MASS"},
      {&ms->constituent.OV_INFIL_MASS, "OV_INFIL_MASS"},
      {&ms->constituent.OV_MASS_ERROR, "OV_MASS_ERROR"},
      {&ms->constituent.OV_LAND_MASS, "OV_LAND_MASS"},
      {&ms->constituent.OV_LAND_MASS_INIT, "OV_LAND_MASS_INIT"},
      {&ms->constituent.OV_LAND_MASS_FINAL, "OV_LAND_MASS_FINAL"},
      {&ms->constituent.OV_UPTAKE_MASS, "OV_UPTAKE_MASS"},
      {&ms->constituent.event_ov_mass_init, "event_ov_mass_init"},
      {&ms->constituent.event_ov_decay_mass, "event_ov_decay_mass"},
      {&ms->constituent.event_ov_uptake_mass, "event_ov_uptake_mass"},
      {&ms->constituent.event_ov_infil_mass, "event_ov_infil_mass"},
      {&ms->constituent.event_ov_exfil_mass, "event_ov_exfil_mass"},
      {&ms->constituent.event_ov_qlat_mass, "event_ov_qlat_mass"},
      {&ms->constituent.event_ov_mass_out, "event_ov_mass_out"},
      {&ms->constituent.event_ov_point_mass, "event_ov_point_mass"},
      {&ms->constituent.event_ov_precip_mass, "event_ov_precip_mass"},
      {&ms->constituent.event_ov_land_mass, "event_ov_land_mass"},
      {&ms->constituent.event_ov_neg_mass, "event_ov_neg_mass"},
      {&ms->constituent.ov_out_dmt, "ov_out_dmt"},
      {&ms->constituent.ov_point_dmt, "ov_point_dmt"},
      {&ms->constituent.ov_decay_dmt, "ov_decay_dmt"},
      {&ms->constituent.ov_infil_dmt, "ov_infil_dmt"},
      {&ms->constituent.ov_qlat_dmt, "ov_qlat_dmt"},
      {&ms->constituent.ov_uptake_dmt, "ov_uptake_dmt"},
      {&ms->constituent.ov_precip_dmt, "ov_precip_dmt"},
      {&ms->constituent.ov_nsm_dmt, "ov_nsm_dmt"},
      {&ms->constituent.ov_nsm_dmt_in, "ov_nsm_dmt_in"},
      {&ms->constituent.ov_nsm_dmt_out, "ov_nsm_dmt_out"},
      {&ms->constituent.GLOBAL_MASS_CON_ERROR, "GLOBAL_MASS_CON_ERROR"},
      {&ms->constituent.GLOBAL_MASS_DECAY, "GLOBAL_MASS_DECAY"},
      {&ms->constituent.GLOBAL_MASS_INIT, "GLOBAL_MASS_INIT"},
      {&ms->constituent.GLOBAL_MASS_FINAL, "GLOBAL_MASS_FINAL"},
      {&ms->constituent.GLOBAL_POINT_SOURCE, "GLOBAL_POINT_SOURCE"},
      {&ms->constituent.GLOBAL_MASS_OUT, "GLOBAL_MASS_OUT"},
      {&ms->constituent.GLOBAL_GW_MASS, "GLOBAL_GW_MASS"},
      {&ms->constituent.ov_exit_mass, "ov_exit_mass"},
      {&ms->constituent.precip_conc, "precip_conc"},
      {&ms->constituent.water_soil_partition_coef, "water_soil_partition_coef"},
  };
  for (const auto& [array, name] : named) {
    EXPECT_STREQ(array->name(), name);
    EXPECT_EQ(array->count(), 0);
  }
  EXPECT_STREQ(ms->constituent.constituent_type.name(), "constituent_type");
  EXPECT_STREQ(ms->grid.cell_row.name(), "");
  ms.reset();
  // Building and destroying a record that did nothing prints nothing.
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(ModelState, LargeTablesAreMadeOnFirstUseAtFullCapacity) {
  auto ms = make_model_state();
  array1d<date_entry>& dates = ms->clock.dates();
  ASSERT_EQ(dates.size(), date_table_capacity);  // entries 1..100,000
  EXPECT_EQ(dates[date_table_capacity].year, 0);
  dates[1].year = 2004;
  EXPECT_EQ(&ms->clock.dates(), &dates);
  EXPECT_EQ(ms->clock.dates()[1].year, 2004);  // asked again, the same table

  array1d<soil_class>& soils = ms->soil.soil_classes();
  ASSERT_EQ(soils.size() + 1, soil_class_capacity);  // IDs 0..99,999
  EXPECT_EQ(soils[99999].real(50), 0.0);
  soils[7].real(23) = 25.0;  // reals are numbered from 1
  EXPECT_EQ(soils[7].reals[22], 25.0);
  EXPECT_EQ(&ms->soil.soil_classes(), &soils);
}

// Gives a record the kind of state a run leaves: cards read, process-wide
// lists filled, files open, tables and arrays made, counters moved.
void use_like_a_run(model_state& ms, bool soil_table = true) {
  write_file("series.ts", "NIVRA_TS\ninflow\nRELATIVE\n0 0 0 0 0 1.0\nEND_TS\n");
  write_file("keys.txt", "1\n[N] \"%4.2lf\"\n");
  write_file("values.txt", "0.05\n");
  write_file("run.prj",
             "NIVRAPROJECT\nTIME_SERIES_FILE series.ts\nREPLACE_PARAMS keys.txt\n"
             "REPLACE_VALS values.txt\nMANNING_N [N]\nNUTRIENTS\nOUT_HYD_NO3 no3\nNO2_KM 0.5\n"
             "XYBDYOUTPUT_OVDEP xy_ov.out\n");
  read_project_file("run.prj", ms.project.project_options, ms.project.run_control, ms.project.rain_event, 0);
  ms.constituent.nsm_model = ms.project.project_options.nsm_model.get();
  open_guarded_file(ms.constituent.nsm_model->hyd_conc_files[1], "no3.conc", "w");
  open_guarded_file(ms.output.summary_file, "run.sum", "w");
  process.summary_log = &ms.output.summary_file;
  open_guarded_file(ms.channel.chan_depth_out_file, "depth.out", "w");
  open_guarded_file(ms.constituent.out_tss_loc_file, "tss.out", "w");
  open_guarded_file(ms.project.project_options.xy_output.ov_file, "xy_ov.out", "w");
  open_guarded_file(ms.output.snow_temp_dataset.file, "snow.dat", "w");
  ms.output.map_series.grow(2, 2);
  open_guarded_file(ms.output.map_series(1, 1).file, "conc_01.dat", "w");
  ms.output.channel_series.grow(1, 2);
  ms.output.channel_series(1, 2).table.alloc(3, 4);
  ms.constituent.soil_mass.grow_fill(2, 1.0, 3, 3);
  ms.constituent.soil_chem_table.table.grow(2, 3);
  ms.constituent.soil_chem_table.first.grow(4);
  ms.project.project_options.xy_input.ovpts.grow(3);
  ms.constituent.OV_MASS_INIT.grow(3);
  ms.grid.mask.alloc(6, 8);
  ms.grid.cell_x.grow(48);
  ms.clock.dates()[1].year = 1999;
  if (soil_table) ms.soil.soil_classes()[3].real(1) = 0.4;
  ms.soil.ga_kernel.suction_deficit.alloc(4);
  ms.soil.ga_kernel.ready = true;
  ms.soil.richards_kernel.prepare(12);
  ms.soil.richards_kernel.substeps = 40;
  ms.soil.richards.alloc(4, 12);
  ms.groundwater.lumped_pool = 3.5;
  ms.groundwater.congw_store.slow_max = 100.0;
  ms.pipe.sl_prestep_depth.alloc(50);
  ms.pipe.solver.matrix.alloc(3, 3);
  ms.pipe.solver.dense_reference = true;
  ms.pipe.solver.timing.solve = 0.5;
  ms.pipe.solver.calls = 7;
  ms.pipe.sl_step_count = 7;
  ms.hydromet.precip_event_call_count = 3;
  ms.hydromet.hmet_skip_done = 1;
  ms.hydromet.snow_hour_accum = 0.75;
  ms.channel.chan_dry_count = 9;
  ms.channel.chan_point_read_count = 4;
  ms.overland.overtype = 1;
  ms.hydromet.snow_coef_d = 2.2;
  ms.hydromet.uniform_rain_step = 17;
  ms.clock.keep_running = 1;
  ms.clock.step_count = 360;
  ms.constituent.soil_chem_table.marker = 5;
  ms.constituent.con_output_name.assign("contam");
  ms.project.project_file.assign("run.prj");
}

TEST_F(ModelState, TeardownEmptiesTheRunsProcessListsAndClosesEveryFile) {
  CaptureStdout();
  int before = open_descriptors();
  auto ms = make_model_state();
  use_like_a_run(*ms);
  EXPECT_EQ(process.ts_list.size(), 1u);
  EXPECT_EQ(process.replace_list.size(), 1u);
  EXPECT_EQ(ms->project.project_options.manning_n, 0.05);
  EXPECT_EQ(open_descriptors(), before + 7);
  ms->constituent.OV_MASS_INIT[7] = 1.0;  // out of range: reported when the record goes
  ms.reset();
  EXPECT_EQ(open_descriptors(), before);
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Error: bad range addressed in array OV_MASS_INIT\n"), std::string::npos);
  EXPECT_TRUE(process.ts_list.empty());
  EXPECT_TRUE(process.ts_id_list.empty());
  EXPECT_TRUE(process.replace_list.empty());
  EXPECT_EQ(process.summary_log, nullptr);
  // The XY output file got its end line before it was closed.
  EXPECT_EQ(testing::read_file("xy_ov.out"), "END_TS\n");
}

TEST_F(ModelState, ARecordBuiltAfterAnotherEqualsAFreshOne) {
  // The second record's components are built over memory filled with bytes
  // that are neither zero nor the first record's, so every member must get
  // its value from the record's own construction.
  CaptureStdout();
  auto first = make_model_state();
  use_like_a_run(*first);
  first.reset();
  poison_new_memory = true;
  auto second = make_model_state();
  poison_new_memory = false;
  GetCapturedStdout();
  expect_fresh(*second);
  EXPECT_TRUE(second->project.project_options.watershed_mask.empty());
}

TEST_F(ModelState, HundredRunsOfBuildUseAndDestroyLeaveNothing) {
  CaptureStdout();
  int before = open_descriptors();
  for (int run = 0; run < 100; ++run) {
    auto ms = make_model_state();
    use_like_a_run(*ms, run % 25 == 0);  // the 40 MB soil table now and then
    EXPECT_EQ(ms->project.project_options.manning_n, 0.05);
  }
  EXPECT_EQ(open_descriptors(), before);
  GetCapturedStdout();
  EXPECT_TRUE(process.ts_list.empty());
}

}  // namespace
}  // namespace nivra
