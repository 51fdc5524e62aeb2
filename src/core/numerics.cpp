#include "core/numerics.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace nivra {

numeric_status ludcmp(array2d<double>& a, int n, array1d<int>& indx, double& d) {
  array1d<double> scale;
  scale.alloc(n);
  return ludcmp(a, n, indx, d, scale);
}

numeric_status ludcmp(array2d<double>& a, int n, array1d<int>& indx, double& d, array1d<double>& scale) {
  constexpr double tiny = 1.0e-20;
  // Implicit pivoting: every row is weighed by its largest magnitude.
  for (int i = 1; i <= n; ++i) {
    double largest = 0.0;
    for (int j = 1; j <= n; ++j) largest = std::max(largest, std::fabs(a[i][j]));
    if (largest == 0.0) return numeric_status::singular;
    scale[i] = 1.0 / largest;
  }
  d = 1.0;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i < j; ++i) {  // the upper factor above the diagonal
      double sum = a[i][j];
      for (int k = 1; k < i; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    double best = 0.0;
    int pivot = j;
    for (int i = j; i <= n; ++i) {  // diagonal and below, before division
      double sum = a[i][j];
      for (int k = 1; k < j; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      const double weight = scale[i] * std::fabs(sum);
      if (weight >= best) {
        best = weight;
        pivot = i;
      }
    }
    if (pivot != j) {
      for (int k = 1; k <= n; ++k) std::swap(a[pivot][k], a[j][k]);
      d = -d;
      scale[pivot] = scale[j];
    }
    indx[j] = pivot;
    if (a[j][j] == 0.0) a[j][j] = tiny;
    if (j != n) {
      const double inv = 1.0 / a[j][j];
      for (int i = j + 1; i <= n; ++i) a[i][j] *= inv;
    }
  }
  return numeric_status::ok;
}

void lubksb(const array2d<double>& a, int n, const array1d<int>& indx, array1d<double>& b) {
  int first = 0;  // first row whose right side is not zero
  for (int i = 1; i <= n; ++i) {
    const int ip = indx[i];
    double sum = b[ip];
    b[ip] = b[i];
    if (first) {
      for (int j = first; j < i; ++j) sum -= a[i][j] * b[j];
    } else if (sum != 0.0) {
      first = i;
    }
    b[i] = sum;
  }
  for (int i = n; i >= 1; --i) {
    double sum = b[i];
    for (int j = i + 1; j <= n; ++j) sum -= a[i][j] * b[j];
    b[i] = sum / a[i][i];
  }
}

}  // namespace nivra
