// The channel step of the time loop and the channel's share of the run's
// start and of an event's start. When the channel clock is due the step
// routes the network with its exchange with the cells, keeps the
// outlet discharge, books what crossed the network's boundary in the
// water ledger, keeps the highest water levels and moves its clock on; in
// a long-term run it slows down or parks while the channels are nearly
// empty. The point-source step applies the changes of the point-source file
// when their dates come.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/chan_point_sources.h"
#include "channel/channel_pumps.h"
#include "channel/channel_routing.h"
#include "channel/channel_sections.h"
#include "channel/channel_sediment.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "channel/channel_storage.h"
#include "channel/lateral_inflow.h"
#include "channel/stream_aquifer.h"
#include "channel/structures.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/storm_sewer.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/channel_lakes.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "surface/pumps.h"

namespace nivra {

namespace {

// The ground under the channels as the stream-aquifer exchange sees it:
// the water table as it stands, or none (the channels' loss alone).
stream_aquifer_cells aquifer_cells(const model_state& ms) {
  const groundwater_state& g = ms.groundwater;
  stream_aquifer_cells cells;
  if (g.water_table_given && !g.elevgw.empty()) {
    cells.water_table = g.elevgw.data();
    cells.bottom = g.bottom_elev.data();
    cells.ground = ms.grid.elevation.data();
    if (g.gw_simulation) cells.gwbound = g.gwbound.data();
  }
  return cells;
}

channel_domain routing_domain(model_state& ms, bool lateral) {
  channel_domain d{ms.channel, ms.overland, ms.grid, ms.lake};
  d.lateral = lateral;
  d.overland_backwater = ms.overland.overland_backwater != 0;
  d.model_time = ms.clock.model_time;
  d.sediments = ms.constituent.chan_sed_on != 0;
  d.constituents = ms.constituent.chan_con_trans != 0;
  if (ms.channel.stream_loss) {
    d.aquifer = aquifer_cells(ms);
    groundwater_state& g = ms.groundwater;
    if (g.gw_simulation && !g.cell_stream_exchange_vol.empty()) d.cell_exchange = g.cell_stream_exchange_vol.data();
  }
  const output_state& out = ms.output;
  if (out.optimize_given && out.in_hyd_location_given && !out.optimize_sed && out.num_hyd_locations > 0 &&
      out.hyd_loc_volume.size() >= out.num_hyd_locations) {
    d.locations = out.num_hyd_locations;
    d.location_link = out.hlink.data();
    d.location_node = out.hnode.data();
    d.location_volume = ms.output.hyd_loc_volume.data();
  }
  return d;
}

// Books what the routing moved across the network's boundary and what its
// exchange with the cells gave or took at their held levels.
void book_routing(model_state& ms, const channel_result& r) {
  ms.ledger.book(r.books, channel_books_terms);
  ms.ledger.book(r.cells, lateral_books_terms);
  ms.channel.clipped_area_count += r.books.clipped_nodes;
}

// The highest water levels: of the erodible break-point links for the
// section update, and of every node for the flood file.
void keep_highest_levels(model_state& ms) {
  channel_state& ch = ms.channel;
  const bool flood = ms.output.flood_stream_given && !ch.yp_max_flood.empty();
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    const bool erodible = (t & link_type::breakpoint) && (t & link_type::erodible) && !ch.max_yp.empty();
    if (!erodible && !flood) continue;
    for (int k = 1; k <= ch.nx[l]; ++k) {
      const double y = ch.yp(k, l);
      if (erodible) {
        double& m = ch.max_yp[ch.bplink[l]][k];
        m = std::max(m, y);
      }
      if (flood) ch.yp_max_flood(k, l) = std::max(ch.yp_max_flood(k, l), y);
    }
  }
}

}  // namespace

// Water above the banks of a node that cannot spill stays in the channel as
// if its walls went on up: one warning per node and event, and the count for
// the event summary.
void warn_above_banks(channel_state& ch, int event, double elapsed_min) {
  if (ch.above_bank_warned.empty()) return;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    if (!(t & link_type::channel) || ch.overbank_flow || (t & link_type::overbank)) continue;
    for (int k = 1; k <= ch.nx[l]; ++k) {
      const double bank = ch.bankfull_dep(k, l);
      const double depth = ch.yp(k, l) - ch.bel(k, l);
      if (!(bank > 0.0) || !(depth > bank) || ch.above_bank_warned(k, l)) continue;
      ch.above_bank_warned(k, l) = 1;
      ++ch.above_bank_nodes;
      char text[400];
      std::snprintf(text, sizeof text,
                    "Warning: event %d at %.2f min: node %d of channel link %d holds %.3f m of water, above its "
                    "bank height of %.3f m; without OVERBANK_FLOW (or the link's OVERBANK card) the water cannot "
                    "spill onto the grid and stands in the channel above its banks (warned once per node and "
                    "event)\n",
                    event, elapsed_min, k, l, depth, bank);
      report_text(text);
    }
  }
}

