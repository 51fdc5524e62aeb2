// The control record of the parameter-estimation toolbox and its reader.
//
// The gradient searches (-slm, -ms, -mls, -t) take every setting from one
// control file in the PEST layout: control data, an optional singular value
// decomposition section, parameter groups, parameters (with their log
// transforms and ties), observation groups, observations, the model command
// line, the template and instruction file pairs, prior information
// equations and the regularisation values. read_control_file fills a
// pest_control from it and writes the key list "nivra.in" through which the
// model takes the trial values of the parameters.
//
// Every routine that meets bad input reports a numbered message at once
// (set_error and report_error) and returns its code; 0 is success. A caller
// ends the toolbox run with exit status 1 on any non-zero code.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"

namespace nivra {

// Longest name or word of the control, template and instruction files; the
// second word of the model command line may be longer.
inline constexpr int toolbox_word_limit = 99;
inline constexpr int toolbox_batch_word_limit = 199;

struct param_group {
  std::string pargpnme;
  std::string inctyp;
  double derinc = 0.0;
  double derinclb = 0.0;
  std::string forcen;   // "always_2", "always_3", "switch"
  double derincmul = 0.0;
  std::string dermthd;  // "parabolic", "outside_pts", "best_fit"
};

struct param_rec {
  std::string parnme;     // also the replacement key
  std::string partrans;   // "log", "fixed", "tied"; any other word: adjustable
  std::string parchglim;
  double parval1 = 0.0;   // current value; its base-10 logarithm for "log"
  double parlbnd = 0.0;   // bounds, logarithms for "log"
  double parubnd = 0.0;
  std::string pargp;
  double scale = 1.0;
  double offset = 0.0;
  int dercom = 1;
  std::string tied_name;
  std::string tied_parent;
  int tie_parent_index = 0;  // set by slm_tied_setup
  double tie_ratio = 1.0;
  int at_upper = 0;          // the value sits on its upper (lower) bound
  int at_lower = 0;
  int iw_flag = 0;           // set by slm_count_params
  std::string iw_name;

  // Working fields of a search.
  double prev_value = 0.0;   // parval1 at the start of the iteration
  int frozen = 0;
  int no_effect = 0;
  double sensitivity = 0.0;
  int derivative_failed = 0;  // this iteration's column: every derivative run failed
  int columns_made = 0;       // columns of the search computed from runs that ended normally
  int columns_failed = 0;     // columns of the search whose every derivative run failed

  bool is_log() const { return partrans == "log"; }
  bool is_tied() const { return partrans == "tied"; }
  bool is_fixed() const { return partrans == "fixed"; }
  bool is_adjustable() const { return !is_tied() && !is_fixed(); }
  // The value in model units: 10 to the stored value for "log".
  double model_value() const;
  // -1 when the value lies on its lower bound, 1 on its upper bound, else 0
  // (within 1e-8 of the larger of the bound's size and the bounds' span).
  int on_bound() const;
  // Columns were tried and none was made: every derivative run failed.
  bool never_estimated() const { return columns_failed > 0 && columns_made == 0; }
};

struct obs_group {
  std::string obgnme;
  double phi = 0.0;  // the group's contribution to phi
};

struct obs_rec {
  std::string obsnme;
  double obsval = 0.0;
  double weight = 0.0;
  std::string obgnme;
  // Slot 0: outputs at the current parameters; 1: the latest trial or first
  // derivative run; 2: the second derivative run.
  std::array<double, 3> model_value{};
};

// One prior information equation: sum of pifac[j] x term_name[j] = pival.
struct prior_rec {
  std::string pilbl;
  std::vector<double> pifac;            // 1-based, n_terms + 1 entries
  std::vector<std::string> term_name;   // 1-based, n_terms + 1 entries
  int n_terms = 0;
  double pival = 0.0;
  double weight = 0.0;
  std::string obgnme;
};

// A template file and the model input file it stands for. The template is
// indexed (delimiter positions, the parameter of every space) and checked.
struct template_pair {
  std::string template_file;
  std::string model_input;
  std::vector<int> space_param;   // 1-based: parameter index of each space
  int n_spaces = 0;
  std::vector<long> delim_pos;    // 1-based: file offset just after each delimiter
};

struct instruction_pair {
  std::string instruction_file;
  std::string model_output;
};

struct pest_control {
  std::array<std::string, 2> header_line;  // lines 1 and 2 as read

