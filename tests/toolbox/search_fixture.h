// Searches of the toolbox on analytic models: a toolbox_model that reads
// "values.in" and writes y = f(b, x) at every observation point to
// "model.out" (one value a line, read back by the instruction file
// "case.ins"), and a writer of the control file "case.pst" of such a
// problem. Every search of these tests goes through the -slm entry, the
// control, instruction and value files exactly as a watershed model's.
#pragma once

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_search.h"

namespace nivra::testing {

using model_function = std::function<double(const std::vector<double>& b, double x)>;

class analytic_model final : public toolbox_model {
 public:
  analytic_model(model_function f, std::vector<double> x) : f_(std::move(f)), x_(std::move(x)) {}

  bool run(const pest_control& pc) override {
    std::ifstream in{std::string(toolbox_values_file)};
    std::vector<double> b(static_cast<std::size_t>(pc.npar));
    for (double& v : b) in >> v;
    ++runs;
    calls.push_back(b);
    if (fails && fails(b)) return false;
    std::remove("model.out");  // written new, as write_values_file does
    std::FILE* out = std::fopen("model.out", "w");
    for (double x : x_) std::fprintf(out, "%.17g\n", f_(b, x));
    std::fclose(out);
    return true;
  }

  int runs = 0;
  std::vector<std::vector<double>> calls;  // the values of every run, in order
  std::function<bool(const std::vector<double>&)> fails;  // a run that fails

 private:
  model_function f_;
  std::vector<double> x_;
};

struct search_param {
  std::string name;
  double start = 0.0, lower = -1e10, upper = 1e10;
  std::string trans = "none";
  std::string group = "g";
};

struct search_settings {
  std::string inctyp = "relative";
  double derinc = 0.01;
  std::string forcen = "always_3";
  std::string dermthd = "outside_pts";
  double rlambda1 = 0.01, rlamfac = 2.0, phiratsuf = 0.3, phiredlam = 0.01;
  int numlam = 10;
  double phiredswh = 0.1;
  int noptmax = 200;
  double phiredstp = 1e-13;
  int nphistp = 4, nphinored = 4;
  double relparstp = 1e-12;
  int nrelpar = 4;
  int slm_method = 0, full_update = 0;
  double full_update_ratio = 0.5;
  int cyclic_columns = 1;
  double near_min_distance = 0.05;
  std::string rstfle = "norestart";
  std::string post = "none";
};

// The control file of a problem with observations y (weights w, 1 when
// empty), all in one group "obs".
inline std::string search_control(const std::vector<search_param>& params,
                                  const std::vector<double>& y, const search_settings& s,
                                  const std::vector<double>& w = {}) {
  std::ostringstream t;
  t.precision(17);
  t << "pcf\n* control data\n" << s.rstfle << " estimation\n";
  t << params.size() << " " << y.size() << " 1 0 1\n";
  t << "0 1 single point\n1 0 0\n";
  t << s.rlambda1 << " " << s.rlamfac << " " << s.phiratsuf << " " << s.phiredlam << " " << s.numlam << "\n";
  t << "10.0 10.0 0.001 0\n";
  t << s.phiredswh << " aui\n";
  t << s.noptmax << " " << s.phiredstp << " " << s.nphistp << " " << s.nphinored << " "
    << s.relparstp << " " << s.nrelpar << "\n";
  t << "1 1 1\n";
  t << s.slm_method << " " << s.full_update << " " << s.full_update_ratio << " " << s.cyclic_columns
    << " " << s.near_min_distance << "\n";
  t << "model.prj\n";
  t << "* parameter groups\n";
  t << "g " << s.inctyp << " " << s.derinc << " 0.0 " << s.forcen << " 2.0 " << s.dermthd << "\n";
  t << "* parameter data\n";
  for (const search_param& p : params)
    t << p.name << " " << p.trans << " relative " << p.start << " " << p.lower << " " << p.upper
      << " " << p.group << " 1.0 0.0 1\n";
  t << "* observation groups\nobs\n* observation data\n";
  for (std::size_t i = 0; i < y.size(); ++i)
    t << "o" << i + 1 << " " << y[i] << " " << (w.empty() ? 1.0 : w[i]) << " obs\n";
  t << "* model command line\nnivra " << s.post << "\n";
  t << "* model input/output\ncase.ins model.out\n";
  t << "* prior information\n";
  return t.str();
}

// The instruction file that reads one value a line.
inline std::string search_instructions(std::size_t count) {
  std::string text = "pif ~\n";
  for (std::size_t i = 1; i <= count; ++i) text += "!o" + std::to_string(i) + "!\n";
  return text;
}

// Writes case.pst and case.ins and runs the -slm entry (words "nivra",
// "-slm", "case", and "/r" for a restart); the entry's status.
inline int run_search_case(const std::vector<search_param>& params, const std::vector<double>& y,
                           const search_settings& s, toolbox_model& model, search_outcome& out,
                           bool restart = false, const std::vector<double>& w = {}) {
  write_file("case.pst", search_control(params, y, s, w));
  write_file("case.ins", search_instructions(y.size()));
  std::string words[] = {"nivra", "-slm", "case", "/r"};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};
  return run_slm_mode(restart ? 4 : 3, argv, model, &out);
}

}  // namespace nivra::testing
