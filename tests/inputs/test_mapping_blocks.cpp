// The special blocks of the mapping-table file (sediments, erosion, wells,
// wetlands, contaminants, soil maps, rating curves), the soil tables in
// both layouts, the stream mapping tables, and the loaders of the map
// phase that use them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cmt_fixture.h"
#include "core/process.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_blocks.h"
#include "inputs/mapping_table.h"
#include "inputs/soil_maps.h"
#include "inputs/soil_tables.h"
#include "inputs/stream_tables.h"
#include "model/model_state.h"
#include "model/project.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::check_tables;
using testing::cmt_block;
using testing::cmt_row;
using testing::run_stopped;
using testing::table_record;
using testing::write_file;
using testing::write_index_map;

class MappingBlocks : public testing::process_test {};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string head = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n";

// A sediment row: the description in columns 1 to 40, then the values.
std::string sediment_row(const std::string& description, const std::string& values) {
  std::string row = description;
  row.resize(40, ' ');
  return row + values + "\n";
}

TEST_F(MappingBlocks, SedimentClassesAndTheirErosionProperties) {
  const std::string sediments = "SEDIMENTS\nNUM_SED 3\nCLASS  SG  D  FB  FILE\n" +
                                sediment_row("Sand", "2.65 0.2 0.0 sand.out") +
                                sediment_row("Silt, fine", "2.65, 0.005, 0.5, \"silt out.txt\"") +
                                sediment_row("Clay", "2.60\t0.0001\t1.0\tclay.out");
  auto ms = table_record(head + sediments +
                         cmt_block("SOIL_EROSION_PROPS lu",
                                   {cmt_row("1", "Field", "0.1 0.2 0.3 0.4 0.5 10 20 30"),
                                    cmt_row("2", "Meadow", "1 2 3 4 5 11 21 31")},
                                   "NUM_SED 3\n"));
  write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
  sediment_classes classes;
  CaptureStdout();
  ASSERT_EQ(read_cmt_sediments("t.cmt", classes), 1);
  EXPECT_EQ(classes.count, 3);
  EXPECT_EQ(classes.spec_grav[2], 2.65);
  EXPECT_EQ(classes.part_diam[2], 0.005);
  EXPECT_EQ(classes.f_bind[2], 0.5);
  EXPECT_EQ(classes.output_filename[2], "silt out.txt");
  EXPECT_EQ(classes.part_diam[3], 0.0001);
  EXPECT_EQ(classes.output_filename[3], "clay.out");

  array1d<double> props[5];
  array2d<double> per_class;
  EXPECT_EQ(read_cmt_erosion(*ms, {&props[0], &props[1], &props[2], &props[3], &props[4]}, 3, per_class), 1);
  EXPECT_EQ(props[2][5], 3.0);   // cell 5 has ID 2
  EXPECT_EQ(props[4][1], 0.5);
  EXPECT_EQ(per_class[5][2], 21.0);
  EXPECT_EQ(per_class[1][3], 30.0);
  EXPECT_FALSE(run_stopped());

  // The count of classes must be the SEDIMENTS table's.
  EXPECT_EQ(read_cmt_erosion(*ms, {&props[0], nullptr, nullptr, nullptr, nullptr}, 4, per_class), 0);
  const std::string out = GetCapturedStdout();
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(out, "Error: The number of sediments specified in the SEDIMENTS table is 4 while the number of "
                       "sediments \nspecified in the SED_EROS_PROPS table is 3. The values must match.\n"))
      << out;

  // No SEDIMENTS block: no classes. A bad class row stops the run.
  reset_process_state();
  write_file("none.cmt", head);
  EXPECT_EQ(read_cmt_sediments("none.cmt", classes), 1);
  EXPECT_EQ(classes.count, 0);
  write_file("bad.cmt", head + "SEDIMENTS\nNUM_SED 1\nCLASS\n" + sediment_row("Sand", "2.65 -0.2 0.0 sand.out"));
  CaptureStdout();
  EXPECT_EQ(read_cmt_sediments("bad.cmt", classes), 0);
  EXPECT_TRUE(has(GetCapturedStdout(), "Error: line 6 of the mapping table file bad.cmt holds \"-0.2\" as the "
                                       "particle diameter of sediment class 1"));
  // A grain no denser than water never settles (the settling and transport
  // formulas divide by s - 1): a specific gravity of 1 or less is refused.
  for (const char* sg : {"1.0", "0.8"}) {
    reset_process_state();
    write_file("light.cmt", head + "SEDIMENTS\nNUM_SED 2\nCLASS\n" + sediment_row("Sand", "2.65 0.2 0.0 sand.out") +
                                sediment_row("Pumice", std::string(sg) + " 0.2 0.0 pumice.out"));
    CaptureStdout();
    EXPECT_EQ(read_cmt_sediments("light.cmt", classes), 0);
    const std::string light = GetCapturedStdout();
    EXPECT_TRUE(has(light, "Error: line 7 of the mapping table file light.cmt holds \"" + std::string(sg) +
                               "\" as the specific gravity of sediment class 2"))
        << light;
    EXPECT_TRUE(run_stopped());
  }
}

