#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class ErrorReporter : public testing::process_test {};

std::string report(int code) {
  process.error_block.code = code;
  CaptureStdout();
  report_error();
  return GetCapturedStdout();
}

TEST_F(ErrorReporter, FileOpenMessageSplicesRoleAndName) {
  set_error(4, "hydrograph location", "out%s%d.dat");
  EXPECT_EQ(report(4),
            "\nError: Unable to open hydrograph location file.\n  (File: out%s%d.dat)\n");
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(process.error_block.code, 0);
}

TEST_F(ErrorReporter, MessagesWithArguments) {
  struct row {
    int code;
    const char* str1;
    const char* str2;
    int int1, int2;
    const char* text;
  } rows[] = {
      {71, "", "soil.idx", 3, 17, "Index ID exceeds table limit, file: soil.idx [row 3:col 17]\n"},
      {73, "", "mask.asc", 0, 0, "Incorrect number of rows in map: mask.asc\n"},
      {48, "points.txt", "theta.out (out_theta_location_file)", 0, 0,
       "Error: Can't open theta location output file: theta.out (out_theta_location_file)\nYou "
       "specify the name of the output file which will contain the soil moisture\nordinates at the "
       "points specified in the file points.txt\nThis is done by using the OUT_THETA_LOCATION card "
       "in the project file.\n"},
      {77, "NIVRA_AQUATIC_ENV", "aq.txt", 0, 0,
       "Error: The header for the aquatic environment file is invalid or does not match \n the "
       "current version. \n The aquatic environment file specified is: aq.txt\n The header should "
       "be : NIVRA_AQUATIC_ENV"},
      {85, "", "", 0, 0,
       "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE "
       "\"elev series name\"\nThe elevation series is missing\n"},
      {24, "", "", 0, 0,
       "Error: tomatal resistance values not specified for Penman-Montieth long term "
       "simulation.\n Check project file.\n"},
  };
  for (const auto& r : rows) {
    set_error(r.code, r.str1, r.str2, r.int1, r.int2);
    EXPECT_EQ(message_text(r.code), r.text) << r.code;
  }
}

TEST_F(ErrorReporter, WarningsClearTheStopFlag) {
  for (int code : {14, 16, 17, 39, 41, 55, 95, 96}) {
    std::string out = report(code);
    EXPECT_GT(out.size(), 1u) << code;
    EXPECT_EQ(process.error_block.stop, 0) << code;
  }
  report(52);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(ErrorReporter, OwnTextCodesPrintOnlyABlankLine) {
  for (int code : {4000, 129, 137, 5000}) {
    process.error_block.stop = 0;
    EXPECT_EQ(report(code), "\n") << code;
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_EQ(process.error_block.code, 0);
  }
}

TEST_F(ErrorReporter, ZeroCodePrintsNothingAndKeepsStop) {
  process.error_block.stop = 1;
  EXPECT_EQ(report(0), "");
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(ErrorReporter, EveryCodeHasItsTextExceptTheEmptyOne) {
  for (int code = 1; code <= highest_message_code; ++code) {
    set_error(code, "S1", "S2", 1, 2);
    EXPECT_EQ(message_text(code).empty(), code == 129) << code;
  }
}

TEST_F(ErrorReporter, MessagesReachTheRunSummaryOnceItIsOpen) {
  set_error(3);
  report(3);  // before the summary is open: console only
  guarded_file summary;
  ASSERT_TRUE(open_guarded_file(summary, "summary.txt", "w"));
  process.summary_log = &summary;
  set_error(73, "", "mask.asc");
  std::string console = report(73);
  close_guarded_file(summary);
  process.summary_log = nullptr;
  EXPECT_EQ(testing::read_file("summary.txt"), console);
  EXPECT_EQ(console, "\nIncorrect number of rows in map: mask.asc\n");
}

TEST_F(ErrorReporter, LongTextsAreBoundedInTheBlock) {
  std::string huge(10000, 'x');
  set_error(4, huge, huge);
  EXPECT_EQ(process.error_block.str1.size(), 59u);
  EXPECT_EQ(process.error_block.str2.size(), 2047u);
}

TEST_F(ErrorReporter, TerminatePathKeepsTheCode) {
  process.error_block.term = 1;
  EXPECT_EQ(report(3), "\nError: The specified project file was not found.\nNIVRA Terminated.\n");
  EXPECT_EQ(process.error_block.code, 3);
}

}  // namespace
}  // namespace nivra
