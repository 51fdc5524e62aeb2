// The mapping-table file: the start-up check of its tables, the values of a
// table reaching every cell through its index map, the faults of tables
// and index maps, and the TIME_SERIES_INDEX table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmt_fixture.h"
#include "core/process.h"
#include "core/time_series.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::cmt_block;
using testing::cmt_row;
using testing::run_stopped;
using testing::table_record;
using testing::write_index_map;

class MappingTable : public testing::process_test {};

std::string check(const std::string& file, int* present, int skip_index_maps = 0) {
  CaptureStdout();
  check_cmt_tables(file, present, skip_index_maps, 0);
  return GetCapturedStdout();
}

std::string dots(int n) { return std::string(static_cast<std::size_t>(n), '.'); }

TEST_F(MappingTable, TheStartUpCheckPrintsOneLinePerTable) {
  write_index_map("lu.map", "0 1 1 1\n1 1 1 0\n1 1 1 1\n");
  const std::string text = "NIVRA_INDEX_MAP_TABLES\n"
                           "INDEX_MAP lu.map lu\n"
                           "INDEX_MAP gone.map soils\n" +
                           cmt_block("ROUGHNESS lu", {cmt_row("1", "Forest", "0.1")}) +
                           cmt_block("GROUNDWATER_BOUNDARY lu", {cmt_row("1", "Edge", "1")}) +
                           "SEDIMENTS\nNUM_SED 2\n" + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 0\n";
  testing::write_file("t.cmt", text);
  int present[cmt_table_count] = {};
  const std::string out = check("t.cmt", present);
  const std::string lines[] = {
      "\nChecking 2D grid mapping tables...\n",
      "  Roughness" + dots(26) + "Y\n",
      "  Retention" + dots(26) + "N\n",
      "  G&A Infiltration" + dots(19) + "N\n",
      "  Multi layer G&A Infiltration" + dots(7) + "N\n",
      "  Sediments" + dots(26) + "Y\n",
      "  Sediment Erosion Properties" + dots(8) + "N\n",
      "  Contaminants" + dots(23) + "N\n",
      "  Groundwater" + dots(24) + "N\n",
      "  Groundwater Boundary" + dots(15) + "Y\n",
      "  NSM Groundwater Phosphorus" + dots(9) + "N\n",
  };
  for (const std::string& line : lines) EXPECT_NE(out.find(line), std::string::npos) << line << out;
  int check_lines = 0;
  for (std::size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at + 1)) ++check_lines;
  EXPECT_EQ(check_lines, cmt_table_count) << out;
  int expected[cmt_table_count] = {};
  expected[cmt_roughness] = expected[cmt_sediments] = expected[cmt_gw_boundary] = 1;
  for (int k = 0; k < cmt_table_count; ++k) EXPECT_EQ(present[k], expected[k]) << k;

  // Without index maps only the blocks that need none are present.
  check("t.cmt", present, 1);
  for (int k = 0; k < cmt_table_count; ++k) EXPECT_EQ(present[k], k == cmt_sediments ? 1 : 0) << k;

  check("none.cmt", present);
  EXPECT_TRUE(run_stopped());
}

