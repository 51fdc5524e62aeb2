#include "calibration/objective.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "calibration/capture_buffer.h"
#include "core/guarded_file.h"
#include "core/tokens.h"

namespace nivra {

namespace {

// A measure that came out NaN or infinite is the failure value.
double finite_or_failed(double v) { return std::isfinite(v) ? v : cost_failed; }

// The natural log of a positive finite value; false otherwise.
bool log_of(double v, double& out) {
  if (!(v > 0.0) || !std::isfinite(v)) return false;
  out = std::log(v);
  return std::isfinite(out);
}

// Reports a bad observation line and gives the reading's failure result.
int bad_observation(const std::string& file, int line, const char* what) {
  std::printf("Error: line %d of the observation file %s %s.\n", line, file.c_str(), what);
  return -1;
}

}  // namespace

double event_series::at(std::span<const double> s, int e) const {
  if (e < 1 || stride < 1) return not_captured;
  const long long i = static_cast<long long>(stride) * (e - 1) + 1;
  return i < static_cast<long long>(s.size()) ? s[static_cast<std::size_t>(i)] : not_captured;
}

event_series captured_series(const capture_buffer& b) {
  event_series s;
  if (b.series_a.empty() || b.series_b.empty()) return s;
  s.peak = std::span<const double>(b.series_a.data(), static_cast<std::size_t>(b.series_a.size()) + 1);
  s.volume = std::span<const double>(b.series_b.data(), static_cast<std::size_t>(b.series_b.size()) + 1);
  s.stride = b.loc_stride;
  // A uniform storm counts its one event.
  s.events = b.step_count > 1 ? b.step_count : 1;
  return s;
}

// ------------------------------------------------------------ observations

int calib_cost::read_observations(const std::string& file_name) {
  guarded_file f;
  if (!open_input_file(f, file_name)) return -1;
  std::string text;
  if (!read_line(text, f)) return bad_observation(file_name, 1, "is missing: it gives the number of events");
  card_line first(text);
  std::string token;
  int n = 0;
  if (!next_token(first, token) || !whole_token_int(token, n) || n < 1)
    return bad_observation(file_name, 1, "must give the number of observed events (1 or more)");

  // Lines are read before anything is sized, so a count the file does not
  // hold costs no memory.
  std::vector<double> col[4];
  for (int i = 1; i <= n; ++i) {
    if (!read_line(text, f)) {
      std::printf("Error: the observation file %s ends after %d of its %d events.\n", file_name.c_str(),
                  i - 1, n);
      return -1;
    }
    card_line line(text);
    double v[4];
    int got = 0;
    for (; got < 4 && next_token(line, token); ++got) {
      if (!whole_token_double(token, v[got]) || !std::isfinite(v[got])) break;
    }
    if (got < 4) {
      std::printf("Error: observed data file improperly formatted.\n"
                  "  Line %d of %s must hold four numbers: the observed peak, its weight, the "
                  "observed volume and its weight.\n",
                  i + 1, file_name.c_str());
      return -1;
    }
    if (v[1] < 0.0 || v[3] < 0.0) return bad_observation(file_name, i + 1, "gives a negative weight");
    if ((v[1] > weight_threshold && v[0] < 0.0) || (v[3] > weight_threshold && v[2] < 0.0))
      return bad_observation(file_name, i + 1, "gives a negative peak or volume a weight");
    for (int k = 0; k < 4; ++k) col[k].push_back(v[k]);
  }
  for (int line_no = n + 2; read_line(text, f); ++line_no) {
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::printf("Error: line %d of the observation file %s holds more than its %d events.\n", line_no,
                file_name.c_str(), n);
    return -1;
  }
  bool weighted = false;
  for (std::size_t i = 0; i < col[1].size(); ++i)
    weighted = weighted || col[1][i] > weight_threshold || col[3][i] > weight_threshold;
  if (!weighted) {
    std::printf("Error: the observation file %s gives no peak and no volume a weight above %g.\n",
                file_name.c_str(), weight_threshold);
    return -1;
  }
  set_observations(col[0], col[1], col[2], col[3]);
  return 1;
}

void calib_cost::set_observations(std::span<const double> peak, std::span<const double> peak_weight,
                                  std::span<const double> volume, std::span<const double> volume_weight) {
  n_events_ = static_cast<int>(peak.size());
  obs_peak_.alloc(n_events_);
  peak_weight_.alloc(n_events_);
  obs_volume_.alloc(n_events_);
  volume_weight_.alloc(n_events_);
  for (int i = 1; i <= n_events_; ++i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    obs_peak_[i] = peak[k];
    peak_weight_[i] = peak_weight[k];
    obs_volume_[i] = volume[k];
    volume_weight_[i] = volume_weight[k];
  }
}

void calib_cost::reset() {
  if (n_events_ < 1) {
    volume_scale_ = 1.0;
    return;
  }
  double largest_peak = -1.0, largest_volume = -1.0;
  for (int i = 1; i <= n_events_; ++i) {
    if (obs_peak_[i] > largest_peak) largest_peak = obs_peak_[i];
    if (obs_volume_[i] > largest_volume) largest_volume = obs_volume_[i];
  }
  // Without a positive volume there is no scale: the measures that use it
  // fail rather than divide by zero.
  volume_scale_ = largest_volume > 0.0 ? largest_peak / largest_volume : NAN;
}

// ------------------------------------------------------------ measures

double calib_cost::write_cost_file(const event_series& sim, int process_number) {
  double total = cost_failed;
  char name[32];
  std::snprintf(name, sizeof name, "%d_cost.out", process_number);
  guarded_file f;
  open_guarded_file(f, name, "a");
  std::FILE* out = f.fp;
  int points = 0;
  bool failed = sim.missing();
  bool line_open = false;
  if (!failed && n_events_ < 1) total = cost_no_points;
  if (!failed && n_events_ >= 1) {
    double sum = 0.0;
    for (int i = 1; i <= n_events_ && !failed; ++i) {
      if (peak_weighted(i)) {
        const double s = sim.peak_of(i), o = obs_peak_[i];
        if (s < negative_threshold) {
          failed = true;
          break;
        }
        ++points;
        if (out) std::fprintf(out, "p:%lf, %lf  ", s, s - o);
        line_open = true;
        const double r = o > 1e-16 ? (s - o) / o : s - o;
        sum += std::fabs(r * peak_weight_[i]);
      }
      if (volume_weighted(i)) {
        const double s = sim.volume_of(i), o = obs_volume_[i];
        if (s < negative_threshold) {
          failed = true;
          break;
        }
        ++points;
        if (out) std::fprintf(out, "v:%lf, %lf  \n", s, s - o);
        line_open = false;
        const double r = o > 0.0 ? (s - o) / o : s - o;
        sum += std::fabs(r * volume_weight_[i]);
      }
    }
    if (!failed) total = points == 0 ? cost_no_points : finite_or_failed(sum);
  }
  // Every scored run closes its block with its cost, a failed one too.
  if (out && total != cost_no_points) {
    if (line_open) std::fputc('\n', out);
    std::fprintf(out, "Total Points: %d\n", points);
    std::fprintf(out, "cost: %lf\n", total);
    std::fprintf(out, "-------------------------------------------------------------------------------\n");
  }
  close_guarded_file(f);
  last_.cost = total;
  return total;
}

double calib_cost::sum_over_events(const event_series& sim,
                                   const std::function<bool(int, double, double, double&)>& term) {
  if (sim.missing()) return cost_failed;
  reset();
  double sum = 0.0;
  for (int i = 1; i <= n_events_; ++i) {
    const double sp = sim.peak_of(i), sv = sim.volume_of(i);
    if (sp < negative_threshold || sv < negative_threshold || !term(i, sp, sv, sum)) return cost_failed;
  }
  return finite_or_failed(sum);
}

double calib_cost::rmse(const event_series& sim) {
  const double sum = sum_over_events(sim, [&](int i, double sp, double sv, double& total) {
    if (peak_weighted(i)) total += (sp - obs_peak_[i]) * (sp - obs_peak_[i]);
    if (volume_weighted(i)) {
      const double d = (sv - obs_volume_[i]) * volume_scale_;
      total += d * d;
    }
    return true;
  });
  return last_.rmse = sum == cost_failed ? cost_failed : finite_or_failed(std::sqrt(sum));
}

double calib_cost::log_error(const event_series& sim) {
  return last_.log_error = sum_over_events(sim, [&](int i, double sp, double sv, double& total) {
           double a, b;
           if (peak_weighted(i)) {
             if (!log_of(sp, a) || !log_of(obs_peak_[i], b)) return false;
             total += std::fabs(a - b);
           }
           if (volume_weighted(i)) {
             if (!log_of(sv * volume_scale_, a) || !log_of(obs_volume_[i] * volume_scale_, b)) return false;
             total += std::fabs(a - b);
           }
           return true;
         });
}

double calib_cost::largest(const event_series& sim, bool peaks) {
  double result = largest_without_data;
  if (!sim.missing() && n_events_ >= 1) {
    reset();
    for (int i = 1; i <= n_events_; ++i) {
      const double s = peaks ? sim.peak_of(i) : sim.volume_of(i);
      if (s < negative_threshold) break;
      if ((peaks ? peak_weighted(i) : volume_weighted(i)) && s > result) result = s;
    }
  }
  return result;
}

double calib_cost::max_peak(const event_series& sim) { return last_.max_peak = largest(sim, true); }

double calib_cost::max_volume(const event_series& sim) { return last_.max_volume = largest(sim, false); }

double calib_cost::hmle(const event_series& sim) {
  double result = cost_failed;
  if (!sim.missing()) {
    reset();
    if (n_events_ < 1) {
      result = cost_no_points;
    } else {
      std::vector<double> q, s;
      int points = 0;
      bool failed = false;
      for (int i = 1; i <= n_events_; ++i) {
        if (peak_weighted(i)) {
          if (sim.peak_of(i) < negative_threshold) failed = true;
          ++points;
          q.push_back(obs_peak_[i]);
          s.push_back(sim.peak_of(i));
        }
        if (volume_weighted(i)) {
          if (sim.volume_of(i) < negative_threshold) failed = true;
          ++points;
        }
      }
      if (!failed) result = points == 0 ? cost_no_points : hmle_core(q, s);
    }
  }
  last_.hmle = result;
  return result;
}

double golden_section_min(double lo, double hi, const std::function<double(double)>& f) {
  constexpr double c1 = 0.381966012, c2 = 0.618033988, tol = 1e-6;
  double a = lo, b = hi;
  double x1 = a + c1 * (b - a), x2 = a + c2 * (b - a);
  double f1 = f(x1), f2 = f(x2);
  double best = a, fbest = std::fabs(f(a));
  auto consider = [&](double x, double fx) {
    if (std::fabs(fx) < fbest) {
      best = x;
      fbest = std::fabs(fx);
    }
  };
  consider(x1, f1);
  consider(x2, f2);
  consider(b, f(b));
  if (!(b - a > tol)) return best;
  do {
    if (std::fabs(f1) > std::fabs(f2)) {
      a = x1;
      x1 = x2;
      f1 = f2;
      x2 = a + c2 * (b - a);
      f2 = f(x2);
      consider(x2, f2);
    } else {
      b = x2;
      x2 = x1;
      f2 = f1;
      x1 = a + c1 * (b - a);
      f1 = f(x1);
      consider(x1, f1);
    }
  } while (b - a > tol);
  return best;
}

double hmle_core(std::span<const double> q, std::span<const double> s) {
  const std::size_t n = q.size();
  if (n == 0 || s.size() != n) return cost_failed;
  std::vector<double> lnq(n), e(n), z(n), w(n);
  double m = 0.0;
  bool any_residual = false;
  for (std::size_t j = 0; j < n; ++j) {
    if (!log_of(q[j], lnq[j])) return cost_failed;
    e[j] = q[j] - s[j];
    any_residual = any_residual || e[j] != 0.0;
    m += lnq[j];
  }
  m /= static_cast<double>(n);
  if (m == 0.0 || !any_residual) return cost_failed;
  for (std::size_t j = 0; j < n; ++j) z[j] = lnq[j] / m;
  auto weights = [&](double lambda) {
    for (std::size_t j = 0; j < n; ++j) w[j] = std::exp(2.0 * (lambda - 1.0) * lnq[j]);
  };
  auto objective = [&](double lambda) {
    weights(lambda);
    double num = 0.0, den = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      num += w[j] * e[j] * e[j];
      den += w[j] * e[j] * e[j] * z[j];
    }
    return num / den - 1.0;
  };
  const double lambda = golden_section_min(0.1, 3.0, objective);
  weights(lambda);
  double mean = 0.0;
  for (std::size_t j = 0; j < n; ++j) mean += w[j] * e[j] * e[j];
  mean /= static_cast<double>(n);
  return finite_or_failed(mean / std::exp(2.0 * (lambda - 1.0) * m));
}

