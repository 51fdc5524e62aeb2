// What every mode of the toolbox (-slm, -ms, -mls, -t) does before it
// searches: the control file with its template and instruction files, the
// refusals, the ties, and the case's four output files.
#pragma once

#include <string>

#include "core/guarded_file.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_records.h"
#include "toolbox/toolbox_templates.h"

namespace nivra {

// A case of the toolbox, open for searching.
struct toolbox_case {
  std::string case_name;  // the command line's third word
  pest_control pc;
  toolbox_streams streams;
  toolbox_file_names names;
  guarded_file rec, sen, mtt, par;
  bool restart = false;  // "/r" as the fourth word: the record and sensitivity files are appended to
};

// Reads the control file named by argv[2] with its template and instruction
// files, drops a stop file left from an earlier search, refuses the
// prediction mode (printing prediction_refusal), a case without adjustable
// parameters and starting values outside their bounds (each named), sets
// up the ties, names the case files and opens them ("/r" as argv[3]
// appends to the record and sensitivity files). 0, or 1 when the case
// cannot be searched (the message has been printed). argc is at least 3.
int open_toolbox_case(int argc, char** argv, const char* prediction_refusal, toolbox_case& c);

// Opens one of the toolbox's own files by its name as given; false after
// "Can't open output file" (or "Cannot open" for reading) was reported.
bool open_search_file(guarded_file& f, const std::string& name, const char* mode);

// Flushes a file the search wrote; false after the write failure was
// reported.
bool finish_search_file(guarded_file& f, const std::string& name);

}  // namespace nivra
