#include "channel/channel_setup.h"

#include <cstdio>
#include <string>
#include <vector>

#include "channel/card_lines.h"
#include "channel/channel_hotstart.h"
#include "channel/channel_input.h"
#include "channel/channel_state.h"
#include "channel/lake_capture.h"
#include "channel/structures.h"
#include "clock/clock_state.h"
#include "core/card_numbers.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/channel_lakes.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool stop_run() { return stop_reading(); }

// A node routed as open channel: a computational node of a channel link.
bool is_channel_node(const channel_state& ch, int link, int node) {
  return link >= 1 && link <= ch.num_stream_links && (ch.ltype[link] & link_type::channel) && node >= 1 &&
         node <= ch.nx[link];
}

// ---- The channel hotstart.

// One column of the hotstart: the value of every channel node, from lines
// "node link value", and with `area` a fourth optional value.
struct hotstart_column {
  std::vector<double> value, area;
  std::vector<char> seen, has_area;
};

bool read_hotstart_column(const channel_state& ch, guarded_file& f, const char* what, const value_range& range,
                          bool with_area, hotstart_column& col) {
  const char* name = f.name.c_str();
  const std::size_t size = static_cast<std::size_t>(ch.link_node_size) + ch.max_nodes_per_link + 1;
  col.value.assign(size, 0.0);
  col.seen.assign(size, 0);
  if (with_area) {
    col.area.assign(size, 0.0);
    col.has_area.assign(size, 0);
  }
  card_line line;
  for (int n = 1; read_line(line, f); ++n) {
    card_numbers num(line, name, n);
    if (num.at_end()) continue;
    int node = 0, link = 0;
    double v = 0.0;
    if (!num.whole("the node", node, from_to(1, ch.max_nodes)) ||
        !num.whole("the link", link, from_to(1, ch.num_stream_links)) || !num.real(what, v, range))
      return stop_run();
    if (!is_channel_node(ch, link, node)) {
      std::fprintf(stderr, "Error: line %d of the channel hotstart %s names node %d of link %d, which is no "
                           "computational node of a channel link.\n",
                   n, name, node, link);
      return stop_run();
    }
    const std::size_t at = static_cast<std::size_t>(link) * ch.max_nodes_per_link + node;
    if (col.seen[at]) {
      std::fprintf(stderr, "Error: line %d of the channel hotstart %s gives node %d of link %d a second time.\n", n,
                   name, node, link);
      return stop_run();
    }
    col.seen[at] = 1;
    col.value[at] = v;
    if (with_area && !num.at_end()) {
      if (!num.real("the flow area", col.area[at], from_to(0, 1e9, "m2"))) return stop_run();
      col.has_area[at] = 1;
    }
    if (!num.at_end()) {
      std::fprintf(stderr, "Error: line %d of the channel hotstart %s holds more values than it takes.\n", n, name);
      return stop_run();
    }
  }
  for (int link = 1; link <= ch.num_stream_links; ++link)
    for (int node = 1; node <= ch.nx[link]; ++node) {
      if (!is_channel_node(ch, link, node)) break;
      if (col.seen[static_cast<std::size_t>(link) * ch.max_nodes_per_link + node]) continue;
      std::fprintf(stderr, "Error: the channel hotstart %s has no line for node %d of link %d.\n", name, node, link);
      return stop_run();
    }
  return true;
}

// ---- Output locations.

// A count, then that many pairs of integers, each with its line.
struct int_pair {
  int a = 0, b = 0, line = 0;
};

