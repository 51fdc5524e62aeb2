// Part of the run's model_state: Overland lakes and wetlands, channel lakes and their rating curves.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// One overland lake: value 0 the water-surface level (m), 1 the initial
// level, 3 the volume (m3), 4 the exchange volume since the last lake update
// (m3, into the lake); the number of the lake's cells.
struct olake_record {
  double value[8] = {};
  int cell_count = 0;
};

struct lake_state {
  // Last value reported by the channel-lake update; the channel step redoes
  // the per-cell flooded flags when a new report differs.
  int lake_flood_marker = 1;

  // Channel lakes and wetlands (set from the project and the channel file).
  int chan_lakes = 0;
  int wetlands_on = 0;
  array1d<int> lake_num;              // per cell, made by the map phase

  // Overland lakes, read by the map phase.
  array1d<int> oland_lake_mask;       // per cell: lake id of the index map
  array1d<int> oland_lake_new;        // per cell: lake id of the cells under water
  int num_olakes = 0;                 // largest lake id of the map
  array1d<olake_record> olake_table;  // 1..num_olakes
  int ov_lakes_read = 0;

  guarded_file lake_map_file;
  guarded_file lake_data_file;
  guarded_file lake_output_file;
};

}  // namespace nivra
