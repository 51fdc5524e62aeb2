// The [node][link] tables the link/node writers read.
#pragma once

#include <cstddef>

#include "core/arrays.h"

namespace nivra {

// A [node][link] table as the writers read it, stored row by row (array2d)
// or link by link (column_array2d); made from a pointer, null for none.
class node_table {
 public:
  node_table() = default;
  node_table(std::nullptr_t) {}  // NOLINT: no table
  node_table(const array2d<double>& t)  // NOLINT: every table converts
      : data_(t.data()), node_stride_(static_cast<std::size_t>(t.cols()) + 1), link_stride_(1), rows_(t.rows()),
        cols_(t.cols()) {}
  node_table(const column_array2d<double>& t)  // NOLINT
      : data_(t.data()), node_stride_(1), link_stride_(static_cast<std::size_t>(t.rows()) + 1), rows_(t.rows()),
        cols_(t.cols()) {}
  node_table(const array2d<double>* t) : node_table(t ? node_table(*t) : node_table()) {}  // NOLINT
  node_table(const column_array2d<double>* t) : node_table(t ? node_table(*t) : node_table()) {}  // NOLINT

  bool empty() const { return data_ == nullptr; }
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  double operator()(int node, int link) const { return data_[node * node_stride_ + link * link_stride_]; }

 private:
  const double* data_ = nullptr;
  std::size_t node_stride_ = 0, link_stride_ = 0;
  int rows_ = 0, cols_ = 0;
};

}  // namespace nivra
