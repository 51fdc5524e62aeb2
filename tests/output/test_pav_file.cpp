#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "clock/clock_state.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "model/project.h"
#include "output/dataset_out.h"
#include "output/end_of_run.h"
#include "output/output_state.h"
#include "output/pav_file.h"
#include "summary_fixture.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::has;

// Outlet hydrograph lines as the event run writes them, discharge 0.5 i.
std::string outlet_lines(int m) {
  std::string text;
  char line[64];
  for (int i = 1; i <= m; ++i) {
    std::snprintf(line, sizeof line, "%8.2lf %9.3lf\n", 2.0 * i, 0.5 * i);
    text += line;
  }
  return text;
}

// A location output with two locations: 10 + i and 0.01 i.
std::string location_lines(int m) {
  std::string text = "2\nlink 1 node 3\nlink 2 node 1\n";
  char line[96];
  for (int i = 1; i <= m; ++i) {
    std::snprintf(line, sizeof line, "%14.8lf %12.6lf %12.6lf \n", 2.0 * i, 10.0 + i, 0.01 * i);
    text += line;
  }
  return text;
}

const char* const outlet_block_25 =
    "     0.5000      1.0000      1.5000      2.0000      2.5000      3.0000      3.5000      4.0000      4.5000      5.0000\n"
    "     5.5000      6.0000      6.5000      7.0000      7.5000      8.0000      8.5000      9.0000      9.5000     10.0000\n"
    "    10.5000     11.0000     11.5000     12.0000     12.5000 ";

class PavFile : public testing::process_test {
 protected:
  std::string write_pav(long m, bool with_locations) {
    guarded_file outlet, location, pav;
    EXPECT_TRUE(open_guarded_file(outlet, "outlet.dat", "r"));
    if (with_locations) {
      EXPECT_TRUE(open_guarded_file(location, "locations.dat", "r"));
    }
    EXPECT_TRUE(open_guarded_file(pav, "run.pav", "w"));
    write_pav_hydrograph_file(outlet, pav, location, "run.pav", 20000101, 1230, 5, m);
    close_guarded_file(pav);
    return testing::read_file("run.pav");
  }
};

TEST_F(PavFile, TwentyFiveValuesTenToALine) {
  testing::write_file("outlet.dat", outlet_lines(25));
  testing::write_file("locations.dat", location_lines(25));
  EXPECT_EQ(write_pav(25, true),
            std::string("NIVARRA_PAV_HYDROGRAPH_FILE\n2\n20000101\n1230\n5\n25\n"
                        "link 1 node 3\nlink 2 node 1\n") +
                outlet_block_25 +
                "\n"
                "    11.0000     12.0000     13.0000     14.0000     15.0000     16.0000     17.0000     18.0000     19.0000     20.0000\n"
                "    21.0000     22.0000     23.0000     24.0000     25.0000     26.0000     27.0000     28.0000     29.0000     30.0000\n"
                "    31.0000     32.0000     33.0000     34.0000     35.0000 "
                "\n"
                "     0.0100      0.0200      0.0300      0.0400      0.0500      0.0600      0.0700      0.0800      0.0900      0.1000\n"
                "     0.1100      0.1200      0.1300      0.1400      0.1500      0.1600      0.1700      0.1800      0.1900      0.2000\n"
                "     0.2100      0.2200      0.2300      0.2400      0.2500 ");
}

TEST_F(PavFile, WithoutLocationsTheFileEndsAfterTheOutlet) {
  testing::write_file("outlet.dat", outlet_lines(25));
  EXPECT_EQ(write_pav(25, false),
            std::string("NIVARRA_PAV_HYDROGRAPH_FILE\n0\n20000101\n1230\n5\n25\n") + outlet_block_25);
}

TEST_F(PavFile, ShortFilesAreStillCompleted) {
  testing::write_file("outlet.dat", outlet_lines(2));  // two of three lines
  testing::write_file("locations.dat",
                      "1\nthe gauge\n  2.0 7.5\n  4.0 8.5\n");  // ends one line early
  EXPECT_EQ(write_pav(3, true),
            "NIVARRA_PAV_HYDROGRAPH_FILE\n1\n20000101\n1230\n5\n3\nthe gauge\n"
            "     0.5000      1.0000 "
            "\n     7.5000      8.5000      8.5000 ");
}

