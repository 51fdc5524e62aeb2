// The net source of a cell: shares of what the processes gathered, losses
// cut to the mass the cell holds, and every gram either taken into the
// step or left waiting.
#include <gtest/gtest.h>

#include "quality/contaminant/cell_exchange.h"

namespace nivra {
namespace {

TEST(CellExchange, LongerIntervalsAreSpreadAndEveryGramIsTakenOrLeft) {
  // Decay gathered over 60 s, infiltration over 20 s, exfiltration over 60
  // s; a transport step of 20 s takes a third of the first and third.
  double exfil = 3.0, decay = 6.0, infil = 1.5;
  cell_pending p;
  p.exfiltration = &exfil;
  p.exfiltration_s = 60.0;
  p.decay = &decay;
  p.decay_s = 60.0;
  p.infiltration = &infil;
  p.infiltration_s = 20.0;
  cell_taken t;
  const double rate = contam_cell_exchange(100.0, 20.0, p, t);
  EXPECT_DOUBLE_EQ(t.exfiltration, 1.0);
  EXPECT_DOUBLE_EQ(t.decay, 2.0);
  EXPECT_DOUBLE_EQ(t.infiltration, 1.5);
  EXPECT_DOUBLE_EQ(exfil, 2.0);
  EXPECT_DOUBLE_EQ(decay, 4.0);
  EXPECT_EQ(infil, 0.0);
  EXPECT_DOUBLE_EQ(rate, (1.0 - 2.0 - 1.5) / 20.0);
}

TEST(CellExchange, ALossLargerThanTheMassTakesOnlyTheMass) {
  double decay = 50.0, infil = 10.0, exchange = -4.0;
  cell_pending p;
  p.decay = &decay;
  p.decay_s = 10.0;
  p.infiltration = &infil;
  p.infiltration_s = 10.0;
  p.exchange = &exchange;
  p.exchange_s = 10.0;
  cell_taken t;
  const double rate = contam_cell_exchange(30.0, 10.0, p, t);
  EXPECT_DOUBLE_EQ(t.exchange, -4.0);  // uptake first: 26 g left
  EXPECT_DOUBLE_EQ(t.decay, 26.0);     // decay books only what the cell had
  EXPECT_EQ(t.infiltration, 0.0);
  EXPECT_DOUBLE_EQ(rate, -3.0);        // the cell ends empty: -30 g over 10 s
  // An uptake larger than the mass is cut too.
  double big_uptake = -80.0;
  cell_pending q;
  q.exchange = &big_uptake;
  q.exchange_s = 5.0;
  cell_taken u;
  EXPECT_DOUBLE_EQ(contam_cell_exchange(12.0, 5.0, q, u), -12.0 / 5.0);
  EXPECT_DOUBLE_EQ(u.exchange, -12.0);
}

TEST(CellExchange, NutrientKineticsCountAsGainOrLoss) {
  for (double kinetics : {2.5, -2.5}) {
    double k = kinetics;
    cell_pending p;
    p.nutrients = &k;
    p.nutrients_s = 30.0;
    cell_taken t;
    contam_cell_exchange(10.0, 30.0, p, t);
    EXPECT_DOUBLE_EQ(t.nutrient_gain, kinetics > 0 ? 2.5 : 0.0);
    EXPECT_DOUBLE_EQ(t.nutrient_loss, kinetics < 0 ? 2.5 : 0.0);
  }
}

}  // namespace
}  // namespace nivra
