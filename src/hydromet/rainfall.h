// The rain of one overland step on the cells: the rain that passed the
// canopy reaches the channel lakes, the overland lakes, the fixed-level
// boundary cells, the snowpack or the open part of each cell's surface.
//
// Intensities are in mm/h, depths in m, volumes in m3, the step in s. The
// kernel works on the arrays it is handed (rain_domain) and hands back the
// volumes it put where (rain_books); the rainfall step books them.
#pragma once

#include "core/thread_pool.h"
#include "model/water_ledger.h"

namespace nivra {

// What one rain step works on: 1-based arrays over the cells, and per lake.
// A null pointer leaves its part of the model out.
struct rain_domain {
  int ncells = 0;
  double cell_area = 0.0;            // m2
  const double* rain = nullptr;      // intensity of the step on each cell, mm/h
  const double* through = nullptr;   // intensity the canopy lets through, mm/h (null: no canopy)
  double* depth = nullptr;           // overland water over the open part of the cell, m
  int* rain_reset = nullptr;         // cleared where the rain reached the cell
  // Channel lakes: lake number per cell, and per lake its volume and the rain
  // of the run (null while constituents are not carried).
  const int* lake_mask = nullptr;
  double* lake_volume = nullptr;
  int lake_count = 0;
  double* lake_rain = nullptr;
  int lake_rain_count = 0;
  // Overland lakes: lake number per cell and the rain of the step per lake.
  const int* overland_lake = nullptr;
  double* overland_lake_rain = nullptr;
  int overland_lake_count = 0;
  const int* boundary_type = nullptr;  // overland boundary code per cell
  const double* blocked = nullptr;     // blocked fraction of each cell's area
  // Snow (long-term runs): it snows where the air is at or below
  // snow_base_temp (deg C); the snow correction factor scales what the gage
  // caught. A cell beyond the temperatures handed over is taken as warm.
  const double* air_temp = nullptr;
  int air_temp_count = 0;
  double snow_base_temp = 0.0;
  const double* snow_correction = nullptr;
  double* swe = nullptr;             // snow water equivalent, m
  double* rain_on_snow = nullptr;    // water fallen on the pack this hour, mm
  int* snow_fell = nullptr;          // set where snow fell this hour
  // The run's threads (null: the caller alone). A grid without lakes is cut
  // into parts of at least rain_part_cells cells, at most rain_most_parts,
  // by its size alone.
  thread_pool* crew = nullptr;
};

inline constexpr int rain_part_cells = 4096;
inline constexpr int rain_most_parts = 64;
// The parts a pass of the rain over n cells takes: by the grid's size alone.
inline int rain_parts(int n) {
  const int by_size = n / rain_part_cells;
  return by_size < 2 ? 1 : (by_size < rain_most_parts ? by_size : rain_most_parts);
}

// Where the rain went, m3.
struct rain_books {
  // Reached the surface of the grid: the open ground, the snowpack, the
  // overland lakes and the fixed-level cells.
  double on_surface = 0.0;
  double into_overland_lakes = 0.0;   // the share that fell on overland lakes
  double out_at_fixed_levels = 0.0;   // the share that left through fixed-level cells
  double on_channel_lakes = 0.0;      // went straight into the channel lakes
};

// The terms of the rain's books.
inline constexpr books_map<rain_books, 4> rain_books_terms{{{
    {&rain_books::on_surface, water_flux::rainfall_to_overland},
    {&rain_books::into_overland_lakes, water_flux::overland_lake_inflow},
    {&rain_books::out_at_fixed_levels, water_flux::head_boundary_out},
    {&rain_books::on_channel_lakes, water_flux::lake_precipitation},
}}};

enum class rain_status {
  ok,
  depth_not_a_number,  // a cell's depth was not a number after the rain
  negative_depth,      // a cell's depth was below zero after the rain
};

// A rain step: its status (the kernel printed the message of a failure and
// stopped at the cell), its books, and what the step keeps of it.
struct rain_result {
  rain_status status = rain_status::ok;
  int cell = 0;                     // the cell of a failure
  rain_books books;
  double intensity_sum = 0.0;       // intensities that reached cells outside the lakes, mm/h
  bool snowed = false;              // snow fell on some cell
  bool on_overland_lakes = false;   // rain fell on some overland lake
};

// Puts the rain of a step of dt seconds on the cells. A cell whose depth is
// not a number or below zero after the rain ends its part of the cells
// there (the rain of the cells before it in the part, and of the other
// parts, stays where it fell and is booked); the first such cell is
// reported.
rain_result rain_on_cells(const rain_domain& d, double dt);

}  // namespace nivra
