// The multi-level single linkage search (-mls) and its rules. Each
// iteration adds N random samples to a growing pool, ranks the pool, keeps
// the best fraction gamma of it and starts a local search from every kept
// sample that no better kept sample, earlier end point or earlier start lies
// close to (Rinnooy Kan and Timmer 1987). Searches that end on a known
// minimum do not count as new minima; the Bayesian estimate of the number
// of minima (Boender and Rinnooy Kan 1987) is one of five stop rules.
#pragma once

#include <cstdio>
#include <vector>

#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_global.h"

namespace nivra {

// The critical distance after `samples` samples: with n adjustable
// parameters and V the product of their bound widths (as held),
// (V Gamma(1 + n/2) sigma ln(samples) / samples)^(1/n) / sqrt(pi).
double mlsl_critical_distance(const pest_control& pc, int samples);

// The Bayesian stop rule with w minima found from q = gamma x samples
// (not truncated): q > w + 2 and w (q - 1) / (q - w - 2) <= w + 0.5.
bool mlsl_bayes_stop(int minima, double q);

// The kept (reduced) sample of an iteration, in rank order.
struct mlsl_reduced_sample {
  std::vector<const double*> members;  // every parameter as held, 0-based
  std::vector<double> totals;
  double alpha = 0.0;         // critical distance
  double end_distance = 0.0;  // the input file's end-point distance
};

// Whether member i (1-based) is refused a local search, and by which test;
// each refusal is written to rec. Distances are Euclidean over every
// parameter as held. Test 1: a better member within alpha. Only when not
// refused and a minimum was found (ends not empty), test 2: an end point
// within alpha with a lower end total; then, still not refused, test 3: an
// end point nearer than end_distance. Only when still not refused and a
// search was made (starts not empty), test 4: a start point nearer than
// 1e-8. 0 when the member is searched from.
int mlsl_refusal(std::FILE* rec, int i, int npar, const mlsl_reduced_sample& reduced,
                 const point_store& ends, const point_store& starts);

}  // namespace nivra
