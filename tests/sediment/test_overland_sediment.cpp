// The overland sediment step on small grids with prescribed flows: every
// class closes (parent soil removed = suspended + deposited + discharged),
// sediment goes where the water goes, a cell's faces share its load by
// their capacities, flow detachment and settling follow a cell's own
// outflow by hand, a dry cell keeps nothing in suspension, a plane turned
// or mirrored carries the same sediment, and the step gives the same bits
// on any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "surface/overland_sediment.h"

namespace {

using nivra::ov_sed_books;
using nivra::ov_sed_cells;
using nivra::ov_sed_flow;
using nivra::ov_sed_params;
using nivra::ov_sediment_step;

// A grid of rows x cols cells, numbered row by row, its water falling to
// the right along each row at slope `slope` and leaving the grid through
// the last cell of the last row (the outlet). Flows are prescribed: each
// face carries q0 times the number of cells upstream in its row.
struct strip {
  int rows, cols, n;
  double dx = 10.0;
  std::vector<double> depth, elev, qx, qy, rain;
  std::vector<int> right, below, left, above;
  std::vector<double> diam{0.0, 0.008, 0.05, 0.4}, sg{0.0, 2.65, 2.65, 2.65}, settling;
  ov_sed_flow flow;
  ov_sed_params par;
  ov_sed_cells sed;
  ov_sed_books books;
  ov_sediment_step step;
  nivra::thread_pool crew{1};

  strip(int r, int c, double slope, double rain_mm_h, int option)
      : rows(r), cols(c), n(r * c), depth(n + 1), elev(n + 1), qx(n + 1), qy(n + 1), rain(n + 1, rain_mm_h),
        right(n + 1), below(n + 1), left(n + 1), above(n + 1), settling(4) {
    const double q0 = 2e-4;
    for (int i = 1; i <= rows; ++i)
      for (int j = 1; j <= cols; ++j) {
        const int cell = (i - 1) * cols + j;
        elev[cell] = 100.0 - slope * dx * j;
        right[cell] = j < cols ? cell + 1 : 0;
        left[cell] = j > 1 ? cell - 1 : 0;
        below[cell] = i < rows ? cell + cols : 0;
        above[cell] = i > 1 ? cell - cols : 0;
        qx[cell] = j < cols ? q0 * j : 0.0;
        depth[cell] = 0.002 + 0.0005 * j;
      }
    const double nu = nivra::sediment::water_viscosity(20.0);
    for (int k = 1; k <= 3; ++k) settling[k] = nivra::sediment::fall_velocity(diam[k], sg[k], nu);
    flow.ncells = n;
    flow.dx = dx;
    flow.dt = 5.0;
    flow.depth = depth.data();
    flow.elevation = elev.data();
    flow.qx = qx.data();
    flow.qy = qy.data();
    flow.rain = rain.data();
    flow.rightcon = right.data();
    flow.belowcon = below.data();
    flow.leftcon = left.data();
    flow.abovecon = above.data();
    flow.outlet_cell = n;
    flow.outlet_slope = slope;
    flow.qout = q0 * cols;
    flow.outlet_drains = true;
    par.option = option;
    par.classes = {3, diam.data(), sg.data()};
    par.settling = settling.data();
    par.longest_substep = 0.0;  // one pass per step: the hand values below follow it
    sed.alloc(n, 3, true);
    for (int cell = 1; cell <= n; ++cell) {
      sed.soil_fract(cell, 1) = 0.3;
      sed.soil_fract(cell, 2) = 0.5;
      sed.soil_fract(cell, 3) = 0.2;
    }
    books.alloc(3);
    step.prepare(n, 3);
  }
  void run(int steps, int parts) {
    crew.resize(parts);
    for (int s = 0; s < steps; ++s) step.run(flow, par, sed, books, crew, parts);
  }
  double sum(const nivra::array2d<double>& a, int k, int from = 1) const {
    double t = 0.0;
    for (int c = from; c <= n; ++c) t += a(c, k);
    return t;
  }
};

}  // namespace

