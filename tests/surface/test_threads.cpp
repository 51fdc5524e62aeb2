// The overland routing on several threads: every scheme, and the overland
// step around it, gives the same bits on 1, 2, 4 and 8 threads, on grids
// whose passes are split into many parts (rough ground; a mask with holes,
// dikes and blocked cells; rough ground with every kind of boundary cell),
// and whole runs give the same files whatever NUM_THREADS says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/elevation_series.h"
#include "core/process.h"
#include "core/time_series.h"
#include "grid_fixture.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

// Ground falling 0.5 % to the south and 1 % to the east with up to 0.3 m of
// random relief: pits that fill, cells that empty within a sub-step.
double rough(int r, int c) { return 100.0 - 0.05 * r - 0.1 * c + 0.3 * noise(r, c); }

enum class grid_kind { rough, holes_dikes_blocks, boundaries };

struct scheme_case {
  const char* name;
  int overtype;
};
const scheme_case schemes[] = {{"explicit", overland_scheme::explicit_faces},
                               {"ade", overland_scheme::ade},
                               {"ade_pc", overland_scheme::ade_pc}};

// What a run of overland steps leaves: every depth and face discharge, the
// outlet volume, the sub-steps taken and the cells they stepped, and what
// the books fail to close by (m3).
struct outcome {
  std::vector<double> depth, qx, qy;
  double outlet = 0.0;
  double unbooked = 0.0;
  long long substeps = 0;
  long long cell_updates = 0;
  long long cells = 0;
};

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Every kind of overland boundary cell on the rough ground: the southern
// row drains by normal depth (the outlet at its end), a fixed level and a
// level series hold two cells, a discharge enters at the top and one
// leaves lower down, a rating exchange and a rating outflow pass water to
// their receivers.
void add_every_boundary(model_state& ms) {
  overland_state& ov = ms.overland;
  const int n = ms.grid.ncells;
  ov.ov_boundary = 1;
  for (auto* a : {&ov.ov_bc_value, &ov.bc_value}) a->alloc(n);
  ov.boundary_type.alloc(n);
  ov.ov_bc_rating_series.alloc(n);
  auto set = [&](int r, int c, int type, double value) {
    const int k = cell_at(ms, r, c);
    ov.boundary_type[k] = type;
    ov.ov_bc_value[k] = value;
  };
  for (int c = 1; c < 33; ++c) set(30, c, boundary::normal_depth, 0.01);
  // Levels 5 and 4 cm above the ground.
  set(12, 12, boundary::fixed_level, ms.grid.elevation[cell_at(ms, 12, 12)] + 0.05);
  const double series_level = ms.grid.elevation[cell_at(ms, 20, 5)] + 0.04;
  add_index_series(1, {{0.0, series_level}, {1.0, series_level}});
  set(20, 5, boundary::level_series, 1);
  add_index_series(2, {{0.0, 0.05}, {1.0, 0.05}});
  set(1, 16, boundary::discharge_cms, 2);
  add_index_series(3, {{0.0, -0.02}, {1.0, -0.02}});
  set(15, 25, boundary::discharge_cms, 3);
  elevation_series* es = new_elev_series();
  es->name = "two per metre";
  es->x = {0.0, 1.0};
  es->y = {0.0, 2.0};
  es->count = 2;
  set(8, 8, boundary::rating_exchange, 0);
  set(8, 9, boundary::rating_receiver, 0);
  set(24, 20, boundary::rating_outflow, 0);
  set(24, 21, boundary::rating_receiver, 0);
  set(25, 20, boundary::rating_receiver, 0);
  for (const int k : {cell_at(ms, 8, 8), cell_at(ms, 24, 20)}) ov.ov_bc_rating_series[k] = 1;
}

// 10 minutes of storm on 10 s steps (8 of rain at 80 mm/h) through the
// overland step, its passes split into parts of 8 cells among `threads`.
constexpr int storm_steps = 60;

