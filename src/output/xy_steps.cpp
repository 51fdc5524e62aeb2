// The XY points in the run: the hand-over of the records the project
// reader filled, the set-up of the boundary inputs and of the output
// points, and the overland and groundwater boundary values of their steps.
#include "output/xy_steps.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/aquifer.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "output/xy_points.h"
#include "surface/blockage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

const char* file_of(const xy_input& xy, int file) {
  return file >= 1 && file <= static_cast<int>(xy.files.size()) ? xy.files[file - 1].c_str() : "";
}

// Every cell a boundary file named lies in the grid, and no cell takes two
// series (the second would overwrite the first at every update).
bool cells_in_grid(const xy_input& xy, const checked_array<xy_point>& points, int count, int ncells) {
  std::vector<int> named(static_cast<std::size_t>(ncells) + 1, 0);
  for (int p = 1; p <= count; ++p) {
    const xy_point& pt = points[p];
    if (pt.cell < 1 || pt.cell > ncells) {
      std::printf("Error: line %d of the XY boundary input file %s names cell %d; the grid's cells are 1 to %d.\n",
                  pt.line, file_of(xy, pt.file), pt.cell, ncells);
      stop_with_own_message();
      return false;
    }
    int& first = named[static_cast<std::size_t>(pt.cell)];
    if (first != 0) {
      const xy_point& other = points[first];
      std::printf("Error: line %d of the XY boundary input file %s names cell %d, which line %d of %s names "
                  "already; a cell takes the series of one point.\n",
                  pt.line, file_of(xy, pt.file), pt.cell, other.line, file_of(xy, other.file));
      stop_with_own_message();
      return false;
    }
    first = p;
  }
  return true;
}

// Every LINKNODE entry names a computational node of the network, and every
// other stream point gets the nearest one.
bool place_stream_points(xy_input& xy, const channel_state& ch) {
  if (ch.num_stream_links < 1 || ch.nx.size() < ch.num_stream_links) {
    std::printf("Error: the stream XY boundary points of %s need a channel network (CHANNEL_INPUT).\n",
                file_of(xy, xy.stpts[1].file));
    stop_with_own_message();
    return false;
  }
  for (int p = 1; p <= xy.num_stpts; ++p) {
    const xy_stream_point& s = xy.stpts[p];
    if (!s.assigned) continue;
    if (s.link >= 1 && s.link <= ch.num_stream_links && s.node >= 1 && s.node <= ch.nx[s.link]) continue;
    const int nodes = s.link >= 1 && s.link <= ch.num_stream_links ? ch.nx[s.link] : 0;
    std::printf("Error: line %d of the XY boundary input file %s names link %d, node %d; the channel network has "
                "links 1 to %d%s.\n",
                s.line, file_of(xy, s.file), s.link, s.node, ch.num_stream_links,
                nodes > 0 ? (" and that link nodes 1 to " + std::to_string(nodes)).c_str() : "");
    stop_with_own_message();
    return false;
  }
  assign_xy_stream_boundary_nodes(xy, ch.num_stream_links, ch.nx, ch.ltype, ch.lnx, ch.lny);
  return true;
}

// The name of a stream point in a message: its LINKNODE line, or its place
// among the points of its file.
std::string stream_point_name(const xy_input& xy, int p) {
  const xy_stream_point& s = xy.stpts[p];
  char text[320];
  if (s.line > 0)
    std::snprintf(text, sizeof text, "the stream point of line %d of the XY boundary input file %s", s.line,
                  file_of(xy, s.file));
  else
    std::snprintf(text, sizeof text, "the stream point at x %.3f, y %.3f of the XY boundary input file %s", s.x, s.y,
                  file_of(xy, s.file));
  return text;
}

// Every stream point lies on a node the routing takes water into (a node
// of an open-channel link no lake has taken whole) and has a hydrograph of
// discharges that are numbers and not below 0: the channels take it as an
// inflow.
bool stream_points_take_inflow(const xy_input& xy, const channel_state& ch) {
  for (int p = 1; p <= xy.num_stpts; ++p) {
    const xy_stream_point& s = xy.stpts[p];
    const std::string name = stream_point_name(xy, p);
    if (!s.assigned) {
      std::printf("Error: %s finds no node of an open-channel link to take its inflow.\n", name.c_str());
      return false;
    }
    const int type = ch.ltype[s.link];
    if (!(type & link_type::channel) || (type & link_type::captured)) {
      std::printf("Error: %s lies on link %d, which is no open channel; its inflow needs a channel node.\n",
                  name.c_str(), s.link);
      return false;
    }
    if (!s.series || s.series->count < 1) {
      std::printf("Error: %s has no hydrograph (no TIMESERIES, or a series without values).\n", name.c_str());
      return false;
    }
    for (int k = 0; k < s.series->count; ++k) {
      const double q = s.series->values[static_cast<std::size_t>(k)];
      if (std::isfinite(q) && q >= 0.0) continue;
      std::printf("Error: %s has the discharge %g as value %d of its hydrograph; it takes a number of at least "
                  "0 (m3/s).\n",
                  name.c_str(), q, k + 1);
      return false;
    }
  }
  return true;
}

