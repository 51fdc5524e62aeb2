// The rain of one overland step on a cell of 100 m2, worked by hand: 36 mm/h
// for 100 s is 1 mm, 0.1 m3. It raises open ground by 1 mm and a half-blocked
// cell's water by 1 mm over its open half (0.05 m3); it leaves through a
// fixed-level cell; it goes into a channel lake whole (the canopy does not
// stand over lakes) and into an overland lake as the canopy lets it through;
// it snows on a cold cell and wets the pack of a warm one, scaled by the snow
// correction (the new snow, and the rain on a pack, count as the water the
// pack gained). A depth that is not a number or below zero after the rain stops
// the step at its cell with a message saying whence the fault came.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/thread_pool.h"
#include "hydromet/rainfall.h"
#include "surface/boundary_codes.h"

namespace nivra {
namespace {

// One cell and what the domain hands it; index 0 of every array unused.
struct one_cell {
  std::vector<double> rain{0.0, 36.0}, through{0.0, 0.0}, depth{0.0, 0.0};
  std::vector<int> reset{0, 1}, lake_mask{0, 0}, overland_lake{0, 0}, boundary_type{0, 0};
  std::vector<double> lake_volume{0.0, 0.0}, lake_rain{0.0, 0.0}, overland_lake_rain{0.0, 0.0};
  std::vector<double> blocked{0.0, 0.0}, air_temp{0.0, 5.0}, scf{0.0, 1.2}, swe{0.0, 0.0}, on_snow{0.0, 0.0};
  std::vector<int> snow_fell{0, 0};

