#include <gtest/gtest.h>

#include <algorithm>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "groundwater/groundwater_state.h"
#include "output/dataset_out.h"
#include "output/nsm_output.h"
#include "output/output_state.h"
#include "output/step_outputs.h"
#include "output_fixture.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

class TimeSeries : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  void SetUp() override {
    process_test::SetUp();
    ms->clock.elapsed_min = 15.0;
    ms->overland.qout = 1.23456;
    ms->clock.model_time = 2451545.25;
    ms->clock.day_of_year = 31;
    ms->clock.cur_hour = 12;
    ms->clock.cur_minute = 0;
    open_for_test(ms->output.outlet_hydro_file, "outlet.hyd");
  }
  void use_long_term() {
    ms->clock.long_term = 1;
    ms->clock.cur_year = 2001;
  }
};

// Outlet hydrograph and its six-digit twin in every time mode and unit: the
// twin's decimal years and Julian days keep the hydrograph's digits, so
// that the hours of a long-term run do not repeat.
TEST_F(TimeSeries, OutletHydrographInEveryModeAndUnit) {
  struct {
    int long_term, strict, cfs;
    const char* line;
    const char* six;
  } cases[] = {
      {0, 0, 0, "   15.00     1.235\n", "   15.00     1.234560\n"},
      {0, 1, 0, "2451545.25000000     1.235\n", "2451545.25000000     1.234560\n"},
      {1, 0, 0, "   2001.08356164      1.2346\n", "   2001.08356164     1.234560\n"},
      {0, 0, 1, "   15.00     43.598\n", "   15.00    43.598075\n"},
      {0, 1, 1, "2451545.25000000     43.598\n", "2451545.25000000    43.598075\n"},
      {1, 0, 1, "   2001.08356164     43.5981\n", "   2001.08356164    43.598075\n"},
  };
  for (auto& c : cases) {
    auto m = make_fixture();
    m->clock.elapsed_min = 15.0;
    m->overland.qout = 1.23456;
    m->clock.model_time = 2451545.25;
    m->clock.cur_year = 2001;
    m->clock.day_of_year = 31;
    m->clock.cur_hour = 12;
    m->clock.cur_minute = 0;
    m->clock.long_term = c.long_term;
    m->clock.strict_julian_date = c.strict;
    m->output.qout_cfs = c.cfs;
    m->output.sig_outlet_hydro_given = 1;
    open_for_test(m->output.outlet_hydro_file, "o.hyd");
    open_for_test(m->output.hyd_6digit_file, "o6.hyd");
    write_time_series_output(*m);
    EXPECT_EQ(written(m->output.outlet_hydro_file), c.line) << c.long_term << c.strict << c.cfs;
    EXPECT_EQ(written(m->output.hyd_6digit_file), c.six) << c.long_term << c.strict << c.cfs;
    EXPECT_EQ(m->output.hydro_line_count, 1);
  }
}

TEST_F(TimeSeries, LinesOnlyAtWriteSteps) {
  ms->clock.hyd_write_steps = 5;
  ms->output.chan_discharge_given = 1;
  open_for_test(ms->channel.chan_discharge_out_file, "q.lnd");
  int lines = 0;
  for (int s = 0; s <= 11; ++s) {
    ms->clock.step_count = s;
    ms->clock.elapsed_min = s;
    write_time_series_output(*ms);
  }
  const std::string text = written(ms->output.outlet_hydro_file);
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 3);
  EXPECT_EQ(text.substr(0, 9), "    0.00 ");
  EXPECT_NE(text.find("\n    5.00 "), std::string::npos);
  EXPECT_NE(text.find("\n   10.00 "), std::string::npos);
  const std::string blocks = written(ms->channel.chan_discharge_out_file);
  EXPECT_NE(blocks.find("TS    0\n"), std::string::npos);
  EXPECT_NE(blocks.find("TS    2\n"), std::string::npos);
  EXPECT_EQ(blocks.find("TS    3\n"), std::string::npos);
}

