#include "toolbox/toolbox_control.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/tokens.h"
#include "core/value_range.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

double param_rec::model_value() const { return is_log() ? std::pow(10.0, parval1) : parval1; }

int param_rec::on_bound() const {
  const double span = parubnd - parlbnd;
  auto near = [&](double bound) {
    return std::fabs(parval1 - bound) <= 1e-8 * std::max(std::fabs(bound), std::fabs(span));
  };
  if (parval1 <= parlbnd || near(parlbnd)) return -1;
  if (parval1 >= parubnd || near(parubnd)) return 1;
  return 0;
}

std::string control_file_name(std::string_view case_name) {
  std::string name(case_name);
  // Only the file part decides: a "." in a folder name is no extension.
  if (file_part(case_name).find('.') == std::string_view::npos) name += ".pst";
  return name;
}

namespace {

constexpr double big = std::numeric_limits<double>::max();
constexpr int big_int = std::numeric_limits<int>::max();

// Ranges of the control file's numbers.
constexpr value_range any_real = any_number;
constexpr value_range not_negative = from_to(0, big);
constexpr value_range positive = above_to(0, big);
constexpr value_range any_int = from_to(-big_int - 1.0, big_int);
constexpr value_range int_from_0 = from_to(0, big_int);
constexpr value_range int_from_1 = from_to(1, big_int);
constexpr value_range switch_01 = from_to(0, 1);

std::string describe(const value_range& r, bool whole) {
  if (r.hi < big && r.hi < big_int) return r.describe(whole);
  std::string text = whole ? "a whole number" : "a number";
  if (r.lo <= -big || (whole && r.lo <= -big_int - 1.0)) return text;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%g", r.lo);
  return text + (r.lo_open ? " above " : " of at least ") + buf;
}

// Positional reading of the control file: words separated by white space,
// with whole lines skipped between sections. The first fault is reported
// and every later call does nothing.
class control_reader {
 public:
  control_reader(std::string_view text, std::string file) : cur(text), file_(std::move(file)) {}

  text_cursor cur;
  int code = 0;

  // what names the item in messages ("the control data", "parameter k1").
  bool word(std::string& out, std::string_view what, int limit = toolbox_word_limit) {
    std::string_view w;
    if (!take(w, what)) return false;
    if (static_cast<int>(w.size()) > limit) {
      code = toolbox_report(toolbox_msg::item_too_long, w.substr(0, 40), file_, cur.word_line(),
                            limit);
      return false;
    }
    out.assign(w);
    return true;
  }

  bool integer(int& out, std::string_view item, std::string_view what, const value_range& r) {
    std::string_view w;
    if (!take(w, what)) return false;
    if (!whole_token_int(w, out) || !r.contains(out)) return bad(item, r, true);
    return true;
  }

  bool real(double& out, std::string_view item, std::string_view what, const value_range& r) {
    std::string_view w;
    if (!take(w, what)) return false;
    if (!whole_token_double(w, out) || !r.contains(out)) return bad(item, r, false);
    return true;
  }

  bool skip_lines(int n, std::string_view what) {
    for (int i = 0; i < n && !code; ++i)
      if (!cur.skip_line()) return incomplete(what);
    return !code;
  }

  bool incomplete(std::string_view what) {
    if (!code) code = toolbox_report(toolbox_msg::control_incomplete, what, file_);
    return false;
  }

  // A value that breaks a rule of its own (str1 says which).
  bool refuse(std::string_view rule, int line) {
    if (!code) code = toolbox_report(toolbox_msg::control_value, rule, file_, line);
    return false;
  }

  const std::string& file() const { return file_; }

