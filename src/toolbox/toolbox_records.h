// What a toolbox search reports: the names of its case files, phi and its
// share per observation group, the console and record-file blocks, the
// results section with confidence limits, covariance, correlation and
// eigen analysis, and the Student t values behind the limits.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "core/arrays.h"
#include "toolbox/toolbox_control.h"

namespace nivra {

// The case base name (the case name up to the first "." of its file part)
// and the names of the record, sensitivity, matrix, parameter and restart
// files.
struct toolbox_file_names {
  std::string base;
  std::string rec;
  std::string sen;
  std::string mtt;
  std::string par;
  std::string rst;
};
toolbox_file_names files_names_for_write(std::string_view case_name);

// Sets the phi of every observation group from model-value slot 0 or 1
// (any other slot adds nothing) and returns their sum in total; 0.
int slm_phi_by_group(pest_control& pc, int slot, double& total);

// The prior information's share of phi: c = P p with p the adjustable
// values in order and P the nprior x n_adjustable prior matrix; every
// equation adds ((pival - c) x weight)^2 to its group's phi and to
// prior_phi. 0, or -1 when P does not fit the adjustable parameters.
int slm_param_vector(pest_control& pc, const array2d<double>& prior_matrix, double& prior_phi);

// The head of the record file.
int slm_record_header(std::string_view case_name, const pest_control& pc, std::FILE* out);

// The run record on the console.
int slm_print_run_record(double measurement_phi, double regularisation_phi, double phi,
                         const pest_control& pc, const toolbox_file_names& names);

// The block that opens an iteration, on the console and in the record file
// (nothing outside estimation and regularisation modes).
int slm_print_iteration(const pest_control& pc, int iteration, int model_calls, double phi,
                        double measurement_phi, double regularisation_phi);
int slm_record_iteration(const pest_control& pc, std::FILE* out, int iteration, int model_calls,
                         double phi, double measurement_phi, double regularisation_phi);

// The initial conditions in the record file and the starting values in the
// parameter file (model units: 10 to the stored value for "log").
int slm_record_initial(std::FILE* rec, std::FILE* par, double measurement_phi,
                       double regularisation_phi, double phi, const pest_control& pc);

// The results section. Covariance, correlation and eigenvectors are
// n_adjustable x n_adjustable; singular is 1 when the normal matrix could
// not be inverted. With no degrees of freedom left (observations and prior
// equations not above the adjustable parameters) the covariance cannot be
// determined and the section says so. The table of estimates marks a
// parameter that could not be estimated (every derivative run of it
// failed) and one that ends on a bound. Values are written with eight
// significant digits.
int slm_record_results(std::FILE* out, double phi, const array2d<double>& covariance,
                       const array2d<double>& correlation, const array2d<double>& eigenvectors,
                       const array1d<double>& eigenvalues, const pest_control& pc, int singular,
                       const array2d<double>& prior_matrix);

// The two-sided 95 percent point of Student's t with d degrees of freedom:
// 12.706 for d = 1, the three-decimal table for 2..30, straight lines through
// (30, 2.042), (40, 2.021), (60, 2.000), (120, 1.980) and
// (9999999, 1.960), 1.960 beyond. False (t unchanged) for d below 1.
bool t_value_975(int d, double& t);

}  // namespace nivra
