#include <gtest/gtest.h>

#include "core/process.h"
#include "core/replace.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class Replacement : public testing::process_test {};

TEST_F(Replacement, ListLinesAndFormats) {
  struct row {
    const char* line;
    int result;
    const char* key;
    int type;
  } rows[] = {
      {"[A] [ROUGH1] \"%4.2lf\"", 0, "[ROUGH1]", 1},  // the last bracket pair is the key
      {"[N] \"%d\"", 0, "[N]", 0},
      {"[S] \"%s\"", 0, "[S]", 2},
      {"[E] \"%e\"", -1, "", -1},                   // no d, f or s: refused
      {"no brackets \"%d\"", -1, "", -1},
      {"[X] \"%s%d\"", -1, "", -1},                 // two conversions would crash printf
      {"[Y] \"%4.2lf days\"", -1, "", -1},          // type letter disagrees with conversion
      // A length modifier before an integer or a string would make printf
      // read a wider value than the int or text the key holds.
      {"[L] \"%ld\"", -1, "", -1},
      {"[LL] \"%lld\"", -1, "", -1},
      {"[H] \"%hd\"", -1, "", -1},
      {"[LS] \"%ls\"", -1, "", -1},
      {"[W] \"%8.3lf\"", 0, "[W]", 1},
  };
  for (const auto& r : rows) {
    process.replace_list.clear();
    CaptureStdout();
    EXPECT_EQ(parse_replace_param_line(r.line), r.result) << r.line;
    std::string out = GetCapturedStdout();
    if (r.result == 0) {
      ASSERT_EQ(process.replace_list.size(), 1u);
      EXPECT_EQ(process.replace_list[0].key.view(), r.key);
      EXPECT_EQ(process.replace_list[0].value_type, r.type);
      EXPECT_EQ(out, "");
    } else {
      EXPECT_TRUE(process.replace_list.empty());
      EXPECT_NE(out.find("Improperly formatted line"), std::string::npos) << r.line;
    }
  }
  process.replace_list.clear();
  CaptureStdout();
  parse_replace_param_line("[E] \"%e\"");
  EXPECT_NE(GetCapturedStdout().find("such as \"%4.2lf\""), std::string::npos);
}

TEST_F(Replacement, ValueLineChoiceAndReplacement) {
  testing::write_file("keys.txt", "3\n[K] \"%5.2lf\"\n[N] \"%d\"\n[NAME] \"%s\"\n");
  testing::write_file("vals.txt", "1.0 1 a\n2.5 7 \"long name\"\n");
  ASSERT_EQ(read_replace_param_file("keys.txt"), 0);
  ASSERT_EQ(process.replace_list.size(), 3u);
  process.replace_line = 5;  // beyond the file: refused
  CaptureStdout();
  EXPECT_EQ(read_replace_value_file("vals.txt"), -1);
  EXPECT_EQ(GetCapturedStdout(), "Error: line 6 of the value file vals.txt is asked for (REPLACE_LINE or the batch run), "
                                 "but the file holds 2 lines.\n");
  process.replace_line = 1;
  ASSERT_EQ(read_replace_value_file("vals.txt"), 0);
  EXPECT_EQ(process.replace_on, 1);
  EXPECT_EQ(process.replace_list[0].dval, 2.5);
  EXPECT_EQ(process.replace_list[1].ival, 7);
  EXPECT_EQ(process.replace_list[2].sval.view(), "long name");

  std::string line = "x [K] y [K] [N]:[NAME]";
  replace_in_line(line);
  EXPECT_EQ(line, "x  2.50 y  2.50 7:long name");
  EXPECT_EQ(process.replace_count, 4);
  EXPECT_TRUE(process.replace_list[2].used);
}

TEST_F(Replacement, ANegativeIntegerPrintsAsItself) {
  ASSERT_EQ(parse_replace_param_line("[N] \"%d\""), 0);
  process.replace_list[0].ival = -5;
  EXPECT_EQ(format_replace_value(process.replace_list[0]), "-5");
}