TEST(OverlandSediment, EveryClassClosesOverAWholeRun) {
  // Each capacity formula on a 1 x 12 strip and on a 4 x 6 grid.
  for (int option : {1, 2, 3, 4, 5, 6, 7}) {
    for (auto [r, c] : {std::pair{1, 12}, std::pair{4, 6}}) {
      strip g(r, c, 0.03, 45.0, option);
      g.par.option = option;
      std::vector<double> sk(g.n + 1, 0.5);
      g.par.sed_K = sk.data();
      g.run(300, 1);
      for (int k = 1; k <= 3; ++k) {
        const double eroded = -g.sum(g.sed.eroded, k);
        const double held = g.sum(g.sed.susp, k) + g.sum(g.sed.dep, k) + g.sed.out(g.n, k);
        ASSERT_GT(eroded, 0.0) << "option " << option;
        EXPECT_NEAR(held, eroded, 1e-10 * eroded) << "option " << option << " class " << k;
        EXPECT_NEAR(g.books.parent[k], eroded, 1e-10 * eroded);
        EXPECT_NEAR(g.books.outlet[k], g.sed.out(g.n, k), 1e-12 * eroded);
        EXPECT_EQ(g.sed.susp(0, k), 0.0);  // the outside is emptied at once
      }
      EXPECT_GT(g.books.outlet[0], 0.0) << "option " << option;
    }
  }
}

// A step moves its sediment in sub-steps with the water held: three 5 s
// steps in sub-steps of at most 1.25 s leave the cells, the outlet and the
// books as twelve single passes of 1.25 s over the same water do, and the
// step's lifted and settled volumes are those of its passes added up.
TEST(OverlandSediment, SubStepsAreShortPassesOverTheStepsWater) {
  for (int option : {1, 3}) {
    strip a(3, 5, 0.03, 45.0, option), b(3, 5, 0.03, 45.0, option);
    a.par.longest_substep = 1.25;
    b.flow.dt = 1.25;
    std::vector<double> sk(a.n + 1, 0.5);
    a.par.sed_K = b.par.sed_K = sk.data();
    std::vector<double> lifted(4, 0.0), settled(4, 0.0);
    for (int s = 0; s < 3; ++s) {
      a.run(1, 1);
      std::fill(lifted.begin(), lifted.end(), 0.0);
      std::fill(settled.begin(), settled.end(), 0.0);
      for (int pass = 0; pass < 4; ++pass) {
        b.run(1, 1);
        for (int k = 1; k <= 3; ++k) {
          lifted[k] += b.sum(b.sed.lifted, k);
          settled[k] += b.sum(b.sed.settled, k);
        }
      }
      for (int k = 1; k <= 3; ++k) {
        EXPECT_NEAR(a.sum(a.sed.lifted, k), lifted[k], 1e-10 * lifted[k]) << "option " << option;
        EXPECT_NEAR(a.sum(a.sed.settled, k), settled[k], 1e-10 * settled[k]) << "option " << option;
      }
    }
    for (int k = 1; k <= 3; ++k) {
      const double scale = -b.sum(b.sed.eroded, k);
      ASSERT_GT(scale, 0.0);
      for (int c = 1; c <= a.n; ++c) {
        EXPECT_NEAR(a.sed.susp(c, k), b.sed.susp(c, k), 1e-10 * scale) << "cell " << c << " class " << k;
        EXPECT_NEAR(a.sed.dep(c, k), b.sed.dep(c, k), 1e-10 * scale) << "cell " << c << " class " << k;
        EXPECT_NEAR(a.sed.eroded(c, k), b.sed.eroded(c, k), 1e-10 * scale) << "cell " << c << " class " << k;
      }
      EXPECT_NEAR(a.sed.out(a.n, k), b.sed.out(b.n, k), 1e-10 * scale);
      EXPECT_NEAR(a.books.outlet[k], b.books.outlet[k], 1e-10 * scale);
      EXPECT_NEAR(a.books.parent[k], b.books.parent[k], 1e-10 * scale);
    }
  }
}

TEST(OverlandSediment, SedimentFollowsTheWater) {
  // Rain on the third cell only, and a parent soil too firm for the flow
  // to cut: sediment reaches the cells downstream, never those upstream.
  strip g(1, 8, 0.03, 0.0, 7);
  g.rain[3] = 60.0;
  std::vector<double> firm(g.n + 1, 100.0);
  g.par.detach_crit = firm.data();
  g.run(20, 1);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(g.sed.susp(1, k) + g.sed.dep(1, k), 0.0);
    EXPECT_EQ(g.sed.susp(2, k) + g.sed.dep(2, k), 0.0);
    EXPECT_LT(g.sed.eroded(3, k), 0.0);
    EXPECT_EQ(g.sed.eroded(5, k), 0.0);
    double below = g.sed.out(g.n, k);
    for (int c = 4; c <= g.n; ++c) below += g.sed.susp(c, k) + g.sed.dep(c, k);
    EXPECT_GT(below, 0.0);
  }
}

