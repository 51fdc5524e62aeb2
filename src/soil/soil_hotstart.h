// The companion of a soil hot-start: what the map of WRITE_SM_HOTSTART (one
// water content per cell) cannot hold, written beside it as `name.state`
// and read back by READ_SM_HOTSTART:
//
//   NIVRA_SOIL_STATE
//   SCHEME s          GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS
//   CELLS n           the cells of the watershed
//   FRONTS k t        the infiltration step k the fronts had reached in the
//                     event the writing run ended in (0: it ended between
//                     events), and the model time it ended (Julian days)
//   CLOCK dt since next running
//                     with k > 0: the infiltration clock of that event, its
//                     step and the seconds since it last ran and until it
//                     is next due, and whether the fronts were running (0:
//                     the infiltration slept until the next event)
//   ACCOUNTING_CLOCK dt since next
//                     with k > 0 and the accounting layer: its clock (a
//                     file written before the clocks were carried has
//                     neither: the event's clocks then start afresh)
//   FIELDS names      the values of every CELL line, in order
//   CELL c values     one line per cell
//   END
//
// The fields of each scheme:
//   GREEN_AMPT        theta_i F: the water content below the wetting
//                     front and the depth infiltrated in the event (m)
//   INF_REDIST        theta_i F F1 theta_front theta_surface theta_redist
//                     theta_old pond_step redist_step low_supply_step
//                     profile layer_depth top_water bottom_water
//                     layer_pending drained recharge: the fronts (contents,
//                     infiltrated depths F and F1 in m, the steps of the
//                     event at which the cell ponded, redistributed and last
//                     took a supply below its conductivity, the profile's
//                     form 0-2) and the accounting layer (its depth and the
//                     water of its two zones, cm; the infiltrated depth it
//                     has still to take, m; the drainage below it not yet
//                     taken by the table, cm, twice)
//   INF_LAYERED_SOIL  theta_1 theta_2 theta_3 F front_depth theta_surface
//                     layer_depth top_water bottom_water layer_pending
//                     drained recharge
//   any scheme        then ground_temp where the run computes the ground's
//                     energy balance (long-term evapotranspiration): the
//                     surface temperature (K) the last hour's balance
//                     started from, from which the next run's first
//                     balance (of the hour it starts in) starts
//   INF_RICHARDS      theta_surface drained recharge substep top [ground_temp] nodes,
//                     then per node its thickness (cm), water content and
//                     pressure head (cm): the column's last sub-step (h)
//                     and its top condition (1 a flux, 2 ponded, 3
//                     saturated) go on; a file without these two (written
//                     before they were carried) leaves them as the set-up
//                     made them
//
// Lines starting with # are comments. Every value is checked; every cell
// must have its line, once; the file must end with END.
#pragma once

#include <cstdio>
#include <vector>

#include "core/arrays.h"

namespace nivra {

struct soil_event_clocks;
struct soil_state;
class guarded_file;

// The water content of every cell's surface at the end of a run, the map
// of WRITE_SM_HOTSTART (1-based over cells 1..ncells): under Green-Ampt
// the pores are full where a wetting front has entered (F > 0), else the
// content below the front; the other schemes' surface content.
std::vector<double> surface_moisture_at_end(const soil_state& s, int ncells);

// Writes the companion of the soil state. fronts_step is the infiltration
// step the fronts had reached in the event the run ended in (0: between
// events), until the model time the run ended (Julian days), clocks those
// of that event; ground_temp (per cell, K; null for a
// run without the ground's energy balance) the surface temperature the
// last hour's balance started from.
void write_soil_state_file(std::FILE* f, const soil_state& s, int ncells, int fronts_step, double until,
                           const soil_event_clocks& clocks, const array1d<double>* ground_temp);

// Reads the companion into the soil state of a run whose set-up is done
// (the scheme's arrays made, the accounting layer filled): the carried
// state takes the place of the initial one, and ground_temp takes the
// carried surface temperatures (1..ncells; empty when the file has none).
// False after a message naming the file and line: the run is stopped.
bool read_soil_state_file(guarded_file& f, soil_state& s, int ncells, std::vector<double>& ground_temp);

}  // namespace nivra
