// The map phase: the bundled example end to end, the stop at the first
// failing reader, processes this version does not simulate named by their
// cards, surface parameters, snow bands, overland lakes, location files and
// hotstarts.
#include <gtest/gtest.h>

#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/weather_step.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "inputs/surface_maps.h"
#include "map_fixture.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/run_parameters.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "quality/nsm.h"
#include "run/map_phase.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::give_map;
using testing::map_text;
using testing::mapped_record;
using testing::run_stopped;

const std::string example_folder = std::string(NIVRA_SOURCE_DIR) + "/examples/plane/";

class MapPhase : public testing::process_test {};

std::string run_phase(model_state& ms) {
  CaptureStdout();
  read_input_maps(ms);
  return GetCapturedStdout();
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The example's project read and copied into the record by the run-parameter
// step, and its maps opened.
std::unique_ptr<model_state> example_record(const std::string& elevation_map) {
  auto ms = make_model_state();
  CaptureStdout();
  read_run_parameters(example_folder + "plane.prj", *ms);
  GetCapturedStdout();
  EXPECT_FALSE(run_stopped());
  ms->project.watershed_mask.assign(example_folder + ms->project.watershed_mask.str());
  ms->project.elevation_file_name.assign(elevation_map);
  EXPECT_TRUE(open_guarded_file(ms->grid.watershed_mask_file, ms->project.watershed_mask.view(), "r"));
  EXPECT_TRUE(open_guarded_file(ms->grid.elevation_file, ms->project.elevation_file_name.view(), "r"));
  EXPECT_TRUE(open_guarded_file(ms->output.dep_dis_location_file, example_folder + "plane.loc", "r"));
  EXPECT_TRUE(open_guarded_file(ms->output.summary_file, "plane.sum", "w"));
  return ms;
}

TEST_F(MapPhase, TheExampleReadsItsMapsAndBuildsAPlane) {
  auto ms = example_record(example_folder + "plane.ele");
  std::string out = run_phase(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  CaptureStdout();
  build_cell_connectivity(*ms);
  compute_cell_slopes(*ms);
  compute_centred_slopes(*ms);
  out += GetCapturedStdout();
  close_guarded_file(ms->output.summary_file);

  const std::string expected_lines[] = {
      "reading watershed mask from file: " + example_folder + "plane.msk\n",
      "number of grid cells in watershed: 46\n",
      "reading elevation map from file: " + example_folder + "plane.ele\n",
      "outlet is in grid cell: 46\n",
      "building cell to cell connectivity information\n",
  };
  const std::string summary = testing::read_file("plane.sum");
  for (const auto& line : expected_lines) {
    EXPECT_TRUE(has(out, line)) << line << out;
    EXPECT_TRUE(has(summary, line)) << line << summary;
  }
  EXPECT_EQ(ms->grid.ncells, 46);
  EXPECT_EQ(ms->grid.outlet_cell, 46);
  EXPECT_DOUBLE_EQ(ms->grid.watershed_area, 46 * 900.0);
  EXPECT_DOUBLE_EQ(ms->hydromet.elev_max, 99.8);   // the highest watershed cell, row 1 column 3
  EXPECT_DOUBLE_EQ(ms->hydromet.elev_min, 97.8);
  EXPECT_EQ(ms->hydromet.elev_band_count, 4);
  for (int k = 1; k <= 46; ++k) {
    EXPECT_EQ(ms->overland.dist_rough[k], 0.05);
    EXPECT_EQ(ms->overland.retent_dep[k], 0.0);
    // 0.1 m per 30 m column to the east, 0.3 m per 30 m row to the south.
    EXPECT_NEAR(ms->grid.slope_x[k], 0.1 / 30.0, 1e-12);
    EXPECT_NEAR(ms->grid.slope_y[k], 0.01, 1e-12);
  }
}

TEST_F(MapPhase, AnElevationMapOfTheWrongSizeStopsTheRun) {
  // The example's elevations with the last row left out.
  std::string text = testing::read_file(example_folder + "plane.ele");
  text.replace(text.find("rows: 6"), 7, "rows: 5");
  text.erase(text.rfind("98.50"));
  testing::write_file("short.ele", text);
  auto ms = example_record("short.ele");
  std::string out = run_phase(*ms);
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Incorrect number of rows in map: short.ele (its header gives 5 rows and 8 columns, the project's grid has 6 rows and 8 columns)\n")) << out;
  EXPECT_FALSE(has(out, "outlet is in grid cell"));
}

TEST_F(MapPhase, StopsAtTheFirstFailingReader) {
  struct stop_case {
    const char* what;
    void (*set)(model_state&);
    const char* message;
    bool elevation_read;  // an earlier reader ran
  } cases[] = {
      {"mask of another size",
       [](model_state& ms) { ms.grid.proj_rows = 3; },
       "Incorrect number of rows in map: w.msk (its header gives 2 rows and 2 columns, the project's grid has 3 rows and 2 columns)\n", false},
      {"mask without a watershed cell",
       [](model_state& ms) {
         close_guarded_file(ms.grid.watershed_mask_file);
         give_map(ms.grid.watershed_mask_file, ms.project.watershed_mask, "w.msk", map_text(2, 2, "0 0\n0 0\n"));
       },
       "Error: the watershed mask w.msk holds no cell of the watershed\n", false},
      {"grids kept in a QUIB container",
       [](model_state& ms) { ms.project.quib_file.assign("grids.quib"); },
       "Error: NIVRA not compiled with QUIB, but QUIB file format specified\n", false},
      {"uniform Manning n too small",
       [](model_state& ms) { ms.overland.manning_n = 1e-6; },
       "Invalid spatially uniform overland flow Manning n value=0.000001\n", true},
      {"saturated groundwater without a porosity",
       [](model_state& ms) {
         ms.groundwater.gw_simulation = ms.groundwater.gw_boundfile_given = 1;
         give_map(ms.groundwater.gw_boundary_file, ms.project.gw_boundfile, "gw.bnd", map_text(2, 2, "0 0\n0 0\n"));
         ms.groundwater.gw_unif_hycond_given = 1;
       },
       "Error: the groundwater porosity has no source", true},
      {"overland boundary without its table, before groundwater",
       [](model_state& ms) {
         ms.overland.ov_boundary = 1;
         ms.groundwater.gw_simulation = 1;
       },
       "Error: The OV_BOUNDARY card has been specified in the project file but the \n", true},
  };
  // Later readers would leave their mark: a uniform 5 mm retention and a
  // water surface at 10 m.
  auto marked_record = [] {
    auto ms = mapped_record(2, 2, "1 1\n1 1\n", "4 3\n2 1\n", 10.0, 2, 2);
    ms->overland.retention_given = 1;
    ms->overland.retention = 5.0;
    ms->overland.init_elev_head_given = 1;
    ms->overland.init_elev_head = 10.0;
    return ms;
  };
  for (const auto& k : cases) {
    reset_process_state();
    auto ms = marked_record();
    k.set(*ms);
    std::string out = run_phase(*ms);
    EXPECT_TRUE(run_stopped()) << k.what;
    EXPECT_TRUE(has(out, k.message)) << k.what << "\n" << out;
    EXPECT_EQ(ms->grid.elevation.empty(), !k.elevation_read) << k.what;
    EXPECT_FALSE(has(out, "GW_SIMULATION") && has(out, "OV_BOUNDARY")) << k.what;
    // The hotstart step never ran.
    for (int c = 1; c <= ms->overland.ov_depth.size(); ++c) EXPECT_EQ(ms->overland.ov_depth[c], 0.0) << k.what;
  }
  // Without a failure the same record runs to the end.
  reset_process_state();
  auto ms = marked_record();
  run_phase(*ms);
  EXPECT_FALSE(run_stopped());
  EXPECT_EQ(ms->overland.retent_dep[1], 0.005);  // 5 mm
  EXPECT_EQ(ms->overland.ov_depth[4], 9.0);
}

// The nutrient model is set up in the map phase: its aquatic environment
// read, its nine constituents in the constituent list, and the overland
// transport that carries them switched on.
TEST_F(MapPhase, NutrientsAreSetUpAndSwitchOnTheOverlandTransport) {
  auto ms = mapped_record(2, 2, "1 1\n1 1\n", "4 3\n2 1\n", 10.0, 2, 2);
  testing::write_file("zones.idx", map_text(2, 2, "1 1\n1 1\n"));
  testing::write_file("aq.env", "AQUATIC_ENV_NSM10\nOV_MAP zones.idx\nNUM_IDS 1\ntitles\n1\nDEFAULT\n");
  ms->project.project_options.nsm_model = std::make_unique<nsm>();
  ms->constituent.nsm_model = ms->project.project_options.nsm_model.get();
  ms->constituent.nsm_model->aq_env.file_name.assign("aq.env");
  ms->constituent.nutrients = 1;
  const std::string out = run_phase(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_TRUE(has(out, "Reading the aquatic environment file aq.env.\n")) << out;
  EXPECT_EQ(ms->constituent.num_nsm_constituents, 9);
  EXPECT_EQ(ms->constituent.first_nsm_constituent, 1);
  EXPECT_EQ(ms->constituent.ov_con_trans, 1);
  EXPECT_NE(ms->constituent.nsm_out, nullptr);
}

TEST_F(MapPhase, SedimentBoundContaminantsNeedTheOverlandSediment) {
  // The attached contaminants ride on the overland sediment step's fine
  // classes (and in the channels on their wash load): without it the run
  // stops saying so, with or without a channel network.
  struct refusal {
    bool channels;
    const char* message;
  } cases[] = {
      {false, "Error: sediment-bound contaminants (SEDIMENT_CONTAM) need the overland sediment step"},
      {true, "Error: sediment-bound contaminants (SEDIMENT_CONTAM) need the overland sediment step"},
  };
  for (const auto& k : cases) {
    reset_process_state();
    auto ms = mapped_record(2, 2, "1 1\n1 1\n", "4 3\n2 1\n", 10.0, 2, 2);
    ms->constituent.ov_con_trans = ms->constituent.sediment_contam = 1;
    ms->channel.chan_explic = k.channels ? 1 : 0;
    const std::string out = run_phase(*ms);
    EXPECT_TRUE(run_stopped()) << k.message;
    EXPECT_TRUE(has(out, k.message)) << out;
    EXPECT_EQ(ms->constituent.num_constituents, 0) << k.message;  // stopped before any was set up
  }
}

TEST_F(MapPhase, AWaterTableWithoutSaturatedGroundwaterIsReadAndHeld) {
  // Under Green-Ampt without GW_SIMULATION the table map is read (for the
  // streams' bed exchange) with one node of 10 cm of saturated ground under
  // it; a table card without its map stops the run naming the map's role.
  auto ms = mapped_record(2, 2, "1 1\n1 1\n", "4 3\n2 1\n", 10.0, 2, 2);
  soil_state& s = ms->soil;
  s.green_ampt = s.conductivity_given = s.capillary_given = s.porosity_given = 1;
  give_map(s.ks_file, ms->project.conductivity, "ks.map", map_text(2, 2, "0.5 0.5\n0.5 0.5\n"));
  give_map(s.hc_file, ms->project.capillary, "hc.map", map_text(2, 2, "10 10\n10 10\n"));
  give_map(s.porosity_file, ms->project.porosity, "por.map", map_text(2, 2, "0.4 0.4\n0.4 0.4\n"));
  ms->groundwater.water_table_given = 1;
  give_map(ms->groundwater.water_table_file, ms->project.water_table, "wt.map", map_text(2, 2, "1 1.5\n2 0.5\n"));
  run_phase(*ms);
  ASSERT_FALSE(run_stopped());
  const double table[5] = {0.0, 1.0, 1.5, 2.0, 0.5};
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(ms->groundwater.elevgw[c], table[c]) << c;
    EXPECT_NEAR(ms->groundwater.bottom_elev[c], table[c] - 0.1, 1e-12) << c;
  }

  reset_process_state();
  ms = mapped_record(2, 2, "1 1\n1 1\n", "4 3\n2 1\n", 10.0, 2, 2);
  ms->groundwater.water_table_given = 1;
  const std::string out = run_phase(*ms);
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Error: Unable to open water table file.")) << out;
}

TEST_F(MapPhase, RetentionAndRoughnessMaps) {
  auto ms = mapped_record(1, 3, "1 1 1\n", "3 2 1\n", 10.0, 1, 3);
  give_map(ms->overland.reten_depth_file, ms->project.reten_depth, "ret.map", map_text(1, 3, "5 0 12.5\n"));
  ms->overland.reten_depth_given = 1;
  give_map(ms->overland.roughness_file, ms->project.roughness, "n.map", map_text(1, 3, "0.03 0.1 0.2\n"));
  ms->overland.roughness_given = 1;
  std::string out = run_phase(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_TRUE(has(out, "reading retention storage map from file: ret.map\n"));
  EXPECT_TRUE(has(out, "reading roughness map from file: n.map\n"));
  const double retention[] = {0, 0.005, 0.0, 0.0125};  // mm to m
  const double n[] = {0, 0.03, 0.1, 0.2};
  for (int c = 1; c <= 3; ++c) {
    EXPECT_DOUBLE_EQ(ms->overland.retent_dep[c], retention[c]);
    EXPECT_EQ(ms->overland.dist_rough[c], n[c]);
    EXPECT_TRUE(ms->overland.roughness_exp.empty() || ms->overland.roughness_exp[c] == 0.0);
  }

  // A roughness of 0 in a cell stops the run naming the map, row and column.
  reset_process_state();
  ms = mapped_record(1, 3, "1 1 1\n", "3 2 1\n", 10.0, 1, 3);
  give_map(ms->overland.roughness_file, ms->project.roughness, "n.map", map_text(1, 3, "0.03 0 0.2\n"));
  ms->overland.roughness_given = 1;
  out = run_phase(*ms);
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Error: the map n.map holds 0 at row 1, column 2; it takes a number above 0 and at "
                       "most 10.\n"));

  // A uniform n must exceed 1e-6.
  for (auto [value, accepted] : {std::pair{1e-6, false}, std::pair{2e-6, true}}) {
    reset_process_state();
    ms = mapped_record(1, 3, "1 1 1\n", "3 2 1\n", 10.0, 1, 3);
    ms->overland.manning_n = value;
    run_phase(*ms);
    EXPECT_EQ(run_stopped(), !accepted) << value;
    if (accepted) {
      EXPECT_EQ(ms->overland.dist_rough[3], value);
    }
  }
}

TEST_F(MapPhase, SnowRoughnessKeepsACopyUnlessDarcyFlowIsOn) {
  auto ms = mapped_record(1, 2, "1 1\n", "2 1\n", 10.0, 1, 2);
  ms->overland.snow_roughness_given = 1;
  ms->overland.snow_manning_n = 0.3;
  run_phase(*ms);
  EXPECT_EQ(ms->overland.snow_manning_n, 0.3);
  ASSERT_EQ(ms->overland.dist_rough_copy.size(), 2);
  EXPECT_EQ(ms->overland.dist_rough_copy[2], 0.05);

  reset_process_state();
  ms = mapped_record(1, 2, "1 1\n", "2 1\n", 10.0, 1, 2);
  ms->overland.snow_roughness_given = 1;
  ms->overland.snow_darcy_given = 1;
  std::string out = run_phase(*ms);
  EXPECT_EQ(ms->overland.snow_roughness_given, 0);
  EXPECT_TRUE(ms->overland.dist_rough_copy.empty());
  EXPECT_TRUE(has(out, "Turning off manning flow for when snow is present.  Darcy still turned on. \n"));
}

TEST_F(MapPhase, SnowParametersByElevationBand) {
  // Cells at 100, 150 and 400 m; bands 0-150 and 150-1000.
  auto long_term_record = [] {
    auto ms = mapped_record(1, 3, "1 1 1\n", "100 150 400\n", 10.0, 1, 3);
    ms->clock.long_term = 1;
    ms->hydromet.nwsrfs_elev_snow_given = 1;
    ms->project.nwsrfs_elev_snow.assign("bands.txt");
    ms->hydromet.nwsrfs_mf_max_given = 1;  // the card wins over the bands
    ms->hydromet.nwsrfs_mf_max = 2.0;
    return ms;
  };
  testing::write_file("bands.txt",
                      "Number_Bands: 2\n"
                      "Lower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF FUA PLWHC\n"
                      "0 150 0.1 0.9 1.1 0.5 0.3 0.4 0.2 0.06\n"
                      "150 1000 0.2 0.8 1.2 0.6 0.35 0.45 0.25 0.07\n");
  auto ms = long_term_record();
  std::string out = run_phase(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  // Cell 1 lies in band 1; cell 2 on the boundary of both takes neither
  // (defaults); cell 3 lies in band 2.
  const double mf_min[] = {0, 0.1, 0.0, 0.2};
  const double scf[] = {0, 1.1, 1.0, 1.2};
  const double plwhc[] = {0, 0.06, 0.05, 0.07};
  for (int c = 1; c <= 3; ++c) {
    EXPECT_EQ(ms->hydromet.MF_Min[c], mf_min[c]) << c;
    EXPECT_EQ(ms->hydromet.scf[c], scf[c]) << c;
    EXPECT_EQ(ms->hydromet.PLWHC[c], plwhc[c]) << c;
    EXPECT_EQ(ms->hydromet.MF_Max[c], 2.0) << c;
  }

  // A misspelt column word stops the run with the layout the file needs.
  reset_process_state();
  testing::write_file("bands.txt",
                      "Number_Bands: 1\n"
                      "Lower_Elevation Upper_Elevation MF_Min MF_MAX SCF FR_USE TIPM NMF FUA PLWHC\n"
                      "0 150 0.1 0.9 1.1 0.5 0.3 0.4 0.2 0.06\n");
  ms = long_term_record();
  out = run_phase(*ms);
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Error reading elevation based NWSRFS snow input parameter file: bands.txt\n"
                       "Error reading elevation based NWSRFS snow input parameter file: bands.txt\n\n"
                       "The Elevation based NWSRFS input file should have the following format: \n"))
      << out;

  // A band value that is not a finite number within its column's range
  // stops the run naming the band and the column.
  for (const char* scf : {"nan", "-1", "1.1x"}) {
    reset_process_state();
    testing::write_file("bands.txt", std::string("Number_Bands: 1\n"
                                                 "Lower_Elevation Upper_Elevation MF_Min MF_Max SCF FR_USE TIPM NMF "
                                                 "FUA PLWHC\n"
                                                 "0 100000000 0.1 0.9 ") +
                                         scf + " 0.5 0.3 0.4 0.2 0.06\n");
    ms = long_term_record();
    out = run_phase(*ms);
    EXPECT_TRUE(run_stopped()) << scf;
    EXPECT_TRUE(has(out, std::string("Error: band 1 of the elevation based NWSRFS snow input parameter file "
                                     "bands.txt holds \"") +
                             scf + "\" in its SCF column; it takes a number from 0 to 10.\n"))
        << out;
  }
}

TEST_F(MapPhase, OverlandLakeMapAndInitialVolumes) {
  auto ms = mapped_record(1, 4, "1 1 1 1\n", "10 10.5 9 12\n", 10.0, 1, 4);
  ms->lake.overland_lake_map_given = 1;
  give_map(ms->lake.lake_map_file, ms->project.overland_lake_map, "lakes.map", map_text(1, 4, "1 1 2 0\n"));
  std::string out = run_phase(*ms);
  EXPECT_TRUE(has(out, "reading overland lake map from file: lakes.map\n"));
  EXPECT_EQ(ms->lake.num_olakes, 2);
  EXPECT_EQ(ms->lake.oland_lake_new[2], 1);
  EXPECT_EQ(ms->lake.oland_lake_new[3], 2);
  ASSERT_EQ(ms->lake.olake_table.size(), 2);

  // With the lake records as the lake file leaves them: lake 1 stands at
  // 10.5 m over cells at 10 and 10.5 m (the second adds no volume), lake 2
  // at 9.5 m over a cell at 9 m.
  reset_process_state();
  ms->lake.olake_table[1].value[0] = ms->lake.olake_table[1].value[1] = 10.5;
  ms->lake.olake_table[1].value[3] = 1234.0;  // the file's volume is recomputed
  ms->lake.olake_table[2].value[0] = ms->lake.olake_table[2].value[1] = 9.5;
  tally_overland_lakes(ms->lake, ms->grid);
  EXPECT_FALSE(run_stopped());
  EXPECT_EQ(ms->lake.olake_table[1].cell_count, 2);
  EXPECT_DOUBLE_EQ(ms->lake.olake_table[1].value[3], 0.5 * 100.0);
  EXPECT_EQ(ms->lake.olake_table[2].cell_count, 1);
  EXPECT_DOUBLE_EQ(ms->lake.olake_table[2].value[3], 0.5 * 100.0);

  // A lake cell above its lake's surface is impossible.
  ms->lake.olake_table[1].value[1] = 10.4;
  CaptureStdout();
  tally_overland_lakes(ms->lake, ms->grid);
  out = GetCapturedStdout();
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "There is a lake cell in lake 1 that is above the initial lake water surface\n"
                       "elevation in that lake, which is specified as 10.400000."));
}

