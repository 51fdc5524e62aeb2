#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/end_of_run.h"
#include "output/output_state.h"
#include "output/run_summary.h"
#include "run/water_books.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "soil/soil_state.h"
#include "summary_fixture.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::has;

class RunSummary : public testing::summary_test {
 protected:
  // 1000 m3 of rain on a Green-Ampt event run: 300 infiltrate, 600 leave
  // at the outlet, 100 (0.2 m on five 100 m2 cells) stay on the surface.
  // The overland step keeps the outlet volume without channels, which the
  // run's close takes over.
  void closed_event_run() {
    make_grid();
    ms->soil.green_ampt = 1;
    ms->ledger.book(water_flux::rainfall_to_overland, 1000.0);
    ms->ledger.book(water_flux::infiltration, 300.0);
    ms->ledger.book(water_flux::outlet_discharge, 600.0);
    for (int c = 1; c <= 5; ++c) ms->overland.ov_depth[c] = 0.2;
  }
  void balance() { close_run_books(*ms); }
  void summary() {
    close_run_books(*ms);
    write_run_summary(*ms);
  }
  double at_start(water_store s) const { return ms->ledger.storage(s, ledger_moment::run_start); }
  double at_end(water_store s) const { return ms->ledger.storage(s, ledger_moment::run_end); }
  const run_balance& books() const { return ms->ledger.run(); }
};

TEST_F(RunSummary, MinimalEventRunWritesTheGlobalBalanceInItsLayout) {
  closed_event_run();
  summary();
  EXPECT_EQ(summary_text(),
            "\n \nSIMULATION TOTALS\nGLOBAL MASS BALANCE CALCULATIONS \n"
            "All volumes are in cubic meters \n \n"
            "Initial volume on surface=                                0.00 \n"
            "Initial volume in channels=                               0.00 \n"
            "Initial volume in soils=                                  0.00 \n"
            "Initial volume in groundwater=                            0.00 \n"
            "\n"
            "Final volume on surface=                                100.00\n"
            "Final volume in channels=                                 0.00\n"
            "Final volume in soils=                                    0.00\n"
            "Final volume in groundwater=                              0.00\n"
            "Final volume of snow=                                     0.00\n"
            "Final volume of melt water =                              0.00\n"
            "\n"
            "Total amount of precip=                                1000.00\n"
            "Total amount of interception=                             0.00\n"
            "Total amount of infiltration=                           300.00\n"
            "Total amount of evaporation=                              0.00\n"
            "Total direct evaporation=                                 0.00\n"
            "Total amount of exfiltration=                             0.00\n"
            "\n"
            "Total downward flux from unsaturated zone=                0.00\n"
            "Total flux of gw across bounds=                           0.00\n"
            "Total overland point sources=                             0.00\n"
            "Total channel point sources=                              0.00\n\n"
            "\n"
            "Total lateral inflow into channels=                       0.00\n"
            "Total amount of discharge=                              600.00\n"
            "\n"
            "Mass balance error of surface components =                0.000000 percent\n\n"
            "Overall mass balance error =                              0.000000 percent\n \n"
            "\n");
  EXPECT_DOUBLE_EQ(at_end(water_store::surface), 100.0);
  EXPECT_DOUBLE_EQ(books().final_storage, 100.0);
}

TEST_F(RunSummary, EveryBlockInItsPlace) {
  make_grid();
  testing::switch_everything_on(*ms);
  summary();
  EXPECT_TRUE(testing::in_order(
      summary_text(),
      {"GROUNDWATER CALCULATIONS \n", "Simulation summary for the Sacramento", "SIMULATION TOTALS",
       "Initial volume in perennial lakes", "Final volume in overland lakes=",
       "Final volume in drains=", "Final volume in perennial lakes",
       "Total recharge to deep g.w.=", "Volume lost to specified slope boundary:",
       "Total flux from gw to river=", "Volume precip to lakes=", "Total flux from gw to lakes=",
       "Volume of overland to subsurface drains", "Volume gained from XY boundaries",
       "Overall mass balance error =                    ", "*overall mass balance error",
       "Overland lake mass bal error m^3:", "Perennial lake mass bal error m^3=",
       "Subsurface drain mass bal error m^3=", "You specifed overland dikes and lowspots \n",
       "Dike Overtopped in cell:  4 \n", "Overland Sediment Summary\n",
       "Total sediment 1 into superlinks:", "Channel sediment routing mass quantities\n",
       "Lake Summary \n", "Summary for lake 1 \n", "Soil Contaminant Transport Summary \n",
       "Uptake from soil (NSM)", "Overland Transport Summaries",
       "Overland Constituent Transport Summary for Constituent     1 (contaminant 1)\n",
       "Overland Constituent Transport Summary for NO3 \n", "Mass gained from NSM kinetics",
       "Channel Transport Summaries", "Channel Contaminant Transport Summary for Contaminant     1 \n",
       "Point source mass gain        ", "Outlet mass flux              ", "Attached\n", "Lake Contaminant Transport Summary for Constituent     1 \n",
       "Final Mass in lake 1 = ", "Channel Contaminant Transport Summary for NO3 \n",
       "Global Transport Summaries", "Contaminant Transport Global Summary for NO3 \n",
       "NSM gain/loss", "NSM dm/dt Summary\n"}));
  EXPECT_TRUE(testing::file_exists("new_bed_elevations.txt"));
}