  rain_domain domain(bool canopy, bool lakes, bool boundaries, bool blockage, bool snow) {
    rain_domain d;
    d.ncells = 1;
    d.cell_area = 100.0;
    d.rain = rain.data();
    d.through = canopy ? through.data() : nullptr;
    d.depth = depth.data();
    d.rain_reset = reset.data();
    if (lakes) {
      d.lake_mask = lake_mask.data();
      d.lake_volume = lake_volume.data();
      d.lake_count = 1;
      d.lake_rain = lake_rain.data();
      d.lake_rain_count = 1;
      d.overland_lake = overland_lake.data();
      d.overland_lake_rain = overland_lake_rain.data();
      d.overland_lake_count = 1;
    }
    if (boundaries) d.boundary_type = boundary_type.data();
    if (blockage) d.blocked = blocked.data();
    if (snow) {
      d.air_temp = air_temp.data();
      d.air_temp_count = 1;
      d.snow_base_temp = 0.0;
      d.snow_correction = scf.data();
      d.swe = swe.data();
      d.rain_on_snow = on_snow.data();
      d.snow_fell = snow_fell.data();
    }
    return d;
  }
};

struct rain_case {
  const char* name;
  void (*set)(one_cell&);
  bool canopy = false, lakes = false, boundaries = false, blockage = false, snow = false;
  // Expected books (m3), depth (m), snow water (m) and lake volumes (m3).
  double on_surface, into_overland_lakes, out_at_fixed_levels, on_channel_lakes;
  double depth, swe, lake_volume, overland_lake_rain;
  double intensity_sum;  // mm/h
};

const rain_case cases[] = {
    {"open ground", [](one_cell&) {}, false, false, false, false, false,
     0.1, 0, 0, 0, 0.001, 0, 0, 0, 36},
    {"open ground with every part of the model present", [](one_cell&) {}, false, true, true, true, true,
     0.1, 0, 0, 0, 0.001, 0, 0, 0, 36},
    {"half-blocked cell", [](one_cell& c) { c.blocked[1] = 0.5; }, false, false, false, true, false,
     0.05, 0, 0, 0, 0.001, 0, 0, 0, 36},
    {"fully blocked cell counts as open", [](one_cell& c) { c.blocked[1] = 1.0; }, false, false, false, true, false,
     0.1, 0, 0, 0, 0.001, 0, 0, 0, 36},
    {"fixed level", [](one_cell& c) { c.boundary_type[1] = boundary::fixed_level; }, false, false, true, false, false,
     0.1, 0, 0.1, 0, 0, 0, 0, 0, 36},
    {"level series", [](one_cell& c) { c.boundary_type[1] = boundary::level_series; }, false, false, true, false,
     false, 0.1, 0, 0.1, 0, 0, 0, 0, 0, 36},
    {"XY level", [](one_cell& c) { c.boundary_type[1] = boundary::xy_level; }, false, false, true, false, false,
     0.1, 0, 0.1, 0, 0, 0, 0, 0, 36},
    {"discharge boundary takes the rain", [](one_cell& c) { c.boundary_type[1] = boundary::discharge_cms; }, false,
     false, true, false, false, 0.1, 0, 0, 0, 0.001, 0, 0, 0, 36},
    {"canopy lets half through", [](one_cell& c) { c.through[1] = 18.0; }, true, false, false, false, false,
     0.05, 0, 0, 0, 0.0005, 0, 0, 0, 18},
    {"channel lake takes the rain above the canopy", [](one_cell& c) { c.lake_mask[1] = 1; c.through[1] = 18.0; },
     true, true, false, false, false, 0, 0, 0, 0.1, 0, 0, 0.1, 0, 0},
    {"overland lake takes what the canopy lets through",
     [](one_cell& c) { c.overland_lake[1] = 1; c.through[1] = 18.0; }, true, true, false, false, false,
     0.05, 0.05, 0, 0, 0, 0, 0, 0.05, 0},
    {"snow on a cold cell", [](one_cell& c) { c.air_temp[1] = -2.0; }, false, false, false, false, true,
     0.12, 0, 0, 0, 0, 0.0012, 0, 0, 36},
    {"rain on the pack of a warm half-blocked cell", [](one_cell& c) { c.swe[1] = 0.01; c.blocked[1] = 0.5; },
     false, false, false, true, true, 0.06, 0, 0, 0, 0, 0.0106, 0, 0, 36},
    {"rain on a warm cell without snow", [](one_cell&) {}, false, false, false, false, true,
     0.1, 0, 0, 0, 0.001, 0, 0, 0, 36},
};

TEST(RainOnCells, PutsTheRainWhereItFallsAndBooksIt) {
  for (const rain_case& k : cases) {
    SCOPED_TRACE(k.name);
    one_cell c;
    k.set(c);
    const double swe0 = c.swe[1];
    const rain_result r = rain_on_cells(c.domain(k.canopy, k.lakes, k.boundaries, k.blockage, k.snow), 100.0);
    EXPECT_EQ(r.status, rain_status::ok);
    EXPECT_NEAR(r.books.on_surface, k.on_surface, 1e-15);
    EXPECT_NEAR(r.books.into_overland_lakes, k.into_overland_lakes, 1e-15);
    EXPECT_NEAR(r.books.out_at_fixed_levels, k.out_at_fixed_levels, 1e-15);
    EXPECT_NEAR(r.books.on_channel_lakes, k.on_channel_lakes, 1e-15);
    EXPECT_NEAR(c.depth[1], k.depth, 1e-18);
    EXPECT_NEAR(c.swe[1], k.swe, 1e-18);
    EXPECT_NEAR(c.lake_volume[1], k.lake_volume, 1e-15);
    EXPECT_NEAR(c.lake_rain[1], k.lake_volume, 1e-15);
    EXPECT_NEAR(c.overland_lake_rain[1], k.overland_lake_rain, 1e-15);
    EXPECT_EQ(r.intensity_sum, k.intensity_sum);
    EXPECT_EQ(r.on_overland_lakes, k.overland_lake_rain > 0.0);
    // Snow that fell is marked; rain on a pack is the water it gained, in mm.
    const bool snowed = k.snow && c.air_temp[1] <= 0.0;
    EXPECT_EQ(r.snowed, snowed);
    EXPECT_EQ(c.snow_fell[1], snowed ? 1 : 0);
    EXPECT_NEAR(c.on_snow[1], swe0 > 0.0 || snowed ? 1.2 : 0.0, 1e-12);
    // The rain reached the cell unless a lake took it.
    const bool on_lake = c.lake_mask[1] > 0 || c.overland_lake[1] > 0;
    EXPECT_EQ(c.reset[1], on_lake ? 1 : 0);
  }
}

TEST(RainOnCells, AFaultyDepthStopsTheStepAtItsCell) {
  struct fault {
    const char* name;
    double depth, rain;
    rain_status status;
    const char* message;
  };
  const fault faults[] = {
      {"not a number", std::nan(""), 36.0, rain_status::depth_not_a_number,
       "A non-real number for water depth has been detected for overland cell 1 after applying rainfall\n"},
      {"negative before the rain", -0.01, 36.0, rain_status::negative_depth,
       "A negative depth (-0.01 m) has been detected for overland cell 1 before this step's rain was added"},
      {"negative rain", 0.0, -36.0, rain_status::negative_depth,
       "A negative depth has been detected for overland cell 1 after applying rainfall, check your rainfall "
       "input for negative values\n"},
  };
  for (const fault& f : faults) {
    SCOPED_TRACE(f.name);
    one_cell c;
    c.depth[1] = f.depth;
    c.rain[1] = f.rain;
    testing::internal::CaptureStdout();
    const rain_result r = rain_on_cells(c.domain(false, false, false, false, false), 100.0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r.status, f.status);
    EXPECT_EQ(r.cell, 1);
    EXPECT_EQ(out.rfind(f.message, 0), 0u) << out;
    EXPECT_EQ(c.reset[1], 1);  // the rain did not count as reaching the cell
  }
}

// A grid of three parts' worth of cells takes its rain in parts on the
// run's threads: one thread or four, the books and the depths come out the
// same to the bit, and match the cell-by-cell sums. Two faulty cells in
// different parts: the first in cell order is reported, and the rain every
// part put down before its own fault is booked.
TEST(RainOnCells, PartsOnThreadsGiveTheSameBooksAndReportTheFirstFault) {
  const int n = 3 * rain_part_cells + 5;
  ASSERT_EQ(rain_parts(n), 3);
  struct grid {
    std::vector<double> rain, depth;
    std::vector<int> reset;
  };
  auto make = [n] {
    grid g{std::vector<double>(n + 1), std::vector<double>(n + 1, 0.0), std::vector<int>(n + 1, 1)};
    for (int c = 1; c <= n; ++c) g.rain[c] = 10.0 + (c % 97) * 0.37;
    return g;
  };
  auto domain = [n](grid& g, thread_pool* crew) {
    rain_domain d;
    d.ncells = n;
    d.cell_area = 100.0;
    d.rain = g.rain.data();
    d.depth = g.depth.data();
    d.rain_reset = g.reset.data();
    d.crew = crew;
    return d;
  };
  thread_pool one(1), four(4);
  grid a = make(), b = make();
  const rain_result ra = rain_on_cells(domain(a, &one), 100.0);
  const rain_result rb = rain_on_cells(domain(b, &four), 100.0);
  EXPECT_EQ(ra.status, rain_status::ok);
  EXPECT_EQ(ra.books.on_surface, rb.books.on_surface);
  EXPECT_EQ(ra.intensity_sum, rb.intensity_sum);
  EXPECT_EQ(a.depth, b.depth);
  double sum = 0.0;
  for (int c = 1; c <= n; ++c) sum += a.rain[c] * 100.0 / 3.6e6 * 100.0;
  EXPECT_NEAR(ra.books.on_surface, sum, 1e-12 * sum);

  grid f = make();
  const int late = 2 * rain_part_cells + 100, early = rain_part_cells + 50;
  f.rain[late] = -1000.0;
  f.rain[early] = -1000.0;
  testing::internal::CaptureStdout();
  const rain_result rf = rain_on_cells(domain(f, &four), 100.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rf.status, rain_status::negative_depth);
  EXPECT_EQ(rf.cell, early);
  EXPECT_NE(out.find("overland cell " + std::to_string(early) + " after applying rainfall"), std::string::npos) << out;
  EXPECT_EQ(out.find(std::to_string(late)), std::string::npos) << out;
  double put = 0.0;
  for (int c = 1; c <= n; ++c) put += f.depth[c] * 100.0;
  EXPECT_NEAR(rf.books.on_surface, put, 1e-12 * std::fabs(put));
}

}  // namespace
}  // namespace nivra