 private:
  bool take(std::string_view& w, std::string_view what) {
    if (code) return false;
    if (!cur.next_word(w)) return incomplete(what);
    return true;
  }
  bool bad(std::string_view item, const value_range& r, bool whole) {
    return refuse(std::string(item) + " takes " + describe(r, whole), cur.word_line());
  }
  std::string file_;
};

bool read_control_data(control_reader& in, pest_control& pc) {
  const char* s = "control data";
  in.word(pc.rstfle, s);
  in.word(pc.pestmode, s);
  in.integer(pc.npar, "npar", s, int_from_1);
  in.integer(pc.nobs, "nobs", s, int_from_1);
  in.integer(pc.npargp, "npargp", s, int_from_0);
  in.integer(pc.nprior, "nprior", s, int_from_0);
  in.integer(pc.nobsgp, "nobsgp", s, int_from_1);
  in.integer(pc.ntplfle, "ntplfle", s, int_from_0);
  in.integer(pc.ninsfle, "ninsfle", s, int_from_0);
  in.word(pc.precis, s);
  in.word(pc.dpoint, s);
  in.integer(pc.numcom, "numcom", s, any_int);
  in.integer(pc.jacfile, "jacfile", s, any_int);
  in.integer(pc.messfile, "messfile", s, any_int);
  in.real(pc.rlambda1, "rlambda1", s, not_negative);
  in.real(pc.rlamfac, "rlamfac", s, positive);
  in.real(pc.phiratsuf, "phiratsuf", s, not_negative);
  in.real(pc.phiredlam, "phiredlam", s, not_negative);
  in.integer(pc.numlam, "numlam", s, int_from_1);
  in.real(pc.relparmax, "relparmax", s, positive);
  in.real(pc.facparmax, "facparmax", s, positive);
  in.real(pc.facorig, "facorig", s, not_negative);
  in.integer(pc.reserved_int, "the 23rd control value", s, any_int);
  in.real(pc.phiredswh, "phiredswh", s, not_negative);
  in.word(pc.reserved_word, s);
  in.integer(pc.noptmax, "noptmax", s, from_to(-1, big_int));
  in.real(pc.phiredstp, "phiredstp", s, not_negative);
  in.integer(pc.nphistp, "nphistp", s, int_from_1);
  in.integer(pc.nphinored, "nphinored", s, int_from_1);
  in.real(pc.relparstp, "relparstp", s, not_negative);
  in.integer(pc.nrelpar, "nrelpar", s, int_from_1);
  in.integer(pc.icov, "icov", s, any_int);
  in.integer(pc.icor, "icor", s, any_int);
  in.integer(pc.ieig, "ieig", s, any_int);
  in.integer(pc.slm_method, "the search method", s, switch_01);
  in.integer(pc.full_update, "the full update switch", s, switch_01);
  in.real(pc.full_update_ratio, "the full update ratio", s, not_negative);
  in.integer(pc.cyclic_columns, "the cyclic update columns", s, int_from_0);
  in.real(pc.near_min_distance, "the near-minimum distance", s, not_negative);
  in.word(pc.model_project, s);
  return in.code == 0;
}

// The section header after the control data: the singular value
// decomposition section when its header says so, then the groups' header.
bool read_svd_section(control_reader& in, pest_control& pc) {
  if (!in.skip_lines(1, "singular value decomposition or parameter groups")) return false;
  std::string_view header = in.cur.rest_of_line();
  if (!in.skip_lines(1, "parameter groups")) return false;
  if (header.size() >= 10 && header.substr(2, 8) == "singular") {
    const char* s = "singular value decomposition";
    in.integer(pc.svdmode, "svdmode", s, int_from_0);
    in.integer(pc.maxsing, "maxsing", s, int_from_0);
    in.real(pc.eigthresh, "eigthresh", s, not_negative);
    in.integer(pc.eigwrite, "eigwrite", s, int_from_0);
    in.skip_lines(2, "parameter groups");
  }
  return in.code == 0;
}

bool read_param_groups(control_reader& in, pest_control& pc) {
  const char* s = "parameter groups";
  pc.param_groups.assign(1, param_group{});
  for (int i = 1; i <= pc.npargp && !in.code; ++i) {
    param_group g;
    in.word(g.pargpnme, s);
    std::string who = "group " + g.pargpnme + ": ";
    in.word(g.inctyp, s);
    in.real(g.derinc, who + "derinc", s, positive);
    in.real(g.derinclb, who + "derinclb", s, not_negative);
    in.word(g.forcen, s);
    in.real(g.derincmul, who + "derincmul", s, positive);
    in.word(g.dermthd, s);
    pc.param_groups.push_back(std::move(g));
  }
  return in.skip_lines(2, "parameter data");
}

bool read_params(control_reader& in, pest_control& pc) {
  const char* s = "parameter data";
  pc.params.assign(1, param_rec{});
  std::vector<int> lines(1, 0);
  for (int i = 1; i <= pc.npar && !in.code; ++i) {
    param_rec p;
    in.word(p.parnme, s);
    std::string who = p.parnme + ": ";
    in.word(p.partrans, s);
    in.word(p.parchglim, s);
    in.real(p.parval1, who + "parval1", s, any_real);
    lines.push_back(in.cur.word_line());
    in.real(p.parlbnd, who + "parlbnd", s, any_real);
    in.real(p.parubnd, who + "parubnd", s, any_real);
    in.word(p.pargp, s);
    in.real(p.scale, who + "scale", s, any_real);
    in.real(p.offset, who + "offset", s, any_real);
    in.integer(p.dercom, who + "dercom", s, any_int);
    pc.params.push_back(std::move(p));
  }
  if (in.code) return false;
  for (int i = 1; i <= pc.npar; ++i) {
    param_rec& p = pc.params[i];
    if (p.is_log() && (p.parval1 <= 0 || p.parlbnd <= 0 || p.parubnd <= 0)) {
      in.code = toolbox_report(toolbox_msg::log_not_positive, p.parnme);
      return false;
    }
    if (!(p.parlbnd <= p.parval1 && p.parval1 <= p.parubnd))
      return in.refuse(p.parnme + " lies outside its bounds", lines[i]);
    if (p.is_log()) {
      p.parval1 = std::log10(p.parval1);
      p.parlbnd = std::log10(p.parlbnd);
      p.parubnd = std::log10(p.parubnd);
    }
  }
  for (int i = 1; i <= pc.npar && !in.code; ++i) {
    param_rec& p = pc.params[i];
    if (!p.is_tied()) continue;
    in.word(p.tied_name, "tied parameters");
    in.word(p.tied_parent, "tied parameters");
    if (!in.code && p.tied_name != p.parnme)
      in.refuse("the tie of " + p.parnme + " names " + p.tied_name, in.cur.word_line());
  }
  for (int i = 1; i <= pc.npar; ++i) {
    param_rec& p = pc.params[i];
    p.at_upper = p.parval1 == p.parubnd ? 1 : 0;
    p.at_lower = p.parval1 == p.parlbnd ? 1 : 0;
  }
  return in.skip_lines(2, "observation groups");
}

bool is_obs_group(const pest_control& pc, const std::string& name) {
  for (std::size_t g = 1; g < pc.obs_groups.size(); ++g)
    if (pc.obs_groups[g].obgnme == name) return true;
  return false;
}

bool read_observations(control_reader& in, pest_control& pc) {
  pc.obs_groups.assign(1, obs_group{});
  for (int g = 1; g <= pc.nobsgp && !in.code; ++g) {
    obs_group og;
    in.word(og.obgnme, "observation groups");
    pc.obs_groups.push_back(std::move(og));
  }
  if (!in.skip_lines(2, "observation data")) return false;
  const char* s = "observation data";
  pc.observations.assign(1, obs_rec{});
  for (int i = 1; i <= pc.nobs && !in.code; ++i) {
    obs_rec o;
    in.word(o.obsnme, s);
    std::string who = o.obsnme + ": ";
    in.real(o.obsval, who + "obsval", s, any_real);
    in.real(o.weight, who + "weight", s, not_negative);
    in.word(o.obgnme, s);
    if (!in.code && !is_obs_group(pc, o.obgnme))
      in.refuse(o.obsnme + " is in no observation group", in.cur.word_line());
    pc.observations.push_back(std::move(o));
  }
  return in.skip_lines(2, "model command line");
}

bool read_model_files(control_reader& in, pest_control& pc) {
  in.word(pc.pre_batch, "model command line");
  in.word(pc.post_batch, "model command line", toolbox_batch_word_limit);
  if (!in.skip_lines(2, "model input/output")) return false;
  const char* s = "model input/output";
  pc.templates.assign(1, template_pair{});
  for (int i = 1; i <= pc.ntplfle && !in.code; ++i) {
    template_pair t;
    in.word(t.template_file, s);
    in.word(t.model_input, s);
    pc.templates.push_back(std::move(t));
  }
  pc.instructions.assign(1, instruction_pair{});
  for (int i = 1; i <= pc.ninsfle && !in.code; ++i) {
    instruction_pair t;
    in.word(t.instruction_file, s);
    in.word(t.model_output, s);
    pc.instructions.push_back(std::move(t));
  }
  return in.skip_lines(2, "prior information");
}

bool is_param(const pest_control& pc, const std::string& name) {
  for (int i = 1; i <= pc.npar; ++i)
    if (pc.params[i].parnme == name) return true;
  return false;
}

// A prior term's name: log(name) stands for the parameter itself.
bool term_name(std::string_view word, std::string& name) {
  std::size_t open = word.find('(');
  if (word.find("log") != std::string_view::npos && open != std::string_view::npos) {
    std::size_t close = word.find(')', open + 1);
    if (close == std::string_view::npos) return false;
    name.assign(word.substr(open + 1, close - open - 1));
  } else {
    name.assign(word);
  }
  return true;
}

// One equation: label, terms "factor * name" joined by + or -, then = (or
// any word), the value, the weight and the group; the rest of the line is
// skipped.
bool read_prior(control_reader& in, pest_control& pc, prior_rec& pr) {
  const char* s = "prior information";
  const int line = in.cur.line();
  int stars = 0;
  for (char c : in.cur.rest_of_line()) stars += c == '*';
  auto format_fault = [&] {
    if (!in.code) in.code = toolbox_report(toolbox_msg::prior_format, {}, in.file(), line);
    return false;
  };
  if (!in.word(pr.pilbl, s)) return false;
  if (stars == 0) return format_fault();
  pr.n_terms = stars;
  pr.pifac.assign(stars + 1, 0.0);
  pr.term_name.assign(stars + 1, std::string());
  std::string join, star, name;
  for (int j = 1; j <= stars; ++j) {
    std::string factor;
    if (!in.word(factor, s)) return false;
    double f = 0.0;
    if (!whole_token_double(factor, f) || !std::isfinite(f)) return format_fault();
    if (j > 1 && join == "-") f = -f;
    pr.pifac[j] = f;
    if (!in.word(star, s)) return false;
    if (star != "*") return format_fault();
    if (!in.word(name, s)) return false;
    if (!term_name(name, pr.term_name[j])) return format_fault();
    if (!is_param(pc, pr.term_name[j]))
      return in.refuse("the prior term " + pr.term_name[j] + " is no parameter", line);
    if (!in.word(join, s)) return false;
  }
  std::string who = pr.pilbl + ": ";
  in.real(pr.pival, who + "pival", s, any_real);
  in.real(pr.weight, who + "weight", s, not_negative);
  in.word(pr.obgnme, s);
  if (in.code) return false;
  if (!is_obs_group(pc, pr.obgnme))
    return in.refuse(pr.pilbl + " is in no observation group", line);
  in.cur.skip_line();
  return true;
}

bool read_priors(control_reader& in, pest_control& pc) {
  pc.priors.assign(1, prior_rec{});
  for (int k = 1; k <= pc.nprior && !in.code; ++k) {
    prior_rec pr;
    if (!read_prior(in, pc, pr)) return false;
    pc.priors.push_back(std::move(pr));
  }
  return in.code == 0;
}

// The regularisation values close the file. A file that ends before them
// leaves them 0, except in regularisation mode, which needs them.
bool read_regularisation(control_reader& in, pest_control& pc) {
  std::string_view probe;
  text_cursor ahead = in.cur;
  if (!ahead.next_word(probe)) {
    if (pc.regularisation_mode()) return in.incomplete("regularisation");
    return true;
  }
  if (!in.skip_lines(1, "regularisation")) return false;
  const char* s = "regularisation";
  in.real(pc.phimlim, "phimlim", s, not_negative);
  in.real(pc.phimaccept, "phimaccept", s, not_negative);
  in.real(pc.fracphim, "fracphim", s, not_negative);
  in.real(pc.wfinit, "wfinit", s, not_negative);
  in.real(pc.wfmin, "wfmin", s, not_negative);
  in.real(pc.wfmax, "wfmax", s, not_negative);
  in.real(pc.wffac, "wffac", s, not_negative);
  in.real(pc.wftol, "wftol", s, not_negative);
  pc.reg_weight = pc.wfinit;
  return in.code == 0;
}

int write_key_list(const pest_control& pc, guarded_file& list) {
  std::fprintf(list.fp, "%d\n", pc.npar);
  for (int i = 1; i <= pc.npar; ++i)
    std::fprintf(list.fp, "[%s] \"%s\"\n", pc.params[i].parnme.c_str(), "%16.8lf");
  return 0;
}

}  // namespace