TEST_F(RunSummary, OverallErrorOfSyntheticBooks) {
  struct row {
    const char* name;
    std::function<void(model_state&)> setup;
    double expected;
  } rows[] = {
      {"closed books", [](model_state&) {}, 0.0},
      {"ten cubic metres unaccounted of 1000", [](model_state& m) { m.ledger.set_totals(water_flux::outlet_discharge, 590.0, 590.0); }, 1.0},
      {"more out than in", [](model_state& m) { m.ledger.set_totals(water_flux::outlet_discharge, 620.0, 620.0); }, -2.0},
      {"nothing in and nothing stored",
       [](model_state& m) {
         m.ledger.set_totals(water_flux::rainfall_to_overland, 0.0, 0.0);
         m.ledger.set_totals(water_flux::infiltration, 0.0, 0.0);
         m.ledger.set_totals(water_flux::outlet_discharge, 0.0, 0.0);
         for (int c = 1; c <= 5; ++c) m.overland.ov_depth[c] = 0.0;
       },
       0.0},
      {"no input yet water out",
       [](model_state& m) {
         m.ledger.set_totals(water_flux::rainfall_to_overland, 0.0, 0.0);
         m.ledger.set_totals(water_flux::infiltration, 0.0, 0.0);
         m.ledger.set_totals(water_flux::outlet_discharge, 5.0, 5.0);
         for (int c = 1; c <= 5; ++c) m.overland.ov_depth[c] = 0.0;
       },
       0.0},
      {"stream-aquifer exchange without groundwater",
       [](model_state& m) {
         m.ledger.book(water_flux::groundwater_to_channels, 200.0);
         m.ledger.book(water_flux::channels_to_groundwater, 200.0);
       },
       0.0},
      {"boundaries and lakes",
       [](model_state& m) {
         m.overland.ov_boundary = 1;
         m.ledger.book(water_flux::head_boundary_in, 50.0);  // booked by the overland step
         m.ledger.book(water_flux::discharge_boundary_out, 30.0);
         m.ledger.book(water_flux::lake_evaporation, 20.0);
       },
       0.0},
      {"groundwater run",
       [](model_state& m) {
         m.soil.green_ampt = 0;
         m.groundwater.gw_simulation = 1;
         m.groundwater.elevgw.alloc(5);
         m.groundwater.bottom_elev.alloc(5);
         m.groundwater.gw_porosity.alloc(5);
         for (int c = 1; c <= 5; ++c) {
           m.groundwater.elevgw[c] = 12.0;
           m.groundwater.bottom_elev[c] = 10.0;
           m.groundwater.gw_porosity[c] = 0.5;  // 100 m3 per cell
         }
         m.ledger.set_storage(water_store::groundwater, ledger_moment::run_start, 500.0);
         m.ledger.set_totals(water_flux::outlet_discharge, 800.0, 800.0);
         m.ledger.book(water_flux::unsaturated_down_flux, 300.0);
         m.ledger.book(water_flux::groundwater_recharge, 300.0);
         m.ledger.book(water_flux::deep_leakage, 100.0);
       },
       0.0},
  };
  for (const row& r : rows) {
    ms = std::make_unique<model_state>();
    closed_event_run();
    r.setup(*ms);
    balance();
    EXPECT_NEAR(books().overall_error, r.expected, 1e-12) << r.name;
  }
}

TEST_F(RunSummary, SurfaceErrorFromItsOwnBooks) {
  closed_event_run();
  // initial surface water that the overall books do not close
  ms->ledger.set_storage(water_store::surface, ledger_moment::run_start, 100.0);
  balance();
  // (100 + 1000 - (600 + 300 + 100)) x 100 / (100 + 1000)
  EXPECT_NEAR(books().surface_error, 100.0 * 100.0 / 1100.0, 1e-12);

  ms = std::make_unique<model_state>();
  make_grid();
  ms->ledger.set_storage(water_store::surface, ledger_moment::run_start, 400.0);
  ms->ledger.book(water_flux::outlet_discharge, 100.0);  // no surface input at all
  balance();
  EXPECT_EQ(books().surface_error, 0.0);
}