// An output card that would write nothing stops the run.
bool xy_output_cards_agree(const model_state& ms) {
  const xy_output& out = ms.output.xy_out;
  const bool named = !out.ov_file_name.empty() || !out.gw_file_name.empty() || !out.stream_file_name.empty();
  if (ms.output.xybdyoutput_on && !named) {
    std::printf("Error: the %s card gives XY output points, but no XYBDYOUTPUT_OVDEP, XYBDYOUTPUT_GWHEAD or "
                "XYBDYOUTPUT_STFLOW card names a file to write their values to.\n",
                out.mode == 1 ? "XYBDYOUTPUT_MASK" : "XYBDYOUTPUT_PTS");
    return false;
  }
  if (!ms.output.xybdyoutput_on && named) {
    std::printf("Error: an XYBDYOUTPUT_OVDEP, XYBDYOUTPUT_GWHEAD or XYBDYOUTPUT_STFLOW card names an output "
                "file, but no XYBDYOUTPUT_PTS or XYBDYOUTPUT_MASK card gives the points.\n");
    return false;
  }
  return true;
}

bool open_output(guarded_file& f, const fixed_text<1024>& name, const char* which) {
  if (open_guarded_file(f, name.view(), "w")) return true;
  std::printf("Error: XY %s output file name is not valid\n", which);
  std::fprintf(stderr, "Error: XY %s output file name is not valid\n", which);
  std::printf("       The file %s cannot be written.\n", name.c_str());
  stop_with_own_message();
  return false;
}

// The groundwater points' cells and the interpolated cells (code 8 of the
// groundwater boundary map) hold their heads. Heads without an aquifer,
// code-8 cells without interpolation points and interpolation points
// without code-8 cells are refused.
bool hold_xy_heads(model_state& ms) {
  xy_input& xy = ms.output.xy_in;
  groundwater_state& g = ms.groundwater;
  const int n = ms.grid.ncells;
  if (xy.num_gwpts + xy.num_gw_interp_pts > 0 && !(g.gw_simulation && g.gwbound.size() == n)) {
    std::printf("Error: the %s card gives groundwater heads, but this run does not simulate groundwater "
                "(GW_SIMULATION).\n",
                xy.num_gwpts > 0 ? "XYBDYINPUT_GWHEAD" : "XYBDYINPUT_GWHEADINTERP");
    return false;
  }
  if (!g.gw_simulation || g.gwbound.size() != n) return true;
  const int entries = xy_gw_boundary_cells(xy, g.gwbound.data(), n, ms.grid.cell_x.data(), ms.grid.cell_y.data());
  if (entries > 0 && xy.num_gw_interp_pts == 0) {
    std::printf("Error: %d cells of the groundwater boundary map have code 8 (heads interpolated from XY points), "
                "but no XYBDYINPUT_GWHEADINTERP card gives the points.\n",
                entries);
    return false;
  }
  if (entries == 0 && xy.num_gw_interp_pts > 0) {
    std::printf("Error: the XYBDYINPUT_GWHEADINTERP card gives interpolation points, but no cell of the groundwater "
                "boundary map has code 8 to take their heads.\n");
    return false;
  }
  for (int p = 1; p <= xy.num_gwpts; ++p) g.gwbound[xy.gwpts[p].cell] = aquifer_cell::xy_head;
  return true;
}

}  // namespace

void take_xy_records(model_state& ms) {
  project_options& po = ms.project.project_options;
  output_state& out = ms.output;
  out.xy_in = std::move(po.xy_input);
  const xy_output& from = po.xy_output;
  xy_output& to = out.xy_out;
  to.mode = from.mode;
  to.file_name = from.file_name;
  to.ov_file_name = from.ov_file_name;
  to.gw_file_name = from.gw_file_name;
  to.stream_file_name = from.stream_file_name;
  const xy_input& xy = out.xy_in;
  out.xy_input_in_use = xy.num_ovpts + xy.num_gwpts + xy.num_stpts + xy.num_gw_interp_pts > 0 ? 1 : 0;
}

void init_xy_boundary_inputs(model_state& ms) {
  xy_input& xy = ms.output.xy_in;
  const int n = ms.grid.ncells;
  if (!cells_in_grid(xy, xy.ovpts, xy.num_ovpts, n) || !cells_in_grid(xy, xy.gwpts, xy.num_gwpts, n)) return;

  if (ms.overland.xy_ov_boundary && xy.num_ovpts > 0) {
    overland_state& ov = ms.overland;
    if (ov.boundary_type.size() != n) alloc_1d_int(ov.boundary_type, n, "boundary_type");
    for (int p = 1; p <= xy.num_ovpts; ++p) ov.boundary_type[xy.ovpts[p].cell] = boundary::xy_level;
    xy_gw_face_cells(xy, ov.boundary_type.data(), n, ms.grid.cell_x.data(), ms.grid.cell_y.data());
  }
  if (!hold_xy_heads(ms)) return stop_with_own_message();
  // The stream points' hydrographs enter the channels at their nodes.
  if (xy.num_stpts > 0) {
    channel_state& ch = ms.channel;
    if (!place_stream_points(xy, ch)) return;
    if (!stream_points_take_inflow(xy, ch)) return stop_with_own_message();
    ch.chan_xy_flow.alloc(ch.link_node_size);
    ch.xy_stream_inflow_on = 1;
  }
}

