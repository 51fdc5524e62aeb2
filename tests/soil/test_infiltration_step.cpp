// The infiltration step in whole runs of the plane on an infiltrating soil
// (examples/plane_infil): the rain that fell is the rain that infiltrated,
// left at the outlet or stands on the surface, in the test's own sums of
// the steps and in the run summary; the soil of the redistribution and
// layered schemes holds what entered it less what drained below it; a layered soil of one soil
// throughout takes what the single layer takes; bad soil inputs stop the
// run naming their card, map, file or cell; a cell that cannot converge
// stops it naming the cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>

#include "core/process.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "groundwater/groundwater_state.h"
#include "model/model_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/contaminant_setup.h"
#include "model/water_ledger.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "soil/infiltration_step.h"
#include "soil/soil_state.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::copy_example;
using testing::read_file;
using testing::set_card;
using testing::write_file;

class InfiltrationStep : public testing::process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    copy_example("plane_infil");
  }
};

// A map of the plane with one value everywhere but at one position.
std::string plane_map(double value, int row = 0, int col = 0, double other = 0.0) {
  std::string text = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
  char v[32];
  for (int r = 1; r <= 6; ++r) {
    for (int c = 1; c <= 8; ++c) {
      std::snprintf(v, sizeof v, "%g ", r == row && c == col ? other : value);
      text += v;
    }
    text += "\n";
  }
  return text;
}

// Water in the soil: the accounting layer and what waits to enter it (m3).
double soil_water(const model_state& ms) {
  const soil_state& s = ms.soil;
  double v = 0.0;
  for (int c = 1; c <= ms.grid.ncells && !s.sm_water.empty(); ++c)
    v += s.sm_water[c] / 100.0 + (s.sm_infil_in.empty() ? 0.0 : s.sm_infil_in[c]);
  return v * ms.grid.grid_size * ms.grid.grid_size;
}

// A storm run step by step with its volumes summed by the test: what each
// step added to the rain on the cells, the infiltration and the outlet.
struct summed_run {
  std::unique_ptr<model_state> ms;
  bool ended = false;
  double rain = 0.0, infiltration = 0.0, outlet = 0.0;
  double surface_end = 0.0, soil_start = 0.0, soil_end = 0.0;
  double soil_front_total = 0.0;  // the cells' cumulative infiltration at the end, m3
  double drained = 0.0, evaporated = 0.0;  // below the soil and out of it, m3
  std::string console;
};

summed_run run_summing_steps(const std::string& project) {
  summed_run r;
  r.ms = make_model_state();
  model_state& ms = *r.ms;
  const water_ledger& l = ms.ledger;
  CaptureStdout();
  bool going = set_up_run(ms, project, nullptr);
  r.soil_start = soil_water(ms);
  for (int steps = 0; going && steps < 100000; ++steps) {
    const double rain = l.run_total(water_flux::rainfall_to_overland);
    const double infiltration = l.run_total(water_flux::infiltration);
    const double outlet = l.run_total(water_flux::outlet_discharge);
    if (!run_time_step(ms)) break;
    r.rain += l.run_total(water_flux::rainfall_to_overland) - rain;
    r.infiltration += l.run_total(water_flux::infiltration) - infiltration;
    r.outlet += l.run_total(water_flux::outlet_discharge) - outlet;
    if (ms.clock.keep_running) continue;
    write_run_summary(ms);
    r.ended = process.error_block.stop == 0;
    break;
  }
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    r.surface_end += ms.overland.ov_depth[c] * area;
    r.soil_front_total += ms.soil.cum_infil[c] * area;
  }
  r.soil_end = soil_water(ms);
  r.drained = l.run_total(water_flux::unsaturated_down_flux);
  r.evaporated = l.run_total(water_flux::evaporation);
  close_all_files(ms);
  r.console = GetCapturedStdout();
  return r;
}

// The number after the label of a line of the run summary.
double summary_value(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no line " << label;
    return std::numeric_limits<double>::quiet_NaN();
  }
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

