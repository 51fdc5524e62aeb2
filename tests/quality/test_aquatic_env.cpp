// The aquatic environment file: header, map lines, NUM_IDS, id blocks
// into their slots, and each error with its message.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "quality/nsm/aquatic_env.h"
#include "support/test_support.h"

namespace nivra {
namespace {

// Ten value lines whose values are 100 x line + position.
std::string value_block(int first_line = 1) {
  const int counts[10] = {7, 7, 4, 4, 4, 4, 7, 7, 4, 4};
  std::string s;
  for (int l = 0; l < 10; ++l) {
    for (int k = 0; k < counts[l]; ++k) s += std::to_string(100 * (l + first_line) + k) + (k + 1 < counts[l] ? " " : "");
    s += "\n";
  }
  return s;
}

// A 2 x 2 grid whose cells 1..3 are active (the last position is outside).
class AquaticEnv : public testing::process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    grid.proj_rows = grid.rows = 2;
    grid.proj_cols = grid.cols = 2;
    grid.ncells = 3;
    grid.north = grid.east = 100.0;  // the watershed mask's edges, which the map's must match
    grid.mask.alloc(2, 2);
    grid.mask(1, 1) = 1;
    grid.mask(1, 2) = 2;
    grid.mask(2, 1) = 3;
    testing::write_file("ov.idx",
                        "north: 100\nsouth: 0\neast: 100\nwest: 0\nrows: 2\ncols: 2\n1 2\n2 0\n");
  }
  int read(const std::string& text) {
    testing::write_file("aq.env", text);
    p->file_name.assign("aq.env");
    ::testing::internal::CaptureStdout();
    read_aquatic_env(*p, grid, 1);
    console = ::testing::internal::GetCapturedStdout();
    return process.error_block.code;
  }
  grid_state grid;
  std::unique_ptr<nsm_part> p = std::make_unique<nsm_part>();
  std::string console;
};

TEST_F(AquaticEnv, TwoBlocksIntoTheirSlotsAndTheOverlandMap) {
  ASSERT_EQ(read("AQUATIC_ENV_NSM10 written by hand\nOV_MAP ov.idx\nST_MAP st.idx\nNUM_IDS 3\n"
                 "titles of the columns\n2\n" + value_block() + "\n1\nDEFAULT\n"),
            0)
      << console;
  EXPECT_EQ(p->ov_index_map.view(), "ov.idx");
  EXPECT_EQ(p->st_index_map.view(), "st.idx");
  EXPECT_EQ(p->num_ids, 3);
  ASSERT_EQ(p->params.count(), 3);
  const auto& r = p->params[2].slot;
  // line 1 -> slots 0, 2, .., 12; line 2 -> 1, 3, .., 13; lines 3/4 ->
  // 14..21 alternating; 5/6 -> 22..29; 7/8 -> 30..43; 9 -> 44..47;
  // 10 -> 48..51.
  EXPECT_EQ(r[0], 100);
  EXPECT_EQ(r[12], 106);
  EXPECT_EQ(r[1], 200);
  EXPECT_EQ(r[13], 206);
  EXPECT_EQ(r[14], 300);
  EXPECT_EQ(r[20], 303);
  EXPECT_EQ(r[15], 400);
  EXPECT_EQ(r[21], 403);
  EXPECT_EQ(r[22], 500);
  EXPECT_EQ(r[29], 603);
  EXPECT_EQ(r[30], 700);
  EXPECT_EQ(r[42], 706);
  EXPECT_EQ(r[43], 806);
  EXPECT_EQ(r[44], 900);
  EXPECT_EQ(r[47], 903);
  EXPECT_EQ(r[48], 1000);
  EXPECT_EQ(r[51], 1003);
  EXPECT_TRUE(p->params[2].given);
  EXPECT_TRUE(p->params[1].given);   // DEFAULT: the zero record
  EXPECT_EQ(p->params[1].slot[5], 0.0);
  EXPECT_FALSE(p->params[3].given);  // no block: zeros
  EXPECT_EQ(p->ncells, 3);
  EXPECT_EQ(p->ov_index[1], 1);
  EXPECT_EQ(p->ov_index[2], 2);
  EXPECT_EQ(p->ov_index[3], 2);
}

TEST_F(AquaticEnv, MapLinesInEitherOrderWithNumIdsBetween) {
  ASSERT_EQ(read("AQUATIC_ENV_NSM10\nST_MAP st.idx\nNUM_IDS 2\nOV_MAP ov.idx\n\n1\nDEFAULT\n2\nDEFAULT\n"), 0)
      << console;
  EXPECT_EQ(p->ov_index_map.view(), "ov.idx");
  EXPECT_EQ(p->st_index_map.view(), "st.idx");
  EXPECT_EQ(p->num_ids, 2);
}

