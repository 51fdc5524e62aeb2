// Helpers of the run tests: the bundled examples copied into the scratch
// folder, a whole storm run in the test's own process with its record kept,
// and an argument vector built from strings.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "clock/clock_state.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/run_summary.h"
#include "run/driver.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra::testing {

// The number after a label of a run summary; 0 for a line the summary does
// not print for the run (a failure when the line is needed).
inline double value_after(const std::string& text, const std::string& label, bool needed = true) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) {
    if (needed) ADD_FAILURE() << "no line " << label;
    return needed ? std::numeric_limits<double>::quiet_NaN() : 0.0;
  }
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// The number of a summary line whose label a leader of blanks and dots
// follows (the event summaries' lines), the first such line at or after
// `from`; NaN and a failure when there is none.
inline double dotted_value_after(const std::string& text, const std::string& label, std::size_t from = 0) {
  const std::size_t at = text.find(label, from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no line " << label;
    return std::numeric_limits<double>::quiet_NaN();
  }
  std::size_t p = at + label.size();
  while (p + 1 < text.size() && (text[p] == ' ' || (text[p] == '.' && (text[p + 1] == '.' || text[p + 1] == ' '))))
    ++p;
  return std::strtod(text.c_str() + p, nullptr);
}

// Every summary line that carries one of `labels` (a balance error, the
// number after a leader of blanks and dots) prints an error smaller than
// `limit`; returns how many such lines there are.
inline int expect_small_errors(const std::string& summary, std::initializer_list<const char*> labels, double limit) {
  int lines = 0;
  for (const char* label : labels)
    for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1)) {
      EXPECT_LT(std::fabs(dotted_value_after(summary, label, at)), limit) << label << summary.substr(at, 80);
      ++lines;
    }
  return lines;
}

// An index map over the plane example's grid (6 x 8 cells) with every
// cell in class 1, e.g. one land use for the mapping table.
inline std::string plane_index_map() {
  std::string s = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
  for (int r = 0; r < 6; ++r) s += "1 1 1 1 1 1 1 1\n";
  return s;
}

// Copies examples/plane into the working folder.
inline void copy_plane_example() {
  const std::filesystem::path from = std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / "plane";
  for (const char* name : {"plane.prj", "plane.msk", "plane.ele", "plane.loc"})
    std::filesystem::copy_file(from / name, name, std::filesystem::copy_options::overwrite_existing);
}

// Copies one of the examples (its project, maps and input files) into the
// working folder.
inline void copy_example(const std::string& name) {
  const std::filesystem::path from = std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / name;
  for (const auto& entry : std::filesystem::directory_iterator(from)) {
    const std::string file = entry.path().filename().string();
    if (file == "maskmap" || file == "out_time.out" || entry.path().extension() == ".sum" ||
        entry.path().extension() == ".otl" || entry.path().extension() == ".log")
      continue;
    std::filesystem::copy_file(entry.path(), file, std::filesystem::copy_options::overwrite_existing);
  }
}

// A project file with one card replaced (or added when it is missing).
inline void set_card(const std::string& project, const std::string& card, const std::string& line) {
  std::string text = read_file(project);
  const std::size_t at = text.find("\n" + card);
  if (at == std::string::npos)
    text += line + "\n";
  else
    text.replace(at + 1, text.find('\n', at + 1) - at - 1, line);
  write_file(project, text);
}

// The tilted plane of examples/plane_infil with every cell in land use 1
// (landuse.idx) and the mapping table `table` (plane.cmt), which the
// plane's `project` reads, carrying the overland constituents.
inline void contaminant_plane(const std::string& table, const std::string& project = "plane_infil.prj") {
  copy_example("plane_infil");
  write_file("landuse.idx", plane_index_map());
  write_file("plane.cmt", table);
  set_card(project, "MAPPING_TABLE", "MAPPING_TABLE plane.cmt");
  set_card(project, "OV_CON_TRANS", "OV_CON_TRANS");
}

// Runs, from a fresh process state, a copy of a project of an example
// with one card replaced (or added); returns the console.
inline std::string run_example_with_card(const std::string& example, const std::string& project,
                                         const std::string& card, const std::string& line) {
  reset_process_state();
  copy_example(example);
  const std::string file = project + ".prj";
  set_card(file, card, line);
  ::testing::internal::CaptureStdout();
  run_simulation(file, nullptr, "");
  return ::testing::internal::GetCapturedStdout();
}

// A storm run through the driver's set-up, time steps and normal end, in
// this process, keeping the record. The outlet hydrograph is integrated at
// full precision: every overland step adds its discharge times its length.
// A run still going after step_limit steps is cut off (not ended), so a run
// that never ends fails its test instead of hanging it. after_step sees the
// record after every step.
struct storm_run {
  std::unique_ptr<model_state> ms;
  bool ended = false;           // the run ended normally
  int steps = 0;                // time steps taken
  double outlet_volume = 0.0;   // integral of the outlet discharge, m3
  std::vector<double> qout;     // outlet discharge after every overland step
  std::string console;
};

inline storm_run run_storm(const std::string& project,
                           const std::function<void(model_state&)>& after_set_up = {},
                           int step_limit = 100000,
                           const std::function<void(const model_state&)>& after_step = {}) {
  storm_run r;
  r.ms = make_model_state();
  model_state& ms = *r.ms;
  ::testing::internal::CaptureStdout();
  bool going = set_up_run(ms, project, nullptr);
  if (going && after_set_up) after_set_up(ms);
  while (going && r.steps < step_limit) {
    const double last = ms.clock.ov_last_time;
    if (!run_time_step(ms)) break;
    ++r.steps;
    if (after_step) after_step(ms);
    if (ms.clock.ov_last_time != last && r.steps > 1) {
      r.outlet_volume += ms.overland.qout * ms.clock.ov_dt;
      r.qout.push_back(ms.overland.qout);
    }
    if (ms.clock.keep_running) continue;
    write_run_summary(ms);
    r.ended = process.error_block.stop == 0;
    break;
  }
  close_all_files(ms);
  r.console = ::testing::internal::GetCapturedStdout();
  return r;
}

// Runs a set-up model time step by time step, routine by routine, as the
// driver does, for at most `step_limit` steps; `around(routine)` may run a
// routine itself, with the test's checks around it, and then returns true.
// False when an error stopped the run.
template <class Around>
bool step_through(model_state& ms, Around around, int step_limit = 100000) {
  for (int steps = 0; steps < step_limit; ++steps) {
    for (const time_step_routine& routine : time_step_sequence()) {
      if (!around(routine)) routine.run(ms);
      if (routine.tested && process.error_block.stop != 0) return false;
    }
    if (!ms.clock.keep_running) break;
  }
  return true;
}

// Water standing on cells first..last (m3).
inline double water_on(const model_state& ms, int first, int last) {
  double v = 0.0;
  for (int c = first; c <= last; ++c) v += ms.overland.ov_depth[c];
  return v * ms.grid.grid_size * ms.grid.grid_size;
}

// The lines of a text file.
inline int count_lines(const std::string& path) {
  int n = 0;
  for (char c : read_file(path)) n += c == '\n';
  return n;
}

class arguments {
 public:
  arguments(std::initializer_list<std::string> words) : arguments(std::vector<std::string>(words)) {}
  explicit arguments(std::vector<std::string> words) : words_(std::move(words)) {
    for (std::string& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
  }
  arguments(const arguments&) = delete;
  arguments& operator=(const arguments&) = delete;
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

}  // namespace nivra::testing