TEST_F(PavFile, SingleDatasetRecordAscii) {
  array2d<int> mask(2, 3);
  mask(1, 1) = 1;
  mask(1, 3) = 2;
  mask(2, 1) = 3;
  mask(2, 3) = 4;  // the middle column lies outside
  const double values[] = {0.0, 1.5, 2.5, 3.5, 4.5};
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "flood.dat", "w"));
  write_ts_single(f, 90.0, 2, 3, mask, values, 0);
  write_dataset_end(f, false);
  close_guarded_file(f);
  EXPECT_EQ(testing::read_file("flood.dat"),
            "TS 1 90.000000\n1\n0\n1\n1\n0\n1\n"
            "1.500000\n0.000000\n2.500000\n3.500000\n0.000000\n4.500000\nENDDS\n");
}

TEST_F(PavFile, SingleDatasetRecordBinary) {
  array2d<int> mask(1, 2);
  mask(1, 2) = 1;
  const double values[] = {0.0, 2.0};
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "flood.bin", "wb"));
  write_ts_single(f, 1.0, 1, 2, mask, values, 1);
  write_dataset_end(f, true);
  close_guarded_file(f);
  const std::string bytes = testing::read_file("flood.bin");
  const unsigned char expected[] = {
      0xC8, 0, 0, 0,                          // card 200
      1, 0,                                   // one time step
      0, 0, 0, 0, 0, 0, 0xF0, 0x3F,           // time 1.0
      0, 0, 1, 0,                             // flags 0 and 1
      0, 0, 0, 0, 0, 0, 0, 0,                 // 0.0 outside
      0, 0, 0, 0, 0, 0, 0, 0x40,              // 2.0
      0xD2, 0, 0, 0,                          // card 210
  };
  ASSERT_EQ(bytes.size(), sizeof expected);
  for (std::size_t i = 0; i < sizeof expected; ++i)
    EXPECT_EQ(static_cast<unsigned char>(bytes[i]), expected[i]) << i;
}

class PavAtEndOfRun : public testing::summary_test {
 protected:
  // The outlet and location series still open for writing, as the time
  // loop leaves them.
  void run_with_open_series() {
    model_state& m = *ms;
    m.output.pav_hydro_given = 1;
    m.project.pav_hydro.assign("run.pav");
    m.project.outlet_hydro.assign("outlet.dat");
    m.project.out_hyd_location.assign("locations.dat");
    m.output.in_hyd_location_given = 1;
    m.output.num_hyd_locations = 1;
    m.output.hlink.alloc(1);
    m.output.hnode.alloc(1);
    m.output.hlink[1] = 4;
    m.output.hnode[1] = 7;
    m.clock.hyd_write_steps = 1;
    m.clock.date_stamp_ymd = 19990615;
    m.clock.date_stamp_hhmm = 600;
    ASSERT_TRUE(open_guarded_file(m.output.outlet_hydro_file, m.project.outlet_hydro.view(), "w"));
    ASSERT_TRUE(open_guarded_file(m.output.out_hyd_location_file, m.project.out_hyd_location.view(), "w"));
    write_hyd_location_header(m.output);
    for (int i = 1; i <= 3; ++i) {
      std::fprintf(m.output.outlet_hydro_file.fp, "%8.2lf %9.3lf\n", 1.0 * i, 0.25 * i);
      std::fprintf(m.output.out_hyd_location_file.fp, "%14.8lf %12.6lf \n", 1.0 * i, 2.0 * i);
      ++m.output.hydro_line_count;
    }
  }
};

TEST_F(PavAtEndOfRun, OpenSeriesAreCompletedAndGathered) {
  run_with_open_series();
  write_end_of_run_files(*ms);
  EXPECT_FALSE(ms->output.outlet_hydro_file.is_open());
  EXPECT_EQ(testing::read_file("run.pav"),
            "NIVARRA_PAV_HYDROGRAPH_FILE\n1\n19990615\n600\n1\n3\nlink 4 node 7\n"
            "     0.2500      0.5000      0.7500 "
            "\n     2.0000      4.0000      6.0000 ");
}

TEST_F(PavAtEndOfRun, PrefixedRunReadsBackItsOwnFiles) {
  process.multi_run_mode = 1;  // every written file carries "0000_"
  run_with_open_series();
  write_end_of_run_files(*ms);
  EXPECT_TRUE(has(testing::read_file("0000_run.pav"), "link 4 node 7\n     0.2500"));
}

TEST_F(PavAtEndOfRun, MissingOutletAbortsTheFile) {
  ms->output.pav_hydro_given = 1;
  ms->project.pav_hydro.assign("run.pav");
  ms->project.outlet_hydro.assign("never_written.dat");
  CaptureStdout();
  write_end_of_run_files(*ms);
  EXPECT_TRUE(has(GetCapturedStdout(),
                  "\n\nError: Unable to open files to write the PAV hydrograph file.\n Write aborted.\n"));
  EXPECT_FALSE(testing::file_exists("run.pav"));
}

}  // namespace
}  // namespace nivra
