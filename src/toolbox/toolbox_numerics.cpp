#include "toolbox/toolbox_numerics.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace nivra {

// ------------------------------------------------------------ Cholesky

numeric_status choldc(array2d<double>& a, int n, array1d<double>& p) {
  for (int i = 1; i <= n; ++i) {
    const double* ai = a[i].data();
    for (int j = i; j <= n; ++j) {
      const double* aj = a[j].data();
      double sum = ai[j];
      for (int k = 1; k < i; ++k) sum -= ai[k] * aj[k];
      if (i == j) {
        if (!(sum > 0.0)) return numeric_status::not_positive_definite;
        p[i] = std::sqrt(sum);
      } else {
        a[j][i] = sum / p[i];
      }
    }
  }
  return numeric_status::ok;
}

void cholesky_solve(const array2d<double>& a, int n, const array1d<double>& p,
                    const array1d<double>& b, array1d<double>& x) {
  for (int i = 1; i <= n; ++i) {  // L y = b
    const double* ai = a[i].data();
    double sum = b[i];
    for (int k = 1; k < i; ++k) sum -= ai[k] * x[k];
    x[i] = sum / p[i];
  }
  for (int i = n; i >= 1; --i) {  // L^T x = y
    double sum = x[i];
    for (int k = i + 1; k <= n; ++k) sum -= a[k][i] * x[k];
    x[i] = sum / p[i];
  }
}

void sort_eigen_desc(array1d<double>& d, array2d<double>& v, int n) {
  for (int i = 1; i < n; ++i) {
    int k = i;
    for (int j = i + 1; j <= n; ++j)
      if (d[j] >= d[k]) k = j;
    if (k == i) continue;
    std::swap(d[i], d[k]);
    for (int r = 1; r <= n; ++r) std::swap(v[r][i], v[r][k]);
  }
}

// ------------------------------------------------------------ products

numeric_status dmmult(const array2d<double>& a, int a_rows, int a_cols, const array2d<double>& b,
                      int b_rows, int b_cols, array2d<double>& c) {
  if (a_cols != b_rows) return numeric_status::dimension_mismatch;
  for (int i = 1; i <= a_rows; ++i) {
    double* ci = c[i].data();
    for (int j = 1; j <= b_cols; ++j) ci[j] = 0.0;
    const double* ai = a[i].data();
    for (int k = 1; k <= a_cols; ++k) {  // row by row: b is read along its rows
      const double aik = ai[k];
      const double* bk = b[k].data();
      for (int j = 1; j <= b_cols; ++j) ci[j] += aik * bk[j];
    }
  }
  return numeric_status::ok;
}

numeric_status dmvmult(const array2d<double>& a, int rows, int cols, const array1d<double>& x,
                       int x_len, array1d<double>& y) {
  if (cols != x_len) return numeric_status::dimension_mismatch;
  for (int i = 1; i <= rows; ++i) {
    const double* ai = a[i].data();
    double sum = 0.0;
    for (int k = 1; k <= cols; ++k) sum += ai[k] * x[k];
    y[i] = sum;
  }
  return numeric_status::ok;
}

void dmtrnsp(const array2d<double>& a, int rows, int cols, array2d<double>& t) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) t[j][i] = a[i][j];
}

void dmscal(const array2d<double>& a, int rows, int cols, double s, array2d<double>& b) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) b[i][j] = s * a[i][j];
}

void dmadd(const array2d<double>& a, int rows, int cols, const array2d<double>& b,
           array2d<double>& c) {
  for (int i = 1; i <= rows; ++i)
    for (int j = 1; j <= cols; ++j) c[i][j] = a[i][j] + b[i][j];
}

// ------------------------------------------------------------ LU

numeric_status dminv(array2d<double>& a, int n, array2d<double>& y) {
  array1d<int> indx(n);
  array1d<double> col(n);
  double d = 1.0;
  const numeric_status status = ludcmp(a, n, indx, d);
  if (status != numeric_status::ok) return status;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= n; ++i) col[i] = i == j ? 1.0 : 0.0;
    lubksb(a, n, indx, col);
    for (int i = 1; i <= n; ++i) y[i][j] = col[i];
  }
  return numeric_status::ok;
}

