// Canopy interception conserves water: on every cell and every step the
// rain equals what the canopy took in plus what fell through, whether the
// store is empty, partly filled, full or has no room at all, through the
// seasonal factor of every month; and the cases worked by hand: a 3 mm
// step on an empty 2 mm store, a full store passing (1 - c) of the rain,
// rain on a lake cell, and the factors of the latitude table and of given
// months.
#include <gtest/gtest.h>

#include <vector>

#include "hydromet/interception.h"

namespace nivra {
namespace {

// One cell of the canopy.
struct cell {
  double capacity, coefficient, held;
};

// Rain of P mm/h for dt seconds on the cells; returns the depth held.
double step(std::vector<cell>& cells, double P, double dt, double f, std::vector<double>& through,
            const int* lake_mask = nullptr) {
  const int n = static_cast<int>(cells.size());
  std::vector<double> stor(n + 1), coef(n + 1), rain(n + 1, P), eff(n + 1), dep(n + 1);
  for (int k = 1; k <= n; ++k) {
    stor[k] = cells[k - 1].capacity;
    coef[k] = cells[k - 1].coefficient;
    dep[k] = cells[k - 1].held;
  }
  const canopy_cells c{n, stor.data(), coef.data(), rain.data(), eff.data(), dep.data(), lake_mask};
  const double held = canopy_interception(c, dt, f);
  through.assign(n + 1, 0.0);
  for (int k = 1; k <= n; ++k) {
    cells[k - 1].held = dep[k];
    through[k] = eff[k] * dt / 3600.0;  // mm
  }
  return held;
}

TEST(Interception, RainIsWhatTheCanopyTookInPlusWhatFellThrough) {
  // Empty, partly filled, full and overfull stores, a store of no room,
  // a coefficient of 0 and of 1.
  const std::vector<cell> start = {{2.0, 0.3, 0.0}, {2.0, 0.3, 1.2}, {2.0, 0.3, 2.0}, {2.0, 0.3, 2.6},
                                   {0.0, 0.4, 0.0}, {1.5, 0.0, 0.5}, {1.5, 1.0, 0.5}};
  const seasonal_months months{1, 3, 11, 6, 8};
  for (const bool by_latitude : {false, true}) {
    for (int month = 1; month <= 12; ++month) {
      const seasonal_months season = by_latitude ? seasonal_months{1, 0, 0, 0, 0} : months;
      const double f = seasonal_factor(month, 40.0, season);
      std::vector<cell> cells = start;
      std::vector<double> through;
      // Showers of 0, 1, 12 and 40 mm/h in steps of 10 s and of 15 min.
      for (const double P : {0.0, 1.0, 12.0, 40.0})
        for (const double dt : {10.0, 900.0}) {
          std::vector<double> before;
          for (const cell& c : cells) before.push_back(c.held);
          const double held = step(cells, P, dt, f, through);
          double sum = 0.0;
          for (std::size_t k = 1; k <= cells.size(); ++k) {
            const double taken = cells[k - 1].held - before[k - 1];
            EXPECT_NEAR(taken + through[k], P * dt / 3600.0, 1e-12) << "cell " << k << " month " << month;
            EXPECT_GE(taken, 0.0);
            EXPECT_GE(through[k], 0.0);
            // The store fills to its seasonal capacity and no further,
            // but for the coefficient's share of the rain beyond it.
            if (cells[k - 1].coefficient == 0.0 && before[k - 1] <= start[k - 1].capacity / f) {
              EXPECT_LE(cells[k - 1].held, start[k - 1].capacity / f + 1e-12);
            }
            sum += taken;
          }
          EXPECT_NEAR(held, sum, 1e-12);
        }
    }
  }
}

TEST(Interception, CasesByHand) {
  std::vector<double> through;
  // 3 mm in a step on an empty 2 mm store without a coefficient: 2 mm held,
  // the rate of the remaining 1 mm falls through.
  std::vector<cell> cells = {{2.0, 0.0, 0.0}};
  EXPECT_DOUBLE_EQ(step(cells, 12.0, 900.0, 1.0, through), 2.0);
  EXPECT_DOUBLE_EQ(through[1], 1.0);

  // A store partly filled (1 of 2 mm) with a coefficient of 0.5 takes the
  // free 1 mm and half of the 2 mm beyond it: 2 mm held, 1 mm through.
  cells = {{2.0, 0.5, 1.0}};
  EXPECT_DOUBLE_EQ(step(cells, 12.0, 900.0, 1.0, through), 2.0);
  EXPECT_DOUBLE_EQ(through[1], 1.0);
  EXPECT_DOUBLE_EQ(cells[0].held, 3.0);

  // A full store passes (1 - c) of the rain and holds c of it.
  cells = {{2.0, 0.25, 2.0}};
  EXPECT_DOUBLE_EQ(step(cells, 8.0, 1800.0, 1.0, through), 1.0);
  EXPECT_DOUBLE_EQ(through[1], 3.0);

  // In January at latitude 40 the factor is 4: a 2 mm store holds 0.5 mm
  // and a coefficient of 0.4 acts as 0.1.
  const double f = seasonal_factor(1, 40.0, seasonal_months{1, 0, 0, 0, 0});
  EXPECT_EQ(f, 4.0);
  cells = {{2.0, 0.4, 0.0}};
  EXPECT_DOUBLE_EQ(step(cells, 6.0, 1800.0, f, through), 0.5 + 0.1 * 2.5);
  EXPECT_DOUBLE_EQ(through[1], 0.9 * 2.5);

  // Rain on a channel-lake cell passes unchanged; a negative rate gives no
  // rain and fills nothing.
  cells = {{2.0, 0.4, 0.0}, {2.0, 0.4, 0.0}};
  const int lakes[3] = {0, 3, 0};
  EXPECT_DOUBLE_EQ(step(cells, 6.0, 1800.0, 1.0, through, lakes), 2.0 + 0.4 * 1.0);
  EXPECT_DOUBLE_EQ(through[1], 3.0);
  EXPECT_EQ(cells[0].held, 0.0);
  cells = {{2.0, 0.4, 0.0}};
  EXPECT_EQ(step(cells, -1.0, 60.0, 1.0, through), 0.0);
  EXPECT_EQ(through[1], 0.0);
}

TEST(Interception, SeasonalFactors) {
  // Off: 1 in every month.
  for (int m = 1; m <= 12; ++m) EXPECT_EQ(seasonal_factor(m, 45.0, seasonal_months{}), 1.0);
  // The table by latitude, south of 37 degrees and from 37 on.
  const double south[13] = {0, 4, 4, 4, 2.5, 1, 1, 1, 1, 1, 2.5, 4, 4};
  const double north[13] = {0, 4, 4, 4, 4, 3, 2, 1, 1, 1, 2.5, 4, 4};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(seasonal_factor(m, 36.9, seasonal_months{1, 0, 0, 0, 0}), south[m]) << m;
    EXPECT_EQ(seasonal_factor(m, 37.0, seasonal_months{1, 0, 0, 0, 0}), north[m]) << m;
    // South of the equator the same seasons six months later: January at
    // 40 S is July at 40 N, July at 20 S is January at 20 N.
    const int northern = (m + 5) % 12 + 1;
    EXPECT_EQ(seasonal_factor(m, -40.0, seasonal_months{1, 0, 0, 0, 0}), north[northern]) << m;
    EXPECT_EQ(seasonal_factor(m, -20.0, seasonal_months{1, 0, 0, 0, 0}), south[northern]) << m;
  }
  EXPECT_EQ(seasonal_factor(1, -40.0, seasonal_months{1, 0, 0, 0, 0}), 1.0);  // midsummer at 40 S
  EXPECT_EQ(seasonal_factor(7, -40.0, seasonal_months{1, 0, 0, 0, 0}), 4.0);  // midwinter
  // Spring in March, summer from June to August, fall in November.
  const double given[13] = {0, 4, 4, 4, 3, 2, 1, 1, 1, 2, 3, 4, 4};
  for (int m = 1; m <= 12; ++m) EXPECT_DOUBLE_EQ(seasonal_factor(m, 10.0, seasonal_months{1, 3, 11, 6, 8}), given[m]);
}

}  // namespace
}  // namespace nivra
