// The two weir formulas of the structure elements.
#include <cmath>

#include "channel/structures.h"

namespace nivra {

double weir_flow_a(const structure_element& e, double h1, double h2) {
  const double zc = e.upinvert;
  if (h1 < zc && h2 < zc) return 0.0;
  const bool forward = h1 > h2;
  const double high = forward ? h1 : h2, low = forward ? h2 : h1;
  const double c = forward ? e.disch_coeff_forward : e.disch_coeff_reverse;
  const double lc = e.length;
  const double head = high - zc;  // H
  const double tail = low - zc;   // h
  double q = 0.0;
  if (tail >= (2.0 / 3.0) * head) {
    // Submerged: the drop drives the flow through the tailwater's depth;
    // below 1 cm of drop the square root is taken about 1 cm so that the
    // two meet at dh = 0.01.
    const double dh = high - low;
    q = dh < 0.01 ? std::sqrt(1962.0) * c * lc * tail * dh : std::sqrt(dh * 19.62) * c * lc * tail;
  } else {
    q = std::sqrt(head * head * head * 19.62 / 3.0) * (2.0 / 3.0) * c * lc;
  }
  return forward ? q : -q;
}

double weir_flow_b(const structure_element& e, double h1, double h2) {
  const double lc = e.length;
  const double zc = e.upinvert;
  const double s1 = e.width, s2 = e.height;
  const double k = (s2 - s1) / (2.0 * lc);
  const double m = -lc * s1 / (s2 - s1);
  const double z0 = zc - k * m * m - m * s1;
  if (h1 <= zc && h2 <= zc) return 0.0;
  const bool forward = h1 > h2;
  const double h = forward ? h1 : h2;
  const double c = forward ? e.disch_coeff_forward : e.disch_coeff_reverse;
  const double q = std::sqrt(19.62) * c / k *
                   (std::sqrt((h - z0) * 4.0 * k + s1 * s1) * std::sqrt(h - zc) * 2.0 *
                    (s1 * s1 - (z0 + zc - 2.0 * h) * 4.0 * k) / k * 0.03125);
  return forward ? q : -q;
}

}  // namespace nivra
