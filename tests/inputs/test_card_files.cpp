// The numbers on the cards of the low-spot file and the overland lake file:
// each is checked where it is read, and a fault is reported at once, naming
// the card, the file and the line, and stops the run.
#include <gtest/gtest.h>

#include <string>

#include "core/guarded_file.h"
#include "core/process.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

class CardFiles : public testing::process_test {};

struct number_case {
  const char* card;     // the second card line of the file
  const char* message;  // the start of the message; "" when the card is taken
};

TEST_F(CardFiles, LowSpotNumbers) {
  const number_case cases[] = {
      {"SPOT 4 3 4 0.5 99.20", ""},
      {"SPOT 4 3 4 1.5 -10999", ""},
      {"SPOT 4 3 4 0.5 nan",
       "Error: the SPOT card at line 3 of spots.txt gives the crest elevation \"nan\"; it takes a number "
       "from -11000 to 9000 (m).\n"},
      {"SPOT 4 3 4 0.5 1e308", "Error: the SPOT card at line 3 of spots.txt gives the crest elevation \"1e308\";"},
      {"SPOT 4 3 4 0.5", "Error: the SPOT card at line 3 of spots.txt gives the crest elevation no value;"},
      {"SPOT 4 3 4 inf 99.2",
       "Error: the SPOT card at line 3 of spots.txt gives the width as a fraction of the cell \"inf\"; it "
       "takes a number from 0 to 1.5.\n"},
      {"SPOT 4 3 4 -0.1 99.2", "Error: the SPOT card at line 3 of spots.txt gives the width as a fraction"},
      {"SPOT 4.5 3 4 0.5 99.2",
       "Error: the SPOT card at line 3 of spots.txt gives the row \"4.5\"; it takes a whole number.\n"},
      {"SPOT 4 x 4 0.5 99.2", "Error: the SPOT card at line 3 of spots.txt gives the column \"x\";"},
      {"SPOT 4 3 1e9 0.5 99.2", "Error: the SPOT card at line 3 of spots.txt gives the side \"1e9\";"},
  };
  for (const number_case& c : cases) {
    SCOPED_TRACE(c.card);
    reset_process_state();
    testing::write_file("spots.txt", std::string("LOWSPOT\nSPOT 1 1 8 0.25 100\n") + c.card + "\n");
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "spots.txt", "r"));
    int count = -1;
    array1d<lowspot> spots;
    CaptureStderr();
    CaptureStdout();
    const bool read = read_lowspot_file(f, "spots.txt", count, spots);
    GetCapturedStdout();
    const std::string err = GetCapturedStderr();
    if (*c.message) {
      EXPECT_FALSE(read);
      EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
      EXPECT_EQ(process.error_block.stop, 1);  // reported and stopped by the reader
      EXPECT_EQ(count, 0);
      EXPECT_TRUE(spots.empty());
    } else {
      EXPECT_TRUE(read);
      EXPECT_EQ(err, "");
      EXPECT_EQ(count, 2);
      EXPECT_EQ(process.error_block.stop, 0);
    }
  }
}

TEST_F(CardFiles, OverlandLakeNumbers) {
  const number_case cases[] = {
      {"LAKE 2 101.25 3000", ""},
      {"LAKE 2 101.25 0", ""},
      {"LAKE 2 nan 3000",
       "Error: the LAKE card at line 3 of lakes.txt gives the water level \"nan\"; it takes a number from "
       "-11000 to 9000 (m).\n"},
      {"LAKE 2 1e308 3000", "Error: the LAKE card at line 3 of lakes.txt gives the water level \"1e308\";"},
      {"LAKE 2 101.25 -5",
       "Error: the LAKE card at line 3 of lakes.txt gives the volume \"-5\"; it takes a number from 0 to "
       "1000000000000 (m3).\n"},
      {"LAKE 2 101.25", "Error: the LAKE card at line 3 of lakes.txt gives the volume no value;"},
      {"LAKE two 101.25 3000", "Error: the LAKE card at line 3 of lakes.txt gives the lake id \"two\"; it takes "
                               "a whole number.\n"},
  };
  for (const number_case& c : cases) {
    SCOPED_TRACE(c.card);
    reset_process_state();
    testing::write_file("lakes.txt", std::string("NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 99.5 10\n") + c.card + "\n");
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "lakes.txt", "r"));
    array1d<olake_record> table(2);
    CaptureStderr();
    CaptureStdout();
    const bool read = read_lake_file(f, 1, 2, table);
    GetCapturedStdout();
    const std::string err = GetCapturedStderr();
    if (*c.message) {
      EXPECT_FALSE(read);
      EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
      EXPECT_EQ(process.error_block.stop, 1);
    } else {
      EXPECT_TRUE(read);
      EXPECT_EQ(err, "");
      EXPECT_EQ(table[2].value[olake_value::level], 101.25);
    }
  }
}

}  // namespace
}  // namespace nivra
