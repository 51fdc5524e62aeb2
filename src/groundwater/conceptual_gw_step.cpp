// The conceptual groundwater model in the run: its set-up, the link map that
// places its outflow, and its step.
#include <cstdio>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/lumped_steps.h"
#include "groundwater/sacramento.h"
#include "inputs/grid_map.h"
#include "inputs/grid_state.h"
#include "inputs/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/clock_state.h"
#include "run/time_loop.h"

namespace nivra {

void open_conceptual_gw_params(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!g.conceptual_gw_given) return;
  if (!ms.channel.chan_explic) {
    std::printf("Error: the CONCEPTUAL_GW card's model returns its water to the channels; it needs explicit "
                "channel routing (CHAN_EXPLIC).\n");
    return stop_with_own_message();
  }
  const char* name = ms.project.conceptual_gw.c_str();
  if (!open_input_file(g.conceptual_gw_param_file, name)) {
    std::printf("Cannot open Conceptual GW input parameter file: %s\n", name);
    return stop_with_own_message();
  }
  g.upslope_area.alloc(ms.grid.ncells);
  const bool read = read_conceptual_gw(g.conceptual_gw_param_file, name, g.congw_store);
  close_guarded_file(g.conceptual_gw_param_file);
  if (!read || !produce_upslope_area(ms.grid, g.upslope_area)) return stop_with_own_message();
  g.congw_init_store = g.congw_store;
  g.sac_area = ms.grid.watershed_area;
}

void read_link_map(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!ms.channel.chan_explic || !g.conceptual_gw_given) return;
  const char* name = ms.project.links.c_str();
  guarded_file f;
  if (ms.project.links.empty() || !open_input_file(f, name)) {
    std::printf("Cannot open link file: %s\n", name);
    return stop_with_own_message();
  }
  if (!ms.project.super_quiet) std::printf("reading link map from file: %s\n", name);
  g.con_link.alloc(ms.grid.ncells);
  read_index_cell_map(ms.grid, f, name, g.con_link, ms.project.optimizer_mode);
  if (process.error_block.stop) return;
  for (int c = 1; c <= ms.grid.ncells; ++c)
    if (g.con_link[c] > 0 && !ms.project.super_quiet) std::printf("%d  conlink  %d \n", c, g.con_link[c]);
}

void conceptual_gw_step(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  clock_state& clock = ms.clock;
  if (!g.conceptual_gw_given || !is_due(ms, clock.congw_next_time)) return;
  g.congw_step_count += 1.0;
  if (g.congw_step_count == 1.0) g.congw_infil_prev = 0.0;
  if (ms.grid.ncells < 1) return;
  const double input = (g.congw_infil_in - g.congw_infil_prev) / ms.grid.ncells * 1000.0;
  g.lumped_input_mm = input;
  std::printf("congw_input %lf \n", g.congw_infil_in);
  clock.congw_last_time = clock.model_time;
  clock.congw_next_time = clock.model_time + clock.congw_dt_days;
  congw_store_block& s = g.congw_store;
  g.congw_storage_before = s.slow_content + s.fast_content;
  g.congw_input = input;
  const congw_outflows q = congw_two_store(input, s);
  g.congw_outflow_1 = q.slow;
  g.congw_outflow_2 = q.fast;
  g.congw_storage_after = s.slow_content + s.fast_content;
  if (input > 0.0)
    g.congw_balance_pct = (g.congw_storage_before - g.congw_storage_after - s.congw_outflow + input) / input * 100.0;
  // The outflow joins what waits to reach the channels, which take it over
  // the next hour.
  const double to_volume = g.sac_area / 1000.0;
  g.lumped_pool += s.congw_outflow * to_volume;
  g.congw_qlat = clock.congw_dt > 0.0 ? g.lumped_pool / clock.congw_dt : 0.0;
  std::printf("congw_qlat  %lf \n", g.congw_qlat);
  g.congw_infil_prev = g.congw_infil_in;
  ms.ledger.book(water_flux::sacramento_infiltration, input * to_volume);
}

}  // namespace nivra
