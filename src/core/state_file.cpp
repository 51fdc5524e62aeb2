#include "core/state_file.h"

#include <cstdio>

#include "core/errors.h"
#include "core/guarded_file.h"

namespace nivra {

state_file_reader::state_file_reader(guarded_file& f, const char* kind) : f_(f), kind_(kind), name_(f.name.str()) {}

bool state_file_reader::next() {
  while (read_line(line_, f_)) {
    ++n_;
    if (!next_token(line_, word_)) continue;
    if (word_[0] == '#') continue;
    return true;
  }
  return false;
}

bool state_file_reader::header(const char* word) {
  if (next() && word_ == word) return ends();
  std::fprintf(stderr, "Error: %s %s does not begin with %s.\n", kind_, name_.c_str(), word);
  return stop();
}

bool state_file_reader::expect(const char* card) {
  if (next() && word_ == card) return true;
  std::fprintf(stderr, "Error: %s %s has no %s line where line %d stands.\n", kind_, name_.c_str(), card, n_);
  return stop();
}

bool state_file_reader::ends() {
  card_numbers num = numbers();
  if (num.at_end()) return true;
  return fail("holds more values than its card takes");
}

bool state_file_reader::finish(bool ended) {
  if (!ended) {
    std::fprintf(stderr, "Error: %s %s ends at line %d without its END line: the file is cut short.\n", kind_,
                 name_.c_str(), n_);
    return stop();
  }
  if (next()) return fail("follows the END line");
  return true;
}

bool state_file_reader::fail(const char* what) {
  std::fprintf(stderr, "Error: line %d of %s %s %s.\n", n_, kind_, name_.c_str(), what);
  return stop();
}

bool state_file_reader::once(bool& given) {
  if (given) {
    const std::string what = "gives " + word_ + " a second time";
    return fail(what.c_str());
  }
  given = true;
  return true;
}

bool state_file_reader::stop() {
  set_error(own_message_code);
  report_error();
  return false;
}

}  // namespace nivra