TEST(OverlandSediment, ADryCellKeepsNothingInSuspension) {
  strip g(1, 4, 0.03, 30.0, 1);
  g.depth[2] = 0.0;
  g.qx[2] = 0.0;
  g.qx[1] = 2e-4;
  g.sed.susp(2, 1) = 0.01;
  g.sed.susp(2, 3) = 0.02;
  g.run(1, 1);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(g.sed.susp(2, k), 0.0) << k;
  EXPECT_GE(g.sed.dep(2, 3), 0.02);
  EXPECT_GE(g.sed.settled(2, 0), 0.03);
}

TEST(OverlandSediment, FlowDetachesByTheCellsOwnOutflow) {
  // A 2 x 2 grid whose cell 2 takes 3e-4 m3/s from cell 1 on its left and
  // lets 4e-4 m3/s down to cell 4, 0.2 m below it: its water, 3 mm deep,
  // falls 0.02 toward its only outflow. Under the unit-discharge capacity
  // (formula 7) the cell can carry q = 4e-4 / 10 m = 4e-5; it carries
  // 1e-5 m3, a quarter of that, so the flow detaches 0.75 of its full rate:
  // 2e-5 x 0.75 x (9792.342 N/m3 x 0.003 m x 0.02) x 5 s x 100 m2 /
  // 2645.23 kg/m3 of parent soil. The water coming in counts for nothing.
  strip g(2, 2, 0.03, 0.0, 7);
  g.qx[1] = 3e-4;
  g.qx[3] = 0.0;
  g.qy[2] = 4e-4;
  g.elev[4] = g.elev[2] - 0.2;
  g.sed.susp(2, 1) = 1e-5;
  g.run(1, 1);
  const double tau = 9792.342 * 0.003 * 0.02;
  const double lifted = 2e-5 * 0.75 * tau * 5.0 * 100.0 / 2645.23;
  EXPECT_NEAR(g.sed.lifted(2, 0), lifted, 1e-12 * lifted);
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(g.sed.eroded(2, k), -g.sed.soil_fract(2, k) * lifted, 1e-12 * lifted);
}

TEST(OverlandSediment, SettlingOverOneCellByHand) {
  // 2e-4 m3/s through the right face of a cell of 10 m holding 2.5 mm of
  // water moves at v = Q / (dx h) = 0.008 m/s; particles falling at w
  // settle the share 1 - exp(-dx w / (v h)) of what is suspended:
  // 1 - exp(-0.05), 1 - exp(-0.2) and 1 - exp(-5) of 1e-3 m3 for w of
  // 1e-7, 4e-7 and 1e-5 m/s. Level ground under formula 2 with no
  // capacity factor carries nothing across the face and detaches nothing.
  strip g(1, 2, 0.0, 0.0, 2);
  g.settling = {0.0, 1e-7, 4e-7, 1e-5};
  g.par.settling = g.settling.data();
  for (int k = 1; k <= 3; ++k) g.sed.susp(1, k) = 1e-3;
  g.run(1, 1);
  const double share[4] = {0.0, 1.0 - std::exp(-0.05), 1.0 - std::exp(-0.2), 1.0 - std::exp(-5.0)};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(g.sed.lifted(1, k), 0.0) << "class " << k;
    EXPECT_NEAR(g.sed.settled(1, k), share[k] * 1e-3, 1e-15) << "class " << k;
    EXPECT_NEAR(g.sed.susp(1, k), (1.0 - share[k]) * 1e-3, 1e-15) << "class " << k;
  }
}

TEST(OverlandSediment, ChannelCellsGiveNoParentSoil) {
  strip g(1, 6, 0.05, 80.0, 2);
  std::vector<double> sk(g.n + 1, 0.5);  // a flow that carries off what the drops lift
  g.par.sed_K = sk.data();
  std::vector<int> chan(g.n + 1, 0);
  chan[4] = 1;
  g.flow.channel_cell = chan.data();
  g.run(50, 1);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(g.sed.eroded(4, k), 0.0);
    EXPECT_LT(g.sed.eroded(3, k), 0.0);
  }
}