  // Control data, in file order.
  std::string rstfle;    // "restart" keeps a restart file
  std::string pestmode;  // "estimation", "regularisation"/"regularization", "prediction"
  int n_adjustable = 0, n_fixed = 0, n_tied = 0;  // set by slm_count_params
  int n_frozen = 0;
  int npar = 0, nobs = 0, npargp = 0, nprior = 0, nobsgp = 0;
  int ntplfle = 0, ninsfle = 0;
  std::string precis, dpoint;
  int numcom = 0, jacfile = 0, messfile = 0;
  double rlambda1 = 0.0;  // initial Marquardt lambda; the search keeps the current one here
  double rlamfac = 0.0;
  double phiratsuf = 0.0;
  double phiredlam = 0.0;
  int numlam = 0;
  double relparmax = 0.0, facparmax = 0.0, facorig = 0.0;
  int reserved_int = 0;
  double phiredswh = 0.0;
  std::string reserved_word;
  int noptmax = 0;
  double phiredstp = 0.0;
  int nphistp = 0, nphinored = 0;
  double relparstp = 0.0;
  int nrelpar = 0;
  int icov = 0, icor = 0, ieig = 0;
  int slm_method = 0;        // 0 Levenberg-Marquardt, 1 secant (SLM)
  int full_update = 0;
  double full_update_ratio = 0.0;
  int cyclic_columns = 0;
  double near_min_distance = 0.0;
  int mlsl_sample_size = 0;  // filled from the multi-level search's own file
  double mlsl_reduction = 0.0, mlsl_sigma = 0.0, mlsl_end_distance = 0.0;
  std::string model_project;

  // Singular value decomposition section (when present).
  int svdmode = 0, maxsing = 0;
  double eigthresh = 0.0;
  int eigwrite = 0;

  // 1-based tables.
  std::vector<param_group> param_groups;
  std::vector<param_rec> params;
  std::vector<obs_group> obs_groups;
  std::vector<obs_rec> observations;
  std::string pre_batch;    // printed only
  std::string post_batch;   // run through the command shell after every model run
  std::vector<template_pair> templates;
  std::vector<instruction_pair> instructions;
  std::vector<prior_rec> priors;

  // Regularisation.
  double phimlim = 0.0, phimaccept = 0.0, fracphim = 0.0;
  double reg_weight = 0.0;  // working weight factor, wfinit after reading
  double wfinit = 0.0, wfmin = 0.0, wfmax = 0.0, wffac = 0.0, wftol = 0.0;

  int n_iw = 0;  // adjustable parameters whose name begins "iw_"

  // Working fields of a search.
  int n_no_effect = 0;
  double phi_ratio = 0.0;

  bool regularisation_mode() const {
    return pestmode == "regularisation" || pestmode == "regularization";
  }
};

// The control file of a case: the name as given when its file part holds a
// ".", else the name with ".pst".
std::string control_file_name(std::string_view case_name);

// Reads the control file of the case into pc and writes the key list
// (list_file, "nivra.in" for the searches): the count of parameters, then
// one line "[name] "%16.8lf"" per parameter. "log" parameters are stored as
// base-10 logarithms of their value and bounds. 0, or the code of the
// message reported.
int read_control_file(pest_control& pc, std::string_view case_name,
                      std::string_view list_file = "nivra.in");

// Counts adjustable, fixed, tied and "iw_" parameters; 0.
int slm_count_params(pest_control& pc);

// Finds the parent of every tied parameter and its ratio to it; 0, or the
// code of the message reported for a parent that is no parameter or is 0.
int slm_tied_setup(pest_control& pc);

// Makes list hold, in entries 1, 2, ..., the index of every adjustable
// parameter in control-file order; 0.
int slm_last_adjustable(const pest_control& pc, array1d<int>& list);

}  // namespace nivra
