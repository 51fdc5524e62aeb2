// Pipe sections and their critical and normal depths against the
// geometry of a circle and a rectangle and the definitions of the two
// depths (Froude number 1, Manning's equation).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "pipe/pipe_geometry.h"
#include "pipe/pipe_state.h"

namespace nivra {
namespace {

constexpr double pi = M_PI;

TEST(PipeGeometry, SectionsByHand) {
  // A full circle: no free surface, the whole perimeter and area.
  const pipe_section_props full = pipe_section_geometry(2.0, 2.0, 0.0, pipe_section::circular);
  EXPECT_EQ(full.top_width, 0.0);
  EXPECT_NEAR(full.wet_per, pi * 2.0, 1e-12);
  EXPECT_NEAR(full.area, pi * 4.0 / 4.0, 1e-12);
  // Half full: the diameter across, half the perimeter and the area.
  const pipe_section_props half = pipe_section_geometry(2.0, 1.0, 0.0, pipe_section::circular);
  EXPECT_NEAR(half.top_width, 2.0, 1e-12);
  EXPECT_NEAR(half.wet_per, pi, 1e-12);
  EXPECT_NEAR(half.area, pi / 2.0, 1e-12);
  // A quarter of the diameter deep: the chord 2 sqrt(r^2 - (r/2)^2) and the
  // segment r^2 (theta - sin theta cos theta), theta = pi / 3.
  const pipe_section_props q = pipe_section_geometry(2.0, 0.5, 0.0, pipe_section::circular);
  EXPECT_NEAR(q.top_width, 2.0 * std::sqrt(0.75), 1e-12);
  EXPECT_NEAR(q.area, pi / 3.0 - std::sin(pi / 3.0) * 0.5, 1e-12);
  EXPECT_NEAR(pipe_flow_area(pipe_section::circular, 2.0, 0.0, 0.5), q.area, 1e-12);
  // A box part full, full and with a depth below its floor.
  const pipe_section_props box = pipe_section_geometry(1.0, 0.4, 2.0, pipe_section::rectangular);
  EXPECT_EQ(box.top_width, 2.0);
  EXPECT_NEAR(box.wet_per, 2.8, 1e-12);
  EXPECT_NEAR(box.area, 0.8, 1e-12);
  const pipe_section_props box_full = pipe_section_geometry(1.0, 1.5, 2.0, pipe_section::rectangular);
  EXPECT_EQ(box_full.top_width, 0.0);
  EXPECT_NEAR(box_full.wet_per, 6.0, 1e-12);
  EXPECT_NEAR(box_full.area, 2.0, 1e-12);
  const pipe_section_props below = pipe_section_geometry(1.0, -0.1, 2.0, pipe_section::rectangular);
  EXPECT_EQ(below.area, 0.0);
  EXPECT_EQ(below.top_width, 2.0);
  EXPECT_EQ(below.wet_per, 2.0);
  // An arch deeper than its rise is taken at its rise.
  const pipe_section_props arch = pipe_section_geometry(1.0, 1.0, 1.5, pipe_section::arch);
  const pipe_section_props arch_over = pipe_section_geometry(1.0, 1.7, 1.5, pipe_section::arch);
  EXPECT_EQ(arch.area, arch_over.area);
  EXPECT_EQ(arch.wet_per, arch_over.wet_per);
  EXPECT_GT(arch.area, 0.0);
}

TEST(PipeGeometry, AreaGrowsNoFasterThanTheWidestWaterSurface) {
  // dA/dy is the top width, at most the diameter of a circle and the width
  // of a box, and zero above the crown: between any two depths the areas
  // differ by no more than that width times the depths' difference. The
  // solver leaves a pipe's section unmeasured on the strength of it.
  struct section_case {
    int type;
    double diameter, width, widest;
  };
  const section_case cases[] = {{pipe_section::circular, 0.3, 0.0, 0.3},
                                {pipe_section::circular, 1.0, 0.0, 1.0},
                                {pipe_section::circular, 2.5, 0.0, 2.5},
                                {pipe_section::rectangular, 1.0, 2.0, 2.0},
                                {pipe_section::rectangular, 2.0, 0.5, 0.5}};
  for (const section_case& c : cases) {
    double steepest = 0.0;
    for (int i = 0; i <= 200; ++i)
      for (const double step : {1e-9, 1e-5, 1e-3, 0.05}) {
        const double y = c.diameter * i / 200.0, y2 = std::min(y + step, c.diameter);
        if (y2 <= y) continue;
        const double a = pipe_section_geometry(c.diameter, y, c.width, c.type).area;
        const double a2 = pipe_section_geometry(c.diameter, y2, c.width, c.type).area;
        const double rate = (a2 - a) / (y2 - y);
        steepest = std::max(steepest, rate);
        // The rounding of the areas, a few parts in 1e16 of the full area,
        // over the smallest step.
        EXPECT_LE(rate, c.widest * (1.0 + 1e-9) + 1e-15 * c.diameter * std::max(c.diameter, c.width) / step)
            << c.type << " " << c.diameter << " at " << y << " by " << step;
        EXPECT_GE(rate, -1e-15 * c.diameter * std::max(c.diameter, c.width) / step) << c.type << " at " << y;
      }
    // The bound is reached: half full for a circle, at any depth for a box.
    EXPECT_NEAR(steepest, c.widest, 1e-6 * c.widest) << c.type << " " << c.diameter;
  }
}

TEST(PipeGeometry, CriticalDepthHasFroudeNumberOne) {
  // A box 1 m wide at q = 1 m2/s: y = (q^2 / g)^(1/3).
  const pipe_depth box = superlink_crit_calc(pipe_section::rectangular, 2.0, 1.0, 1.0);
  ASSERT_EQ(box.status, pipe_depth_status::ok);
  EXPECT_NEAR(box.depth, std::cbrt(1.0 / 9.81), 1e-12);
  EXPECT_NEAR(box.depth, 0.4671, 1e-4);
  // A circular pipe: Q^2 T / (g A^3) = 1 at the critical depth.
  for (double q : {0.05, 0.3, 0.8}) {
    const pipe_depth c = superlink_crit_calc(pipe_section::circular, 1.0, 0.0, q);
    ASSERT_EQ(c.status, pipe_depth_status::ok);
    const pipe_section_props g = pipe_section_geometry(1.0, c.depth, 0.0, pipe_section::circular);
    EXPECT_NEAR(q * q * g.top_width / (9.81 * g.area * g.area * g.area), 1.0, 1e-6) << q;
  }
  EXPECT_EQ(superlink_crit_calc(pipe_section::arch, 1.0, 1.0, 0.5).status, pipe_depth_status::arch_unsupported);
}

TEST(PipeGeometry, CriticalDepthBelowAWaterDepthWithoutFindingIt) {
  // Wherever the quick test says the critical depth lies below a depth,
  // the critical depth found by Newton's iteration does; where Newton's
  // depth stands clearly below (by more than a part in 1e6), the quick
  // test says so. Flows from a trickle to one near a full pipe's critical
  // flow, depths from 1 cm to just under the crown of a 0.6 m pipe.
  const double d = 0.6;
  int below = 0;
  for (double q : {1e-6, 1e-3, 0.02, 0.1, 0.3, 0.5}) {
    const pipe_depth c = superlink_crit_calc(pipe_section::circular, d, 0.0, q);
    ASSERT_EQ(c.status, pipe_depth_status::ok) << q;
    for (double y = 0.01; y < d; y += 0.0125) {
      const bool quick = critical_depth_below(pipe_section::circular, d, q, y);
      if (quick) EXPECT_LT(c.depth, y) << q << " " << y;
      if (c.depth < y * (1.0 - 1e-6) && y < d - 0.001) EXPECT_TRUE(quick) << q << " " << y;
      below += quick;
    }
    // At its own critical depth the test cannot tell: it leaves it to Newton.
    EXPECT_FALSE(critical_depth_below(pipe_section::circular, d, q, c.depth)) << q;
  }
  EXPECT_GT(below, 100);
  // A negative flow is taken by its magnitude.
  EXPECT_TRUE(critical_depth_below(pipe_section::circular, d, -1e-3, 0.3));
  // A dry or surcharged end, a box and an arch are left to the full search.
  EXPECT_FALSE(critical_depth_below(pipe_section::circular, d, 1e-3, 0.0));
  EXPECT_FALSE(critical_depth_below(pipe_section::circular, d, 1e-3, d - 0.0005));
  EXPECT_FALSE(critical_depth_below(pipe_section::circular, d, 1e-3, 2.0 * d));
  EXPECT_FALSE(critical_depth_below(pipe_section::rectangular, d, 1e-3, 0.3));
  EXPECT_FALSE(critical_depth_below(pipe_section::arch, d, 1e-3, 0.3));
}

TEST(PipeGeometry, NormalDepthByManning) {
  // Half full, a circular pipe carries half its full discharge at the same
  // hydraulic radius: D / 2 is the normal depth of that discharge.
  const double d = 1.0, n = 0.013, s = 0.005;
  const double full = 1.0 / n * (pi * d * d / 4.0) * std::pow(d / 4.0, 2.0 / 3.0) * std::sqrt(s);
  const pipe_depth half = superlink_norm_calc(pipe_section::circular, d, 0.0, n, 0.5 * full, s);
  ASSERT_EQ(half.status, pipe_depth_status::ok);
  EXPECT_NEAR(half.depth, 0.5, 1e-7);
  // More than the pipe carries below its crown: it flows full.
  const pipe_depth over = superlink_norm_calc(pipe_section::circular, d, 0.0, n, 1.2 * full, s);
  ASSERT_EQ(over.status, pipe_depth_status::ok);
  EXPECT_EQ(over.depth, d);
  // A box: Q = (1/n) y W (y W / (2 y + W))^(2/3) sqrt(S).
  const double w = 2.0, y = 0.3;
  const double q = 1.0 / n * y * w * std::pow(y * w / (2.0 * y + w), 2.0 / 3.0) * std::sqrt(s);
  const pipe_depth box = superlink_norm_calc(pipe_section::rectangular, 1.0, w, n, q, s);
  ASSERT_EQ(box.status, pipe_depth_status::ok);
  EXPECT_NEAR(box.depth, y, 1e-7);
  // A flat pipe has no uniform flow below its crown.
  EXPECT_EQ(superlink_norm_calc(pipe_section::circular, d, 0.0, n, 0.1, 0.0).depth, d);
}

TEST(PipeGeometry, DepthsChangeWithTheFlowAsTheirSlopesSay) {
  // The change of the critical and normal depths with the flow that the
  // searches return against central differences of the searches
  // themselves, for a circular pipe and a box, a trickle to a near-full
  // flow; a pipe flowing full has its normal depth pinned at the crown.
  const double d = 0.6, w = 1.2, n = 0.013, s = 0.005;
  const struct {
    int type;
    double width;
  } sections[] = {{pipe_section::circular, 0.0}, {pipe_section::rectangular, w}};
  for (const auto& sec : sections)
    for (double q : {1e-4, 0.01, 0.1, 0.25}) {
      SCOPED_TRACE(testing::Message() << sec.type << " " << q);
      const double dq = 1e-4 * q;
      const pipe_depth c = superlink_crit_calc(sec.type, d, sec.width, q);
      const pipe_depth cu = superlink_crit_calc(sec.type, d, sec.width, q + dq);
      const pipe_depth cd = superlink_crit_calc(sec.type, d, sec.width, q - dq);
      ASSERT_EQ(c.status, pipe_depth_status::ok);
      EXPECT_GT(c.per_flow, 0.0);
      EXPECT_NEAR(c.per_flow, (cu.depth - cd.depth) / (2.0 * dq), 1e-4 * c.per_flow);
      const pipe_depth m = superlink_norm_calc(sec.type, d, sec.width, n, q, s);
      const pipe_depth mu = superlink_norm_calc(sec.type, d, sec.width, n, q + dq, s);
      const pipe_depth md = superlink_norm_calc(sec.type, d, sec.width, n, q - dq, s);
      ASSERT_EQ(m.status, pipe_depth_status::ok);
      EXPECT_GT(m.per_flow, 0.0);
      EXPECT_NEAR(m.per_flow, (mu.depth - md.depth) / (2.0 * dq), 1e-4 * m.per_flow);
    }
  const double full = 1.0 / n * (M_PI * d * d / 4.0) * std::pow(d / 4.0, 2.0 / 3.0) * std::sqrt(s);
  EXPECT_EQ(superlink_norm_calc(pipe_section::circular, d, 0.0, n, 1.2 * full, s).per_flow, 0.0);
}

}  // namespace
}  // namespace nivra
