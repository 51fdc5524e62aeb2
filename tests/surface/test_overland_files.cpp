// The overland lake file and the low-spot file: what they store, the lines
// they skip, and their messages.
#include <gtest/gtest.h>

#include <string>

#include "core/guarded_file.h"
#include "core/process.h"
#include "support/test_support.h"
#include "surface/overland.h"

namespace nivra::testing {
namespace {

class overland_files : public process_test {
 protected:
  // Reads a lake file of the given text for the given number of lakes.
  bool read_lakes(const std::string& text, int lakes) {
    write_file("lakes.txt", text);
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, "lakes.txt", "r"));
    table.alloc(lakes);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const bool ok = read_lake_file(f, 1, lakes, table);
    out = ::testing::internal::GetCapturedStdout();
    err = ::testing::internal::GetCapturedStderr();
    return ok;
  }
  bool read_spots(const std::string& text) {
    write_file("spots.txt", text);
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, "spots.txt", "r"));
    ::testing::internal::CaptureStderr();
    const bool ok = read_lowspot_file(f, "spots.txt", count, spots);
    err = ::testing::internal::GetCapturedStderr();
    return ok;
  }
  array1d<olake_record> table;
  array1d<lowspot> spots;
  int count = -1;
  std::string out, err;
};

TEST_F(overland_files, lake_file_stores_level_and_volume_per_lake) {
  ASSERT_TRUE(read_lakes(
      "NIVRA_OVERLAND_LAKE_FILE\n"
      "\n"
      "# two lakes\n"
      "lake 2 101.25 3000\n"
      "Lake,1,\t99.5,1500.5\r\n",
      2));
  EXPECT_EQ(table[1].value[0], 99.5);
  EXPECT_EQ(table[1].value[1], 99.5);
  EXPECT_EQ(table[1].value[3], 1500.5);
  EXPECT_EQ(table[2].value[0], 101.25);
  EXPECT_EQ(table[2].value[3], 3000.0);
  EXPECT_EQ(table[2].value[4], 0.0);
  EXPECT_EQ(out, "1   Elev: 101.25   Volume: 3000.00\n2   Elev: 99.50   Volume: 1500.50\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(process.error_block.code, 0);
}

TEST_F(overland_files, lake_file_headers_pass_as_leading_parts_of_the_card) {
  EXPECT_TRUE(read_lakes("nivra_overland\nLAKE 1 10 20\n", 1));
  EXPECT_TRUE(read_lakes("\nLAKE 1 10 20\n", 1));
  EXPECT_FALSE(read_lakes("NIVRA_OVERLAND_LAKE_FILES\nLAKE 1 10 20\n", 1));
  EXPECT_EQ(err,
            "The overland lake input data file doesn't start with\n"
            " NIVRA_OVERLAND_LAKE_FILE card.\n"
            "The file format is invalid.  Program terminated.\n");
  EXPECT_EQ(process.error_block.stop, 1);  // reported at once
}

TEST_F(overland_files, lake_file_counts_and_checks_its_lake_cards) {
  // The same id twice would overwrite the first card and leave lake 2
  // without its level.
  EXPECT_FALSE(read_lakes("NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 10 20\nLAKE 1 11 21\n", 2));
  EXPECT_NE(err.find("Error: the LAKE card at line 3 of lakes.txt gives lake 1 a second time.\n"), std::string::npos)
      << err;
  reset_process_state();
  EXPECT_FALSE(read_lakes("NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 10 20\n", 2));
  EXPECT_EQ(err,
            "Incorrect number of LAKE cards in the overland lake input data file.\n"
            "Expected 2 LAKE cards, read 1\n"
            "Program terminated.\n");

  for (const char* text : {"NIVRA_OVERLAND_LAKE_FILE\n", "NIVRA_OVERLAND_LAKE_FILE\nSPOT 1 2 3\n\n"}) {
    reset_process_state();
    EXPECT_FALSE(read_lakes(text, 1));
    EXPECT_EQ(err,
              "Premature end-of-file in the overland lake input data file.\n"
              "No LAKE cards encountered before end of file.\n"
              "Program terminated.\n");
    EXPECT_EQ(process.error_block.stop, 1);  // reported at once
  }
}

TEST_F(overland_files, lake_file_rejects_a_lake_the_map_does_not_have) {
  for (int id : {0, 3}) {
    reset_process_state();
    const std::string text = "NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 10 20\nLAKE " + std::to_string(id) + " 11 21\n";
    EXPECT_FALSE(read_lakes(text, 2));
    EXPECT_EQ(err, "LAKE card with lake id " + std::to_string(id) +
                       " in the overland lake input data file.\n"
                       "The overland lake map holds lakes 1 to 2.  Program terminated.\n");
    EXPECT_EQ(process.error_block.stop, 1);  // reported at once
    EXPECT_EQ(table[1].value[0], 10.0);  // what was read before stays
    EXPECT_EQ(table[2].value[0], 0.0);
  }
}

TEST_F(overland_files, lowspot_file_reads_its_spot_cards_in_order) {
  ASSERT_TRUE(read_spots(
      "LOWSPOT\n"
      "spot 3 4 2 0.5 101.25\n"
      "\n"
      "NOTE these are the two notches\n"
      "SPOT,7,8,8,1.5,99\n"));
  ASSERT_EQ(count, 2);
  ASSERT_EQ(spots.size(), 2);
  EXPECT_EQ(spots[1].row, 3);
  EXPECT_EQ(spots[1].col, 4);
  EXPECT_EQ(spots[1].direction, 2);
  EXPECT_EQ(spots[1].grid_fraction, 0.5);
  EXPECT_EQ(spots[1].crest_elev, 101.25);
  EXPECT_EQ(spots[2].row, 7);
  EXPECT_EQ(spots[2].direction, 8);
  EXPECT_EQ(spots[2].grid_fraction, 1.5);
  EXPECT_EQ(spots[2].flow, 0.0);
  EXPECT_EQ(err, "");

  // Headers are leading parts of the card, an empty first line included;
  // a file without SPOT cards has no low spots and says nothing.
  EXPECT_TRUE(read_spots("LOW\nSPOT 1 1 4 1 2\n"));
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(read_spots("\nSPOT 1 1 4 1 2\n"));
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(read_spots("lowspot\n\nLAKE 1 2 3\n"));
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(spots.empty());
  EXPECT_EQ(err, "");
  EXPECT_EQ(process.error_block.code, 0);
}

TEST_F(overland_files, lowspot_file_messages) {
  EXPECT_FALSE(read_spots("LOWSPOTS\nSPOT 1 1 4 1 2\n"));
  EXPECT_EQ(err,
            "The lowspot input file: spots.txt does not start with the LOWSPOT card.\n"
            "The file format is invalid.  Program terminated.\n");
  EXPECT_EQ(process.error_block.stop, 1);  // reported at once

  reset_process_state();
  EXPECT_FALSE(read_spots("LOWSPOT\n"));
  EXPECT_EQ(err,
            "Premature end-of-file in the lowspot input file.\n"
            "No SPOT cards encountered before end of file.\n"
            "Program terminated.\n");
  EXPECT_EQ(process.error_block.stop, 1);  // reported at once
}

TEST(overland_card_words, are_cut_off_the_line_and_matched_in_any_case) {
  card_line line("Lake 3 1.5");
  EXPECT_EQ(lake_card_index(line), 0);
  EXPECT_EQ(line.rest(), "3 1.5");
  card_line spot("SPOTS 1");
  EXPECT_NE(lowspot_card_index(spot), 0);
  card_line spot2("sPoT");
  EXPECT_EQ(lowspot_card_index(spot2), 0);
}

}  // namespace
}  // namespace nivra::testing
