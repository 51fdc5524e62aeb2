// The aquatic environment file: a table of environment parameters per zone
// id for the nutrient kinetics, and the names of the two index maps that
// give every overland cell and every channel node its zone id.
//
//   AQUATIC_ENV_NSM10            (first 17 characters; anything may follow)
//   OV_MAP  overland_zones.idx   (anywhere; OV_MAP and ST_MAP in any order)
//   ST_MAP  stream_zones.idx
//   NUM_IDS 2
//   <one line of column titles, not read>
//   1                            (id line)
//   <ten value lines: 7 7 4 4 4 4 7 7 4 4 values>
//   2
//   DEFAULT                      (the id keeps the default record)
//
// The ten value lines fill the 52 slots of the id's record:
// line 1 slots 0,2,..,12; line 2 slots 1,3,..,13; line 3 14,16,18,20;
// line 4 15,17,19,21; line 5 22,24,26,28; line 6 23,25,27,29;
// line 7 30,32,..,42; line 8 31,33,..,43; line 9 44..47; line 10 48..51.
// Records of DEFAULT blocks and of ids without a block are all zeros.
#pragma once

#include <array>

#include "core/containers.h"
#include "core/guarded_file.h"
#include "model/file_name_text.h"

namespace nivra {

struct grid_state;

inline constexpr int aq_env_slots = 52;
inline constexpr const char* aq_env_header = "AQUATIC_ENV_NSM10";

struct nsm_aq_params {
  std::array<double, aq_env_slots> slot{};
  bool given = false;  // a block (values or DEFAULT) named this id
};

// The aquatic-environment part of the nutrient container.
struct nsm_part {
  file_name_text file_name;     // the AQ_ENV card
  file_name_text ov_index_map;
  file_name_text st_index_map;
  int num_ids = 0;
  int ncells = 0;
  checked_array<nsm_aq_params> params;  // per id 1..num_ids
  array1d<int> ov_index;                // zone id per cell 1..ncells
  jagged_array<int> st_index;           // zone id per [node][link]
};

// The steps of the reader on an open file (each starts at the top):
// 1 when the first line begins with the header.
int aqenv_read_header(guarded_file& f);
// The number of map lines seen (at most two); stores the names.
int aqenv_read_maps(guarded_file& f, nsm_part& part);
// 1 when a NUM_IDS line was found; stores num_ids.
int aqenv_read_num_ids(guarded_file& f, nsm_part& part);
// Reads the id blocks after the line that follows NUM_IDS; 1 at a normal
// end of file, 0 after an error (the code is set).
int aqenv_read_parameters(guarded_file& f, nsm_part& part);
// Sets the cell count and reads the overland index map; every zone id
// must lie within 1..num_ids.
void aqenv_read_index_maps(nsm_part& part, grid_state& grid, int quiet);

// Reads the file named in part.file_name and its overland index map. An
// error leaves its code set (76, 77, 78, 81, or 4000 after a message of
// the reader's own) for the caller's reporter.
void read_aquatic_env(nsm_part& part, grid_state& grid, int quiet);

}  // namespace nivra
