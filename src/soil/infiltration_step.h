// The infiltration step of the time loop and its set-up: the glue between
// the run's record and the Green-Ampt kernels. It gathers what a kernel
// takes from the components, runs the kernel of the chosen scheme, and books
// the water that entered the soil.
#pragma once

#include "soil/infiltration.h"

namespace nivra {

struct model_state;

// The soil component, the overland depths and the cells other components
// keep out of the soil, from the run's record.
infiltration_domain infiltration_kernel_domain(model_state& ms);

// Set-up, with the run's state: sizes the fronts, checks the soil of every
// cell (a residual saturation at or above the porosity stops the run; an
// initial water content outside the range the soil can hold is moved into
// it with a warning), starts the redistribution fronts at the initial water
// content and fills the soil-moisture accounting layer with it. Frozen
// soil (GTFSM) cuts the conductivity of the redistribution soil, of each
// layer of a layered soil and of each node of a Richards column by its
// liquid-water factor; plain Green-Ampt takes the factor 1. A soil whose
// freezing curve lacks its parameters stops the run.
void init_infiltration_state(model_state& ms);

// The start of an event: the fronts of the chosen scheme start again.
void start_infiltration_event(model_state& ms);

// At the start of the run's first event: the event is the one a soil
// hot-start was written in, going on (the writing run ended inside it, and
// this event starts when it ended). The fronts then go on, and the
// infiltration and groundwater clocks with them.
bool carried_fronts_go_on(const model_state& ms);

// When infiltration is due: runs the kernel of the chosen scheme over the
// time since its last call, books the infiltrated volume (and what
// fixed-level boundary cells supplied), hands the infiltrated depth to the
// soil-moisture accounting and moves the clock on; between events with
// soil-moisture accounting it sleeps until the next event. Where the water
// table stands at the ground the cells exfiltrate (soil/exfiltration.h):
// after the redistribution and layered kernels, before the Richards
// columns. A cell whose iterations do not converge stops the run.
void infiltration_step(model_state& ms);

// The exfiltration of the cells where the water table stands at the ground
// over dt seconds, in the form of the soil scheme, booked in the ledger;
// with saturated groundwater the aquifer gives (takes) the water at its
// next solve. Nothing under plain Green-Ampt or without a soil scheme.
void exfiltration_step(model_state& ms, double dt);

// Water reached a dry surface between the events of a long-term run
// (groundwater at the ground, snowmelt): the surface processes restart at
// the run's time step now. The overland and infiltration clocks (and the
// constituent clocks that follow them) and the soil-moisture clock restart;
// the redistribution fronts start again from the accounting layer when they
// were asleep, and layered soils take their layers' water from it; a pipe
// network asleep with some inlet wakes.
void wake_surface_processes(model_state& ms);

// The overland clock has just restarted (water reached a sleeping surface):
// the overland constituent clocks, the soil column's, the outlet's and the
// contaminant table's restart with it.
void constituent_clocks_follow_overland(model_state& ms);

}  // namespace nivra
