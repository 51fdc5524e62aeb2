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

// The command line as a run mode and a control file (the project file in
// mode 1).
struct run_command {
  int mode = 0;                // 1 to 11
  file_name_text control_file; // empty when the mode takes none
};

// Fills the command; returns -1 when the command line matches no rule (the
// usage text has been printed), -2 when it names a control file too long to
// keep (refused with a message), the run count after "-b" or "-m", and 1
// otherwise.
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