TEST_F(RunSummary, GroundwaterBalanceAndSection) {
  make_grid();
  ms->groundwater.gw_simulation = 1;
  ms->project.gw_hotstart_write.assign("hill.gw_hotstart");
  ms->groundwater.elevgw.alloc(5);
  ms->groundwater.bottom_elev.alloc(5);
  ms->groundwater.gw_porosity.alloc(5);
  for (int c = 1; c <= 5; ++c) {
    ms->groundwater.elevgw[c] = 11.0;
    ms->groundwater.bottom_elev[c] = 10.0;
    ms->groundwater.gw_porosity[c] = 0.4;  // 40 m3 per cell
  }
  ms->ledger.set_storage(water_store::groundwater, ledger_moment::run_start, 250.0);
  ms->ledger.book(water_flux::saturated_unsaturated, 25.0);
  summary();
  EXPECT_DOUBLE_EQ(at_end(water_store::groundwater), 200.0);
  // (200 - 250 - 25) / 250 x 100; -75 m3 of a net input of 25 m3.
  EXPECT_NEAR(books().groundwater_error, -30.0, 1e-12);
  EXPECT_NEAR(books().groundwater_residual, -75.0, 1e-12);
  EXPECT_NEAR(books().groundwater_residual_percent, -300.0, 1e-12);
  const std::string text = summary_text();
  EXPECT_TRUE(text.starts_with("\n \nGROUNDWATER CALCULATIONS \n\n"
                               "GW volume start =                        250.00 \n"
                               "GW volume end =                          200.00 \n"));
  EXPECT_TRUE(has(text, "Mass Balance error =                     -30.00 %  \n"
                        "Groundwater residual =                   -75.00 m3, -300.000000 % of the net input\n\n"
                        "If you have any head boundaries \n"));
  EXPECT_TRUE(has(text, "Total recharge inputs to groundwater=                     0.00\n"
                        "Total pumping from groundwater=                           0.00\n"));
  // The groundwater run leaves a hotstart map of the water table, named
  // after the project, with its companion.
  EXPECT_TRUE(testing::file_exists("hill.gw_hotstart"));
  EXPECT_TRUE(testing::file_exists("hill.gw_hotstart.state"));

  // No initial groundwater: the balance has nothing to compare against.
  ms = std::make_unique<model_state>();
  make_grid();
  ms->groundwater.gw_simulation = 1;
  ms->groundwater.elevgw.alloc(5);
  ms->groundwater.bottom_elev.alloc(5);
  ms->groundwater.gw_porosity.alloc(5);
  ms->groundwater.elevgw[1] = 1.0;
  ms->groundwater.gw_porosity[1] = 0.3;
  close_run_books(*ms);
  EXPECT_EQ(books().groundwater_error, 0.0);
}

TEST_F(RunSummary, SimpleSoilMoistureBalance) {
  make_grid();
  ms->soil.sm_accounting = 1;
  ms->soil.sm_water.alloc(5);
  balance();
  EXPECT_EQ(books().soil_layer_error, 0.0);  // no soil water at the start

  for (int c = 1; c <= 5; ++c) ms->soil.sm_water[c] = 10.0;  // 0.1 m on 100 m2: 10 m3 per cell
  ms->ledger.set_storage(water_store::soil, ledger_moment::run_start, 1000.0);
  ms->ledger.set_storage(water_store::soil_layer, ledger_moment::run_start, 1000.0);
  ms->ledger.book(water_flux::infiltration, 200.0);
  ms->ledger.book(water_flux::direct_evaporation, 20.0);  // from ponded water, not from the layer
  ms->ledger.book(water_flux::soil_evaporation, 50.0);
  ms->ledger.book(water_flux::unsaturated_down_flux, 100.0);
  summary();
  EXPECT_DOUBLE_EQ(at_end(water_store::soil_layer), 50.0);
  // (200 + 1000 - 50 - 50 - 100) x 100 / (200 + 1000)
  EXPECT_NEAR(books().soil_layer_error, 1000.0 * 100.0 / 1200.0, 1e-12);
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "Initial volume in soil over simple soil depth          1000.00 \n"));
  EXPECT_TRUE(has(text, "Final volume in soil over simple soil depth              50.00\n"));
  EXPECT_TRUE(has(text, "Simple soil moisture mass balance =                       83.333333 percent \n\n"));
}