TEST_F(MapPhase, LocationFilesAreCheckedAgainstTheGrid) {
  // Overland depth locations, then soil-moisture locations.
  auto ms = mapped_record(2, 3, "1 1 1\n0 1 1\n", "1 1 1\n1 1 1\n", 10.0, 1, 1);
  ms->output.overland_depths_given = 1;
  give_map(ms->output.overland_depth_location_file, ms->project.overland_depth_location, "dep.loc", "2\n1 3\n2 2\n");
  ms->output.in_theta_location_given = 1;
  give_map(ms->soil.in_theta_location_file, ms->project.in_theta_location, "theta.loc", "2\n2 3\n1 1\n");
  std::string out = run_phase(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_EQ(ms->output.n_overland_depth_locs, 2);
  EXPECT_EQ(ms->output.overland_depth_row[2], 2);
  EXPECT_EQ(ms->output.overland_depth_col[2], 2);
  EXPECT_EQ(ms->output.n_theta_loc, 2);
  EXPECT_EQ(ms->output.cell_loc[1], 5);  // the cell at row 2, column 3
  EXPECT_EQ(ms->output.cell_loc[2], 1);

  struct bad_case {
    const char* depth_file;
    const char* theta_file;
    const char* message;
  } cases[] = {
      {"2\n1 3\n3 1\n", "0\n", "Error: row 3, column 1 at line 3 of file dep.loc lies outside the grid of 2 rows and 3 columns\n"},
      {"1\n1 1\n", "2\n1 1\n1 4\n", "Error: row 1, column 4 at line 3 of file theta.loc lies outside the grid"},
      {"1\n1 1\n", "3\n1 1\n", "End of file reached in file theta.loc, exiting\n"},
      {"1\n1 x\n", "0\n", "Error: line 2 of file dep.loc holds a value that is not an integer\n"},
      // A location beyond the count would never be written.
      {"1\n1 1\n2 2\n", "0\n", "Error: line 3 of file dep.loc holds more than the 1 locations its first value counts\n"},
      {"1\n1 1\n", "1\n1 1\n2 2\n", "Error: line 3 of file theta.loc holds more than the 1 locations its first value "
                                  "counts\n"},
  };
  for (const auto& k : cases) {
    reset_process_state();
    ms = mapped_record(2, 3, "1 1 1\n0 1 1\n", "1 1 1\n1 1 1\n", 10.0, 1, 1);
    ms->output.overland_depths_given = 1;
    give_map(ms->output.overland_depth_location_file, ms->project.overland_depth_location, "dep.loc", k.depth_file);
    ms->output.in_theta_location_given = 1;
    give_map(ms->soil.in_theta_location_file, ms->project.in_theta_location, "theta.loc", k.theta_file);
    out = run_phase(*ms);
    EXPECT_TRUE(run_stopped()) << k.message;
    EXPECT_TRUE(has(out, k.message)) << out;
  }
}

TEST_F(MapPhase, SoilMoistureLocationsWithLayersForRichards) {
  auto ms = mapped_record(1, 2, "1 1\n", "1 1\n", 10.0, 1, 1);
  run_phase(*ms);
  ms->soil.inf_richards = 1;
  ms->output.in_theta_location_given = 1;
  give_map(ms->soil.in_theta_location_file, ms->project.in_theta_location, "theta.loc", "2 3\n1 2 2\n1 3\n1 1 3\n1\n2\n3\n");
  CaptureStdout();
  read_theta_locations(*ms);
  GetCapturedStdout();
  ASSERT_FALSE(run_stopped());
  EXPECT_EQ(ms->output.cell_loc[1], 2);
  EXPECT_EQ(ms->output.cell_num[1], 2);
  EXPECT_EQ(ms->output.theta_loc_layers[1][2], 3);
  EXPECT_EQ(ms->output.cell_num[2], 3);
  EXPECT_EQ(ms->output.theta_loc_layers[2][3], 3);

  // More layers than the first line allows would run past the table.
  reset_process_state();
  close_guarded_file(ms->soil.in_theta_location_file);
  give_map(ms->soil.in_theta_location_file, ms->project.in_theta_location, "theta.loc", "1 2\n1 1 3\n1 2 3\n");
  CaptureStdout();
  read_theta_locations(*ms);
  std::string out = GetCapturedStdout();
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Error: line 2 of file theta.loc lists 3 layers for location 1; the file allows 0 to 2\n"));
}

// A hotstart map with the grid's rows and columns drawn 1 km north of it
// would put every depth on the wrong cells: it is refused naming both
// extents, and the grid keeps the mask's header for the maps it writes.
TEST_F(MapPhase, AHotstartMapOfAnotherExtentIsRefused) {
  auto ms = mapped_record(1, 3, "1 1 1\n", "9 10 11\n", 10.0, 1, 1);
  ms->overland.ov_hotstart_read_given = 1;
  give_map(ms->overland.read_ov_hotstart_file, ms->project.ov_hotstart_read_file, "ov.hot",
           map_text(1, 3, "0.2 0.7 0.3\n", 10.0, 2000.0));
  const std::string out = run_phase(*ms);
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Error: the map ov.hot covers north 2000.00, south 1990.00, east 530.00, west 500.00; the "
                       "project's grid (the watershed mask) covers north 1000.00, south 990.00, east 530.00, west "
                       "500.00."))
      << out;
  EXPECT_EQ(ms->grid.north, 1000.0);
  EXPECT_EQ(ms->grid.south, 990.0);
}