TEST(OverlandSediment, SameBitsOnAnyNumberOfThreads) {
  // 80 x 80 cells, enough for the crew to take two or three parts (one
  // thread goes through the grid in blocks), water running down the rows
  // and up and down the columns, four sub-steps a step.
  std::vector<double> first;
  for (int parts : {1, 2, 3}) {
    strip g(80, 80, 0.02, 55.0, 1);
    for (int c = 1; c <= g.n; ++c)
      if (g.below[c]) g.qy[c] = 1e-4 * (c % 3 - 1);
    std::vector<double> sk(g.n + 1, 0.8);
    g.par.sed_K = sk.data();
    g.par.longest_substep = 1.25;
    g.run(6, parts);
    std::vector<double> all;
    const nivra::array2d<double>* tables[] = {&g.sed.susp, &g.sed.dep,         &g.sed.eroded,     &g.sed.out,
                                              &g.sed.qsmax, &g.step.face_x(), &g.step.face_y()};
    for (const nivra::array2d<double>* a : tables)
      all.insert(all.end(), a->data(), a->data() + (g.n + 1) * 4);
    all.push_back(g.books.parent[0]);
    all.push_back(g.books.outlet[0]);
    if (first.empty()) first = all;
    else EXPECT_EQ(std::memcmp(first.data(), all.data(), all.size() * sizeof(double)), 0) << parts << " parts";
  }
}

// The faces of a cell share its load: cell 1 of a 2 x 2 grid lets
// 1.5e-4 m3/s out to the right and 1e-4 m3/s down, and under the unit
// discharge capacity (formula 7) of 10 m cells the right face can carry
// 1.5e-5 m3 in the step, the lower face 1e-5 m3. The faces together carry
// each class in proportion to their capacities: all of the cell's load
// when it is less than the 2.5e-5 m3 they can carry together (three fifths
// to the right, two fifths down, whichever face comes first), else each
// face its capacity, as the same share of every class.
TEST(OverlandSediment, TheFacesOfACellShareItsLoadByTheirCapacities) {
  const struct {
    double clay, sand;                       // the cell's load, m3
    double right_clay, right_sand, down_clay, down_sand;  // by hand, m3
  } cases[] = {
      {1.5e-5, 0.5e-5, 0.9e-5, 0.3e-5, 0.6e-5, 0.2e-5},      // 2e-5: less than both can carry
      {3.75e-5, 1.25e-5, 1.125e-5, 0.375e-5, 0.75e-5, 0.25e-5},  // 5e-5: more
  };
  for (const auto& cs : cases) {
    strip g(2, 2, 0.03, 0.0, 7);
    g.qx[1] = 1.5e-4;
    g.qy[1] = 1e-4;
    g.qx[3] = g.qy[2] = 0.0;
    std::vector<double> firm(g.n + 1, 100.0);  // the flow cuts no parent soil
    g.par.detach_crit = firm.data();
    g.sed.susp(1, 1) = cs.clay;
    g.sed.susp(1, 3) = cs.sand;
    g.run(1, 1);
    const auto& fx = g.step.face_x();
    const auto& fy = g.step.face_y();
    EXPECT_NEAR(fx(1, 1), cs.right_clay, 1e-12 * cs.right_clay);
    EXPECT_NEAR(fx(1, 3), cs.right_sand, 1e-12 * cs.right_sand);
    EXPECT_NEAR(fy(1, 1), cs.down_clay, 1e-12 * cs.down_clay);
    EXPECT_NEAR(fy(1, 3), cs.down_sand, 1e-12 * cs.down_sand);
    EXPECT_EQ(fx(1, 2) + fy(1, 2), 0.0);
    // What the faces did not take stayed on cell 1 (and settled there).
    EXPECT_NEAR(g.sed.susp(1, 1) + g.sed.dep(1, 1), cs.clay - cs.right_clay - cs.down_clay, 1e-12 * cs.clay);
  }
}