TEST_F(MappingBlocks, WellsAreConstantRatesOrTimeSeries) {
  auto ms = table_record(head + cmt_block("WELL_TABLE lu", {cmt_row("1", "Irrigation", "0.0 2.5 0.0"),
                                                             cmt_row("2", "Town supply", "1.0 4.0 0.0")}));
  write_index_map("ids.map", "0 1 0 0\n2 0 0 0\n0 0 0 1\n");
  ms->grid.ts_index_read = 1;
  ts_add_index(4, ts_new());
  CaptureStdout();
  const int read = read_cmt_wells(*ms);
  const std::string out = GetCapturedStdout();
  ASSERT_EQ(read, 1) << out;
  const std::vector<well_entry>& w = ms->groundwater.well_list;
  ASSERT_EQ(w.size(), 3u);
  // The last cell of the grid first.
  EXPECT_EQ(w[0].id, 10);
  EXPECT_EQ(w[0].kind, 0);
  EXPECT_EQ(w[0].rate, 2.5);
  EXPECT_EQ(w[0].series_id, 0);
  EXPECT_EQ(w[1].id, 4);
  EXPECT_EQ(w[1].kind, 1);
  EXPECT_EQ(w[1].rate, 0.0);
  EXPECT_EQ(w[1].series_id, 4);
  EXPECT_EQ(w[2].id, 1);

  // A well of the map without a row.
  reset_process_state();
  ms = table_record(head + cmt_block("WELL_TABLE lu", {cmt_row("1", "a", "0 1 0"), cmt_row("3", "b", "0 1 0")}));
  write_index_map("ids.map", "0 1 0 0\n2 0 0 0\n0 0 0 1\n");
  CaptureStdout();
  EXPECT_EQ(read_cmt_wells(*ms), 0);
  EXPECT_TRUE(has(GetCapturedStdout(),
                  "Error: A well was found in the index map (cell [2,1]) that \n  was not found in the well table.\n"));

  // A well outside the watershed, and a well whose series the
  // TIME_SERIES_INDEX table does not hold.
  const struct {
    const char* table_row;
    const char* map;
    const char* message;
  } faults[] = {
      {"0 1 0", "1 0 0 0\n0 0 0 0\n0 0 0 0\n",
       "Error: the well index map ids.map places the well 1 at row 1, column 1, outside the watershed\n"},
      {"1 9 0", "0 1 0 0\n0 0 0 0\n0 0 0 0\n",
       "Error: the well 1 of the WELL_TABLE takes its rate from the time series 9, which the TIME_SERIES_INDEX "
       "table does not hold\n"},
      // Rates no well pumps, and a kind that is neither 0 nor a series.
      {"0 1e308 0", "0 1 0 0\n0 0 0 0\n0 0 0 0\n", "gives the well 1 the rate 1e+308; it takes a number from -1000 to "
                                                  "1000 (m3/s).\n"},
      {"0 -2e3 0", "0 1 0 0\n0 0 0 0\n0 0 0 0\n", "gives the well 1 the rate -2000;"},
      {"0.5 1 0", "0 1 0 0\n0 0 0 0\n0 0 0 0\n", "gives the well 1 the kind 0.5; it takes 0 for a constant rate"},
  };
  for (const auto& f : faults) {
    reset_process_state();
    ms = table_record(head + cmt_block("WELL_TABLE lu", {cmt_row("1", "a", f.table_row)}));
    write_index_map("ids.map", f.map);
    ms->grid.ts_index_read = 1;
    CaptureStdout();
    EXPECT_EQ(read_cmt_wells(*ms), 0);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(out, f.message)) << out;
  }
  // A series of the TIME_SERIES_INDEX table with a rate no well pumps.
  reset_process_state();
  ms = table_record(head + cmt_block("WELL_TABLE lu", {cmt_row("1", "a", "1 4 0")}));
  write_index_map("ids.map", "0 1 0 0\n0 0 0 0\n0 0 0 0\n");
  ms->grid.ts_index_read = 1;
  time_series* ts = ts_new();
  ts->name = "supply";
  ts->times = {1.0, 2.0};
  ts->values = {0.01, 1e308};
  ts->count = 2;
  ts_add_index(4, ts);
  CaptureStdout();
  EXPECT_EQ(read_cmt_wells(*ms), 0);
  const std::string series_out = GetCapturedStdout();
  EXPECT_TRUE(has(series_out, "Error: the time series supply (id 4) of the well 1 gives the rate 1e+308; it takes a number "
                       "from -1000 to 1000 (m3/s).\n"))
      << series_out;
}

TEST_F(MappingBlocks, WetlandsAreNumberedInTheOrderTheirIdsAppear) {
  const std::string rows = cmt_block("WETLAND_PROPERTIES lu", {cmt_row("3", "Marsh", "100 50 8640 20 86400 0.2 300"),
                                                              cmt_row("7", "Fen", "1 1 1 1 1 1 1"),
                                                              cmt_row("9", "Bog", "2 2 2 2 2 2 2")});
  auto ms = table_record(head + rows);
  write_index_map("ids.map", "0 7 7 3\n9 3 7 0\n9 9 0 3\n");
  CaptureStdout();
  const int read = read_cmt_wetlands(*ms);
  const std::string out = GetCapturedStdout();
  ASSERT_EQ(read, 1) << out;
  EXPECT_EQ(ms->lake.wetland_count, 3);
  const int numbers[] = {1, 1, 2, 3, 2, 1, 3, 3, 0, 2};
  for (int c = 1; c <= 10; ++c) EXPECT_EQ(ms->lake.wetland_mask[c], numbers[c - 1]) << c;
  // ID 3 is wetland 2: millimetres to metres, per day to per second.
  const double marsh[] = {0.1, 0.05, 0.1, 0.02, 1.0, 0.0, 0.2, 0.3};
  for (int k = 1; k <= 8; ++k) EXPECT_DOUBLE_EQ(ms->lake.wetland_props[2][k], marsh[k - 1]) << k;
  EXPECT_DOUBLE_EQ(ms->lake.wetland_props[1][8], 0.001);
  // The columns as the overland schemes name them.
  {
    namespace wp = wetland_prop;
    const auto marsh_props = ms->lake.wetland_props[2];
    EXPECT_DOUBLE_EQ(marsh_props[wp::water_depth], 0.1);
    EXPECT_DOUBLE_EQ(marsh_props[wp::layer_thickness], 0.05);
    EXPECT_DOUBLE_EQ(marsh_props[wp::layer_conductivity], 0.1);
    EXPECT_DOUBLE_EQ(marsh_props[wp::transition_depth], 0.02);
    EXPECT_DOUBLE_EQ(marsh_props[wp::linear_coef], 1.0);
    EXPECT_DOUBLE_EQ(marsh_props[wp::manning_n], 0.2);
    EXPECT_DOUBLE_EQ(marsh_props[wp::ground_offset], 0.3);
  }

  struct fault {
    const char* what;
    std::string table, map, message;
  } faults[] = {
      {"fewer IDs in the map", rows, "0 7 7 3\n7 3 7 0\n3 3 0 3\n",
       "There is a problem with the wetlands index map.  It contains\n2 ID's, while the mapping table file contains "
       "3 ID's.\nThe index map and mapping table file must have the same number\nof ID's. \n"},
      {"an ID above 300",
       cmt_block("WETLAND_PROPERTIES lu", {cmt_row("3", "a", "1 1 1 1 1 1 1"), cmt_row("301", "b", "1 1 1 1 1 1 1")}),
       "0 3 3 3\n301 3 3 0\n3 3 3 3\n",
       "The number of wetland ids specified in the master table file \nis over 300!  This is highly unusual."},
      {"a row whose ID the map lacks",
       cmt_block("WETLAND_PROPERTIES lu", {cmt_row("3", "a", "1 1 1 1 1 1 1"), cmt_row("5", "b", "1 1 1 1 1 1 1"),
                                           cmt_row("9", "c", "1 1 1 1 1 1 1")}),
       "0 7 7 3\n9 3 7 0\n9 9 0 3\n",
       "Error: line 7 of the mapping table file t.cmt gives the wetland 5, which the index map ids.map does not "
       "hold\n"},
      {"a wetland without a Manning n",
       cmt_block("WETLAND_PROPERTIES lu", {cmt_row("3", "a", "1 1 1 1 1 1 1"), cmt_row("7", "b", "1 1 1 1 1 0 1"),
                                           cmt_row("9", "c", "1 1 1 1 1 1 1")}),
       "0 7 7 3\n9 3 7 0\n9 9 0 3\n",
       "Error: line 7 of the mapping table file t.cmt gives the wetland a Manning n (the sixth value) that is not "
       "above 0\n"},
      {"a second row of an ID",
       cmt_block("WETLAND_PROPERTIES lu", {cmt_row("3", "a", "1 1 1 1 1 1 1"), cmt_row("9", "b", "1 1 1 1 1 1 1"),
                                           cmt_row("9", "c", "1 1 1 1 1 1 1")}),
       "0 7 7 3\n9 3 7 0\n9 9 0 3\n",
       "Error: line 8 of the mapping table file t.cmt gives the ID 9 a second row of the WETLAND_PROPERTIES table (the "
       "first at line 7)\n"},
  };
  for (const fault& f : faults) {
    SCOPED_TRACE(f.what);
    reset_process_state();
    ms = table_record(head + f.table);
    write_index_map("ids.map", f.map);
    CaptureStdout();
    EXPECT_EQ(read_cmt_wetlands(*ms), 0);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(out, f.message)) << out;
  }
}

