#include "model/model_state.h"

#include "core/process.h"
#include "core/replace.h"
#include "core/time_series.h"

namespace nivra {

// Every member carries its initial value; building allocates nothing beyond
// the empty containers.
model_state::model_state() = default;

model_state::~model_state() {
  // The error reporter must not write into a summary file that is going.
  if (process.summary_log == &summary_file) process.summary_log = nullptr;

  // Lists kept process-wide for the readers but filled again by every run.
  ts_free_all();
  free_replace_params();

  // The nutrient container, before the members it was built around.
  nsm_model = nullptr;
  project_options.nsm_model.reset();

  // The members follow in reverse order: each array frees itself, each file
  // closes itself, each checked array reports a bad range on the way.
}

std::unique_ptr<model_state> make_model_state() { return std::make_unique<model_state>(); }

}  // namespace nivra
