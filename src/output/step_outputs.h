// The per-step outputs the time loop calls after the end-of-event
// handling: the text time series and link/node blocks at every hydrograph
// write step, then the gridded maps at every map write step.
#pragma once

namespace nivra {

struct clock_state;
struct model_state;

// Every text series of the run gets its next line when the step is a
// hydrograph write step (step_count a multiple of hyd_write_steps).
void write_time_series_output(model_state& ms);

// The gridded quantities the project asks for, when step_count - 1 is a
// multiple of map_write_steps and at the run's last step (keep_running
// cleared): records of the dataset files or one ASCII grid file per
// quantity, then the constituent and snow series.
void write_map_output(model_state& ms);

// Whether the project asks for any gridded series that write_map_output
// writes (the per-variable maps of the map type, the constituent and
// nutrient maps, the snow temperature): the map interval matters only
// then. It reads the card copies alone, so the set-up can ask it too.
bool map_output_requested(const model_state& ms);

// Write-step tests; an interval below one step means every step.
bool hydrograph_step_due(const clock_state& clock);
bool map_step_due(const clock_state& clock);

// The time column of long-term series: the year plus the fraction of the
// year elapsed (366-day years when year - 1900 is divisible by 4), or the
// model time in Julian days with strict Julian dates.
double long_term_time_stamp(const clock_state& clock);

// The water standing on a cell (m): its overland depth, or on a cell under
// a channel lake or an overland lake the lake's level above its ground.
double cell_water_depth(const model_state& ms, int c);

// Fills depth_output with the water standing on every cell
// (cell_water_depth).
void fill_depth_output(model_state& ms);

}  // namespace nivra
