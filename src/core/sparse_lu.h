// A sparse direct solver of A x = b for a square matrix whose pattern stays
// fixed over many solves (SuiteSparse's KLU: block triangular form, a
// fill-reducing order and partial pivoting, made for the sparse systems of
// circuits and networks). The pattern is analysed once (analyse); every new
// set of values is factorised again with the pivots of the last full
// factorisation while they hold, and from scratch with new pivots when they
// do not (factor); solve() overwrites the right side with the solution.
//
// The object owns everything the library hands it (its settings, the
// analysis and the factors) and frees it when destroyed or analysed
// again; it is owned by a run's record, so a second run starts fresh.
// Indices and arrays given to it count from 0 and stay the caller's; the
// pattern arrays must outlive the factorisations made from them.
#pragma once

#include <memory>

namespace nivra {

enum class sparse_lu_status {
  ok,
  singular,  // a zero pivot, or pivots so unequal that the system cannot be trusted
  failed,    // the library refused the pattern or ran out of memory
};

class sparse_lu {
 public:
  sparse_lu();
  ~sparse_lu();
  sparse_lu(const sparse_lu&) = delete;
  sparse_lu& operator=(const sparse_lu&) = delete;

  // The pattern of an n x n matrix by compressed columns: the rows of
  // column c are row_index[col_start[c] .. col_start[c + 1] - 1], in
  // increasing order, without repeats.
  sparse_lu_status analyse(int n, const int* col_start, const int* row_index);
  // Factorises the values (one per entry of the pattern, in its order).
  sparse_lu_status factor(const double* values);
  // x = A^-1 b in place (n values).
  sparse_lu_status solve(double* b);

  bool analysed() const;
  int full_factorisations() const { return full_; }  // factorisations with new pivots, this object's life
  int refactorisations() const { return re_; }       // factorisations with the pivots kept
  // The smallest over the largest magnitude of the pivots of the last
  // factorisation (0 before any).
  double pivot_ratio() const { return ratio_; }
  void clear();

 private:
  struct library;  // the library's settings, analysis and factors
  std::unique_ptr<library> lib_;
  int n_ = 0;
  const int* col_start_ = nullptr;
  const int* row_index_ = nullptr;
  int full_ = 0, re_ = 0;
  double ratio_ = 0.0;        // of the last factorisation
  double fresh_ratio_ = 0.0;  // of the last one with new pivots
};

}  // namespace nivra