TEST_F(RunSummary, FinalStoragesLeaveOutLakeCellsAndSpecialLinks) {
  make_grid();
  for (int c = 1; c <= 5; ++c) ms->overland.ov_depth[c] = 0.1;  // 10 m3 per cell
  ms->lake.chan_lakes = 1;
  ms->lake.lake_mask.alloc(5);
  ms->lake.lake_mask[2] = 1;  // a lake cell holds no overland water
  ms->lake.num_lakes = 2;
  ms->lake.lake_volume.alloc(2);
  ms->lake.lake_volume[1] = 300.0;
  ms->lake.lake_volume[2] = 200.0;

  ms->channel.chan_explic = 1;
  ms->channel.num_stream_links = 5;
  const int types[] = {0, 4, 32, 64, 4 | 128, 8};
  ms->channel.ltype.alloc(5);
  ms->channel.nx.alloc(5);
  ms->channel.og_nx1.alloc(5);
  ms->channel.link_dx.alloc(5);
  ms->channel.area.alloc(3, 5);
  for (int l = 1; l <= 5; ++l) {
    ms->channel.ltype[l] = types[l];
    ms->channel.nx[l] = 3;
    ms->channel.og_nx1[l] = 3;
    ms->channel.link_dx[l] = 10.0;
    for (int n = 1; n <= 3; ++n) ms->channel.area(n, l) = 2.0;  // 20 m3 per node
  }
  ms->channel.og_nx1[5] = 2;  // with lakes, nodes beyond og_nx1 hold no channel water
  close_run_books(*ms);
  EXPECT_DOUBLE_EQ(at_end(water_store::surface), 40.0);
  EXPECT_DOUBLE_EQ(at_end(water_store::channel_lakes), 500.0);
  EXPECT_DOUBLE_EQ(at_end(water_store::channels), 3 * 20.0 + 2 * 20.0);
}

TEST_F(RunSummary, SoilVolumesOfRichardsAndOfTheAccountingLayer) {
  make_grid();
  ms->soil.inf_richards = 1;
  ms->soil.numcells.alloc(5);
  ms->soil.DZ.alloc(5, 3);
  ms->soil.THETA.alloc(5, 3);
  ms->soil.numcells[1] = 3;  // layers 1 and 2 count, the last does not
  ms->soil.numcells[2] = 1;  // a single layer holds nothing
  for (int k = 1; k <= 3; ++k) {
    ms->soil.DZ(1, k) = 50.0;
    ms->soil.THETA(1, k) = 0.2;
    ms->soil.DZ(2, k) = 50.0;
    ms->soil.THETA(2, k) = 0.2;
  }
  close_run_books(*ms);
  EXPECT_DOUBLE_EQ(at_end(water_store::soil), 2 * 50.0 * 0.2 / 100.0 * 100.0);

  ms = std::make_unique<model_state>();
  make_grid();
  ms->soil.sm_accounting = 1;
  ms->groundwater.water_table_given = 1;
  ms->soil.sm_water.alloc(5);
  ms->groundwater.elevgw.alloc(5);
  ms->soil.gw_inf_redist_theta.alloc(5);
  for (int c = 1; c <= 5; ++c) {
    ms->soil.sm_water[c] = 20.0;  // 20 m3
    ms->grid.elevation[c] = 100.0;
    ms->groundwater.elevgw[c] = 100.0;
  }
  ms->groundwater.elevgw[3] = 98.4;  // 1.6 m below ground, 1.2 m below the 0.4 m layer
  ms->soil.gw_inf_redist_theta[3] = 0.25;
  close_run_books(*ms);
  EXPECT_DOUBLE_EQ(at_end(water_store::soil_layer), 100.0);
  EXPECT_NEAR(at_end(water_store::soil), 100.0 + 1.2 * 0.25 * 100.0, 1e-9);
}

