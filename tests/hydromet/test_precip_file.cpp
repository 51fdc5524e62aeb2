// The precipitation event file: events read one after another, their values
// turned into intensities per period by hand-calculated cases (each value
// moved to the period it ends, depths spread over their period, cumulative
// depths differenced, rates kept), the long-period warning, equal dates
// where a period may be empty and refused where a depth would fall in no
// time, earlier dates and every other format fault named with the event
// and the line, the growth of the value table and the check of an event
// against the weather data.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/precip_file.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::write_file;

class PrecipFile : public testing::process_test {
 protected:
  // Opens a precipitation file of the given text.
  void open(const std::string& text) {
    close_guarded_file(file);
    write_file("rain.gag", text);
    ASSERT_TRUE(open_guarded_file(file, "rain.gag", "r"));
  }
  // The next event of the open file; the console is kept.
  int next_event() {
    CaptureStdout();
    const int r = read_precip_file(file, *hm, dates);
    console = GetCapturedStdout();
    return r;
  }
  int read(const std::string& text) {
    open(text);
    return next_event();
  }
  double value(int gage, int period) const { return hm->gage_values(gage, period); }

  std::unique_ptr<hydromet_state> hm = std::make_unique<hydromet_state>();
  array1d<date_entry> dates{date_table_capacity};
  guarded_file file;
  std::string console;
};

std::string event(int gages, int periods, const std::string& lines, const char* title = "test storm") {
  std::string text = std::string("EVENT ") + title + "\nNRGAG " + std::to_string(gages) + "\nNRPDS " +
                     std::to_string(periods) + "\n";
  for (int g = 1; g <= gages; ++g) text += "COORD " + std::to_string(500000 + 100 * g) + " 4000000 gage\n";
  return text + lines;
}

