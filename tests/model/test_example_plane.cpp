// The bundled example (a tilted plane under uniform rain) reads into the
// three project sub-records, and its two maps agree with its cards.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/process.h"
#include "model/model_state.h"
#include "model/project.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

const std::string example_folder = std::string(NIVRA_SOURCE_DIR) + "/examples/plane/";

class ExamplePlane : public testing::process_test {};

struct grid_map {
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
  std::vector<std::vector<double>> values;  // [row - 1][col - 1]
};

grid_map read_map(const std::string& path) {
  std::ifstream in(path);
  grid_map m;
  std::string word;
  in >> word >> m.north >> word >> m.south >> word >> m.east >> word >> m.west >> word >> m.rows >>
      word >> m.cols;
  m.values.assign(m.rows, std::vector<double>(m.cols, 0.0));
  for (auto& row : m.values)
    for (double& v : row) in >> v;
  EXPECT_TRUE(in) << path;
  return m;
}

TEST_F(ExamplePlane, ReadsIntoTheProjectSubRecords) {
  auto ms = make_model_state();
  CaptureStdout();
  read_project_file(example_folder + "plane.prj", ms->project.project_options, ms->project.run_control,
                    ms->project.rain_event, 0);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(process.error_block.stop, 0);

  const project_options& po = ms->project.project_options;
  EXPECT_EQ(po.watershed_mask.view(), "plane.msk");
  EXPECT_EQ(po.elevation.view(), "plane.ele");
  EXPECT_EQ(po.manning_n, 0.05);
  EXPECT_EQ(po.manning_n_given, 1);
  EXPECT_EQ(po.overtype, 2);
  EXPECT_EQ(po.summary.view(), "plane.sum");
  EXPECT_EQ(po.outlet_hydro.view(), "plane.otl");
  EXPECT_EQ(po.m_river, 1.0);  // a default

  const run_control& rc = ms->project.run_control;
  EXPECT_EQ(rc.rows, 6);
  EXPECT_EQ(rc.cols, 8);
  EXPECT_EQ(rc.gridsize, 30.0);
  EXPECT_EQ(rc.outrow, 6);
  EXPECT_EQ(rc.outcol, 8);
  EXPECT_EQ(rc.outslope, 0.01);
  EXPECT_EQ(rc.tot_time, 180);
  EXPECT_EQ(rc.timestep, 10.0);
  EXPECT_EQ(rc.start_year, 2024);
  EXPECT_EQ(rc.start_month, 6);
  EXPECT_EQ(rc.start_day, 15);
  EXPECT_EQ(rc.start_hour, 12);
  EXPECT_EQ(rc.start_minute, 0);
  EXPECT_EQ(rc.hyd_freq, 5.0);
  EXPECT_EQ(rc.infil_model, 0);
  EXPECT_EQ(rc.chan_routing, 0);

  const rain_event& re = ms->project.rain_event;
  EXPECT_EQ(re.precip_source, 0);
  EXPECT_EQ(re.rain_intensity, 25.0);
  EXPECT_EQ(re.rain_duration, 60);
}

TEST_F(ExamplePlane, MapsAgreeWithTheCards) {
  grid_map mask = read_map(example_folder + "plane.msk");
  grid_map elev = read_map(example_folder + "plane.ele");
  for (const grid_map* m : {&mask, &elev}) {
    EXPECT_EQ(m->rows, 6);
    EXPECT_EQ(m->cols, 8);
    EXPECT_DOUBLE_EQ((m->north - m->south) / m->rows, 30.0);
    EXPECT_DOUBLE_EQ((m->east - m->west) / m->cols, 30.0);
  }
  int active = 0;
  double lowest = 1e9;
  int low_row = 0, low_col = 0;
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 8; ++c) {
      if (mask.values[r][c] == 0) continue;
      ++active;
      if (elev.values[r][c] < lowest) {
        lowest = elev.values[r][c];
        low_row = r + 1;
        low_col = c + 1;
      }
    }
  EXPECT_EQ(active, 46);
  // The outlet (OUTROW 6, OUTCOL 8) is the lowest cell, on the southern edge.
  EXPECT_EQ(low_row, 6);
  EXPECT_EQ(low_col, 8);
  // A plane: 0.3 m per row to the south, 0.1 m per column to the east.
  EXPECT_NEAR(elev.values[0][0] - elev.values[5][7], 5 * 0.3 + 7 * 0.1, 1e-9);
}

}  // namespace
}  // namespace nivra