TEST_F(RunSummary, SacramentoRunKeepsItsOwnErrorLayoutAndMillimetres) {
  make_grid();
  ms->groundwater.sacramento_given = 1;
  ms->groundwater.sac_area = 500.0;
  ms->groundwater.sac_init_params.uztwm = ms->groundwater.sac_params.uztwm = 50.0;
  ms->groundwater.sac_init_params.uztwc = 25.0;
  ms->groundwater.sac_params.uztwc = 10.0;
  ms->groundwater.sac_init_storage_mm = 25.0;
  ms->groundwater.sac_rain_mm = 40.0;
  ms->groundwater.sac_aet_mm = 30.0;
  ms->ledger.book(water_flux::sacramento_et, 15.0);  // the 30 mm its steps booked
  ms->groundwater.sac_subsurface_runoff_mm = 20.0;
  ms->groundwater.sac_deep_recharge_mm = 5.0;
  // the precipitation the Sacramento store received: 40 mm on 500 m2
  ms->ledger.book(water_flux::rainfall_to_overland, 20.0);
  ms->ledger.book(water_flux::outlet_discharge, 10.0);
  summary();
  // Soil water 25 mm -> 10 mm on 500 m2: 12.5 -> 5 m3; ET 15 m3; discharge 10 m3.
  EXPECT_DOUBLE_EQ(at_start(water_store::soil), 12.5);
  EXPECT_DOUBLE_EQ(at_end(water_store::soil), 5.0);
  // (5 - 12.5 - 20 + 15 + 10) / (20 + 12.5) x 100
  EXPECT_NEAR(books().overall_error, -2.5 / 32.5 * 100.0, 1e-12);
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "uztwc:      25.000 mm,    50.00%\n"));
  EXPECT_TRUE(has(text, "Recharge to deep g.w. (mm):                 5.000\n"));
  EXPECT_TRUE(has(text, "Residual (neg. means mass created (mm):     0.000\n"));
  EXPECT_TRUE(has(text, "Total recharge to deep g.w.=                              2.50\n"));
  EXPECT_TRUE(has(text, "Total amount of evaporation=                             15.00\n"));
  EXPECT_TRUE(has(text, "Overall mass balance error =                     -7.692308 percent\n \n"
                        "*overall mass balance error will not be zero when using the Sacramento\n"));
  EXPECT_FALSE(has(text, "Total amount of exfiltration="));
}

// A lumped run keeps the channels' loss to the ground it booked, in its
// line and in its surface balance: the run's close books storages only.
TEST_F(RunSummary, ALumpedRunKeepsTheChannelLossItBooked) {
  make_grid();
  ms->groundwater.sacramento_given = 1;
  ms->groundwater.sac_area = 500.0;
  ms->channel.stream_loss = 1;
  ms->ledger.book(water_flux::rainfall_to_overland, 100.0);
  ms->ledger.book(water_flux::channel_lateral_in, 100.0);
  ms->ledger.book(water_flux::channels_to_groundwater, 30.0);
  ms->ledger.book(water_flux::outlet_discharge, 70.0);
  summary();
  EXPECT_EQ(ms->ledger.run_total(water_flux::channels_to_groundwater), 30.0);
  EXPECT_TRUE(has(summary_text(), "Total flux from river to gw=                             30.00\n"));
  // Rain in; the outlet and the loss to the ground out; nothing stored.
  EXPECT_EQ(books().surface_error, 0.0);
}

class SedimentSummary : public RunSummary {
 protected:
  // Two classes, the first fine, the second sand.
  void two_classes() {
    make_grid();
    ms->constituent.soil_erosion_on = 1;
    ms->constituent.sed_transport_mode = 1;
    ms->constituent.n_sed_classes = 2;
    ms->constituent.sand.alloc(2);
    ms->constituent.sand[2] = 1;
    ms->constituent.ov_sed = std::make_unique<ov_sed_record>();
    ms->constituent.ov_sed->tot_sed.alloc(2, 4);
  }
};

// With channels the cells' lines come from the sediment ledger too: what
// the channels took, net of the wash load their spilling water carried back
// onto the cells, is the sediment transported into them, and the balance
// counts the spill as coming in.
TEST_F(SedimentSummary, OverlandClassBalances) {
  two_classes();
  ms->constituent.chan_sed_on = 1;
  ov_sed_record& s = *ms->constituent.ov_sed;
  s.books = std::make_unique<mass_ledger>(sediment_term_table, 2);
  mass_ledger& b = *s.books;
  // Class 1: 10 m3 eroded, 4 settled; the channels took 5 suspended and 1
  // loose and spilled 1 back: 5 net, and 1 still suspended.
  b.book(1, row(sediment_term::erosion), 10.0);
  b.book(1, row(sediment_term::settling), 5.0);
  b.book(1, row(sediment_term::suspended_to_channels), 5.0);
  b.book(1, row(sediment_term::loose_to_channels), 1.0);
  b.book(1, row(sediment_term::channels_to_cells), 1.0);
  s.cells.alloc(ms->grid.ncells, 2, false);
  s.cells.dep(1, 1) = 4.0;
  s.cells.susp(1, 1) = 1.0;
  s.cells.dep(2, 2) = 0.5;  // class 2: nothing eroded, nothing to compare against
  summary();
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "Overland Sediment Summary\n"
                        "Total sediment 1 eroded from surface:             10.00000000 m3\n"
                        "Total sediment 1 deposited on surface:             4.00000000 m3\n"
                        "Total sediment 1 remaining in suspension:          1.00000000 m3\n"
                        "Total sediment 1 transported into channels:        5.00000000 m3\n"
                        "Mass balance error for sediment 1     0.0000 \n\n"))
      << text;
  EXPECT_TRUE(has(text, "Mass balance error for sediment 2     0.0000 \n\n\n")) << text;
  EXPECT_TRUE(has(text, "Total sediment 1 transported into channels:       5.00000000 m3\n")) << text;
}