void xy_stream_inflow_step(model_state& ms) {
  channel_state& ch = ms.channel;
  if (!ch.xy_stream_inflow_on) return;
  xy_input& xy = ms.output.xy_in;
  update_xy_stream_inflows(xy, ms.clock.model_time);
  const int rows = ch.max_nodes_per_link;
  for (int p = 1; p <= xy.num_stpts; ++p) ch.chan_xy_flow[rows * xy.stpts[p].link + xy.stpts[p].node] = 0.0;
  for (int p = 1; p <= xy.num_stpts; ++p)
    ch.chan_xy_flow[rows * xy.stpts[p].link + xy.stpts[p].node] += xy.stpts[p].inflow;
}

void xy_overland_boundary_step(model_state& ms) {
  if (!is_due(ms, ms.clock.ov_next_time)) return;
  xy_input& xy = ms.output.xy_in;
  if (!ms.overland.xy_ov_boundary || (xy.num_ovpts == 0 && xy.num_ov_interp_cells == 0)) return;
  const xy_books b = xy_overland_update(xy, ms.overland.ov_depth.data(), ms.grid.grid_size,
                                        blocked_cells(ms.overland), ms.clock.model_time);
  ms.ledger.book(b, xy_overland_terms);
}

void xy_groundwater_boundary_step(model_state& ms) {
  if (!groundwater_due(ms)) return;
  xy_input& xy = ms.output.xy_in;
  if (xy.num_gwpts == 0 && xy.num_gw_interp_cells == 0) return;
  groundwater_state& g = ms.groundwater;
  const xy_books b =
      apply_xy_boundary(xy, g.elevgw.data(), g.gw_porosity.data(), ms.grid.grid_size, ms.clock.model_time);
  ms.ledger.book(b, xy_groundwater_terms);
}

void init_xy_point_output(model_state& ms) {
  if (!xy_output_cards_agree(ms)) return stop_with_own_message();
  if (!ms.output.xybdyoutput_on) return;
  xy_output& out = ms.output.xy_out;
  const grid_state& g = ms.grid;
  out.grid = xy_grid{g.north, g.west, g.grid_size, g.rows, g.cols, &g.mask};
  out.ov_values = ms.overland.ov_depth.data();
  out.gw_values = ms.groundwater.gw_simulation && !ms.groundwater.elevgw.empty() ? ms.groundwater.elevgw.data() : nullptr;
  const bool read = out.mode == 1 ? read_xy_output_mask(out, out.file_name.view(), ms.project.optimizer_mode)
                                  : read_xy_point_list(out, out.file_name.view());
  if (!read) return;
  for (xy_out_point& p : out.points) {
    find_nearest_cells(out.grid, p);
    xy_output_weights(p);
  }
  if (!out.gw_file_name.empty()) {
    if (!out.gw_values) {
      std::printf("Error: the XYBDYOUTPUT_GWHEAD card asks for groundwater heads, but this run does not simulate "
                  "groundwater (GW_SIMULATION).\n");
      return stop_with_own_message();
    }
    if (!open_output(out.gw_file, out.gw_file_name, "Groundwater")) return;
    out.gw_on = 1;
  }
  if (!out.ov_file_name.empty()) {
    if (!open_output(out.ov_file, out.ov_file_name, "Overland Flow")) return;
    out.ov_on = 1;
  }
  if (!out.stream_file_name.empty()) {
    const channel_state& ch = ms.channel;
    if (ch.num_stream_links < 1) {
      std::printf("Error: the XYBDYOUTPUT_STFLOW card asks for stream discharges, but this run has no channel "
                  "network (CHANNEL_INPUT).\n");
      return stop_with_own_message();
    }
    if (out.mode == 1) {
      mask_boundary_segments(out);
      find_xy_stream_points(out, ch.num_stream_links, ch.nx1, ch.lnx, ch.lny);
    }
    std::printf("NIVRA identified %d stream link/nodes as crossing the inset mask boundary.\n",
                static_cast<int>(out.stream_points.size()));
    for (const xy_out_point& p : out.stream_points) std::printf("%d,%d\t", p.link, p.node);
    std::printf("\n");
    if (!open_guarded_file(out.stream_file, out.stream_file_name.view(), "w")) {
      std::printf("Error: unable to open the stream boundary XY hydrograph ouput file\n");
      std::printf("       The file %s cannot be written.\n", out.stream_file_name.c_str());
      return stop_with_own_message();
    }
    out.flow_table = &ch.qp;
    out.stream_on = 1;
  }
  write_xy_headers(out);
}

}  // namespace nivra
