// Lateral exchange between the cells and the channel nodes they hold,
// entry by entry of the grid-stream table. Without the overbank and
// backwater options the water on a cell falls freely into the channel over
// the bank of the entry's length: Q = 3.40978982734 h^1.5 L (a broad-crested
// weir, 2/3 Cd sqrt(2g) with g = 9.81). With them the flow may also run
// back: a weir reduced by its submergence, a short Manning flow when the two
// levels come close, limited by critical flow over the bank, and a spill
// from the channel never takes more than overbank_max_dv of the water above
// the crest a second. Every exchange dies away as the two water surfaces
// approach each other, so that none carries them past each other, and a
// cell never gives more water than it holds. The channel routing runs the
// exchange every sub-step, from the water surfaces the sub-step starts
// with. The result is the per-node lateral inflow qlat (m2/s, added to) and
// each entry's exchange gst_qlat (m3/s, positive into the channel).
#pragma once

#include "channel/channel_state.h"
#include "model/water_ledger.h"

namespace nivra {

struct grid_state;
struct lake_state;
struct overland_state;

// What the exchange works on.
struct lateral_domain {
  channel_state& ch;
  overland_state& overland;
  const grid_state& grid;
  const lake_state& lakes;
  bool overland_backwater = false;  // the OVERLAND_BACKWATER card
};

struct lateral_result {
  bool ok = true;               // false after a section failure (reported; the run stops)
  double to_channel = 0.0;       // taken from the cells, m3
  double from_channel = 0.0;     // put onto the cells, m3
  double boundary_inflow = 0.0;  // given by overland boundary cells, which keep their depth, m3
  double boundary_spill = 0.0;   // spilled onto overland boundary cells, m3
};

// The terms of the exchange's books.
inline constexpr books_map<lateral_result, 2, 2> lateral_books_terms{
    {{
        {&lateral_result::boundary_inflow, water_flux::head_boundary_in},
        {&lateral_result::boundary_spill, water_flux::head_boundary_out},
    }},
    {{
        {&lateral_result::to_channel, "booked by the channel routing as lateral inflow"},
        {&lateral_result::from_channel, "booked by the channel routing as lateral outflow"},
    }}};

// What the exchanges of a channel step read and the step does not change:
// the effective Manning's n of every grid-stream cell at its present depth
// and, per entry, its node's flow area and top width at the cell's ground
// and its flow area at the crest a spill passes (the higher of ground and
// bank), in channel_scheme. False after a section fault (reported: the run
// stops).
bool prepare_lateral_exchange(const lateral_domain& d);

// One exchange of dt seconds from the present water surfaces, after
// prepare_lateral_exchange: the cells' depths change, gst_qlat is each
// entry's rate and qlat gains it per unit length of its node. An exchange
// dies away as the two water surfaces approach each other (or the channel
// the crest of its spill): over dt it moves V (1 - exp(-q dt / V)), V what
// would bring them together and q the rate of the exchange's law at the
// start, so that it never carries them past each other, however long dt.
lateral_result lateral_exchange(const lateral_domain& d, double dt);

// The share of free weir flow that passes at submergence ratio s (tailwater
// over headwater head, each to the power 1.5).
double submergence_factor(double s);

}  // namespace nivra