numeric_status solve3(array2d<double>& a, int n, const array2d<double>& rhs, array2d<double>& x) {
  array1d<int> indx(n);
  array1d<double> col(n);
  double d = 1.0;
  const numeric_status status = ludcmp(a, n, indx, d);
  if (status != numeric_status::ok) return status;
  for (int i = 1; i <= n; ++i) col[i] = rhs[i][1];
  lubksb(a, n, indx, col);
  for (int i = 1; i <= n; ++i) x[i][1] = col[i];
  return numeric_status::ok;
}

// ------------------------------------------------------------ eigen

namespace {

// The rotation of the pair (g, h) = (x, y) by the angle of sine s with
// tau = s / (1 + cos).
inline void rotate(double& x, double& y, double s, double tau) {
  const double g = x;
  const double h = y;
  x = g - s * (h + g * tau);
  y = h + s * (g - h * tau);
}

}  // namespace

numeric_status jacobi(array2d<double>& a, int n, array1d<double>& d, array2d<double>& v,
                      int& nrot) {
  std::vector<double> start(static_cast<std::size_t>(n) + 1);  // diagonal at the sweep's start
  std::vector<double> moved(static_cast<std::size_t>(n) + 1);  // what the sweep moved onto it
  for (int p = 1; p <= n; ++p) {
    for (int q = 1; q <= n; ++q) v[p][q] = p == q ? 1.0 : 0.0;
    start[p] = d[p] = a[p][p];
    moved[p] = 0.0;
  }
  nrot = 0;
  for (int sweep = 1; sweep <= 50; ++sweep) {
    double off = 0.0;
    for (int p = 1; p < n; ++p)
      for (int q = p + 1; q <= n; ++q) off += std::fabs(a[p][q]);
    if (off == 0.0) return numeric_status::ok;
    // Early sweeps rotate only the larger elements.
    const double threshold = sweep < 4 ? 0.2 * off / (static_cast<double>(n) * n) : 0.0;
    for (int p = 1; p < n; ++p) {
      for (int q = p + 1; q <= n; ++q) {
        const double g = 100.0 * std::fabs(a[p][q]);
        if (sweep > 4 && std::fabs(d[p]) + g == std::fabs(d[p]) &&
            std::fabs(d[q]) + g == std::fabs(d[q])) {
          a[p][q] = 0.0;  // below the precision of both diagonal elements
          continue;
        }
        if (std::fabs(a[p][q]) <= threshold) continue;
        double h = d[q] - d[p];
        double t;  // tangent of the rotation angle, the smaller root
        if (std::fabs(h) + g == std::fabs(h)) {
          t = a[p][q] / h;
        } else {
          const double theta = 0.5 * h / a[p][q];
          t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + theta * theta));
          if (theta < 0.0) t = -t;
        }
        const double c = 1.0 / std::sqrt(1.0 + t * t);
        const double s = t * c;
        const double tau = s / (1.0 + c);
        h = t * a[p][q];
        moved[p] -= h;
        moved[q] += h;
        d[p] -= h;
        d[q] += h;
        a[p][q] = 0.0;
        for (int j = 1; j < p; ++j) rotate(a[j][p], a[j][q], s, tau);
        for (int j = p + 1; j < q; ++j) rotate(a[p][j], a[j][q], s, tau);
        for (int j = q + 1; j <= n; ++j) rotate(a[p][j], a[q][j], s, tau);
        for (int j = 1; j <= n; ++j) rotate(v[j][p], v[j][q], s, tau);
        ++nrot;
      }
    }
    // The diagonal is rebuilt from the sweep's start and the sum moved, which
    // keeps rounding from piling up over the rotations.
    for (int p = 1; p <= n; ++p) {
      start[p] += moved[p];
      d[p] = start[p];
      moved[p] = 0.0;
    }
  }
  return numeric_status::no_convergence;
}

