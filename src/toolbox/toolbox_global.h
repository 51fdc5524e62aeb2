// What the global searches of the toolbox (-ms multistart, -mls
// multi-level single linkage, -t trajectory repulsion) share: seeded random
// starts, the store of the points their local searches visit with the
// near-minimum test, the reading of their input files, the scoring of a
// random sample by one model run and the lines of their record files.
//
// Every sample restarts ran1 from a state derived from a 32-bit linear
// congruential seed, so a search's samples are reproducible from the seed
// of its input file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/guarded_file.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_numerics.h"
#include "toolbox/toolbox_search.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

struct toolbox_case;
class search_input;

// ------------------------------------------------------------ random starts

// The next seed: seed x 1664525 + 1013904223 modulo 2^32.
std::uint32_t gopt_next_seed(std::uint32_t seed);
// The state that restarts ran1 for one sample: -(seed / 2).
std::int32_t gopt_random_state(std::uint32_t seed);

// Draws parval1 of every adjustable parameter in order, one ran1 deviate
// u each: lower + u (upper - lower), for a "log" parameter uniformly in
// its own units (the logarithm of 10^lower + u (10^upper - 10^lower)).
// Tied and fixed parameters keep their values. 0.
int gopt_random_start(pest_control& pc, ran1_state& state);

// ------------------------------------------------------------ visited points

// Columns of the values of every parameter 1..npar as the record holds them
// (base-10 logarithms for "log"), each with the phi of its moment; columns
// are numbered from 1.
class point_store {
 public:
  explicit point_store(int npar = 0) : npar_(npar) {}
  int npar() const { return npar_; }
  int count() const { return static_cast<int>(phi_.size()); }
  // Appends the current values of pc's parameters.
  void append(const pest_control& pc, double phi);
  // Appends values[0..npar-1].
  void append(const double* values, double phi);
  // The values of column k (1..count), 0-based by parameter.
  const double* column(int k) const { return values_.data() + static_cast<std::size_t>(k - 1) * npar_; }
  double phi(int k) const { return phi_[static_cast<std::size_t>(k - 1)]; }
  void set_phi(int k, double phi) { phi_[static_cast<std::size_t>(k - 1)] = phi; }

 private:
  int npar_;
  std::vector<double> values_;
  std::vector<double> phi_;
};

// What a global search asks of its local searches (slm_optimise): each
// appends its accepted vector with its phi from its second iteration on,
// sets the phi of the start column that the caller appended, ends as a
// termination test ends it when its vector comes near a point stored
// before it began, and writes no "jac.txt". natural_change: the relative
// parameter change of the stop rule is taken on natural values of "log"
// parameters (else on the logarithms).
struct search_trail {
  point_store* points = nullptr;
  bool natural_change = true;
};

// Sum over the parameters of ((a_i - b_i) / (upper_i - lower_i))^2; a
// parameter whose bounds are equal adds nothing. a and b are 0-based.
double bounded_distance_sq(const pest_control& pc, const double* a, const double* b);

// Euclidean distance of two vectors of n values.
double euclidean_distance(int n, const double* a, const double* b);

// True when the current values of pc lie within near_min_distance of one
// of the points 1..count (by the square root of bounded_distance_sq); a
// point at 1e-10 or less, the current vector itself, does not count.
bool gopt_near_minimum(const point_store& points, int count, const pest_control& pc);

// ------------------------------------------------------------ entry

// Samples a search may ask for (per iteration for -mls).
inline constexpr long long max_search_samples = 1000000;

// What names a global search on the console and in its files.
struct global_search_names {
  const char* method;       // "multistart", ...
  const char* user;         // "Multistart", ...: the subject of the banner's third line
  const char* input_file;   // "ms.in", ...
  const char* record_file;  // "slm_dru_ms1.rec", ...
  const char* program;      // "slm_dru_ms1", ...: named by the prediction refusal
};

// The opening every global search shares: the refusal of a command line
// without a case, the banner, the input file (read whole), the record file
// and the case (open_toolbox_case). 0, or 1 after the message.
int open_global_search(int argc, char** argv, const global_search_names& names, search_input& input,
                       guarded_file& record, toolbox_case& c);

// The three console lines of the searches that can read their random
// states back.
void print_seed_lines();

// ------------------------------------------------------------ input files

// The words of a search's input file (or of "RandomNumberSeeds.prn"), each
// converted and checked; a missing or bad word reports message 222 naming
// the file, its line and what was expected.
class search_input {
 public:
  search_input() = default;
  search_input(const search_input&) = delete;
  search_input& operator=(const search_input&) = delete;
  // 0, or the code of "Cannot open" reported.
  int open(std::string_view name);
  int word(std::string& value, const char* expected);
  // "Y" (yes true) or "N".
  int yes_no(bool& yes, const char* expected);
  int whole(long long& value, long long lowest, long long highest, const char* expected);
  // A finite number within [lowest, highest]; open ends exclude the bound.
  int real(double& value, double lowest, double highest, bool open_low, bool open_high,
           const char* expected);
  // 0 when no word is left: a word after the last value is one the search
  // does not take.
  int end();

