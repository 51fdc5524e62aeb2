// Stream fluxes for the outside model ZV: the segment map and the
// link/node-to-segment file, the flows summed every step and their averages
// written at every output step.
#include "output/zv_coupling.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/tokens.h"
#include "inputs/grid_map.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/line_faults.h"
#include "output/output_state.h"
#include "run/clock_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr const char* nodes_file = "ZV link/node-to-segment file";

bool stop_run() { return stop_on_own_message(); }

bool refuse_line(std::string_view file, int line, const std::string& what) {
  return refuse_file_line(nodes_file, file, line, what);
}

// The link/node-to-segment file: its count, then link, node and segment per
// line, every one checked.
bool read_nodes_to_segments(zv_data& zv, std::string_view name, const zv_network& net) {
  guarded_file f;
  if (!open_input_file(f, name)) {
    std::printf("Error: unable to open the ZV link/node-to-segment file %.*s.\n", static_cast<int>(name.size()),
                name.data());
    return stop_run();
  }
  int n = 0;
  if (!read_count_line(f, nodes_file, name, 1, "entries", n)) return false;
  card_line line;
  std::string token;
  zv.n_links = n;
  if (n < 1) return refuse_lines_beyond_count(f, nodes_file, name, 1);
  alloc_1d_int(zv.link, n, "zv_data->link");
  alloc_1d_int(zv.node, n, "zv_data->node");
  alloc_1d_int(zv.segment, n, "zv_data->segment");
  for (int k = 1; k <= n; ++k) {
    const int line_no = k + 1;
    int v[3] = {0, 0, 0};
    if (!read_line(line, f)) return refuse_line(name, line_no, "is missing: the file holds fewer entries than its count");
    for (int& x : v)
      if (!next_token(line, token) || !whole_token_int(token, x))
        return refuse_line(name, line_no, "does not hold a link, a node and a segment (whole numbers)");
    const int link = v[0], node = v[1], seg = v[2];
    if (link < 1 || link > net.link_count)
      return refuse_line(name, line_no,
                         "names link " + std::to_string(link) + "; the channel network has links 1 to " +
                             std::to_string(net.link_count));
    const int nodes = net.node_counts && link <= net.node_counts->size() ? (*net.node_counts)[link] : 0;
    if (node < 1 || node > nodes)
      return refuse_line(name, line_no,
                         "names node " + std::to_string(node) + " of link " + std::to_string(link) +
                             "; the link has nodes 1 to " + std::to_string(nodes));
    if (seg < 1 || seg > zv.n_seg || !zv.active_array[seg]) {
      set_error(97);
      report_error();
      return refuse_line(name, line_no, "names segment " + std::to_string(seg) + ", which no cell of the segment map carries");
    }
    zv.link[k] = link;
    zv.node[k] = node;
    zv.segment[k] = seg;
  }
  return refuse_lines_beyond_count(f, nodes_file, name, n + 1);
}

}  // namespace

bool zv_read_segment_map(zv_data& zv, const zv_files& files, model_state& ms, const zv_network& net) {
  const int n = ms.grid.ncells;
  zv.first_line = 1;
  zv.n_seg = 0;
  guarded_file map;
  if (files.segment_map.empty() || !open_input_file(map, files.segment_map)) {
    std::printf("Error: unable to open the ZV segment map [%.*s].\n", static_cast<int>(files.segment_map.size()),
                files.segment_map.data());
    return stop_run();
  }
  alloc_1d_int(zv.seg_map, n, "zv_data->seg_map");
  read_index_cell_map(ms.grid, map, files.segment_map, zv.seg_map, 1);
  if (process.error_block.stop) return false;
  for (int c = 1; c <= n; ++c)
    if (zv.seg_map[c] > zv.n_seg) zv.n_seg = zv.seg_map[c];
  if (zv.n_seg >= 1) {
    alloc_1d_double(zv.flux, zv.n_seg, "zv_data->flux");
    alloc_1d_int(zv.active_array, zv.n_seg, "zv_data->active_array");
    for (int c = 1; c <= n; ++c)
      if (zv.seg_map[c] > 0) zv.active_array[zv.seg_map[c]] = 1;
  } else {
    set_error(95);
    report_error();
  }
  zv.steps = 0;
  if (!files.nodes_to_segs.empty() && !read_nodes_to_segments(zv, files.nodes_to_segs, net)) return false;

  if (!open_guarded_file(zv.flux_file, files.flux_out, "w")) {
    set_error(98, "", files.flux_out);
    report_error();
    return false;
  }
  std::fprintf(zv.flux_file.fp, "   jday   ");
  for (int s = 1; s <= zv.n_seg; ++s)
    if (zv.active_array[s]) std::fprintf(zv.flux_file.fp, "%-8d  ", s);
  std::fprintf(zv.flux_file.fp, "\n");
  return true;
}

