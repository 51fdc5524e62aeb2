// The bundled example whose roughness and retention come from a mapping
// table through a land-use index map: the whole program runs it and its
// books close; the map phase gives every cell its land use's values in
// metres; its Green-Ampt variant takes its soil from the soil tables (in
// m/s and m, a map over the table, the initial moisture kept within the
// porosity) and runs to its end, the rain that fell being the rain that
// infiltrated, left at the outlet or stands on the surface.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "command/command_line.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "inputs/surface_maps.h"
#include "model/model_state.h"
#include "model/open_files.h"
#include "model/project.h"
#include "model/run_parameters.h"
#include "model/water_ledger.h"
#include "run/map_phase.h"
#include "run/run_test_support.h"
#include "soil/soil_state.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::read_file;
using testing::write_file;

class ExampleMapped : public testing::process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    const auto from = std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / "mapped";
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::copy_file(entry.path(), entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
  }

  // The project read and copied, its files opened and its maps read.
  static std::unique_ptr<model_state> map_phase(std::string& console) {
    auto ms = make_model_state();
    CaptureStdout();
    read_run_parameters("mapped.prj", *ms);
    if (!process.error_block.stop) open_project_files(*ms);
    if (!process.error_block.stop) read_input_maps(*ms);
    console = GetCapturedStdout();
    return ms;
  }

  // The land use and soil of every cell, row by row, from the index maps.
  static std::vector<int> ids_of_cells(const std::string& map) {
    std::vector<int> ids{0};
    const std::string mask = read_file("mapped.msk"), text = read_file(map);
    auto body = [](const std::string& t) {
      std::size_t at = 0;
      for (int line = 0; line < 6; ++line) at = t.find('\n', at) + 1;
      return t.substr(at);
    };
    std::istringstream m(body(mask)), v(body(text));
    int in = 0, id = 0;
    while (m >> in && v >> id)
      if (in) ids.push_back(id);
    return ids;
  }
};

// The whole program on a project, its console kept.
int run_program(std::string project, std::string& console) {
  std::string program = "nivra";
  char* argv[] = {program.data(), project.data(), nullptr};
  CaptureStdout();
  const int status = nivra_main(2, argv);
  console = GetCapturedStdout();
  return status;
}

double summary_value(const std::string& summary, const std::string& label) {
  const std::size_t at = summary.find(label);
  EXPECT_NE(at, std::string::npos) << label;
  return at == std::string::npos ? 0.0 : std::stod(summary.substr(at + label.size()));
}

TEST_F(ExampleMapped, RunsWithRoughnessAndRetentionFromItsTable) {
  std::string out;
  const int status = run_program("mapped.prj", out);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("  Roughness..........................Y\n"), std::string::npos) << out;
  EXPECT_NE(out.find("reading roughness table and map from master table file\n"), std::string::npos);

  const std::string summary = read_file("mapped.sum");
  const double rain = summary_value(summary, "volume of rainfall to overland:");
  const double out_vol = summary_value(summary, "volume of discharge:");
  const double left = summary_value(summary, "volume remaining on surface:");
  // 76 cells of 900 m2 under 25 mm for an hour.
  EXPECT_NEAR(rain, 76 * 900.0 * 0.025, 0.1);
  EXPECT_NEAR(rain, out_vol + left, 1e-6 * rain);
  // The retention the table gives (5, 2.5 and 1 mm on 26, 35 and 15
  // cells) is still held when the run ends.
  EXPECT_GE(left, 900.0 * (26 * 0.005 + 35 * 0.0025 + 15 * 0.001));
}

TEST_F(ExampleMapped, TheInfiltrationVariantRunsWithItsSoilFromTheTables) {
  std::string out;
  const int status = run_program("mapped_infil.prj", out);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("reading saturated hydraulic conductivity table and map from the master table file\n"),
            std::string::npos);

  // The run summary, to its printed precision: 76 cells of 900 m2 under
  // 25 mm for an hour; the loam takes most of it.
  const std::string summary = read_file("mapped_infil.sum");
  const double rain = summary_value(summary, "Total amount of precip=");
  const double infiltration = summary_value(summary, "Total amount of infiltration=");
  const double discharge = summary_value(summary, "Total amount of discharge=");
  const double surface = summary_value(summary, "Final volume on surface=");
  EXPECT_NEAR(rain, 76 * 900.0 * 0.025, 0.005);
  EXPECT_GT(infiltration, 0.5 * rain);
  EXPECT_GT(discharge, 0.1 * rain);
  EXPECT_NEAR(rain - infiltration - discharge - surface, 0.0, 0.015);
  EXPECT_EQ(summary_value(summary, "Overall mass balance error ="), 0.0);
}