int calib_cost::weighted_event_after(int after) const {
  for (int i = std::max(after, 0) + 1; i <= n_events_; ++i)
    if (peak_weighted(i) || volume_weighted(i)) return i;
  return 0;
}

// ------------------------------------------------------------ a run

void calib_cost::write_obs_log(const event_series& sim, int process_number) const {
  char name[32];
  std::snprintf(name, sizeof name, "%d_obs.log", process_number);
  guarded_file f;
  if (!open_guarded_file(f, name, "a")) return;
  std::fprintf(f.fp, "-------------------------------------------------------\n");
  std::fprintf(f.fp, "Event\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim Vol     \tDiff\n");
  for (int i = 1; i <= n_events_; ++i) {
    const double sp = sim.peak_of(i), sv = sim.volume_of(i);
    std::fprintf(f.fp, "%-5d\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\n", i,
                 peak_weight_[i], obs_peak_[i], sp, obs_peak_[i] - sp, volume_weight_[i], obs_volume_[i], sv,
                 obs_volume_[i] - sv);
  }
  std::fprintf(f.fp, "\n\n");
  close_guarded_file(f);
}

double calib_cost::evaluate(const event_series& sim, int process_number, std::span<const double> values) {
  hmle(sim);
  rmse(sim);
  const double total = write_cost_file(sim, process_number);
  max_peak(sim);
  max_volume(sim);
  log_error(sim);
  failed_ = total == cost_failed || total == cost_no_points;
  simulated_events_ = sim.missing() ? -1 : sim.events;
  results_.insert_sorted(last_, values);
  write_obs_log(sim, process_number);
  return total;
}

}  // namespace nivra