// Without channels the lines come from the sediment ledger: its terms over
// the run and the cells' sediment at the run's end. A ledger that does not
// close shows its residual as a share of the eroded soil.
TEST_F(SedimentSummary, OverlandLinesComeFromTheLedger) {
  two_classes();
  ov_sed_record& s = *ms->constituent.ov_sed;
  s.books = std::make_unique<mass_ledger>(sediment_term_table, 2);
  mass_ledger& b = *s.books;
  // Class 1: 10 m3 eroded, 6 settled of which 2 lifted again, 5 out:
  // 4 deposited and 1 suspended close the books.
  b.book(1, row(sediment_term::erosion), 10.0);
  b.book(1, row(sediment_term::settling), 6.0);
  b.book(1, row(sediment_term::resuspension), 2.0);
  b.book(1, row(sediment_term::overland_outlet), 5.0);
  // The run's end takes the cells' sediment into the ledger.
  s.cells.alloc(ms->grid.ncells, 2, false);
  s.cells.dep(1, 1) = 3.0;
  s.cells.dep(ms->grid.ncells, 1) = 1.0;
  s.cells.susp(1, 1) = 1.0;
  // Class 2: 4 m3 eroded, but only 3.8 held and 0 out: 5 % unaccounted.
  b.book(2, row(sediment_term::erosion), 4.0);
  b.book(2, row(sediment_term::settling), 3.8);
  s.cells.dep(1, 2) = 3.8;
  summary();
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "Overland Sediment Summary\n"
                        "Total sediment 1 eroded from surface:             10.00000000 m3\n"
                        "Total sediment 1 deposited on surface:             4.00000000 m3\n"
                        "Total sediment 1 remaining in suspension:          1.00000000 m3\n"
                        "Total sediment 1 routed through outlet             5.00000000 m3\n"
                        "Mass balance error for sediment 1     0.0000 \n\n"))
      << text;
  EXPECT_TRUE(has(text, "Total sediment 2 deposited on surface:             3.80000000 m3\n"));
  EXPECT_TRUE(has(text, "Mass balance error for sediment 2     5.0000 \n\n")) << text;
}

// Class 1 (fine) near a lake: 10 m3 eroded, 3 settled, 5 into the channels
// and 2 into the lake, the cells holding `held` m3 at the end (3 closes the
// books). Returns the sediment ledger.
mass_ledger& fine_class_near_a_lake(model_state& m, double held) {
  m.lake.chan_lakes = 1;
  m.constituent.chan_sed_on = 1;
  m.constituent.sed_vol_overland_to_lake.alloc(1, 2);
  m.constituent.sed_vol_overland_to_lake(1, 1) = 2.0;
  ov_sed_record& s = *m.constituent.ov_sed;
  s.books = std::make_unique<mass_ledger>(sediment_term_table, 2);
  mass_ledger& b = *s.books;
  s.cells.alloc(m.grid.ncells, 2, false);
  b.book(1, row(sediment_term::erosion), 10.0);
  b.book(1, row(sediment_term::settling), 3.0);
  b.book(1, row(sediment_term::suspended_to_channels), 5.0);
  b.book(1, row(sediment_term::suspended_to_lakes), 2.0);
  s.cells.dep(1, 1) = held;
  return b;
}

// A fine class near lakes whose balance does not close carries the note
// that lakes keep the balance from being exact; one that closes, as the
// sand does, carries none (FineClassesNearLakesCloseWithoutTheNote).
TEST_F(SedimentSummary, AFineClassNearLakesWhoseBalanceDoesNotCloseCarriesTheNote) {
  two_classes();
  fine_class_near_a_lake(*ms, 2.5);  // 0.5 m3 (5 %) unaccounted
  summary();
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "Mass balance error for sediment 1     5.0000 \n"
                        "NOTE:  Interactions between sediment 1 and lakes in the watershed prevent an exact mass "
                        "balance calculation \n"
                        "       Reported errors are likely accounting errors only \n"))
      << text;
}