int read_control_file(pest_control& pc, std::string_view case_name, std::string_view list_file) {
  pc = pest_control{};
  guarded_file list;
  if (!open_toolbox_file(list, list_file, "w"))
    return toolbox_report(toolbox_msg::write_file, {}, list_file);
  const std::string file = control_file_name(case_name);
  std::string text;
  if (!read_text_file(file, text)) return toolbox_report(toolbox_msg::open_control, {}, file);

  control_reader in(text, file);
  for (auto& line : pc.header_line) {
    line.assign(in.cur.rest_of_line());
    if (!line.empty() && line.back() == '\r') line.pop_back();
    in.cur.skip_line();
  }
  if (!read_control_data(in, pc) || !read_svd_section(in, pc) ||
      !read_param_groups(in, pc) || !read_params(in, pc))
    return in.code;
  write_key_list(pc, list);
  if (!read_observations(in, pc) || !read_model_files(in, pc) || !read_priors(in, pc) ||
      !read_regularisation(in, pc))
    return in.code;
  return 0;
}

int slm_count_params(pest_control& pc) {
  pc.n_adjustable = pc.n_fixed = pc.n_tied = pc.n_frozen = pc.n_iw = 0;
  for (int i = 1; i <= pc.npar; ++i) {
    param_rec& p = pc.params[i];
    p.iw_flag = 0;
    if (p.is_tied()) {
      ++pc.n_tied;
    } else if (p.is_fixed()) {
      ++pc.n_fixed;
    } else {
      ++pc.n_adjustable;
      if (p.parnme.starts_with("iw_")) {
        p.iw_flag = 1;
        ++pc.n_iw;
        p.iw_name = p.parnme.substr(3);
      }
    }
  }
  return 0;
}