TEST_F(AquaticEnv, NumberedErrorsWithTheirMessages) {
  EXPECT_EQ(read("AQUATIC_ENV_NSM1\nOV_MAP ov.idx\n"), 77);
  EXPECT_EQ(message_text(77),
            "Error: The header for the aquatic environment file is invalid or does not match \n the current "
            "version. \n The aquatic environment file specified is: aq.env\n The header should be : "
            "AQUATIC_ENV_NSM10");
  reset_process_state();
  EXPECT_EQ(read("aquatic_env_nsm10\n"), 77);
  reset_process_state();

  // An id beyond NUM_IDS: 78, the records before it stay.
  EXPECT_EQ(read("AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS 2\nx\n1\n" + value_block() + "3\nDEFAULT\n"), 78);
  EXPECT_EQ(message_text(78),
            "Error: An index [3] in the aquatic environment table is greater than the\nnumber of IDs specified [2]\n");
  EXPECT_EQ(p->params[1].slot[0], 100);
  reset_process_state();

  // Without NUM_IDS the table has no size: refused.
  p = std::make_unique<nsm_part>();
  EXPECT_EQ(read("AQUATIC_ENV_NSM10\nOV_MAP ov.idx\n1\nDEFAULT\n"), own_message_code);
  EXPECT_NE(console.find("Error: the aquatic environment file aq.env has no NUM_IDS line.\n"), std::string::npos);
  reset_process_state();

  // No OV_MAP line, or a map that is not there: 81.
  p = std::make_unique<nsm_part>();
  EXPECT_EQ(read("AQUATIC_ENV_NSM10\nNUM_IDS 1\nx\n1\nDEFAULT\n"), 81);
  EXPECT_EQ(message_text(81), "Error: Unable to open the overland Aquatic Environment map.\n");
  reset_process_state();
  p = std::make_unique<nsm_part>();
  EXPECT_EQ(read("AQUATIC_ENV_NSM10\nOV_MAP missing.idx\nNUM_IDS 1\nx\n1\nDEFAULT\n"), 81);
  reset_process_state();

  // The file itself missing: 76.
  p = std::make_unique<nsm_part>();
  p->file_name.assign("nothere.env");
  ::testing::internal::CaptureStdout();
  read_aquatic_env(*p, grid, 1);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(process.error_block.code, 76);
  EXPECT_EQ(message_text(76), "Error: unable to open the aquatic environment file nothere.env.\n");
}

// Faults the reader refuses with its own message naming the file and line.
TEST_F(AquaticEnv, RefusesBadBlocksNamingTheLine) {
  const std::string head = "AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS 2\ntitles\n";
  std::string short_line = value_block();
  short_line.replace(short_line.find("300 301 302 303"), 15, "300 301 302");
  std::string long_line = value_block();
  long_line.replace(long_line.find("900 901 902 903"), 15, "900 901 902 903 904");
  std::string not_number = value_block();
  not_number.replace(not_number.find("500"), 3, "5x0");
  std::string empty_inside = value_block();
  empty_inside.insert(empty_inside.find("300"), "\n");
  const struct {
    std::string body;
    const char* message;
  } rows[] = {
      {"0\nDEFAULT\n", "An index [0] in the aquatic environment table is below 1 (line 5 of aq.env)"},
      {"-1\nDEFAULT\n", "An index [-1] in the aquatic environment table is below 1 (line 5 of aq.env)"},
      {"1\n" + short_line, "the line holds fewer than 4 values on line 8"},
      {"1\n" + long_line, "the line holds more than 4 values on line 14"},
      {"1\n" + not_number, "\"5x0\" is not a finite number on line 10"},
      {"1\n" + empty_inside, "the line holds fewer than 4 values on line 8"},
      {"1\nDEFAULT\n1\nDEFAULT\n", "a second block for zone id 1 on line 7"},
      {"1.5\nDEFAULT\n", "a zone id (a whole number) is expected on line 5"},
      {"1\n", "the file ends after the zone id; its values are missing on line 5"},
      {"1\n100 101\n", "the line holds fewer than 7 values on line 6"},
      {"2\n" + value_block().substr(0, value_block().find("300")), "the file ends inside a block"},
  };
  for (const auto& r : rows) {
    reset_process_state();
    p = std::make_unique<nsm_part>();
    EXPECT_EQ(read(head + r.body), own_message_code) << r.message;
    EXPECT_NE(console.find(r.message), std::string::npos) << console;
  }
  const struct {
    std::string text;
    const char* message;
  } heads[] = {
      {"AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nOV_MAP other.idx\nNUM_IDS 1\nx\n", "a second OV_MAP line on line 3"},
      {"AQUATIC_ENV_NSM10\nOV_MAP\nNUM_IDS 1\nx\n", "OV_MAP without a map file name on line 2"},
      {"AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS two\nx\n", "NUM_IDS needs a whole number"},
      {"AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS -2\nx\n", "NUM_IDS needs a whole number"},
  };
  for (const auto& h : heads) {
    reset_process_state();
    p = std::make_unique<nsm_part>();
    EXPECT_EQ(read(h.text), own_message_code) << h.message;
    EXPECT_NE(console.find(h.message), std::string::npos) << console;
  }
}

TEST_F(AquaticEnv, RefusesAZoneOfTheMapWithoutARecord) {
  // The map gives zone 2 but the file has one id.
  EXPECT_EQ(read("AQUATIC_ENV_NSM10\nOV_MAP ov.idx\nNUM_IDS 1\nx\n1\nDEFAULT\n"), own_message_code);
  EXPECT_NE(console.find("the zone id 2 of cell 2 in the overland aquatic environment map ov.idx lies outside "
                         "the ids 1..1"),
            std::string::npos)
      << console;
}

}  // namespace
}  // namespace nivra
