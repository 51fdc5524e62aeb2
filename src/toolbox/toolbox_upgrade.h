// The linear algebra of one Levenberg-Marquardt iteration of the toolbox:
// the system of the search (Jacobian, prior matrix, weights), the
// parameters without effect, the damped normal equations and their optimum
// step length, the move of the parameters inside their bounds (a parameter
// pushed out of a bound it sits on is frozen there and the others are
// solved again without it), and the secant (Broyden) update of the
// Jacobian after a trial run.
//
// Indices are 1-based: m = nobs + nprior rows (observations, then prior
// equations), n = n_adjustable columns; column k belongs to parameter
// adjustable[k]. Residuals are r_i = obsval - model_value[0] for the
// observations and r_(nobs+k) = pival - (P p)_k for the prior equations,
// p the adjustable values.
#pragma once

#include <cstdio>
#include <vector>

#include "core/arrays.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_numerics.h"

namespace nivra {

struct lm_system {
  int m = 0;
  int n = 0;
  array2d<double> jacobian;  // m x n; rows nobs+1..m hold the prior matrix
  array2d<double> prior;     // nprior x n: the factors of every prior equation
  array1d<double> weight2;   // m: the diagonal of Q, squared weights
  array1d<int> adjustable;   // n: parameter index of each column
};

// Sizes the system for pc (after slm_count_params): a zero Jacobian with
// the prior factors in its prior rows (a term naming a tied or fixed
// parameter is left out), the prior matrix and the squared weights.
void build_lm_system(const pest_control& pc, lm_system& s);

// The adjustable values p[1..n] and the residuals r[1..m] at them.
void adjustable_values(const pest_control& pc, const lm_system& s, array1d<double>& p);
void search_residuals(const pest_control& pc, const lm_system& s, array1d<double>& r);

// The composite sensitivity of column col over the rows that take part
// (observation and prior rows of positive weight; in_group picks rows by
// their observation group name, nullptr for all): sqrt of the sum of
// (weight x J)^2 over them, divided by their number; prior rows count with
// (weight x J) in estimation mode and (factor x regularisation weight x
// weight) in regularisation mode. terms gets the number of rows; 0 rows
// give 0.
double composite_sensitivity(const pest_control& pc, const lm_system& s,
                             const array2d<double>& jacobian, int col, const std::string* group,
                             int& terms);

// Sets sensitivity of every adjustable parameter from the Jacobian; one
// below 1e-8, or one no row of positive weight sees, has no effect: it is
// flagged, counted in n_no_effect and reported on the console and in rec
// (one whose derivative runs all failed as held for the iteration).
int slm_check_no_effect(pest_control& pc, const lm_system& s, std::FILE* rec);

// The Marquardt upgrade over the columns cols (1-based positions into the
// system's columns, in order): with A = J^T Q J over those columns and the
// scaling S = diag(1 / sqrt(A_jj)), solves (S A S + D) x = S J^T Q r, D
// diagonal with D_jj = lambda S_jj^2 / max S^2 (lambda = rlambda1), by
// Cholesky; u (1..cols.size()) = S x. not_positive_definite leaves u zero.
numeric_status slm_lm_upgrade(const pest_control& pc, const lm_system& s,
                              const std::vector<int>& cols, array1d<double>& u);
// The optimum length along u (same columns): u = beta u with beta = sum
// q r v / sum q v^2, v = J u; u is kept when v is 0.
void slm_scale_upgrade(const pest_control& pc, const lm_system& s, const std::vector<int>& cols,
                       array1d<double>& u);

// Moves the adjustable parameters by u (1..n) within their bounds and
// recomputes the tied ones: a parameter stepping past a bound stops on it;
// one already on a bound and pushed further out is frozen there when the
// steepest-descent direction points out too (or, in a second pass, when
// no other parameter froze), and the free parameters are solved again
// without the frozen ones. Parameters without effect are left out of the
// solve. u ends as the change applied. 0, or the code of a failed solve.
int slm_apply_upgrade(pest_control& pc, const lm_system& s, array1d<double>& u, std::FILE* rec);

// The secant update after a trial run: with s = p - prev_value over the
// adjustable parameters and d = (model_value[1] - model_value[0]) - J s
// (the prior rows with the change of P p), J += d s^T / (s^T s). False,
// J untouched, when s^T s <= 1e-30.
bool slm_broyden_update(const pest_control& pc, lm_system& s);

}  // namespace nivra
