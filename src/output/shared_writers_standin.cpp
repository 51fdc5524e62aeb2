// Minimal versions of the map and link/node writers, so that the run
// summary links and can be tested on its own. They are weak: the full
// writers of the output folder take their place when they are linked in.
#include <cmath>

#include "output/shared_writers.h"

namespace nivra {

namespace {

inline bool active(const array2d<int>& mask, int r, int c) {
  return r <= mask.rows() && c <= mask.cols() && mask(r, c) != 0;
}

}  // namespace

[[gnu::weak]] void write_grass_grid(std::FILE* file, const array2d<int>& mask, double north,
                                    double south, double east, double west, int rows, int cols,
                                    const double* values) {
  if (!file) return;
  std::fprintf(file, "north: %9.2lf\n", north);
  std::fprintf(file, "south: %9.2lf\n", south);
  std::fprintf(file, "east: %9.2lf\n", east);
  std::fprintf(file, "west: %9.2lf\n", west);
  std::fprintf(file, "rows: %5d\n", rows);
  std::fprintf(file, "cols: %5d\n", cols);
  int k = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      double v = 0.0;
      if (active(mask, r, c)) {
        ++k;
        if (values) v = values[k];
      }
      std::fprintf(file, "%lf ", v);
    }
    std::fprintf(file, "\n");
  }
}

[[gnu::weak]] void write_ascii_grid(std::FILE* file, const array2d<int>& mask, double north,
                                    double south, double east, double west, int rows, int cols,
                                    const double* values, double cell_size) {
  if (!file) return;
  std::fprintf(file, "ncols \t%d\n", cols);
  std::fprintf(file, "nrows \t%d\n", rows);
  std::fprintf(file, "xllcenter %9.2lf\n", std::fmin(east, west) + 0.5 * cell_size);
  std::fprintf(file, "yllcenter %9.2lf\n", std::fmin(north, south) + 0.5 * cell_size);
  std::fprintf(file, "cellsize %9.2lf\n", cell_size);
  std::fprintf(file, "NODATA_value -9999.99\n");
  int k = 0;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      if (active(mask, r, c)) {
        ++k;
        std::fprintf(file, "%6.4lf ", values ? values[k] : 0.0);
      } else {
        std::fprintf(file, "%6.4lf ", -9999.9999);
      }
    }
    std::fprintf(file, "\n");
  }
}

[[gnu::weak]] void write_linknode_step(std::FILE* file, int num_links, const int* node_counts,
                                       const int* out_node_counts, const int* link_types,
                                       int step, const array2d<double>& values,
                                       const array2d<double>* second_values, int mode,
                                       const int* lake_of_link, const double* lake_values) {
  if (!file) return;
  std::fprintf(file, "TS    %d\n", step);
  auto value = [&](int node, int link) {
    double v = values(node, link);
    if (mode == 0 || !second_values) return v;
    double s = (*second_values)(node, link);
    if (mode == 2 && out_node_counts) return s > 1e-7 ? v / s : 0.0;
    return v - s;
  };
  for (int link = 1; link <= num_links; ++link) {
    int t = link_types[link];
    if (t & 32) {
      if (mode != 0 && lake_of_link && lake_values)
        std::fprintf(file, "-1 %6.5lf   ", lake_values[lake_of_link[link]]);
      else
        std::fprintf(file, "0  -999.999   ");
    } else if (t & 64) {
      if (mode == 0)
        std::fprintf(file, "-2  %6.5lf   ", values(1, link));
      else
        std::fprintf(file, "0  -999.999   ");
    } else if (t & (4 | 8 | 16)) {
      int announced = out_node_counts ? out_node_counts[link] : node_counts[link];
      std::fprintf(file, "%d   ", announced);
      for (int j = 1; j <= announced; ++j) {
        if (j <= node_counts[link])
          std::fprintf(file, "1  %6.5lf   ", value(j, link));
        else
          std::fprintf(file, "0  -999.999   ");
      }
    }
    std::fprintf(file, "\n");
  }
  std::fprintf(file, "\n");
}

// The ZV discharge output is not held by this build's record.
[[gnu::weak]] void close_shared_output_file() {}

}  // namespace nivra
