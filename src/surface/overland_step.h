// The overland step of the time loop: the glue between the run's record
// and the overland kernels. It gathers what a kernel takes from the
// components, runs the boundary hook and the routing kernel of the chosen
// scheme, and books what the kernel hands back.
#pragma once

#include "surface/overland.h"

namespace nivra {

struct model_state;

// The components and values an overland kernel takes, from the run's
// record: lateral snow flow when the weather routes it, the outlet drained
// by normal depth unless channels take it, the quiet switch.
overland_domain overland_kernel_domain(model_state& ms);

// Set-up of the routing: the run's threads (NUM_THREADS, else the
// environment variable OMP_NUM_THREADS, else one), the list of the boundary
// cells and the kernel's work arrays. A thread count in the environment that is not a whole number from
// 1 to 4096 stops the run, naming the variable.
void start_overland_routing(model_state& ms);

// When overland flow is due: checks the depths, books the lake exchange,
// routes the water with the chosen kernel, keeps the outlet discharge and
// volume, and moves its clock on. After the rain it also ends a
// single-event run whose channels have drained, and in a long-term run
// skips the dry time up to the next event.
void overland_routing_step(model_state& ms);

// The boundary conditions of an overland step of dt seconds: the values at
// the model time, the conditions, their volumes booked in the ledger.
void overland_boundary_step(model_state& ms, double dt);

}  // namespace nivra
