#include "core/arrays.h"

#include <cstdio>
#include <cstdlib>

namespace nivra {

void index_fault(const char* what, long index, long low, long high) {
  std::fprintf(stderr, "Index fault in %s: index %ld outside %ld..%ld\n", what, index, low, high);
  std::fflush(stderr);
  std::abort();
}

void report_size_zero() { std::printf("Error: Attempting to allocate array of size 0\n"); }

void report_alloc_failure(const char* name) {
  std::printf("Error allocating memory for variable %s\n", name ? name : "");
}

namespace {

template <class A, class F>
bool guarded_alloc(A& field, const char* name, F make) {
  try {
    make();
  } catch (const std::bad_alloc&) {
    field.free();
    report_alloc_failure(name);
    return false;
  }
  return true;
}

template <class T>
bool alloc_1d(array1d<T>& field, int n, const char* name) {
  field.free();
  if (n == 0) return true;
  if (n < 0) {
    // A negative count is never a valid request: report it like a size of 0.
    report_size_zero();
    report_alloc_failure(name);
    return false;
  }
  return guarded_alloc(field, name, [&] { field.alloc(n); });
}

template <class T>
bool alloc_2d(array2d<T>& field, int n, int m, const char* name) {
  field.free();
  if (n <= 0 || m <= 0) {
    report_size_zero();
    report_alloc_failure(name);
    return false;
  }
  return guarded_alloc(field, name, [&] { field.alloc(n, m); });
}

}  // namespace

bool alloc_1d_double(array1d<double>& field, int n, const char* name) { return alloc_1d(field, n, name); }
bool alloc_1d_int(array1d<int>& field, int n, const char* name) { return alloc_1d(field, n, name); }

bool alloc_2d_double(int n, int m, array2d<double>& field, const char* name) {
  return alloc_2d(field, n, m, name);
}
bool alloc_2d_int(array2d<int>& field, int n, int m, const char* name) {
  return alloc_2d(field, n, m, name);
}

bool alloc_3d_double(int n, int m, int k, array3d<double>& field, const char* name) {
  field.free();
  if (n <= 0 || m <= 0 || k <= 0) {
    report_size_zero();
    report_alloc_failure(name);
    return false;
  }
  return guarded_alloc(field, name, [&] { field.alloc(n, m, k); });
}

bool alloc_lake_search(int n, int m, array3d<int>& field) {
  field.free();
  if (n <= 0 || m <= 0) {
    report_size_zero();
    report_alloc_failure("lake_search");
    return false;
  }
  return guarded_alloc(field, "lake_search", [&] { field.alloc(n, 3, m); });
}

bool alloc_stream_pointsource(array2d<double>& field, int n, int m) {
  if (n == 0 || m == 0) {
    report_size_zero();
    report_alloc_failure("stream_pointsource");
  }
  field.free();
  if (m <= 0 || n < 0) return false;
  return guarded_alloc(field, "stream_pointsource", [&] { field.alloc(n + 1, m); });
}

}  // namespace nivra
