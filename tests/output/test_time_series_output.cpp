#include <gtest/gtest.h>

#include <algorithm>

#include "core/dates.h"
#include "output/dataset_out.h"
#include "output/nsm_output.h"
#include "output/step_outputs.h"
#include "output_fixture.h"

namespace nivra::testing {
namespace {

class TimeSeries : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  void SetUp() override {
    process_test::SetUp();
    ms->elapsed_min = 15.0;
    ms->qout = 1.23456;
    ms->model_time = 2451545.25;
    ms->day_of_year = 31;
    ms->cur_hour = 12;
    ms->cur_minute = 0;
    open_for_test(ms->outlet_hydro_file, "outlet.hyd");
  }
  void use_long_term() {
    ms->long_term = 1;
    ms->cur_year = 2001;
  }
};

// Outlet hydrograph and its six-digit twin in every time mode and unit.
TEST_F(TimeSeries, OutletHydrographInEveryModeAndUnit) {
  struct {
    int long_term, strict, cfs;
    const char* line;
    const char* six;
  } cases[] = {
      {0, 0, 0, "   15.00     1.235\n", "   15.00     1.234560\n"},
      {0, 1, 0, "2451545.25000000     1.235\n", "2451545.25     1.234560\n"},
      {1, 0, 0, "   2001.08630137      1.2346\n", " 2001.09     1.234560\n"},
      {0, 0, 1, "   15.00     43.598\n", "   15.00    43.598075\n"},
      {0, 1, 1, "2451545.25000000     43.598\n", "2451545.25    43.598075\n"},
      {1, 0, 1, "   2001.08630137     43.5981\n", " 2001.09    43.598075\n"},
  };
  for (auto& c : cases) {
    auto m = make_fixture();
    m->elapsed_min = 15.0;
    m->qout = 1.23456;
    m->model_time = 2451545.25;
    m->cur_year = 2001;
    m->day_of_year = 31;
    m->cur_hour = 12;
    m->cur_minute = 0;
    m->long_term = c.long_term;
    m->strict_julian_date = c.strict;
    m->qout_cfs = c.cfs;
    m->sig_outlet_hydro_given = 1;
    open_for_test(m->outlet_hydro_file, "o.hyd");
    open_for_test(m->hyd_6digit_file, "o6.hyd");
    write_time_series_output(*m);
    EXPECT_EQ(written(m->outlet_hydro_file), c.line) << c.long_term << c.strict << c.cfs;
    EXPECT_EQ(written(m->hyd_6digit_file), c.six) << c.long_term << c.strict << c.cfs;
    EXPECT_EQ(m->hydro_line_count, 1);
  }
}

TEST_F(TimeSeries, LinesOnlyAtWriteSteps) {
  ms->hyd_write_steps = 5;
  ms->chan_discharge_given = 1;
  open_for_test(ms->chan_discharge_out_file, "q.lnd");
  int lines = 0;
  for (int s = 0; s <= 11; ++s) {
    ms->step_count = s;
    ms->elapsed_min = s;
    write_time_series_output(*ms);
  }
  const std::string text = written(ms->outlet_hydro_file);
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 3);
  EXPECT_EQ(text.substr(0, 9), "    0.00 ");
  EXPECT_NE(text.find("\n    5.00 "), std::string::npos);
  EXPECT_NE(text.find("\n   10.00 "), std::string::npos);
  const std::string blocks = written(ms->chan_discharge_out_file);
  EXPECT_NE(blocks.find("TS    0\n"), std::string::npos);
  EXPECT_NE(blocks.find("TS    2\n"), std::string::npos);
  EXPECT_EQ(blocks.find("TS    3\n"), std::string::npos);
}

