#include "output/grid_writers.h"

#include <algorithm>
#include <cstdio>

#include "output/text_format.h"

namespace nivra {

namespace {

// Mask entry of a grid position; positions beyond a smaller mask count as
// outside the watershed.
inline bool active(const array2d<int>& mask, int r, int c) {
  return r <= mask.rows() && c <= mask.cols() && mask(r, c) != 0;
}

}  // namespace

void write_ascii_grid(guarded_file& file, const array2d<int>& mask, double north, double south,
                      double east, double west, int rows, int cols, const double* values,
                      double cell_size) {
  std::FILE* fp = file.fp;
  if (!fp) return;
  std::fprintf(fp, "ncols \t%d\n", cols);
  std::fprintf(fp, "nrows \t%d\n", rows);
  std::fprintf(fp, "xllcenter %9.2lf\n", std::min(east, west) + cell_size / 2.0);
  std::fprintf(fp, "yllcenter %9.2lf\n", std::min(north, south) + cell_size / 2.0);
  std::fprintf(fp, "cellsize %9.2lf\n", cell_size);
  std::fprintf(fp, "NODATA_value %s\n", arc_grid_nodata);
  block_writer out(fp);
  int k = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      if (!mask.empty() && active(mask, r, c)) {
        ++k;
        out.fixed(values ? values[k] : 0.0, 4, ' ');
      } else {
        out.text(arc_grid_nodata);
        out.ch(' ');
      }
    }
    out.ch('\n');
  }
}

void write_grass_grid(guarded_file& file, const array2d<int>& mask, double north, double south,
                      double east, double west, int rows, int cols, const double* values, int decimals) {
  std::FILE* fp = file.fp;
  if (!fp) return;
  std::fprintf(fp, "north: %9.2lf\n", north);
  std::fprintf(fp, "south: %9.2lf\n", south);
  std::fprintf(fp, "east: %9.2lf\n", east);
  std::fprintf(fp, "west: %9.2lf\n", west);
  std::fprintf(fp, "rows: %5d\n", rows);
  std::fprintf(fp, "cols: %5d\n", cols);
  block_writer out(fp);
  int k = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      double v = 0.0;
      if (!mask.empty() && active(mask, r, c)) {
        ++k;
        v = values ? values[k] : 0.0;
      }
      out.fixed(v, decimals, ' ');
    }
    out.ch('\n');
  }
}

}  // namespace nivra
