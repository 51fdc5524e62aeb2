// The snow of long-term runs as the time loop sees it: the set-up of the
// packs, the hourly snow pass, and the release of its melt water onto the
// cells in waves at the overland step, which wakes the surface processes
// when melt wets a dry surface between events.
#pragma once

namespace nivra {

struct model_state;

// Set-up of a long-term run: every cell's pack record and status record
// start from the model's pack defaults, with no melt waiting.
void init_snow_state(model_state& ms);

// The hourly snow pass (snow clock): accumulation and melt of every cell,
// the six-hour precipitation window, the cells that snow keeps from
// infiltrating (SNOW_NO_INFILTRATE), and the start and end of a melt
// period. A weather record with an impossible month stops the run.
void snowmelt_step(model_state& ms);

// During a melt period (melt clock): each cell's melt waves release their
// share of the step onto the cell (all of it once the snow is gone), booked
// as snowmelt reaching the ground.
void apply_snowmelt(model_state& ms);

}  // namespace nivra
