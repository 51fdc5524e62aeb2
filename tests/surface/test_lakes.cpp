// Lakes over the grid. Channel lakes: their cells, volume, level and area
// from the channel input file (flat pools and rating curves), the rating
// lookup, the cell updates as a lake fills and spills, and evaporation.
// Overland lakes: the extent as the lake rises and falls. Every update is
// checked against a hand calculation or against the water it must keep:
// the lake's water plus the cells' water plus what was booked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_fixture.h"
#include "surface/channel_lakes.h"
#include "surface/grid_fixture.h"
#include "surface/overland_lakes.h"

namespace nivra {
namespace {

using testing::chan_file;
using testing::test_grid;
using testing::make_grid;
using testing::overland_cells;

// The grid of the lakes: one row of cells of 30 m whose grounds are given.
std::unique_ptr<overland_cells> row_of_cells(std::vector<double> ground) {
  test_grid g;
  g.rows = 1;
  g.cols = static_cast<int>(ground.size());
  g.dx = 30.0;
  g.ground = [ground](int, int c) { return ground[static_cast<std::size_t>(c - 1)]; };
  return make_grid<overland_cells>(g);
}

// A network of one lake link with the given lake cards.
std::string lake_network(const std::string& cards) {
  return chan_file(1, 2, "CONNECT 1 0 0\nLINK 1\nLAKE\nNODES 2\nNODE 1\nELEV 98\nNODE 2\nELEV 98\n" + cards);
}

class ChannelLakes : public testing::channel_file_test {
 protected:
  // Reads the network and builds its lakes on the grid.
  bool build(const std::string& cards, overland_cells& w) {
    if (!read(lake_network(cards))) return false;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const bool ok = init_channel_lakes(lakes, w.grid, "net.cif");
    out += ::testing::internal::GetCapturedStdout();
    err += ::testing::internal::GetCapturedStderr();
    return ok;
  }
  lake_update_books update(overland_cells& w) {
    ::testing::internal::CaptureStdout();
    const lake_update_books b = lake_cells_update(lakes, w.grid, w.overland.ov_depth.data(), nullptr);
    out += ::testing::internal::GetCapturedStdout();
    return b;
  }
};

TEST_F(ChannelLakes, InitialExtentVolumeAndAreaFollowTheLevelOrTheRatingCurve) {
  const std::string cells = "NUMPTS 3\n1 1 1 2 1 3\n";
  const std::string rating = "NUMRATE 3\n99.0 0 0\n100.0 2000 2500\n101.0 5000 3500\n";
  const struct {
    std::string cards;
    double level;
    int cells;
    double volume, area;
  } cases[] = {
      // A flat pool at 100.0 m over grounds 99.0, 99.5, 100.0: the third
      // stands level with the water and stays dry.
      {"INITWSE 100.0\n" + cells, 100.0, 2, (1.0 + 0.5) * 900.0, 2 * 900.0},
      // A rating curve gives the volume at the level and the area at it.
      {"INITWSE 100.0\n" + cells + rating, 100.0, 2, 2000.0, 2500.0},
      {"INITWSE 100.0\n" + cells + rating + "STATIC\n", 100.0, 3, 2000.0, 2500.0},
      // Below every cell the lake keeps one cell and no water.
      {"INITWSE 98.0\n" + cells, 98.0, 1, 0.0, 900.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cards);
    lakes = lake_state{};
    auto w = row_of_cells({99.0, 99.5, 100.0});
    ASSERT_TRUE(build(c.cards, *w)) << err;
    ASSERT_EQ(lakes.num_lakes, 1);
    EXPECT_EQ(lakes.lake2link[1], 1);
    EXPECT_EQ(lakes.lake_cells[1], c.cells);
    EXPECT_DOUBLE_EQ(lakes.lake_volume[1], c.volume);
    EXPECT_DOUBLE_EQ(lakes.lake_area[1], c.area);
    EXPECT_DOUBLE_EQ(lakes.lake_elev[1], c.level);
    int under = 0;
    for (int k = 1; k <= 3; ++k) under += lakes.lake_mask[k] == 1;
    EXPECT_EQ(under, c.volume > 0.0 ? c.cells : 0);
    EXPECT_NE(out.find("Initial Water Surface Elevation Lake #1: " + std::to_string(c.level).substr(0, 5)),
              std::string::npos);
  }
  EXPECT_NE(out.find("The initial water surface elevation specified for lake 1 is below all overland cell"),
            std::string::npos);
}

TEST_F(ChannelLakes, SearchCellsRunTenPairsALineAndTheNextCardFollows) {
  auto w = row_of_cells(std::vector<double>(12, 99.0));
  std::string twelve = "NUMPTS 12\n";
  for (int c = 1; c <= 10; ++c) twelve += "1 " + std::to_string(c) + " ";
  twelve += "\n1 11 1 12\nMAXWSE 101.5\n";
  ASSERT_TRUE(build("INITWSE 100\n" + twelve, *w)) << err;
  EXPECT_EQ(lakes.chan_lake[1].search_cell.size(), 12u);
  EXPECT_EQ(lakes.chan_lake[1].maxwse, 101.5);
  EXPECT_EQ(lakes.lake_cells[1], 12);
  // Ten pairs fill their line: the next line is a card again.
  lakes = lake_state{};
  std::string ten = "NUMPTS 10\n";
  for (int c = 1; c <= 10; ++c) ten += "1 " + std::to_string(c) + " ";
  ASSERT_TRUE(build("INITWSE 100\n" + ten + "\nMAXWSE 101.5\n", *w)) << err;
  EXPECT_EQ(lakes.chan_lake[1].search_cell.size(), 10u);
  EXPECT_EQ(lakes.chan_lake[1].maxwse, 101.5);
}

TEST_F(ChannelLakes, FaultsOfTheLakeCardsNameTheFile) {
  const struct {
    std::string cards;
    const char* message;
  } cases[] = {
      {"NUMPTS 1\n1 1\n", "the lake of link 1 in the channel input file net.cif has no INITWSE card"},
      {"INITWSE 100\n", "lists no cells (NUMPTS)"},
      {"INITWSE 100\nNUMPTS 2\n1 1\n", "line 17 of net.cif gives a lake cell's row no value"},
      {"INITWSE 100\nNUMPTS 1\n1 9\n", "lists the cell at row 1, column 9, which is outside the grid"},
      // Listed twice, the cell's water would count twice.
      {"INITWSE 100\nNUMPTS 3\n1 1 1 2 1 1\n",
       "lists the cell at row 1, column 1 twice (entries 1 and 3 of its NUMPTS list)"},
      {"INITWSE 100\nNUMPTS 1\n1 1\nNUMRATE 2\n99 10 0\n100 5 1\n", "rise in elevation and in volume"},
      {"INITWSE nan\nNUMPTS 1\n1 1\n", "gives the initial water surface \"nan\""},
      {"INITWSE 105\nNUMPTS 1\n1 1\nNUMRATE 2\n99 0 0\n100 10 10\n", "lies outside its rating curve"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cards);
    lakes = lake_state{};
    auto w = row_of_cells({99.0, 99.5, 100.0});
    EXPECT_FALSE(build(c.cards, *w));
    EXPECT_NE((out + err).find(c.message), std::string::npos) << out << err;
    EXPECT_TRUE(stopped());
    reset_process_state();
  }
}

TEST(LakeRating, LinesBetweenRowsAndTheEndRowsBeyondTheTable) {
  const std::vector<double> x = {1.0, 2.0, 4.0}, y = {10.0, 20.0, 60.0};
  const struct {
    double x, y;
    bool outside;
  } cases[] = {{2.0, 20.0, false}, {3.0, 40.0, false}, {1.0, 10.0, false}, {4.0, 60.0, false},
               {0.5, 10.0, true},  {9.0, 60.0, true}};
  for (const auto& c : cases) {
    const rating_value v = lake_rating_lookup(c.x, x, y);
    EXPECT_DOUBLE_EQ(v.y, c.y) << c.x;
    EXPECT_EQ(v.outside, c.outside) << c.x;
  }
}

// The water of the lake and of the overland cells, m3.
double lake_and_cells(const lake_state& lakes, const overland_cells& w) {
  double v = 0.0;
  for (int L = 1; L <= lakes.num_lakes; ++L) v += lakes.lake_volume[L];
  for (int c = 1; c <= w.grid.ncells; ++c) v += w.overland.ov_depth[c] * 900.0;
  return v;
}

TEST_F(ChannelLakes, AFlatPoolFillsAndSpillsOverItsCellsKeepingItsWater) {
  // Grounds from 99 m up in steps of 0.5 m; the lake starts over the first.
  auto w = row_of_cells({99.0, 99.5, 100.0, 100.5, 101.0});
  ASSERT_TRUE(build("INITWSE 99.2\nNUMPTS 5\n1 5 1 4 1 3 1 2 1 1\n", *w)) << err;
  ASSERT_EQ(lakes.lake_cells[1], 1);
  for (int c = 2; c <= 5; ++c) w->overland.ov_depth[c] = 0.01 * c;
  const double water = lake_and_cells(lakes, *w);
  // The lake fills from its channel, cell by cell, and drains again.
  double taken = 0.0;
  for (double dv : {500.0, 900.0, 1500.0, -400.0, -2000.0, 4000.0, -3200.0}) {
    SCOPED_TRACE(dv);
    lakes.lake_volume[1] += dv;
    const double before = lake_and_cells(lakes, *w);
    const lake_update_books b = update(*w);
    ASSERT_TRUE(b.ok);
    taken += b.taken_from_cells;
    EXPECT_NEAR(lake_and_cells(lakes, *w), before, 1e-9 * before);
    // A flat pool: its cells hold its volume between its level and their
    // ground, and every cell under it stands below its level.
    double held = 0.0;
    int cells = 0;
    for (int c = 1; c <= 5; ++c) {
      if (lakes.lake_mask[c] != 1) continue;
      ++cells;
      held += (lakes.lake_elev[1] - w->grid.elevation[c]) * 900.0;
      EXPECT_EQ(w->overland.ov_depth[c], 0.0);
    }
    EXPECT_EQ(cells, lakes.lake_cells[1]);
    EXPECT_NEAR(held, lakes.lake_volume[1], 1e-9 * (1.0 + lakes.lake_volume[1]));
    EXPECT_DOUBLE_EQ(lakes.lake_area[1], cells * 900.0);
  }
  EXPECT_NEAR(lake_and_cells(lakes, *w), water + 500.0 + 900.0 + 1500.0 - 400.0 - 2000.0 + 4000.0 - 3200.0,
              1e-9 * water);
  // The cells' water became lake water once, as the cells joined.
  EXPECT_NEAR(taken, (0.02 + 0.03 + 0.04 + 0.05) * 900.0, 1e-12);
  EXPECT_NE(out.find("Lake 1 is taking cell 2 with depth 0.020000\n"), std::string::npos);
  EXPECT_NE(out.find("Removing cell 5 from lake\n"), std::string::npos);
  EXPECT_NE(out.find("Warning: Lake #1 has reached your specified maximum areal extent\n"), std::string::npos);
}

TEST_F(ChannelLakes, ARatedLakeTakesItsLevelAndAreaFromTheCurveAndWarnsBeyondIt) {
  auto w = row_of_cells({99.0, 99.5, 100.0});
  ASSERT_TRUE(build("INITWSE 99.2\nNUMPTS 3\n1 1 1 2 1 3\nNUMRATE 3\n99.0 0 0\n100.0 2000 2500\n"
                    "101.0 5000 3500\n",
                    *w))
      << err;
  EXPECT_EQ(lakes.lake_cells[1], 1);
  lakes.lake_volume[1] = 3500.0;  // half way up the second row
  ASSERT_TRUE(update(*w).ok);
  EXPECT_DOUBLE_EQ(lakes.lake_elev[1], 100.5);
  EXPECT_DOUBLE_EQ(lakes.lake_area[1], 3000.0);
  EXPECT_EQ(lakes.lake_cells[1], 3);
  lakes.lake_volume[1] = 400.0;
  ASSERT_TRUE(update(*w).ok);
  EXPECT_DOUBLE_EQ(lakes.lake_elev[1], 99.2);
  EXPECT_EQ(lakes.lake_cells[1], 1);
  EXPECT_NE(out.find("Removing cell 3 from lake 1 \n"), std::string::npos);
  // Beyond the curve: the end row, with one warning.
  lakes.lake_volume[1] = 6000.0;
  ASSERT_TRUE(update(*w).ok);
  ASSERT_TRUE(update(*w).ok);
  EXPECT_DOUBLE_EQ(lakes.lake_elev[1], 101.0);
  EXPECT_DOUBLE_EQ(lakes.lake_area[1], 3500.0);
  EXPECT_DOUBLE_EQ(lakes.lake_volume[1], 6000.0);  // the water stays whole
  const std::size_t first = out.find("Warning: the rating curve of lake 1 ends at 5000.00");
  EXPECT_NE(first, std::string::npos) << out;
  EXPECT_EQ(out.find("Warning: the rating curve", first + 1), std::string::npos);
}

TEST_F(ChannelLakes, TwoLakesThatMeetStopTheRun) {
  auto w = row_of_cells({99.0, 99.5, 100.0});
  ASSERT_TRUE(read(chan_file(2, 2, "CONNECT 1 2 0\nCONNECT 2 0 1 1\n"
                                   "LINK 1\nLAKE\nNODES 2\nINITWSE 99.2\nNUMPTS 2\n1 1 1 2\n"
                                   "LINK 2\nLAKE\nNODES 2\nINITWSE 99.7\nNUMPTS 2\n1 2 1 3\n")))
      << err;
  ASSERT_TRUE(init_channel_lakes(lakes, w->grid, "net.cif")) << err;
  EXPECT_EQ(lakes.lake_mask[2], 2);
  lakes.lake_volume[1] += 2000.0;
  EXPECT_FALSE(update(*w).ok);
  EXPECT_NE(out.find("Your lake has potentially merged with another lake.....\n"), std::string::npos);
  EXPECT_TRUE(stopped());
}

// Seepage through a lake bed 0.5 m thick by Darcy's law, q = K dh / M, over
// cells at 99, 99.5 and 100 m under a flat pool at 100.5 m (a fourth cell
// at 101 m stays dry); cell 2's soil conducts twice as fast (2e-6 m/s).
TEST_F(ChannelLakes, LakeBedsSeepByDarcysLawThroughTheirThickness) {
  const double K[] = {0.0, 1e-6, 2e-6, 1e-6, 1e-6};
  const struct {
    const char* what;
    bool table;
    double water_table[4], bottom[4];
    int gwbound[4];
    double q[4];  // m/s, up into the lake
  } cases[] = {
      // Without a water table the lake leaks at its own depth: K (L - z) / M.
      {"no table", false, {}, {}, {}, {-1.5e-6 / 0.5, -1.0 * 2e-6 / 0.5, -0.5e-6 / 0.5, 0.0}},
      // A table above the ground joins the lake: K (table - L) / M, up where
      // it stands above the lake, down where below; a table under the
      // ground leaves the lake leaking at its depth.
      {"table", true, {102.0, 100.0, 99.0, 105.0}, {90.0, 90.0, 90.0, 90.0}, {0, 0, 0, 0},
       {1.5e-6 / 0.5, -0.5 * 2e-6 / 0.5, -0.5e-6 / 0.5, 0.0}},
      // A held head does not seep; an aquifer within 0.01 m of its bottom is
      // not joined to the lake, which leaks while its level stands above
      // the bottom (cell 2) and not when it does not (cell 1).
      {"held and dry", true, {102.0, 100.0, 100.8, 105.0}, {101.995, 99.995, 90.0, 90.0}, {0, 0, 2, 0},
       {0.0, -1.0 * 2e-6 / 0.5, 0.0, 0.0}},
  };
  auto w = row_of_cells({99.0, 99.5, 100.0, 101.0});
  ASSERT_TRUE(build("INITWSE 100.5\nMLAKE 0.5\nNUMPTS 4\n1 1 1 2 1 3 1 4\n", *w)) << err;
  ASSERT_TRUE(lakes.chan_lake[1].calc_loss);
  ASSERT_EQ(lakes.lake_cells[1], 3);
  ASSERT_NEAR(lakes.lake_volume[1], (1.5 + 1.0 + 0.5) * 900.0, 1e-9);
  lakes.lake_cell_seepage.alloc(4);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    lakes.lake_volume[1] = 2700.0;
    lake_bed_ground g;
    g.conductivity = K;
    double table[5] = {}, bottom[5] = {}, source[5] = {};
    int bound[5] = {};
    for (int c = 1; c <= 4; ++c) {
      table[c] = k.water_table[c - 1];
      bottom[c] = k.bottom[c - 1];
      bound[c] = k.gwbound[c - 1];
    }
    if (k.table) {
      g.water_table = table;
      g.bottom = bottom;
      g.gwbound = bound;
    }
    g.lake_source = source;
    lake_seepage_rates(lakes, w->grid, g);
    double net = 0.0;
    for (int c = 1; c <= 4; ++c) {
      EXPECT_NEAR(lakes.lake_cell_seepage[c], k.q[c - 1], 1e-18) << c;
      net += k.q[c - 1] * 900.0 * 600.0;
    }
    // Ten minutes of it: each cell's volume goes to the aquifer's books of
    // that cell, and the lake keeps the rest.
    const double before = lakes.lake_volume[1];
    const lake_seepage_books b = lake_bed_seepage(lakes, w->grid, g, 600.0);
    EXPECT_NEAR(lakes.lake_volume[1] - before, net, 1e-9);
    EXPECT_NEAR(b.from_aquifer - b.to_aquifer, net, 1e-9);
    for (int c = 1; c <= 4; ++c) EXPECT_NEAR(source[c], k.q[c - 1] * 900.0 * 600.0, 1e-12) << c;
  }
}

TEST_F(ChannelLakes, ALakeBedGivesTheGroundNoMoreThanTheLakeHolds) {
  auto w = row_of_cells({99.0, 99.5, 100.0});
  ASSERT_TRUE(build("INITWSE 100.5\nMLAKE 0.5\nNUMPTS 3\n1 1 1 2 1 3\n", *w)) << err;
  const double K[] = {0.0, 1e-3, 1e-3, 1e-3};
  double source[4] = {};
  lakes.lake_cell_seepage.alloc(3);
  lake_bed_ground g;
  g.conductivity = K;
  g.lake_source = source;
  lake_seepage_rates(lakes, w->grid, g);
  // A day at 3, 2 and 1 mm/s would take far more than the 2700 m3 held:
  // the lake gives all it has, each cell in proportion to its rate.
  const lake_seepage_books b = lake_bed_seepage(lakes, w->grid, g, 86400.0);
  EXPECT_NEAR(b.to_aquifer, 2700.0, 1e-9);
  EXPECT_EQ(b.from_aquifer, 0.0);
  EXPECT_NEAR(lakes.lake_volume[1], 0.0, 1e-9);
  EXPECT_NEAR(source[1], -2700.0 * 3.0 / 6.0, 1e-9);
  EXPECT_NEAR(source[3], -2700.0 * 1.0 / 6.0, 1e-9);
  // An empty lake gives nothing more.
  EXPECT_NEAR(lake_bed_seepage(lakes, w->grid, g, 600.0).to_aquifer, 0.0, 1e-9);
}

TEST_F(ChannelLakes, CellsUnderASeepingLakeAreLakeCellsOfTheAquiferWhileItCoversThem) {
  auto w = row_of_cells({99.0, 99.5, 100.0, 101.0});
  ASSERT_TRUE(build("INITWSE 100.5\nMLAKE 0.5\nNUMPTS 4\n1 1 1 2 1 3 1 4\n", *w)) << err;
  // A river cell and a plain cell become lake cells; a held head keeps its
  // code; the dry cell keeps its own.
  int bound[5] = {0, 4, 0, 2, 6};
  follow_lake_beds(lakes, bound, 4);
  EXPECT_EQ(bound[1], 7);
  EXPECT_EQ(bound[2], 7);
  EXPECT_EQ(bound[3], 2);
  EXPECT_EQ(bound[4], 6);
  // The lake falls off cells 2 and 3, which get their codes back, and
  // rises over all four again.
  lakes.lake_volume[1] = 100.0;
  ASSERT_TRUE(update(*w).ok);
  ASSERT_EQ(lakes.lake_cells[1], 1);
  follow_lake_beds(lakes, bound, 4);
  EXPECT_EQ(bound[1], 7);
  EXPECT_EQ(bound[2], 0);
  EXPECT_EQ(bound[3], 2);
  lakes.lake_volume[1] = 20000.0;
  ASSERT_TRUE(update(*w).ok);
  follow_lake_beds(lakes, bound, 4);
  EXPECT_EQ(bound[2], 7);
  EXPECT_EQ(bound[4], 7);
  // A head held since (an XY point) stays held when the lake leaves.
  bound[2] = 8;
  lakes.lake_volume[1] = 100.0;
  ASSERT_TRUE(update(*w).ok);
  follow_lake_beds(lakes, bound, 4);
  EXPECT_EQ(bound[4], 6);
  EXPECT_EQ(bound[2], 8);
}

TEST(LakeEvaporation, OpenWaterLosesByWindWarmthAndDryAirAtMostItsVolume) {
  // 1 km2 at 20 deg C, 3 m/s, 50 %: es = 6.11 exp(17.3 x 20 / 257.3) mb.
  const double es = 6.11 * std::exp(17.3 * 20.0 / 257.3);
  const double e = 0.000169 * (3.0 * 86.4) * 0.5 * es / 24.0 * 1e6 / 100.0;
  EXPECT_NEAR(open_water_evaporation(1e6, 3.0, 20.0, 50.0), e, 1e-12 * e);
  EXPECT_EQ(open_water_evaporation(1e6, 3.0, 20.0, 100.0), 0.0);
  lake_state lakes;
  lakes.chan_lakes = 1;
  lakes.num_lakes = 2;
  for (auto* a : {&lakes.lake_volume, &lakes.lake_area, &lakes.cumulative_lake_evap}) a->alloc(2);
  lakes.lake_area[1] = lakes.lake_area[2] = 1e6;
  lakes.lake_volume[1] = 1e5;
  lakes.lake_volume[2] = 0.5 * e;  // less than the air takes
  const double lost = lake_evaporation(lakes, 3.0, 20.0, 50.0);
  EXPECT_NEAR(lost, 1.5 * e, 1e-12 * e);
  EXPECT_NEAR(lakes.lake_volume[1], 1e5 - e, 1e-9);
  EXPECT_EQ(lakes.lake_volume[2], 0.0);
  EXPECT_NEAR(lakes.cumulative_lake_evap[1] + lakes.cumulative_lake_evap[2], lost, 1e-12);
}

// ---- Overland lakes.

// A lake of the cells listed (all in its drawn extent) at a level.
void add_overland_lake(overland_cells& w, const std::vector<int>& cells, double level) {
  lake_state& l = w.lake;
  l.overland_lake_map_given = 1;
  l.num_olakes = 1;
  l.oland_lake_mask.alloc(w.grid.ncells);
  l.oland_lake_new.alloc(w.grid.ncells);
  for (int c : cells) l.oland_lake_mask[c] = l.oland_lake_new[c] = 1;
  l.olake_table.alloc(1);
  olake_record& r = l.olake_table[1];
  r.value[olake_value::level] = r.value[olake_value::initial_level] = level;
  r.cell_count = static_cast<int>(cells.size());
  r.value[olake_value::volume] = overland_lake_water(l, w.grid, 1);
  prepare_overland_lakes(l, w.grid.ncells);
}

double surface_water(const overland_cells& w) {
  double v = 0.0;
  for (int c = 1; c <= w.grid.ncells; ++c)
    if (!lake_cell(w.lake.oland_lake_new[c])) v += w.overland.ov_depth[c] * w.grid.grid_size * w.grid.grid_size;
  return v;
}

// A lake in the middle of a row of cells whose grounds rise away from it.
std::unique_ptr<overland_cells> lake_valley() {
  auto w = row_of_cells({100.3, 100.1, 100.0, 99.0, 100.00005, 100.2, 100.4});
  add_overland_lake(*w, {4}, 99.5);
  return w;
}

TEST(OverlandLakes, ARisingLakeFloodsItsLowestNeighboursFirstAndKeepsTheWater) {
  auto w = lake_valley();
  lake_state& l = w->lake;
  w->overland.ov_depth[2] = 0.01;
  // 0.5 m over one cell brings the level to 100.0; the two neighbours at
  // 100.0 and 100.00005 join as one group, then the lake rises over three.
  const double A = 900.0;
  const double V = 0.5 * A + 0.06 * 3 * A;
  const double before = overland_lake_water(l, w->grid, 1) + surface_water(*w);
  l.olake_table[1].value[olake_value::exchange] = V;
  const olake_books b = olake_extent(l, w->grid, w->overland.ov_depth.data(), nullptr);
  EXPECT_EQ(l.olake_table[1].cell_count, 3);
  EXPECT_EQ(l.oland_lake_new[3], 1);
  EXPECT_EQ(l.oland_lake_new[5], 1);
  EXPECT_EQ(l.oland_lake_new[2], 0);  // no neighbour of the lake before the update
  // Level: 100.0 + (what is left, with what the higher group member held
  // above 100.0) over three cells.
  EXPECT_NEAR(l.olake_table[1].value[olake_value::level], 100.0 + (0.06 * 3 * A + 0.00005 * A) / (3 * A), 1e-12);
  EXPECT_NEAR(overland_lake_water(l, w->grid, 1) + surface_water(*w), before + V, 1e-9 * before);
  EXPECT_NEAR(l.olake_table[1].value[olake_value::volume], overland_lake_water(l, w->grid, 1), 1e-9);
  EXPECT_NEAR(b.inflow, V, 1e-12);
  EXPECT_EQ(b.outflow, 0.0);
  EXPECT_EQ(l.olake_table[1].value[olake_value::exchange], 0.0);
}

TEST(OverlandLakes, AFallingLakeGivesUpItsHighestCellsAndStopsAtItsInitialLevel) {
  auto w = lake_valley();
  lake_state& l = w->lake;
  // With 1350 m3 in fifteen updates the lake's 1800 m3 rise over the cells
  // at 100.0, 100.00005, 100.1 and 100.2 to 5 L - 499.30005 = 2 m,
  // L = 100.26001.
  for (int k = 0; k < 15; ++k) {
    l.olake_table[1].value[olake_value::exchange] = 90.0;
    olake_extent(l, w->grid, w->overland.ov_depth.data(), nullptr);
  }
  ASSERT_EQ(l.olake_table[1].cell_count, 5);
  ASSERT_NEAR(l.olake_table[1].value[olake_value::level], 501.30005 / 5.0, 1e-9);
  const double start = overland_lake_water(l, w->grid, 1) + surface_water(*w);
  double shortfall = 0.0, drained = 0.0;
  for (double v : {-300.0, -400.0, -5000.0}) {
    l.olake_table[1].value[olake_value::exchange] = v;
    const olake_books b = olake_extent(l, w->grid, w->overland.ov_depth.data(), nullptr);
    shortfall += b.shortfall;
    drained += v;
    // The lake's water and the cells' water keep what was drained and
    // what the shortfall made up.
    EXPECT_NEAR(overland_lake_water(l, w->grid, 1) + surface_water(*w), start + drained + shortfall, 1e-9 * start);
    EXPECT_NEAR(l.olake_table[1].value[olake_value::volume], overland_lake_water(l, w->grid, 1), 1e-9);
    for (int c = 1; c <= 7; ++c)
      if (l.oland_lake_new[c]) {
        EXPECT_LE(w->grid.elevation[c], l.olake_table[1].value[olake_value::level]) << c;
      }
  }
  // The last drain went below the initial level: the lake holds there over
  // its drawn cell, and the overdraw is the shortfall.
  EXPECT_EQ(l.olake_table[1].value[olake_value::level], 99.5);
  EXPECT_EQ(l.olake_table[1].cell_count, 1);
  EXPECT_GT(shortfall, 0.0);
  // The cells that left keep the water over their ground.
  for (int c : {3, 5, 6, 2}) EXPECT_GE(w->overland.ov_depth[c], 0.0);
}

TEST(OverlandLakes, AChangeBelowATenthOfANanometreWaitsForMoreWater) {
  auto w = lake_valley();
  lake_state& l = w->lake;
  l.olake_table[1].value[olake_value::exchange] = 1e-11;
  const olake_books b = olake_extent(l, w->grid, w->overland.ov_depth.data(), nullptr);
  EXPECT_EQ(l.olake_table[1].value[olake_value::level], 99.5);
  EXPECT_EQ(l.olake_table[1].value[olake_value::exchange], 1e-11);  // kept for the next update
  EXPECT_EQ(b.inflow, 0.0);
}

}  // namespace
}  // namespace nivra
