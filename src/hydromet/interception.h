// Canopy interception: the vegetation of a cell holds back part of the rain
// before it reaches the ground. Rain first fills the free interception
// storage; of the rest, the interception coefficient's fraction is held too
// and the remainder falls through. Both parameters are divided by a
// seasonal factor of the month (and, by default, of the latitude).
#pragma once

namespace nivra {

struct model_state;

// The seasonal factor's switch and its months (spring, fall, start and end
// of summer); a spring month below 1 selects the table by latitude.
struct seasonal_months {
  int on = 0;
  int spring = 0, fall = 0, summer_start = 0, summer_end = 0;
};

// Divisor of the canopy parameters in a month (1..12): 1 in summer, 4 in
// winter, in between in spring and fall.
double seasonal_factor(int month, double latitude, const seasonal_months& season);

// The cells of one interception step: capacities (mm) and coefficients
// (fractions) per cell, the rain rate (mm/h), the rate left after
// interception (mm/h, written) and the depth held so far (mm, increased).
// Rain on a channel-lake cell (lake_mask above 0, null without lakes)
// passes unchanged.
struct canopy_cells {
  int n = 0;
  const double* icep_stor = nullptr;
  const double* icep_coef = nullptr;
  const double* rain_rate = nullptr;
  double* ri_eff = nullptr;
  double* icep_dep = nullptr;
  const int* lake_mask = nullptr;
};

// One step of dt seconds with seasonal factor f. Per cell, with D the rain
// of the step and A the free storage: A > D holds all of D; otherwise the
// cell holds A + c (D - A) and passes (1 - c) (D - A), so the rain is
// exactly what is held plus what falls through. Returns the depth held,
// summed over the cells (mm).
double canopy_interception(const canopy_cells& cells, double dt, double f);

// The water the canopy holds (m3).
double canopy_storage(const model_state& ms);

// Dries the canopy of every cell (at the start of an event); returns the
// water it held (m3).
double dry_canopy(model_state& ms);

}  // namespace nivra
