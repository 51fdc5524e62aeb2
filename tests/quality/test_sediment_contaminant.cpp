// Contaminants attached to the suspended fines over the cells: the
// partition of a cell against the linear-equilibrium closed form, the
// faces (fines carry their share of the mass on the fines of the cell they
// leave, through several cells in one step), and the attached transport
// of a step, whose every gram is found again: in the cells, settled back to
// the soil, or out of the outlet.
#include <gtest/gtest.h>

#include <cmath>

#include "quality/contaminant/sediment_contaminant.h"

namespace nivra {
namespace {

constexpr double density = 2.65e6;  // g/m3 of solid

// A row of n cells of 1 m side, 1 m deep, with a fine class (1) and a sand
// class (2), east neighbours in order.
struct row_of_cells {
  int n;
  array1d<int> right, below, left, above, order, waiting;
  array1d<double> depth, total, soil_exchange, sorbed;
  array2d<double> susp, eroded, deposited, face_x, face_y, per_volume;
  char sand[3] = {0, 0, 1};
  double dens[3] = {0.0, density, density};
  sed_contam_domain d;
  sed_contam_state s;

  explicit row_of_cells(int cells, double kd) : n(cells) {
    for (array1d<int>* a : {&right, &below, &left, &above, &order, &waiting}) a->alloc(n);
    for (array1d<double>* a : {&depth, &total, &soil_exchange, &sorbed}) a->alloc(n);
    for (array2d<double>* a : {&susp, &eroded, &deposited, &face_x, &face_y, &per_volume}) a->alloc(n, 2);
    for (int i = 1; i <= n; ++i) {
      right[i] = i < n ? i + 1 : 0;
      left[i] = i > 1 ? i - 1 : 0;
      depth[i] = 1.0;
    }
    d.ncells = n;
    d.dx = 1.0;
    d.n_classes = 2;
    d.right = right.data();
    d.below = below.data();
    d.left = left.data();
    d.above = above.data();
    d.depth = depth.data();
    d.sand = sand;
    d.sed_density = dens;
    d.kd = kd;
    d.eroded = &eroded;
    d.deposited = &deposited;
    d.face_x = &face_x;
    d.face_y = &face_y;
    d.soil_sorbed = sorbed.data();
    s.total = total.data();
    s.susp = &susp;
    s.soil_exchange = soil_exchange.data();
    s.per_volume = &per_volume;
  }
  // The step's attached transport, its faces in their order.
  sed_contam_books transport() {
    sediment_face_order(d, order.data(), waiting.data());
    d.face_order = order.data();
    return sed_contam_transport(d, s);
  }
  double water_mass() const {
    double m = 0.0;
    for (int i = 1; i <= n; ++i) m += total[i];
    return m;
  }
};

TEST(SedimentContaminant, ThePartitionOfACellIsTheLinearEquilibrium) {
  // Kd 1000 L/kg at 100 g/m3 of suspended fines: 1 / (1 + 1e-3 x 100)
  // = 0.909091 dissolved (Chapra); what is not dissolved is attached.
  struct row {
    const char* what;
    double kd, fines_g_m3, sand_g_m3, depth, dissolved;
  } rows[] = {
      {"Kd 1000, 100 g/m3 of fines", 1000.0, 100.0, 0.0, 1.0, 1.0 / 1.1},
      {"sand carries nothing", 1000.0, 100.0, 5000.0, 1.0, 1.0 / 1.1},
      {"only sand", 1000.0, 0.0, 5000.0, 1.0, 1.0},
      {"Kd 0", 0.0, 100.0, 0.0, 1.0, 1.0},
      {"a dry cell is not partitioned", 1000.0, 100.0, 0.0, 1e-17, 1.0},
  };
  for (const row& r : rows) {
    row_of_cells g(1, r.kd);
    g.depth[1] = r.depth;
    g.susp(1, 1) = r.fines_g_m3 / density;  // in 1 m3 of water
    g.susp(1, 2) = r.sand_g_m3 / density;
    g.total[1] = 50.0;
    double attached[3], per_volume[3];
    const double f = partition_cell(g.d, g.s, 1, attached, per_volume);
    EXPECT_NEAR(f, r.dissolved, 1e-12) << r.what;
    EXPECT_NEAR(f + attached[0], 1.0, 1e-12) << r.what;
    EXPECT_EQ(attached[2], 0.0) << r.what;
    EXPECT_EQ(per_volume[2], 0.0) << r.what;
    // The attached mass per m3 of fines times the fines' volume is the
    // attached mass.
    EXPECT_NEAR(per_volume[1] * g.susp(1, 1), attached[1] * 50.0, 1e-9) << r.what;
  }
  EXPECT_NEAR(1.0 / 1.1, 0.909091, 5e-7);
  // A class with no suspended volume holds nothing per m3 even when it
  // would attach a fraction.
  row_of_cells g(1, 1000.0);
  g.susp(1, 1) = 1e-17;
  g.total[1] = 50.0;
  double per_volume[3];
  partition_cell(g.d, g.s, 1, nullptr, per_volume);
  EXPECT_EQ(per_volume[1], 0.0);
}

TEST(SedimentContaminant, AFaceCarriesTheAttachedMassOfTheCellItLeaves) {
  // Cell 1 holds 100 g/m3 of fines (Kd 1000: a eleventh of its 11 g
  // attached, 1 g on 100 / 2.65e6 m3) and sends half of them east: 0.5 g
  // goes with them. The sand it also sends carries nothing.
  row_of_cells g(2, 1000.0);
  g.susp(1, 1) = 100.0 / density;
  g.susp(1, 2) = 1.0;
  g.total[1] = 11.0;
  g.face_x(1, 1) = 50.0 / density;
  g.face_x(1, 2) = 0.5;
  const sed_contam_books b = g.transport();
  EXPECT_NEAR(g.total[2], 0.5, 1e-12);
  EXPECT_NEAR(g.total[1], 10.5, 1e-12);
  EXPECT_NEAR(g.susp(2, 1), 50.0 / density, 1e-18);
  EXPECT_NEAR(g.susp(2, 2), 0.5, 1e-15);
  EXPECT_EQ(b.eroded + b.deposited + b.outlet, 0.0);
  // Westward sediment (a negative face volume) carries the east cell's.
  row_of_cells w(2, 1000.0);
  w.susp(2, 1) = 100.0 / density;
  w.total[2] = 11.0;
  w.face_x(1, 1) = -25.0 / density;
  w.transport();
  EXPECT_NEAR(w.total[1], 0.25, 1e-12);
}

TEST(SedimentContaminant, FinesThatCrossSeveralCellsInOneStepKeepWhatTheyCarry) {
  // Cell 1 holds 100 g/m3 of fines with 1 g on them (11 g in all, Kd
  // 1000), and over the step they cross cell 1's face east, then cell 2's:
  // whatever cell 2 held before, the fines it passes on take their share
  // of the mass on the fines it holds then, what they brought included,
  // never the concentration its own fines had before the step. Cell 2
  // holds no fines (11 g all dissolved), or as many fines as cell 1 with
  // 2 g on them (22 g in all), of which it passes on half.
  const double fines = 100.0 / density;
  const struct {
    const char* what;
    double fines_2, total_2, passed_on, reach_3;
  } rows[] = {
      {"a cell without fines of its own", 0.0, 11.0, fines, 1.0},
      {"a cell with fines of its own", fines, 22.0, fines, 0.5 * (1.0 + 2.0)},
  };
  for (const auto& r : rows) {
    row_of_cells g(3, 1000.0);
    g.susp(1, 1) = fines;
    g.total[1] = 11.0;
    g.susp(2, 1) = r.fines_2;
    g.total[2] = r.total_2;
    g.face_x(1, 1) = fines;
    g.face_x(2, 1) = r.passed_on;
    g.transport();
    EXPECT_NEAR(g.total[3], r.reach_3, 1e-12) << r.what;
    EXPECT_NEAR(g.total[1], 10.0, 1e-12) << r.what;
    EXPECT_NEAR(g.total[1] + g.total[2] + g.total[3], 11.0 + r.total_2, 1e-12) << r.what;
    EXPECT_NEAR(g.susp(3, 1), r.passed_on, 1e-18) << r.what;
  }
}

TEST(SedimentContaminant, FinesPassedOnAgainstTheCellOrderInOneStepKeepWhatTheyCarry) {
  // Over a step's passes the fines of cell 4 travel west through cells 3
  // and 2, which held none, into cell 1: each face carried them all. Taken
  // in cell order, cell 2 would pass on fines it has not yet received; the
  // order of the faces takes cell 4 first, then 3, 2 and 1, so the gram on
  // the fines reaches cell 1 with them and cells 2 and 3 keep neither.
  const double fines = 100.0 / density;
  row_of_cells g(4, 1000.0);
  g.susp(4, 1) = fines;
  g.total[4] = 11.0;
  for (int i = 1; i <= 3; ++i) g.face_x(i, 1) = -fines;
  sediment_face_order(g.d, g.order.data(), g.waiting.data());
  const int expected[5] = {0, 4, 3, 2, 1};
  for (int p = 1; p <= 4; ++p) EXPECT_EQ(g.order[p], expected[p]) << "place " << p;
  g.d.face_order = g.order.data();
  sed_contam_transport(g.d, g.s);
  EXPECT_NEAR(g.total[1], 1.0, 1e-12);
  EXPECT_NEAR(g.total[4], 10.0, 1e-12);
  EXPECT_NEAR(g.susp(1, 1), fines, 1e-18);
  for (int i = 2; i <= 3; ++i) {
    EXPECT_NEAR(g.total[i], 0.0, 1e-12) << "cell " << i;
    EXPECT_NEAR(g.susp(i, 1), 0.0, 1e-18) << "cell " << i;
  }
  // Faces around a loop still come each once, every cell placed.
  row_of_cells loop(2, 1000.0);
  loop.below[1] = 2;  // a second face between the two cells, carrying back
  loop.face_x(1, 1) = fines;
  loop.face_y(1, 1) = -fines;
  sediment_face_order(loop.d, loop.order.data(), loop.waiting.data());
  EXPECT_EQ(loop.order[1] + loop.order[2], 3);
}

TEST(SedimentContaminant, EveryGramOfAStepIsFoundAgain) {
  // Five cells with erosion, faces both ways, settling and an outlet: the
  // cells' mass after the step is their mass before plus the eroded mass
  // less the settled and the outlet's, and the soil's exchange is the
  // settled less the eroded.
  row_of_cells g(5, 800.0);
  const int outlet = 5;
  double out[3] = {0.0, 0.0, 0.0};
  for (int i = 1; i <= 5; ++i) {
    g.total[i] = 2.0 + i;
    g.susp(i, 1) = (50.0 + 10.0 * i) / density;
    g.susp(i, 2) = 1e-4;
    g.sorbed[i] = 40.0 + i;  // g per m3 of fine soil
    g.eroded(i, 1) = 1e-6 * i;
    g.eroded(i, 2) = 2e-6;
    g.deposited(i, 1) = 5e-6;
    g.deposited(i, 2) = 1e-6;
    g.face_x(i, 1) = i % 2 ? 8e-6 : -3e-6;
  }
  g.face_x(5, 1) = 0.0;
  out[1] = 4e-6;
  out[2] = 1e-6;
  g.d.outlet_cell = outlet;
  g.d.outlet_out = out;
  const double before = g.water_mass();
  const sed_contam_books b = g.transport();
  EXPECT_GT(b.eroded, 0.0);
  EXPECT_GT(b.deposited, 0.0);
  EXPECT_GT(b.outlet, 0.0);
  EXPECT_NEAR(g.water_mass(), before + b.eroded - b.deposited - b.outlet, 1e-12 * before);
  double soil = 0.0;
  for (int i = 1; i <= 5; ++i) {
    soil += g.soil_exchange[i];
    EXPECT_GE(g.total[i], 0.0);
  }
  EXPECT_NEAR(soil, b.deposited - b.eroded, 1e-15);
  // Eroded mass is the soil's sorbed concentration times the fines lifted.
  double eroded = 0.0;
  for (int i = 1; i <= 5; ++i) eroded += (40.0 + i) * 1e-6 * i;
  EXPECT_NEAR(b.eroded, eroded, 1e-15);
}

TEST(SedimentContaminant, NoCellGivesMoreThanItHolds) {
  // A face volume far larger than the cell's suspended fines would carry
  // more than the cell holds: it carries what the cell holds, no more.
  row_of_cells g(2, 1e6);
  g.susp(1, 1) = 1e-6;
  g.total[1] = 1.0;
  g.face_x(1, 1) = 1.0;
  g.transport();
  EXPECT_GE(g.total[1], 0.0);
  EXPECT_NEAR(g.total[1] + g.total[2], 1.0, 1e-15);
}

}  // namespace
}  // namespace nivra