bool read_pair_list(guarded_file& f, const char* name, std::vector<int_pair>& pairs) {
  int_token_reader in(f, name);
  auto fault = [&](int got) {
    if (got == 0)
      std::printf("End of file reached in file %s, exiting\n", name);
    else
      std::printf("Error: line %d of file %s holds a value that is not an integer\n", in.line(), name);
    return stop_run();
  };
  int count = 0;
  int got = in.next(count);
  if (got != 1) return fault(got);
  if (count < 0 || count > 100000) {
    std::printf("Error: line %d of file %s gives %d locations; it takes 0 to 100000\n", in.line(), name, count);
    return stop_run();
  }
  pairs.assign(static_cast<std::size_t>(count), int_pair{});
  for (int_pair& p : pairs) {
    if ((got = in.next(p.a)) != 1 || (got = in.next(p.b)) != 1) return fault(got);
    p.line = in.line();
  }
  if (!in.at_end()) {
    std::printf("Error: line %d of file %s holds more than the %d locations its first value counts\n", in.line(), name,
                count);
    return stop_run();
  }
  close_guarded_file(f);
  return true;
}

// Link and node pairs that name computational nodes of channel links.
bool read_link_node_list(const channel_state& ch, guarded_file& f, const char* name, int& count, array1d<int>& links,
                         array1d<int>& nodes) {
  std::vector<int_pair> pairs;
  if (!read_pair_list(f, name, pairs)) return false;
  count = static_cast<int>(pairs.size());
  links.alloc(count);
  nodes.alloc(count);
  for (int k = 1; k <= count; ++k) {
    const int_pair& p = pairs[k - 1];
    if (!is_channel_node(ch, p.a, p.b)) {
      std::printf("Error: line %d of file %s names node %d of link %d, which is no computational node of a "
                  "channel link\n",
                  p.line, name, p.b, p.a);
      return stop_run();
    }
    links[k] = p.a;
    nodes[k] = p.b;
  }
  return true;
}

bool read_cell_locations(model_state& ms) {
  guarded_file& f = ms.output.dep_dis_location_file;
  const std::string name = ms.project.in_celldepdis_location.c_str();
  std::vector<int_pair> pairs;
  if (!read_pair_list(f, name.c_str(), pairs)) return false;
  const int count = static_cast<int>(pairs.size());
  ms.output.num_cell_locations = count;
  ms.output.gnumlocater.alloc(count);
  for (int k = 1; k <= count; ++k) {
    const int_pair& p = pairs[k - 1];
    const bool inside = p.a >= 1 && p.a <= ms.grid.rows && p.b >= 1 && p.b <= ms.grid.cols;
    const int cell = inside ? ms.grid.mask[p.a][p.b] : 0;
    if (cell == 0) {
      std::printf("Error: row %d, column %d at line %d of file %s is no cell of the watershed\n", p.a, p.b, p.line,
                  name.c_str());
      return stop_run();
    }
    ms.output.gnumlocater[k] = cell;
    std::printf("cell location %d: row %d, column %d is cell %d\n", k, p.a, p.b, cell);
  }
  return true;
}

bool read_locations(model_state& ms) {
  channel_state& ch = ms.channel;
  output_state& out = ms.output;
  if (out.in_hyd_location_given) {
    if (!read_link_node_list(ch, out.hyd_location_file, ms.project.in_hyd_location.c_str(), out.num_hyd_locations,
                             out.hlink, out.hnode))
      return false;
  }
  if (out.in_gwflux_location_given &&
      !read_link_node_list(ch, ms.groundwater.gw_flux_location_file, ms.project.in_gwflux_location.c_str(),
                           out.num_gwflux_locations, out.gwflink, out.gwfnode))
    return false;
  if (out.in_celldepdis_location_given && !read_cell_locations(ms)) return false;
  return true;
}

