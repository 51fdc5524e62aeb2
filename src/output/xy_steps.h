// The XY points in the run: the records handed over from the cards, the
// set-up of the boundary inputs and of the output points, and the overland
// boundary values of a step. init_xy_point_output (a set-up routine of the
// driver) is declared in run/steps.h.
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
// stream points get their channel nodes. Inputs of processes this version
// does not simulate stop the run.
void init_xy_boundary_inputs(model_state& ms);

// The overland depths of the XY points at the model time, booked as
// head-boundary gain and loss; called by the overland step before the
// routing.
void xy_overland_boundary_step(model_state& ms);

// The groundwater heads of the XY points and interpolated cells at the
// model time, booked as XY boundary gain and loss (head change x cell area
// x storage coefficient); called by the groundwater step before the solve,
// which holds them.
void xy_groundwater_boundary_step(model_state& ms);

}  // namespace nivra
