// Helpers of the model tests: reading a project text into fresh sub-records
// and reaching a field named by a card-table entry.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <variant>

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

template <class M>
struct member_of;
template <class C, class T>
struct member_of<T C::*> {
  using owner = C;
  using type = T;
};

// The field of the sub-records that an entry names, when it has type T.
template <class T>
T* entry_field(project_state& p, const card_field& f) {
  return std::visit(
      [&](auto m) -> T* {
        using M = decltype(m);
        if constexpr (std::is_same_v<M, std::monostate>) {
          return nullptr;
        } else {
          using C = typename member_of<M>::owner;
          if constexpr (!std::is_same_v<typename member_of<M>::type, T>) {
            return nullptr;
          } else if constexpr (std::is_same_v<C, project_options>) {
            return &(p.project_options.*m);
          } else if constexpr (std::is_same_v<C, run_control>) {
            return &(p.run_control.*m);
          } else if constexpr (std::is_same_v<C, rain_event>) {
            return &(p.rain_event.*m);
          } else if constexpr (std::is_same_v<C, xy_output>) {
            return &(p.project_options.xy_output.*m);
          } else {
            auto* pc = p.project_options.partition_coeffs.get();
            return pc ? &(pc->*m) : nullptr;
          }
        }
      },
      f);
}

inline std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

}  // namespace nivra::testing