std::string contaminant(const std::string& name, const std::string& map, const std::string& precip,
                        const std::vector<std::string>& rows) {
  std::string s = "\"" + name + "\" \"" + map + "\" \"" + name + ".out\"\nPRECIP_CONC " + precip +
                  "\nPARTITION 2.0\nNUM_IDS " + std::to_string(rows.size()) + "\n" + cmt_row("ID", "DESCRIPTION", "K");
  for (const std::string& r : rows) s += r;
  return s;
}

TEST_F(MappingBlocks, ContaminantTablesPerConstituent) {
  const std::string quoted_head = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"lu\"\n";
  auto ms = table_record(quoted_head + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n" +
                         contaminant("Atrazine", "lu", "0.5",
                                     {cmt_row("1", "a", "1 2 3 4 5 6 7 8"), cmt_row("2", "b", "10 11 12 13 14 15 16 17")}) +
                         contaminant("Nitrate", "lu", "1.5",
                                     {cmt_row("1", "a", "21 22 23 24 25 26 27 28"), cmt_row("3", "c", "0 0 0 0 0 0 0 0")}));
  write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
  contaminant_tables t;
  CaptureStdout();
  const int read = read_cmt_contaminants(*ms, t);
  const std::string out = GetCapturedStdout();
  ASSERT_EQ(read, 1) << out;
  EXPECT_TRUE(has(out, "\nReading contaminant table...  2 contaminants found\n"));
  EXPECT_TRUE(has(out, "  Checking Atrazine" + std::string(27, '.') + "In map ids.map category 1 has 6 values\n"))
      << out;
  EXPECT_TRUE(has(out, "category 2 has 4 values\nfound and read index map\n"));
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(t.descriptions[1], "Atrazine");
  EXPECT_EQ(t.output_filenames[2], "Nitrate.out");
  EXPECT_EQ(t.index_map_filenames[1], "ids.map");
  EXPECT_EQ(t.precip_conc, (std::vector<double>{0.5, 1.5}));
  EXPECT_EQ(t.partition, (std::vector<double>{2.0, 2.0}));
  EXPECT_EQ(t.columns[2][1][5], 12.0);  // column 3 of constituent 1 at cell 5 (ID 2)
  EXPECT_EQ(t.columns[7][2][1], 28.0);
  EXPECT_EQ(t.columns[0][2][5], 0.0);   // ID 2 has no row for the nitrate

  // An INDEX_MAP line may write the map's name without quotes: the quoted
  // name of a contaminant line still finds it.
  {
    auto bare = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n" +
                             contaminant("Atrazine", "lu", "0.5",
                                         {cmt_row("1", "a", "1 2 3 4 5 6 7 8"), cmt_row("2", "b", "1 2 3 4 5 6 7 8")}));
    contaminant_tables b;
    CaptureStdout();
    const int got = read_cmt_contaminants(*bare, b);
    const std::string said = GetCapturedStdout();
    EXPECT_EQ(got, 1) << said;
    EXPECT_EQ(b.index_map_filenames[1], "ids.map");
  }

  // A sub-block that names an unlisted map, or has no rows, stops the run
  // where it stands: its lines are never taken for the next block's.
  struct fault {
    std::string block, message;
  } faults[] = {
      {contaminant("Atrazine", "soils", "0.5", {cmt_row("1", "a", "1 2 3 4 5 6 7 8")}),
       "Error: line 5 of the mapping table file t.cmt names the index map \"soils\" for contaminant 1, which no "
       "INDEX_MAP line lists\n"},
      {contaminant("Atrazine", "lu", "0.5", {}), "Error: line 8 of the mapping table file t.cmt is not a NUM_IDS "
                                                 "line with a count above 0 for contaminant 1\n"},
      {contaminant("Atrazine", "lu", "high", {cmt_row("1", "a", "1 2 3 4 5 6 7 8")}),
       "Error in reading the precip concentration of constituent #1\n"},
  };
  for (const fault& f : faults) {
    reset_process_state();
    ms = table_record(quoted_head + "CONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n" + f.block +
                      contaminant("Nitrate", "lu", "1.5", {cmt_row("1", "a", "21 22 23 24 25 26 27 28")}));
    CaptureStdout();
    EXPECT_EQ(read_cmt_contaminants(*ms, t), 0);
    const std::string text = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(text, f.message)) << text;
    EXPECT_FALSE(has(text, "Checking Nitrate"));
  }
  reset_process_state();
  ms = table_record(quoted_head);
  CaptureStdout();
  EXPECT_EQ(read_cmt_contaminants(*ms, t), 0);
  EXPECT_TRUE(has(GetCapturedStdout(), "Error reading the contaminant transport tables in the mapping table file.\n"));
}

// The value of column c of layer L in the layer lines of layout A: a soil
// of its ranges (conductivity, pore index, suction, porosity, field
// capacity, wilting point, residual and initial content, thickness), each
// column and layer its own.
double layer_value(int layer, int column) {
  static constexpr double base[10] = {0, 1.0, 0.20, 10.0, 0.40, 0.30, 0.10, 0.050, 0.20, 10.0};
  static constexpr double step[10] = {0, 1.0, 0.01, 1.0, 0.01, 0.01, 0.01, 0.001, 0.01, 10.0};
  return base[column] + step[column] * layer;
}

