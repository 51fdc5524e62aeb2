// Elevation series: blocks among comment lines, a series of one pair,
// interpolation and step lookup by hand, binding by the beginning of a
// name, the faults of a file, and a run that never sees the series of an
// earlier run.
#include <gtest/gtest.h>

#include <string>

#include "core/elevation_series.h"
#include "core/process.h"
#include "model/model_state.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using testing::write_file;

class ElevationSeries : public testing::process_test {
 protected:
  bool read(const std::string& text) {
    write_file("es.txt", text);
    ::testing::internal::CaptureStdout();
    const bool ok = read_elev_series_file("es.txt");
    out = ::testing::internal::GetCapturedStdout();
    return ok;
  }
  std::string out;
};

constexpr const char* three_blocks =
    "Ratings of the Mill Creek structures\n"
    "NIVRA_ES\n"
    "\"spillway rating\"\n"
    "100.0 0.0\n"
    "101.0 2.0\n"
    "101.0 3.0\n"
    "103.0 7.0\n"
    "END_ES\n"
    "# the pump of the polder, lifting 0.4 m3/s whatever the depth\n"
    "NIVRA_ES\n"
    "pump\n"
    "0.0 0.4\n"
    "END_ES\n"
    "END_ES lines between blocks are skipped like any other text\n"
    "NIVRA_ES\n"
    "spill\n"
    "0 0\n"
    "1 1\n"
    "END_ES\n";

TEST_F(ElevationSeries, BlocksAmongOtherLinesAreReadInOrder) {
  ASSERT_TRUE(read(three_blocks)) << out;
  EXPECT_EQ(out, "3 elevation series read from file es.txt\n");
  ASSERT_EQ(process.es_list.size(), 3u);
  const elevation_series& s = *process.es_list[0];
  EXPECT_EQ(s.name, "spillway rating");
  EXPECT_EQ(s.count, 4);
  EXPECT_EQ(process.es_list[1]->name, "pump");
  EXPECT_EQ(process.es_list[1]->count, 1);
  EXPECT_EQ(elev_series_index("pump"), 2);
  EXPECT_EQ(elev_series_number(3), process.es_list[2].get());
  EXPECT_EQ(elev_series_number(4), nullptr);
}

TEST_F(ElevationSeries, InterpolationAndStepLookupByHand) {
  ASSERT_TRUE(read(three_blocks)) << out;
  const elevation_series* s = find_elev_series("spillway");
  ASSERT_NE(s, nullptr);
  const struct {
    double x, interp, step;
  } cases[] = {
      {99.0, 0.0, 0.0},    // below the first x: the first y
      {100.0, 0.0, 0.0},
      {100.25, 0.5, 0.0},  // a quarter of the way from 0 to 2
      // At an inner break-point the interval that starts before it holds:
      // the interpolation gives y there, the step the y below it.
      {101.0, 2.0, 0.0},
      {102.0, 5.0, 3.0},   // halfway from 3 to 7 past the step at 101
      {103.0, 7.0, 7.0},
      {250.0, 7.0, 7.0},   // above the last x: the last y
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(elev_series_interp(c.x, s), c.interp) << c.x;
    EXPECT_DOUBLE_EQ(elev_series_step(c.x, s), c.step) << c.x;
  }
  // A series of one pair gives its y everywhere.
  const elevation_series* pump = find_elev_series("pump");
  for (double x : {-5.0, 0.0, 3.0}) {
    EXPECT_EQ(elev_series_interp(x, pump), 0.4);
    EXPECT_EQ(elev_series_step(x, pump), 0.4);
  }
  EXPECT_EQ(process.error_block.stop, 0);
}

TEST_F(ElevationSeries, ANameBindsTheFirstSeriesItBegins) {
  ASSERT_TRUE(read(three_blocks)) << out;
  // "spill" begins "spillway rating", which comes first.
  EXPECT_EQ(find_elev_series("spill"), process.es_list[0].get());
  EXPECT_EQ(find_elev_series("spill")->name, "spillway rating");
  EXPECT_EQ(find_elev_series("Spill"), nullptr);  // case matters
  EXPECT_EQ(find_elev_series("pumps"), nullptr);
  EXPECT_EQ(elev_series_index("weir"), 0);
}

TEST_F(ElevationSeries, LookupsOnNoSeriesOrAnEmptyOneStopTheRun) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(elev_series_interp(1.0, nullptr), 0.0);
  const std::string none = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(none.find("Error: attempting to extract a value from an elevation series that does not exist."),
            std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
  reset_process_state();
  // The reader refuses a series without pairs; one made otherwise is still
  // refused where it is looked up.
  new_elev_series()->name = "empty";
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(elev_series_step(1.0, find_elev_series("empty")), 0.0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "Error: attempting to extract a value from an elevation series [empty] with no entries."),
            std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(ElevationSeries, FaultsOfTheFileStopTheRunNamingTheLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      // The file ends inside a block: no END_ES.
      {"NIVRA_ES\nweir\n1 2\n3 4\n",
       "Error: the elevation series [weir] that begins at line 1 of the file es.txt has no END_ES line"},
      {"\nNIVRA_ES\nweir\n1 2\n3 four\nEND_ES\n",
       "Error: line 5 of the elevation series file es.txt (series [weir]) is not a pair of numbers x y"},
      {"NIVRA_ES\nweir\n1 2\n3\nEND_ES\n", "line 4 of the elevation series file es.txt (series [weir]) is not a pair"},
      {"NIVRA_ES\nweir\n1 2 3\nEND_ES\n", "line 3 of the elevation series file es.txt (series [weir]) is not a pair"},
      {"NIVRA_ES\nweir\n1 2\nnan 3\nEND_ES\n", "line 4 of the elevation series file es.txt"},
      {"NIVRA_ES\nweir\n2 2\n1 3\nEND_ES\n",
       "line 4 of the elevation series file es.txt (series [weir]) gives x = 1 after 2: the x values of a series "
       "rise"},
      // A series without a name or a pair, a file without a series.
      {"NIVRA_ES\n\n1 2\nEND_ES\n",
       "Error: line 2 of the elevation series file es.txt, after the NIVRA_ES of line 1, gives no name of a series.\n"},
      {"NIVRA_ES\nweir\nEND_ES\n",
       "Error: the elevation series [weir] that begins at line 1 of the file es.txt holds no pair before its END_ES at "
       "line 3.\n"},
      {"# the rating of the weir\n", "Error: the elevation series file es.txt holds no series: each begins with a "
                                     "NIVRA_ES line.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset_process_state();
    EXPECT_FALSE(read(c.text));
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(process.error_block.stop, 1);
  }
  reset_process_state();
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(read_elev_series_file("missing.txt"));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Error: Elevation series file not found [missing.txt]"),
            std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(ElevationSeries, TheSeriesOfARunGoWithItsRecord) {
  {
    auto ms = make_model_state();
    ASSERT_TRUE(read(three_blocks));
    EXPECT_EQ(process.es_list.size(), 3u);
  }
  // The next run reads its own file from an empty list.
  EXPECT_TRUE(process.es_list.empty());
  EXPECT_EQ(find_elev_series("pump"), nullptr);
}

}  // namespace
}  // namespace nivra