// A write interval shorter than the model step truncates to 0 steps: every
// step is then a write step.
TEST_F(TimeSeries, IntervalShorterThanAStepWritesEveryStep) {
  ms->hyd_write_steps = 0;
  ms->map_write_steps = 0;
  for (int s = 0; s < 3; ++s) {
    ms->step_count = s;
    EXPECT_TRUE(hydrograph_step_due(*ms));
    EXPECT_TRUE(map_step_due(*ms));
    write_time_series_output(*ms);
  }
  const std::string text = written(ms->outlet_hydro_file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST_F(TimeSeries, LongTermStampDividesByTheMinutesOfItsYear) {
  use_long_term();
  ms->day_of_year = 10;
  ms->cur_hour = 6;
  ms->cur_minute = 30;
  const double minute = 10 * 1440.0 + 6 * 60.0 + 30.0;
  EXPECT_DOUBLE_EQ(long_term_time_stamp(*ms), 2001.0 + minute / 525600.0);
  ms->cur_year = 2004;  // 2004 - 1900 divisible by 4
  EXPECT_DOUBLE_EQ(long_term_time_stamp(*ms), 2004.0 + minute / 527040.0);
  ms->strict_julian_date = 1;
  EXPECT_DOUBLE_EQ(long_term_time_stamp(*ms), ms->model_time);
}

TEST_F(TimeSeries, ChannelLocationSeries) {
  ms->in_hyd_location_given = ms->out_dep_location_given = 1;
  ms->out_con_location_given = ms->out_mass_location_given = 1;
  ms->num_constituents = 1;
  ms->sediment_contam = 1;
  for (auto* t : {&ms->chan_conc, &ms->dissolved_chan_flux, &ms->attached_chan_flux})
    t->grow(1, 12);
  ms->chan_conc(1, 5) = 1.1;  // link 1 node 2
  ms->chan_conc(1, 12) = 2.2;  // link 3 node 3
  ms->dissolved_chan_flux(1, 5) = 0.1;
  ms->dissolved_chan_flux(1, 12) = 0.2;
  ms->attached_chan_flux(1, 5) = 0.01;
  ms->attached_chan_flux(1, 12) = 0.02;
  open_for_test(ms->out_hyd_location_file, "q.loc");
  open_for_test(ms->out_dep_location_file, "d.loc");
  open_for_test(ms->out_con_location_file, "c.loc");
  open_for_test(ms->out_mass_location_file, "m.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_hyd_location_file), "   15.00000000     2.250000     4.125000 \n");
  EXPECT_EQ(written(ms->out_dep_location_file), "   15.00000000     0.400000     0.750000 \n");
  EXPECT_EQ(written(ms->out_con_location_file), "   15.00000000     1.100000     2.200000 \n");
  EXPECT_EQ(written(ms->out_mass_location_file),
            "   15.00000000     0.100000     0.010000     0.200000     0.020000 \n");
}

TEST_F(TimeSeries, LongTermLocationTimeColumn) {
  use_long_term();
  ms->in_hyd_location_given = 1;
  open_for_test(ms->out_hyd_location_file, "q.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_hyd_location_file), "   2001.08630137     2.250000     4.125000 \n");
}

TEST_F(TimeSeries, CellDepthAndDischargeSeries) {
  ms->in_celldepdis_location_given = 1;
  open_for_test(ms->out_dep_dis_location_file, "cell.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_dep_dis_location_file),
            "   15.00000000         0.020000      0.050000              5.000000      1.000000  \n");
  // In cubic feet per second only the discharges are written.
  ms->qout_cfs = 1;
  open_for_test(ms->out_dep_dis_location_file, "cell_cfs.loc");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_dep_dis_location_file),
            "   15.00000000               176.573335     35.314667  \n");
}

TEST_F(TimeSeries, CellDepthIsTheDepthOfThisStep) {
  ms->in_celldepdis_location_given = 1;
  open_for_test(ms->out_dep_dis_location_file, "cell.loc");
  ms->ov_depth[2] = 0.5;  // changed since any map was written
  write_time_series_output(*ms);
  EXPECT_NE(written(ms->out_dep_dis_location_file).find("    0.500000  "), std::string::npos);
}

// The stream-aquifer exchange is summed every step by the groundwater code;
// the series reports the mean over the interval times the node spacing.
TEST_F(TimeSeries, GroundwaterFluxIsTheIntervalMean) {
  for (int steps : {5, 2}) {
    auto m = make_fixture();
    m->hyd_write_steps = steps;
    m->in_gwflux_location_given = 1;
    m->num_gwflux_locations = 2;
    set_ints(m->gwflink, {1, 3});
    set_ints(m->gwfnode, {2, 1});
    m->av_qriv.alloc(3, 3);
    open_for_test(m->out_gw_flux_location_file, "gw.loc");
    for (int s = 1; s <= 2 * steps; ++s) {
      m->av_qriv(2, 1) += 0.01;  // m3/s per metre of stream
      m->step_count = s;
      write_time_series_output(*m);
    }
    EXPECT_EQ(written(m->out_gw_flux_location_file),
              "    0.00000000     0.500000     0.000000 \n"
              "    0.00000000     0.500000     0.000000 \n")
        << steps;
    EXPECT_EQ(m->av_qriv(2, 1), 0.0);
  }
}

TEST_F(TimeSeries, PointWellAndLakeSeries) {
  ms->gw_well_level_given = ms->overland_depths_given = ms->overland_wse_given = 1;
  ms->lake_output_given = 1;
  ms->num_wells = 2;
  set_ints(ms->well_row, {1, 2});
  set_ints(ms->well_column, {3, 3});
  set_cells(ms->elevgw, {9.0, 9.5, 10.0, 10.5, 11.0});
  ms->n_overland_depth_locs = ms->n_overland_wse_locs = 2;
  set_ints(ms->overland_depth_row, {1, 2});
  set_ints(ms->overland_depth_col, {2, 1});
  set_ints(ms->overland_wse_row, {1, 2});
  set_ints(ms->overland_wse_col, {2, 3});
  open_for_test(ms->well_level_file, "w.out");
  open_for_test(ms->overland_depths_file, "od.out");
  open_for_test(ms->overland_wse_file, "ow.out");
  open_for_test(ms->lake_output_file, "lake.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->well_level_file), "   15.00000000    10.000000    11.000000 \n");
  EXPECT_EQ(written(ms->overland_depths_file), "   15.00000000     0.020000     0.040000 \n");
  EXPECT_EQ(written(ms->overland_wse_file), "   15.00000000    11.020000    14.050000 \n");
  EXPECT_EQ(written(ms->lake_output_file), "   15.00000000   101.500   2500.000 \n");

  use_long_term();
  ms->model_time = julian_date(2001, 3, 4, 5, 6, 0.0);
  open_for_test(ms->lake_output_file, "lake_lt.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->lake_output_file), "2001  3  4  5  6   101.500   2500.000 \n");
}

TEST_F(TimeSeries, SoilMoistureLocations) {
  ms->in_theta_location_given = 1;
  ms->n_theta_loc = 2;
  set_ints(ms->cell_loc, {1, 5});
  set_cells(ms->surface_moisture, {0.25, 0.0, 0.0, 0.0, 0.35});
  open_for_test(ms->out_theta_location_file, "t1.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_theta_location_file), "   15.00000000     0.250000     0.350000 \n");

  // Richards columns: the layers each location lists.
  ms->inf_richards = 1;
  set_ints(ms->cell_num, {2, 1});
  ms->theta_loc_layers.alloc(2, 2);
  ms->theta_loc_layers(1, 1) = 1;
  ms->theta_loc_layers(1, 2) = 3;
  ms->theta_loc_layers(2, 1) = 2;
  ms->THETA.alloc(5, 3);
  ms->THETA(1, 1) = 0.1;
  ms->THETA(1, 3) = 0.3;
  ms->THETA(5, 2) = 0.52;
  open_for_test(ms->out_theta_location_file, "t2.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_theta_location_file),
            "   15.00000000     0.100000     0.300000     0.520000 \n");

  // Long-term soil-moisture accounting: top and lower layer contents.
  ms->inf_richards = 0;
  use_long_term();
  ms->sm_accounting = 1;
  ms->top_layer_depth = 40.0;
  set_cells(ms->sm_depth, {50.0, 0.0, 0.0, 0.0, 30.0});
  set_cells(ms->sm_water_top, {10.0, 0.0, 0.0, 0.0, 6.0});
  set_cells(ms->sm_water_bottom, {6.0, 0.0, 0.0, 0.0, 0.0});
  open_for_test(ms->out_theta_location_file, "t3.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_theta_location_file),
            "   2001.08630137     0.250000     0.600000     0.200000   999.990000 \n");

  // Layered soils take the top-layer depth from the cell's soil class.
  ms->inf_layered_soil = 1;
  set_ints(ms->soiltype, {1, 1, 1, 1, 1});
  ms->soil_classes()[1].real(23) = 20.0;
  open_for_test(ms->out_theta_location_file, "t4.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_theta_location_file),
            "   2001.08630137     0.500000     0.200000     0.300000     0.000000 \n");
}

TEST_F(TimeSeries, OutletSedimentWithChannelTransport) {
  ms->soil_erosion_on = ms->chan_sed_on = 1;
  ms->n_fine_classes = ms->n_sand_classes = 1;
  set_cells(ms->chan_fine_out, {0.5});
  set_cells(ms->chan_sand_out, {0.25, 0.125});
  ms->outlet_sed_tss = 1;
  ms->chan_sed_conc.alloc(12, 2);
  ms->chan_sed_conc(12, 0) = 123.45;  // outlet: link 3, node 3
  open_for_test(ms->outlet_sed_flux_file, "sed.out");
  open_for_test(ms->outlet_sed_tss_file, "tss.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->outlet_sed_flux_file),
            "   15.0000000000     0.5000000000     0.2500000000     0.1250000000\n");
  EXPECT_EQ(written(ms->outlet_sed_tss_file), "         15.0000         123.4500 \n");

  ms->qout_cfs = 1;
  open_for_test(ms->outlet_sed_flux_file, "sed_cfs.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->outlet_sed_flux_file),
            "     15.00000000    17.6573335000     8.8286667500     4.4143333750\n");
}

TEST_F(TimeSeries, OutletSedimentFromTheCellsAlone) {
  ms->soil_erosion_on = 1;
  ms->ov_sed = std::make_unique<ov_sed_record>();
  ms->ov_sed->outlet_last_vol = 0.3;
  ms->run_control.timestep = 60.0;
  open_for_test(ms->outlet_sed_flux_file, "sed.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->outlet_sed_flux_file), "     15.00000000     0.0050000000\n");
}

TEST_F(TimeSeries, SedimentLocationSeries) {
  ms->chan_sed_on = ms->in_sed_loc = ms->out_tss_loc = 1;
  ms->n_fine_classes = ms->n_sand_classes = 1;
  ms->n_sed_loc = 1;
  set_ints(ms->slink, {3});
  set_ints(ms->snode, {3});
  ms->qsmax.alloc(12, 3);
  ms->qsmax(12, 1) = 0.001;
  ms->qsmax(12, 2) = 0.002;
  ms->qsmax(12, 3) = 0.003;
  ms->chan_sed_conc.alloc(12, 2);
  ms->chan_sed_conc(12, 0) = 7.5;
  open_for_test(ms->out_sed_hyd_location_file, "sl.out");
  open_for_test(ms->out_tss_loc_file, "tl.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->out_sed_hyd_location_file),
            "   15.00000000     0.0010000000     0.0020000000     0.0030000000 \n");
  EXPECT_EQ(written(ms->out_tss_loc_file), "   15.00000000           7.5000\n");
}

TEST_F(TimeSeries, LinkNodeBlocksNumberTheirStepsApart) {
  ms->chan_depth_given = ms->chan_sed_flux_given = ms->chan_sed_on = 1;
  ms->n_sed_classes = 2;
  ms->qsmax.alloc(12, 2);
  ms->qsmax(4, 1) = 1e-6;  // link 1, node 1
  ms->qsmax(4, 2) = 2e-6;
  open_for_test(ms->chan_depth_out_file, "d.lnd");
  open_for_test(ms->stream_sed_flux_file, "s.lnd");
  for (int s = 0; s < 3; ++s) {
    ms->step_count = s;
    write_time_series_output(*ms);
  }
  const std::string depth = written(ms->chan_depth_out_file);
  const std::string sed = written(ms->stream_sed_flux_file);
  for (const std::string* t : {&depth, &sed})
    for (int s = 0; s < 3; ++s) EXPECT_NE(t->find("TS    " + std::to_string(s) + "\n"), std::string::npos);
  EXPECT_NE(depth.find("TS    1\n2   1  0.40000   1  0.40000   \n-1 101.50000   \n"),
            std::string::npos);
  EXPECT_NE(sed.find("TS    2\n2   1  3.00000   1  0.00000   \n0  -999.999   \n"
                     "3   1  0.00000   1  0.00000   1  0.00000   \n\n"),
            std::string::npos)
      << sed;
  EXPECT_EQ(ms->qsmax_total(1, 1), 0.0);  // cleared after every block
}

TEST_F(TimeSeries, VelocityAndStageBlocks) {
  ms->chan_velocity_given = ms->chan_stage_given = 1;
  open_for_test(ms->chan_velocity_out_file, "v.lnd");
  open_for_test(ms->chan_stage_out_file, "st.lnd");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->chan_velocity_out_file),
            "TS    0\n2   1  0.75000   1  0.00000   \n-1 101.50000   \n"
            "3   1  2.00000   1  2.00000   1  1.65000   \n\n");
  EXPECT_EQ(written(ms->chan_stage_out_file),
            "TS    0\n2   1  100.40000   1  99.90000   \n0  -999.999   \n"
            "3   1  98.60000   1  98.20000   1  97.75000   \n\n");
}

TEST_F(TimeSeries, PipeBlocksAnnounceTheEntriesTheyCarry) {
  ms->storm_sewer_given = ms->pipe_flow_given = ms->pipe_head_given = ms->pipe_tile_given = 1;
  ms->gw_to_tile = 1;
  ms->num_slink = 1;
  set_ints(ms->nnodes, {3});
  ms->Q_node.alloc(4, 1);
  ms->slink_node_depth.alloc(4, 1);
  ms->superlink_tile_flow.alloc(4, 1);
  for (int k = 1; k <= 4; ++k) {
    ms->Q_node(k, 1) = 0.1 * k;
    ms->slink_node_depth(k, 1) = 0.4 + 0.1 * k;
    ms->superlink_tile_flow(k, 1) = 0.01 * k;
  }
  open_for_test(ms->pipe_flow_file, "pf.lnd");
  open_for_test(ms->pipe_head_file, "ph.lnd");
  open_for_test(ms->pipe_tile_file, "pt.lnd");
  write_time_series_output(*ms);
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->pipe_flow_file),
            "TS    0\n3   1  0.10000   1  0.20000   1  0.30000   \n\n"
            "TS    1\n3   1  0.10000   1  0.20000   1  0.30000   \n\n");
  EXPECT_EQ(written(ms->pipe_head_file),
            "TS    0\n4   1  0.50000   1  0.60000   1  0.70000   1  0.80000   \n\n"
            "TS    1\n4   1  0.50000   1  0.60000   1  0.70000   1  0.80000   \n\n");
  EXPECT_EQ(written(ms->pipe_tile_file),
            "TS    0\n3   1  0.01000   1  0.02000   1  0.03000   \n\n"
            "TS    1\n3   1  0.01000   1  0.02000   1  0.03000   \n\n");
}

TEST_F(TimeSeries, SuperlinkSeries) {
  ms->storm_sewer_given = ms->superlink_junc_flow_given = ms->superlink_node_flow_given = 1;
  ms->num_sjunc_locations = ms->num_slink_locations = 1;
  set_ints(ms->sjunc, {1});
  set_cells(ms->sjunc_flow, {0.5});
  set_ints(ms->sl_link, {1});
  set_ints(ms->sl_node, {2});
  ms->Q_node.alloc(3, 1);
  ms->Q_node(2, 1) = 0.2;
  ms->Q_node(3, 1) = 0.3;
  ms->otc_node.alloc(3, 1);
  ms->otc_node(2, 1) = 3;
  open_for_test(ms->superjunction_output_file, "j.out");
  open_for_test(ms->superlink_node_output_file, "n.out");
  write_time_series_output(*ms);
  ms->superlink_c_opt = 1;  // nodes through the computational-node table
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->superjunction_output_file),
            "   15.00000000     0.500000 \n   15.00000000     0.500000 \n");
  EXPECT_EQ(written(ms->superlink_node_output_file),
            "   15.00000000     0.200000 \n   15.00000000     0.300000 \n");
}

