#include <algorithm>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "pipe/pipe_state.h"
#include "pipe/pipe_storage.h"
#include "pipe/storm_sewer.h"
#include "soil/infiltration_step.h"
#include "pipe/superlink_solver.h"
#include "pipe/tile_exchange.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The tile drains' groundwater of this step into superlink_tile_flow and,
// per cell, gw_tile_flux_cell; false after a failure (printed).
bool drain_groundwater(model_state& ms, bool& flowing) {
  pipe_state& p = ms.pipe;
  p.superlink_tile_flow.fill(0.0);
  groundwater_state& gw = ms.groundwater;
  gw.gw_tile_flux_cell.fill(0.0);
  const tile_result t = gw_tile_exchange(tile_domain{p, ms.grid.elevation.data(), gw.elevgw.data(),
                                                     gw.bottom_elev.data(), gw.gw_tile_flux_cell.data()});
  flowing = t.status == tile_status::flowing;
  return t.status == tile_status::none || flowing;
}

// What the drains took over dt leaves the aquifer now: it waits per cell
// in gw_tile_vol_cell for the next groundwater solve, which lowers the
// heads by it.
void take_tile_water(model_state& ms, double dt, double tile_in) {
  groundwater_state& gw = ms.groundwater;
  for (int c = 1; c <= ms.grid.ncells; ++c) gw.gw_tile_vol_cell[c] += gw.gw_tile_flux_cell[c] * dt;
}

// Water on the cells wakes overland routing; water toward the channels
// starts their flow.
void wake_clocks(model_state& ms, const superlink_books& b) {
  clock_state& c = ms.clock;
  overland_state& ov = ms.overland;
  if (c.superlink_wet && !ov.ov_water_at_start) {
    ov.ov_water_at_start = 1;
    c.ov_next_time = c.model_time + c.ov_dt_days;
    c.ov_last_time = c.model_time;
    if (ms.soil.inf_redist) c.inf_redist_active = 1;
    constituent_clocks_follow_overland(ms);
  }
  if (b.fed_channel && !c.chan_flow_started) {
    c.chan_flow_started = 1;
    if (!is_due(ms, c.chan_next_time)) {
      c.chan_last_time = c.model_time;
      c.chan_next_time = c.model_time + c.chan_dt_days;
      c.chan_dt_days = c.ov_dt_days;
    }
  }
}

// Between the events of a long-term run the network sleeps on the overland
// clock once it holds less than 0.1 % of the event's rain.
void park_when_nearly_empty(model_state& ms) {
  clock_state& c = ms.clock;
  const overland_state& ov = ms.overland;
  if (!c.long_term || ov.ov_water_at_start || ov.ov_flowing || c.rain_on || ms.pipe.gw_to_tile) return;
  const double rain = ms.ledger.event_total(water_flux::rainfall_to_overland);
  if (!(pipe_storage(ms.pipe) < 0.001 * rain || rain == 0.0)) return;
  c.superlink_active = 0;
  c.sl_dt_days = c.ov_dt_days;
  c.sl_next_time = c.ov_next_time;
}

// The channel at every outfall into a channel, as the channels left it:
// the water surface at the receiving node (its depth over its bed) and the
// water the node holds with what the outfalls already owe it or took.
void set_tailwater(model_state& ms) {
  pipe_state& p = ms.pipe;
  const channel_state& ch = ms.channel;
  if (p.sl_tailwater.empty() || !ch.chan_explic || ch.chan_depth.empty()) return;
  for (int j = 1; j <= p.num_sjunc; ++j) {
    if (p.sjunc_inlet[j] != pipe_inlet::to_channel) continue;
    const int link = p.superlink_chan_con_link[j], node = p.superlink_chan_con_node[j];
    p.sl_tailwater[j] = ch.chan_depth(node, link) + ch.bel(node, link);
    const double held = std::max(ch.area(node, link), 0.0) * ch.link_dx[link];
    p.sl_tail_volume[j] = std::max(held + p.chan_sl_vol[ch.max_nodes_per_link * link + node], 0.0);
  }
}

