#include <gtest/gtest.h>

#include "core/dates.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/tokens.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class TimeSeries : public testing::process_test {};

TEST_F(TimeSeries, ReadsRelativeAndAbsoluteBlocks) {
  testing::write_file("ts.txt",
                      "comment line\n"
                      "NIVRA_TS\n"
                      "  \"flow_in\"  \n"
                      "RELATIVE\n"
                      "0 0 0 0 0 10.0\n"
                      "0 0 1 12 0 20.0\n"
                      "END_TS\n"
                      "NIVRA_TS\n"
                      "flow\n"
                      "ABSOLUTE\n"
                      "2000 1 1 12 0 1.0\n"
                      "2000 1 2 12 0 3.0\n"
                      "END_TS\n");
  CaptureStdout();
  read_time_series_file("ts.txt");
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("2 time series read from file ts.txt"), std::string::npos);
  ASSERT_EQ(process.ts_list.size(), 2u);
  time_series* rel = process.ts_list[0].get();
  EXPECT_EQ(rel->name, "flow_in");
  EXPECT_EQ(rel->relative, 1);
  EXPECT_EQ(rel->count, 2);
  EXPECT_DOUBLE_EQ(rel->times[1], 1.5);
  time_series* abs = process.ts_list[1].get();
  EXPECT_EQ(abs->times[0], 2451545.0);
  // Names match over the asked name's length: "flow" finds "flow_in" first.
  EXPECT_EQ(find_time_series("flow"), rel);
  EXPECT_EQ(find_time_series("nothing"), nullptr);
}

TEST_F(TimeSeries, InterpolatesAndHoldsEnds) {
  time_series* ts = ts_new();
  ts->times = {0.0, 1.0, 3.0};
  ts->values = {10.0, 20.0, 0.0};
  ts->count = 3;
  EXPECT_EQ(ts_value_at(0.5, ts), 15.0);
  EXPECT_EQ(ts_value_at(2.0, ts), 10.0);
  EXPECT_EQ(ts_value_at(0.25, ts), 12.5);  // earlier than the last lookup
  EXPECT_EQ(ts_value_at(-1.0, ts), 10.0);
  EXPECT_EQ(ts_value_at(9.0, ts), 0.0);
}

TEST_F(TimeSeries, EqualTimesMakeAStepWithoutDividingByZero) {
  time_series* ts = ts_new();
  ts->times = {0.0, 1.0, 1.0, 2.0};
  ts->values = {0.0, 0.0, 5.0, 5.0};
  ts->count = 4;
  EXPECT_EQ(ts_value_at(0.5, ts), 0.0);
  double v = ts_value_at(1.0, ts);
  EXPECT_TRUE(v == 0.0 || v == 5.0);
  EXPECT_EQ(ts_value_at(1.5, ts), 5.0);
}

