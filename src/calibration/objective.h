// Objective functions of the SCE-UA and Monte Carlo calibrations: a model
// run's simulated event peaks and volumes scored against observed ones.
// `calib_cost` holds the observations with their weights, the measures of
// the last run and the list of results; the measures give fixed failure
// values instead of raising errors, and never NaN or infinity.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "calibration/results_table.h"
#include "core/arrays.h"

namespace nivra {

struct capture_buffer;

// Failure values of the measures.
inline constexpr double cost_failed = 999999.99;            // a run without usable results
inline constexpr double cost_no_points = -1.0;              // no observed event or none weighted
inline constexpr double largest_without_data = -99999.999;  // largest peak or volume of no data
// An event takes part in a measure when its weight is above this.
inline constexpr double weight_threshold = 1e-6;
// A simulated value below this marks a failed run.
inline constexpr double negative_threshold = -1e-16;

// The simulated results of one run, read at the watershed outlet: event e
// (1-based) at position stride x (e - 1) + 1 of each series, whose index 0
// is not used. A position a series does not hold reads as not captured.
struct event_series {
  std::span<const double> peak;
  std::span<const double> volume;
  int stride = 1;
  int events = 0;  // events the run simulates

  bool missing() const { return peak.empty() || volume.empty(); }
  double peak_of(int e) const { return at(peak, e); }
  double volume_of(int e) const { return at(volume, e); }

 private:
  double at(std::span<const double> s, int e) const;
};

// The outlet series of a capture buffer; missing when the run never sized it.
event_series captured_series(const capture_buffer& buffer);

// The exponent lambda in [lo, hi] with the smallest |f| by golden-section
// search down to an interval of 1e-6; the best point met, not the middle.
double golden_section_min(double lo, double hi, const std::function<double(double)>& f);

// The heteroscedastic maximum likelihood estimator of observed peaks q and
// simulated peaks s (Sorooshian and Dracup 1980), with the exponent found by
// golden_section_min in [0.1, 3]. cost_failed where it is not defined (a
// peak that is not positive, mean log peak 0, every residual 0, no point).
double hmle_core(std::span<const double> q, std::span<const double> s);

class calib_cost {
 public:
  // Reads the observation file; 1, or -1 after a message naming the file
  // (and line) when it cannot be read or holds a bad value.
  int read_observations(const std::string& file_name);

  // Scores one run: every measure, the result list, the cost file and the
  // observation log. Returns the total cost.
  double evaluate(const event_series& sim, int process_number, std::span<const double> values);

  // The single measures; each also stores its value in last().
  double hmle(const event_series& sim);
  double rmse(const event_series& sim);
  double log_error(const event_series& sim);
  double write_cost_file(const event_series& sim, int process_number);  // the total cost
  double max_peak(const event_series& sim);
  double max_volume(const event_series& sim);
  void write_obs_log(const event_series& sim, int process_number) const;
  // The volume scale: largest observed peak over largest observed volume.
  void reset();

  const run_measures& last() const { return last_; }
  // True when the last total cost is a failure value: the run gave no
  // usable result and is never taken as a best set.
  bool last_failed() const { return failed_; }
  int n_events() const { return n_events_; }
  // Events the last scored run simulated; -1 when it gave no result.
  int simulated_events() const { return simulated_events_; }
  // The first observed event after event `after` that carries a weight;
  // 0 when none does.
  int weighted_event_after(int after) const;
  double volume_scale() const { return volume_scale_; }
  result_list& results() { return results_; }

  // Observations set directly (tests and callers that do not read a file).
  void set_observations(std::span<const double> peak, std::span<const double> peak_weight,
                        std::span<const double> volume, std::span<const double> volume_weight);

 private:
  bool peak_weighted(int e) const { return peak_weight_[e] > weight_threshold; }
  bool volume_weighted(int e) const { return volume_weight_[e] > weight_threshold; }
  // The sum of a term over the events: cost_failed for a missing series, a
  // negative simulated value of any event, a term that cannot be computed
  // (it returns false) or a sum that is not finite.
  double sum_over_events(const event_series& sim, const std::function<bool(int, double, double, double&)>& term);
  // The largest weighted simulated peak (or volume) up to a failed value.
  double largest(const event_series& sim, bool peaks);

  run_measures last_;
  bool failed_ = false;
  array1d<double> obs_peak_, obs_volume_, peak_weight_, volume_weight_;
  int n_events_ = 0;
  int simulated_events_ = -1;
  double volume_scale_ = 1.0;
  result_list results_;
};

}  // namespace nivra
