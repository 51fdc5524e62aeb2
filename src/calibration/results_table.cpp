#include "calibration/results_table.h"

#include <algorithm>
#include <cstdio>

#include "core/guarded_file.h"
#include "core/process.h"

namespace nivra {

namespace {

double key_of(const run_measures& m, result_measure by) {
  switch (by) {
    case result_measure::cost: return m.cost;
    case result_measure::hmle: return m.hmle;
    case result_measure::rmse: return m.rmse;
    case result_measure::max_peak: return m.max_peak;
    case result_measure::max_volume: return m.max_volume;
    case result_measure::log_error: return m.log_error;
  }
  return m.cost;
}

}  // namespace

const char* const results_table_header =
    "--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n";

void result_list::insert_sorted(const run_measures& m, std::span<const double> values) {
  entries_.push_back(result_entry{m, std::vector<double>(values.begin(), values.end())});
  const int at = static_cast<int>(entries_.size()) - 1;
  for (std::size_t k = 0; k < index_.size(); ++k) {
    const auto by = static_cast<result_measure>(k);
    const double key = key_of(m, by);
    std::vector<int>& ix = index_[k];
    auto pos = std::upper_bound(ix.begin(), ix.end(), key, [&](double v, int e) {
      return v < key_of(entries_[static_cast<std::size_t>(e)].measures, by);
    });
    ix.insert(pos, at);
  }
}

void result_list::clear() {
  entries_.clear();
  for (auto& ix : index_) ix.clear();
}

std::string results_table_line(const result_entry& e) {
  const run_measures& m = e.measures;
  char buf[256];
  std::snprintf(buf, sizeof buf, "%-8.2lf\t%-12.4lf\t%-12.2lf\t%-12.6lf\t%-12.2lf\t%-12.2lf\t: ", m.cost,
                m.hmle, m.rmse, m.log_error, m.max_peak, m.max_volume);
  std::string line = buf;
  for (double v : e.params) {
    std::snprintf(buf, sizeof buf, "%-6.4lf  ", v);
    line += buf;
  }
  line += '\n';
  return line;
}

bool open_calibration_log(guarded_file& f, const std::string& name, bool& fresh) {
  fresh = false;
  if (!open_guarded_file(f, name, "a")) return false;
  std::fseek(f.fp, 0, SEEK_END);
  fresh = std::ftell(f.fp) == 0;
  return true;
}

int write_results_table(const result_list& list, const std::string& file_name) {
  guarded_file f;
  bool fresh = false;
  if (!open_calibration_log(f, file_name, fresh)) return -1;
  if (fresh) std::fputs(results_table_header, f.fp);
  for (int e : list.index(result_measure::max_volume))
    std::fputs(results_table_line(list.entries()[static_cast<std::size_t>(e)]).c_str(), f.fp);
  close_guarded_file(f);
  return 0;
}

void write_results_all(result_list& list, const parallel_env_t& env) {
  if (env.proc_id == 0) write_results_table(list, "results_all.out");
  list.clear();
}

}  // namespace nivra
