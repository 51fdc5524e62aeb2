// One model run of a toolbox search. The search writes the trial values
// of every parameter to "values.in" (the value file of the replacement
// keys that "nivra.in" lists), a toolbox_model runs the model on them, and
// the instruction files read the outputs back into one slot of the
// observations. The searches only see toolbox_model, so a test or a
// benchmark may put a function in place of the watershed model.
#pragma once

#include <string>
#include <string_view>

#include "core/arrays.h"
#include "toolbox/toolbox_control.h"

namespace nivra {

struct toolbox_streams;

// The value file of the searches.
inline constexpr std::string_view toolbox_values_file = "values.in";

// A search told to stop by the stop file returns this code; the toolbox
// then ends with exit status 0.
inline constexpr int toolbox_stop_requested = -100;

class toolbox_model {
 public:
  virtual ~toolbox_model() = default;
  // Runs the model once on the values in "values.in"; true when the run
  // ended normally and its output files may be read.
  virtual bool run(const pest_control& pc) = 0;
};

// The watershed model: one full run of the control file's project with the
// search's mode word (which quiets its console), then the post-run program
// when one is given, started without a shell. A run stopped by an error, a
// post-run program that cannot be started or ends with a status other than
// 0, is a failed run.
class nivra_model final : public toolbox_model {
 public:
  explicit nivra_model(std::string mode_word) : mode_word_(std::move(mode_word)) {}
  bool run(const pest_control& pc) override;

 private:
  std::string mode_word_;
};

// The post-run program of the control file's model command line: none
// when the word is empty or "none".
bool post_run_given(const pest_control& pc);

// Runs the post-run program by its file name, with no arguments and no
// shell: a name without a folder that names a file of the working folder is
// started from there, any other name as given (a bare name is then looked
// for on the PATH). Its exit status, or -1 when it could not be started.
int run_post_program(std::string_view name);

// Writes "values.in": every parameter 1..npar as "%.7E " in model units
// (10 to the stored value for "log"). values holds the stored values. The
// code of the message reported when the file cannot be written, else 0.
int write_values_file(const pest_control& pc, const array1d<double>& values);

// The model runs of a search and their count.
class toolbox_runner {
 public:
  toolbox_runner(pest_control& pc, toolbox_streams& streams, toolbox_model& model)
      : pc_(pc), streams_(streams), model_(model) {}

  // One run on the stored values (1..npar): "values.in", the model, the
  // instruction files into model-value slot 0, 1 or 2 (every slot of a
  // failed run is set to NaN), then the stop file. Returns 0, the code of a
  // file that could not be written, the code of outputs the first run's
  // instructions cannot read, or toolbox_stop_requested. ok says whether
  // the run ended normally and its outputs were read: once a run has been
  // read, outputs that cannot be read make a failed run.
  int run(const array1d<double>& values, int slot, bool& ok);
  // The same with the parameters' current values.
  int run_current(int slot, bool& ok);

  int calls = 0;  // model runs made

 private:
  pest_control& pc_;
  toolbox_streams& streams_;
  toolbox_model& model_;
  array1d<double> current_;
  bool outputs_read_ = false;
};

// phi of model-value slot 0 or 1 with the prior information's share
// (prior_matrix nprior x n_adjustable); the group phis are set, and the
// observations' and the prior's shares when asked for. +infinity for a
// failed run (the group phis and shares are then left alone).
double search_phi(pest_control& pc, int slot, const array2d<double>& prior_matrix, bool ok,
                  double* measurement_phi = nullptr, double* prior_phi = nullptr);

// Every tied parameter takes its ratio to its parent's value.
void recompute_tied(pest_control& pc);

}  // namespace nivra