// A write interval shorter than the model step truncates to 0 steps: every
// step is then a write step.
TEST_F(TimeSeries, IntervalShorterThanAStepWritesEveryStep) {
  ms->clock.hyd_write_steps = 0;
  ms->clock.map_write_steps = 0;
  for (int s = 0; s < 3; ++s) {
    ms->clock.step_count = s;
    EXPECT_TRUE(hydrograph_step_due(ms->clock));
    EXPECT_TRUE(map_step_due(ms->clock));
    write_time_series_output(*ms);
  }
  const std::string text = written(ms->output.outlet_hydro_file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

// The stamp is the year plus the minutes elapsed in it over the minutes of
// the year: 1 January 00:00 is the year itself, and the last hour of the
// year stays below the next. Hand values from the calendar.
TEST_F(TimeSeries, LongTermStampIsTheYearPlusTheMinutesElapsedInIt) {
  use_long_term();
  struct {
    int year, month, day, hour, minute;
    double stamp;
  } cases[] = {
      {2023, 1, 1, 0, 0, 2023.0},
      {2024, 1, 1, 0, 0, 2024.0},
      {2023, 12, 31, 23, 0, 2023.0 + (364 * 1440.0 + 23 * 60.0) / 525600.0},  // 2023.99988584
      {2024, 12, 31, 23, 0, 2024.0 + (365 * 1440.0 + 23 * 60.0) / 527040.0},  // 2024.99988616
      {2024, 7, 1, 0, 0, 2024.0 + 182.0 / 366.0},                             // 2024.49726776
      {2024, 6, 10, 0, 0, 2024.0 + 161.0 / 366.0},                            // 2024.43989071
      {2001, 1, 11, 6, 30, 2001.0 + (10 * 1440.0 + 6 * 60.0 + 30.0) / 525600.0},
  };
  for (const auto& c : cases) {
    ms->clock.cur_year = c.year;
    ms->clock.day_of_year = day_of_year_of(c.year, c.month, c.day);
    ms->clock.cur_hour = c.hour;
    ms->clock.cur_minute = c.minute;
    const double stamp = long_term_time_stamp(ms->clock);
    EXPECT_DOUBLE_EQ(stamp, c.stamp) << c.year << "/" << c.month << "/" << c.day << " " << c.hour;
    EXPECT_GE(stamp, c.year);
    EXPECT_LT(stamp, c.year + 1.0);
  }
  ms->clock.strict_julian_date = 1;
  EXPECT_DOUBLE_EQ(long_term_time_stamp(ms->clock), ms->clock.model_time);
}

TEST_F(TimeSeries, ChannelLocationSeries) {
  ms->output.in_hyd_location_given = ms->output.out_dep_location_given = 1;
  ms->output.out_con_location_given = ms->output.out_mass_location_given = 1;
  ms->constituent.num_constituents = 1;
  ms->constituent.sediment_contam = 1;
  for (auto* t : {&ms->constituent.chan_conc, &ms->constituent.dissolved_chan_flux, &ms->constituent.attached_chan_flux})
    t->grow(1, 12);
  ms->constituent.chan_conc(1, 5) = 1.1;  // link 1 node 2
  ms->constituent.chan_conc(1, 12) = 2.2;  // link 3 node 3
  ms->constituent.dissolved_chan_flux(1, 5) = 0.1;
  ms->constituent.dissolved_chan_flux(1, 12) = 0.2;
  ms->constituent.attached_chan_flux(1, 5) = 0.01;
  ms->constituent.attached_chan_flux(1, 12) = 0.02;
  open_for_test(ms->output.out_hyd_location_file, "q.loc");
  open_for_test(ms->output.out_dep_location_file, "d.loc");
  open_for_test(ms->output.out_con_location_file, "c.loc");
  open_for_test(ms->output.out_mass_location_file, "m.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->output.out_hyd_location_file), "   15.00000000     2.250000     4.125000 \n");
  EXPECT_EQ(written(ms->output.out_dep_location_file), "   15.00000000     0.400000     0.750000 \n");
  EXPECT_EQ(written(ms->output.out_con_location_file), "   15.00000000     1.100000     2.200000 \n");
  EXPECT_EQ(written(ms->output.out_mass_location_file),
            "   15.00000000     0.100000     0.010000     0.200000     0.020000 \n");
}

TEST_F(TimeSeries, LongTermLocationTimeColumn) {
  use_long_term();
  ms->output.in_hyd_location_given = 1;
  open_for_test(ms->output.out_hyd_location_file, "q.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->output.out_hyd_location_file), "   2001.08356164     2.250000     4.125000 \n");
}

TEST_F(TimeSeries, CellDepthAndDischargeSeries) {
  ms->output.in_celldepdis_location_given = 1;
  open_for_test(ms->output.out_dep_dis_location_file, "cell.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->output.out_dep_dis_location_file),
            "   15.00000000         0.020000      0.050000              5.000000      1.000000  \n");
  // In cubic feet per second only the discharges are written.
  ms->output.qout_cfs = 1;
  open_for_test(ms->output.out_dep_dis_location_file, "cell_cfs.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->output.out_dep_dis_location_file),
            "   15.00000000               176.573335     35.314667  \n");
}

TEST_F(TimeSeries, CellDepthIsTheDepthOfThisStep) {
  ms->output.in_celldepdis_location_given = 1;
  open_for_test(ms->output.out_dep_dis_location_file, "cell.loc");
  ms->overland.ov_depth[2] = 0.5;  // changed since any map was written
  write_time_series_output(*ms);
  EXPECT_NE(written(ms->output.out_dep_dis_location_file).find("    0.500000  "), std::string::npos);
}

// The stream-aquifer exchange is summed every step by the groundwater code;
// the series reports the mean over the interval times the node spacing.
TEST_F(TimeSeries, GroundwaterFluxIsTheIntervalMean) {
  for (int steps : {5, 2}) {
    auto m = make_fixture();
    m->clock.hyd_write_steps = steps;
    m->output.in_gwflux_location_given = 1;
    m->output.num_gwflux_locations = 2;
    set_ints(m->output.gwflink, {1, 3});
    set_ints(m->output.gwfnode, {2, 1});
    m->groundwater.av_qriv.alloc(3, 3);
    open_for_test(m->groundwater.out_gw_flux_location_file, "gw.loc");
    for (int s = 1; s <= 2 * steps; ++s) {
      m->groundwater.av_qriv(2, 1) += 0.01;  // m3/s per metre of stream
      m->clock.step_count = s;
      write_time_series_output(*m);
    }
    EXPECT_EQ(written(m->groundwater.out_gw_flux_location_file),
              "    0.00000000     0.500000     0.000000 \n"
              "    0.00000000     0.500000     0.000000 \n")
        << steps;
    EXPECT_EQ(m->groundwater.av_qriv(2, 1), 0.0);
  }
}

TEST_F(TimeSeries, PointWellAndLakeSeries) {
  ms->output.gw_well_level_given = ms->output.overland_depths_given = ms->output.overland_wse_given = 1;
  ms->output.lake_output_given = 1;
  ms->groundwater.num_wells = 2;
  set_ints(ms->groundwater.well_row, {1, 2});
  set_ints(ms->groundwater.well_column, {3, 3});
  set_cells(ms->groundwater.elevgw, {9.0, 9.5, 10.0, 10.5, 11.0});
  ms->output.n_overland_depth_locs = ms->output.n_overland_wse_locs = 2;
  set_ints(ms->output.overland_depth_row, {1, 2});
  set_ints(ms->output.overland_depth_col, {2, 1});
  set_ints(ms->output.overland_wse_row, {1, 2});
  set_ints(ms->output.overland_wse_col, {2, 3});
  open_for_test(ms->groundwater.well_level_file, "w.out");
  open_for_test(ms->output.overland_depths_file, "od.out");
  open_for_test(ms->output.overland_wse_file, "ow.out");
  open_for_test(ms->lake.lake_output_file, "lake.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->groundwater.well_level_file), "   15.00000000    10.000000    11.000000 \n");
  EXPECT_EQ(written(ms->output.overland_depths_file), "   15.00000000     0.020000     0.040000 \n");
  EXPECT_EQ(written(ms->output.overland_wse_file), "   15.00000000    11.020000    14.050000 \n");
  EXPECT_EQ(written(ms->lake.lake_output_file), "   15.00000000   101.500   2500.000 \n");

  use_long_term();
  ms->clock.model_time = julian_date(2001, 3, 4, 5, 6, 0.0);
  open_for_test(ms->lake.lake_output_file, "lake_lt.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->lake.lake_output_file), "2001  3  4  5  6   101.500   2500.000 \n");
}

TEST_F(TimeSeries, SoilMoistureLocations) {
  ms->output.in_theta_location_given = 1;
  ms->output.n_theta_loc = 2;
  set_ints(ms->output.cell_loc, {1, 5});
  set_cells(ms->soil.surface_moisture, {0.25, 0.0, 0.0, 0.0, 0.35});
  open_for_test(ms->soil.out_theta_location_file, "t1.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->soil.out_theta_location_file), "   15.00000000     0.250000     0.350000 \n");

  // Richards columns: the layers each location lists.
  ms->soil.inf_richards = 1;
  set_ints(ms->output.cell_num, {2, 1});
  ms->output.theta_loc_layers.alloc(2, 2);
  ms->output.theta_loc_layers(1, 1) = 1;
  ms->output.theta_loc_layers(1, 2) = 3;
  ms->output.theta_loc_layers(2, 1) = 2;
  ms->soil.THETA.alloc(5, 3);
  ms->soil.THETA(1, 1) = 0.1;
  ms->soil.THETA(1, 3) = 0.3;
  ms->soil.THETA(5, 2) = 0.52;
  open_for_test(ms->soil.out_theta_location_file, "t2.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->soil.out_theta_location_file),
            "   15.00000000     0.100000     0.300000     0.520000 \n");

  // Long-term soil-moisture accounting: top and lower layer contents.
  ms->soil.inf_richards = 0;
  use_long_term();
  ms->soil.sm_accounting = 1;
  ms->soil.top_layer_depth = 40.0;
  set_cells(ms->soil.sm_depth, {50.0, 0.0, 0.0, 0.0, 30.0});
  set_cells(ms->soil.sm_water_top, {10.0, 0.0, 0.0, 0.0, 6.0});
  set_cells(ms->soil.sm_water_bottom, {6.0, 0.0, 0.0, 0.0, 0.0});
  open_for_test(ms->soil.out_theta_location_file, "t3.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->soil.out_theta_location_file),
            "   2001.08356164     0.250000     0.600000     0.200000   999.990000 \n");

  // Layered soils take the top-layer depth from the cell's soil class.
  ms->soil.inf_layered_soil = 1;
  set_ints(ms->soil.soiltype, {1, 1, 1, 1, 1});
  ms->soil.soil_classes()[1].real(23) = 20.0;
  open_for_test(ms->soil.out_theta_location_file, "t4.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->soil.out_theta_location_file),
            "   2001.08356164     0.500000     0.200000     0.300000     0.000000 \n");
}

TEST_F(TimeSeries, OutletSedimentWithChannelTransport) {
  ms->constituent.soil_erosion_on = ms->constituent.chan_sed_on = 1;
  ms->constituent.n_fine_classes = ms->constituent.n_sand_classes = 1;
  set_cells(ms->constituent.chan_fine_out, {0.5});
  set_cells(ms->constituent.chan_sand_out, {0.25, 0.125});
  ms->constituent.outlet_sed_tss = 1;
  ms->constituent.chan_sed_conc.alloc(12, 2);
  ms->constituent.chan_sed_conc(12, 0) = 123.45;  // outlet: link 3, node 3
  open_for_test(ms->constituent.outlet_sed_flux_file, "sed.out");
  open_for_test(ms->constituent.outlet_sed_tss_file, "tss.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->constituent.outlet_sed_flux_file),
            "   15.0000000000     0.5000000000     0.2500000000     0.1250000000\n");
  EXPECT_EQ(written(ms->constituent.outlet_sed_tss_file), "         15.0000         123.4500 \n");

  ms->output.qout_cfs = 1;
  open_for_test(ms->constituent.outlet_sed_flux_file, "sed_cfs.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->constituent.outlet_sed_flux_file),
            "     15.00000000    17.6573335000     8.8286667500     4.4143333750\n");
}

TEST_F(TimeSeries, OutletSedimentFromTheCellsAlone) {
  ms->constituent.soil_erosion_on = 1;
  ms->constituent.ov_sed = std::make_unique<ov_sed_record>();
  ms->constituent.ov_sed->outlet_last_vol = 0.3;
  ms->clock.ov_dt = 60.0;
  open_for_test(ms->constituent.outlet_sed_flux_file, "sed.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->constituent.outlet_sed_flux_file), "     15.00000000     0.0050000000\n");
}

TEST_F(TimeSeries, SedimentLocationSeries) {
  ms->constituent.chan_sed_on = ms->constituent.in_sed_loc = ms->constituent.out_tss_loc = 1;
  ms->constituent.n_fine_classes = ms->constituent.n_sand_classes = 1;
  ms->output.n_sed_loc = 1;
  set_ints(ms->output.slink, {3});
  set_ints(ms->output.snode, {3});
  ms->constituent.qsmax.alloc(12, 3);
  ms->constituent.qsmax(12, 1) = 0.001;
  ms->constituent.qsmax(12, 2) = 0.002;
  ms->constituent.qsmax(12, 3) = 0.003;
  ms->constituent.chan_sed_conc.alloc(12, 2);
  ms->constituent.chan_sed_conc(12, 0) = 7.5;
  open_for_test(ms->constituent.out_sed_hyd_location_file, "sl.out");
  open_for_test(ms->constituent.out_tss_loc_file, "tl.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->constituent.out_sed_hyd_location_file),
            "   15.00000000     0.0010000000     0.0020000000     0.0030000000 \n");
  EXPECT_EQ(written(ms->constituent.out_tss_loc_file), "   15.00000000           7.5000\n");
}

TEST_F(TimeSeries, LinkNodeBlocksNumberTheirStepsApart) {
  ms->output.chan_depth_given = ms->output.chan_sed_flux_given = ms->constituent.chan_sed_on = 1;
  ms->constituent.n_sed_classes = 2;
  ms->constituent.qsmax.alloc(12, 2);
  ms->constituent.qsmax(4, 1) = 1e-6;  // link 1, node 1
  ms->constituent.qsmax(4, 2) = 2e-6;
  open_for_test(ms->channel.chan_depth_out_file, "d.lnd");
  open_for_test(ms->channel.stream_sed_flux_file, "s.lnd");
  for (int s = 0; s < 3; ++s) {
    ms->clock.step_count = s;
    write_time_series_output(*ms);
  }
  const std::string depth = written(ms->channel.chan_depth_out_file);
  const std::string sed = written(ms->channel.stream_sed_flux_file);
  for (const std::string* t : {&depth, &sed})
    for (int s = 0; s < 3; ++s) EXPECT_NE(t->find("TS    " + std::to_string(s) + "\n"), std::string::npos);
  EXPECT_NE(depth.find("TS    1\n2   1  0.40000   1  0.40000   \n-1 101.50000   \n"),
            std::string::npos);
  EXPECT_NE(sed.find("TS    2\n2   1  3.00000   1  0.00000   \n0  -999.999   \n"
                     "3   1  0.00000   1  0.00000   1  0.00000   \n\n"),
            std::string::npos)
      << sed;
  EXPECT_EQ(ms->constituent.qsmax_total(1, 1), 0.0);  // cleared after every block
}

TEST_F(TimeSeries, VelocityAndStageBlocks) {
  ms->output.chan_velocity_given = ms->output.chan_stage_given = 1;
  open_for_test(ms->channel.chan_velocity_out_file, "v.lnd");
  open_for_test(ms->channel.chan_stage_out_file, "st.lnd");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->channel.chan_velocity_out_file),
            "TS    0\n2   1  0.75000   1  0.00000   \n-1 101.50000   \n"
            "3   1  2.00000   1  2.00000   1  1.65000   \n\n");
  EXPECT_EQ(written(ms->channel.chan_stage_out_file),
            "TS    0\n2   1  100.40000   1  99.90000   \n0  -999.999   \n"
            "3   1  98.60000   1  98.20000   1  97.75000   \n\n");
}

TEST_F(TimeSeries, PipeBlocksAnnounceTheEntriesTheyCarry) {
  ms->pipe.storm_sewer_given = ms->output.pipe_flow_given = ms->output.pipe_head_given = ms->output.pipe_tile_given = 1;
  ms->pipe.gw_to_tile = 1;
  ms->pipe.num_slink = 1;
  set_ints(ms->pipe.nnodes, {3});
  set_ints(ms->pipe.superlink_cnodes, {3});
  ms->pipe.Q_node.alloc(4, 1);
  ms->pipe.slink_node_depth.alloc(4, 1);
  ms->pipe.superlink_tile_flow.alloc(4, 1);
  for (int k = 1; k <= 4; ++k) {
    ms->pipe.Q_node(k, 1) = 0.1 * k;
    ms->pipe.slink_node_depth(k, 1) = 0.4 + 0.1 * k;
    ms->pipe.superlink_tile_flow(k, 1) = 0.01 * k;
  }
  open_for_test(ms->pipe.pipe_flow_file, "pf.lnd");
  open_for_test(ms->pipe.pipe_head_file, "ph.lnd");
  open_for_test(ms->pipe.pipe_tile_file, "pt.lnd");
  write_time_series_output(*ms);
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->pipe.pipe_flow_file),
            "TS    0\n3   1  0.10000   1  0.20000   1  0.30000   \n\n"
            "TS    1\n3   1  0.10000   1  0.20000   1  0.30000   \n\n");
  EXPECT_EQ(written(ms->pipe.pipe_head_file),
            "TS    0\n4   1  0.50000   1  0.60000   1  0.70000   1  0.80000   \n\n"
            "TS    1\n4   1  0.50000   1  0.60000   1  0.70000   1  0.80000   \n\n");
  EXPECT_EQ(written(ms->pipe.pipe_tile_file),
            "TS    0\n3   1  0.01000   1  0.02000   1  0.03000   \n\n"
            "TS    1\n3   1  0.01000   1  0.02000   1  0.03000   \n\n");
}

TEST_F(TimeSeries, SuperlinkSeries) {
  ms->pipe.storm_sewer_given = ms->output.superlink_junc_flow_given = ms->output.superlink_node_flow_given = 1;
  ms->output.num_sjunc_locations = ms->output.num_slink_locations = 1;
  set_ints(ms->output.sjunc, {1});
  set_cells(ms->pipe.sjunc_flow, {0.5});
  set_ints(ms->output.sl_link, {1});
  set_ints(ms->output.sl_node, {2});
  ms->pipe.Q_node.alloc(3, 1);
  ms->pipe.Q_node(2, 1) = 0.2;
  ms->pipe.Q_node(3, 1) = 0.3;
  ms->pipe.otc_node.alloc(3, 1);
  ms->pipe.otc_node(2, 1) = 3;
  open_for_test(ms->pipe.superjunction_output_file, "j.out");
  open_for_test(ms->pipe.superlink_node_output_file, "n.out");
  write_time_series_output(*ms);
  ms->pipe.superlink_c_opt = 1;  // nodes through the computational-node table
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->pipe.superjunction_output_file),
            "   15.00000000     0.500000 \n   15.00000000     0.500000 \n");
  EXPECT_EQ(written(ms->pipe.superlink_node_output_file),
            "   15.00000000     0.200000 \n   15.00000000     0.300000 \n");
}

TEST_F(TimeSeries, OutletDischargeLineForTheZvModel) {
  ms->output.zv_discharge_out = 1;
  open_for_test(ms->output.qin_output_file, "qin.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->output.qin_output_file), "31.5     1.2    \n");
}

TEST_F(TimeSeries, NutrientOutletHydrographs) {
  nsm_writers nsm;
  std::vector<double> conc(13, 0.0), mass(13, 0.0);
  conc[12] = 0.75;  // outlet: link 3, node 3
  mass[12] = 12.5;
  nsm.hydrographs.out_hyd_on[3] = 1;
  nsm.media.st_conc[3] = conc.data();
  nsm.media.st_mass[3] = mass.data();
  open_for_test(nsm.hydrographs.hyd_conc_files[3], "nh4.conc");
  open_for_test(nsm.hydrographs.hyd_mass_files[3], "nh4.mass");
  ms->constituent.nutrients = 1;
  ms->constituent.nsm_out = &nsm;
  write_time_series_output(*ms);
  EXPECT_EQ(written(nsm.hydrographs.hyd_conc_files[3]), "     15.00000000      0.7500\n");
  EXPECT_EQ(written(nsm.hydrographs.hyd_mass_files[3]), "     15.00000000     12.5000\n");
}

TEST_F(TimeSeries, ConstituentLinkNodeFiles) {
  ms->constituent.num_constituents = 1;
  ms->constituent.constituent_type.grow_fill(1, 1);
  ms->constituent.constituent_output_name = {"", "con1"};
  ms->constituent.chan_con_trans = 1;
  ms->constituent.chan_conc.grow(1, 12);
  ms->constituent.chan_node_mass.grow(1, 12);
  ms->constituent.lake_conc.grow(1, 1);
  ms->constituent.lake_mass.grow(1, 1);
  ms->constituent.chan_conc(1, 4) = 0.5;
  init_contaminant_map_series(*ms);
  init_channel_constituent_series(*ms);
  write_time_series_output(*ms);
  write_time_series_output(*ms);
  mass_con_writer* row = ms->output.channel_series.row(1);
  EXPECT_EQ(written(row[1].mass_file),
            "NIVRA_LINKNODE_CONCENTRATION\nNUM_LINKS     3\nTIME_STEP     1\nNUM_TS        120\n"
            "START_TIME     4  3 2001 12  0  0\n"
            "TS    0\n2   1  0.50000   1  0.00000   \n0  -999.999   \n"
            "3   1  0.00000   1  0.00000   1  0.00000   \n\n"
            "TS    1\n2   1  0.50000   1  0.00000   \n0  -999.999   \n"
            "3   1  0.00000   1  0.00000   1  0.00000   \n\n");
  EXPECT_NE(written(row[2].mass_file).find("NIVRA_LINKNODE_MASS\n"), std::string::npos);
  EXPECT_TRUE(file_exists("con1.chan.conc"));
  EXPECT_TRUE(file_exists("con1.chan.mass"));
}

}  // namespace
}  // namespace nivra::testing
