// The overland boundary conditions of a cell (overland_state::boundary_type),
// which the processes that meet a fixed-level cell read as well.
#pragma once

namespace nivra {

// Overland boundary condition of a cell (boundary_type).
namespace boundary {
inline constexpr int none = 0;
inline constexpr int normal_depth = 1;      // normal-depth outflow at the edge
inline constexpr int fixed_level = 2;       // fixed water level
inline constexpr int level_series = 3;      // water level from a time series
inline constexpr int discharge_cfs = 4;     // discharge series, cubic feet per second
inline constexpr int discharge_cms = 5;     // discharge series, m3/s
inline constexpr int rating_exchange = 6;   // two-way rating exchange with receivers
inline constexpr int rating_outflow = 7;    // one-way rating outflow to receivers
inline constexpr int xy_level = 9;          // level from an XY boundary point
inline constexpr int rating_receiver = 99;  // receives the flow of types 6 and 7

// A cell whose water level is imposed: its depth stays, and what the
// routing would change is booked as entering or leaving the grid.
inline constexpr bool holds_level(int type) {
  return type == fixed_level || type == level_series || type == xy_level;
}

// A cell that exchanges water with its receivers (rating_receiver) by an
// elevation series of the RATINGCURVES table.
inline constexpr bool rates_by_curve(int type) { return type == rating_exchange || type == rating_outflow; }

// A cell whose discharge is imposed by a series.
inline constexpr bool holds_discharge(int type) {
  return type == discharge_cfs || type == discharge_cms;
}
}  // namespace boundary

}  // namespace nivra
