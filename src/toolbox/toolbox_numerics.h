// The dense linear algebra and small numerical routines of the
// parameter-estimation toolbox (the LU decomposition and its solve are
// core/numerics.h, which the pipe network shares). Matrices are 1-based array2d<double>
// (rows and columns 1..n, row-major in one block), vectors 1-based
// array1d; every routine is told the extents it works on, so a caller may
// hand it arrays made larger. A routine that can fail returns a
// numeric_status and never ends the process; the caller decides.
#pragma once

#include <array>
#include <cstdint>

#include "core/arrays.h"
#include "core/numerics.h"

namespace nivra {

// ------------------------------------------------------------ Cholesky

// Factors the symmetric positive definite n x n matrix a = L L^T reading
// only its upper triangle: the part of L below the diagonal goes to the
// lower triangle of a, its diagonal to p; the upper triangle is kept.
numeric_status choldc(array2d<double>& a, int n, array1d<double>& p);
// Solves a x = b with the factor of choldc (x may be b).
void cholesky_solve(const array2d<double>& a, int n, const array1d<double>& p,
                    const array1d<double>& b, array1d<double>& x);

// Sorts the eigenvalues d[1..n] into descending order and the columns of
// the eigenvectors v alike. Straight selection; among equal values the
// later one moves to the front.
void sort_eigen_desc(array1d<double>& d, array2d<double>& v, int n);

// ------------------------------------------------------------ products

// c = a b, c a_rows x b_cols (c must not be a or b).
numeric_status dmmult(const array2d<double>& a, int a_rows, int a_cols, const array2d<double>& b,
                      int b_rows, int b_cols, array2d<double>& c);
// y = a x, y of length rows.
numeric_status dmvmult(const array2d<double>& a, int rows, int cols, const array1d<double>& x,
                       int x_len, array1d<double>& y);
// t = a^T, cols x rows.
void dmtrnsp(const array2d<double>& a, int rows, int cols, array2d<double>& t);
// b = s a (b may be a).
void dmscal(const array2d<double>& a, int rows, int cols, double s, array2d<double>& b);
// c = a + b (c may be a).
void dmadd(const array2d<double>& a, int rows, int cols, const array2d<double>& b,
           array2d<double>& c);

// ------------------------------------------------------------ LU

// ludcmp and lubksb: core/numerics.h.

// y = the inverse of a (a becomes its LU form); y untouched when singular.
numeric_status dminv(array2d<double>& a, int n, array2d<double>& y);
// Solves the 3 x 3 system a x = rhs (rhs and x 3 x 1 matrices); x untouched
// when singular.
numeric_status solve3(array2d<double>& a, int n, const array2d<double>& rhs, array2d<double>& x);

// ------------------------------------------------------------ eigen

// Eigenvalues d and eigenvectors v (columns) of the symmetric matrix a by
// cyclic Jacobi rotations; the upper triangle of a is destroyed. nrot
// counts the rotations. no_convergence after 50 sweeps.
numeric_status jacobi(array2d<double>& a, int n, array1d<double>& d, array2d<double>& v,
                      int& nrot);

// ------------------------------------------------------------ others

// indx[1..n] such that arr[indx[1]] <= arr[indx[2]] <= ... (arr untouched).
void indexx(int n, const array1d<double>& arr, array1d<int>& indx);

// One step of the minimal standard generator x -> 16807 x mod (2^31 - 1).
std::int32_t minimal_standard_step(std::int32_t x);

// The state of ran1: idum is the seed (a value of 0 or below re-seeds with
// max(1, -idum)); the shuffle table belongs to the state, so independent
// generators never share one.
struct ran1_state {
  std::int32_t idum = -1;
  std::int32_t iy = 0;
  std::array<std::int32_t, 32> iv{};
};
// A uniform deviate in (0, 1): the minimal standard generator with a
// 32-entry shuffle table, at most 1 - 1.2e-7.
double ran1(ran1_state& s);

// ln Gamma(x) for x > 0 (Lanczos series, six terms).
double gammln(double x);

}  // namespace nivra
