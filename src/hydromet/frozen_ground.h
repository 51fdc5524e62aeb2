// Frozen ground: the continuous frozen-ground index of every cell, which
// grows with cold air and decays with warm air and under snow, and the
// hourly frozen-soil step that turns the ground temperature into the share
// of soil water that stays liquid.
#pragma once

#include <vector>

namespace nivra {

struct model_state;

// The air temperature of the last 24 hours of every cell, kept as a ring:
// one slot per hour, each slot a contiguous row over the cells, so an hour
// overwrites the oldest row instead of shifting the table. The sum of each
// cell's window is kept with it.
class frost_history {
 public:
  // Sizes the history for n cells, empty (at set-up; the hourly push never
  // allocates).
  void prepare(int n);
  bool prepared(int n) const { return n_ == n && !sum_.empty(); }
  // The hour's temperatures T[1..n] (deg C) enter the window; the first
  // hour fills the whole window with itself.
  void push(const double* T);
  // Mean temperature of cell c over the last 24 hours, deg C.
  double mean(int c) const { return sum_[static_cast<std::size_t>(c)] / 24.0; }
  bool empty() const { return !filled_; }

 private:
  int n_ = 0;
  int head_ = 0;          // slot of the oldest hour
  bool filled_ = false;
  std::vector<double> ring_;  // [slot][cell], slot-major, cells 1..n
  std::vector<double> sum_;   // [cell]
};

// The cells of one hourly frozen-ground update.
struct frost_cells {
  int n = 0;
  const double* air_temp = nullptr;    // deg C per cell
  const double* snow_depth = nullptr;  // m per cell, null without snow
  double k = 0.5;                      // snow-depth damping coefficient (CFGI_K)
  double* cfgi = nullptr;              // frozen-ground index per cell, degree-days
  const int* overland_lake = nullptr;  // overland lake number per cell, null without overland lakes
  const int* channel_lake = nullptr;   // channel lake per cell, null without channel lakes
};

// One hour of the frozen-ground index: with Tm the cell's 24-hour mean air
// temperature and D its snow depth in cm,
//   CFGI = (0.99875 + 0.00125 (1 - exp(-0.4 K D))) CFGI - exp(-0.4 K' D) Tm / 24,
// K' = 0.16 K under freezing air, else K; never below 0. A lake cell's index
// starts the hour from 0.
void cfgi_update(frost_history& history, const frost_cells& cells);

// The frozen-soil step (hourly, with GTFSM): every soil layer's unfrozen
// share SE from the ground temperature (1 when thawed).
void frozen_soil_step(model_state& ms);

}  // namespace nivra