// ------------------------------------------------------------ others

void indexx(int n, const array1d<double>& arr, array1d<int>& indx) {
  constexpr int small = 7;  // shorter ranges are sorted by straight insertion
  for (int j = 1; j <= n; ++j) indx[j] = j;
  auto key = [&](int j) { return arr[indx[j]]; };
  std::vector<std::pair<int, int>> pending;
  int l = 1, r = n;
  for (;;) {
    if (r - l + 1 < small) {
      for (int j = l + 1; j <= r; ++j) {
        const int moving = indx[j];
        const double value = arr[moving];
        int i = j - 1;
        for (; i >= l && arr[indx[i]] > value; --i) indx[i + 1] = indx[i];
        indx[i + 1] = moving;
      }
      if (pending.empty()) return;
      std::tie(l, r) = pending.back();
      pending.pop_back();
      continue;
    }
    // Median of the first, middle and last as the pivot, placed at l + 1;
    // the first and last then bound both scans.
    std::swap(indx[(l + r) / 2], indx[l + 1]);
    if (key(l) > key(r)) std::swap(indx[l], indx[r]);
    if (key(l + 1) > key(r)) std::swap(indx[l + 1], indx[r]);
    if (key(l) > key(l + 1)) std::swap(indx[l], indx[l + 1]);
    const int pivot = indx[l + 1];
    const double value = arr[pivot];
    int i = l + 1, j = r;
    for (;;) {
      do ++i; while (key(i) < value);
      do --j; while (key(j) > value);
      if (j < i) break;
      std::swap(indx[i], indx[j]);
    }
    indx[l + 1] = indx[j];
    indx[j] = pivot;
    // Keep the longer part for later and go on with the shorter: the list of
    // pending ranges stays within log2(n) entries.
    if (r - i + 1 >= j - l) {
      pending.emplace_back(i, r);
      r = j - 1;
    } else {
      pending.emplace_back(l, j - 1);
      l = i;
    }
  }
}

std::int32_t minimal_standard_step(std::int32_t x) {
  // Schrage's method: 16807 x mod m without overflowing 32 bits.
  constexpr std::int32_t a = 16807, m = 2147483647, q = m / a, r = m % a;
  const std::int32_t k = x / q;
  std::int32_t next = a * (x - k * q) - r * k;
  if (next < 0) next += m;
  return next;
}

double ran1(ran1_state& s) {
  constexpr std::int32_t m = 2147483647;
  constexpr int table = 32;
  constexpr std::int32_t divisor = 1 + (m - 1) / table;
  constexpr double scale = 1.0 / m;
  constexpr double highest = 1.0 - 1.2e-7;
  if (s.idum <= 0 || s.iy == 0) {
    s.idum = s.idum < 0 ? -s.idum : 1;  // max(1, -idum)
    // Eight draws warm the generator up, the next 32 fill the table.
    for (int j = table + 7; j >= 0; --j) {
      s.idum = minimal_standard_step(s.idum);
      if (j < table) s.iv[static_cast<std::size_t>(j)] = s.idum;
    }
    s.iy = s.iv[0];
  }
  s.idum = minimal_standard_step(s.idum);
  const auto j = static_cast<std::size_t>(s.iy / divisor);
  s.iy = s.iv[j];
  s.iv[j] = s.idum;
  return std::min(scale * s.iy, highest);
}

double gammln(double x) {
  static constexpr double coefficient[6] = {76.18009172947146,     -86.50532032941677,
                                            24.01409824083091,     -1.231739572450155,
                                            0.1208650973866179e-2, -0.5395239384953e-5};
  double y = x;
  const double t = x + 5.5;
  const double lead = (x + 0.5) * std::log(t) - t;
  double series = 1.000000000190015;
  for (double c : coefficient) series += c / ++y;
  return lead + std::log(2.5066282746310005 * series / x);
}

}  // namespace nivra
