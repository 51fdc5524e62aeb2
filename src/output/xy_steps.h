// The XY points in the run: the records handed over from the cards, the
// set-up of the boundary inputs and of the output points, and the overland
// and groundwater boundary values of a step.
#pragma once

namespace nivra {

struct model_state;

// Moves the XY records the project reader filled into the output component.
void take_xy_records(model_state& ms);

// The set-up of the XY boundary inputs once the grid and the channel
// network are known: every cell and link/node a file named is checked
// (naming the file and the line), the overland points' cells hold their
// level (boundary type xy_level), the groundwater points' cells and the
// cells of code 8 of the groundwater boundary map hold their heads
// (aquifer_cell::xy_head, the latter with their inverse-distance entries),
// stream points get their channel nodes (each on an open-channel node, with
// a hydrograph of discharges not below 0) and the channels an inflow array.
void init_xy_boundary_inputs(model_state& ms);

// Steps of the time loop. The overland depths of the XY points at the
// model time, booked as head-boundary gain and loss, when the overland step
// that follows is due (before its routing).
void xy_overland_boundary_step(model_state& ms);

// The groundwater heads of the XY points and interpolated cells at the
// model time, booked as XY boundary gain and loss (head change x cell area
// x storage coefficient), when the groundwater step that follows is due
// (before its solve, which holds them).
void xy_groundwater_boundary_step(model_state& ms);

// The XY stream points' hydrographs at the model time, as inflows into
// their channel nodes (channel_state::chan_xy_flow, m3/s), which the channel
// step that follows takes over its step and books as xy_stream_inflow.
void xy_stream_inflow_step(model_state& ms);

// Set-up of the XY output points (XYBDYOUTPUT): their cells, neighbours and
// weights, and the headers of their files.
void init_xy_point_output(model_state& ms);

}  // namespace nivra
