// Template and instruction files of the parameter-estimation toolbox.
//
// Trial values reach the model through the replacement list, so template
// files are only read, checked and indexed: every parameter space
// (delimiter, name, delimiter) must name a parameter of the control file.
// Instruction files are how the searches read model outputs: each is read
// once, checked and turned into a list of items, and after every model run
// slm_read_instructions applies the items to the model output file and
// stores the values found into one slot of the observations.
//
// Instruction items (each character outside an item is inspected on its
// own; others do nothing):
//   end of line       the position moves to the start of the next line
//   marker text marker  the position moves just after the next occurrence
//   l<n>              read n lines, then back to the start of the last one
//   &                 nothing
//   w                 past the next blank and the blanks after it
//   t<n>              n characters on
//   [name]first:last  the number in columns first..last of the current line;
//                     the position moves past the number, and past the end
//                     of the line when only blanks follow it
//   !name!            the number after the blanks at the position
//   (                 semi-fixed observation: not supported
#pragma once

#include <string>
#include <vector>

#include "toolbox/toolbox_control.h"

namespace nivra {

// Template files and instruction files a control file may pair.
inline constexpr int max_model_files = 25;

struct instruction_item {
  enum class kind : unsigned char { next_line, marker, line_advance, whitespace, skip, fixed, named };
  kind what = kind::next_line;
  int line = 0;       // line of the instruction file
  int count = 0;      // lines of l, characters of t, first column of a fixed item
  int last = 0;       // last column of a fixed item
  int obs = 0;        // observation that takes the value
  std::string text;   // marker text, or the observation name as written
};

// The open files of a search: the template texts and the instruction
// files as item lists, 1-based like the control record's pairs, and the
// text of the model output file being read (kept to reuse its storage).
struct toolbox_streams {
  std::vector<std::string> template_text;
  std::vector<std::vector<instruction_item>> instructions;
  std::string output_text;
};

// Reads every template file of pc into streams; the code of the message
// reported for more than 25 files or one that cannot be opened, else 0.
int open_template_files(const pest_control& pc, toolbox_streams& streams);
// Indexes the templates into pc.templates (delimiter positions and the
// parameter of every space); the code of the message reported for a bad
// header or a space that names no parameter, else 0.
int read_template_files(pest_control& pc, toolbox_streams& streams);
void close_template_files(toolbox_streams& streams);

// Reads and checks every instruction file of pc; the code of the message
// reported for more than 25 files, one that cannot be opened, a missing
// header, an unclosed or malformed item, a semi-fixed item or a name that
// is no observation, else 0.
int open_instruction_files(const pest_control& pc, toolbox_streams& streams);

// Every observation of the control file is read by exactly one item of the
// instruction files, so each model run gives each its value once: the code
// (observation_read_twice, naming the file and line of the second item, or
// observation_never_read) is reported, else 0.
int check_observations_read(const pest_control& pc, const toolbox_streams& streams);
void close_instruction_files(toolbox_streams& streams);

// Reads model output file file_index (1..ninsfle) with its instructions
// into model_value[slot] (slot 0..2) of the observations. 0, or the code of
// the message reported when the file cannot be opened, a marker never
// comes, a line advance or skip runs past its end, an item is read where
// only blank lines are left ("the file ends before ..."), or a value is
// missing or not a finite number.
//
// Every line of an instruction file after the header ends with a move to
// the start of the next output line: instruction line 2 reads from output
// line 1, line 3 from line 2, and so on, unless l, a marker or the text of
// an item moves further.
int slm_read_instructions(pest_control& pc, toolbox_streams& streams, int file_index, int slot);

}  // namespace nivra