// What the water of the step carried from the cells into the inlets: a
// cell that sent the pipes a share of the water it held before the step
// sends them that share of every sediment class it holds in suspension (at
// the cell's concentration); the overland constituents note the water per
// cell, and their next step sends its dissolved mass after it. The network
// holds it all. Water spilled back onto a cell carries none.
void carry_into_pipes(model_state& ms) {
  pipe_state& p = ms.pipe;
  if (p.sl_sed_water.empty()) return;
  constituent_state& k = ms.constituent;
  ov_sed_record* s = k.soil_erosion_on ? k.ov_sed.get() : nullptr;
  const bool carry = s && s->books && !s->cells.susp.empty() && !s->pipe_sed.empty();
  double* dissolved = k.ov_con_trans && !k.ov_con_pipe_vol.empty() ? k.ov_con_pipe_vol.data() : nullptr;
  const double cell_area = ms.grid.grid_size * ms.grid.grid_size;
  const double* blocked = blocked_cells(ms.overland);
  for (int cell = 1; cell <= ms.grid.ncells; ++cell) {
    const double q = p.sl_sed_water[cell];
    p.sl_sed_water[cell] = 0.0;
    if ((!carry && !dissolved) || q <= 1e-16) continue;
    if (dissolved) dissolved[cell] += q;
    if (!carry) continue;
    k.sl_sed_water_event += q;
    // The water the cell held before the step; a dry cell sends nothing.
    const double held = p.sl_prestep_depth[cell] * cell_area * open_share(blocked, cell);
    if (held <= 0.0) continue;
    const double share = std::min(q / held, 1.0);
    bool fines = false;
    for (int j = 1; j <= k.n_sed_classes; ++j) {
      double& susp = s->cells.susp(cell, j);
      if (!(susp > 0.0)) continue;
      const double before = susp;
      susp = std::max(before - share * before, 0.0);
      const double v = before - susp;  // exactly what the cell lost
      s->pipe_sed[j] += v;
      s->books->book(j, row(sediment_term::cells_to_pipes), v);
      fines = fines || (v > 0.0 && (k.sand.empty() || !k.sand[j]));
    }
    // The constituents riding on the fines follow the share taken.
    if (fines && !s->pipe_share.empty()) s->pipe_share[cell] = 1.0 - (1.0 - s->pipe_share[cell]) * (1.0 - share);
  }
}

}  // namespace

void storm_sewer_step(model_state& ms) {
  pipe_state& p = ms.pipe;
  clock_state& c = ms.clock;
  if (!p.storm_sewer_given || !c.superlink_active || !is_due(ms, c.sl_next_time)) return;
  const double dt = seconds_since(ms, c.sl_last_time);
  bool tiles = false;
  if (p.gw_to_tile && ms.groundwater.gw_simulation && !drain_groundwater(ms, tiles)) {
    set_error(own_message_code);
    report_error();
    return;
  }
  set_tailwater(ms);
  if (ms.constituent.soil_erosion_on)
    std::copy(ms.overland.ov_depth.data(), ms.overland.ov_depth.data() + ms.grid.ncells + 1,
              p.sl_prestep_depth.data());
  const superlink_domain d{p, ms.overland.ov_depth.data(), blocked_cells(ms.overland),
                           ms.grid.grid_size * ms.grid.grid_size, ms.channel.max_nodes_per_link, tiles,
                           &ms.overland.crew};
  const superlink_result r = superlink_solve(d, dt);
  if (r.status != superlink_status::ok) {
    set_error(own_message_code);
    report_error();
    return;
  }
  ++p.sl_step_count;
  const superlink_books& b = r.books;
  ms.ledger.book(b, superlink_books_terms);
  if (tiles) take_tile_water(ms, dt, b.tile_in);
  if (std::FILE* fp = p.superlink_flows_file.fp) {
    const double in = b.surface_in + b.tile_in, out = b.to_surface + b.to_channel;
    std::fprintf(fp, "%d %8.3lf %8.3lf %8.3lf %8.3lf \n", p.sl_step_count - 1, in, out, dt > 0.0 ? in / dt : 0.0,
                 dt > 0.0 ? out / dt : 0.0);
  }
  carry_into_pipes(ms);
  c.superlink_wet = b.surcharged || b.to_surface > 1e-8 * dt;
  c.sl_last_time = c.model_time;
  c.sl_next_time = c.model_time + c.sl_dt_days;
  wake_clocks(ms, b);
  park_when_nearly_empty(ms);
}

void take_pipe_outflow(model_state& ms, double dt) {
  pipe_state& p = ms.pipe;
  channel_state& ch = ms.channel;
  if (ch.chan_pipe_flow.empty() || dt <= 1e-16) return;
  const int rows = ch.max_nodes_per_link;
  for (int j = 1; j <= p.num_sjunc; ++j)
    if (p.sjunc_inlet[j] == pipe_inlet::to_channel)
      ch.chan_pipe_flow[rows * p.superlink_chan_con_link[j] + p.superlink_chan_con_node[j]] = 0.0;
  // A node the outfalls took water from (the river flowing back into the
  // pipes) gives it up over the step.
  double taken = 0.0, given = 0.0;
  for (int j = 1; j <= p.num_sjunc; ++j) {
    if (p.sjunc_inlet[j] != pipe_inlet::to_channel) continue;
    const int at = rows * p.superlink_chan_con_link[j] + p.superlink_chan_con_node[j];
    const double v = p.chan_sl_vol[at];
    ch.chan_pipe_flow[at] += v / dt;
    if (v >= 0.0)
      taken += v;
    else
      given -= v;
    p.chan_sl_vol[at] = 0.0;
  }
  ms.ledger.book(water_flux::pipes_to_channels, taken);
  ms.ledger.book(water_flux::channels_to_pipes, given);
  p.chan_sl_pending = 0.0;
}

}  // namespace nivra
