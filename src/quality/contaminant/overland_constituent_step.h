// The overland constituent steps of the time loop. After the overland
// routing and the pipes, `overland_constituent_processes` brings the
// vertical and boundary processes to the dissolved constituents of the
// cells (the rain's mass, the mass carried down by infiltration, the
// exchange with the land surface, decay in the water, the outlet's loss
// and, while the channels carry no constituents, the lateral inflow to
// the channels), and `overland_constituent_transport`
// takes the gathered amounts into the cells' net sources and moves the
// constituents between the cells with the water. Both run on the overland
// constituent clock, which follows the overland clock; the kinetics
// (exchange and decay) run on their own clock, every KINETICS_TIMESTEP_FACTOR
// constituent steps, and the transport spreads what they gather over the
// steps until they run again. The exchange with a soil column's top layer
// runs at every constituent step. Every mass moved is booked once in the
// constituents' mass ledger.
#pragma once

#include "model/water_ledger.h"

namespace nivra {

struct model_state;

// The step's processes, each when its clock is due.
void overland_constituent_processes(model_state& ms);
// Advection and dispersion of every constituent over the cells, with the
// net sources of the processes; then the constituent clock moves on. A
// cell whose mass is not a number stops the run, naming the constituent
// and the cell.
void overland_constituent_transport(model_state& ms);

// The lateral exchange of the cells with the channel nodes: the water each
// grid-stream entry moved since it was last taken (`gst_Vlat`) carries the
// cell's concentration into the node, or the node's onto the cell, booked
// under overland_to_channels; the volumes start again. The overland
// processes call it when the channels carry no constituents; the channel
// constituent step calls it after every channel step when they do, so
// that the mass enters the nodes with the water of the same step.
void lateral_constituent_transfer(model_state& ms);

// The dissolved mass of constituent c the pipe network holds, kg.
double pipe_dissolved_mass(const model_state& ms, int c);

// The overland water's and the land surface's mass of constituent c, kg.
double overland_water_mass(const model_state& ms, int c);
double land_surface_mass(const model_state& ms, int c);

// The constituents' books at an event's start: the event totals cleared and
// the masses the event starts from recorded.
void open_constituent_event(model_state& ms);
// The books at the end of an event or of the run (moment event_end or
// run_end): the masses held recorded in the ledger, and the totals the
// summaries print taken from it.
void close_constituent_books(model_state& ms, ledger_moment moment);

}  // namespace nivra
