// A small watershed for the output writers: a 2 x 3 grid whose centre cell
// of row 2 lies outside the watershed (cells 1 2 3 / 4 . 5), a channel
// network of a stream link (2 nodes), a lake link and a stream link (3
// nodes, the outlet), one lake, and two output locations of each kind.
#pragma once

#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/output_state.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {

inline void set_cells(array1d<double>& a, std::initializer_list<double> v) {
  a.alloc(static_cast<int>(v.size()));
  int i = 1;
  for (double x : v) a[i++] = x;
}
inline void set_ints(array1d<int>& a, std::initializer_list<int> v) {
  a.alloc(static_cast<int>(v.size()));
  int i = 1;
  for (int x : v) a[i++] = x;
}

inline std::unique_ptr<model_state> make_fixture() {
  auto ms = std::make_unique<model_state>();
  model_state& m = *ms;
  m.grid.rows = m.grid.nrows = 2;
  m.grid.cols = m.grid.ncols = 3;
  m.grid.north = 200.0;
  m.grid.south = 0.0;
  m.grid.east = 300.0;
  m.grid.west = 0.0;
  m.grid.grid_size = 100.0;
  m.grid.mask.alloc(3, 4);  // spare row and column of zeros
  m.grid.mask(1, 1) = 1;
  m.grid.mask(1, 2) = 2;
  m.grid.mask(1, 3) = 3;
  m.grid.mask(2, 1) = 4;
  m.grid.mask(2, 3) = 5;
  m.grid.ncells = 5;
  set_cells(m.grid.elevation, {10.0, 11.0, 12.0, 13.0, 14.0});
  set_cells(m.overland.ov_depth, {0.01, 0.02, 0.03, 0.04, 0.05});
  set_cells(m.overland.ov_qx, {0.0, 3.0, 0.0, 0.0, 0.6});
  set_cells(m.overland.ov_qy, {0.0, 4.0, 0.0, 0.0, 0.8});

  m.clock.dt = 60.0;
  m.clock.tot_time = 120;
  m.clock.hyd_write_steps = 1;
  m.clock.map_write_steps = 1;
  m.clock.cur_year = 2001;
  m.clock.cur_month = 3;
  m.clock.cur_day = 4;
  m.clock.cur_hour = 5;
  m.clock.cur_minute = 6;

  // Links: 1 stream (2 nodes), 2 lake (lake 1), 3 stream (3 nodes, outlet).
  m.channel.chan_explic = 1;
  m.channel.num_stream_links = 3;
  m.channel.max_nodes_per_link = 3;
  set_ints(m.channel.nx, {2, 0, 3});
  set_ints(m.channel.nx1, {2, 0, 3});
  set_ints(m.channel.og_nx1, {2, 0, 3});
  set_ints(m.channel.ltype, {4, 32, 4});
  set_ints(m.lake.lake2link, {0, 1, 0});
  set_cells(m.channel.link_dx, {50.0, 0.0, 40.0});
  auto table = [](node_array<double>& t, double a1, double a2, double c1, double c2, double c3) {
    t.alloc(3, 3);
    t(1, 1) = a1;
    t(2, 1) = a2;
    t(1, 3) = c1;
    t(2, 3) = c2;
    t(3, 3) = c3;
  };
  table(m.channel.qp, 1.5, 2.25, 3.0, 3.5, 4.125);
  table(m.channel.bel, 100.0, 99.5, 98.0, 97.5, 97.0);
  table(m.channel.yp, 100.4, 99.9, 98.6, 98.2, 97.75);
  table(m.channel.area, 2.0, 1e-8, 1.5, 1.75, 2.5);
  table(m.channel.chan_depth, 0.4, 0.4, 0.6, 0.7, 0.75);
  m.lake.chan_lakes = 1;
  m.lake.num_lakes = 1;
  set_cells(m.lake.lake_elev, {101.5});
  set_cells(m.lake.lake_volume, {2500.0});

  // Two output locations.
  m.output.num_hyd_locations = 2;
  set_ints(m.output.hlink, {1, 3});
  set_ints(m.output.hnode, {2, 3});
  m.output.num_cell_locations = 2;
  set_ints(m.output.gnumlocater, {2, 5});
  return ms;
}

inline void open_for_test(guarded_file& f, const std::string& name, const char* mode = "w") {
  ASSERT_TRUE(open_guarded_file(f, name, mode)) << name;
}

// Closes the file and returns what was written to it.
inline std::string written(guarded_file& f) {
  std::string name = f.name.str();
  close_guarded_file(f);
  return read_file(name);
}

}  // namespace nivra::testing