std::string layer_lines() {
  std::string text;
  char v[32];
  for (int layer = 1; layer <= 3; ++layer)
    for (int c = 1; c <= (layer == 3 ? 8 : 9); ++c) {
      std::snprintf(v, sizeof v, "%g", layer_value(layer, c));
      text += v;
      text += c == (layer == 3 ? 8 : 9) ? "\n" : layer == 3 ? "," : " ";
    }
  return text;
}

void expect_layout_a(const soil_class& s) {
  // Which layer and column (10 L + c) each real of the class takes.
  const int source[29] = {0,  13, 23, 33, 0,  11, 21, 31, 14, 24, 34, 18, 28, 38, 16,
                          26, 36, 15, 25, 35, 17, 27, 37, 19, 29, 0,  12, 22, 32};
  for (int k = 1; k <= 28; ++k)
    EXPECT_DOUBLE_EQ(s.real(k), source[k] ? layer_value(source[k] / 10, source[k] % 10) : 0.0) << k;
  for (int k = 29; k <= 50; ++k) EXPECT_EQ(s.real(k), 0.0) << k;
}

TEST_F(MappingBlocks, LayeredSoilTablesFromTheirFileAndFromTheMappingTable) {
  write_file("soil.tab", "2\n0\n1\n" + layer_lines() + "5\n" + layer_lines());
  array1d<soil_class> table(soil_class_capacity - 1);
  soil_class_set defined;
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "soil.tab", "r"));
  EXPECT_EQ(read_soil_layer_table(f, "soil.tab", table, defined), 2);
  expect_layout_a(table[1]);
  EXPECT_TRUE(defined[5] && !defined[2]);

  // The MULTI_LAYER_SOIL block: a description between the ID and the
  // values; every cell's class is one of the table's.
  auto ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soils.map soils\nMULTI_LAYER_SOIL soils\nNUM_IDS 1\n"
                         "NUM_LAYERS 3\nID DESCRIPTION VALUES\n7  Sandy loam  " +
                         layer_lines());
  write_index_map("soils.map", "0 7 7 7\n7 7 7 0\n7 7 7 7\n");
  CaptureStdout();
  const int classes = read_cmt_multi_layer(*ms);
  const std::string read_out = GetCapturedStdout();
  ASSERT_EQ(classes, 1) << read_out;
  expect_layout_a(ms->soil.soil_classes()[7]);
  EXPECT_EQ(ms->soil.soiltype[4], 7);

  struct fault {
    const char* what;
    std::string file, map, message;
  } faults[] = {
      {"a class the table lacks", "", "0 7 7 7\n7 7 5 0\n7 7 7 7\n",
       "Error: the soil map soils.map gives the cell at row 2, column 3 the soil class 5, which the soil table t.cmt "
       "does not define\n"},
      {"no soil map", "gone", "",
       "You are trying to simulate MLGA soil dynamics but without using a valid soil type index map.\nIndex map "
       "filename = gone.map\n"},
  };
  for (const fault& k : faults) {
    SCOPED_TRACE(k.what);
    reset_process_state();
    ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP " + (k.file.empty() ? std::string("soils") : k.file) +
                      ".map soils\nMULTI_LAYER_SOIL soils\nNUM_IDS 1\nNUM_LAYERS 3\nID\n7 " + layer_lines());
    if (!k.map.empty()) write_index_map("soils.map", k.map);
    CaptureStdout();
    EXPECT_EQ(read_cmt_multi_layer(*ms), -1);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(out, k.message)) << out;
  }

  const struct {
    std::string text, message;
  } bad_files[] = {
      {"1\n0\n100000\n" + layer_lines(),
       "Error: line 3 of the soil table soil.tab gives the soil class ID 100000; soil class IDs run from 0 to 99999\n"},
      {"one\n0\n", "Error: line 1 of the soil table soil.tab holds one where the number of soil classes (a whole "
                   "number) is due\n"},
      {"1\n0\n1\n11 12 13\n", "Error: line 4 of the soil table soil.tab ends where a value of a layer line (a number) is due\n"},
      // A second class of an ID would overwrite the first.
      {"2\n0\n4\n" + layer_lines() + "4\n" + layer_lines(),
       "Error: line 7 of the soil table soil.tab gives the soil class ID 4 a second time\n"},
      // Each layer's values as a soil holds them.
      {"1\n0\n1\n2 0.2 10 0.45 0.30 0.35 0.05 0.2 10\n" + layer_lines().substr(layer_lines().find('\n') + 1),
       "Error: line 4 of the soil table soil.tab gives layer 1 a wilting point (value 6) outside [0, its field "
       "capacity]\n"},
      {"1\n0\n1\n" + layer_lines().substr(0, layer_lines().find('\n') + 1) +
           "2 0.2 10 0.45 0.50 0.10 0.05 0.2 10\n" + layer_lines().substr(layer_lines().rfind('\n', layer_lines().size() - 2) + 1),
       "Error: line 5 of the soil table soil.tab gives layer 2 a field capacity (value 5) outside [0, its "
       "porosity]\n"},
      {"1\n0\n1\n2 0.2 10 0.45 0.30 0.10 0.05 0.2 0\n" + layer_lines().substr(layer_lines().find('\n') + 1),
       "Error: line 4 of the soil table soil.tab gives layer 1 a thickness (value 9) outside (0, 10000] cm\n"},
      {"1\n0\n1\n2 0.2 10 0.45 0.30 0.10 0.05 0.5 10\n" + layer_lines().substr(layer_lines().find('\n') + 1),
       "Error: line 4 of the soil table soil.tab gives layer 1 an initial water content (value 8) outside [0, its "
       "porosity]\n"},
  };
  for (const auto& b : bad_files) {
    reset_process_state();
    close_guarded_file(f);
    write_file("soil.tab", b.text);
    EXPECT_TRUE(open_guarded_file(f, "soil.tab", "r"));
    CaptureStdout();
    EXPECT_EQ(read_soil_layer_table(f, "soil.tab", table, defined), -1);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(has(out, b.message)) << out;
  }
}

// Layout B, form 1: layer L's thickness is 10 L cm and its node spacing
// 2, 5 and 10 cm, so 5, 4 and 3 nodes.
// Per layer: Ks 1 cm/h, saturated 0.45, residual 0.03, initial 0.2,
// wilting point 0.1, field capacity 0.3, a thickness, pore index 8, bubbling
// head 9 cm, a node spacing.
std::string hydraulic_soil(int id) {
  return std::to_string(id) + "\n1 0.45 0.03 0.2 0.1 0.3 10 8 -9 2\n1 0.45 0.03 0.2 0.1 0.3 20 8 9 5\n"
                              "1 0.45 0.03 0.2 0.1 0.3 30 8 9 10\n";
}