// The lakes that seep through their beds (MLAKE): their bed thickness is
// reported, their beds take the soil's saturated conductivity, and with
// saturated groundwater the cells under them become lake cells of the
// aquifer. False after a message: the run stops.
bool init_lake_beds(model_state& ms) {
  lake_state& lakes = ms.lake;
  if (!lakes.lake_gw_on || !lakes.chan_lakes) return true;
  for (int L = 1; L <= lakes.num_lakes; ++L)
    if (lakes.chan_lake[L].calc_loss)
      std::printf("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf m\n", L, lakes.chan_lake[L].Mlake);
  if (ms.soil.sat_hyd_cond.size() != ms.grid.ncells) {
    std::printf("Error: the channel input file %s has lakes that seep through their beds (MLAKE); their beds take "
                "the saturated hydraulic conductivity of the soil (the CONDUCTIVITY map or a mapping table's), "
                "which this project does not give.\n",
                ms.project.channel_input.c_str());
    return stop_run();
  }
  lakes.lake_cell_seepage.alloc(ms.grid.ncells);
  groundwater_state& g = ms.groundwater;
  if (g.gw_simulation && !g.gwbound.empty()) follow_lake_beds(lakes, g.gwbound.data(), ms.grid.ncells);
  return true;
}

// The routing moves water along the CONNECT cards both ways: a link's last
// node hands its discharge to the link it flows into, and node 1 of a link
// takes the discharges of the links it lists upstream. Both must tell the
// same network, and every link must reach the outlet, the last link.
bool check_connections(const channel_state& ch, const char* name) {
  const int n = ch.num_stream_links;
  auto fault = [name](const std::string& what) {
    std::printf("Error: in the channel input file %s %s\n", name, what.c_str());
    return stop_run();
  };
  for (int l = 1; l <= n; ++l) {
    const int down = ch.dslink[l];
    if (l == n) {
      if (down != 0)
        return fault("the outlet link " + std::to_string(l) + " flows into link " + std::to_string(down) +
                     ": the last link is the outlet");
      continue;
    }
    if (down < 1)
      return fault("link " + std::to_string(l) + " flows into no link: only the last link, " + std::to_string(n) +
                   ", is the outlet");
    bool listed = false;
    for (int k = 1; k <= ch.ndep[down]; ++k) listed = listed || ch.uslinks[down][k] == l;
    if (!listed)
      return fault("link " + std::to_string(l) + " flows into link " + std::to_string(down) +
                   ", whose CONNECT card does not list it upstream");
  }
  for (int l = 1; l <= n; ++l)
    for (int k = 1; k <= ch.ndep[l]; ++k) {
      const int u = ch.uslinks[l][k];
      if (ch.dslink[u] != l)
        return fault("link " + std::to_string(l) + " lists link " + std::to_string(u) + " upstream, which flows into " +
                     (ch.dslink[u] ? "link " + std::to_string(ch.dslink[u]) : std::string("no link")));
    }
  // A structure passes the water of the one channel or lake above it to
  // the channel below it; a lake lets its water out through a structure.
  auto channel_link = [&ch](int l) { return l >= 1 && (ch.ltype[l] & link_type::channel) != 0; };
  auto lake_link = [&ch](int l) { return l >= 1 && (ch.ltype[l] & link_type::lake) != 0; };
  for (int l = 1; l <= n; ++l) {
    if (!lake_link(l)) continue;
    const int down = ch.dslink[l];
    if (l == n || !(ch.ltype[down] & link_type::structure))
      return fault("the lake link " + std::to_string(l) +
                   (l == n ? std::string(" is the outlet") : " flows into link " + std::to_string(down)) +
                   ": a lake lets its water out through a structure link below it");
  }
  for (int l = 1; l <= n; ++l) {
    if (!(ch.ltype[l] & link_type::structure)) continue;
    const std::string link = "the structure link " + std::to_string(l);
    if (l == n) return fault(link + " is the outlet: a structure passes water on to a channel link below it");
    if (ch.ndep[l] != 1 || !(channel_link(ch.uslinks[l][1]) || lake_link(ch.uslinks[l][1])))
      return fault(link + " has " + std::to_string(ch.ndep[l]) + " upstream links: a structure takes the water of " +
                   "exactly one channel or lake link");
    if (!channel_link(ch.dslink[l]))
      return fault(link + " flows into link " + std::to_string(ch.dslink[l]) + ", which is no channel link");
  }
  // Walk down from every link; a walk that comes back to itself is a circle.
  std::vector<char> state(static_cast<std::size_t>(n) + 1, 0);  // 1 on the walk, 2 reaches the outlet
  state[static_cast<std::size_t>(n)] = 2;
  std::vector<int> walk;
  for (int l = 1; l <= n; ++l) {
    walk.clear();
    int at = l;
    while (state[static_cast<std::size_t>(at)] == 0) {
      state[static_cast<std::size_t>(at)] = 1;
      walk.push_back(at);
      at = ch.dslink[at];
    }
    if (state[static_cast<std::size_t>(at)] == 1)
      return fault("link " + std::to_string(at) + " does not reach the outlet: its links flow in a circle");
    for (int w : walk) state[static_cast<std::size_t>(w)] = 2;
  }
  return true;
}

}  // namespace