// Under Engelund-Hansen (formula 1) the capacity of a face depends on the
// classes the cell carries: a cell holding more than its face can carry
// of the finer or of the coarser class (0.008 and 0.05 mm), or of both,
// gives across the face, in one pass, what `transport_capacity` works out
// for that flow and that load.
TEST(OverlandSediment, AFaceCarriesTheEngelundHansenCapacityOfTheClassesItCarries) {
  const double loads[][3] = {{0.1, 0.0, 0.0}, {0.0, 0.1, 0.0}, {0.05, 0.05, 0.0}};
  for (const auto& load : loads) {
    strip g(1, 2, 0.03, 0.0, 1);
    std::vector<double> sk(g.n + 1, 0.6);
    g.par.sed_K = sk.data();
    std::vector<double> firm(g.n + 1, 100.0);
    g.par.detach_crit = firm.data();
    for (int k = 1; k <= 3; ++k) g.sed.susp(1, k) = load[k - 1];
    // The capacity by itself, for the cell's load before the step.
    std::vector<double> fract(4, 0.0), dep(4, 0.0), eroded(4, 0.0), sf(4, 0.0), df(4, 0.0);
    std::vector<double> held{0.0, load[0], load[1], load[2]};
    const nivra::sediment::cell_sediment cell{g.sed.soil_fract[1].data(), held.data(), dep.data(), eroded.data(),
                                              sf.data(), df.data()};
    const double slope = (g.depth[1] + g.elev[1] - g.depth[2] - g.elev[2]) / g.dx;
    const nivra::sediment::capacity_flow flow{1, slope, g.depth[1], g.qx[1] / g.dx, g.flow.dt, g.dx, 0.6, 1.0};
    const double capacity = nivra::sediment::transport_capacity(flow, {3, g.diam.data(), g.sg.data()}, cell);
    ASSERT_GT(capacity, 0.0);
    ASSERT_LT(capacity, load[0] + load[1]);
    g.run(1, 1);
    const double carried = g.step.face_x()(1, 1) + g.step.face_x()(1, 2) + g.step.face_x()(1, 3);
    EXPECT_NEAR(carried, capacity, 1e-12 * capacity) << load[0] << " " << load[1];
  }
}

// A plane carries the same sediment whichever way it faces: 4 x 5 cells
// falling 2 % south and 1 % east to the outlet at the south-east corner,
// its water running both ways across the faces, drawn as it is, turned by
// one, two and three quarters and mirrored east-west (every map, face
// discharge and the outlet turned with it), erodes and delivers each class
// alike in every layout.
TEST(OverlandSediment, APlaneTurnedOrMirroredErodesAndDeliversAlike) {
  const int rows = 4, cols = 5;
  // The plane as drawn: ground and depth of cell (i, j), the discharge
  // from (i, j) east to (i, j + 1) and south to (i + 1, j).
  auto ground = [](int i, int j) { return 100.0 - 0.2 * i - 0.1 * j + 0.01 * ((i * j) % 3); };
  auto depth = [](int i, int j) { return 0.002 + 0.0004 * i + 0.0003 * j; };
  auto east = [](int i, int j) { return 1e-4 * (i + j) * (j == 2 && i == 1 ? -0.5 : 1.0); };
  auto south = [](int i, int j) { return 8e-5 * (i + 2 * j); };
  struct yields {
    double eroded[4], out[4];
  };
  auto run = [&](int turns, bool mirror) {
    const bool across = turns % 2 == 1;
    const int r2 = across ? cols : rows, c2 = across ? rows : cols;
    // Where cell (i, j) of the plane as drawn lies in the layout.
    auto place = [&](int i, int j) {
      if (mirror) j = cols + 1 - j;
      int a = i, b = j;
      for (int t = 0; t < turns; ++t) {
        const int rr = t % 2 == 0 ? rows : cols;  // rows before this quarter turn
        const int na = b, nb = rr + 1 - a;
        a = na;
        b = nb;
      }
      return (a - 1) * c2 + b;
    };
    strip g(r2, c2, 0.0, 50.0, 1);
    std::vector<double> sk(g.n + 1, 0.7);
    g.par.sed_K = sk.data();
    g.par.longest_substep = 1.25;
    std::fill(g.qx.begin(), g.qx.end(), 0.0);
    std::fill(g.qy.begin(), g.qy.end(), 0.0);
    auto face = [&](int from, int to, double q) {
      if (g.right[from] == to) g.qx[from] = q;
      else if (g.right[to] == from) g.qx[to] = -q;
      else if (g.below[from] == to) g.qy[from] = q;
      else g.qy[to] = -q;
    };
    for (int i = 1; i <= rows; ++i)
      for (int j = 1; j <= cols; ++j) {
        const int c = place(i, j);
        g.elev[c] = ground(i, j);
        g.depth[c] = depth(i, j);
        if (j < cols) face(c, place(i, j + 1), east(i, j));
        if (i < rows) face(c, place(i + 1, j), south(i, j));
      }
    g.flow.outlet_cell = place(rows, cols);
    g.flow.qout = 2e-3;
    g.flow.outlet_slope = 0.02;
    g.run(8, 1);
    yields y{};
    for (int k = 1; k <= 3; ++k) {
      y.eroded[k] = g.books.parent[k];
      y.out[k] = g.books.outlet[k];
    }
    return y;
  };
  const yields drawn = run(0, false);
  for (int k = 1; k <= 3; ++k) {
    ASSERT_GT(drawn.eroded[k], 0.0);
    ASSERT_GT(drawn.out[k], 0.0);
  }
  for (auto [turns, mirror] : {std::pair{1, false}, {2, false}, {3, false}, {0, true}}) {
    const yields y = run(turns, mirror);
    for (int k = 1; k <= 3; ++k) {
      EXPECT_NEAR(y.eroded[k], drawn.eroded[k], 1e-9 * drawn.eroded[k]) << turns << " " << mirror << " class " << k;
      EXPECT_NEAR(y.out[k], drawn.out[k], 1e-9 * drawn.out[k]) << turns << " " << mirror << " class " << k;
    }
  }
}