TEST_F(InfiltrationStep, TheRainIsTheInfiltrationTheOutletAndTheSurface) {
  for (const std::string project : {"plane_infil.prj", "plane_redist.prj", "plane_layered.prj"}) {
    SCOPED_TRACE(project);
    const summed_run r = run_summing_steps(project);
    ASSERT_TRUE(r.ended) << r.console;
    // One hour of 25 mm/h on 46 cells of 30 m; part of it runs off.
    EXPECT_NEAR(r.rain, 0.025 * 46 * 900.0, 1e-6);
    EXPECT_GT(r.infiltration, 0.5 * r.rain);
    EXPECT_GT(r.outlet, 0.1 * r.rain);
    EXPECT_NEAR(r.rain, r.infiltration + r.outlet + r.surface_end, 1e-9 * r.rain);
    // The infiltration booked is what the cells' fronts hold.
    EXPECT_NEAR(r.infiltration, r.soil_front_total, 1e-12 * r.rain);

    // The run summary, to its printed precision.
    const std::string sum = read_file(project.substr(0, project.size() - 3) + "sum");
    const double precip = summary_value(sum, "Total amount of precip=");
    const double infiltration = summary_value(sum, "Total amount of infiltration=");
    const double discharge = summary_value(sum, "Total amount of discharge=");
    const double surface = summary_value(sum, "Final volume on surface=");
    EXPECT_NEAR(precip - infiltration - discharge - surface, 0.0, 0.015);
    EXPECT_NEAR(infiltration, r.infiltration, 0.005);
    EXPECT_EQ(summary_value(sum, "Overall mass balance error ="), 0.0);
    EXPECT_EQ(summary_value(sum, "Mass balance error of surface components ="), 0.0);
  }
}

TEST_F(InfiltrationStep, TheSoilOfTheRedistributionAndLayeredSchemesHoldsWhatEnteredItLessWhatDrained) {
  const struct {
    const char* project;
    double soil_start;  // m3
    bool drains;        // the soil is wetter than its field capacity
  } cases[] = {
      // 40 cm of soil at a water content of 0.15 under each cell, with no
      // field capacity given: it drains.
      {"plane_redist.prj", 46 * 900.0 * 0.40 * 0.15, true},
      // The two upper layers of the soil classes: 5 cm at 0.15 over 30 cm
      // at 0.25, below their field capacities of 0.30 and 0.32: the rain
      // fills layer 1 past its field capacity, and what it sheds stays in
      // layer 2.
      {"plane_layered.prj", 46 * 900.0 * (0.05 * 0.15 + 0.30 * 0.25), false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.project);
    const summed_run r = run_summing_steps(k.project);
    ASSERT_TRUE(r.ended) << r.console;
    EXPECT_NEAR(r.soil_start, k.soil_start, 1e-9);
    if (k.drains) EXPECT_GT(r.drained, 0.0);
    else EXPECT_EQ(r.drained, 0.0);
    EXPECT_EQ(r.evaporated, 0.0);
    EXPECT_NEAR(r.soil_end - r.soil_start, r.infiltration - r.drained, 1e-9 * r.infiltration);
    const std::string project(k.project);
    const std::string sum = read_file(project.substr(0, project.size() - 3) + "sum");
    EXPECT_NEAR(summary_value(sum, "Initial volume in soil over simple soil depth"), r.soil_start, 0.005);
    EXPECT_NEAR(summary_value(sum, "Final volume in soil over simple soil depth"), r.soil_end, 0.005);
    EXPECT_EQ(summary_value(sum, "Simple soil moisture mass balance ="), 0.0);
  }
}

// The layered plane over a water table held where its map puts it: at the
// ground under the three northern rows (cells 1 to 22), 20 cm below it
// under the southern ones. Where the table stands at the ground the soil is
// saturated (every layer at its porosity), has no accounting layer and
// exfiltrates; elsewhere the accounting layer ends at the table: 5 cm of
// layer 1 at 0.15 over 15 cm of layer 2 at 0.25. Water that enters the
// saturated soil goes on into the table, and the balances close.
// A water table at the ground under the plane's three northern rows (cells
// 1 to 22) and 20 cm below it under the southern ones; returns its name.
std::string half_saturating_table() {
  const std::string ele = read_file("plane_infil.ele");
  std::string table = ele.substr(0, ele.find("rows:"));
  table += "rows: 6\ncols: 8\n";
  std::size_t at = ele.find('\n', ele.find("cols:")) + 1;
  for (int r = 1; r <= 6; ++r) {
    for (int c = 1; c <= 8; ++c) {
      char* end = nullptr;
      const double z = std::strtod(ele.c_str() + at, &end);
      at = static_cast<std::size_t>(end - ele.c_str());
      char v[32];
      std::snprintf(v, sizeof v, "%.2f ", r <= 3 ? z : z - 0.2);
      table += v;
    }
    table += "\n";
  }
  write_file("plane_infil.wt", table);
  return "plane_infil.wt";
}