bool read_sediment_locations(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.in_sed_loc) return true;
  const char* in_name = k.in_sed_loc_file_name.c_str();
  if (k.out_sed_loc_file_name.empty()) {
    std::printf("Error: the IN_SED_LOC card names the channel nodes of the sediment series; the OUT_SED_LOC card "
                "must name the file they are written to\n");
    return stop_run();
  }
  if (!open_input_file(k.sed_hyd_location_file, k.in_sed_loc_file_name.view())) {
    set_error(4, "input sed. hydrograph locations", k.in_sed_loc_file_name.view());
    report_error();
    return false;
  }
  if (!read_link_node_list(ms.channel, k.sed_hyd_location_file, in_name, ms.output.n_sed_loc, ms.output.slink,
                           ms.output.snode))
    return false;
  if (!open_guarded_file(k.out_sed_hyd_location_file, k.out_sed_loc_file_name.view(), "w")) {
    set_error(4, "output sed. hydrograph locations", k.out_sed_loc_file_name.view());
    report_error();
    return false;
  }
  std::FILE* f = k.out_sed_hyd_location_file.fp;
  std::fprintf(f, "%d\n", ms.output.n_sed_loc);
  for (int i = 1; i <= ms.output.n_sed_loc; ++i) std::fprintf(f, "%4d %4d\n", ms.output.slink[i], ms.output.snode[i]);
  if (k.out_tss_loc && !open_guarded_file(k.out_tss_loc_file, k.out_tss_loc_file_name.view(), "w")) {
    set_error(4, "output sediment tss hydrograph locations", k.out_tss_loc_file_name.view());
    report_error();
    return false;
  }
  return true;
}

bool read_channel_initial_depths(channel_state& ch) {
  const bool depths = ch.hotstart_is_depth != 0;
  hotstart_column level, flow;
  if (!read_hotstart_column(ch, ch.chan_hotstart_in_file, depths ? "the depth" : "the water-surface elevation",
                            depths ? from_to(0, 1e4, "m") : ground_elevation, true, level) ||
      !read_hotstart_column(ch, ch.chan_discharge_in_file, "the discharge", from_to(-1e7, 1e7, "m3/s"), false, flow))
    return false;
  for (int link = 1; link <= ch.num_stream_links; ++link) {
    if (!(ch.ltype[link] & link_type::channel)) continue;
    for (int node = 1; node <= ch.nx[link]; ++node) {
      const std::size_t at = static_cast<std::size_t>(link) * ch.max_nodes_per_link + node;
      const double bed = ch.bel(node, link);
      double y = depths ? bed + level.value[at] : level.value[at];
      if (y < bed) y = bed;  // a water surface below the bed: dry
      ch.yp(node, link) = y;
      ch.chan_depth(node, link) = y - bed;
      ch.qp(node, link) = flow.value[at];
      if (level.has_area[at]) ch.area(node, link) = level.area[at];
      if (y - bed > 1e-16) ch.chan_has_water = 1;
    }
  }
  return true;
}

