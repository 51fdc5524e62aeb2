// The Sacramento model in the run: its set-up and its step.
#include <cstdio>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/lumped_steps.h"
#include "groundwater/sacramento.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/clock_state.h"
#include "run/time_loop.h"

namespace nivra {

namespace {

// The lumped models return their water to the channels of explicit
// channel routing, and only one of them takes the infiltrated water.
bool lumped_model_fits(const model_state& ms, const char* card) {
  if (ms.groundwater.sacramento_given && ms.groundwater.conceptual_gw_given) {
    std::printf("Error: the SACRAMENTO and CONCEPTUAL_GW cards each name a model that takes all the water that "
                "infiltrates; give one of them.\n");
    return false;
  }
  if (!ms.channel.chan_explic) {
    std::printf("Error: the %s card's model returns its water to the channels; it needs explicit channel routing "
                "(CHAN_EXPLIC).\n",
                card);
    return false;
  }
  return true;
}

}  // namespace

void open_sacramento_params(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!g.sacramento_given) return;
  if (!lumped_model_fits(ms, "SACRAMENTO")) return stop_with_own_message();
  const char* name = ms.project.sacramento.c_str();
  if (!open_input_file(g.sacramento_param_file, name)) {
    std::printf("Cannot open Sacramento input parameter file: %s\n", name);
    return stop_with_own_message();
  }
  const bool read = read_sacramento_input(g.sacramento_param_file, name, g.sac_params);
  close_guarded_file(g.sacramento_param_file);
  if (!read) return stop_with_own_message();
  if (g.topo_index) {
    if (g.topo_dex.size() != ms.grid.ncells) g.topo_dex.alloc(ms.grid.ncells);
    if (!sacramento_topo_index(ms.grid, g.topo_dex)) return stop_with_own_message();
  }
  g.sac_init_params = g.sac_params;
  g.sac_params.sac_residual = 0.0;
  g.sac_area = ms.grid.watershed_area;
}

void sacramento_update(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  clock_state& clock = ms.clock;
  if (!g.sacramento_given || !is_due(ms, clock.sac_next_time)) return;
  sac_record& s = g.sac_params;
  g.sac_step_count += 1;
  if (g.sac_step_count == 1) g.sac_init_storage_mm = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
  clock.sac_last_time = clock.model_time;
  clock.sac_next_time = clock.model_time + clock.sac_dt_days;
  if (ms.grid.ncells < 1) return;

  // The watershed-mean infiltration since the last step and the soil's
  // evapotranspiration of the hour (cm), in mm.
  const double to_volume = g.sac_area / 1000.0;
  const double input = (g.sac_infil_in - g.sac_infil_prev) / ms.grid.ncells * 1000.0;
  g.sac_infil_prev = g.sac_infil_in;
  g.lumped_input_mm = input;
  const double demand = ms.hydromet.hourly_aet * 10.0;
  const sac_step_water w = sacramento_step(s, demand, input);

  g.sac_rain_mm += input;
  g.sac_pet_mm += demand;
  g.sac_aet_mm += w.et;
  g.sac_subsurface_runoff_mm += w.runoff();
  // The runoff joins what waits to reach the channels, which take it over
  // the next hour.
  g.lumped_pool += w.runoff() * to_volume;
  g.sac_chan_inflow = clock.sac_dt > 0.0 ? g.lumped_pool / clock.sac_dt : 0.0;
  water_ledger& l = ms.ledger;
  l.book(water_flux::sacramento_infiltration, input * to_volume);
  l.book(water_flux::sacramento_et, w.et * to_volume);
}

}  // namespace nivra
