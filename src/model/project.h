// The project sub-records filled from the project file's cards
// (project_options, run_control, rain_event), the file-name buffers copied
// from them, and the run's identity (project file, quiet and optimiser
// switches).
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// Width of the project's file-name fields (2,055 characters and the end).
inline constexpr std::size_t project_name_width = 2056;
using file_name_text = fixed_text<project_name_width>;

struct project_options {
};

struct run_control {
  // Card fields used by the end-of-run outputs (card table names).
  int map_type = 0;
};

struct rain_event {
};

struct project_state {
  nivra::project_options project_options;
  nivra::run_control run_control;
  nivra::rain_event rain_event;
};

}  // namespace nivra
