// A rectangular aquifer for the head solver: rows x cols square cells with
// their neighbours, a flat bottom, uniform conductivity and storage, every
// cell solved until a test holds some heads.
#pragma once

#include <vector>

#include "groundwater/aquifer.h"

namespace nivra::testing {

struct test_aquifer {
  int rows = 1, cols = 1, n = 0;
  double dx = 10.0;
  std::vector<int> above, below, left, right, bound;
  std::vector<double> bottom, k, sy, len, head, well, recharge, stream;
  aquifer_solver solver;

  test_aquifer(int r, int c, double cell, double bottom_elev, double start_head, double conductivity,
               double storage)
      : rows(r), cols(c), n(r * c), dx(cell) {
    const std::size_t m = static_cast<std::size_t>(n) + 1;
    for (auto* a : {&above, &below, &left, &right, &bound}) a->assign(m, 0);
    bottom.assign(m, bottom_elev);
    k.assign(m, conductivity);
    sy.assign(m, storage);
    len.assign(m, cell);
    head.assign(m, start_head);
    for (auto* a : {&well, &recharge, &stream}) a->assign(m, 0.0);
    for (int i = 1; i <= rows; ++i)
      for (int j = 1; j <= cols; ++j) {
        const std::size_t c0 = static_cast<std::size_t>(at(i, j));
        above[c0] = i > 1 ? at(i - 1, j) : 0;
        below[c0] = i < rows ? at(i + 1, j) : 0;
        left[c0] = j > 1 ? at(i, j - 1) : 0;
        right[c0] = j < cols ? at(i, j + 1) : 0;
        bound[c0] = 1;
      }
    solver.prepare(n, left.data(), right.data(), above.data(), below.data());
  }
  int at(int r, int c) const { return (r - 1) * cols + c; }
  double& h(int r, int c) { return head[static_cast<std::size_t>(at(r, c))]; }

  aquifer_domain domain() {
    aquifer_domain d;
    d.ncells = n;
    d.above = above.data();
    d.below = below.data();
    d.left = left.data();
    d.right = right.data();
    d.gwbound = bound.data();
    d.bottom = bottom.data();
    d.kx = d.ky = k.data();
    d.storage = sy.data();
    d.cell_dx = d.cell_dy = len.data();
    d.head = head.data();
    d.well_flux = well.data();
    d.recharge = recharge.data();
    d.stream_volume = stream.data();
    return d;
  }
  // Water stored above the bottom, m3.
  double storage() const {
    double v = 0.0;
    for (int c = 1; c <= n; ++c) {
      const std::size_t u = static_cast<std::size_t>(c);
      v += (head[u] - bottom[u]) * sy[u] * dx * dx;
    }
    return v;
  }
};

}  // namespace nivra::testing