 private:
  int bad(const char* expected);
  std::string name_, text_;
  text_cursor cursor_{std::string_view()};
};

// ------------------------------------------------------------ samples

// The seed word of the -mls and -t input files: "Y" draws and writes the
// random states of the samples to "RandomNumberSeeds.prn", "N" reads them
// back.
class sample_seeds {
 public:
  // 0, or the code of the message reported for a file that cannot be
  // opened.
  int open(bool writing, std::uint32_t seed);
  // The next sample's state: the seed's step, then written or read. 0, or
  // the code of the message reported.
  int next(std::int32_t& state);
  std::uint32_t seed_as_read() const { return first_seed_; }
  // False after a write failure of the file was reported.
  bool finish();

 private:
  std::uint32_t first_seed_ = 0, seed_ = 0;
  bool reading_ = false;
  guarded_file file_;
  search_input read_;
};

// True when the run of sample k of a pool (1..count) succeeded: a failed
// run scores +infinity, ranks last and is never the start of a search.
inline bool sample_ran(const point_store& pool, int k) { return pool.phi(k) < std::numeric_limits<double>::infinity(); }
// The samples of a pool whose run succeeded.
int samples_that_ran(const point_store& pool);

// Total objective of the last run: the sum of the group phis.
double group_total(const pest_control& pc);

// Objectives of a run: entry 0 the total, entry g the phi of group g; all
// +infinity for a run that failed.
using objective_row = std::vector<double>;
objective_row failed_objectives(const pest_control& pc);
objective_row current_objectives(const pest_control& pc);

// A value as the record holds it in the parameter's own units (10 to it
// for "log").
double in_own_units(const param_rec& p, double held);

// The values of a sample: random values restarted from state, the tied
// parameters after their parents; values[0..npar-1] receives every
// parameter as held.
void draw_random_sample(pest_control& pc, std::int32_t state, double* values);

// Scores the current values by one model run (slm_optimise with noptmax 0,
// which the caller has set): objectives receives the run's, or
// failed_objectives. The status of slm_optimise.
int score_sample(toolbox_case& c, toolbox_model& model, objective_row& objectives);

// The sample phase of a global search: count samples drawn from the next
// states of seeds and scored by one model run each (noptmax 0 for these
// runs), appended to pool (phi: the total) and objectives. The record gets
// head() before the first row, then one row per sample (param_format for
// the parameters); parameters, when given, every parameter of each sample
// in its own units. last_status: the status of the last run. 0,
// toolbox_stop_requested, or the code of a state that could not be read.
int run_sample_phase(toolbox_case& c, toolbox_model& model, sample_seeds& seeds, int count,
                     point_store& pool, std::vector<objective_row>& objectives, std::FILE* rec,
                     const std::function<void()>& head, const char* param_format,
                     std::FILE* parameters, int& last_status);

// One local search of a global search from the values (as held) of every
// parameter, lambda back to its value as read; trail may be null
// (multistart). outcome gets the end values in model units and the total
// (+infinity when the search failed). The status of slm_optimise.
int local_search_from(toolbox_case& c, toolbox_model& model, const double* start,
                      double lambda_as_read, search_trail* trail, search_outcome& outcome,
                      objective_row& objectives);

// ------------------------------------------------------------ record lines

// "%s\t" with the name of every adjustable parameter, "Total\t", and with
// groups the name of every observation group, then "\n".
void write_title_line(std::FILE* f, const pest_control& pc, bool groups);
// The row of a sample: every adjustable parameter in its own units by
// param_format, "%lf\t" total, "%lf\t" per group when groups, "\n".
void write_sample_row(std::FILE* f, const pest_control& pc, const double* values,
                      const objective_row& objectives, const char* param_format, bool groups);
// The parameter and objective tables of a local search: start and end of
// every adjustable parameter, then of the total and each group, lines
// written by param_line and objective_line ("\t%s\t...\t...\n").
void write_result_tables(std::FILE* f, const pest_control& pc, const double* start,
                         const objective_row& start_objectives, const objective_row& end_objectives,
                         const char* param_line, const char* objective_line);

// The global searches' results for a caller (the tests).
struct global_outcome {
  std::vector<search_outcome> searches;  // every local search in order
  double best_total = 0.0;
  int best_search = 0;      // 1-based; 0 when no search ended
  int distinct_minima = 0;  // -mls
  int iterations = 0;       // -mls
  int stop_reason = 0;      // -mls: 1 to 5
  int model_calls = 0;
};

// The modes with the given model; argv as for slm_dru. 0 after a completed
// search or a stop request, else 1 (the message has been printed).
int run_ms_mode(int argc, char** argv, toolbox_model& model, global_outcome* outcome = nullptr);
int run_mlsl_mode(int argc, char** argv, toolbox_model& model, global_outcome* outcome = nullptr);
int run_tr_mode(int argc, char** argv, toolbox_model& model, global_outcome* outcome = nullptr);

}  // namespace nivra
