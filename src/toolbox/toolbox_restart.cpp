#include "toolbox/toolbox_restart.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/guarded_file.h"
#include "core/platform.h"
#include "core/tokens.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

namespace {

class restart_writer {
 public:
  explicit restart_writer(std::FILE* fp) : fp_(fp) {}
  void real(double v) { std::fprintf(fp_, "%.17g\n", v); }
  void integer(int v) { std::fprintf(fp_, "%d\n", v); }
  void vector(const array1d<double>& v, int n) {
    for (int i = 1; i <= n; ++i) real(v[i]);
  }
  void matrix(const array2d<double>& a, int rows, int cols) {
    for (int i = 1; i <= rows; ++i) {
      for (int j = 1; j <= cols; ++j) std::fprintf(fp_, "%.17g\t", a[i][j]);
      std::fprintf(fp_, "\n");
    }
  }

 private:
  std::FILE* fp_;
};

// Takes the values back in order; the first fault is reported and the
// later calls do nothing.
class restart_reader {
 public:
  restart_reader(std::string_view text, std::string_view file) : cur_(text), file_(file) {}

  int code = 0;

  void real(double& v, bool finite = true) {
    std::string_view w;
    if (!take(w)) return;
    if (!whole_token_double(w, v) || (finite && !std::isfinite(v))) fault("a value is no number");
  }
  void integer(int& v) {
    std::string_view w;
    if (!take(w)) return;
    if (!whole_token_int(w, v)) fault("a value is no whole number");
  }
  void vector(array1d<double>& v, int n) {
    v.alloc(n);
    for (int i = 1; i <= n && !code; ++i) real(v[i]);
  }
  void matrix(array2d<double>& a, int rows, int cols) {
    a.alloc(rows, cols);
    for (int i = 1; i <= rows && !code; ++i)
      for (int j = 1; j <= cols && !code; ++j) real(a[i][j]);
  }
  // A count of values that follow: each takes two characters at least.
  void count(int& n) {
    integer(n);
    if (!code && (n < 0 || static_cast<std::size_t>(n) > remaining() / 2))
      fault("the count of the phi history is out of range");
  }
  void end() {
    std::string_view w;
    if (!code && cur_.next_word(w)) fault("values are left after the last item");
  }

 private:
  std::size_t remaining() const { return cur_.rest_size(); }
  bool take(std::string_view& w) {
    if (code) return false;
    if (!cur_.next_word(w)) {
      fault("it ends early");
      return false;
    }
    return true;
  }
  void fault(const char* what) {
    code = toolbox_report(toolbox_msg::restart_format, what, file_, cur_.line());
  }
  text_cursor cur_;
  std::string_view file_;
};

}  // namespace

int slm_write_restart(std::string_view file, const restart_state& st, const pest_control& pc) {
  const int m = pc.nobs + pc.nprior;
  const int n = pc.n_adjustable;
  remove_file(file);
  guarded_file f;
  if (!open_toolbox_file(f, file, "wb")) return toolbox_report(toolbox_msg::write_file, {}, file);
  restart_writer w(f.fp);
  w.integer(pc.slm_method);
  w.integer(pc.full_update);
  w.real(pc.full_update_ratio);
  w.integer(pc.cyclic_columns);
  w.real(pc.phi_ratio);
  w.matrix(st.jacobian, m, n);
  w.matrix(st.jacobian_best, m, n);
  w.integer(st.history_count);
  w.real(st.phi);
  w.real(st.phi_previous);
  w.vector(st.history, st.history_count);
  w.vector(st.best_params, pc.npar);
  w.vector(st.best_outputs, pc.nobs);
  w.real(st.phi_min);
  w.integer(st.phi_min_iteration);
  w.integer(st.model_calls);
  for (int slot = 0; slot <= 1; ++slot)
    for (int i = 1; i <= pc.nobs; ++i)
      w.real(pc.observations[i].model_value[static_cast<std::size_t>(slot)]);
  for (int i = 1; i <= pc.npar; ++i) w.real(pc.params[i].parval1);
  for (int g = 1; g <= pc.nobsgp; ++g) w.real(pc.obs_groups[g].phi);
  w.real(pc.rlambda1);
  w.real(st.lambda_previous);
  w.integer(st.iteration);
  w.real(st.phi_start);
  w.vector(st.start_values, n);
  w.integer(st.small_change_count);
  w.integer(st.three_point);
  return 0;
}

int slm_read_restart(std::string_view file, restart_state& st, pest_control& pc) {
  std::string text;
  if (!read_text_file(file, text)) return toolbox_report(toolbox_msg::open_restart, {}, file);
  const int m = pc.nobs + pc.nprior;
  const int n = pc.n_adjustable;
  restart_reader r(text, file);
  r.integer(pc.slm_method);
  r.integer(pc.full_update);
  r.real(pc.full_update_ratio);
  r.integer(pc.cyclic_columns);
  r.real(pc.phi_ratio, false);  // the first iteration's ratio divides by 0
  r.matrix(st.jacobian, m, n);
  r.matrix(st.jacobian_best, m, n);
  r.count(st.history_count);
  r.real(st.phi);
  r.real(st.phi_previous);
  if (!r.code) pc.phi_ratio = st.phi / st.phi_previous;
  r.vector(st.history, st.history_count);
  r.vector(st.best_params, pc.npar);
  r.vector(st.best_outputs, pc.nobs);
  r.real(st.phi_min);
  r.integer(st.phi_min_iteration);
  r.integer(st.model_calls);
  for (int slot = 0; slot <= 1; ++slot)
    for (int i = 1; i <= pc.nobs; ++i)
      r.real(pc.observations[i].model_value[static_cast<std::size_t>(slot)]);
  for (int i = 1; i <= pc.npar; ++i) r.real(pc.params[i].parval1);
  for (int g = 1; g <= pc.nobsgp; ++g) r.real(pc.obs_groups[g].phi);
  r.real(pc.rlambda1);
  r.real(st.lambda_previous);
  r.integer(st.iteration);
  r.real(st.phi_start);
  r.vector(st.start_values, n);
  r.integer(st.small_change_count);
  r.integer(st.three_point);
  r.end();
  return r.code;
}

stop_request check_stop_file(std::string_view file) {
  std::string text;
  if (!read_text_file(file, text)) return stop_request::go_on;
  text_cursor cur(text);
  std::string_view word;
  int value = 999;
  if (!cur.next_word(word) || !whole_token_int(word, value)) value = 999;
  switch (value) {
    case 1:
      return stop_request::stop_now;
    case 2:
      std::printf("\n\nThe toolbox does not currently support\n");
      std::printf("ceasing execution with a full parameter statistics printout.\n\n");
      return stop_request::stop_with_statistics;
    case 3:
      std::printf("\n\nThe toolbox does not currently support pausing execution.\n\n");
      return stop_request::pause;
    default:
      remove_file(file);
      return stop_request::go_on;
  }
}

}  // namespace nivra