void size_channel_state(channel_state& ch) {
  const int rows = ch.max_nodes_per_link, links = ch.link_array_size;
  for (node_array<double>* a : {&ch.yp_max_flood, &ch.chan_depth, &ch.area, &ch.area_old, &ch.conv, &ch.dconv,
                                &ch.stdummy, &ch.topw, &ch.qlat})
    a->alloc(rows, links);
  ch.above_bank_warned.alloc(rows, links);
  if (ch.stream_loss) ch.qriv.alloc(rows, links);
  ch.routing.prepare(rows, links, ch.stream_loss != 0, ch.gst_num_cells, ch.gst_max_cells);
  if (!ch.structures.stream_pointsource.empty()) ch.structures.series_flow.alloc(ch.link_node_size);
}

bool write_short_links(const channel_state& ch) {
  guarded_file f;
  if (!open_guarded_file(f, "short_links.out", "w")) {
    std::printf("Error: unable to open short_links.out for writing\n");
    return stop_run();
  }
  std::fprintf(f.fp, "Links with 1 node:\n");
  for (int l = 1; l <= ch.num_stream_links; ++l)
    if (ch.nx[l] == 1) std::fprintf(f.fp, "%d\n", l);
  close_guarded_file(f);
  return true;
}

bool write_bad_thalweg(const channel_state& ch, const grid_state& grid) {
  guarded_file f;
  if (!open_guarded_file(f, "bad_thalweg.out", "w")) {
    std::printf("Error: unable to open bad_thalweg.out for writing\n");
    return stop_run();
  }
  std::fprintf(f.fp, "Problem    link    node    thalweg     cell    elev\n");
  std::fprintf(f.fp, "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, "
                     "3=difference>3.5\n");
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int link = ch.gst_link[i][j], node = ch.gst_node[i][j], cell = ch.gst_gnum[i][j];
      const double bed = ch.bel(node, link);
      if (bed > grid.elevation[cell])
        std::fprintf(f.fp, "0     %4d    %4d   %lf   %d   %lf\n", link, node, bed, cell, grid.elevation[cell]);
    }
  close_guarded_file(f);
  return true;
}