TEST_F(SedimentSummary, FineClassesNearLakesCloseWithoutTheNote) {
  two_classes();
  mass_ledger& b = fine_class_near_a_lake(*ms, 3.0);
  ov_sed_record& s = *ms->constituent.ov_sed;
  // Class 2: 4 m3 eroded, 3 deposited; the 1 m3 of sand the lake cells
  // gave their lake lies on the lake's bed.
  b.book(2, row(sediment_term::erosion), 4.0);
  b.book(2, row(sediment_term::settling), 3.0);
  b.book(2, row(sediment_term::suspended_to_lakes), 1.0);
  s.cells.dep(1, 2) = 3.0;
  ms->constituent.sed_vol_overland_to_lake(1, 2) = 1.0;
  ms->constituent.chan_sed_run.sand_in = 0.0;  // no sand reaches the channels
  ms->constituent.chan_sed_run.wash_in = 8.0;
  ms->constituent.chan_sed_run.wash_out = 6.0;
  ms->constituent.final_wash_load = 2.0;
  summary();
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "Net sediment 1 from overland to lakes:             2.00000000 m3\n"
                        "Mass balance error for sediment 1     0.0000 \n\n"));
  EXPECT_TRUE(has(text, "Mass balance error for sediment 2     0.0000 \n\n"));
  EXPECT_FALSE(has(text, "NOTE:  Interactions between sediment"));
  EXPECT_TRUE(has(text, "Mass conservation error for wash load:       0.000000 percent\n"
                        "Mass conservation error for sand load:       0.000000 percent\n"
                        "Overall channel sediment mass cons. error:   0.000000 percent\n"));
  EXPECT_TRUE(has(text, "\nLake Summary \n"));
  // The channel sediment run writes the new bed elevations.
  EXPECT_TRUE(testing::file_exists("new_bed_elevations.txt"));
}

TEST_F(RunSummary, BedElevationFileMarksLakesAndStructures) {
  make_grid();
  ms->channel.num_stream_links = 3;
  ms->channel.ltype.alloc(3);
  ms->channel.og_nx1.alloc(3);
  ms->channel.ltype[1] = 4;
  ms->channel.ltype[2] = 64;
  ms->channel.ltype[3] = 32;
  ms->channel.og_nx1[1] = 2;
  ms->channel.og_nx1[2] = 1;
  ms->channel.og_nx1[3] = 4;
  ms->channel.bel.alloc(2, 3);
  ms->channel.new_bel.alloc(2, 3);
  ms->channel.org_bel.alloc(2, 3);
  ms->channel.new_bel(1, 1) = 9.5;
  ms->channel.new_bel(2, 1) = 9.25;
  ms->channel.new_bel(1, 2) = 8.0;
  ms->channel.org_bel(1, 1) = 10.0;
  ms->channel.org_bel(2, 1) = 9.5;
  ms->channel.org_bel(1, 2) = 8.0;
  ASSERT_TRUE(write_bed_elevations(*ms));
  EXPECT_EQ(testing::read_file("new_bed_elevations.txt"),
            "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, 2 - lake \n"
            "1 1      9.500     10.000  0 \n"
            "1 2      9.250      9.500  0 \n"
            "2 1      8.000      8.000  1 \n"
            "Link     3 is a lake     2  \n");
  ms->constituent.adjust_channel_bed = 1;  // the bed itself was moved: bel is the new elevation
  ms->channel.bel(1, 1) = 9.0;
  ASSERT_TRUE(write_bed_elevations(*ms));
  EXPECT_TRUE(has(testing::read_file("new_bed_elevations.txt"), "1 1      9.000     10.000 0 \n"));
}

TEST_F(RunSummary, UnwritableBedElevationsStopAfterTheSummaryText) {
  make_grid();
  ms->constituent.chan_sed_on = 1;
  ms->constituent.ov_con_trans = 1;
  ms->constituent.num_constituents = 1;
  ms->groundwater.gw_simulation = 1;  // would write a hotstart map afterwards
  ms->groundwater.elevgw.alloc(5);
  ms->groundwater.bottom_elev.alloc(5);
  ms->groundwater.gw_porosity.alloc(5);
  std::filesystem::create_directory("new_bed_elevations.txt");
  CaptureStdout();
  summary();
  const std::string console = GetCapturedStdout();
  EXPECT_TRUE(has(console, "Can't open the file for printing updated bed elevations: "
                           "new_bed_elevations.txt\n"));
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_TRUE(has(summary_text(), "Overland Transport Summaries"));
  EXPECT_FALSE(testing::file_exists("hotstart_file"));
}