TEST_F(TimeSeries, TimesOutOfOrderStopTheRunNamingTheFile) {
  testing::write_file("bad.txt", "NIVRA_TS\nq\nABSOLUTE\n2000 1 2 0 0 1\n2000 1 1 0 0 2\nEND_TS\n");
  CaptureStdout();
  read_time_series_file("bad.txt");
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("[q] in file bad.txt are out of order"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(TimeSeries, LookupFailuresStopTheRun) {
  CaptureStdout();
  EXPECT_EQ(ts_value_at(1.0, nullptr), 0.0);
  EXPECT_EQ(process.error_block.stop, 1);
  process.error_block.stop = 0;
  EXPECT_EQ(ts_value_by_id(7, 1.0), 0.0);
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("time series index is 7"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
  time_series* ts = ts_new();
  ts->times = {0.0};
  ts->values = {4.0};
  ts->count = 1;
  ts_add_index(7, ts);
  EXPECT_EQ(ts_value_by_id(7, 1.0), 4.0);
  ts_free_all();
  EXPECT_TRUE(process.ts_id_list.empty());
}

TEST_F(TimeSeries, EntryLinesThatAreNoEntryStopTheRunNamingTheLine) {
  struct entry_case {
    const char* kind;
    const char* entry;
    const char* reason;  // "" when the entry is taken
  };
  const entry_case cases[] = {
      {"ABSOLUTE", "2024 2 29 23 59 1.5", ""},
      {"ABSOLUTE", "2024 2 29 23 59 -1.5", ""},
      {"ABSOLUTE", "2023 2 29 0 0 1", "names no date of the calendar"},
      {"ABSOLUTE", "2024 6 15 24 0 1", "names no date of the calendar"},
      {"ABSOLUTE", "0 0 1 12 0 1", "names no date of the calendar"},
      {"ABSOLUTE", "2024 6 x 0 0 1", "does not begin with five whole numbers (year, month, day, hour, minute)"},
      {"ABSOLUTE", "2024 6 15.5 0 0 1", "does not begin with five whole numbers"},
      {"ABSOLUTE", "2024 6 15 0 0", "has no finite value after its date"},
      {"ABSOLUTE", "2024 6 15 0 0 nan", "has no finite value after its date"},
      {"ABSOLUTE", "2024 6 15 0 0 -inf", "has no finite value after its date"},
      {"ABSOLUTE", "2024 6 15 0 0 1 2", "holds more than a date and one value"},
      {"RELATIVE", "0 0 2 36 90 4", ""},
      {"RELATIVE", "2024 6 15 0 0 1", "is a RELATIVE entry with a year or month other than 0"},
      {"RELATIVE", "0 0 -1 0 0 1", "is a RELATIVE entry with a negative or too large day, hour or minute"},
      {"RELATIVE", "0 0 0 0 2147483647 1", "is a RELATIVE entry with a negative or too large day"},
  };
  for (const entry_case& c : cases) {
    SCOPED_TRACE(c.entry);
    reset_process_state();
    testing::write_file("s.ts", std::string("NIVRA_TS\nq\n") + c.kind + "\n\n" + c.entry + "\nEND_TS\n");
    CaptureStdout();
    const bool read = read_time_series_file("s.ts");
    const std::string out = GetCapturedStdout();
    if (*c.reason) {
      EXPECT_FALSE(read);
      EXPECT_NE(out.find(std::string("Error: line 5 of the time series file s.ts (series [q]) ") + c.reason),
                std::string::npos)
          << out;
      EXPECT_NE(out.find(std::string(":\n") + c.entry + "\n"), std::string::npos) << out;
      EXPECT_EQ(process.error_block.stop, 1);
    } else {
      EXPECT_TRUE(read);
      ASSERT_EQ(process.ts_list.size(), 1u);
      EXPECT_EQ(process.ts_list[0]->count, 1);  // the blank line holds no entry
      EXPECT_EQ(process.error_block.stop, 0);
    }
  }
  // A relative entry of 2 days, 36 hours and 90 minutes is 3.5625 days.
  reset_process_state();
  testing::write_file("r.ts", "NIVRA_TS\nr\nRELATIVE\n0 0 2 36 90 4\nEND_TS\n");
  CaptureStdout();
  read_time_series_file("r.ts");
  GetCapturedStdout();
  EXPECT_DOUBLE_EQ(process.ts_list[0]->times[0], 2.0 + 36.0 / 24.0 + 90.0 / 1440.0);

  // A file that cannot be opened stops the run too.
  reset_process_state();
  CaptureStdout();
  EXPECT_FALSE(read_time_series_file("absent.ts"));
  EXPECT_NE(GetCapturedStdout().find("Error: Time series file not found [absent.ts]\n"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

// The lines around the entries: a name, a type that says what the times
// are, the end card and at least one entry. Each fault stops the run
// naming the file and the line.
TEST_F(TimeSeries, BlocksWithoutTheirNameTypeEntriesOrEndStopTheRun) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"NIVRA_TS\nq\nABSOLUTE\n2024 6 15 12 0 1.5\n2024 6 15 13 0 2\n",
       "Error: the time series [q] that begins at line 1 of the file s.ts has no END_TS line: the file ends inside "
       "it.\n"},
      {"NIVRA_TS\nq\nRELATIVE\n0 0 0 0 0 1\nEND_TS\nNIVRA_TS\nr\nRELATIVE\n0 0 0 0 0 1\n",
       "Error: the time series [r] that begins at line 6 of the file s.ts has no END_TS line"},
      {"NIVRA_TS\nq\nDATES\n2024 6 15 12 0 1.5\nEND_TS\n",
       "Error: line 3 of the time series file s.ts gives the series [q] the type \"DATES\"; a series is ABSOLUTE (its "
       "lines give dates) or RELATIVE (days, hours and minutes from its start).\n"},
      {"NIVRA_TS\nq\nrelative\n0 0 0 0 0 1\nEND_TS\n", "gives the series [q] the type \"relative\""},
      {"NIVRA_TS\nq\n2024 6 15 12 0 1.5\nEND_TS\n", "gives the series [q] the type \"2024 6 15 12 0 1.5\""},
      {"NIVRA_TS\n\nABSOLUTE\n2024 6 15 12 0 1.5\nEND_TS\n",
       "Error: line 2 of the time series file s.ts, after the NIVRA_TS of line 1, gives no name of a series.\n"},
      {"NIVRA_TS\nq\nABSOLUTE\n\nEND_TS\n",
       "Error: the time series [q] that begins at line 1 of the file s.ts holds no entry (a date and a value) before its "
       "END_TS at line 5.\n"},
      {"NIVRA_TS\n", "has no END_TS line"},
      {"# the inflow, still to be typed in\n", "Error: the time series file s.ts holds no series: each begins with a "
                                              "NIVRA_TS line.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset_process_state();
    testing::write_file("s.ts", c.text);
    CaptureStdout();
    EXPECT_FALSE(read_time_series_file("s.ts"));
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(process.error_block.stop, 1);
  }
}

TEST_F(TimeSeries, XYBoundaryDateLinesMustBeCalendarDatesWithAValuePerPoint) {
  struct xy_case {
    const char* line;
    const char* reason;
  };
  const xy_case cases[] = {
      {"2000 1 x 12 0 1.0 2.0", "does not begin with five whole numbers (year, month, day, hour, minute)"},
      {"2000 1 2.5 12 0 1.0 2.0", "does not begin with five whole numbers"},
      {"2000 13 2 12 0 1.0 2.0", "names no date of the calendar"},
      {"2000 1 2 12 0 1.0", "does not hold a finite value for every point"},
      {"2000 1 2 12 0 1.0 nan", "does not hold a finite value for every point"},
  };
  for (const xy_case& c : cases) {
    SCOPED_TRACE(c.line);
    reset_process_state();
    testing::write_file("xy.txt", std::string("2000 1 1 12 0 1.0 2.0\n") + c.line + "\nEND_TS\n");
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "xy.txt", "r"));
    CaptureStdout();
    EXPECT_EQ(read_xy_boundary_series(f, 2, "bdy"), nullptr);
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(std::string("Error: data line 2 of the XY boundary block of bdy in file xy.txt ") +
                       c.reason),
              std::string::npos)
        << out;
    EXPECT_EQ(process.error_block.stop, 1);
  }
}

TEST_F(TimeSeries, XYBoundaryBlockGivesOneSeriesPerPoint) {
  testing::write_file("xy.txt",
                      "2000 1 1 12 0 1.0 2.0\n"
                      "2000 1 2 12 0 3.0 4.0\n"
                      "END_TS\n");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "xy.txt", "r"));
  time_series* first = read_xy_boundary_series(f, 2, "bdy");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name, "bdy_0000");
  EXPECT_EQ(process.ts_list[1]->name, "bdy_0001");
  EXPECT_EQ(process.ts_list[1]->values[1], 4.0);
  EXPECT_EQ(first->times[1], 2451546.0);
  std::string line;
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, "END_TS");
}

}  // namespace
}  // namespace nivra
