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

// The items of the file in their order, for the writer and the reader
// alike: v.integer, v.real, v.ratio (a real that may be infinite), v.count
// (the length of a vector that follows), v.vector and v.matrix.
template <class V, class S, class C>
void restart_items(V& v, S& st, C& pc) {
  const int m = pc.nobs + pc.nprior;
  const int n = pc.n_adjustable;
  v.integer(pc.slm_method);
  v.integer(pc.full_update);
  v.real(pc.full_update_ratio);
  v.integer(pc.cyclic_columns);
  v.ratio(pc.phi_ratio);  // the first iteration's ratio divides by 0
  v.matrix(st.jacobian, m, n);
  v.matrix(st.jacobian_best, m, n);
  v.count(st.history_count);
  v.real(st.phi);
  v.real(st.phi_previous);
  v.vector(st.history, st.history_count);
  v.vector(st.best_params, pc.npar);
  v.vector(st.best_outputs, pc.nobs);
  v.real(st.phi_min);
  v.integer(st.phi_min_iteration);
  v.integer(st.model_calls);
  for (std::size_t slot = 0; slot <= 1; ++slot)
    for (int i = 1; i <= pc.nobs; ++i) v.real(pc.observations[i].model_value[slot]);
  for (int i = 1; i <= pc.npar; ++i) v.real(pc.params[i].parval1);
  for (int g = 1; g <= pc.nobsgp; ++g) v.real(pc.obs_groups[g].phi);
  v.real(pc.rlambda1);
  v.real(st.lambda_previous);
  v.integer(st.iteration);
  v.real(st.phi_start);
  v.vector(st.start_values, n);
  v.integer(st.small_change_count);
  v.integer(st.three_point);
}

class restart_writer {
 public:
  explicit restart_writer(std::FILE* fp) : fp_(fp) {}
  void real(double v) { std::fprintf(fp_, "%.17g\n", v); }
  void ratio(double v) { real(v); }
  void integer(int v) { std::fprintf(fp_, "%d\n", v); }
  void count(int v) { integer(v); }
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

  void real(double& v) { number(v, true); }
  void ratio(double& v) { number(v, false); }
  void integer(int& v) {
    std::string_view w;
    if (!take(w)) return;
    if (!whole_token_int(w, v)) fault("a value is no whole number");
  }
  // A count of values that follow: each takes two characters at least.
  void count(int& n) {
    integer(n);
    if (!code && (n < 0 || static_cast<std::size_t>(n) > cur_.rest_size() / 2))
      fault("the count of the phi history is out of range");
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
  void end() {
    std::string_view w;
    if (!code && cur_.next_word(w)) fault("values are left after the last item");
  }

 private:
  void number(double& v, bool finite) {
    std::string_view w;
    if (!take(w)) return;
    if (!whole_token_double(w, v) || (finite && !std::isfinite(v))) fault("a value is no number");
  }
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
  remove_file(file);
  guarded_file f;
  if (!open_toolbox_file(f, file, "wb")) return toolbox_report(toolbox_msg::write_file, {}, file);
  restart_writer w(f.fp);
  restart_items(w, st, pc);
  return 0;
}

int slm_read_restart(std::string_view file, restart_state& st, pest_control& pc) {
  std::string text;
  if (!read_text_file(file, text)) return toolbox_report(toolbox_msg::open_restart, {}, file);
  restart_reader r(text, file);
  restart_items(r, st, pc);
  r.end();
  if (!r.code) pc.phi_ratio = st.phi / st.phi_previous;
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