outcome storm(int overtype, grid_kind kind, int threads) {
  reset_process_state();
  test_grid g;
  g.rows = 30;
  g.cols = 33;
  g.ground = rough;
  g.out_row = 30;
  g.out_col = 33;
  g.outlet_slope = 0.01;
  if (kind == grid_kind::holes_dikes_blocks)
    for (int r = 5; r <= 26; r += 3) g.holes.push_back({r, 7 + r % 11});
  auto ms = make_grid(g);
  ms->overland.overtype = overtype;
  ms->project.quiet = 1;
  if (kind == grid_kind::holes_dikes_blocks) {
    // A dike along a column and one along a row; buildings on some cells.
    ms->grid.dike_map_given = 1;
    ms->grid.dike_mask.alloc(ms->grid.ncells);
    for (int r = 3; r <= 20; ++r)
      if (const int c = cell_at(*ms, r, 20)) ms->grid.dike_mask[c] |= cell_side::right;
    for (int c = 10; c <= 28; ++c)
      if (const int k = cell_at(*ms, 25, c)) ms->grid.dike_mask[k] |= cell_side::bottom;
    ms->overland.ovr_flow_block = 1;
    ms->overland.ovr_flow_block_cell.alloc(ms->grid.ncells);
    ms->overland.ovr_flow_block_frac.alloc(ms->grid.ncells, 4);
    for (int c = 1; c <= ms->grid.ncells; ++c) ms->overland.ovr_flow_block_cell[c] = 0.6 * noise(c, 3);
  }
  if (kind == grid_kind::boundaries) add_every_boundary(*ms);
  ms->overland.crew.resize(threads);
  ms->overland.part_cells = threads == 1 ? 1 << 30 : 8;
  outcome o;
  double rained = 0.0, held_before_last = 0.0;
  const int held = kind == grid_kind::boundaries ? cell_at(*ms, 12, 12) : 0;
  for (int step = 0; step < storm_steps && process.error_block.code == 0; ++step) {
    if (step < 48) rained += rain(*ms, 80.0 / 3600000.0 * 10.0);
    held_before_last = ms->overland.ov_depth[held];
    o.outlet += overland_step(*ms, 10.0);
  }
  EXPECT_EQ(process.error_block.code, 0);
  // The books (with every cell open: the rain and the water on blocked
  // cells fall on their open part only).
  const water_ledger& l = ms->ledger;
  double in = rained, out = o.outlet;
  for (water_flux f : {water_flux::head_boundary_in, water_flux::discharge_boundary_in}) in += l.run_total(f);
  for (water_flux f : {water_flux::head_boundary_out, water_flux::slope_boundary_out, water_flux::discharge_boundary_out})
    out += l.run_total(f);
  o.unbooked = in - out - stored_volume(*ms);
  if (kind == grid_kind::boundaries) {
    EXPECT_GT(l.run_total(water_flux::slope_boundary_out), 0.0);
  }
  if (kind == grid_kind::boundaries && overtype != overland_scheme::explicit_faces) {
    // The ADE schemes hold the levels through the routing: the series' 4 cm
    // and, through the last (rainless) step, the fixed level's depth.
    EXPECT_NEAR(ms->overland.ov_depth[cell_at(*ms, 20, 5)], 0.04, 1e-12);
    EXPECT_EQ(ms->overland.ov_depth[held], held_before_last);
  }
  const int n = ms->grid.ncells;
  o.depth.assign(ms->overland.ov_depth.data() + 1, ms->overland.ov_depth.data() + n + 1);
  o.qx.assign(ms->overland.ov_qx.data() + 1, ms->overland.ov_qx.data() + n + 1);
  o.qy.assign(ms->overland.ov_qy.data() + 1, ms->overland.ov_qy.data() + n + 1);
  o.substeps = overtype == overland_scheme::explicit_faces ? ms->overland.explicit_kernel.substeps
                                                          : ms->overland.ade_kernel.substeps;
  o.cell_updates = overtype == overland_scheme::explicit_faces ? ms->overland.explicit_kernel.cell_updates
                                                              : ms->overland.ade_kernel.cell_updates;
  o.cells = n;
  return o;
}

using overland_threads = process_test;

