// Groundwater into tile drains. Where a leaky pipe of the network crosses a
// cell (the grid-pipe file) and the water table stands above the water in
// the pipe, the saturated ground drains into it at the steady rate of
// Hooghoudt's equation with Moody's equivalent depth (SUPERLINK_DRAINMOD) or
// Kirkham's equation, for drains of the pipe's diameter at its drain
// spacing over an impermeable layer at the aquifer's bottom.
//
// Hooghoudt: the flow per unit area q = (8 K de m + 4 K m^2) / S^2, K the
// conductivity, m the height of the water table above the drain's water,
// S the spacing and de the equivalent depth of the drain's depth d above
// the layer: with a = 3.55 - 1.6 d/S + 2 (d/S)^2, de = d / ((8/pi) ln(d/r)
// - a) d/S + 1) for d/S < 0.3, else de = pi S / (8 (ln(S/r) - 1.15)), r the
// drain's radius. Each metre of drain takes q S. Kirkham gives the flow
// per metre of drain directly.
#pragma once

#include "pipe/pipe_state.h"

namespace nivra {

// Moody's equivalent depth (m) of a drain of radius r at depth d above the
// impermeable layer and spacing S (m).
double hooghoudt_equivalent_depth(double d, double spacing, double radius);

// Hooghoudt's flow per unit area (in the unit of k per time, k the
// conductivity) for equivalent depth de, head m and spacing S (m).
double hooghoudt_rate(double k, double de, double m, double spacing);

// Kirkham's flow per metre of drain (m2 per time unit of k) for drains of
// diameter D at depth d and spacing S.
double kirkham_flow(double k, double d, double m, double spacing, double diameter);

// A superlink whose upstream superjunction spills onto the ground (its
// head above the ground, with HIGH_HEAD_RELEASE) takes no tile water: the
// drains of its pipes stand full.
inline bool tile_link_closed(const pipe_state& p, int l) {
  const int j = p.us_sjunc[l];
  return p.high_head_release != 0 && p.junc_head[j] > p.junc_ground_elev[j];
}

struct tile_domain {
  pipe_state& p;
  const double* elevation = nullptr;    // ground elevation of each cell, m
  const double* elevgw = nullptr;       // water table of each cell, m
  const double* bottom_elev = nullptr;  // aquifer bottom of each cell, m
  double* gw_tile_flux_cell = nullptr;  // per cell, m3/s, added to (or null)
};

enum class tile_status {
  none,                // no water table above a drain: nothing computed
  flowing,             // the drains take the flows added to superlink_tile_flow
  drain_below_aquifer, // a drain lies below the aquifer's bottom (printed)
  not_finite,          // a flow came out not a number (printed)
};

struct tile_result {
  tile_status status = tile_status::none;
  double total = 0.0;  // m3/s
};

// The drains' inflow of every grid-pipe entry, added to
// p.superlink_tile_flow (input pipe, superlink) and to the cell's
// gw_tile_flux_cell in m3/s; the superlinks of tile_link_closed take none.
tile_result gw_tile_exchange(const tile_domain& d);

}  // namespace nivra