TEST(OverlandSediment, ALaterRunWithABiggerGridIsSizedAfresh) {
  // The step object of a first, small run serves a second, bigger one once
  // prepared for it.
  strip small(1, 3, 0.03, 40.0, 7);
  small.run(5, 1);
  strip big(5, 9, 0.03, 40.0, 7);
  ov_sediment_step& step = small.step;
  step.prepare(big.n, 3);
  nivra::thread_pool crew(1);
  for (int s = 0; s < 5; ++s) step.run(big.flow, big.par, big.sed, big.books, crew, 1);
  const double eroded = -big.sum(big.sed.eroded, 1);
  EXPECT_NEAR(big.sum(big.sed.susp, 1) + big.sum(big.sed.dep, 1) + big.sed.out(big.n, 1), eroded, 1e-10 * eroded);
}

TEST(OverlandSediment, TheTallyOfAStepAddsUpItsCells) {
  strip g(3, 5, 0.03, 50.0, 1);
  std::vector<double> sk(g.n + 1, 0.6);
  g.par.sed_K = sk.data();
  g.run(3, 1);
  nivra::array2d<double> net(g.n, 3);
  net(2, 1) = 0.25;  // what earlier steps left
  std::vector<double> ground(g.n + 1, 10.0);
  nivra::ov_sed_tally tally;
  tally.alloc(3);
  EXPECT_EQ(nivra::tally_sediment_step(g.sed, net, ground.data(), 100.0, tally), 0);
  for (int k = 0; k <= 3; ++k) {
    double up = 0.0, down = 0.0;
    for (int c = 1; c <= g.n; ++c) {
      up += g.sed.lifted(c, k);
      down += g.sed.settled(c, k);
      EXPECT_DOUBLE_EQ(net(c, k), (c == 2 && k == 1 ? 0.25 : 0.0) + g.sed.settled(c, k) - g.sed.lifted(c, k));
    }
    EXPECT_DOUBLE_EQ(tally.lifted[k], up);
    EXPECT_DOUBLE_EQ(tally.settled[k], down);
  }
  EXPECT_GT(tally.lifted[0], 0.0);
  for (int c = 1; c <= g.n; ++c)
    EXPECT_DOUBLE_EQ(ground[c], 10.0 + (g.sed.settled(c, 0) - g.sed.lifted(c, 0)) / 100.0);
  // Without a ground nothing moves it; a volume that is not a number is
  // found at its cell, the first one.
  g.sed.dep(9, 2) = std::nan("");
  g.sed.eroded(12, 1) = std::nan("");
  EXPECT_EQ(nivra::tally_sediment_step(g.sed, net, nullptr, 100.0, tally), 9);
}

