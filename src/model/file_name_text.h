// Width of the file-name fields of the project and of the run's record: a
// file name from a project card holds at most 2,055 characters.
#pragma once

#include <cstddef>

#include "core/text.h"

namespace nivra {

inline constexpr std::size_t project_name_width = 2056;
using file_name_text = fixed_text<project_name_width>;

}  // namespace nivra