namespace {

// The discharge of every POINTSOURCE series at the model time, at its node.
void point_series_flows(channel_state& ch, double model_time) {
  channel_structures& s = ch.structures;
  s.series_flow.fill(0.0);
  for (const node_series_source& p : s.stream_pointsource)
    s.series_flow[ch.max_nodes_per_link * p.link + p.node] += ts_value_at(model_time, p.series);
}

void clear_lateral(channel_state& ch) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    auto q = ch.qlat.column(l);
    std::fill(q.data(), q.data() + ch.max_nodes_per_link + 1, 0.0);
  }
}

// Where the water given to grid-stream entry (i, j) goes when its node is
// not routed: the lake of a lake link or of a link a lake has taken whole,
// the lake that holds a taken node, or node 1 of the link below a
// structure.
struct entry_target {
  int lake = 0;            // a channel lake, or 0
  int link = 0, node = 0;  // else a routed node, or 0 when the water has nowhere to go
};

entry_target target_of(const channel_state& ch, const lake_state& lakes, int link, int node) {
  entry_target t;
  const int type = ch.ltype[link];
  const bool captured = (type & link_type::channel) && (type & link_type::captured);
  const auto lake_of_link = [&](int l) { return l <= lakes.lake2link.size() ? lakes.lake2link[l] : 0; };
  if ((type & link_type::lake) || captured) {
    t.lake = lake_of_link(link);
  } else if (type & link_type::structure) {
    const int down = ch.dslink[link];
    const int dt = down >= 1 ? ch.ltype[down] : 0;
    if (down >= 1 && !(dt & (link_type::lake | link_type::structure)) && ch.nx[down] >= 1 &&
        !((dt & link_type::channel) && (dt & link_type::captured))) {
      t.link = down;
      t.node = 1;
    } else if (down >= 1 && ((dt & link_type::lake) || (dt & link_type::captured))) {
      t.lake = lake_of_link(down);
    }
  } else if (node > ch.nx[link]) {
    t.lake = link <= ch.capture_lake.size() ? ch.capture_lake[link] : 0;
  } else {
    t.link = link;
    t.node = node;
  }
  if (t.lake < 1 || t.lake > lakes.lake_volume.size()) t.lake = 0;
  return t;
}

// The runoff of a lumped model enters the channel nodes by the shares of
// the grid-stream entries, at its hourly rate, until the runoff waiting for
// the channels is used up. The share of an entry whose node a lake holds
// goes into that lake; a share with nowhere to go stays in the pool.
void deliver_lumped_baseflow(model_state& ms, double dt) {
  groundwater_state& g = ms.groundwater;
  const bool sac = g.sacramento_given != 0;
  if (!(sac || g.conceptual_gw_given) || !(g.lumped_pool > 0.0) || !(dt > 0.0)) return;
  channel_state& ch = ms.channel;
  lake_state& lakes = ms.lake;
  const double v = std::min((sac ? g.sac_chan_inflow : g.congw_qlat) * dt, g.lumped_pool);
  if (!(v > 0.0)) return;
  const array2d<double>& share = sac ? ch.gst_sac_weight : ch.gst_cgw_weight;
  const double q = v / dt;
  double delivered = 0.0, to_lakes = 0.0, to_links = 0.0;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const entry_target t = target_of(ch, lakes, ch.gst_link[i][j], ch.gst_node[i][j]);
      const double part = v * share[i][j];
      if (t.lake) {
        lakes.lake_volume[t.lake] += part;
        to_lakes += part;
      } else if (t.link) {
        ch.qlat(t.node, t.link) += q * share[i][j] / ch.link_dx[t.link];
        to_links += part;
      } else {
        continue;
      }
      delivered += part;
    }
  g.lumped_pool -= delivered;
  ms.ledger.book(water_flux::lumped_baseflow_to_channels, to_links);
  ms.ledger.book(water_flux::lumped_baseflow_to_lakes, to_lakes);
  ms.clock.chan_flow_started = 1;
  ch.chan_has_water = 1;
}

// The slowed channel step: `from` halved while it exceeds 60 s, then cut
// to a whole number of model steps (at least one), so that the channel
// clock stays on the model's step grid and its due test keeps firing.
double slowed_channel_step(double from, double model_dt) {
  double s = from;
  while (s > 60.0) s *= 0.5;
  if (model_dt > 0.0) s = std::max(std::floor(s / model_dt + 1e-9), 1.0) * model_dt;
  return s;
}

