// The -slm mode: one local search from the parameter values of the
// control file.
#include <cstdio>
#include <string>
#include <string_view>

#include "core/guarded_file.h"
#include "core/platform.h"
#include "run/steps.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_search.h"
#include "toolbox/toolbox_templates.h"
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

bool open_output(guarded_file& f, const std::string& name, const char* mode) {
  if (open_toolbox_file(f, name, mode)) return true;
  toolbox_report(toolbox_msg::write_file, {}, name);
  return false;
}

}  // namespace

int run_slm_mode(int argc, char** argv, toolbox_model& model, search_outcome* outcome) {
  if (argc < 3) {
    std::printf("\n");
    std::printf("No command line arguments.\n");
    std::printf("At the command prompt, please also enter the name\n");
    std::printf("of the input control file following the program name, slm_dru.\n");
    return 1;
  }
  std::printf("\nUsing the (Secant) Levenberg-Marquardt local search method,\n");
  std::printf("as implemented directly in NIVRA, to calibrate the current NIVRA model.\n");

  const std::string case_name(argv[2]);
  pest_control pc;
  toolbox_streams streams;
  if (read_control_file(pc, case_name) != 0 || open_template_files(pc, streams) != 0 ||
      read_template_files(pc, streams) != 0 || open_instruction_files(pc, streams) != 0)
    return 1;
  // A stop request left from an earlier search is dropped.
  remove_file("pest.stp");

  if (pc.pestmode == "prediction") {
    std::printf("\n");
    std::printf("Currently, slm_dru does not support prediction capabilities similar to that within the PEST.\n");
    std::printf("Please change the MODE parameter in the control\n");
    std::printf("file to 'estimation' or 'regularization' and recommence execution of slm_dru.\n");
    std::printf("\n");
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
  const toolbox_file_names names = files_names_for_write(case_name);

  // A restart appends to the record and sensitivity files of the case.
  const bool restart = argc > 3 && std::string_view(argv[3]) == "/r";
  const char* mode = restart ? "a" : "w";
  guarded_file rec, sen, mtt, par;
  if (!open_output(rec, names.rec, mode) || !open_output(sen, names.sen, mode) ||
      !open_output(mtt, names.mtt, "w") || !open_output(par, names.par, "w"))
    return 1;
  slm_record_header(case_name, pc, rec.fp);

  int code = 0;
  if (pc.pestmode == "estimation") {
    code = slm_optimise(pc, restart, names, rec.fp, sen.fp, par.fp, streams, model, outcome);
  } else {
    std::printf("\nThe toolbox searches in the mode 'estimation' only: the mode '%s' of %s runs no "
                "model.\n",
                pc.pestmode.c_str(), control_file_name(case_name).c_str());
  }
  close_template_files(streams);
  close_instruction_files(streams);
  if (code == toolbox_stop_requested) return 0;
  return code != 0 ? 1 : 0;
}

int slm_dru(int argc, char** argv) {
  nivra_model model(argc > 1 ? argv[1] : "");
  return run_slm_mode(argc, argv, model);
}

}  // namespace nivra