TEST(OverlandSediment, FaceVolumesCloseEveryCellOfAStep) {
  // Over one step, every cell and class: what the suspension gained equals
  // what was lifted, less what settled, plus what crossed its four faces
  // (the face volumes are signed toward the right and the lower
  // neighbour). Water also runs down the columns, and up on one face, so
  // both directions of both faces are exercised; the outlet's outer face
  // carries what left the grid.
  strip g(4, 6, 0.03, 45.0, 7);
  for (int cell = 1; cell <= g.n; ++cell)
    if (g.below[cell]) g.qy[cell] = 1e-4;
  g.qy[3] = -1e-4;
  g.qx[8] = -5e-5;
  g.run(40, 1);  // a loaded suspension to start from
  std::vector<double> before(static_cast<std::size_t>((g.n + 1) * 4));
  for (int c = 1; c <= g.n; ++c)
    for (int k = 1; k <= 3; ++k) before[static_cast<std::size_t>(c * 4 + k)] = g.sed.susp(c, k);
  g.books.clear();
  g.run(1, 1);
  const auto& fx = g.step.face_x();
  const auto& fy = g.step.face_y();
  bool up = false, back = false;
  for (int c = 1; c <= g.n; ++c)
    for (int k = 1; k <= 3; ++k) {
      double net = g.sed.lifted(c, k) - g.sed.settled(c, k) - fx(c, k) - fy(c, k);
      if (g.left[c]) net += fx(g.left[c], k);
      if (g.above[c]) net += fy(g.above[c], k);
      const double change = g.sed.susp(c, k) - before[static_cast<std::size_t>(c * 4 + k)];
      EXPECT_NEAR(change, net, 1e-12 * (1.0 + std::fabs(change))) << "cell " << c << " class " << k;
      up = up || fy(c, k) < 0.0;
      back = back || fx(c, k) < 0.0;
    }
  EXPECT_TRUE(up);
  EXPECT_TRUE(back);
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(fx(g.n, k), g.books.outlet[k]);
}

TEST(OverlandSediment, CellsAnOverlandLakeCoversDetachNothing) {
  // A 1 x 7 strip under rain whose cells 4 and 5 an overland lake covers:
  // its water shields their bed from the raindrops and does not run over
  // it as sheet flow, so neither detaches, while every other cell does,
  // the one above the lake too (its water still runs downhill). The fines
  // washed onto cell 4, whose still water carries off little (sed_K
  // 1e-3), settle there; every class closes.
  strip g(1, 7, 0.03, 45.0, 2);
  std::vector<double> sk(g.n + 1, 0.5);
  sk[4] = 1e-3;
  g.par.sed_K = sk.data();
  std::vector<int> olake(g.n + 1, 0);
  olake[4] = olake[5] = 1;
  g.flow.olake = olake.data();
  g.par.longest_substep = nivra::ov_sed_longest_substep;
  for (int step = 0; step < 20; ++step) g.step.run(g.flow, g.par, g.sed, g.books, g.crew, 1);
  for (int k = 1; k <= 3; ++k) {
    for (int c : {4, 5}) EXPECT_EQ(g.sed.eroded(c, k), 0.0) << "cell " << c;
    for (int c : {1, 2, 3, 6, 7}) EXPECT_LT(g.sed.eroded(c, k), 0.0) << "cell " << c;
  }
  EXPECT_EQ(g.sed.lifted(4, 0) + g.sed.lifted(5, 0), 0.0);
  EXPECT_GT(g.sed.settled(4, 0), 1e-3 * g.sed.lifted(3, 0));
  EXPECT_GT(g.sed.dep(4, 1) + g.sed.dep(4, 2) + g.sed.dep(4, 3), 1e-3 * g.sed.lifted(3, 0));
  for (int k = 1; k <= 3; ++k) {
    const double eroded = -g.sum(g.sed.eroded, k);
    const double held_on_cells = g.sum(g.sed.susp, k) + g.sum(g.sed.dep, k) + g.sed.out(g.n, k);
    EXPECT_NEAR(held_on_cells, eroded, 1e-12 * held_on_cells) << "class " << k;
  }
}

