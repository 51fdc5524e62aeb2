// The check both overland schemes make of the depths they are handed.
#include "surface/overland_common.h"

#include <cmath>
#include <cstdio>

namespace nivra {

overland_status check_entry_depths(double* h, int n) {
  std::uint64_t bits = 0;
  for (int i = 1; i <= n; ++i) bits |= doubt_bits(h[i]);
  if (!doubtful(bits)) return overland_status::ok;
  for (int i = 1; i <= n; ++i) {
    if (std::isnan(h[i])) {
      std::printf("Overland depth is NaN at beginning of overland routing time step in cell %ld \n",
                  static_cast<long>(i));
      std::printf("Program stopped.\n");
      return overland_status::depth_not_a_number;
    }
    if (h[i] < 0.0) {
      std::printf("Negative depth encountered at the beginning of the overland routing time step in cell %ld \n",
                  static_cast<long>(i));
      if (h[i] < -1e-05) {
        std::printf("Program stopped.\n");
        return overland_status::negative_depth;
      }
      h[i] = 0.0;
    }
  }
  return overland_status::ok;
}

}  // namespace nivra