// Intensities (mm/h) of every period, by hand: row g holds gage g's periods.
TEST_F(PrecipFile, ValuesBecomeTheIntensitiesOfThePeriodsTheyEnd) {
  struct row {
    const char* name;
    int gages;
    int periods;
    const char* lines;
    std::vector<std::vector<double>> expected;
    bool long_warning = false;
  };
  const row table[] = {
      // 5 mm in the half hour to 10:30 is 10 mm/h; 10 mm in the hour to
      // 11:30 is 10 mm/h; the first line's depth is never used.
      {"gages", 1, 3, "GAGES 2024 5 12 10 00 99\nGAGES 2024 5 12 10 30 5\nGAGES 2024 5 12 11 30 10\n", {{10.0, 10.0}}},
      {"gages of one hour", 1, 2, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 6\n", {{6.0}}},
      // Cumulative depths 0, 2, 2 and 10, 13, 16.5 at hourly lines.
      {"accum", 2, 3, "ACCUM 2024 5 12 10 00 0 10\nACCUM 2024 5 12 11 00 2 13\nACCUM 2024 5 12 12 00 2 16.5\n",
       {{2.0, 0.0}, {3.0, 3.5}}},
      // A radar rate holds over the interval that ends at its line.
      {"radar values", 2, 3, "RADAR 2024 5 12 10 00 1 2\nRADAR 2024 5 12 10 15 3 4\nRADAR 2024 5 12 10 30 5 6\n",
       {{3.0, 5.0}, {4.0, 6.0}}},
      // A rate holds from its line on: used as read.
      {"rates", 1, 3, "RATES 2024 5 12 10 00 7.5\nRATES 2024 5 12 10 20 0\nRATES 2024 5 12 10 30 12\n",
       {{7.5, 0.0, 12.0}}},
      // 72 mm over 36 hours: 2 mm/h, with the warning.
      {"a long period", 1, 2, "GAGES 2024 5 1 0 00 0\nGAGES 2024 5 2 12 00 72\n", {{2.0}}, true},
      // Across the end of a month and of a year (years 98 and 99 are 1998
      // and 1999, the last case).
      {"a month's end", 1, 2, "GAGES 2024 1 31 23 00 0\nGAGES 2024 2 1 1 00 4\n", {{2.0}}},
      // Three days and an hour apart: 73 mm over 73 hours.
      {"days apart", 1, 2, "GAGES 2024 3 1 10 00 0\nGAGES 2024 3 4 11 00 73\n", {{1.0}}, true},
      {"a year's end", 1, 2, "GAGES 98 12 31 23 30 0\nGAGES 99 1 1 0 30 3\n", {{3.0}}},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    reset_process_state();
    ASSERT_EQ(read(event(r.gages, r.periods, r.lines)), precip_read::event_read) << console;
    EXPECT_EQ(hm->num_gages, r.gages);
    EXPECT_EQ(hm->num_rain_periods, r.periods);
    CaptureStdout();
    ASSERT_TRUE(precip_to_intensities(*hm, dates, 1));
    const std::string warnings = GetCapturedStdout();
    for (int g = 1; g <= r.gages; ++g)
      for (std::size_t p = 1; p <= r.expected[g - 1].size(); ++p)
        EXPECT_NEAR(value(g, static_cast<int>(p)), r.expected[g - 1][p - 1], 1e-12) << "gage " << g << " period " << p;
    // The warning names the line that ends the long period and its length.
    EXPECT_EQ(warnings.find("Warning: period line no. 2 of event 1 of the precipitation file (") != std::string::npos,
              r.long_warning)
        << warnings;
    if (r.long_warning) {
      EXPECT_NE(warnings.find(") ends a period of "), std::string::npos) << warnings;
    }
  }
  EXPECT_EQ(dates[1].year, 1998);
  EXPECT_EQ(dates[2].year, 1999);
}

// The last rate of a RATES event lasts as long as the interval of its last
// two lines; equal dates make a period of no length, which RATES and RADAR
// events may hold.
TEST_F(PrecipFile, TheLastRateLastsOneInterval) {
  ASSERT_EQ(read(event(1, 3, "RATES 2024 5 12 23 00 7.5\nRATES 2024 5 12 23 20 0\nRATES 2024 5 12 23 40 12\n")),
            precip_read::event_read);
  EXPECT_EQ(dates[4].year, 2024);
  EXPECT_EQ(dates[4].month, 5);
  EXPECT_EQ(dates[4].day, 13);
  EXPECT_EQ(dates[4].hour, 0);
  EXPECT_EQ(dates[4].minute, 0);

  for (const char* lines : {"RATES 2024 5 12 10 00 1\nRATES 2024 5 12 10 00 2\nRATES 2024 5 12 10 10 3\n",
                            "RADAR 2024 5 12 10 00 1\nRADAR 2024 5 12 10 00 2\nRADAR 2024 5 12 10 10 3\n"}) {
    reset_process_state();
    EXPECT_EQ(read(event(1, 3, lines)), precip_read::event_read) << console;
    EXPECT_EQ(process.error_block.stop, 0);
  }
}

// Events follow one another in the file: words before an event are
// skipped, any word beginning with "even" starts one, the title is the rest
// of its line, and blanks after the last event mean no further event.
TEST_F(PrecipFile, EventsAreReadOneAfterAnother) {
  open("Notes before the first storm\nEvent First storm\nNRPDS 2 NRGAG 1\n"
       "COORD 500100 4000100 gage one\nGAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 3\n"
       "EVENTS Second storm\nNRGAG files\nNRPDS 3\nRADAR 2024 6 1 8 00 a.asc\n"
       "RADAR 2024 6 1 8 15 \"b 1.asc\"\nradar 2024 6 1 8 30 c.asc\n\n   \n");
  ASSERT_EQ(next_event(), precip_read::event_read) << console;
  EXPECT_EQ(hm->event_title, "First storm");
  EXPECT_EQ(hm->rain_gages, 1);
  EXPECT_EQ(hm->gage_x[1], 500100.0);
  EXPECT_EQ(hm->gage_y[1], 4000100.0);
  EXPECT_EQ(value(1, 2), 3.0);

  ASSERT_EQ(next_event(), precip_read::event_read) << console;
  EXPECT_EQ(hm->event_title, "Second storm");
  EXPECT_EQ(hm->radar_rain, 2);
  EXPECT_EQ(hm->rain_gages, 0);
  EXPECT_EQ(hm->num_gages, 1);
  EXPECT_EQ(hm->num_rain_periods, 3);
  ASSERT_EQ(hm->radar_file_names.size(), 4u);
  EXPECT_EQ(hm->radar_file_names[1], "a.asc");
  EXPECT_EQ(hm->radar_file_names[2], "b 1.asc");  // quotes keep blanks in a name
  EXPECT_EQ(hm->radar_file_names[3], "c.asc");
  EXPECT_EQ(dates[3].minute, 30);
  EXPECT_EQ(hm->precip_events_read, 2);

  EXPECT_EQ(next_event(), precip_read::no_event);
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(console, "");

  // Back to the first event.
  rewind_precip_file(file, *hm);
  ASSERT_EQ(next_event(), precip_read::event_read);
  EXPECT_EQ(hm->event_title, "First storm");
}

// Faults of the file stop the run with a message that says what is wrong
// and where; the file ending inside an event and a gage value that is not
// a number are left for the caller to report.
TEST_F(PrecipFile, FaultsAreNamedWithTheEventAndTheLine) {
  struct row {
    const char* name;
    std::string text;
    int result;
    std::vector<const char*> fragments;
  };
  const row table[] = {
      {"an earlier date", event(1, 3, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 10 30 1\nGAGES 2024 5 12 10 20 1\n"),
       precip_read::no_event,
       {"EVENT titled:\n test storm\n",
        "On line no. 3 (line 7 of the file), the given time of the recorded data is:    2024/5/12 10:20\n",
        "Which is earlier than the date/time on the previous line:  2024/5/12 10:30\n"}},
      {"a GAGES period of no length", event(1, 3, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 10 30 1\nGAGES 2024 5 12 10 30 1\n"),
       precip_read::no_event,
       {"EVENT titled:\n test storm\n", "On line no. 3 (line 7 of the file)", "a GAGES period of no length"}},
      {"an ACCUM period of no length", event(1, 2, "ACCUM 2024 5 12 10 00 0\nACCUM 2024 5 12 10 00 1\n"),
       precip_read::no_event,
       {"On line no. 2 (line 6 of the file)", "an ACCUM period of no length"}},
      {"a smaller cumulative depth", event(1, 3, "ACCUM 2024 5 12 10 00 0\nACCUM 2024 5 12 11 00 5\nACCUM 2024 5 12 12 00 4\n"),
       precip_read::no_event,
       {"On line no. 3 (line 7 of the file), the accumulated precip. for gage number 1 is:  4.00000 mm\n",
        "Accumulated precip is CUMULATIVE."}},
      {"two kinds of line", event(1, 2, "RADAR 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 5\n"), precip_read::no_event,
       {"More than one precipitation data card type has been specified.\n"}},
      {"a line of no kind", event(1, 2, "GAGES 2024 5 12 10 00 0\nRAIN 2024 5 12 11 00 5\n"), precip_read::no_event,
       {"At least one precipitation data card type must be specified.\n", "     3) RATES    4) ACCUM\n"}},
      {"no coordinates", "EVENT test storm\nNRGAG 2\nNRPDS 1\nCOORD 1 2 gage\nGAGES 2024 5 12 10 00 0 0\n",
       precip_read::no_event,
       {"Cannot find gage coordinate card in rainfall input file for event entitled:\n       test storm\n"}},
      {"no gages", event(0, 1, "GAGES 2024 5 12 10 00\n"), precip_read::no_event,
       {"Line 2 of the file gives \"0\" for the number of gages (NRGAG)"}},
      {"a number of lines that is no number", "EVENT test storm\nNRGAG 1\nNRPDS many\n", precip_read::no_event,
       {"Line 3 of the file gives \"many\" for the number of period lines (NRPDS)"}},
      {"a coordinate that is no number", "EVENT test storm\nNRGAG 1\nNRPDS 1\nCOORD 500000 north gage\n",
       precip_read::no_event, {"Line 4 of the file gives \"north\" for the northing of a gage (COORD)"}},
      {"a day February does not have", event(1, 1, "GAGES 2023 2 29 10 00 0\n"), precip_read::no_event,
       {"Line 5 of the file (period line no. 1) gives the date 2023/2/29 10:00, which is not a date"}},
      {"a date that is no number", event(1, 1, "GAGES 2024 May 12 10 00 0\n"), precip_read::no_event,
       {"Line 5 of the file gives \"May\" for a date of a period line"}},
      {"a RATES event of one line", event(1, 1, "RATES 2024 5 12 10 00 3\n"), precip_read::no_event,
       {"a RATES event takes two lines at least"}},
      {"radar files on GAGES lines", "EVENT test storm\nNRGAG FILES\nNRPDS 1\nGAGES 2024 5 12 10 00 a.asc\n",
       precip_read::no_event, {"Its NRGAG card says FILES, which takes RADAR lines", "line 4 of the file is a GAGES line"}},
      {"a radar line without its file", "EVENT test storm\nNRGAG FILES\nNRPDS 1\nRADAR 2024 5 12 10 00\n",
       precip_read::no_event, {"Line 4 of the file (period line no. 1) names no radar file.\n"}},
      {"a gage value that is no number", event(2, 2, "GAGES 2024 5 12 10 00 0 0\nGAGES 2024 5 12 11 00 4 four\n"),
       precip_read::no_event,
       {"Line 7 of the file gives \"four\" for gage 2 of period line no. 2 (GAGES); it takes a finite number (mm)."}},
      {"a gage value that is not finite", event(1, 1, "GAGES 2024 5 12 10 00 nan\n"), precip_read::no_event,
       {"Line 5 of the file gives \"nan\" for gage 1 of period line no. 1 (GAGES); it takes a finite number (mm)."}},
      {"a rate that is no number", event(1, 2, "RATES 2024 5 12 10 00 3\nRATES 2024 5 12 11 00 x\n"),
       precip_read::no_event, {"gives \"x\" for gage 1 of period line no. 2 (RATES); it takes a finite number (mm/h)."}},
      // A line short of values, or with one too many: the line is named, not
      // the line after it.
      {"a value short on a line", event(2, 3, "GAGES 2024 5 12 10 00 0 0\nGAGES 2024 5 12 11 00 4\n"
                                              "GAGES 2024 5 12 12 00 1 2\n"),
       precip_read::no_event,
       {"Line 7 of the file (period line no. 2) gives 1 value(s) for the 2 gages (NRGAG); a period line holds one "
        "value per gage.\n"}},
      {"a value beyond NRGAG on a line", event(1, 3, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 4 5\n"
                                                     "GAGES 2024 5 12 12 00 1\n"),
       precip_read::no_event,
       {"Line 6 of the file holds \"5\" after its date and one value per gage (NRGAG 1); a period line holds its "
        "card, its date and one value per gage.\n"}},
      {"values going on over the next line", event(2, 2, "GAGES 2024 5 12 10 00 0\n0\nGAGES 2024 5 12 11 00 4\n5\n"),
       precip_read::event_read, {}},
      {"the end of the file in an event", event(1, 3, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 5\n"),
       precip_read::unexpected_end, {"\n last year 2024 last month 5 last day 12 last hour 11 last minute 0 \n"}},
      {"the end of the file before the number of lines", "EVENT test storm\nNRGAG 1\n", precip_read::unexpected_end,
       {}},
      // Counts that disagree with the lines: nothing is dropped unread.
      {"fewer period lines than NRPDS, then the next event",
       event(1, 3, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 5\nEVENT next\n"), precip_read::no_event,
       {"Its NRPDS card gives 3 period lines, but line 7 of the file begins the next EVENT after 2 of them."}},
      {"a value beyond NRGAG on the last line", event(1, 2, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 5 6\n"),
       precip_read::no_event, {"Line 6 of the file, its last period line, holds more than its date and one value"}},
      {"a second radar file on a line", "EVENT test storm\nNRGAG FILES\nNRPDS 2\nRADAR 2024 5 12 10 00 a.asc b.asc\n"
                                        "RADAR 2024 5 12 10 15 c.asc\n",
       precip_read::no_event, {"Line 4 of the file (period line no. 1) holds \"b.asc\" after its radar file"}},
      {"a period line before any event", "GAGES 2024 5 12 10 00 0\n" + event(1, 1, "GAGES 2024 5 12 10 00 0\n"),
       precip_read::no_event, {"Line 1 of the precipitation file is a GAGES line before the first EVENT card."}},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    reset_process_state();
    hm = std::make_unique<hydromet_state>();
    EXPECT_EQ(read(r.text), r.result) << console;
    for (const char* f : r.fragments) EXPECT_NE(console.find(f), std::string::npos) << console;
    EXPECT_EQ(process.error_block.stop, r.result == precip_read::no_event ? 1 : 0) << console;
  }

  // Ten thousand words without an event card.
  reset_process_state();
  hm = std::make_unique<hydromet_state>();
  std::string words;
  for (int i = 0; i < 10000; ++i) words += "word ";
  EXPECT_EQ(read(words + "\nEVENT late\n"), precip_read::no_event);
  EXPECT_NE(console.find("find the first event card.  Check the format of the rainfall input for event 0\n"),
            std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

// NRPDS 2 with three period lines: the event reads its two, and the search
// for the next event meets the third instead of skipping it.
TEST_F(PrecipFile, APeriodLineBeyondTheCountIsAnError) {
  open(event(1, 2, "GAGES 2024 5 12 10 00 0\nGAGES 2024 5 12 11 00 5\nGAGES 2024 5 12 12 00 2\n"
                   "EVENT second\nNRGAG 1\nNRPDS 1\nCOORD 1 2 g\nGAGES 2024 5 13 10 00 0\n"));
  ASSERT_EQ(next_event(), precip_read::event_read) << console;
  EXPECT_EQ(next_event(), precip_read::no_event);
  EXPECT_NE(console.find("Line 7 of the precipitation file is a GAGES line after the 2 period lines (NRPDS) of the "
                         "EVENT titled:\n test storm\n"),
            std::string::npos)
      << console;
  EXPECT_EQ(process.error_block.stop, 1);
  // Notes between events, even ones that begin with a card word inside a
  // line, are still skipped.
  reset_process_state();
  hm = std::make_unique<hydromet_state>();
  open(event(1, 1, "GAGES 2024 5 12 10 00 0\nnotes: gages moved\n") + event(1, 1, "GAGES 2024 5 13 10 00 0\n", "b"));
  ASSERT_EQ(next_event(), precip_read::event_read) << console;
  ASSERT_EQ(next_event(), precip_read::event_read) << console;
  EXPECT_EQ(hm->event_title, "b");
}

// The second cumulative depth is not compared with the first: a smaller one
// is caught as a negative intensity when the event starts.
TEST_F(PrecipFile, ANegativeIntensityNamesTheGageThePeriodAndTheEvent) {
  ASSERT_EQ(read(event(1, 3, "ACCUM 2024 5 12 10 00 5\nACCUM 2024 5 12 11 00 3\nACCUM 2024 5 12 12 00 4\n")),
            precip_read::event_read);
  CaptureStdout();
  EXPECT_FALSE(precip_to_intensities(*hm, dates, 4));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("You have a negative precip value for gage 1, rain period 1\nCheck your rainfall inputs for event 4 \n"),
            std::string::npos)
      << out;
  EXPECT_EQ(process.error_block.stop, 1);
}

// The table of gage values grows to the largest event and never shrinks;
// values already in it are kept.
TEST_F(PrecipFile, TheValueTableGrowsAndKeepsItsValues) {
  jagged_array<double> t{"t"};
  ASSERT_TRUE(resize_value_table(t, 3, 5, 0.0));
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 5; ++j) t(i, j) = 10 * i + j;
  ASSERT_TRUE(resize_value_table(t, 2, 8, -1.0));
  EXPECT_EQ(t.count(), 3);
  EXPECT_EQ(t.row_length(), 8);
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 5; ++j) EXPECT_EQ(t(i, j), 10 * i + j);
    for (int j = 6; j <= 8; ++j) EXPECT_EQ(t(i, j), -1.0);
  }
  ASSERT_TRUE(resize_value_table(t, 4, 2, 7.0));
  EXPECT_EQ(t.count(), 4);
  EXPECT_EQ(t.row_length(), 8);
  EXPECT_EQ(t(4, 8), 7.0);
  EXPECT_EQ(t(2, 3), 23.0);
}

// An event of a long-term run must start within the weather data.
TEST_F(PrecipFile, AnEventStartsWithinTheWeatherData) {
  const hour_date start{2000, 6, 10, 5}, end{2001, 3, 20, 18};
  struct row {
    hour_date rain;
    int expected;
    const char* fragment;
  };
  const row table[] = {
      {{2000, 6, 10, 5}, 1, ""},
      {{2000, 12, 1, 0}, 1, ""},
      // Earlier months of the last year lie within the data.
      {{2001, 2, 1, 0}, 1, ""},
      {{2001, 3, 20, 18}, 1, ""},
      {{1999, 7, 1, 0}, 0, "\nRaingage Data starts in 1999, hydromet data doesn't start until 2000.\n"},
      {{2002, 1, 1, 0}, 0, "\nRaingage Data starts in 2002, hydromet data ends in 2001.\n"},
      {{2000, 5, 30, 0}, 0, "\nRaingage Data starts in month 5 of 2000 while hmet data starts in\nmonth 6 of 2000\n"},
      {{2000, 6, 9, 12}, 0, "while the hmet data begins on day 10 of month 6 in year 2000\n"},
      {{2000, 6, 10, 4}, 0, "while the hmet data begins on hour 5 day 10 of month 6 in year 2000\n"
                            "Program terminating.  Check your times and dates.\n"},
      {{2001, 4, 1, 0}, 0, "\nRaingage Data starts in month 4 of 2001 while hmet data ends in\nmonth 3 of 2001\n"},
      {{2001, 3, 21, 0}, 0, "while the hmet data ends on day 20 of month 3 in year 2001\n"},
      {{2001, 3, 20, 19}, 0, "while the hmet data ends on hour 18 day 20 of month 3 in year 2001\n"},
  };
  for (const row& r : table) {
    CaptureStdout();
    EXPECT_EQ(check_gage_hmet_dates(start, end, r.rain), r.expected) << r.rain.year << "/" << r.rain.month;
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(r.fragment), std::string::npos) << out;
    EXPECT_EQ(out.empty(), r.expected == 1);
  }
}

}  // namespace
}  // namespace nivra
