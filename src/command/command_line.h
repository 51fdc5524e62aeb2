// The program's entry: the start line (or the web answer's head), the
// command line turned into a run mode, and the dispatch to the driver, the
// batch loop, the calibration drivers or the version banner.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "model/file_name_text.h"

namespace nivra {

inline constexpr double nivra_version = 6.2;

// What the command line asks for.
namespace run_mode {
inline constexpr int none = 0;                   // the command line matched no rule
inline constexpr int single_run = 1;             // a project file alone
inline constexpr int sce = 2;                    // -c: SCE calibration
inline constexpr int batch = 3;                  // -b[n]: n runs of one project
inline constexpr int version = 4;                // -v: the version banner
inline constexpr int help = 5;                   // -h: nothing
inline constexpr int monte_carlo = 6;            // -m[n]: Monte Carlo calibration
inline constexpr int sensitivity = 7;            // -s: Monte Carlo of 500 runs
inline constexpr int secant_lm = 8;              // -slm: secant Levenberg-Marquardt
inline constexpr int multistart = 9;             // -ms
inline constexpr int trajectory_repulsion = 10;  // -t, -tv
inline constexpr int multilevel_linkage = 11;    // -mls, -mlsl
}  // namespace run_mode

// The command line as a run mode and a control file (the project file of a
// single run).
struct run_command {
  int mode = run_mode::none;
  file_name_text control_file; // empty when the mode takes none
};

// What parse_command_line returns when it cannot give a run count.
inline constexpr int command_unmatched = -1;      // no rule matched; the usage text was printed
inline constexpr int command_name_too_long = -2;  // the control file name was refused
inline constexpr int command_bad_count = -3;      // a negative run count after "-b" or "-m"

// Fills the command; returns command_unmatched, command_name_too_long or
// command_bad_count (each after its message), the run count after "-b" or
// "-m", and 1 otherwise.
int parse_command_line(int argc, char** argv, run_command& command);

void print_usage();
void print_version();

// The decoding of a web form body: '+' is a blank, "%XY" the byte of the
// hexadecimal XY, '?' when XY is not hexadecimal.
std::string decode_web_body(std::string_view body);

// Answers the web request: reads at most CONTENT_LENGTH (at most 1,024)
// characters of one line from in and prints them decoded; a missing,
// unreadable, negative or oversized length prints the wrong-FORM line.
void print_web_request(const char* content_length, std::FILE* in);

// The whole program; returns the process exit status.
int nivra_main(int argc, char** argv);

}  // namespace nivra