// Whether some channel lake stands above its lowest level.
bool some_lake_above_min(const lake_state& lakes) {
  if (!lakes.chan_lakes) return false;
  const int n = std::min({lakes.num_lakes, lakes.lake_elev.size(), lakes.chan_lake.size()});
  for (int k = 1; k <= n; ++k)
    if (lakes.lake_elev[k] > lakes.chan_lake[k].minwse) return true;
  return false;
}

}  // namespace

void slow_down_when_nearly_empty(model_state& ms) {
  channel_state& ch = ms.channel;
  clock_state& c = ms.clock;
  if (!c.long_term || ms.overland.ov_water_at_start || ms.overland.ov_flowing || c.rain_on) return;
  c.lake_above_min = some_lake_above_min(ms.lake) ? 1 : 0;
  double volume = 0.0;
  if (ch.chan_dry_count == 0 || (!c.lake_above_min && !ch.chan_route_flag)) volume = channel_storage(ms);
  const double rain = ms.ledger.event_total(water_flux::rainfall_to_overland);
  if (!(volume < 0.01 * rain || rain == 0.0)) return;
  ++ch.chan_dry_count;
  if (c.lake_above_min) {
    c.chan_dt = slowed_channel_step(ms.groundwater.gw_simulation ? c.gw_dt : 60.0, c.dt);
    if (ms.constituent.chan_con_trans && c.dt < c.chan_dt) c.chan_dt = c.dt;
    c.chan_dt_days = c.chan_dt / seconds_per_day;
    c.chan_next_time = c.model_time + c.chan_dt_days;
  } else if (ch.chan_route_flag == 1) {
    c.chan_dt = slowed_channel_step(c.gw_dt, c.dt);
    c.chan_dt_days = c.chan_dt / seconds_per_day;
    c.chan_next_time = c.model_time + c.chan_dt_days;
  } else if (ms.overland.qout < 1e-6 && !ms.groundwater.sacramento_given && !ms.groundwater.conceptual_gw_given) {
    // Channels fed by a lumped model's baseflow keep their clock.
    c.chan_dt_days = c.ov_dt_days;
    c.chan_flow_started = 0;
    c.chan_next_time = c.ov_next_time;
  }
}

void channel_routing_step(model_state& ms) {
  channel_state& ch = ms.channel;
  clock_state& clk = ms.clock;
  if (!ch.chan_explic || !is_due(ms, clk.chan_next_time)) return;
  const double span = clk.model_time - clk.chan_last_time;
  const double dt = span > 1e-6 ? seconds_since(ms, clk.chan_last_time) : clk.chan_dt;

  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const auto a = ch.area.column(l);
    std::copy(a.data(), a.data() + ch.max_nodes_per_link + 1, ch.area_old.column(l).data());
  }
  // The routing exchanges water with the cells every sub-step.
  const bool lateral = ms.overland.ov_wet || ch.overbank_flow || ch.overbank_exchange;
  if (lateral) {
    clk.chan_flow_started = 1;
    ch.chan_has_water = 1;
  }
  deliver_lumped_baseflow(ms, dt);
  int exchange = stream_exchange::none;
  if (ch.stream_loss) {
    exchange = chan_gw_exchange(ms.channel, aquifer_cells(ms));
    if (exchange == stream_exchange::failed) return set_error(own_message_code);
    // A water table above the water surface feeds the channels.
    if (exchange == stream_exchange::gaining) {
      clk.chan_flow_started = 1;
      ch.chan_has_water = 1;
    }
  }
  // Water given at the nodes starts the flow as the cells' water does.
  if (ch.chan_point_sources_on || ch.first_order_chan_q > 0.0 || ch.xy_stream_inflow_on) clk.chan_flow_started = 1;
  if (!ch.structures.stream_pointsource.empty()) {
    point_series_flows(ch, clk.model_time);
    if (process.error_block.stop) return;
    clk.chan_flow_started = 1;
  }
  if (!ch.structures.stream_pumps.empty()) {
    if (!apply_channel_pumps(ch, dt, clk.model_time)) return;
    clk.chan_flow_started = 1;
  }

  // The channel lakes' cells follow their volumes; a joining cell's
  // overland water becomes lake water.
  if (ms.lake.chan_lakes && !update_channel_lake_cells(ms)) return;
  // Their beds pass water to and from the ground, whether the channels
  // flow or not.
  seep_through_lake_beds(ms, dt);
  // A lake standing above its outlet lets water out, as a channel that
  // receives water carries it.
  if (!clk.chan_flow_started && water_above_outlets(ms.lake) > 0.0) clk.chan_flow_started = 1;

  if (clk.chan_flow_started) {
    ++ch.chan_routed_steps;
    take_pipe_outflow(ms, dt);
    const channel_result r = ex_flow_route(routing_domain(ms, lateral), dt);
    if (r.status != channel_status::ok) {
      if (!process.error_block.stop) set_error(own_message_code);
      return;
    }
    ch.chan_route_flag = ch.stream_loss ? r.exchange : exchange;
    book_routing(ms, r);
    if (ch.stream_loss) ch.aquifer_exchange_until = clk.model_time;
    // The outlet discharge of the step is its mean, the volume that left
    // over the step's length: where a level swings within the step (a
    // pond beside the outlet filled by the cells), the discharge at its
    // last sub-step is no measure of what passed.
    const int outlet = ch.num_stream_links;
    ms.overland.qout = dt > 1e-16 ? r.books.outlet / dt : ch.qp(ch.nx[outlet], outlet);
  }
  keep_highest_levels(ms);
  if (!route_channel_sediment(ms, dt)) return;
  warn_above_banks(ch, clk.event_index, clk.elapsed_min);
  clear_lateral(ch);

  clk.chan_last_time = clk.model_time;
  clk.chan_next_time = clk.model_time + clk.chan_dt_days;
  ++ch.chan_steps;
  if (clk.rain_on > 0) ch.chan_dry_count = 0;
  slow_down_when_nearly_empty(ms);
}