void init_channel_network(model_state& ms) {
  channel_state& ch = ms.channel;
  if (!ch.chan_explic) {
    // The cells whose depth and discharge are written are read with the
    // other locations; a grid without channels has only them.
    if (ms.output.in_celldepdis_location_given) read_cell_locations(ms);
    return;
  }
  if (!ch.chan_input_file.is_open() || !ch.grid_stream_file.is_open()) {
    std::printf("Error: explicit channel routing needs the channel input file (CHANNEL_INPUT) and the grid-stream "
                "file (STREAM_CELL)\n");
    stop_run();
    return;
  }
  input_report(ms, console_rule::unless_quiet, "reading channel input data from file %s\n",
               ms.project.channel_input.c_str());
  const bool console = ms.project.super_quiet == 0 && process.parallel_env.proc_id == 0;
  chan_read_options options;
  options.summary = console && ms.project.optimizer_mode != 1;
  options.progress = console;
  chan_file_contents contents;
  if (!read_chan_input(ch, ms.lake, ch.chan_input_file, options, contents)) return;
  if (!contents.network) {
    std::printf("Error: the channel input file %s does not begin with nivra_chan: it holds no channel network\n",
                ms.project.channel_input.c_str());
    stop_run();
    return;
  }
  if (!check_connections(ch, ms.project.channel_input.c_str())) return;
  if (!init_channel_lakes(ms.lake, ms.grid, ms.project.channel_input.c_str())) return;
  // A channel hot-start's companion carries the lakes' levels and cells,
  // the nodes they hold and the sediment.
  if (ch.chan_hotstart_flag_in && ch.chan_state_in_file.is_open()) {
    const bool read = read_channel_state_file(ch.chan_state_in_file, ch, ms.lake, ms.grid);
    close_guarded_file(ch.chan_state_in_file);
    if (!read) return;
    apply_carried_lakes(ch, ms.lake);
  }
  ms.lake.lake_gw_on = contents.lake_gw;
  if (!init_lake_beds(ms)) return;
  if (!read_grid_stream_file(ch, ms.grid, ch.grid_stream_file, options)) return;

  size_channel_state(ch);
  if (ms.lake.chan_lakes) size_lake_capture(ch);
  apply_carried_capture(ch, ms.lake);
  ch.chan_section_mode = 2;
  if (ch.chan_hotstart_flag_in) {
    if (!read_channel_initial_depths(ch)) return;
    // The water leaving the outlet when the run starts: what left it in the
    // last step of the run that wrote the hot-start, else what its last
    // node carries.
    const int outlet = ch.num_stream_links;
    if (ch.carried.read && ch.carried.outlet_given)
      ms.overland.qout_at_start = ch.carried.outlet_q;
    else if (outlet >= 1 && ch.nx[outlet] >= 1)
      ms.overland.qout_at_start = ch.qp(ch.nx[outlet], outlet);
  }
  if (!read_locations(ms)) return;
  ch.num_headwater_links = 0;
  for (int l = 1; l <= ch.num_stream_links; ++l)
    if (ch.ndep[l] == 0) ++ch.num_headwater_links;
  ch.con_vect.alloc(ch.max_nodes_per_link, ch.link_array_size);

  if (ms.project.optimizer_mode != 1) input_report(ms, console_rule::unless_quiet, "Setting up the grid-stream data... ");
  if (!init_grid_stream(ch, ms.groundwater.gw_simulation || ch.stream_loss)) return;
  input_report(ms, console_rule::unless_quiet, "done.\n");
  if (ms.groundwater.sacramento_given &&
      !compute_sacramento_weights(ch, ms.groundwater, ms.grid.ncells, ms.project.super_quiet != 0))
    return;
  if (ms.groundwater.conceptual_gw_given && !compute_cgw_weights(ch, ms.groundwater, ms.grid, ms.project.super_quiet != 0))
    return;
  if (!write_short_links(ch)) return;
  write_bad_thalweg(ch, ms.grid);
  warn_outlet_off_channel(ch, ms.grid);
}

void warn_outlet_off_channel(const channel_state& ch, const grid_state& grid) {
  if (grid.outrow < 1 && grid.outcol < 1) return;
  const int cell = grid.outlet_cell;
  for (int i = 1; cell > 0 && i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j)
      if (ch.gst_gnum[i][j] == cell) return;
  std::printf("Warning: the outlet cell (OUTROW %d, OUTCOL %d) is not a cell of the channel network (STREAM_CELL); "
              "with channel routing the water leaves the watershed at the last node of the outlet link %d, and "
              "OUTROW and OUTCOL have no effect\n",
              grid.outrow, grid.outcol, ch.num_stream_links);
}

int chan_point_source_value(model_state& ms) {
  if (ms.channel.bound_ts_given)
    if (time_series* series = find_time_series(ms.project.bound_ts.c_str()))
      ms.channel.bound_depth = ts_value_at(ms.clock.model_time, series);
  // The water surface of the last node of the outlet link.
  const int link = ms.channel.num_stream_links;
  if (link < 1 || ms.channel.nx.size() < link) return 0;
  const int node = ms.channel.nx[link];
  if (ms.channel.yp.empty() || node > ms.channel.yp.rows() || link > ms.channel.yp.cols()) return 0;
  ms.channel.yp(node, link) = ms.channel.bel(node, link) + ms.channel.bound_depth;
  if (!ms.channel.chan_depth.empty()) ms.channel.chan_depth(node, link) = ms.channel.bound_depth;
  return 0;
}

}  // namespace nivra