// A table's card names its index map: a name that no INDEX_MAP line gives,
// and a map whose file cannot be opened, stop the run naming the table, the
// line, the map and its file.
TEST_F(MappingTable, ATableWhoseIndexMapIsMissingStopsTheRun) {
  write_index_map("lu.map", "0 1 1 1\n1 1 1 0\n1 1 1 1\n");
  const std::string head = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP lu.map lu\nINDEX_MAP gone.map soils\n";
  const struct {
    std::string block, message;
  } cases[] = {
      // "soils " is not "soils".
      {cmt_block("RETENTION soils ", {cmt_row("1", "Forest", "5")}),
       "Error: line 4 of the mapping table file t.cmt (RETENTION soils ) names an index map that no INDEX_MAP line "
       "of the file gives.\n"},
      {cmt_block("GREEN_AMPT_INFILTRATION soils", {cmt_row("1", "Loam", "1 2 0.4 0.2 0.02 0 0")}),
       "Error: the GREEN_AMPT_INFILTRATION table at line 4 of the mapping table file t.cmt takes its IDs from the "
       "index map soils, whose file gone.map cannot be opened.\n"},
      {cmt_block("SOIL_EROSION_PROPS soils", {cmt_row("1", "Loam", "1 2 3 4 5")}),
       "Error: the SOIL_EROSION_PROPS table at line 4 of the mapping table file t.cmt takes its IDs from the index "
       "map soils, whose file gone.map cannot be opened.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    reset_process_state();
    testing::write_file("t.cmt", head + c.block + cmt_block("ROUGHNESS lu", {cmt_row("1", "Forest", "0.1")}));
    int present[cmt_table_count] = {};
    const std::string out = check("t.cmt", present);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_TRUE(run_stopped());
  }
  // Without index maps the names are not looked up.
  reset_process_state();
  int present[cmt_table_count] = {};
  check("t.cmt", present, 1);
  EXPECT_FALSE(run_stopped());
}

// A table that no process takes values from stops the run wherever it
// stands in the file; the same word inside a row's description does not.
TEST_F(MappingTable, AMaterialIndexTableStopsAsNotAvailable) {
  write_index_map("lu.map", "1 1 1 1\n1 1 1 1\n1 1 1 1\n");
  const std::string head = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP lu.map lu\n";
  const std::string roughness = cmt_block("ROUGHNESS lu", {cmt_row("1", "MATERIAL_INDEX", "0.1")});
  const std::string materials = cmt_block("MATERIAL_INDEX lu", {cmt_row("1", "Clay", "")});
  const std::string message = "Error: the MATERIAL_INDEX card is not available in this version of NIVRA.\n";
  for (const std::string& text : {head + materials + roughness, head + roughness + materials}) {
    reset_process_state();
    testing::write_file("t.cmt", text);
    int present[cmt_table_count] = {};
    EXPECT_NE(check("t.cmt", present).find(message), std::string::npos) << text;
    EXPECT_TRUE(run_stopped());
  }
  reset_process_state();
  testing::write_file("t.cmt", head + roughness);
  int present[cmt_table_count] = {};
  EXPECT_EQ(check("t.cmt", present).find("not available"), std::string::npos);
  EXPECT_FALSE(run_stopped());
  EXPECT_EQ(present[cmt_roughness], 1);
}

// Every watershed cell takes the values of its ID's row; an ID without a
// row gives 0, and cells outside the watershed are passed over whatever
// they hold. A second row of an ID, which would overwrite the first, is
// refused.
TEST_F(MappingTable, TableValuesReachEveryCellThroughTheIndexMap) {
  auto ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"Land use\"\n" +
                         cmt_block("INTERCEPTION \"Land use\"", {cmt_row("1", "Forest", "1.5 0.1"),
                                                                 cmt_row("2", "Crops", "3.0\t0.3"),
                                                                 cmt_row("5", "Town", "5.5 0.5")}));
  write_index_map("ids.map", "9 1 1 2\n2 5 3 0\n1 2 5 1\n");
  array1d<double> storage, coefficient;
  CaptureStdout();
  EXPECT_EQ(read_cmt_table(*ms, cmt_code_interception, {&storage, &coefficient}), 1);
  const std::string out = GetCapturedStdout();
  ASSERT_FALSE(run_stopped()) << out;
  const double expected_storage[] = {1.5, 1.5, 3.0, 3.0, 5.5, 0.0, 1.5, 3.0, 5.5, 1.5};
  const double expected_coefficient[] = {0.1, 0.1, 0.3, 0.3, 0.5, 0.0, 0.1, 0.3, 0.5, 0.1};
  for (int c = 1; c <= 10; ++c) {
    EXPECT_EQ(storage[c], expected_storage[c - 1]) << c;
    EXPECT_EQ(coefficient[c], expected_coefficient[c - 1]) << c;
  }
  EXPECT_NE(out.find("In map ids.map category 1 has 4 values\nIn map ids.map category 2 has 3 values\n"
                     "In map ids.map category 3 has 1 values\nIn map ids.map category 5 has 2 values\n"),
            std::string::npos)
      << out;

  reset_process_state();
  ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"Land use\"\n" +
                    cmt_block("INTERCEPTION \"Land use\"", {cmt_row("1", "Forest", "1.5 0.1"),
                                                            cmt_row("2", "Crops", "2.5\t0.2"),
                                                            cmt_row("5", "Town", "5.5 0.5"),
                                                            cmt_row("2", "Crops, again", "3.0 0.3")}));
  CaptureStdout();
  EXPECT_EQ(read_cmt_table(*ms, cmt_code_interception, {&storage, &coefficient}), 0);
  const std::string twice = GetCapturedStdout();
  EXPECT_TRUE(run_stopped());
  EXPECT_NE(twice.find("Error: line 9 of the mapping table file t.cmt gives the ID 2 a second row of the INTERCEPTION "
                       "table (the first at line 7)\n"),
            std::string::npos)
      << twice;

  // A row beyond the count of NUM_IDS would be left unread.
  reset_process_state();
  std::string block = cmt_block("INTERCEPTION \"Land use\"", {cmt_row("1", "Forest", "1.5 0.1"),
                                                             cmt_row("2", "Crops", "2.5\t0.2"),
                                                             cmt_row("5", "Town", "5.5 0.5")});
  block.replace(block.find("NUM_IDS 3"), 9, "NUM_IDS 2");
  ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"Land use\"\n" + block);
  CaptureStdout();
  EXPECT_EQ(read_cmt_table(*ms, cmt_code_interception, {&storage, &coefficient}), 0);
  const std::string beyond = GetCapturedStdout();
  EXPECT_TRUE(run_stopped());
  EXPECT_NE(beyond.find("Error: line 8 of the mapping table file t.cmt is a row of the INTERCEPTION table beyond the 2 "
                        "rows of its NUM_IDS card\n"),
            std::string::npos)
      << beyond;
}