TEST_F(TimeSeries, OutletDischargeLineForTheZvModel) {
  ms->zv_discharge_out = 1;
  open_for_test(ms->qin_output_file, "qin.out");
  write_time_series_output(*ms);
  EXPECT_EQ(written(ms->qin_output_file), "31.5     1.2    \n");
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
  ms->nutrients = 1;
  ms->nsm_out = &nsm;
  write_time_series_output(*ms);
  EXPECT_EQ(written(nsm.hydrographs.hyd_conc_files[3]), "     15.00000000      0.7500\n");
  EXPECT_EQ(written(nsm.hydrographs.hyd_mass_files[3]), "     15.00000000     12.5000\n");
}

TEST_F(TimeSeries, ConstituentLinkNodeFiles) {
  ms->num_constituents = 1;
  ms->constituent_type.grow_fill(1, 1);
  ms->constituent_output_name = {"", "con1"};
  ms->chan_con_trans = 1;
  ms->chan_conc.grow(1, 12);
  ms->chan_node_mass.grow(1, 12);
  ms->lake_conc.grow(1, 1);
  ms->lake_mass.grow(1, 1);
  ms->chan_conc(1, 4) = 0.5;
  init_contaminant_map_series(*ms);
  init_channel_constituent_series(*ms);
  write_time_series_output(*ms);
  write_time_series_output(*ms);
  mass_con_writer* row = ms->channel_series.row(1);
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
