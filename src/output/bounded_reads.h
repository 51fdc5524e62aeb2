// Reads of arrays that other processes size (or never make): a position
// outside the array reads 0 rather than running off its end.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"

namespace nivra {

template <class T>
T at(const array1d<T>& a, int i) {
  return (i >= 0 && i <= a.size() && !a.empty()) ? a[i] : T{};
}
template <class T>
T at(const array2d<T>& a, int i, int j) {
  return (!a.empty() && i >= 0 && i <= a.rows() && j >= 0 && j <= a.cols()) ? a(i, j) : T{};
}
template <class T>
T at(const column_array2d<T>& a, int i, int j) {
  return (!a.empty() && i >= 0 && i <= a.rows() && j >= 0 && j <= a.cols()) ? a(i, j) : T{};
}
inline double at(const jagged_array<double>& a, int row, int i) {
  const double* r = a.row(row);
  return (r && i >= 0 && i <= a.row_length()) ? r[i] : 0.0;
}
// Element c of a per-constituent array (a process that never ran never
// grew its array).
template <class T>
T at(const checked_array<T>& a, int c) {
  return (c >= 1 && c <= a.count()) ? a[c] : T{};
}

}  // namespace nivra