TEST_F(overland_threads, every_scheme_gives_the_same_bits_on_any_number_of_threads) {
  for (const scheme_case& sc : schemes) {
    for (grid_kind kind : {grid_kind::rough, grid_kind::holes_dikes_blocks, grid_kind::boundaries}) {
      SCOPED_TRACE(std::string(sc.name) + " grid " + std::to_string(static_cast<int>(kind)));
      const outcome one = storm(sc.overtype, kind, 1);
      EXPECT_GT(one.outlet, 0.0);
      if (kind != grid_kind::holes_dikes_blocks) {
        EXPECT_NEAR(one.unbooked, 0.0, 1e-9);
      }
      EXPECT_GT(one.substeps, storm_steps);  // the storm takes the schemes below the step
      // The pits fill deep and flat: their blocks of cells take shorter
      // sub-steps than the rest, so some passes step part of the grid (on
      // the plain grid, boundary cells or not; a grid with blocked cells
      // steps the whole grid every sub-step).
      if (sc.overtype == overland_scheme::explicit_faces || kind != grid_kind::holes_dikes_blocks) {
        EXPECT_LT(one.cell_updates, one.substeps * one.cells);
      }
      for (int threads : {2, 4, 8}) {
        SCOPED_TRACE(threads);
        const outcome many = storm(sc.overtype, kind, threads);
        EXPECT_TRUE(same_bits(many.depth, one.depth));
        EXPECT_TRUE(same_bits(many.qx, one.qx));
        EXPECT_TRUE(same_bits(many.qy, one.qy));
        EXPECT_EQ(std::memcmp(&many.outlet, &one.outlet, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&many.unbooked, &one.unbooked, sizeof(double)), 0);
        EXPECT_EQ(many.substeps, one.substeps);
        EXPECT_EQ(many.cell_updates, one.cell_updates);
      }
    }
  }
}

// A rough watershed of 130 x 130 cells (its passes split in two) and the
// bundled examples through the whole program: the summary and the outlet
// hydrograph do not depend on NUM_THREADS.
void write_rough_watershed(const char* overtype) {
  write_ground_maps(130, rough);
  write_file("rough.prj", std::string("NIVRAPROJECT\nWATERSHED_MASK rough.msk\nELEVATION rough.ele\n") +
                              "ROWS 130\nCOLS 130\nGRIDSIZE 10.0\nOUTROW 130\nOUTCOL 130\nOUTSLOPE 0.01\n"
                              "MANNING_N 0.03\nOVERTYPE " + overtype +
                              "\nTOT_TIME 6\nTIMESTEP 10.0\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\n"
                              "PRECIP_UNIF\nRAIN_INTENSITY 80.0\nRAIN_DURATION 5\nHYD_FREQ 1.0\n"
                              "SUMMARY rough.sum\nOUTLET_HYDRO rough.otl\n");
}

// The summary without the lines that give times of the computer.
std::string summary_without_times(const std::string& path) {
  std::string kept, line;
  for (char ch : read_file(path)) {
    if (ch != '\n') {
      line += ch;
      continue;
    }
    if (line.find("time") == std::string::npos) kept += line + "\n";
    line.clear();
  }
  return kept;
}

TEST_F(overland_threads, whole_runs_write_the_same_files_on_any_number_of_threads) {
  struct run_case {
    const char* example;  // null: the rough watershed
    const char* project;
    const char* overtype;
  };
  const run_case cases[] = {{nullptr, "rough.prj", "EXPLICIT"}, {nullptr, "rough.prj", "ADE"},
                            {nullptr, "rough.prj", "ADE-PC"},   {"plane", "plane.prj", "ADE"},
                            {"dike", "dike.prj", "EXPLICIT"}};
  for (const run_case& rc : cases) {
    SCOPED_TRACE(std::string(rc.project) + " " + rc.overtype);
    std::string sum_one, otl_one;
    for (int threads : {1, 4}) {
      reset_process_state();
      if (rc.example)
        copy_example(rc.example);
      else
        write_rough_watershed(rc.overtype);
      set_card(rc.project, "OVERTYPE", std::string("OVERTYPE ") + rc.overtype);
      set_card(rc.project, "NUM_THREADS", "NUM_THREADS " + std::to_string(threads));
      const storm_run run = run_storm(rc.project);
      ASSERT_TRUE(run.ended) << run.console;
      EXPECT_EQ(run.ms->overland.crew.size(), threads);
      const std::string stem = std::string(rc.project).substr(0, std::string(rc.project).find('.'));
      const std::string sum = summary_without_times(stem + ".sum"), otl = read_file(stem + ".otl");
      if (threads == 1) {
        sum_one = sum;
        otl_one = otl;
        continue;
      }
      EXPECT_EQ(sum, sum_one);
      EXPECT_EQ(otl, otl_one);
    }
  }
}

}  // namespace
}  // namespace nivra::testing