// A watershed cell without an ID takes 0; the cells after it keep theirs.
TEST_F(MappingTable, AWatershedCellWithoutAnIdTakesZero) {
  auto ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n" +
                         cmt_block("RETENTION lu", {cmt_row("1", "a", "1"), cmt_row("2", "b", "2")}));
  write_index_map("ids.map", "0 1 1 1\n0 2 2 0\n2 2 0 1\n");
  array1d<double> depth;
  CaptureStdout();
  read_cmt_table(*ms, cmt_code_retention, {&depth});
  const std::string out = GetCapturedStdout();
  EXPECT_FALSE(run_stopped());
  const double expected[] = {1, 1, 1, 0, 2, 2, 2, 2, 0, 1};
  for (int c = 1; c <= 10; ++c) EXPECT_EQ(depth[c], expected[c - 1]) << c;
  EXPECT_NE(out.find("Warning: 2 watershed cells of the index map ids.map have the ID 0 (the first at row 2, "
                     "column 1); they take 0 for the values of its tables\n"),
            std::string::npos)
      << out;
}

TEST_F(MappingTable, FaultsOfTablesAndIndexMapsStopTheRun) {
  const std::string head = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n";
  const std::string good_map = "1 1 1 1\n1 2 2 1\n2 2 2 2\n";
  const std::string two_rows = cmt_block("ROUGHNESS lu", {cmt_row("1", "a", "0.1"), cmt_row("2", "b", "0.2")});
  struct fault {
    const char* what;
    std::string table;
    std::string map;  // the index map's body, or a whole file when it begins with "north"
    std::string message;
  } faults[] = {
      {"listed index map missing", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP gone.map lu\n" + two_rows, good_map,
       "Unable to open index file gone.map\n"},
      {"no rows", head + "ROUGHNESS lu\nNUM_IDS 0\nID\n", good_map,
       "Problem reading mapping table file -- no entries found in table ROUGHNESS (NUM_IDS is 0)\n"},
      {"map name not listed", head + cmt_block("ROUGHNESS landuse", {cmt_row("1", "a", "0.1")}), good_map,
       "no entries found in table ROUGHNESS (NUM_IDS is 0)\n"},
      {"file ends after the map list", head, good_map, "no entries found in table ROUGHNESS (NUM_IDS is 0)\n"},
      {"index map ends early", head + two_rows, "1 1 1 1\n1 2 2 1\n2 2\n", "Unexpected end of file in file: ids.map\n"},
      {"ID above the table's", head + two_rows, "1 1 1 1\n1 2 3 1\n2 2 2 2\n",
       "Index ID exceeds table limit, file: ids.map [row 2:col 3]\n"},
      {"negative ID", head + two_rows, "1 1 1 1\n1 2 2 1\n2 -2 2 2\n",
       "Error: the index map ids.map holds a value that is not an ID (a whole number from 0) at row 3, column 2\n"},
      {"no-data value in the watershed", head + two_rows, "1 1 1 1\n1 -9999 2 1\n2 2 2 2\n",
       "Error: the index map ids.map holds the no-data value -9999 at row 2, column 2, a cell of the watershed mask; "
       "every watershed cell needs an ID.\n"},
      {"map of another extent", head + two_rows, testing::map_text(3, 4, good_map, 10.0, 1000.0, 1500.0),
       "Error: the map ids.map covers north 1000.00, south 970.00, east 1540.00, west 1500.00; the project's grid "
       "(the watershed mask) covers north 1000.00, south 970.00, east 540.00, west 500.00."},
      {"map of another size", head + two_rows, testing::map_text(2, 4, good_map),
       "Incorrect number of rows in map: ids.map (its header gives 2 rows and 4 columns, the project's grid has 3 rows and 4 columns)\n"},
      {"map of another width", head + two_rows, testing::map_text(3, 5, good_map),
       "Incorrect number of columns in map: ids.map (its header gives 3 rows and 5 columns, the project's grid has 3 rows and 4 columns)\n"},
      {"map of another shape", head + two_rows, testing::map_text(2, 5, good_map),
       "Incorrect number of rows and columns in map: ids.map (its header gives 2 rows and 5 columns, the project's grid has 3 rows and 4 columns)\n"},
      {"row without an ID", head + cmt_block("ROUGHNESS lu", {cmt_row("1", "a", "0.1"), cmt_row("b", "b", "0.2")}),
       good_map,
       "Error: line 7 of the mapping table file t.cmt is a row of the ROUGHNESS table without an ID in columns 1 to "
       "6 (a whole number from 1 to 999999): row 2 of the 2 its NUM_IDS card counts\n"},
      // A count beyond the rows: the next table's card is taken as a row.
      {"NUM_IDS beyond the rows", head + "ROUGHNESS lu\nNUM_IDS 3\n" + cmt_row("ID", "DESCRIPTION", "VALUES") +
                                      cmt_row("1", "a", "0.1") + cmt_row("2", "b", "0.2") + "RETENTION lu\n",
       good_map,
       "Error: line 8 of the mapping table file t.cmt is a row of the ROUGHNESS table without an ID in columns 1 to "
       "6 (a whole number from 1 to 999999): row 3 of the 3 its NUM_IDS card counts\n"},
      {"row without its value", head + cmt_block("ROUGHNESS lu", {cmt_row("1", "a", "0.1"), "2     b\n"}), good_map,
       "Error: line 7 of the mapping table file t.cmt holds 0 values from column 87; a row of the ROUGHNESS table "
       "holds 1\n"},
      {"value outside its range", head + cmt_block("ROUGHNESS lu", {cmt_row("1", "a", "0"), cmt_row("2", "b", "0.2")}),
       good_map,
       "Error: line 6 of the mapping table file t.cmt holds 0 as value 1 of a row of the ROUGHNESS table; it takes "
       "a number above 0 and at most 10.\n"},
      {"value that is not a number", head + cmt_block("ROUGHNESS lu", {cmt_row("1", "a", "0.1x"), cmt_row("2", "b", "0.2")}),
       good_map, "holds 0.1x as value 1 of a row of the ROUGHNESS table"},
      {"fewer rows than NUM_IDS", head + "ROUGHNESS lu\nNUM_IDS 3\nID\n" + cmt_row("1", "a", "0.1"), good_map,
       "Error: the ROUGHNESS table of the mapping table file t.cmt ends after 1 of its 3 rows\n"},
      {"map name too long", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map " + std::string(40, 'x') + "\n" + two_rows,
       good_map, "Error: line 2 of the mapping table file t.cmt is not a INDEX_MAP line"},
  };
  for (const fault& f : faults) {
    SCOPED_TRACE(f.what);
    reset_process_state();
    auto ms = table_record(f.table);
    testing::write_file("ids.map", f.map.rfind("north", 0) == 0 ? f.map : testing::map_text(3, 4, f.map));
    array1d<double> n;
    CaptureStdout();
    EXPECT_EQ(read_cmt_table(*ms, cmt_code_roughness, {&n}), 0);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_NE(out.find(f.message), std::string::npos) << out;
  }
  // The file itself.
  reset_process_state();
  auto ms = table_record("");
  ms->project.mapping_table.assign("none.cmt");
  array1d<double> n;
  CaptureStdout();
  read_cmt_table(*ms, cmt_code_roughness, {&n});
  EXPECT_NE(GetCapturedStdout().find("Unable to open Mapping Table file: none.cmt\n"), std::string::npos);
}