TEST_F(Replacement, ValuesAreRefusedUnlessTheyReadAsTheirType) {
  testing::write_file("keys.txt", "2\n[K] \"%5.2lf\"\n[N] \"%d\"\n");
  struct value_case {
    const char* values;
    const char* message;  // "" when the line is taken
  };
  const value_case cases[] = {
      {"2.5 7\n", ""},
      {"2.5 -7\n", ""},
      {"nan 7\n", "Error: line 1 of the value file vals.txt gives the key [K] the value \"nan\", which is "
                  "not a finite number.\n"},
      {"1e400 7\n", "Error: line 1 of the value file vals.txt gives the key [K] the value \"1e400\", which "
                    "is not a finite number.\n"},
      {"2.5 7.5\n", "Error: line 1 of the value file vals.txt gives the key [N] the value \"7.5\", which is "
                    "not a whole number.\n"},
      {"2.5 1e300\n", "Error: line 1 of the value file vals.txt gives the key [N] the value \"1e300\", "
                      "which is not a whole number.\n"},
      {"2.5x 7\n", "Error: line 1 of the value file vals.txt gives the key [K] the value \"2.5x\", which "
                   "is not a finite number.\n"},
      {"2.5\n", "Error: line 1 of the value file vals.txt holds no value for the key [N].\n"},
      {"", "Error: the file vals.txt is empty.\nError: unable to open the value file vals.txt.\n"},
      {"2.5 7 8\n", "Error: line 1 of the value file vals.txt holds \"8\" after the values of its 2 keys.\n"},
  };
  for (const value_case& c : cases) {
    SCOPED_TRACE(c.values);
    reset_process_state();
    ASSERT_EQ(read_replace_param_file("keys.txt"), 0);
    testing::write_file("vals.txt", c.values);
    CaptureStdout();
    const int result = read_replace_value_file("vals.txt");
    EXPECT_EQ(GetCapturedStdout(), c.message);
    EXPECT_EQ(result, *c.message ? -1 : 0);
    EXPECT_EQ(process.replace_on, *c.message ? 0 : 1);
  }
  // The line asked for is the one named.
  reset_process_state();
  ASSERT_EQ(read_replace_param_file("keys.txt"), 0);
  testing::write_file("vals.txt", "1 2\n3 x\n");
  process.replace_line = 1;
  CaptureStdout();
  EXPECT_EQ(read_replace_value_file("vals.txt"), -1);
  EXPECT_NE(GetCapturedStdout().find("line 2 of the value file vals.txt gives the key [N] the value \"x\""),
            std::string::npos);
}

TEST_F(Replacement, ValueLongerThanKeyShiftsTheRest) {
  parse_replace_param_line("[A] \"%12.6lf\"");
  parse_replace_param_line("[B] \"%d\"");
  process.replace_list[0].dval = 1.0;
  process.replace_list[1].ival = 42;
  std::string line = "[A]|[B]";
  replace_in_line(line);
  EXPECT_EQ(line, "    1.000000|42");
}

TEST_F(Replacement, UnknownKeyIsReportedAndLeftInPlace) {
  parse_replace_param_line("[A] \"%d\"");
  std::string line = "v [Q]";
  CaptureStdout();
  replace_in_line(line);
  EXPECT_EQ(GetCapturedStdout(), "Error: unable to match replace pair: v [Q]\n");
  EXPECT_EQ(line, "v [Q]");
}

TEST_F(Replacement, ListFileFailures) {
  CaptureStdout();
  EXPECT_EQ(read_replace_param_file("missing.txt"), -1);
  testing::write_file("short.txt", "3\n[A] \"%d\"\n");
  EXPECT_EQ(read_replace_param_file("short.txt"), -1);
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("unable to open the replace parameter file"), std::string::npos);
  EXPECT_NE(out.find("unexpected end of parameter list file after 1 parameters. Expecting 3"),
            std::string::npos);
  EXPECT_EQ(process.replace_list.size(), 1u);

  // A count that is no whole number, and a key beyond the count.
  const struct {
    const char* text;
    const char* message;
  } counts[] = {
      {"1.5\n[A] \"%d\"\n", "(line 1 of list.txt must hold the number of keys, a whole number from 0)"},
      {"two\n[A] \"%d\"\n", "unable to read the number of parameters in the parameter list file"},
      {"1\n[A] \"%d\"\n[B] \"%d\"\n", "Error: line 3 of the parameter list file list.txt holds a key beyond the 1 "
                                     "its first line counts.\n"},
      {"0\n[A] \"%d\"\n", "Error: line 2 of the parameter list file list.txt holds a key beyond the 0"},
  };
  for (const auto& c : counts) {
    SCOPED_TRACE(c.text);
    testing::write_file("list.txt", c.text);
    CaptureStdout();
    EXPECT_EQ(read_replace_param_file("list.txt"), -1);
    out = GetCapturedStdout();
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
}

TEST_F(Replacement, ReportsGoToSummaryAndConsoleUnlessOptimising) {
  parse_replace_param_line("[K] \"%4.1lf\"");
  process.replace_list[0].dval = 2.0;
  testing::temp_dir d;
  std::FILE* s = std::fopen(d.file("s.txt").c_str(), "w");
  CaptureStdout();
  print_replace_values(s, 0);
  print_replace_usage(s, 1);
  std::string console = GetCapturedStdout();
  std::fclose(s);
  EXPECT_EQ(console, "\nUsing replacement values:\n [K]            =  2.0\n\n");
  EXPECT_EQ(testing::read_file(d.file("s.txt")),
            "\nUsing replacement values:\n  [K]            =  2.0\n\n"
            "\nTotal times a value was replaced: 0\n\n\nWas replacement value used?:\n"
            "  [K]            = No\n\n");
}

}  // namespace
}  // namespace nivra
