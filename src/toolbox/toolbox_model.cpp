#include "toolbox/toolbox_model.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/process.h"
#include "run/driver.h"
#include "toolbox/toolbox_records.h"
#include "toolbox/toolbox_restart.h"
#include "toolbox/toolbox_templates.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

bool post_run_given(const pest_control& pc) {
  return !pc.post_batch.empty() && pc.post_batch != "none";
}

int run_post_program(std::string_view name) {
  std::string program(name);
  std::error_code ec;
  if (file_part(name).size() == name.size() && std::filesystem::is_regular_file(os_path(name), ec))
    program = "./" + program;
  return run_program({program});
}

bool nivra_model::run(const pest_control& pc) {
  const int code = run_simulation(pc.model_project, nullptr, mode_word_);
  if (code != 0 || process.error_block.stop) {
    std::printf("The model run of %s stopped with an error.\n", pc.model_project.c_str());
    return false;
  }
  if (!post_run_given(pc)) return true;
  const int status = run_post_program(pc.post_batch);
  if (status == 0) return true;
  if (status < 0)
    std::printf("Error: the post-run program %s could not be started.\n", pc.post_batch.c_str());
  else
    std::printf("Error: the post-run program %s ended with status %d.\n", pc.post_batch.c_str(),
                status);
  return false;
}

int write_values_file(const pest_control& pc, const array1d<double>& values) {
  // A new file rather than the old one truncated: some file systems flush a
  // file truncated and written again when it is closed, which would make
  // every model run wait for the disk.
  remove_file(toolbox_values_file);
  guarded_file f;
  if (!open_toolbox_file(f, toolbox_values_file, "w"))
    return toolbox_report(toolbox_msg::write_file, {}, toolbox_values_file);
  for (int i = 1; i <= pc.npar; ++i)
    std::fprintf(f.fp, "%.7E ", pc.params[i].is_log() ? std::pow(10.0, values[i]) : values[i]);
  if (std::fflush(f.fp) != 0 || std::ferror(f.fp))
    return toolbox_report(toolbox_msg::write_file, {}, toolbox_values_file);
  return 0;
}

int toolbox_runner::run(const array1d<double>& values, int slot, bool& ok) {
  ok = false;
  if (const int code = write_values_file(pc_, values)) return code;
  ok = model_.run(pc_);
  ++calls;
  const auto s = static_cast<std::size_t>(slot);
  for (int f = 1; ok && f <= pc_.ninsfle; ++f) {
    const int code = slm_read_instructions(pc_, streams_, f, slot);
    if (code == 0) continue;
    // Outputs that do not fit the instructions after the first run are
    // those of a run that went wrong (a value that is no finite number).
    if (!outputs_read_) return code;
    std::printf("The outputs of this model run cannot be read: the run counts as failed.\n");
    ok = false;
  }
  if (ok) {
    outputs_read_ = true;
  } else {
    for (int i = 1; i <= pc_.nobs; ++i)
      pc_.observations[i].model_value[s] = std::numeric_limits<double>::quiet_NaN();
  }
  if (check_stop_file() != stop_request::go_on) return toolbox_stop_requested;
  return 0;
}

int toolbox_runner::run_current(int slot, bool& ok) {
  if (current_.size() != pc_.npar) current_.alloc(pc_.npar);
  for (int i = 1; i <= pc_.npar; ++i) current_[i] = pc_.params[i].parval1;
  return run(current_, slot, ok);
}

double search_phi(pest_control& pc, int slot, const array2d<double>& prior_matrix, bool ok,
                  double* measurement_phi, double* prior_phi) {
  if (!ok) return std::numeric_limits<double>::infinity();
  double measured = 0.0, prior = 0.0;
  slm_phi_by_group(pc, slot, measured);
  if (pc.nprior > 0) slm_param_vector(pc, prior_matrix, prior);
  if (measurement_phi) *measurement_phi = measured;
  if (prior_phi) *prior_phi = prior;
  return measured + prior;
}

void recompute_tied(pest_control& pc) {
  for (int i = 1; i <= pc.npar; ++i) {
    param_rec& p = pc.params[i];
    if (p.is_tied() && p.tie_parent_index > 0)
      p.parval1 = p.tie_ratio * pc.params[p.tie_parent_index].model_value();
  }
}

}  // namespace nivra
