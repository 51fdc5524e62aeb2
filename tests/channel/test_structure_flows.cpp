// Weirs and culverts against hand calculations. A broad crest passes
// (2/3) C L sqrt(2g/3) H^1.5 = 1.7049 C L H^1.5 in free flow, and its
// submerged branch meets the free one where the tailwater stands at two
// thirds of the head. Culverts are called directly with discharge
// coefficients of 1: critical flow at an open inlet, the box inlet's weir,
// the full barrel's energy equation and one case of every flow type by
// hand; then sweeps of headwater and tailwater over round, box and arch
// barrels, mild and steep, find no step and no reversal in any rating.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "channel/culvert_flow.h"
#include "channel/structures.h"
#include "core/process.h"
#include "support/test_support.h"

namespace nivra {
namespace {

constexpr double pi = 3.1415926;

structure_element weir(double crest, double length, double c_forward, double c_reverse) {
  structure_element e;
  e.type = structure_kind::weir;
  e.upinvert = crest;
  e.length = length;
  e.disch_coeff_forward = c_forward;
  e.disch_coeff_reverse = c_reverse;
  return e;
}

TEST(Weirs, FreeFlowOverABroadCrest) {
  // C 1, L 5 m, H 0.5 m: 1.7049 x 5 x 0.5^1.5 = 3.0139 m3/s.
  const structure_element e = weir(100.0, 5.0, 1.0, 0.6);
  EXPECT_NEAR(weir_flow_a(e, 100.5, 99.0), 3.0139, 5e-5);
  EXPECT_NEAR(weir_flow_a(e, 100.5, 99.0), 1.7049 * 5.0 * std::pow(0.5, 1.5), 1e-4);
  // Tailwater below the crest or up to two thirds of the head: still free.
  EXPECT_DOUBLE_EQ(weir_flow_a(e, 100.5, 100.3), weir_flow_a(e, 100.5, 99.0));
  // Both levels below the crest: nothing.
  EXPECT_EQ(weir_flow_a(e, 99.9, 99.5), 0.0);
}

TEST(Weirs, TheSubmergedBranchMeetsTheFreeOne) {
  const structure_element e = weir(100.0, 5.0, 0.9, 0.9);
  const double head = 0.6, free = weir_flow_a(e, 100.0 + head, 99.0);
  // At h = 2/3 H the submerged formula C L h sqrt(2g (H - h)) equals the
  // free one.
  const double h = 2.0 / 3.0 * head;
  EXPECT_NEAR(weir_flow_a(e, 100.0 + head, 100.0 + h), free, 1e-12);
  EXPECT_NEAR(0.9 * 5.0 * h * std::sqrt(19.62 * (head - h)), free, 1e-12);
  // Just above it the flow is submerged and falls as the tailwater rises.
  EXPECT_LT(weir_flow_a(e, 100.0 + head, 100.0 + h + 0.01), free);
  // Below 1 cm of drop the two submerged forms meet at dh = 0.01.
  const double below = weir_flow_a(e, 100.5, 100.49 + 1e-12), above = weir_flow_a(e, 100.5, 100.49 - 1e-12);
  EXPECT_NEAR(below, above, 1e-9);
  // Equal levels above the crest pass nothing.
  EXPECT_EQ(weir_flow_a(e, 100.3, 100.3), 0.0);
}

TEST(Weirs, ReverseFlowTakesTheReverseCoefficientAndItsSign) {
  const structure_element e = weir(100.0, 5.0, 1.0, 0.6);
  EXPECT_NEAR(weir_flow_a(e, 99.0, 100.5), -0.6 * 3.0139, 1e-4);
  // Submerged the other way (0.4 m of 0.5 over the crest, above two
  // thirds): 0.6 x 5 x 0.4 x sqrt(19.62 x 0.1) = 1.680857 m3/s.
  EXPECT_NEAR(weir_flow_a(e, 100.4, 100.5), -1.680857, 1e-6);
}

TEST(Weirs, ASagWeirPassesTheFlowOfItsParabolicCrest) {
  // The crest falls at 0.1 from the steep side and rises at 0.05 to the
  // shallow side over 30 m: a parabola of curvature k = (s2 - s1) / (2 L)
  // whose low point lies at zc. Its formula reduces to sqrt(2g) C (H -
  // zc)^2 / sqrt(k).
  structure_element e;
  e.type = structure_kind::sag_weir;
  e.length = 30.0;
  e.upinvert = 50.0;
  e.width = -0.1;
  e.height = 0.05;
  e.disch_coeff_forward = 0.8;
  e.disch_coeff_reverse = 0.5;
  const double k = 0.15 / 60.0;
  for (double head : {0.05, 0.3, 1.2}) {
    EXPECT_NEAR(weir_flow_b(e, 50.0 + head, 49.0), std::sqrt(19.62) * 0.8 * head * head / std::sqrt(k), 1e-9)
        << head;
    EXPECT_NEAR(weir_flow_b(e, 49.0, 50.0 + head), -std::sqrt(19.62) * 0.5 * head * head / std::sqrt(k), 1e-9)
        << head;
  }
  EXPECT_EQ(weir_flow_b(e, 50.0, 49.9), 0.0);
}

// A culvert element; the barrel slope follows from its inverts.
structure_element culvert(int type, double width, double height, double length, double up, double down, double n = 0.013) {
  structure_element e;
  e.type = type;
  e.width = width;
  e.height = height;
  e.length = length;
  e.upinvert = up;
  e.downinvert = down;
  e.slope = (up - down) / length;
  e.rough_coeff = n;
  e.disch_coeff_forward = e.disch_coeff_reverse = 1.0;
  return e;
}

TEST(Culverts, AnOpenInletPassesCriticalFlow) {
  // Half full: A = pi/8, T = D = 1 m, Q = A sqrt(g A / T) = 0.7708 m3/s;
  // the energy yc + v^2 / 2g = 0.5 + A / 2 = 0.6963 m. A steep barrel with
  // a free outlet runs at critical depth at its inlet: the headwater energy
  // gives the discharge back.
  const double a = pi / 8.0, q = a * std::sqrt(9.81 * a), energy = 0.5 + a / 2.0;
  EXPECT_NEAR(q, 0.7708, 5e-5);
  EXPECT_NEAR(energy, 0.6963, 5e-5);
  const structure_element e = culvert(structure_kind::round_culvert, 1.0, 0.0, 20.0, 10.0, 9.0);
  const culvert_result r = culv_flow(e, 1, 10.0 + energy, 5.0);
  EXPECT_EQ(r.flow_type, culvert_flow_type::inlet_steep);
  EXPECT_NEAR(r.q, q, 1e-6);
  EXPECT_NEAR(r.size, 0.5, 1e-6);
  EXPECT_NEAR(r.area, a, 1e-6);
  // Any open inlet, circle or arch, at any head below its crown: the
  // Froude number at the inlet's depth is 1 (Q^2 T = g A^3) and the depth
  // plus the velocity head is the head.
  for (const auto& [type, w, d] : {std::tuple{structure_kind::round_culvert, 1.2, 0.0},
                                   std::tuple{structure_kind::oval_culvert, 2.0, 1.0}}) {
    const structure_element c = culvert(type, w, d, 20.0, 10.0, 9.0);
    const double depth = type == structure_kind::round_culvert ? w : d;
    const int shape = type == structure_kind::round_culvert ? culvert_shape::circle : culvert_shape::arch;
    for (const double h : {0.1, 0.35, 0.6, 0.85, 1.0}) {
      const culvert_result f = culv_flow(c, 1, 10.0 + h * depth, 5.0);
      const culvert_section s = culvert_section_props(depth, f.size, w, shape);
      EXPECT_NEAR(f.q * f.q * s.top_width / (9.81 * std::pow(s.area, 3.0)), 1.0, 1e-6) << type << " " << h;
      EXPECT_NEAR(f.size + f.q * f.q / (19.62 * s.area * s.area), h * depth, 1e-6) << type << " " << h;
    }
  }
}

TEST(Culverts, BoxInletControlIsABroadCrestedWeir) {
  // W 2 m, h 1 m: Q = C W (2h/3) sqrt(2g h / 3) = 3.4098 m3/s.
  const structure_element e = culvert(structure_kind::rect_culvert, 2.0, 1.0, 20.0, 10.0, 9.0);
  const culvert_result r = culv_flow(e, 1, 11.0, 5.0);
  EXPECT_EQ(r.flow_type, culvert_flow_type::inlet_steep);
  EXPECT_NEAR(r.q, 3.4098, 5e-5);
  EXPECT_NEAR(r.q, 2.0 * (2.0 / 3.0) * std::sqrt(19.62 / 3.0), 1e-12);
}

TEST(Culverts, AFullBarrelObeysTheEnergyEquation) {
  // D 1 m, n 0.013, L 30 m, 1 m of head loss: the velocity head and the
  // barrel's friction use the head, Q^2 / (2g A^2) (1 + 2g n^2 L / R^(4/3))
  // = 1 m with R = D/4: Q = 2.724 m3/s.
  const double a = pi / 4.0, k = 1.0 + 19.62 * 0.013 * 0.013 * 30.0 / std::pow(0.25, 4.0 / 3.0);
  EXPECT_NEAR(a * std::sqrt(19.62 / k), 2.724, 5e-4);
  const structure_element e = culvert(structure_kind::round_culvert, 1.0, 0.0, 30.0, 10.0, 9.9);
  culvert_result r = culv_flow(e, 1, 13.0, 12.0);
  EXPECT_EQ(r.flow_type, culvert_flow_type::full_submerged);
  EXPECT_NEAR(r.q, a * std::sqrt(19.62 / k), 1e-12);
  // Up to 15 m the friction of the barrel is left out; beyond it counts.
  structure_element short_barrel = culvert(structure_kind::round_culvert, 1.0, 0.0, 15.0, 10.0, 9.95);
  EXPECT_NEAR(culv_flow(short_barrel, 1, 13.0, 12.0).q, a * std::sqrt(19.62), 1e-12);
  short_barrel.length = 15.1;
  EXPECT_LT(culv_flow(short_barrel, 1, 13.0, 12.0).q, a * std::sqrt(19.62) * 0.9);
}

TEST(Culverts, EveryFlowTypeByHand) {
  // Box barrels 2 m wide and 1 m high (full: A = 2 m2, R = 2/6 m), n 0.013,
  // all coefficients 1; 2g = 19.62. Slopes above 1 % are steep. Inlet
  // control under the head h over the inlet invert: W (2h/3) sqrt(2g h/3)
  // up to the crown, A sqrt(2g h) from 1.5 D. Outlet control: A(y)
  // sqrt(2g dH / K) with y the inlet's depth (at most D), dH the drop to the
  // tailwater or to half of y over the outlet invert, K = 1 + 2g n^2 L /
  // R^(4/3) with R at most the full barrel's. The lesser passes.
  constexpr int box = structure_kind::rect_culvert;
  const double g2 = 19.62, n = 0.013, r_full = 1.0 / 3.0;
  auto friction = [&](double length, double r) { return n * n * length / std::pow(r, 4.0 / 3.0); };
  auto k = [&](double length, double r) { return 1.0 + g2 * friction(length, r); };
  auto weir = [&](double h) { return 2.0 * (2.0 * h / 3.0) * std::sqrt(g2 * h / 3.0); };
  // A circle of 1 m at depth 0.8 m: theta = acos(-0.3 / 0.5); R capped at D/4.
  const double theta = std::acos(-0.6), a08 = 0.25 * theta + 0.3 * 0.5 * std::sin(theta);
  const struct {
    const char* what;
    structure_element e;
    double h1, h2;
    int type;
    double q;
  } cases[] = {
      {"headwater at the inlet invert of a steep barrel", culvert(box, 2, 1, 20, 10, 9), 10.0, 5.0, 0, 0.0},
      {"inlet control on a steep barrel", culvert(box, 2, 1, 20, 10, 9), 11.0, 5.0, 1, weir(1.0)},
      {"inlet control on a mild barrel: the head over the inlet invert", culvert(box, 2, 1, 20, 10, 9.99), 10.5,
       9.0, 2, weir(0.5)},
      {"outlet control, tailwater over the outlet: the drop through the part-full barrel",
       culvert(box, 2, 1, 20, 10, 9.9), 10.6, 10.55, 3, 1.2 * std::sqrt(g2 * 0.05 / k(20, r_full))},
      {"full barrel, submerged outlet", culvert(box, 2, 1, 20, 10, 9.9), 12.0, 11.0, 4,
       std::sqrt(g2 / k(20, r_full)) * 2.0},
      {"submerged inlet, orifice control", culvert(box, 2, 1, 20, 10, 8), 11.6, 7.0, 5, std::sqrt(1.6 * g2) * 2.0},
      {"submerged inlet, outlet control, free outlet: the drop to half the barrel", culvert(box, 2, 1, 20, 10, 9.8),
       11.6, 9.0, 6, 2.0 * std::sqrt(g2 * 1.3 / k(20, r_full))},
      {"reverse flow through the partly submerged barrel", culvert(box, 2, 1, 20, 9.9, 10), 10.55, 10.6, -3,
       -1.2 * std::sqrt(g2 * 0.05 / k(20, r_full))},
      // Long mild barrels: the friction of the barrel governs.
      {"long mild circular barrel, free outlet", culvert(structure_kind::round_culvert, 1, 0, 400, 10.4, 10.0), 11.2,
       9.0, 6, a08 * std::sqrt(g2 * 0.8 / k(400, 0.25))},
      {"long mild box running full with its outlet above the middle", culvert(box, 2, 1, 100, 10.1, 10.0), 12.0,
       11.0, 4, 2.0 * std::sqrt(1.0 / (friction(100, r_full) + 1.0 / g2))},
      {"long mild box running full with a low outlet", culvert(box, 2, 1, 100, 10.1, 10.0), 12.0, 9.0, 6,
       2.0 * std::sqrt((12.0 - 10.5) / (friction(100, r_full) + 1.0 / g2))},
  };
  for (const auto& c : cases) {
    const culvert_result r = culv_flow(c.e, 1, c.h1, c.h2);
    EXPECT_EQ(r.flow_type, c.type) << c.what;
    EXPECT_NEAR(r.q, c.q, 1e-12 * (1.0 + std::fabs(c.q))) << c.what;
  }
}

TEST(Culverts, RatingsAreContinuousAndMonotoneInHeadwaterAndTailwater) {
  // Round (1 m), box and arch (2 x 1 m) barrels, 20 m long, mild (0.25 %)
  // and steep (3 %), and a long mild round barrel; n 0.013, C 0.8. Each
  // rating is swept over the headwater (three tailwaters, through the
  // reversal of the flow) and over the tailwater (three headwaters). The
  // discharge never falls as the headwater rises nor rises as the
  // tailwater rises, and it has no step: the largest change between
  // neighbouring levels shrinks with their spacing (tenfold for a hundred
  // times finer, as the square root where the two levels meet; a step
  // would stay as it is).
  struct barrel {
    const char* what;
    structure_element e;
    double d;
  };
  auto with_c = [](structure_element e) {
    e.disch_coeff_forward = e.disch_coeff_reverse = 0.8;
    return e;
  };
  const barrel barrels[] = {
      {"round mild", with_c(culvert(structure_kind::round_culvert, 1, 0, 20, 10.05, 10.0)), 1.0},
      {"round steep", with_c(culvert(structure_kind::round_culvert, 1, 0, 20, 10.6, 10.0)), 1.0},
      {"box mild", with_c(culvert(structure_kind::rect_culvert, 2, 1, 20, 10.05, 10.0)), 1.0},
      {"box steep", with_c(culvert(structure_kind::rect_culvert, 2, 1, 20, 10.6, 10.0)), 1.0},
      {"arch mild", with_c(culvert(structure_kind::oval_culvert, 2, 1, 20, 10.05, 10.0)), 1.0},
      {"arch steep", with_c(culvert(structure_kind::oval_culvert, 2, 1, 20, 10.6, 10.0)), 1.0},
      {"round long mild", with_c(culvert(structure_kind::round_culvert, 1, 0, 100, 10.1, 10.0)), 1.0},
  };
  // The largest change between neighbours over n levels from lo to hi, and
  // the largest move against the expected direction (+1 rising, -1 falling).
  struct sweep_result {
    double step = 0.0, against = 0.0;
  };
  auto sweep = [](auto q_of, double lo, double hi, int n, int direction) {
    sweep_result s;
    double prev = q_of(lo);
    for (int i = 1; i <= n; ++i) {
      const double q = q_of(lo + (hi - lo) * i / n);
      s.step = std::max(s.step, std::fabs(q - prev));
      s.against = std::max(s.against, direction * (prev - q));
      prev = q;
    }
    return s;
  };
  for (const barrel& b : barrels) {
    const double zu = b.e.upinvert, zd = b.e.downinvert;
    for (const double tw_over : {-1.0, 0.5, 1.2}) {
      const double tw = zd + tw_over * b.d;
      auto q = [&](double hw) { return culv_flow(b.e, 1, hw, tw).q; };
      const sweep_result coarse = sweep(q, zu - 0.5, zu + 3.0 * b.d, 100, 1);
      const sweep_result fine = sweep(q, zu - 0.5, zu + 3.0 * b.d, 10000, 1);
      EXPECT_LE(fine.against, 0.0) << b.what << ", tailwater " << tw_over << " D over the outlet";
      EXPECT_LT(fine.step, 0.15 * coarse.step) << b.what << ", tailwater " << tw_over << " D over the outlet";
    }
    for (const double hw_over : {0.5, 1.2, 2.0}) {
      const double hw = zu + hw_over * b.d;
      auto q = [&](double tw) { return culv_flow(b.e, 1, hw, tw).q; };
      const sweep_result coarse = sweep(q, zd - 0.5, hw + 0.5, 100, -1);
      const sweep_result fine = sweep(q, zd - 0.5, hw + 0.5, 10000, -1);
      EXPECT_LE(fine.against, 0.0) << b.what << ", headwater " << hw_over << " D over the inlet";
      EXPECT_LT(fine.step, 0.15 * coarse.step) << b.what << ", headwater " << hw_over << " D over the inlet";
    }
  }
}

TEST(Culverts, ABarrelWithoutLengthFails) {
  structure_element e = culvert(structure_kind::round_culvert, 1, 0, 20, 10, 9);
  e.length = 0.0;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(culv_flow(e, 4, 11.0, 5.0).q, culvert_failed);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("in culvert number 4 is 0.0.  This is not possible."),
            std::string::npos);
}

TEST(Culverts, TheLongBarrelsFrictionGrowsWithItsLengthNotItsSquare) {
  // Doubling a long barrel's length doubles its friction term: the flow of
  // a barrel whose friction dominates falls by about sqrt(2), not 2.
  const structure_element a = culvert(structure_kind::round_culvert, 1, 0, 200, 10.2, 10.0);
  const structure_element b = culvert(structure_kind::round_culvert, 1, 0, 400, 10.4, 10.0);
  const double qa = culv_flow(a, 1, 12.0, 11.0).q, qb = culv_flow(b, 1, 12.0, 11.0).q;
  const double fa = 0.013 * 0.013 * 200 / std::pow(0.25, 4.0 / 3.0) + 1 / 19.62;
  const double fb = 0.013 * 0.013 * 400 / std::pow(0.25, 4.0 / 3.0) + 1 / 19.62;
  EXPECT_NEAR(qa / qb, std::sqrt(fb / fa), 1e-12);
  EXPECT_LT(qa / qb, 1.45);
}

TEST(Culverts, PartFullGeometryOfTheThreeShapes) {
  // Circle of 1 m half full: A = pi/8, P = pi/2, T = 1; full: pi/4, pi, 0.
  culvert_section s = culvert_section_props(1.0, 0.5, 0.0, culvert_shape::circle);
  EXPECT_NEAR(s.area, pi / 8.0, 1e-7);
  EXPECT_NEAR(s.perimeter, pi / 2.0, 1e-7);
  EXPECT_NEAR(s.top_width, 1.0, 1e-12);
  s = culvert_section_props(1.0, 1.2, 0.0, culvert_shape::circle);
  EXPECT_NEAR(s.area, pi / 4.0, 1e-12);
  EXPECT_EQ(s.top_width, 0.0);
  // Box 2 m wide, 1 m high at 0.25 m: A 0.5, P 2.5, T 2.
  s = culvert_section_props(1.0, 0.25, 2.0, culvert_shape::box);
  EXPECT_DOUBLE_EQ(s.area, 0.5);
  EXPECT_DOUBLE_EQ(s.perimeter, 2.5);
  EXPECT_DOUBLE_EQ(s.top_width, 2.0);
  // The arch's full area from its polynomial is within 1 % of 0.788 W D.
  s = culvert_section_props(1.0, 1.0, 2.0, culvert_shape::arch);
  EXPECT_NEAR(s.area, 0.788 * 2.0, 0.02);
}

}  // namespace
}  // namespace nivra