TEST_F(ExampleMapped, EveryCellTakesItsLandUsesValuesInMetres) {
  std::string console;
  auto ms = map_phase(console);
  ASSERT_FALSE(process.error_block.stop) << console;
  const std::vector<int> land_use = ids_of_cells("landuse.idx");
  ASSERT_EQ(static_cast<int>(land_use.size()) - 1, ms->grid.ncells);
  const double manning_n[] = {0, 0.150, 0.060, 0.015};
  const double retention_m[] = {0, 0.005, 0.0025, 0.001};
  for (int c = 1; c <= ms->grid.ncells; ++c) {
    EXPECT_EQ(ms->overland.dist_rough[c], manning_n[land_use[c]]) << c;
    EXPECT_DOUBLE_EQ(ms->overland.retent_dep[c], retention_m[land_use[c]]) << c;
  }
}

TEST_F(ExampleMapped, GreenAmptVariantReadsItsSoilTableIntoTheCellsAndRunsToItsEnd) {
  // The clay starts saturated, its initial moisture at its porosity (above
  // it the run would stop); the conductivity has its own map, which wins
  // over the table.
  std::string table = read_file("mapped.cmt");
  table.replace(table.rfind("0.30"), 4, "0.475");
  write_file("mapped.cmt", table);
  std::string ks = read_file("mapped.ele").substr(0, read_file("mapped.ele").find("rows"));
  ks += "rows: 8\ncols: 10\n";
  for (int r = 0; r < 8; ++r) ks += "3.6 3.6 3.6 3.6 3.6 7.2 7.2 7.2 7.2 7.2\n";
  write_file("ks.map", ks);
  write_file("mapped_infil.prj", read_file("mapped_infil.prj") + "CONDUCTIVITY ks.map\n");

  const testing::storm_run r = testing::run_storm("mapped_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const std::string& console = r.console;
  EXPECT_NE(console.find("reading saturated hydraulic conductivity map from file: ks.map\n"), std::string::npos)
      << console;
  const model_state& ms = *r.ms;
  const water_ledger& l = ms.ledger;
  const double rain = l.run_total(water_flux::rainfall_to_overland);
  const double infiltration = l.run_total(water_flux::infiltration);
  EXPECT_NEAR(rain, 76 * 900.0 * 0.025, 1e-9);
  EXPECT_GT(infiltration, 0.5 * rain);
  EXPECT_NEAR(rain, infiltration + l.run_total(water_flux::outlet_discharge) + testing::water_on(ms, 1, 76),
              1e-9 * rain);

  const std::vector<int> soil = ids_of_cells("soils.idx");
  const soil_state& s = ms.soil;
  // Loam and clay: capillary head (cm), porosity, pore index, residual
  // saturation, initial moisture.
  const double hc[] = {0, 8.89, 31.63}, phi[] = {0, 0.434, 0.475}, lambda[] = {0, 0.252, 0.165},
               resid[] = {0, 0.027, 0.090}, theta[] = {0, 0.20, 0.475};
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const int k = soil[c];
    const double ks_cm_h = ms.grid.cell_col[c] <= 5 ? 3.6 : 7.2;
    EXPECT_DOUBLE_EQ(s.sat_hyd_cond[c], ks_cm_h / 360000.0) << c;  // 3.6 cm/h is 1e-5 m/s
    EXPECT_DOUBLE_EQ(s.capillary_head[c], hc[k] / 100.0) << c;
    EXPECT_EQ(s.soil_porosity[c], phi[k]) << c;
    EXPECT_EQ(s.pore_dist_index[c], lambda[k]) << c;
    EXPECT_EQ(s.resid_sat[c], resid[k]) << c;
    EXPECT_EQ(s.init_moisture[c], theta[k]) << c;
    EXPECT_EQ(s.surface_moisture[c], theta[k]) << c;
  }
  EXPECT_EQ(s.sat_hyd_cond[1], 1e-5);
  EXPECT_EQ(console.find("initial water content"), std::string::npos) << console;
}

}  // namespace
}  // namespace nivra