class ConstituentSummary : public RunSummary {
 protected:
  void one_contaminant() {
    make_grid();
    ms->constituent.num_constituents = 1;
    ms->constituent.constituent_type.grow(1);
    ms->constituent.constituent_type[1] = 1;
    for (auto* a : {&ms->constituent.OV_MASS_INIT, &ms->constituent.OV_MASS_FINAL, &ms->constituent.OV_POINT_MASS, &ms->constituent.OV_PRECIP_MASS,
                    &ms->constituent.OV_INFIL_MASS, &ms->constituent.OV_MASS_OUT, &ms->constituent.OV_MASS_DECAY, &ms->constituent.OV_MASS_ERROR,
                    &ms->constituent.OV_UPTAKE_MASS, &ms->constituent.soil_mass_init, &ms->constituent.soil_mass_final,
                    &ms->constituent.soil_mass_error, &ms->constituent.GLOBAL_MASS_INIT, &ms->constituent.GLOBAL_MASS_FINAL,
                    &ms->constituent.GLOBAL_MASS_OUT, &ms->constituent.GLOBAL_MASS_DECAY, &ms->constituent.GLOBAL_MASS_CON_ERROR,
                    &ms->constituent.GLOBAL_POINT_SOURCE, &ms->constituent.global_precip_mass})
      a->grow(1);
  }
};

TEST_F(ConstituentSummary, OverlandAndGlobalBooksCloseToZero) {
  one_contaminant();
  ms->constituent.ov_con_trans = 1;
  ms->constituent.OV_MASS_INIT[1] = 10.0;
  ms->constituent.OV_POINT_MASS[1] = 5.0;
  ms->constituent.OV_PRECIP_MASS[1] = 1.0;
  ms->constituent.OV_MASS_FINAL[1] = 4.0;
  ms->constituent.OV_INFIL_MASS[1] = 6.0;
  ms->constituent.OV_MASS_OUT[1] = 3.0;
  ms->constituent.OV_MASS_DECAY[1] = 3.0;
  ms->constituent.GLOBAL_MASS_INIT[1] = 10.0;
  ms->constituent.GLOBAL_POINT_SOURCE[1] = 5.0;
  ms->constituent.global_precip_mass[1] = 1.0;
  ms->constituent.GLOBAL_MASS_FINAL[1] = 4.0;
  ms->constituent.GLOBAL_MASS_OUT[1] = 3.0;
  ms->constituent.GLOBAL_MASS_DECAY[1] = 3.0;  // with the 6 infiltrated, still held in the soil
  ms->constituent.GLOBAL_MASS_FINAL[1] += 6.0;
  ms->constituent.OV_MASS_ERROR[1] = 99.0;
  ms->constituent.GLOBAL_MASS_CON_ERROR[1] = 99.0;
  summary();
  EXPECT_EQ(ms->constituent.OV_MASS_ERROR[1], 0.0);
  const std::string text = summary_text();
  EXPECT_TRUE(has(text, "Overland Constituent Transport Summary for Constituent     1 (contaminant 1)\n"
                        "Amounts are total for simulations in (Kg) \n \n"
                        "Initial Dissolved mass on ov           10.00 \n"));
  EXPECT_TRUE(has(text, "Mass decay loss on overland             3.00 \n\n"
                        "Contam mass balance error               0.0000 percent \n"));
  EXPECT_TRUE(has(text, "Contaminant Transport Global Summary for Contaminant     1 \n"));
  EXPECT_EQ(ms->constituent.GLOBAL_MASS_CON_ERROR[1], 0.0);
}

TEST_F(ConstituentSummary, SoilErrorOnlyAboveTheFloor) {
  one_contaminant();
  ms->constituent.soil_con_trans = 1;
  ms->constituent.soil_mass_init[1] = 5e-7;  // below the floor of 1e-6: not computed
  ms->constituent.soil_mass_error[1] = 42.0;
  summary();
  EXPECT_EQ(ms->constituent.soil_mass_error[1], 0.0);

  ms->constituent.soil_mass_init[1] = 10.0;
  ms->constituent.OV_INFIL_MASS[1] = 2.0;
  ms->constituent.soil_mass_final[1] = 9.0;  // 3 of 12 unaccounted for
  close_guarded_file(ms->output.summary_file);
  ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "summary2.out", "w"));
  summary();
  EXPECT_NEAR(ms->constituent.soil_mass_error[1], 25.0, 1e-12);
  close_guarded_file(ms->output.summary_file);
  EXPECT_TRUE(has(testing::read_file("summary2.out"),
                  "Soil Contaminant Transport Summary \n \n"
                  "Soil Constituent Transport Summary for contaminant 1 \n\n"
                  "Initial Mass in Soil Column            10.00 \n"
                  "Final Mass in Soil Column               9.00 \n \n"));
}

}  // namespace
}  // namespace nivra