TEST_F(MappingBlocks, SoilHydraulicTableNodeCountsReachTheWaterTable) {
  write_file("rich.tab", "1\n0\n" + hydraulic_soil(3));
  array1d<soil_class> table(soil_class_capacity - 1);
  array1d<int> soil_ids(4);
  array1d<double> ground(4), water_table(4);
  // Below the bottom of the 0.6 m column: none, 0.9, 2.2 and 2.3 node
  // spacings of 1 m.
  const double depth_below[] = {-0.4, 0.9, 2.2, 2.3};
  for (int c = 1; c <= 4; ++c) {
    soil_ids[c] = 3;
    ground[c] = 100.0;
    water_table[c] = 100.0 - 0.6 - depth_below[c - 1];
  }
  soil_hydraulic_request rq;
  rq.soil_ids = &soil_ids;
  soil_hydraulic_result res;
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "rich.tab", "r"));
  EXPECT_EQ(read_soil_hydraulic_table(f, "rich.tab", rq, table, res), 13 + 2);
  EXPECT_EQ(res.layer1_nodes[3], 5);
  EXPECT_EQ(res.layer2_end[3], 9);
  EXPECT_EQ(res.total_nodes[3], 13);
  EXPECT_EQ(table[3].real(23), 10.0);
  EXPECT_EQ(table[3].real(29), -9.0);
  EXPECT_EQ(table[3].real(30), -9.0);  // stored as minus its size
  EXPECT_EQ(table[3].real(34), 10.0);
  EXPECT_EQ(table[3].real(20), 0.03);  // value 3, the residual content

  rq.water_table = true;
  rq.gw_node_spacing = 1.0;
  rq.ground = &ground;
  rq.water_table_elev = &water_table;
  close_guarded_file(f);
  ASSERT_TRUE(open_guarded_file(f, "rich.tab", "r"));
  EXPECT_EQ(read_soil_hydraulic_table(f, "rich.tab", rq, table, res), 16 + 9 + 2);
  const int water_table_node[] = {13, 14, 15, 16};  // 12 nodes to the column's bottom
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(res.water_table_node[c], water_table_node[c - 1]) << c;
    EXPECT_EQ(res.cell_nodes[c], water_table_node[c - 1] + 9) << c;
  }

  // A node spacing of 0, and a cell whose soil the table lacks.
  write_file("rich.tab", "1\n0\n3\n1 2 3 4 5 6 10 8 9 0\n1 2 3 4 5 6 20 8 9 5\n1 2 3 4 5 6 30 8 9 10\n");
  close_guarded_file(f);
  ASSERT_TRUE(open_guarded_file(f, "rich.tab", "r"));
  rq.water_table = false;
  CaptureStdout();
  EXPECT_EQ(read_soil_hydraulic_table(f, "rich.tab", rq, table, res), -1);
  EXPECT_TRUE(has(GetCapturedStdout(), "Error: line 4 of the soil table rich.tab gives layer 1 a thickness of 10 cm "
                                       "and a node spacing of 0 cm"));
  reset_process_state();
  write_file("rich.tab", "1\n0\n" + hydraulic_soil(4));
  close_guarded_file(f);
  ASSERT_TRUE(open_guarded_file(f, "rich.tab", "r"));
  CaptureStdout();
  EXPECT_EQ(read_soil_hydraulic_table(f, "rich.tab", rq, table, res), -1);
  EXPECT_TRUE(has(GetCapturedStdout(), "Error: cell 1 has the soil class 3, which the soil table rich.tab does not define\n"));
}

TEST_F(MappingBlocks, ASoilHydraulicTableGivesEachSoilOnce) {
  write_file("rich.tab", "2\n0\n" + hydraulic_soil(3) + hydraulic_soil(3));
  array1d<soil_class> table(soil_class_capacity - 1);
  soil_hydraulic_request rq;
  soil_hydraulic_result res;
  guarded_file f;
  ASSERT_TRUE(open_input_file(f, "rich.tab"));
  CaptureStdout();
  EXPECT_EQ(read_soil_hydraulic_table(f, "rich.tab", rq, table, res), -1);
  const std::string out = GetCapturedStdout();
  EXPECT_TRUE(has(out, "Error: line 7 of the soil table rich.tab gives the soil class ID 3 a second time\n")) << out;
}

TEST_F(MappingBlocks, ASoilHydraulicTableValueOutOfItsRangeStopsNamingTheLine) {
  // Soil 3's first layer line (line 4) with one value changed.
  const struct {
    const char* line;
    int form;
    const char* fault;
  } cases[] = {
      {"0 0.45 0.03 0.2 0.1 0.3 10 8 -9 2", richards_brooks_form, "a saturated conductivity (value 1)"},
      {"1 1.45 0.03 0.2 0.1 0.3 10 8 -9 2", richards_brooks_form, "a saturated water content (value 2)"},
      {"1 0.45 0.5 0.2 0.1 0.3 10 8 -9 2", richards_brooks_form, "a residual water content (value 3)"},
      {"1 0.45 0.03 0.01 0.1 0.3 10 8 -9 2", richards_brooks_form, "an initial water content (value 4)"},
      {"1 0.45 0.03 0.2 0.1 0.6 10 8 -9 2", richards_brooks_form, "a field capacity (value 6)"},
      {"1 0.45 0.03 0.2 0.1 0.3 10 0 -9 2", richards_brooks_form, "a pore-size index (value 8)"},
      {"1 0.45 0.03 0.2 0.1 0.3 10 8 0 2", richards_brooks_form, "a bubbling head (value 9)"},
      {"1 0.45 0.03 0.2 0.1 0.3 10 8 -9 0.001", richards_brooks_form, "a node spacing below 0.01 cm"},
      {"1 0.45 0.03 0.2 0.1 0.3 5000 8 -9 1", richards_brooks_form, "more than 1000 nodes"},
      // A layer of no thickness, or thinner than its spacing, has no node.
      {"1 0.45 0.03 0.2 0.1 0.3 0 8 -9 2", richards_brooks_form,
       "a thickness (value 7) below its node spacing: a layer holds one node at least"},
      {"1 0.45 0.03 0.2 0.1 0.3 1.5 8 -9 2", richards_brooks_form, "a thickness (value 7) below its node spacing"},
      {"1 0.45 0.03 0.2 0.1 0.3 10 8 9 -10 11 2", richards_havercamp_form, "a Haverkamp constant"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.fault);
    reset_process_state();
    const std::string rest = k.form == richards_brooks_form ? "1 0.45 0.03 0.2 0.1 0.3 20 8 9 5\n"
                                                                "1 0.45 0.03 0.2 0.1 0.3 30 8 9 10\n"
                                                              : "1 0.45 0.03 0.2 0.1 0.3 20 8 9 10 11 5\n"
                                                                "1 0.45 0.03 0.2 0.1 0.3 30 8 9 10 11 10\n";
    write_file("rich.tab", "1\n0\n3\n" + std::string(k.line) + "\n" + rest);
    array1d<soil_class> table(soil_class_capacity - 1);
    soil_hydraulic_request rq;
    rq.form = k.form;
    soil_hydraulic_result res;
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "rich.tab", "r"));
    CaptureStdout();
    EXPECT_EQ(read_soil_hydraulic_table(f, "rich.tab", rq, table, res), -1);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(has(out, "line 4 of the soil table rich.tab gives layer 1 ")) << out;
    EXPECT_TRUE(has(out, k.fault)) << out;
  }
}

