// The pieces of the small planes the sediment runs are written on: the
// maps of a grid of 10 m cells and the three sediment classes.
#pragma once

#include <sstream>
#include <string>

#include "support/test_support.h"

namespace nivra::testing {

// The header of a map of r x c cells of 10 m, the south-west corner at
// (2000, 1000).
inline std::string plane_header(int r, int c) {
  std::ostringstream s;
  s << "north: " << 1000.0 + 10.0 * r << "\nsouth: 1000.0\neast: " << 2000.0 + 10.0 * c
    << "\nwest: 2000.0\nrows: " << r << "\ncols: " << c << "\n";
  return s.str();
}

// A map of rows x cols cells of 10 m holding value(row, column).
template <class Value>
std::string plane_map(int rows, int cols, Value value) {
  std::ostringstream m;
  m << plane_header(rows, cols);
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= cols; ++j) m << value(i, j) << " ";
    m << "\n";
  }
  return m.str();
}

// A plane whose every cell is in the watershed and of soil 1, the ground
// at ground(row, column): `name`.msk, `name`.ele and soil.idx.
template <class Ground>
void write_plane_maps(const std::string& name, int rows, int cols, Ground ground) {
  auto one = [](int, int) { return 1; };
  write_file(name + ".msk", plane_map(rows, cols, one));
  write_file(name + ".ele", plane_map(rows, cols, ground));
  write_file("soil.idx", plane_map(rows, cols, one));
}

// The sediment classes of the plane runs: clay, silt and sand.
inline std::string three_sediment_classes() {
  return "SEDIMENTS\nNUM_SED 3\nCLASS  SG  D  FB  FILE\n" + sediment_row("Clay", "2.65 0.002 0.0 clay.out") +
         sediment_row("Silt", "2.65 0.03 0.0 silt.out") + sediment_row("Sand", "2.65 0.3 0.0 sand.out");
}

}  // namespace nivra::testing