// The redistribution soil over the same table: 40 cm of accounting layer
// at 0.15, cut to the 20 cm above the table in the south; saturated (the
// porosity 0.45), without a layer and exfiltrating in the north, where the
// fronts take no water. The balances close.
TEST_F(InfiltrationStep, TheRedistributionSoilOverAStaticTableIsSaturatedWhereTheTableReachesTheGround) {
  set_card("plane_redist.prj", "WATER_TABLE", "WATER_TABLE " + half_saturating_table());
  const testing::storm_run r = testing::run_storm("plane_redist.prj", [&](model_state& ms) {
    const soil_state& s = ms.soil;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      SCOPED_TRACE(c);
      const bool wet = c <= 22;
      EXPECT_NEAR(s.sm_depth[c], wet ? 0.0 : 20.0, 1e-9);
      EXPECT_NEAR(s.sm_water[c], wet ? 0.0 : 20.0 * 0.15, 1e-12);
      EXPECT_EQ(s.init_moisture[c], wet ? 0.45 : 0.15);
      EXPECT_EQ(ms.groundwater.yes_exfil[c], wet ? 1 : 0);
    }
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  for (int c = 1; c <= 22; ++c) EXPECT_EQ(ms.soil.cum_infil[c], 0.0) << c;
  EXPECT_GT(ms.ledger.run_total(water_flux::infiltration), 0.0);
  const std::string sum = read_file("plane_redist.sum");
  EXPECT_EQ(summary_value(sum, "Overall mass balance error ="), 0.0);
  EXPECT_EQ(summary_value(sum, "Mass balance error of surface components ="), 0.0);
}

// A table 5 cm above the ground in the three northern rows (the water
// rises onto the cells there until it stands 5 cm deep) and 0.5 m down in
// the others.
std::string table_above_the_north() {
  const std::string ele = read_file("plane_infil.ele");
  std::string table = ele.substr(0, ele.find("rows:")) + "rows: 6\ncols: 8\n";
  std::size_t at = ele.find('\n', ele.find("cols:")) + 1;
  for (int r = 1; r <= 6; ++r) {
    for (int c = 1; c <= 8; ++c) {
      char* end = nullptr;
      const double z = std::strtod(ele.c_str() + at, &end);
      at = static_cast<std::size_t>(end - ele.c_str());
      char v[32];
      std::snprintf(v, sizeof v, "%.2f ", r <= 3 ? z + 0.05 : z - 0.5);
      table += v;
    }
    table += "\n";
  }
  write_file("plane_infil.wt", table);
  return "plane_infil.wt";
}

TEST_F(InfiltrationStep, TheConstituentsTakeTheWaterThatInfiltratedAndExfiltratedCellByCell) {
  // The water each cell sent into the soil and took up from the table is
  // handed to the overland constituents; the table's water brings the
  // groundwater's concentration, straight onto the cells or, with a soil
  // column, up through its layers; every gram is in the books.
  set_card("plane_redist.prj", "WATER_TABLE", "WATER_TABLE " + table_above_the_north());
  set_card("plane_redist.prj", "OV_CON_TRANS", "OV_CON_TRANS");
  for (const bool column : {false, true}) {
    SCOPED_TRACE(column ? "with a soil column" : "without");
    set_card("plane_redist.prj", "SOIL_CON_TRANS", column ? "SOIL_CON_TRANS" : "# no soil column");
    reset_process_state();
    const testing::storm_run r = testing::run_storm("plane_redist.prj", [&](model_state& ms) {
      for (int c = 1; c <= ms.grid.ncells; ++c) ms.constituent.gw_conc(1, c) = 2.5;  // g/m3
    });
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    const constituent_state& k = ms.constituent;
    ASSERT_EQ(k.soil_contam_layers, column ? 1 : 0);
    double infiltrated = 0.0, exfiltrated = 0.0, pending = 0.0, in_layers = 0.0, pending_infil = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      infiltrated += k.ov_con_infil_vol[c];
      exfiltrated += k.ov_con_exfil_vol[c];
      pending += k.cell_exfil_mass(1, c);
      if (column) {
        in_layers += k.soil_mass(1, c, 1);
        pending_infil += k.soil_infil_mass(1, c);  // for the column's next step
      }
      // Only the northern cells, whose table stands above the ground, take
      // water from it.
      if (ms.grid.cell_row[c] > 3) {
        EXPECT_EQ(k.ov_con_exfil_vol[c], 0.0) << c;
      }
    }
    const double inf = ms.ledger.run_total(water_flux::infiltration);
    const double exf = ms.ledger.run_total(water_flux::exfiltration);
    ASSERT_GT(inf, 0.0);
    ASSERT_GT(exf, 0.0);
    EXPECT_NEAR(infiltrated, inf, 1e-9 * inf);
    EXPECT_NEAR(exfiltrated, exf, 1e-9 * exf);
    const mass_ledger& books = *k.mass_books;
    auto grams = [&](constituent_term t) { return books.run_total(1, row(t)) * 1000.0; };
    if (column) {
      // What rose from the table is in the layer, on the cells or waits
      // for the transport; no more than the table's concentration of the
      // water that rose.
      const double from_table = grams(constituent_term::seepage_from_water_table);
      EXPECT_GT(grams(constituent_term::exfiltration), 0.0);
      EXPECT_EQ(grams(constituent_term::groundwater_exfiltration), 0.0);
      // The layer also takes in what the water carries down where it
      // infiltrates downhill.
      EXPECT_NEAR(from_table + grams(constituent_term::infiltration) + grams(constituent_term::soil_negative_reset) -
                      grams(constituent_term::soil_decay) - grams(constituent_term::seepage_to_water_table),
                  grams(constituent_term::exfiltration) + in_layers + pending + pending_infil,
                  1e-9 * from_table);
      const mass_balance_sums soil = books.run_balance_of(1, {mass_compartment::soil_column});
      EXPECT_NEAR(soil.residual(), 0.0, 1e-12 * from_table);
      EXPECT_LE(from_table, 2.5 * exf * (1.0 + 1e-9));
    } else {
      EXPECT_NEAR(grams(constituent_term::groundwater_exfiltration) + pending, 2.5 * exf, 1e-9 * exf);
      EXPECT_EQ(grams(constituent_term::exfiltration), 0.0);
    }
    // The whole model: the water, the soil and the groundwater close.
    const mass_balance_sums whole = books.run_balance_of(
        1, {mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::groundwater});
    EXPECT_NEAR(whole.residual(), 0.0, 1e-12 * 2.5 * exf);
  }
}

