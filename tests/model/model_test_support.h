// Helpers of the model tests: reading a project text into fresh sub-records
// and reaching a field named by a card-table entry.
#pragma once

#include <memory>
#include <string>

#include "model/card_table.h"
#include "model/project.h"
#include "support/test_support.h"

namespace nivra::testing {

// Writes the text as a project file in the working folder and reads it.
inline std::unique_ptr<project_state> read_project_text(const std::string& text, int quiet = 0,
                                                        const std::string& name = "p.prj") {
  write_file(name, text);
  auto p = std::make_unique<project_state>();
  read_project_file(name, p->project_options, p->run_control, p->rain_event, quiet);
  return p;
}

// The field of the sub-records that an entry names, when it has type T.
template <class T>
T* entry_field(project_state& p, const card_field& f) {
  return card_field_of<T>({p.project_options, p.run_control, p.rain_event}, f);
}

inline std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

}  // namespace nivra::testing
