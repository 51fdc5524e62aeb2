// Helpers of the calibration tests: an SCE input file for a plain objective
// (no model run) and a search over it in the test's own process.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

#include "calibration/sce.h"
#include "support/test_support.h"

namespace nivra::testing {

// The control lines of an SCE input file without the three file names.
struct sce_controls {
  int maxn = 20000, kstop = 5;
  double pcento = 1e-6;
  int ngs = 4, iseed = 1969, ideflt = 0;
  std::string defaults_line = "0 0 0 0 0 0";
};

inline std::string sce_input_text(const sce_controls& c, const std::string& parameter_lines) {
  char line[256];
  std::snprintf(line, sizeof line, "%d %d %g %d %d %d %d\n", c.maxn, c.kstop, c.pcento, c.ngs, c.iseed,
                c.ideflt, static_cast<int>(std::count(parameter_lines.begin(), parameter_lines.end(), '\n')));
  return line + c.defaults_line + "\n" + parameter_lines;
}

// A search of a plain objective set up from the input text; the record
// after it, with the number of evaluations in evaluations.
inline void run_plain_sce(sce_record& r, const std::string& input, sce_plain_objective f,
                          const std::string& name = "sce.in") {
  write_file(name, input);
  r.model_mode = 0;
  r.objective = std::move(f);
  ::testing::internal::CaptureStdout();
  sce_setup(r, name, "sce_output.out");
  sceua(r);
  ::testing::internal::GetCapturedStdout();
}

}  // namespace nivra::testing
