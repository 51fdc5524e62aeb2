// The results of scored calibration runs: each run's six measures and its
// parameter values, indexed by every measure, and the ranked table
// "results_all.out" that the calibration drivers append to after every
// model run.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

namespace nivra {

class guarded_file;
struct parallel_env_t;

// The measures of one scored run.
struct run_measures {
  double cost = 0.0;        // total cost, the value the searches minimise
  double hmle = 0.0;        // heteroscedastic maximum likelihood estimator
  double rmse = 0.0;        // root of the summed squared errors
  double log_error = 0.0;   // summed absolute log errors
  double max_peak = 0.0;    // largest simulated peak
  double max_volume = 0.0;  // largest simulated volume
};

// The measures a result_list keeps an index of.
enum class result_measure { cost, hmle, rmse, max_peak, max_volume, log_error };

struct result_entry {
  run_measures measures;
  std::vector<double> params;  // the run's parameter values in their order
};

// Every result of the runs since the last clear, with one index per measure
// in ascending order of that measure (equal keys in the order of insertion).
class result_list {
 public:
  void insert_sorted(const run_measures& m, std::span<const double> values);
  void clear();
  bool empty() const { return entries_.empty(); }
  const std::vector<result_entry>& entries() const { return entries_; }
  // Positions in entries() in ascending order of the measure.
  const std::vector<int>& index(result_measure by) const {
    return index_[static_cast<std::size_t>(by)];
  }

 private:
  std::vector<result_entry> entries_;
  std::array<std::vector<int>, 6> index_;
};

// The header of the table and one line of it.
extern const char* const results_table_header;
std::string results_table_line(const result_entry& e);

// Appends the list's lines in ascending order of the largest volume to the
// table (through the run prefix); a new or empty file gets the header first.
// 0, or -1 when the file cannot be opened.
int write_results_table(const result_list& list, const std::string& file_name);

// After a model run: the first process writes the list to "results_all.out";
// the list is cleared, so the table grows by one line per run.
void write_results_all(result_list& list, const parallel_env_t& env);

// Opens a log of the calibration for appending through the run prefix; true
// when the file was empty (new), so that the caller writes its header.
bool open_calibration_log(guarded_file& f, const std::string& name, bool& fresh);

}  // namespace nivra