TEST_F(MapPhase, HotstartsSetTheInitialState) {
  // Uniform snow of 0.05 m.
  auto ms = mapped_record(1, 3, "1 1 1\n", "9 10 11\n", 10.0, 1, 1);
  ms->hydromet.init_swe_mode = 3;
  ms->hydromet.init_swe_depth = 0.05;
  // An overland hotstart with a water surface at 10.5 m: cells below the
  // surface take the depth to it, the others keep their hotstart depth.
  ms->overland.ov_hotstart_read_given = 1;
  give_map(ms->overland.read_ov_hotstart_file, ms->project.ov_hotstart_read_file, "ov.hot", map_text(1, 3, "0.2 0.7 0.3\n"));
  ms->overland.init_elev_head_given = 1;
  ms->overland.init_elev_head = 10.5;
  std::string out = run_phase(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_TRUE(has(out, "reading overland hotstart map from file: ov.hot\n"));
  const double depth[] = {0, 1.5, 0.5, 0.3};
  for (int c = 1; c <= 3; ++c) {
    EXPECT_EQ(ms->hydromet.snow_swe[c], 0.05);
    EXPECT_EQ(ms->hydromet.snow_swe_scaled[c], 0.5);
    EXPECT_DOUBLE_EQ(ms->overland.ov_depth[c], depth[c]) << c;
    EXPECT_EQ(ms->overland.ov_depth_old[c], ms->overland.ov_depth[c]) << c;
  }
  EXPECT_EQ(ms->hydromet.snow_present, 1);

  // A soil-moisture hotstart sets the first layer of the Richards columns only.
  reset_process_state();
  ms->soil.inf_richards = 1;
  ms->soil.THETA.alloc(3, 3);
  ms->soil.THETA.fill(0.1);
  ms->soil.read_sm_hotstart_given = 1;
  give_map(ms->soil.read_sm_hotstart_file, ms->project.read_sm_hotstart, "sm.hot", map_text(1, 3, "0.25 0.3 0.35\n"));
  CaptureStdout();
  read_soil_moisture_hotstart(*ms);
  GetCapturedStdout();
  ASSERT_FALSE(run_stopped());
  for (int c = 1; c <= 3; ++c) {
    EXPECT_EQ(ms->soil.THETA[c][1], ms->soil.surface_moisture[c]);
    EXPECT_EQ(ms->soil.THETA[c][2], 0.1);
    EXPECT_EQ(ms->soil.THETA[c][3], 0.1);
  }
  EXPECT_EQ(ms->soil.THETA[3][1], 0.35);
}

}  // namespace
}  // namespace nivra