TEST(OverlandSediment, ChannelLakesTakeInTheLandsSedimentAndLetTheirWashLoadOut) {
  // A 1 x 7 strip whose cells 4 and 5 are one channel lake standing at
  // 99.0 m, above the land below it (cell 6 lies near 98.2 m). Water runs
  // into the lake from cell 3 and out of it onto cell 6. The lake holds
  // 0.5 and 0.2 m3 of the two fine classes in 1,000 m3 of water; the sand
  // class stays in it. Cell 3 holds 1e-4 m3 of clay the land above washed
  // onto it in earlier steps.
  strip g(1, 7, 0.03, 45.0, 2);
  const double washed = 1e-4;
  g.sed.susp(3, 1) = washed;
  std::vector<double> sk(g.n + 1, 0.5);
  g.par.sed_K = sk.data();
  std::vector<int> lake(g.n + 1, 0);
  lake[4] = lake[5] = 1;
  std::vector<double> level{0.0, 99.0};
  g.flow.lake = lake.data();
  g.flow.lake_elev = level.data();
  g.qx[5] = 0.01;  // out of the lake onto cell 6, m3/s
  nivra::array2d<double> held(1, 2), released(1, 2);
  held(1, 1) = 0.5;
  held(1, 2) = 0.2;
  std::vector<double> water{0.0, 1000.0};
  std::vector<int> fine{0, 1, 2};
  nivra::ov_sed_lake_wash wash{&held, water.data(), fine.data(), 2, &released};
  g.step.run(g.flow, g.par, g.sed, g.books, g.crew, 1, &wash);

  // The lake cells and the land beside the lake, on either side, detach
  // nothing; the land farther above and below does.
  for (int k = 1; k <= 3; ++k) {
    for (int c : {3, 4, 5, 6}) EXPECT_EQ(g.sed.eroded(c, k), 0.0) << "cell " << c;
    for (int c : {1, 2, 7}) EXPECT_LT(g.sed.eroded(c, k), 0.0) << "cell " << c;
  }
  EXPECT_EQ(g.sed.lifted(3, 0) + g.sed.lifted(6, 0), 0.0);
  // Cell 3 faces the lake's level, not its lake neighbour's ground: the
  // capacity of formula 2 toward the lake is that of the slope
  // (w3 - 99.0) / dx, by hand.
  const double s3 = (g.depth[3] + g.elev[3] - 99.0) / g.dx;
  const double q3 = g.qx[3] / g.dx;
  EXPECT_NEAR(g.sed.qsx[3], std::pow(s3, 1.6667) * 1.7e8 * std::pow(q3, 2.035) * 0.5 * g.flow.dt * g.dx / 2645.23,
              1e-12 * g.sed.qsx[3]);
  // The lake's water carries the fine classes out at the lake's
  // concentration times the water let out: 0.5 / 1000 x 0.01 x 5 s.
  EXPECT_DOUBLE_EQ(g.books.from_lakes[1], 0.5 / 1000.0 * 0.01 * 5.0);
  EXPECT_DOUBLE_EQ(g.books.from_lakes[2], 0.2 / 1000.0 * 0.01 * 5.0);
  EXPECT_EQ(g.books.from_lakes[3], 0.0);
  EXPECT_DOUBLE_EQ(held(1, 1), 0.5 - g.books.from_lakes[1]);
  EXPECT_DOUBLE_EQ(released(1, 2), g.books.from_lakes[2]);
  EXPECT_DOUBLE_EQ(g.sed.qsmax(5, 1), g.books.from_lakes[1] / g.flow.dt);
  // Between the two lake cells nothing moves.
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(g.sed.susp(5, k) + g.sed.dep(5, k), 0.0);
  // Every class closes: washed down before + eroded + released = on the
  // cells + out.
  for (int k = 1; k <= 3; ++k) {
    const double eroded = -g.sum(g.sed.eroded, k) + (k == 1 ? washed : 0.0);
    const double held_on_cells = g.sum(g.sed.susp, k) + g.sum(g.sed.dep, k) + g.sed.out(g.n, k);
    EXPECT_NEAR(held_on_cells, eroded + g.books.from_lakes[k], 1e-12 * held_on_cells) << "class " << k;
  }
  // The land's sediment reached the lake cell 4, whence the channel step
  // takes it into the lake.
  EXPECT_GT(g.sed.susp(4, 1) + g.sed.dep(4, 1), 0.0);

  // A lake with almost no water lets out no more than it holds.
  g.books.clear();
  water[1] = 1e-3;
  g.step.run(g.flow, g.par, g.sed, g.books, g.crew, 1, &wash);
  EXPECT_EQ(held(1, 1), 0.0);
  EXPECT_EQ(held(1, 2), 0.0);
  EXPECT_DOUBLE_EQ(released(1, 1), 0.5);
  EXPECT_DOUBLE_EQ(released(1, 1) + released(1, 2), 0.7);
}
