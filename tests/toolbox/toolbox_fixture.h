// A small toolbox case written for the tests: a control file with every
// section (singular value decomposition, log, fixed and tied parameters,
// two observation groups, prior information, regularisation), read in a
// scratch folder.
#pragma once

#include <string>

#include "support/test_support.h"
#include "toolbox/toolbox_control.h"

namespace nivra::testing {

inline const std::string sample_control =
    "pcf\n"
    "* control data\n"
    "restart estimation\n"
    "4 5 2 1 2\n"
    "1 1 single point\n"
    "1 0 0\n"
    "5.0 2.0 0.3 0.01 10\n"
    "10.0 10.0 0.001 0\n"
    "0.1 aui\n"
    "30 0.01 3 3 0.01 3\n"
    "1 1 1\n"
    "1 1 0.5 2 0.05\n"
    "basin.prj\n"
    "* singular value decomposition\n"
    "1\n"
    "3 5e-7\n"
    "0\n"
    "* parameter groups\n"
    "rough relative 0.01 0.0 switch 2.0 parabolic\n"
    "soil relative 0.02 0.001 always_2 1.5 best_fit\n"
    "* parameter data\n"
    "k1 log factor 2.0 0.1 100.0 soil 1.0 0.0 1\n"
    "k2 none relative 0.5 0.0 1.0 soil 1.0 0.0 1\n"
    "n1 fixed relative 0.035 0.01 0.1 rough 1.0 0.0 1\n"
    "n2 tied relative 0.07 0.02 0.2 rough 1.0 0.0 1\n"
    "n2 k2\n"
    "* observation groups\n"
    "flow\n"
    "peak\n"
    "* observation data\n"
    "q1 1.5 1.0 flow\n"
    "q2 2.5 1.0 flow\n"
    "q3 3.5 2.0 flow\n"
    "p1 10.0 0.5 peak\n"
    "Qa1 4.0 1.0 peak\n"
    "* model command line\n"
    "pre.bat post.bat\n"
    "* model input/output\n"
    "basin.tpl basin.prj\n"
    "basin.ins basin.out\n"
    "* prior information\n"
    "pi1 1.0 * k2 - 2.5 * log(k1) = 0.3 2.0 flow\n"
    "* regularisation\n"
    "1e-10 1.05e-10 0.1\n"
    "1.0 1e-10 1e10\n"
    "1.3 1e-2\n";

// The sample with the first occurrence of from replaced by to.
inline std::string sample_with(const std::string& from, const std::string& to) {
  std::string text = sample_control;
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class toolbox_test : public process_test {
 protected:
  // Writes the control text as basin.pst and reads it; the reader's code.
  int read_case(const std::string& text = sample_control) {
    write_file("basin.pst", text);
    return read_control_file(pc, "basin");
  }
  pest_control pc;
};

}  // namespace nivra::testing