void read_chan_point_input(model_state& ms) {
  channel_state& ch = ms.channel;
  if (!ch.chan_point_sources_on || ch.chan_point_next_time == 0.0) return;
  // A change takes effect at the first step at or after its date.
  while (ch.chan_point_next_time != 0.0 && ms.clock.model_time > ch.chan_point_next_time - ms.clock.time_tol) {
    apply_chan_point_change(ch, ++ch.chan_point_read_count);
    ch.chan_point_next_time = ch.chan_point_read_count < ch.num_chan_point_changes
                                  ? ch.chan_point_change_time[ch.chan_point_read_count + 1]
                                  : 0.0;
  }
}

void init_channel_start(model_state& ms) {
  channel_state& ch = ms.channel;
  const bool points = !ms.project.chan_point_input.empty();
  if (!ch.chan_explic) {
    if (points) {
      std::printf("Error: the CHAN_POINT_INPUT card feeds the channels of explicit channel routing (CHAN_EXPLIC), "
                  "which this project does not route\n");
      set_error(own_message_code);
      report_error();
    }
    return;
  }
  if (!ex_section(ch, section_mode::from_depth)) return;
  for (int l = 1; l <= ch.num_stream_links; ++l)
    for (int k = 1; k <= ch.nx[l] && !ch.yp_max_flood.empty(); ++k) ch.yp_max_flood(k, l) = ch.yp(k, l);
  if (ch.chan_has_water) ms.clock.chan_flow_started = 1;
  if (points) {
    const char* name = ms.project.chan_point_input.c_str();
    if (!open_input_file(ch.chan_point_file, name)) {
      std::printf("Can't open %s to read channel point source input file \n", name);
      set_error(own_message_code);
      report_error();
      return;
    }
    const bool read = read_chan_source_file(ch, ch.chan_point_file, ms.constituent.num_constituents,
                                            ms.constituent.num_sed_constituents);
    close_guarded_file(ch.chan_point_file);
    if (!read) {
      set_error(own_message_code);
      report_error();
      return;
    }
    ms.clock.chan_flow_started = 1;
    ch.chan_has_water = 1;
    ch.chan_point_next_time = ch.num_chan_point_changes > 0 ? ch.chan_point_change_time[1] : 0.0;
  }
  // The water the channels start the run with.
  ms.ledger.set_storage(water_store::channels, ledger_moment::run_start, channel_storage(ms));
}

void start_channel_event(model_state& ms) {
  channel_state& ch = ms.channel;
  if (!ch.chan_explic) return;
  ch.above_bank_nodes = 0;
  ch.above_bank_warned.fill(0);
  const bool stored_water = ms.soil.inf_richards || ms.groundwater.gw_simulation || ms.soil.sm_accounting;
  if (!ch.chan_hotstart_flag_in && (ms.clock.clock_call_count == 1 || !stored_water)) {
    // A dry channel, but at a fixed-head outlet.
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      for (int k = 1; k <= ch.nx[l]; ++k) {
        ch.qp(k, l) = 0.0;
        ch.qlat(k, l) = 0.0;
        ch.yp(k, l) = ch.bel(k, l);
        ch.chan_depth(k, l) = 0.0;
      }
    }
    if (ch.head_bound) chan_point_source_value(ms);
  }
  ex_section(ch, section_mode::from_depth);
}

}  // namespace nivra
