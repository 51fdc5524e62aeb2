// The soil-moisture accounting of the time loop: the glue between the run's
// record and the accounting kernels (soil/soil_moisture.h).
#pragma once

#include "soil/soil_moisture.h"

namespace nivra {

struct model_state;

// The soil component, the overland depths, the evapotranspiration rates of
// the hour (hydromet pet_rate, aet_rate) and the cells other components
// keep out of the accounting, for a pass of dt seconds.
soil_moisture_domain soil_moisture_kernel_domain(model_state& ms, double dt);

// When the soil-moisture clock is due: one pass of the accounting over the
// time since the last (the kernel of the infiltration scheme), its
// evaporation, drainage and the evaporation of ponded water booked in the
// ledger, the clock moved on and the surface soil moisture of every cell
// set from the top zone.
void et_removal_step(model_state& ms);

// The start of an event in a long-term run: the infiltration starts from
// the water the accounting holds (redistribution: the top zone's water
// content, within 0.01 of the residual and saturated contents; layered
// soil: the three layer contents).
void start_soil_moisture_event(model_state& ms);

// The soil's figures of the event summary. At the start of an event with
// Richards columns: their relative saturation down to SOIL_MOIST_DEPTH
// (long-term runs) and their node count. At its end: the soil's relative
// saturation (the surface water content over the porosity with
// redistribution, the top layer's fill with layered soils, the columns'
// saturation in long-term Richards runs) and, with Richards columns, the
// net infiltration, node count and the columns' balance against the
// event's soil books.
void soil_event_start_figures(model_state& ms);
void soil_event_end_figures(model_state& ms);

}  // namespace nivra
