// A small watershed for the output writers: a 2 x 3 grid whose centre cell
// of row 2 lies outside the watershed (cells 1 2 3 / 4 . 5), a channel
// network of a stream link (2 nodes), a lake link and a stream link (3
// nodes, the outlet), one lake, and two output locations of each kind.
#pragma once

#include <memory>
#include <string>

#include "core/guarded_file.h"
#include "model/model_state.h"
#include "support/test_support.h"

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
  m.rows = m.nrows = 2;
  m.cols = m.ncols = 3;
  m.north = 200.0;
  m.south = 0.0;
  m.east = 300.0;
  m.west = 0.0;
  m.grid_size = 100.0;
  m.mask.alloc(3, 4);  // spare row and column of zeros
  m.mask(1, 1) = 1;
  m.mask(1, 2) = 2;
  m.mask(1, 3) = 3;
  m.mask(2, 1) = 4;
  m.mask(2, 3) = 5;
  m.ncells = 5;
  set_cells(m.elevation, {10.0, 11.0, 12.0, 13.0, 14.0});
  set_cells(m.ov_depth, {0.01, 0.02, 0.03, 0.04, 0.05});
  set_cells(m.ov_qx, {0.0, 3.0, 0.0, 0.0, 0.6});
  set_cells(m.ov_qy, {0.0, 4.0, 0.0, 0.0, 0.8});

  m.dt = 60.0;
  m.tot_time = 120;
  m.hyd_write_steps = 1;
  m.map_write_steps = 1;
  m.cur_year = 2001;
  m.cur_month = 3;
  m.cur_day = 4;
  m.cur_hour = 5;
  m.cur_minute = 6;

  // Links: 1 stream (2 nodes), 2 lake (lake 1), 3 stream (3 nodes, outlet).
  m.chan_explic = 1;
  m.num_stream_links = 3;
  m.max_nodes_per_link = 3;
  set_ints(m.nx, {2, 0, 3});
  set_ints(m.nx1, {2, 0, 3});
  set_ints(m.og_nx1, {2, 0, 3});
  set_ints(m.ltype, {4, 32, 4});
  set_ints(m.lake2link, {0, 1, 0});
  set_cells(m.link_dx, {50.0, 0.0, 40.0});
  auto table = [](array2d<double>& t, double a1, double a2, double c1, double c2, double c3) {
    t.alloc(3, 3);
    t(1, 1) = a1;
    t(2, 1) = a2;
    t(1, 3) = c1;
    t(2, 3) = c2;
    t(3, 3) = c3;
  };
  table(m.qp, 1.5, 2.25, 3.0, 3.5, 4.125);
  table(m.bel, 100.0, 99.5, 98.0, 97.5, 97.0);
  table(m.yp, 100.4, 99.9, 98.6, 98.2, 97.75);
  table(m.area, 2.0, 1e-8, 1.5, 1.75, 2.5);
  table(m.chan_depth, 0.4, 0.4, 0.6, 0.7, 0.75);
  m.chan_lakes = 1;
  m.num_lakes = 1;
  set_cells(m.lake_elev, {101.5});
  set_cells(m.lake_volume, {2500.0});

  // Two output locations.
  m.num_hyd_locations = 2;
  set_ints(m.hlink, {1, 3});
  set_ints(m.hnode, {2, 3});
  m.num_cell_locations = 2;
  set_ints(m.gnumlocater, {2, 5});
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