TEST_F(MappingBlocks, RichardsBlockOfTheMappingTable) {
  // Form 2: twelve values per layer; layer line 1 holds its values from
  // column 88.
  std::string first = "4 Clay loam";
  first.resize(87, ' ');
  auto ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soils.map soils\n"
                         "RICHARDS_EQN_INFILTRAIION_HAVERCAMP soils\nNUM_IDS 1\nNUM_LAYERS 3\nID\n" +
                         first + "1 0.45 0.03 0.2 0.1 0.3 10 8 9 10 11 2\n1 0.45 0.03 0.2 0.1 0.3 20 18 19 20 21 5\n"
                                 "1 0.45 0.03 0.2 0.1 0.3 30 28 29 30 31 10\n");
  write_index_map("soils.map", "0 4 4 4\n4 4 4 0\n4 4 4 4\n");
  soil_hydraulic_result res;
  CaptureStdout();
  EXPECT_EQ(read_cmt_soil_layers(*ms, 2, soil_hydraulic_request{}, res), 13 + 2);
  const std::string out = GetCapturedStdout();
  ASSERT_FALSE(run_stopped()) << out;
  const soil_class& s = ms->soil.soil_classes()[4];
  EXPECT_EQ(s.real(17), 0.3);  // the sixth value, the field capacity, in both forms
  EXPECT_EQ(s.real(35), 8.0);
  EXPECT_EQ(s.real(37), 28.0);
  EXPECT_EQ(s.real(44), 11.0);
  EXPECT_EQ(s.real(46), 31.0);
  EXPECT_EQ(s.real(32), 2.0);
  EXPECT_EQ(res.cell_nodes[10], 13);

  reset_process_state();
  ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP gone.map soils\nRICHARDS_EQN_INFILTRATION_BROOKS soils\n");
  CaptureStdout();
  EXPECT_EQ(read_cmt_soil_layers(*ms, 1, soil_hydraulic_request{}, res), -1);
  EXPECT_TRUE(has(GetCapturedStdout(), "You are trying to simulate Richards' Equation soil dynamics but without using "
                                       "a valid soil type index map.\nIndex map filename = gone.map\n"));
}

TEST_F(MappingBlocks, LayerWaterContentsOfATwoLayerColumn) {
  array1d<soil_class> table(9);
  table[2].real(8) = 0.45;  // saturated contents of the layers
  table[2].real(9) = 0.40;
  table[2].real(23) = 30;   // layer depths, cm
  table[2].real(24) = 60;
  array1d<int> soil(1);
  soil[1] = 2;
  array1d<double> top(1), bottom(1), elevgw(1), ground(1);
  top[1] = 6.0;     // cm of water in the 30 cm top layer
  bottom[1] = 12.0; // and in the 60 cm layer below
  ground[1] = 100.0;
  layered_moisture_input in;
  in.sm_water_top = &top;
  in.sm_water_bottom = &bottom;
  in.elevgw = &elevgw;
  in.elevation = &ground;
  in.thickness[0] = 0.3;
  in.thickness[1] = 0.6;
  in.table = &table;
  in.soiltype = &soil;
  array2d<double> theta(1, 3), theta_s(1, 3);
  const struct {
    bool water_table;
    double depth_m;  // of the water table
    double theta1, theta2;
  } cases[] = {
      {false, 0, 6.0 / 30, 12.0 / 60},                       // 91 cm: below both layers
      {true, 0.5, 6.0 / 30, ((90 - 50) * 0.40 + 12.0) / 60},  // inside layer 2
      {true, 0.1, (6.0 + 20 * 0.45) / 30, 0.40 / 60},        // inside layer 1
      {true, 0.0, 0.45, 0.40},                               // at the surface: saturated
  };
  for (const auto& k : cases) {
    in.water_table_given = k.water_table;
    elevgw[1] = 100.0 - k.depth_m;
    layered_soil_moisture(1, in, theta, theta_s);
    EXPECT_NEAR(theta[1][1], k.theta1, 1e-12) << k.depth_m;
    EXPECT_NEAR(theta[1][2], k.theta2, 1e-12) << k.depth_m;
    EXPECT_EQ(theta_s[1][1], 0.45);
    EXPECT_EQ(theta_s[1][2], 0.40);
  }
}

TEST_F(MappingBlocks, RatingCurvesOfOverlandBoundaryCells) {
  write_file("t.cmt", head + cmt_block("RATINGCURVES", {"2     weir_a\n", "5     \"gate b\"\n"}));
  array1d<int> type(4), series;
  array1d<double> value(4);
  type[1] = 6, value[1] = 2;
  type[3] = 7, value[3] = 5;
  type[4] = 99;
  auto find = [](std::string_view name) { return name == "weir_a" ? 1 : name == "gate b" ? 2 : 0; };
  EXPECT_EQ(read_cmt_ratingcurves("t.cmt", type, value, find, series), 1);
  EXPECT_EQ(series[1], 1);
  EXPECT_EQ(series[2], 0);
  EXPECT_EQ(series[3], 2);
  EXPECT_EQ(series[4], 0);

  value[3] = 3;  // no such rating curve
  CaptureStdout();
  EXPECT_EQ(read_cmt_ratingcurves("t.cmt", type, value, find, series), 0);
  EXPECT_TRUE(has(GetCapturedStdout(), "Error: overland boundary cell 3 asks for the rating curve 3, which the "
                                       "RATINGCURVES table of the mapping table file t.cmt does not hold\n"));
  reset_process_state();
  value[3] = 5;
  CaptureStdout();
  EXPECT_EQ(read_cmt_ratingcurves("t.cmt", type, value, [](std::string_view) { return 0; }, series), 0);
  EXPECT_TRUE(has(GetCapturedStdout(), "Error: The elevation series for a RATING_CURVE card is not found."));
}