TEST_F(InfiltrationStep, ALayeredSoilOverAStaticTableIsSaturatedWhereTheTableReachesTheGround) {
  set_card("plane_layered.prj", "WATER_TABLE", "WATER_TABLE " + half_saturating_table());
  double soil_start = 0.0;
  const testing::storm_run r = testing::run_storm("plane_layered.prj", [&](model_state& ms) {
    const soil_state& s = ms.soil;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      SCOPED_TRACE(c);
      const soil_class& k = ms.soil.soil_classes()[s.soiltype[c]];
      if (c <= 22) {
        EXPECT_EQ(s.sm_depth[c], 0.0);
        EXPECT_EQ(s.sm_water[c], 0.0);
        for (int j = 1; j <= 3; ++j) EXPECT_EQ(s.THETA_ML(c, j), k.porosity(j));
        EXPECT_EQ(ms.groundwater.yes_exfil[c], 1);
      } else {
        EXPECT_NEAR(s.sm_depth[c], 20.0, 1e-9);
        EXPECT_NEAR(s.sm_water_top[c], 5.0 * 0.15, 1e-12);
        EXPECT_NEAR(s.sm_water_bottom[c], 15.0 * 0.25, 1e-9);
        EXPECT_EQ(ms.groundwater.yes_exfil[c], 0);
      }
    }
    soil_start = soil_water(ms);
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  EXPECT_NEAR(soil_start, 24 * 900.0 * (0.05 * 0.15 + 0.15 * 0.25), 1e-9);
  for (int c = 1; c <= 22; ++c)
    for (int j = 1; j <= 3; ++j)
      EXPECT_EQ(ms.soil.THETA_ML(c, j), ms.soil.multilayer_soil_table[ms.soil.soiltype[c]].porosity(j));
  const water_ledger& l = ms.ledger;
  const double infiltration = l.run_total(water_flux::infiltration);
  const double drained = l.run_total(water_flux::unsaturated_down_flux);
  EXPECT_GT(drained, 0.0);
  EXPECT_NEAR(soil_water(ms) - soil_start, infiltration - drained, 1e-9 * infiltration);
  const std::string sum = read_file("plane_layered.sum");
  EXPECT_EQ(summary_value(sum, "Overall mass balance error ="), 0.0);
  EXPECT_EQ(summary_value(sum, "Mass balance error of surface components ="), 0.0);
}

// A soil table of two classes whose three layers are all the soil of
// plane_infil.prj (columns: conductivity cm/h, pore index, suction head cm,
// porosity, field capacity, wilting point, residual and initial water
// content, thickness cm), class 1 with the northern conductivity, class 2
// with the southern one.
std::string one_soil_table() {
  std::string text = "2\n3\n";
  const char* classes[][2] = {{"1", "0.2"}, {"2", "0.4"}};
  for (const auto& [id, ks] : classes) {
    text += std::string(id) + "\n";
    for (const char* thickness : {" 5.0", " 30.0", ""})
      text += std::string(ks) + " 0.25 10.0 0.45 0.30 0.10 0.05 0.15" + thickness + "\n";
  }
  return text;
}

TEST_F(InfiltrationStep, ALayeredSoilOfOneSoilThroughoutTakesWhatTheSingleLayerTakes) {
  // The front passes from layer to layer of the same soil: the harmonic
  // mean of equal conductivities is that conductivity, and the run books
  // the infiltration of the single-layer Green-Ampt run of the same soil.
  write_file("plane_layered.sol", one_soil_table());
  const testing::storm_run single = testing::run_storm("plane_infil.prj");
  const testing::storm_run layered = testing::run_storm("plane_layered.prj");
  ASSERT_TRUE(single.ended && layered.ended) << layered.console;
  const double F = single.ms->ledger.run_total(water_flux::infiltration);
  EXPECT_GT(F, 0.5 * 0.025 * 46 * 900.0);
  EXPECT_NEAR(layered.ms->ledger.run_total(water_flux::infiltration), F, 1e-6 * F);
  EXPECT_NEAR(layered.outlet_volume, single.outlet_volume, 1e-6 * F);
  // The fronts went below the 5 cm of layer 1.
  double deepest = 0.0;
  for (int c = 1; c <= 46; ++c) deepest = std::max(deepest, layered.ms->soil.wetdep[c]);
  EXPECT_GT(deepest, 5.0);
}

TEST_F(InfiltrationStep, ASecondRunInTheProcessRepeatsTheFirst) {
  const testing::storm_run first = testing::run_storm("plane_infil.prj");
  const testing::storm_run second = testing::run_storm("plane_infil.prj");
  ASSERT_TRUE(first.ended && second.ended);
  EXPECT_EQ(first.outlet_volume, second.outlet_volume);
  EXPECT_EQ(first.ms->ledger.run_total(water_flux::infiltration),
            second.ms->ledger.run_total(water_flux::infiltration));
}

TEST_F(InfiltrationStep, AUniformAreaReductionLetsPartOfEachCellInfiltrate) {
  const testing::storm_run whole = testing::run_storm("plane_infil.prj");
  set_card("plane_infil.prj", "UNIF_AREA_REDUCTION", "UNIF_AREA_REDUCTION 0.4");
  const testing::storm_run reduced = testing::run_storm("plane_infil.prj");
  ASSERT_TRUE(whole.ended && reduced.ended) << reduced.console;
  EXPECT_EQ(reduced.ms->soil.area_reduction[7], 0.6);
  const double less = reduced.ms->ledger.run_total(water_flux::infiltration);
  EXPECT_LT(less, whole.ms->ledger.run_total(water_flux::infiltration));
  EXPECT_NEAR(reduced.ms->ledger.run_total(water_flux::outlet_discharge) + less +
                  testing::water_on(*reduced.ms, 1, 46),
              0.025 * 46 * 900.0, 1e-9);
}

TEST_F(InfiltrationStep, AnInitialWaterContentAbovePorosityStopsTheRunButAHotstartIsLoweredToIt) {
  // Row 2, column 3 is the cell after the six of row 1 and two of row 2.
  write_file("plane_infil.moi", plane_map(0.15, 2, 3, 0.5));
  const testing::storm_run refused = testing::run_storm("plane_infil.prj", {}, 1);
  EXPECT_EQ(refused.steps, 0);
  EXPECT_NE(refused.console.find("Error: the MOISTURE map plane_infil.moi gives cell 9 (row 2, column 3) the initial "
                                 "water content 0.5, above its porosity 0.45 from the POROSITY map plane_infil.por"),
            std::string::npos)
      << refused.console;
  EXPECT_EQ(process.error_block.stop, 1);

  // The run's own surface water content, written as text, may round above
  // the porosity: a hotstart is lowered to it, with a warning.
  reset_process_state();
  write_file("plane_infil.moi", plane_map(0.15));
  write_file("wet.hot", plane_map(0.15, 2, 3, 0.5));
  set_card("plane_infil.prj", "READ_SM_HOTSTART", "READ_SM_HOTSTART wet.hot");
  const testing::storm_run r = testing::run_storm("plane_infil.prj", {}, 1);
  ASSERT_EQ(r.steps, 1) << r.console;
  EXPECT_NE(r.console.find("Warning: initial water content > phi at grid 9\n"), std::string::npos) << r.console;
  EXPECT_EQ(r.ms->soil.init_moisture[9], 0.45);
  EXPECT_EQ(r.ms->soil.init_moisture[10], 0.15);
  EXPECT_EQ(process.error_block.stop, 0);
}

TEST_F(InfiltrationStep, ACellThatDoesNotConvergeStopsTheRunNamingIt) {
  const testing::storm_run r = testing::run_storm(
      "plane_infil.prj", [](model_state& ms) { ms.soil.sat_hyd_cond[5] = std::numeric_limits<double>::quiet_NaN(); });
  EXPECT_FALSE(r.ended);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_LT(r.steps, 5);
  EXPECT_NE(r.console.find("Green and Ampt infiltration of cell 5 did not converge"), std::string::npos) << r.console;
}

TEST_F(InfiltrationStep, TheLayeredSetUpFillsTheAccountingLayerAndRefusesAClassWithoutPores) {
  // Two cells of soil class 4: layers of 10 and 30 cm at water contents
  // 0.2 and 0.3; the accounting layer is the two upper layers.
  auto ms = make_model_state();
  ms->grid.ncells = 2;
  soil_state& s = ms->soil;
  s.inf_layered_soil = s.sm_accounting = 1;
  for (array1d<double>* a : {&s.inf_rate, &s.wetdep, &s.sm_depth, &s.sm_water, &s.sm_water_top, &s.sm_water_bottom})
    a->alloc(2);
  s.soiltype.alloc(2);
  s.THETA_ML.alloc(2, 4);
  soil_class& k = s.soil_classes()[4];
  for (int j = 1; j <= 3; ++j) {
    k.real(j) = 10.0;       // suction, cm
    k.real(4 + j) = 1.0;    // conductivity, cm/h
    k.real(7 + j) = 0.45;   // porosity
  }
  k.real(23) = 10.0;
  k.real(24) = 30.0;
  for (int c = 1; c <= 2; ++c) {
    s.soiltype[c] = 4;
    s.THETA_ML(c, 1) = 0.2;
    s.THETA_ML(c, 2) = 0.3;
  }
  init_infiltration_state(*ms);
  ASSERT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(s.sm_depth[2], 40.0);
  EXPECT_DOUBLE_EQ(s.sm_water_top[2], 2.0);
  EXPECT_DOUBLE_EQ(s.sm_water[2], 2.0 + 9.0);
  EXPECT_EQ(s.cum_infil.size(), 2);

  k.real(9) = 0.0;  // layer 2 without pores
  CaptureStdout();
  init_infiltration_state(*ms);
  EXPECT_NE(GetCapturedStdout().find("Error: layer 2 of soil class 4 (cell 1)"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

// Water reaching a dry surface between the events of a long-term run
// (groundwater at the ground, snowmelt) wakes the surface processes: at
// 30 s model steps every clock that follows the surface is due at the next
// step, the layered soils take their layers' water from the accounting
// layer (top zone 1.5 cm over the 10 cm of layer 1, bottom zone 6 cm over
// the 30 cm of layer 2), and a sleeping pipe network with an inlet wakes.
// Water that reaches a sleeping surface from the pipes or the aquifer
// restarts the overland clock; the constituent clocks follow it, those of
// the contaminant table only when the table was read, and the outlet's of
// the scheme in use.
TEST_F(InfiltrationStep, TheConstituentClocksFollowARestartedOverlandClock) {
  for (const bool table : {false, true}) {
    auto ms = make_model_state();
    clock_state& clock = ms->clock;
    clock.ov_last_time = 2460000.5;
    clock.ov_next_time = 2460000.5 + 30.0 / 86400.0;
    for (process_clock* c : {&clock.ov_con_clock, &clock.soil_con_clock, &clock.ov_outlet_con_clock,
                             &clock.chan_outlet_con_clock, &clock.contam_table_clock, &clock.contam_table_soil_clock})
      c->next_time = c->last_time = clock_parked;
    constituent_clocks_follow_overland(*ms);  // no constituents: nothing follows
    EXPECT_EQ(clock.ov_con_clock.next_time, clock_parked);
    ms->constituent.ov_con_trans = 1;
    ms->constituent.contam_table_input = table ? 1 : 0;
    constituent_clocks_follow_overland(*ms);
    for (process_clock* c : {&clock.ov_con_clock, &clock.soil_con_clock, &clock.ov_outlet_con_clock}) {
      EXPECT_EQ(c->next_time, clock.ov_next_time);
      EXPECT_EQ(c->last_time, clock.ov_last_time);
    }
    EXPECT_EQ(clock.chan_outlet_con_clock.next_time, clock_parked);
    for (process_clock* c : {&clock.contam_table_clock, &clock.contam_table_soil_clock})
      EXPECT_EQ(c->next_time, table ? clock.ov_next_time : clock_parked) << table;
  }
}

// Once the surface is dry between the events of a long-term run, the
// infiltration step sleeps until one overland step into the next event,
// and the constituents of the surface water with it: the overland,
// outlet and table clocks. The soil column keeps the accounting's clock,
// and overland point sources keep the constituent clock awake.
TEST_F(InfiltrationStep, TheSurfaceConstituentsSleepWithTheInfiltrationBetweenEvents) {
  for (const bool sources : {false, true}) {
    auto ms = make_model_state();
    ms->grid.ncells = 1;
    clock_state& clock = ms->clock;
    clock.long_term = 1;
    clock.model_time = clock.inf_next_time = clock.inf_last_time = 2460000.5;  // due, nothing to move
    clock.time_tol = due_tolerance_days;
    clock.ov_dt_days = 30.0 / 86400.0;
    clock.num_events = 2;
    clock.event_times = {2460000.0, 2460003.0};
    clock.event_index = 1;
    clock.event_active = 0;
    soil_state& s = ms->soil;
    s.green_ampt = s.sm_accounting = 1;
    s.cum_infil.alloc(1);
    s.cum_infil_prev.alloc(1);
    constituent_state& k = ms->constituent;
    k.ov_con_trans = k.contam_table_input = k.soil_con_trans = 1;
    k.ov_point_source_given = sources ? 1 : 0;
    const double soon = clock.model_time + clock.ov_dt_days;
    for (process_clock* c : {&clock.ov_con_clock, &clock.soil_con_clock, &clock.ov_outlet_con_clock,
                             &clock.chan_outlet_con_clock, &clock.contam_table_clock, &clock.contam_table_soil_clock})
      c->next_time = soon;
    infiltration_step(*ms);
    ASSERT_FALSE(process.error_block.stop);
    const double wake = 2460003.0 + clock.ov_dt_days;
    EXPECT_DOUBLE_EQ(clock.inf_next_time, wake);
    for (process_clock* c : {&clock.ov_con_clock, &clock.ov_outlet_con_clock, &clock.contam_table_clock,
                             &clock.contam_table_soil_clock})
      EXPECT_DOUBLE_EQ(c->next_time, sources ? soon : wake) << sources;
    EXPECT_EQ(clock.soil_con_clock.next_time, soon);
    EXPECT_EQ(clock.chan_outlet_con_clock.next_time, soon);
  }
}

TEST_F(InfiltrationStep, WaterOnADrySurfaceBetweenEventsWakesTheSurfaceProcesses) {
  auto ms = make_model_state();
  ms->grid.ncells = 2;
  clock_state& clock = ms->clock;
  clock.long_term = 1;
  clock.base_dt = 30.0;
  clock.model_time = 2460000.5;
  clock.ov_next_time = clock.inf_next_time = clock.soilmoist_next_time = clock.sl_next_time = clock_parked;
  soil_state& s = ms->soil;
  s.inf_layered_soil = s.sm_accounting = 1;
  for (array1d<double>* a : {&s.inf_rate, &s.wetdep, &s.sm_depth, &s.sm_water, &s.sm_water_top, &s.sm_water_bottom,
                             &s.cum_infil, &s.cum_infil_prev})
    a->alloc(2);
  s.soiltype.alloc(2);
  s.THETA_ML.alloc(2, 4);
  soil_class& k = s.soil_classes()[4];
  for (int j = 1; j <= 3; ++j) k.real(7 + j) = 0.45;  // porosity
  k.real(23) = 10.0;
  k.real(24) = 30.0;
  for (int c = 1; c <= 2; ++c) {
    s.soiltype[c] = 4;
    s.sm_depth[c] = 40.0;
    s.sm_water_top[c] = 1.5;
    s.sm_water_bottom[c] = 6.0;
    s.sm_water[c] = 7.5;
  }
  s.sm_depth[2] = 0.0;  // the table at the ground: the layers are full
  pipe_state& p = ms->pipe;
  p.storm_sewer_given = 1;
  p.num_sjunc = 2;
  p.sjunc_inlet.alloc(2);
  p.sjunc_inlet[2] = pipe_inlet::open;
  constituent_state& q = ms->constituent;
  q.ov_con_trans = q.contam_table_input = q.soil_con_trans = 1;
  for (process_clock* c : {&clock.ov_con_clock, &clock.soil_con_clock, &clock.ov_outlet_con_clock,
                           &clock.chan_outlet_con_clock, &clock.contam_table_clock, &clock.contam_table_soil_clock})
    c->next_time = c->last_time = clock_parked;
  wake_surface_processes(*ms);
  const double next = clock.model_time + 30.0 / 86400.0;
  // The constituent clocks restart with the surface: the overland ones on
  // the model step, the soil column's with the accounting, the outlet's of
  // the overland outlet (no channels).
  for (process_clock* c : {&clock.ov_con_clock, &clock.ov_outlet_con_clock, &clock.contam_table_clock,
                           &clock.contam_table_soil_clock}) {
    EXPECT_DOUBLE_EQ(c->next_time, next);
    EXPECT_EQ(c->last_time, clock.model_time);
    EXPECT_EQ(c->dt, 30.0);
  }
  EXPECT_DOUBLE_EQ(clock.soil_con_clock.next_time, next);
  EXPECT_EQ(clock.chan_outlet_con_clock.next_time, clock_parked);
  EXPECT_EQ(ms->overland.ov_water_at_start, 1);
  for (const double t : {clock.ov_next_time, clock.inf_next_time, clock.soilmoist_next_time, clock.sl_next_time})
    EXPECT_DOUBLE_EQ(t, next);
  EXPECT_EQ(clock.inf_dt, 30.0);
  EXPECT_EQ(clock.superlink_active, 1);
  EXPECT_DOUBLE_EQ(s.THETA_ML(1, 1), 0.15);
  EXPECT_DOUBLE_EQ(s.THETA_ML(1, 2), 0.2);
  EXPECT_DOUBLE_EQ(s.THETA_ML(2, 1), 0.45);
  EXPECT_DOUBLE_EQ(s.THETA_ML(2, 2), 0.45);
  // A network whose junctions have no inlet stays asleep.
  clock.superlink_active = 0;
  clock.sl_next_time = clock_parked;
  ms->overland.ov_water_at_start = 0;
  p.sjunc_inlet[2] = pipe_inlet::to_channel;
  wake_surface_processes(*ms);
  EXPECT_EQ(clock.superlink_active, 0);
  EXPECT_EQ(clock.sl_next_time, clock_parked);
}

struct bad_case {
  const char* what;
  std::function<void()> make;
  const char* message;  // on the console or the error stream
};

TEST_F(InfiltrationStep, BadSoilInputsStopTheRunNamingTheirCardMapOrCell) {
  const std::string project = read_file("plane_infil.prj");
  const std::string redist = read_file("plane_redist.prj");
  const std::string layered = read_file("plane_layered.prj");
  const bad_case cases[] = {
      {"no conductivity map", [] { set_card("plane_infil.prj", "CONDUCTIVITY", "# none"); },
       "For Green and Ampt infiltration, saturated hydraulic conductivity map must be specified (the "
       "CONDUCTIVITY card)"},
      {"a negative conductivity", [] { write_file("plane_infil.ks", plane_map(0.2, 2, 3, -0.1)); },
       "the map plane_infil.ks holds -0.1 at row 2, column 3"},
      {"a porosity above 1", [] { write_file("plane_infil.por", plane_map(0.45, 4, 4, 1.2)); },
       "the map plane_infil.por holds 1.2 at row 4, column 4"},
      {"a conductivity that is not a number", [] { write_file("plane_infil.ks", plane_map(0.2, 1, 5, NAN)); },
       "the map plane_infil.ks holds nan at row 1, column 5"},
      {"redistribution without its pore index",
       [&] {
         std::string text = redist;
         text.erase(text.find("PORE_INDEX"), text.find('\n', text.find("PORE_INDEX")) - text.find("PORE_INDEX") + 1);
         write_file("plane_infil.prj", text);
       },
       "For infiltration redistribution, pore index map must be specified"},
      {"a residual saturation at the porosity",
       [&] {
         write_file("plane_infil.prj", redist);
         write_file("plane_infil.rsd", plane_map(0.05, 3, 1, 0.45));
       },
       "Error: the residual saturation of cell 15 (0.45) is not below its porosity (0.45)."},
      {"a layered soil table that is not one",
       [&] {
         write_file("plane_infil.prj", layered);
         write_file("plane_layered.sol", read_file("plane_infil.hc"));
       },
       "Error: line 1 of the soil table plane_layered.sol holds north: where the number of soil classes (a whole "
       "number) is due"},
      {"a cell of a soil class the table lacks",
       [&] {
         write_file("plane_infil.prj", layered);
         write_file("plane_layered.soi", plane_map(1.0, 5, 2, 3.0));
       },
       "Error: the soil map plane_layered.soi gives the cell at row 5, column 2 the soil class 3, which the soil "
       "table plane_layered.sol does not define"},
      {"a soil layer without pores",
       [&] {
         write_file("plane_infil.prj", layered);
         std::string table = read_file("plane_layered.sol");
         table.replace(table.find("0.40"), 4, "0.00");
         write_file("plane_layered.sol", table);
       },
       "Error: line 5 of the soil table plane_layered.sol gives layer 2 a porosity (value 4) outside (0, 1]"},
      {"a soil layer wetter than its pores hold",
       [&] {
         write_file("plane_infil.prj", layered);
         std::string table = read_file("plane_layered.sol");
         table.replace(table.rfind("0.30"), 4, "0.41");
         write_file("plane_layered.sol", table);
       },
       "Error: line 10 of the soil table plane_layered.sol gives layer 3 an initial water content (value 8) outside "
       "[0, its porosity]"},
      {"a water table map that is not one",
       [&] {
         write_file("plane_infil.prj", layered);
         set_card("plane_infil.prj", "WATER_TABLE", "WATER_TABLE plane_layered.sol");
       },
       "plane_layered.sol"},
      {"an area reduction without its map", [] { set_card("plane_infil.prj", "AREA_REDUCTION", "AREA_REDUCTION"); },
       "the AREA_REDUCTION card needs the name of its map, the UNIF_AREA_REDUCTION card or an AREA_REDUCTION table "
       "in the mapping table"},
  };
  for (const bad_case& k : cases) {
    SCOPED_TRACE(k.what);
    reset_process_state();
    copy_example("plane_infil");
    write_file("plane_infil.prj", project);
    k.make();
    CaptureStderr();
    const testing::storm_run r = testing::run_storm("plane_infil.prj", {}, 1);
    const std::string errors = GetCapturedStderr();
    EXPECT_EQ(r.steps, 0);
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_NE((r.console + errors).find(k.message), std::string::npos) << r.console << errors;
  }
}

}  // namespace
}  // namespace nivra
