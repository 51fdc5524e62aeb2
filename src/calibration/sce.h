// The SCE run mode: calibration by the shuffled complex evolution method
// (SCE-UA; Duan, Sorooshian and Gupta 1992, 1994). The SCE input file gives
// the project, the replacement list, the observation file, the control
// values and the bounds of every parameter; each trial runs the whole model
// through the model-run callback and is scored against the observations.
// Every evaluation is logged ("sce_log_file.txt"), the search's progress goes
// to "sce_output.out", every run's measures to "results_all.out", and the
// best parameter set to "sce_best.out".
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "calibration/model_run.h"
#include "calibration/objective.h"
#include "calibration/sce_random.h"
#include "core/arrays.h"
#include "core/guarded_file.h"

namespace nivra {

struct parallel_env_t;

// A plain objective of the parameters (nopt values), for searches that run
// no model.
using sce_plain_objective = std::function<double(std::span<const double> x)>;

// The largest population the search takes (complexes x points per complex).
inline constexpr int sce_population_limit = 1320;

struct sce_record {
  // Files.
  guarded_file log_file;  // "sce_log_file.txt", opened on first use
  int log_failed = 0;
  guarded_file out_file;  // "sce_output.out"
  int out_open = 0;

  // Input.
  std::string project_file;  // the project of every model run
  std::string replace_file;  // the replacement parameter list
  std::string obs_file;      // the observation file
  int model_mode = 1;        // 1: the trials run the model; 0: the plain objective
  int setup_ok = 0;          // the input was read and checked and the output opened
  std::vector<std::string> keys;  // the list's keys, in order (model mode)
  int events_checked = 0;    // a run gave results, and its events were checked
  int stopped = 0;           // that run showed that no trial can be scored

  sce_plain_objective objective;                  // used when model_mode is 0
  model_run_objective model_objective = nullptr;  // the model-run callback

  // Control values.
  int nopt = 0;       // parameters
  int maxn = 0;       // largest number of objective evaluations
  int kstop = 0;      // shuffling loops over which the criterion must change
  double pcento = 0;  // fraction by which it must change in kstop loops
  int iseed = 0;      // random seed (0 means 3737)
  int ngs = 0;        // complexes
  int npg = 0;        // points per complex
  int nps = 0;        // points per sub-complex
  int nspl = 0;       // evolution steps per complex before shuffling
  int mings = 0;      // smallest number of complexes
  int iniflg = 0;     // 1: the initial point is a member of the first population
  int iprint = 0;     // 1: the population is printed after every loop
  int ideflt = 0;     // 1: npg .. iprint come from the file; 0: defaults

  array1d<double> a, bl, bu;  // initial values, lower and upper bounds (1-based)
  array1d<double> bestx;      // best point
  std::unique_ptr<calib_cost> cost;
  array1d<double> par_max, par_min, par_mean, par_std;  // population statistics
  double gnrng = 0.0;         // normalised geometric range of the population

  sce_random random;
  int evaluations = 0;        // objective evaluations made
  double best_criterion = 0;  // the criterion of bestx when the search ended
  double best_logged = 0.0;   // the lowest criterion logged so far
};

// Reads the SCE input file into the record, checks it and opens the output
// file; setup_ok tells whether the search may start.
void sce_setup(sce_record& r, const std::string& input_file, const std::string& output_file);
// Reads the input (lines 1 to 3 only in model mode); 0, or -1 after a message.
int scein(sce_record& r, guarded_file& input, const std::string& input_name);
// Sets the defaults and mends control values that cannot be used; the
// number of warnings, or -1 when the number of complexes is not valid.
int sce_check_params(sce_record& r);
// Reads the observation file into a fresh calib_cost.
int sce_read_observations(sce_record& r);

// One evaluation of x (1-based): the model run and the results table in
// model mode (a failed run scores cost_failed), the plain objective otherwise.
// After the first model run that gives results, observed events beyond
// the events it simulated are named: with a weight they stop the search
// (stopped), as every trial would score cost_failed; without one they are
// warned about.
double sce_objective(sce_record& r, const array1d<double>& x);

// The search; the number of evaluations made, or -1 when it could not start
// or was stopped.
int sceua(sce_record& r);

// The position (1..npg) in a sorted complex of npg points that the
// trapezoidal rule gives for a uniform u: position k with probability
// 2 (npg + 1 - k) / (npg (npg + 1)).
int sce_trapezoid_position(int npg, double u);

// The whole SCE run mode on an input file; 1 when the search ran and
// wrote its best parameter set, 0 after an error (a bad input file, the
// observations unread, a list whose keys do not fit the input files, more
// weighted observed events than a run simulates, no model run that gave a
// result). A best value within 0.1 % of its range of a bound is marked
// in sce_best.out and on the console.
int run_sce_mode(const parallel_env_t& env, const std::string& input_file);

// The position of a best value between its bounds: -1 within share of the
// range of the lower bound, 1 of the upper bound, else 0.
int sce_bound_side(double value, double lower, double upper, double share = 0.001);

}  // namespace nivra
