// The Jacobian of a toolbox search by finite differences, the sensitivity
// file written from it, and the statistics of the end of a search
// (covariance and correlation of the parameters).
//
// A derivative perturbs one parameter by the increment h of its group
// (INCTYP "relative": DERINC times the value, at least DERINCLB;
// "absolute": DERINC; "rel_to_max": DERINC times the largest value of the
// group's adjustable parameters, at least DERINCLB; DERINC itself where
// that gives 0): to p + h and p + 2h from a lower bound, p - h and p - 2h
// from an upper bound, p + h and p - h otherwise, a central pair that
// would leave the bounds turned one-sided. A derivative run the model
// refuses is made up for: by the other run of a three-point pair where
// that one ended normally, else by a run on the other side of the value
// (p - h for p + h, and the reverse) where the bounds allow it; the column
// is then the two-point difference with the run that ended normally. A
// parameter none of whose runs ended normally is held for the iteration
// (its column is zero). A "log" parameter is held as
// the base-10 logarithm of its value, its derivatives are taken with
// respect to it, and its increment is always DERINC times the value, so
// that its steps are fixed steps of the logarithm however small the value.
// Two-point derivatives take one model run, three-point derivatives
// ("outside_pts": the slope between the two points; "parabolic": the
// slope at the value of the parabola through the three) two. The group's
// FORCEN chooses: "always_2", "always_3", or "switch" (two-point until the
// search switches to three-point). The differences divide by the steps
// the model was given, the values as written to "values.in".
#pragma once

#include <cstdio>
#include <vector>

#include "toolbox/toolbox_records.h"
#include "toolbox/toolbox_upgrade.h"

namespace nivra {

class toolbox_runner;

// The perturbed values of a parameter (stored space) and the kind of pair.
struct perturbation {
  enum class kind : unsigned char { central, forward, backward };
  kind how = kind::central;
  double x1 = 0.0;
  double x2 = 0.0;
  double up = 0.0;    // p + h
  double down = 0.0;  // p - h
};
// increment in model units (DERINC times the value for a "log" parameter).
perturbation perturb_parameter(const param_rec& p, double increment);

// The group of a parameter (by pargp), nullptr when none has its name.
const param_group* group_of(const pest_control& pc, const param_rec& p);

// The increment of parameter i in model units.
double derivative_increment(const pest_control& pc, int i);

// A stored value as the model sees it: through the text of "values.in".
double as_written(const param_rec& p, double stored);

// Checks every group of an adjustable parameter: its INCTYP, FORCEN and
// DERMTHD words; the code of the message reported for the first one the
// toolbox does not know, or for a parameter of no group, else 0.
int check_derivative_words(const pest_control& pc);

// The parameters whose columns this iteration recomputes: every adjustable
// one with the Levenberg-Marquardt method, in iteration 1 and on a full
// update; otherwise (secant method) the next cyclic_columns adjustable
// parameters after cyclic_position, wrapping (cyclic_position becomes the
// last one taken), or none. Parameters named "iw_..." are left out.
std::vector<int> jacobian_parameters(const pest_control& pc, int iteration, int& cyclic_position);

// The model runs the columns of params take, and the progress line
// "Calculating Jacobian matrix: running model %d times ...".
int slm_derivative_type(const pest_control& pc, bool three_point, const std::vector<int>& params,
                        int& runs);

// Recomputes the columns of this iteration's parameters (model-value slot
// 0 holds the outputs at the current values; the runs use slots 1 and 2).
// A column made up from the other side is reported; one none of whose runs
// ended normally is set to zero and its parameter flagged derivative_failed
// (columns_made and columns_failed count both kinds). 0, 1 for a
// "best_fit" group, or the first non-zero code of a run.
int slm_jacobian(pest_control& pc, lm_system& s, toolbox_runner& runner, bool three_point,
                 int iteration, int& cyclic_position);

// The sensitivity file: per iteration the composite sensitivity of every
// adjustable parameter; at completion (J the Jacobian of the best
// parameters) the tables per observation group and over all rows, whose
// values are left in each parameter's sensitivity.
int slm_write_sensitivities(pest_control& pc, const lm_system& s, const array2d<double>& jacobian,
                            const toolbox_file_names& names, int iteration, std::FILE* sen,
                            bool completion);

// The covariance of the adjustable parameters: (J^T Q J)^-1 phi / (c - n),
// c the observations and prior equations of positive weight (prior rows
// only in estimation mode). singular is 1 when the normal matrix cannot be
// inverted or c does not exceed n (covariance then untouched).
void slm_weighted_jacobian(const pest_control& pc, const lm_system& s,
                           const array2d<double>& jacobian, double phi, array2d<double>& covariance,
                           int& singular);
// correlation_ij = covariance_ij / sqrt(covariance_ii covariance_jj); 0
// where a variance is 0.
void slm_correlation(const array2d<double>& covariance, int n, array2d<double>& correlation);

}  // namespace nivra
