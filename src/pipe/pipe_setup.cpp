// The map phase's set-up of the pipe network: its files, its cells, its
// outfalls into the channels, its output locations and its state at rest.
#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "pipe/pipe_setup.h"
#include "pipe/pipe_state.h"
#include "pipe/superlink_input.h"
#include "pipe/superlink_solver.h"

namespace nivra {

namespace {

bool read_grid_pipes(model_state& ms) {
  pipe_state& p = ms.pipe;
  const std::string name = ms.project.grid_pipe.str();
  if (name.empty()) {
    if (!p.gw_to_tile) return true;
    std::printf("\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe input file in your "
                "project file");
    set_error(4, "tile drain grid pipe");
    report_error();
    return false;
  }
  guarded_file f;
  if (!open_input_file(f, name)) {
    std::printf("\n No grid pipe file found");
    set_error(4, "tile drain grid pipe", name);
    report_error();
    return false;
  }
  if (!read_grid_pipe_file(p, f, name, ms.grid)) {
    stop_with_own_message();
    return false;
  }
  input_report(ms, console_rule::unless_quiet, "Finished reading gridpipe file.\n");
  return true;
}

bool read_locations(model_state& ms) {
  pipe_state& p = ms.pipe;
  if (p.superlink_junc_location_given &&
      !read_superjunction_locations(ms.output, p.superjunction_location_file, ms.project.superlink_junc_location.str(), p))
    return false;
  if (p.superlink_node_location_given &&
      !read_superlink_node_locations(ms.output, p.superlink_node_location_file,
                                     ms.project.superlink_node_location.str(), p))
    return false;
  return true;
}

}  // namespace

void read_superlink_pipes(model_state& ms) {
  pipe_state& p = ms.pipe;
  if (!p.storm_sewer_given) return;
  const std::string name = ms.project.storm_sewer.str();
  guarded_file f;
  if (!open_input_file(f, name)) {
    set_error(4, "superlink input file", name);
    report_error();
    return;
  }
  const channel_state* channels = ms.channel.chan_explic ? &ms.channel : nullptr;
  if (!read_superlink_file(p, f, name, ms.grid, channels, ms.project.quiet != 0)) {
    stop_with_own_message();
    return;
  }
  close_guarded_file(f);
  if (!read_grid_pipes(ms)) return;
  if (p.gw_to_tile && !ms.groundwater.gw_simulation)
    input_report(ms, console_rule::unless_silent,
                 "Warning: pipes of the superlink file leak (a conductivity above 0), but the project simulates no "
                 "water table: the tile drains take no groundwater.\n");
  input_report(ms, console_rule::unless_quiet, "read superlink pipe file, %d junctions, %d links\n", p.num_sjunc,
               p.num_slink);
  if (p.num_sjunc > 10000)
    input_report(ms, console_rule::unless_silent,
                 "Your superlink network has more than 10,000 superjunctions, expect your model to be very slow \n");
  if (p.max_slink_nodes > 10000)
    input_report(ms, console_rule::unless_silent,
                 "Your superlink network has more than 10,000 nodes, expect your model to be very slow \n");
  if (p.num_slink > 10000)
    input_report(ms, console_rule::unless_silent,
                 "Your superlink network has more than 10,000 links, expect your model to be very slow \n");
  if (!read_locations(ms)) {
    stop_with_own_message();
    return;
  }
  if (!init_superlink_state(p)) {
    stop_with_own_message();
    return;
  }
  p.sl_prestep_depth.alloc(ms.grid.ncells + 1);
  p.sl_sed_water.alloc(ms.grid.ncells + 1);
  if (!open_guarded_file(p.superlink_flows_file, "superlink_flows.out", "w")) {
    std::printf("Can't open file superlink_flows.out'\n");
    stop_with_own_message();
    return;
  }
  std::fprintf(p.superlink_flows_file.fp, "Call# VtoSL VtoNIVRA   QtoSL    QtoNIVRA \n");
}

void init_superlink_channel_links(model_state& ms) {
  pipe_state& p = ms.pipe;
  if (!p.storm_sewer_given) return;
  bool outfalls = false;
  for (int j = 1; j <= p.num_sjunc; ++j) outfalls = outfalls || p.sjunc_inlet[j] == pipe_inlet::to_channel;
  if (!outfalls) return;
  // The reader placed every outfall on a routed channel node.
  p.chan_sl_vol.alloc(ms.channel.link_node_size);
  ms.channel.chan_pipe_flow.alloc(ms.channel.link_node_size);
  // Until the channels report their water, every outfall stands on a dry bed.
  p.sl_tailwater.alloc(p.num_sjunc);
  p.sl_tail_volume.alloc(p.num_sjunc);
  for (int j = 1; j <= p.num_sjunc; ++j) p.sl_tailwater[j] = p.junc_invert_elev[j];
}

}  // namespace nivra