// ---- Stream mapping tables.

TEST_F(MappingBlocks, StreamTablesGiveEveryNodeOfALinkItsValue) {
  write_file("st.cmt", "NIVRA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP links.smap reaches\n" +
                           cmt_block("ROUGHNESS reaches", {cmt_row("1", "Gravel", "0.035"), cmt_row("2", "Weeds", "0.05")}) +
                           cmt_block("NSM_OTHER reaches", {cmt_row("1", "a", "1 2 3")}) +
                           cmt_block("DISPERSE gone", {cmt_row("1", "a", "1")}));
  write_file("links.smap", "STREAM_MAP\nNLINKS 3\n1\n0\n2\n");
  int flags[6] = {};
  CaptureStdout();
  check_stream_mapping_table("st.cmt", flags, 0);
  const std::string out = GetCapturedStdout();
  EXPECT_TRUE(has(out, "\nChecking stream mapping table file...\n  Roughness" + std::string(26, '.') + "Y\n")) << out;
  EXPECT_TRUE(has(out, "  NSM Other" + std::string(26, '.') + "Y\n"));
  EXPECT_TRUE(has(out, "  Dispersion" + std::string(25, '.') + "N\n"));
  EXPECT_EQ(flags[st_flag::roughness], 1);
  EXPECT_EQ(flags[st_flag::other], 1);
  EXPECT_EQ(flags[st_flag::carbon], 0);
  EXPECT_EQ(flags[st_flag::dispersion], 0);

  // Three links of 2, 3 and 1 nodes, rows of four entries.
  const int nodes[] = {0, 2, 3, 1};
  array1d<double> n(16);
  n.fill(9.0);
  ASSERT_EQ(read_stream_mapping_table("st.cmt", st_code_roughness, {&n}, 3, nodes, 4), 1);
  const double expected[] = {9, 9, 9, 9, 9, 0.035, 0.035, 9, 9, 9, 9, 9, 9, 0.05, 9, 9, 9};
  for (int k = 0; k <= 16; ++k) EXPECT_EQ(n[k], expected[k]) << k;

  const struct {
    std::string map, message;
  } faults[] = {
      {"STREAM_MAP\nNLINKS 2\n1 0\n",
       "NLINKS or MAXNODES card in stream map file does not match channel input file (file: links.smap)\n"},
      {"LINK_MAP\nNLINKS 3\n1 0 2\n", "Stream map file does not use correct header (file: links.smap)\n"},
      {"STREAM_MAP\nNLINKS 3\n1 0.5 2\n", "Error reading data from stream map file. Check to make sure that the "
                                          "correct number of \ndata points exist for each link. (file: links.smap)\n"},
      {"STREAM_MAP\nNLINKS 3\n1 3 2\n",
       "Error: the stream map links.smap gives link 2 the ID 3; the ROUGHNESS (Stream) table of st.cmt has IDs from 1 "
       "to 2 (0 for a link without one)\n"},
      {"", "Unable to open stream map file links.smap\n"},
  };
  for (const auto& f : faults) {
    reset_process_state();
    if (f.map.empty())
      std::remove("links.smap");
    else
      write_file("links.smap", f.map);
    CaptureStdout();
    EXPECT_EQ(read_stream_mapping_table("st.cmt", st_code_roughness, {&n}, 3, nodes, 4), 0);
    const std::string text = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(text, f.message)) << text;
  }
  reset_process_state();
  CaptureStdout();
  EXPECT_EQ(read_stream_mapping_table("st.cmt", st_code_nsm_c, {&n}, 3, nodes, 4), 0);
  EXPECT_TRUE(has(GetCapturedStdout(), "Problem reading mapping table file -- no entries found in table NSM_C "
                                       "(Stream) (NUM_IDS is 0)\n"));

  // A nutrient concentration below zero is refused at its line.
  reset_process_state();
  write_file("st.cmt", "NIVRA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP links.smap reaches\n" +
                           cmt_block("NSM_OTHER reaches", {cmt_row("1", "a", "1 -2 3")}));
  write_file("links.smap", "STREAM_MAP\nNLINKS 3\n1 0 1\n");
  CaptureStdout();
  EXPECT_EQ(read_stream_mapping_table("st.cmt", st_code_nsm_oth, {&n, &n, &n}, 3, nodes, 4), 0);
  const std::string refused = GetCapturedStdout();
  EXPECT_TRUE(run_stopped());
  EXPECT_TRUE(has(refused, "holds -2 as value 2")) << refused;
}

// ---- Loaders of the map phase: they read and check their tables; those
// whose processes this version does not simulate then name their card.