// Card words are compared over their own length, case and all, and the
// first word of the list that a line begins with decides.
TEST_F(MappingTable, CardWords) {
  const struct {
    const char* line;
    int code;
  } cases[] = {
      {"ROUGHNESS lu", cmt_code_roughness},
      {"ROUGH_EXP lu", cmt_code_rough_exp},
      {"GROUNDWATER_BOUNDARY lu", cmt_code_gw_boundary},
      {"GROUNDWATER lu", cmt_code_groundwater},
      {"GREEN_AMPT_INITIAL_SOIL_MOISTURE soils", cmt_code_ga_soil_moisture},
      {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils", cmt_code_richards_havercamp},
      {"NSM_SOIL_KOC lu", cmt_code_nsm_soil_koc},
      {"NSM_OTH lu", cmt_code_nsm_oth},
      {"roughness lu", 0},
      {"ID  DESCRIPTION", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(cmt_card_code(c.line), c.code) << c.line;
  EXPECT_STREQ(cmt_card_name(cmt_code_well_table), "WELL_TABLE");
}

// The TIME_SERIES_INDEX table is read once per run, before the first
// table; each row names a series of the run.
TEST_F(MappingTable, TimeSeriesIndexRowsReferToTheRunsSeries) {
  time_series* pump = ts_new();
  pump->name = "pump_station_a";
  auto ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n" +
                         cmt_block("TIME_SERIES_INDEX", {"3     pump_station\n", "7     \"no such series\"\n"}) +
                         cmt_block("RETENTION lu", {cmt_row("1", "a", "1")}));
  write_index_map("ids.map", "1 1 1 1\n1 1 1 1\n1 1 1 1\n");
  array1d<double> depth;
  CaptureStdout();
  read_cmt_table(*ms, cmt_code_retention, {&depth});
  read_cmt_table(*ms, cmt_code_retention, {&depth});
  const std::string out = GetCapturedStdout();
  EXPECT_FALSE(run_stopped()) << out;
  EXPECT_NE(out.find("Adding table to list: pump_station... Success!\n"
                     "Adding table to list: no such series... Failure, table not found.\n"),
            std::string::npos)
      << out;
  ASSERT_EQ(process.ts_id_list.size(), 2u);  // read once
  EXPECT_EQ(process.ts_id_list[0].id, 7);
  EXPECT_EQ(process.ts_id_list[0].series, nullptr);
  EXPECT_EQ(process.ts_id_list[1].id, 3);
  EXPECT_EQ(process.ts_id_list[1].series, pump);
}

// Bracketed keys of a calibration reach the table's values.
TEST_F(MappingTable, ReplacementKeysReachTheValues) {
  process.replace_on = 1;
  process.replace_list.push_back(replace_param{});
  replace_param& p = process.replace_list.back();
  p.key = "[ROUGH1]";
  p.key_len = 8;
  p.format = "%.3f";
  p.value_type = 1;
  p.dval = 0.045;
  auto ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n" +
                         cmt_block("ROUGHNESS lu", {cmt_row("1", "a", "[ROUGH1]")}));
  write_index_map("ids.map", "1 1 1 1\n1 1 1 1\n1 1 1 1\n");
  array1d<double> n;
  CaptureStdout();
  read_cmt_table(*ms, cmt_code_roughness, {&n});
  const std::string out = GetCapturedStdout();
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_EQ(n[7], 0.045);
}

}  // namespace
}  // namespace nivra
