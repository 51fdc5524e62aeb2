// The Levenberg-Marquardt local search of the toolbox (-slm) and its entry.
//
// Each iteration computes the Jacobian by finite differences, then tries
// Marquardt lambdas, one model run each, until a stop rule of the lambda
// search accepts the lowest phi; the secant variant (slm_method 1) corrects
// the Jacobian by a Broyden step after every trial and recomputes only a
// cyclic subset of its columns. The search ends when phi is 0, when the
// nphistp lowest phis lie within phiredstp of each other, when nphinored
// iterations brought no new lowest phi, when the parameters changed by
// less than relparstp over nrelpar iterations, after noptmax iterations,
// or when every parameter is frozen at a bound or without effect; a final
// run with the best parameters then leaves the model's files as they fit
// them, and the record file gets the statistics. noptmax 0 makes the
// initial run and the statistics only; -1 one Jacobian and the statistics.
// At the end a parameter on a bound, or one that could not be estimated
// because every derivative run of it failed, is named on the console and
// marked in the record's table of estimates.
//
// A model run that fails counts as phi = +infinity and is never accepted;
// a failed first run stops the search.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_records.h"

namespace nivra {

class toolbox_model;
struct toolbox_streams;
struct search_trail;

// What a search hands back besides its files.
struct search_outcome {
  std::vector<double> values;   // the final parameters in model units, 1..npar
  std::vector<double> std_dev;  // per adjustable parameter 1..n: sqrt of the covariance
                                // diagonal; empty when it could not be determined
  double phi = 0.0;             // of the final run (the initial run for noptmax 0, -1)
  int model_calls = 0;          // set also when the search fails
  int iterations = 0;           // iterations completed
  int not_estimated = 0;        // adjustable parameters every derivative run of which failed
  bool no_response = false;     // the search ended with every column of the Jacobian zero
};

// Termination, tested at the start of every iteration (history[1..iteration]
// the starting phis): sets stop to 1 and prints its message on the console
// and in rec (followed by the model calls) when phi is 0, when nphistp of
// the starting phis lie within phiredstp of phi_min, when more than
// nphinored iterations passed since phi_min, or when small_changes reached
// nrelpar. 0.
int slm_check_termination(std::FILE* rec, int iteration, int phi_min_iteration, int small_changes,
                          const std::vector<double>& history, double phi_min, double phi,
                          const pest_control& pc, int& stop, int model_calls);

// The end of the lambda search after trial k (trial_phi[1..k]; phi0 the
// iteration's starting phi): true with the accepted trial (the lowest phi,
// or the first below phiratsuf x phi0) when numlam trials were made, one
// fell below phiratsuf x phi0, phi rose twice, or fell by less than
// phiredlam; the message goes to the console and rec. accepted stays 0
// while the search goes on, and is 0 when it ends without a trial whose
// model run ended normally.
bool slm_check_lambda_stop(std::FILE* rec, double phi0, int k, const std::vector<double>& trial_phi,
                           const pest_control& pc, int& accepted);

// The next lambda into pc.rlambda1 after trial k with phi: down by rlamfac
// after the first trial, on in the same direction while phi falls, back up
// from lambda0 x rlamfac (reversal set) when it rises on the way down.
int slm_adjust_lambda(double lambda0, double& previous, bool& reversal, double phi,
                      const std::vector<double>& trial_phi, int k, pest_control& pc);

// The search on a control record read and checked by the entry (counts,
// ties, files names), writing the record, sensitivity and parameter files.
// restart continues from the restart file. A global search hands its trail
// (toolbox_global.h). 0, the first non-zero code of a step, or
// toolbox_stop_requested.
int slm_optimise(pest_control& pc, bool restart, const toolbox_file_names& names, std::FILE* rec,
                 std::FILE* sen, std::FILE* par, toolbox_streams& streams, toolbox_model& model,
                 search_outcome* outcome = nullptr, search_trail* trail = nullptr);

// The -slm mode with the given model: argv[2] the case (control file
// name), argv[3] "/r" for a restart. 0 after a completed search or a stop
// request, else 1 (the message has been printed): a fault, a parameter
// that could not be estimated, or no observation that responds to any
// parameter.
int run_slm_mode(int argc, char** argv, toolbox_model& model, search_outcome* outcome = nullptr);

}  // namespace nivra