void zv_accumulate(zv_data& zv, const double* qx, const double* qy, int ncells, const int* rightcon,
                   const int* belowcon, bool channels, const column_array2d<double>* qp) {
  if (zv.n_seg == 0) return;
  zv.steps += 1;
  const int* seg = zv.seg_map.data();
  double* flux = zv.flux.data();
  for (int i = 1; qx && qy && i <= ncells; ++i) {
    const int si = seg[i];
    const int r = rightcon[i];
    if (r && (si == 0) != (seg[r] == 0)) flux[si ? si : seg[r]] += std::fabs(qx[i]);
    const int b = belowcon[i];
    if (b && (si == 0) != (seg[b] == 0)) flux[si ? si : seg[b]] += std::fabs(qy[i]);
  }
  if (!channels || !qp || qp->empty()) return;
  for (int k = 1; k <= zv.n_links; ++k) {
    const int node = zv.node[k], link = zv.link[k];
    if (node <= qp->rows() && link <= qp->cols()) flux[zv.segment[k]] += std::fabs((*qp)(node, link));
  }
}

void zv_write_fluxes(zv_data& zv, double day) {
  if (zv.steps == 0 || !zv.flux_file.is_open()) return;
  if (zv.first_line) {
    zv.first_day = day;
    zv.first_line = 0;
  }
  std::FILE* fp = zv.flux_file.fp;
  std::fprintf(fp, "%-8.3lf  ", day - zv.first_day + 1.0);
  for (int s = 1; s <= zv.n_seg; ++s) {
    if (!zv.active_array[s]) continue;
    zv.flux[s] /= zv.steps;
    std::fprintf(fp, "%-8.2lf  ", zv.flux[s]);
    zv.flux[s] = 0.0;
  }
  std::fprintf(fp, "\n");
  zv.steps = 0;
}

void init_zv_coupling(model_state& ms) {
  if (!ms.output.zv_fluxes) return;
  const zv_files files{ms.project.zv_segment_map.view(), ms.project.zv_nodes_to_segs.view(),
                       ms.project.zv_segment_fluxes.view()};
  const zv_network net{ms.channel.num_stream_links, &ms.channel.nx};
  zv_read_segment_map(ms.output.zv, files, ms, net);
}

void zv_output_step(model_state& ms, bool output_step) {
  zv_data& zv = ms.output.zv;
  if (!ms.output.zv_fluxes || zv.n_seg == 0) return;
  // The face discharges exist once the overland flow has been routed.
  const int n = ms.grid.ncells;
  const bool faces = ms.overland.ov_qx.size() >= n && ms.overland.ov_qy.size() >= n;
  zv_accumulate(zv, faces ? ms.overland.ov_qx.data() : nullptr, faces ? ms.overland.ov_qy.data() : nullptr, n,
                ms.grid.rightcon.data(), ms.grid.belowcon.data(), ms.channel.chan_explic != 0, &ms.channel.qp);
  if (output_step)
    zv_write_fluxes(zv, ms.clock.day_of_year + ms.clock.cur_hour / 24.0 + ms.clock.cur_minute / 1440.0);
}

}  // namespace nivra
