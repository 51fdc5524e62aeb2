// Dense linear algebra shared by the pipe network's superjunction solve and
// the parameter-estimation toolbox. Matrices are 1-based array2d<double>
// (rows and columns 1..n, row-major in one block), vectors 1-based
// array1d; every routine is told the extents it works on, so a caller may
// hand it arrays made larger. A routine that can fail returns a
// numeric_status and never ends the process; the caller decides.
#pragma once

#include "core/arrays.h"

namespace nivra {

enum class numeric_status {
  ok,
  not_positive_definite,  // Cholesky: a pivot not above 0
  singular,               // LU: a row of zeros
  no_convergence,         // Jacobi: still off-diagonal after 50 sweeps
  dimension_mismatch,     // a product of matrices whose inner extents differ
};

// ------------------------------------------------------------ LU

// Crout LU decomposition with implicit partial pivoting, in place; indx
// records the row interchanges and d their parity (+1 or -1). A row of
// zeros gives singular at once, a untouched; a zero pivot is replaced by
// 1e-20.
numeric_status ludcmp(array2d<double>& a, int n, array1d<int>& indx, double& d);
// The same with the row scales kept in `scale` (n + 1 entries at least), for
// callers that decompose in a loop without allocating.
numeric_status ludcmp(array2d<double>& a, int n, array1d<int>& indx, double& d, array1d<double>& scale);
// Solves with the LU form of ludcmp; b holds the right side and becomes
// the solution.
void lubksb(const array2d<double>& a, int n, const array1d<int>& indx, array1d<double>& b);

}  // namespace nivra
