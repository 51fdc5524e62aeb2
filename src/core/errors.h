// The numbered error reporter. A routine that meets a problem writes a code
// and the texts or integers its message needs into the process-wide error
// block, then returns or calls report_error itself; the driver calls the
// reporter after every step whose code is positive and ends the run when
// the stop flag is set. Code 4000 means the routine printed its own text.
#pragma once

#include <string_view>

#include "core/text.h"

namespace nivra {

class guarded_file;

struct error_state {
  int code = 0;   // 0 none; 1..136 or 201..225 a message of the table; 4000 own text printed
  int stop = 0;   // set by the reporter for every positive code, cleared for warnings
  int term = 0;   // terminate-and-wait: with stop, the reporter ends with a notice
  int int1 = 0;
  int int2 = 0;
  fixed_text<60> str1;    // as a rule the role of the file or the item concerned
  fixed_text<2048> str2;  // as a rule the file name
};

inline constexpr int own_message_code = 4000;
inline constexpr int highest_message_code = 136;

// The parameter-estimation toolbox's block of messages.
inline constexpr int first_toolbox_code = 201;
inline constexpr int last_toolbox_code = 225;

// True for the codes that have a text in the message table.
bool has_message(int code);

// Sets the code and its arguments; texts longer than their fields are cut.
void set_error(int code, std::string_view str1 = {}, std::string_view str2 = {}, int int1 = 0,
               int int2 = 0);

// Prints the message of the current code to the console and the run summary,
// sets or clears the stop flag and resets the code.
void report_error();

// The message text of a code with the current arguments ("" for codes
// without a message). Exposed for the reporter's tests.
std::string message_text(int code);

// True for the codes that do not stop the run.
bool is_warning_code(int code);

// Writes text unchanged to the console and, when it is open, the run summary.
void report_text(std::string_view text);

// A card whose process this version of NIVRA does not have: prints "Error:
// the <CARD> card is not available in this version of NIVRA." (with "on line
// <n> of the project file" after the card's name when line is given) and
// stops the run (code 4000 through the reporter).
void report_card_not_available(std::string_view card, int line = 0);

// With the PAUSE card: waits for a key before the program ends.
void pause_on_termination();

}  // namespace nivra