int slm_tied_setup(pest_control& pc) {
  for (int i = 1; i <= pc.npar; ++i) {
    pc.params[i].tie_parent_index = 0;
    pc.params[i].tie_ratio = 1.0;
  }
  if (pc.n_tied <= 0) return 0;
  for (int i = 1; i <= pc.npar; ++i) {
    param_rec& p = pc.params[i];
    if (!p.is_tied()) continue;
    int parent = 0;
    for (int k = 1; k <= pc.npar && !parent; ++k)
      if (pc.params[k].parnme == p.tied_parent) parent = k;
    if (!parent) return toolbox_report(toolbox_msg::tied_parent_missing, p.parnme, p.tied_parent);
    const double base = pc.params[parent].model_value();
    if (base == 0.0) return toolbox_report(toolbox_msg::tied_parent_zero, p.parnme, p.tied_parent);
    p.tie_parent_index = parent;
    p.tie_ratio = p.parval1 / base;
  }
  return 0;
}

int slm_last_adjustable(const pest_control& pc, array1d<int>& list) {
  int n = 0;
  for (int i = 1; i <= pc.npar; ++i) n += pc.params[i].is_adjustable();
  list.alloc(n);
  int k = 0;
  for (int i = 1; i <= pc.npar; ++i)
    if (pc.params[i].is_adjustable()) list[++k] = i;
  return 0;
}

}  // namespace nivra