TEST_F(MappingBlocks, LoadersReadTheirTablesThenNameTheirCard) {
  write_file("k.map", testing::map_text(3, 4, "36 36 36 36\n36 36 36 36\n36 36 36 36\n"));
  const std::string tables =
      head + cmt_block("WETLAND_PROPERTIES lu", {cmt_row("1", "Marsh", "1 1 1 1 1 1 1"), cmt_row("2", "Fen", "1 1 1 1 1 1 1")}) +
      cmt_block("OVERLAND_BOUNDARY lu", {cmt_row("1", "Open", "0 0"), cmt_row("2", "Edge", "1 0.01")}) +
      cmt_block("GROUNDWATER_BOUNDARY lu", {cmt_row("1", "Inside", "0"), cmt_row("2", "Head", "2")}) +
      cmt_block("GROUNDWATER lu", {cmt_row("1", "Sand", "360 0.3"), cmt_row("2", "Silt", "3.6 0.2")}) +
      cmt_block("AREA_REDUCTION lu", {cmt_row("1", "a", "0.25"), cmt_row("2", "b", "0")}) +
      cmt_block("GREEN_AMPT_INFILTRATION lu", {cmt_row("1", "a", "3.6 10 0.4 0.2 0.02 0 0.1"),
                                               cmt_row("2", "b", "0.36 20 0.5 0.2 0.02 0 0.1")});
  struct loader {
    const char* card;  // null: the process runs, nothing stops
    void (*set)(model_state&);
    void (*run)(model_state&);
    void (*expect)(const model_state&);
  } loaders[] = {
      {nullptr, [](model_state& ms) { ms.lake.wetlands_on = 1; }, init_wetlands,
       [](const model_state& ms) { EXPECT_EQ(ms.lake.wetland_mask[5], 2); }},
      {nullptr, [](model_state& ms) { ms.overland.ov_boundary = 1; }, init_overland_boundary,
       [](const model_state& ms) {
         EXPECT_EQ(ms.overland.boundary_type[1], 0);
         EXPECT_EQ(ms.overland.boundary_type[5], 1);
         EXPECT_EQ(ms.overland.ov_bc_value[5], 0.01);
       }},
      {nullptr,  // saturated groundwater runs
       [](model_state& ms) {
         ms.groundwater.gw_simulation = 1;
         ms.groundwater.gw_hycond_map_given = 1;
         ms.project.gw_hycond_map.assign("k.map");
         ASSERT_TRUE(open_guarded_file(ms.groundwater.gw_hycond_file, "k.map", "r"));
       },
       read_groundwater_maps,
       [](const model_state& ms) {
         EXPECT_EQ(ms.groundwater.gwbound[5], 2);
         // The conductivity from its map (36 cm/h is 1e-4 m/s), the porosity
         // from the table.
         EXPECT_DOUBLE_EQ(ms.groundwater.gw_hyd_cond[1], 1e-4);
         EXPECT_DOUBLE_EQ(ms.groundwater.gw_hyd_cond_old[5], 1e-4);
         EXPECT_EQ(ms.groundwater.gw_porosity[1], 0.3);
         EXPECT_EQ(ms.groundwater.gw_porosity[5], 0.2);
         EXPECT_EQ(ms.groundwater.gw_cell_dx[3], 10.0);
       }},
      {nullptr,
       [](model_state& ms) {
         ms.soil.green_ampt = 1;
         ms.soil.area_reduction_given = 1;
         ms.soil.conductivity_given = ms.soil.capillary_given = ms.soil.porosity_given = 1;
       },
       read_infiltration_maps,
       [](const model_state& ms) {
         EXPECT_EQ(ms.soil.area_reduction[1], 0.75);
         EXPECT_EQ(ms.soil.area_reduction[5], 1.0);
         EXPECT_DOUBLE_EQ(ms.soil.sat_hyd_cond[1], 1e-5);
         EXPECT_DOUBLE_EQ(ms.soil.sat_hyd_cond[5], 1e-6);
         EXPECT_DOUBLE_EQ(ms.soil.capillary_head[5], 0.2);
         EXPECT_EQ(ms.soil.soil_porosity[5], 0.5);
       }},
  };
  for (const loader& l : loaders) {
    SCOPED_TRACE(l.card                            ? l.card
                 : l.run == init_wetlands          ? "WETLAND_PROPERTIES"
                 : l.run == init_overland_boundary ? "OV_BOUNDARY"
                                                   : "GREEN_AMPT");
    reset_process_state();
    auto ms = table_record(tables);
    write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
    check_tables(*ms);
    l.set(*ms);
    CaptureStdout();
    l.run(*ms);
    const std::string out = GetCapturedStdout();
    if (l.card)
      EXPECT_TRUE(has(out, std::string("Error: the ") + l.card + " card is not available in this version of NIVRA.\n"))
          << out;
    else
      EXPECT_FALSE(run_stopped()) << out;
    l.expect(*ms);
  }
  // A boundary type between two codes is none of them.
  {
    reset_process_state();
    std::string fractional = tables;
    fractional.replace(fractional.find("1 0.01"), 6, "1.7 0.01");
    auto ms = table_record(fractional);
    write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
    check_tables(*ms);
    ms->overland.ov_boundary = 1;
    CaptureStdout();
    init_overland_boundary(*ms);
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(out, "Error: overland boundary cell 5 of the OVERLAND_BOUNDARY table gives the boundary type "
                         "1.700000, which is none of 0 to 7 and 99\n"))
        << out;
  }

  // Parameters with no source at all.
  struct fault {
    const char* what;
    void (*set)(model_state&);
    void (*run)(model_state&);
    const char* message;
  } faults[] = {
      {"an overland boundary without its table", [](model_state& ms) { ms.overland.ov_boundary = 1; },
       init_overland_boundary,
       "Error: The OV_BOUNDARY card has been specified in the project file but the \n       OVERLAND_BOUNDARY "
       "table was not found...\n"},
      {"groundwater without a conductivity",
       [](model_state& ms) {
         ms.groundwater.gw_simulation = ms.groundwater.gw_unif_porosity_given = 1;
         ms.groundwater.gw_boundfile_given = 1;
         testing::give_map(ms.groundwater.gw_boundary_file, ms.project.gw_boundfile, "gw.bnd",
                           testing::map_text(3, 4, "0 0 0 0\n0 0 0 0\n0 0 0 0\n"));
       },
       read_groundwater_maps,
       "Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n"},
      {"groundwater without a porosity",
       [](model_state& ms) {
         ms.groundwater.gw_simulation = ms.groundwater.gw_unif_hycond_given = 1;
         ms.groundwater.gw_boundfile_given = 1;
         testing::give_map(ms.groundwater.gw_boundary_file, ms.project.gw_boundfile, "gw.bnd",
                           testing::map_text(3, 4, "0 0 0 0\n0 0 0 0\n0 0 0 0\n"));
       },
       read_groundwater_maps,
       "Error: the groundwater porosity has no source: give the GW_POROSITY_MAP or GW_UNIF_POROSITY card or a "
       "GROUNDWATER table in the mapping table\n"},
      {"an area reduction without its map or table",
       [](model_state& ms) { ms.soil.green_ampt = ms.soil.area_reduction_given = 1; }, read_infiltration_maps,
       "Error: the AREA_REDUCTION card needs the name of its map, the UNIF_AREA_REDUCTION card or an "
       "AREA_REDUCTION table in the mapping table\n"},
      {"Green-Ampt without a capillary drive in a mapping table without its soil table",
       [](model_state& ms) {
         ms.soil.green_ampt = ms.soil.conductivity_given = ms.soil.porosity_given = 1;
         ms.project.conductivity.assign("k.map");
         ASSERT_TRUE(open_guarded_file(ms.soil.ks_file, "k.map", "r"));
       },
       read_infiltration_maps,
       "For Green and Ampt infiltration, capillary drive map must be specified (the CAPILLARY card) or given by "
       "the GREEN_AMPT_INFILTRATION table of the mapping table\nProgram stopped.\n"},
  };
  for (const fault& f : faults) {
    SCOPED_TRACE(f.what);
    reset_process_state();
    auto ms = table_record(head);
    check_tables(*ms);
    f.set(*ms);
    CaptureStdout();
    CaptureStderr();
    f.run(*ms);
    const std::string out = GetCapturedStderr() + GetCapturedStdout();
    EXPECT_TRUE(run_stopped());
    EXPECT_TRUE(has(out, f.message)) << out;
    EXPECT_FALSE(has(out, "card is not available"));
  }
}

}  // namespace
}  // namespace nivra
