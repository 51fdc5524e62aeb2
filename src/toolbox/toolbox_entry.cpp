// The preparation every toolbox mode shares, and the -slm mode: one local
// search from the parameter values of the control file.
#include "toolbox/toolbox_entry.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "run/steps.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_search.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

namespace {

// Every parameter's starting value within its bounds (logarithms for "log"
// parameters, as the record holds them); each one outside is named.
bool starting_values_inside(const pest_control& pc) {
  int outside = 0;
  for (int i = 1; i <= pc.npar; ++i) {
    const param_rec& p = pc.params[i];
    if (p.parlbnd > p.parval1 || p.parval1 > p.parubnd) {
      ++outside;
      std::printf("\nThe intial value for the following parameter is outside of its specified bounds: %s",
                  p.parnme.c_str());
    }
  }
  if (outside == 0) return true;
  std::printf("\nModify the input control file and try again.");
  std::printf("\n");
  return false;
}

}  // namespace

bool open_search_file(guarded_file& f, const std::string& name, const char* mode) {
  if (open_toolbox_file(f, name, mode)) return true;
  if (mode[0] == 'r') toolbox_report(toolbox_msg::open_control, {}, name);
  else toolbox_report(toolbox_msg::write_file, {}, name);
  return false;
}

bool finish_search_file(guarded_file& f, const std::string& name) {
  if (!f.fp) return true;
  if (std::fflush(f.fp) == 0 && !std::ferror(f.fp)) return true;
  toolbox_report(toolbox_msg::write_file, {}, name);
  return false;
}

int open_toolbox_case(int argc, char** argv, const char* prediction_refusal, toolbox_case& c) {
  c.case_name = argv[2];
  pest_control& pc = c.pc;
  if (read_control_file(pc, c.case_name) != 0 || open_template_files(pc, c.streams) != 0 ||
      read_template_files(pc, c.streams) != 0 || open_instruction_files(pc, c.streams) != 0 ||
      check_observations_read(pc, c.streams) != 0)
    return 1;
  // A stop request left from an earlier search is dropped.
  remove_file("pest.stp");

  if (pc.pestmode == "prediction") {
    std::fputs(prediction_refusal, stdout);
    return 1;
  }
  slm_count_params(pc);
  if (pc.n_adjustable == 0) {
    std::printf("\n\n");
    std::printf("The number of adjustable model parameters is zero. \n");
    std::printf("Modify the input control file and try again. \n");
    std::printf("\n\n");
    return 1;
  }
  if (!starting_values_inside(pc)) return 1;
  if (slm_tied_setup(pc) != 0) return 1;
  c.names = files_names_for_write(c.case_name);

  c.restart = argc > 3 && std::string_view(argv[3]) == "/r";
  const char* mode = c.restart ? "a" : "w";
  if (!open_search_file(c.rec, c.names.rec, mode) || !open_search_file(c.sen, c.names.sen, mode) ||
      !open_search_file(c.mtt, c.names.mtt, "w") || !open_search_file(c.par, c.names.par, "w"))
    return 1;
  return 0;
}

int run_slm_mode(int argc, char** argv, toolbox_model& model, search_outcome* outcome) {
  if (argc < 3) {
    std::printf("\n");
    std::printf("No command line arguments.\n");
    std::printf("At the command prompt, please also enter the name\n");
    std::printf("of the input control file following the program name, slm_dru.\n");
    return 1;
  }
  toolbox_case c;
  if (open_toolbox_case(argc, argv,
                        "\n"
                        "Currently, slm_dru does not support prediction capabilities similar to that within the PEST.\n"
                        "Please change the MODE parameter in the control\n"
                        "file to 'estimation' or 'regularization' and recommence execution of slm_dru.\n"
                        "\n",
                        c) != 0)
    return 1;
  pest_control& pc = c.pc;
  std::printf("\nUsing the %s local search method,\n",
              pc.slm_method == 1 ? "secant Levenberg-Marquardt" : "Levenberg-Marquardt");
  std::printf("as implemented directly in NIVRA, to calibrate the current NIVRA model.\n");
  slm_record_header(c.case_name, pc, c.rec.fp);

  search_outcome own;
  search_outcome& result = outcome ? *outcome : own;
  int code = 0;
  if (pc.pestmode == "estimation") {
    code = slm_optimise(pc, c.restart, c.names, c.rec.fp, c.sen.fp, c.par.fp, c.streams, model, &result);
    // A search that ended with a parameter it could not estimate, or with
    // outputs that answer no parameter, did not do what was asked.
    if (code == 0 && (result.not_estimated > 0 || result.no_response)) code = 1;
  } else {
    // No search was made: the run must not look like a finished one.
    std::printf("\nThe toolbox searches in the mode 'estimation' only: the mode '%s' of %s runs no "
                "model.\n",
                pc.pestmode.c_str(), control_file_name(c.case_name).c_str());
    code = 1;
  }
  close_template_files(c.streams);
  close_instruction_files(c.streams);
  if (code == toolbox_stop_requested) return 0;
  return code != 0 ? 1 : 0;
}

int slm_dru(int argc, char** argv) {
  nivra_model model(argc > 1 ? argv[1] : "");
  return run_slm_mode(argc, argv, model);
}

}  // namespace nivra
