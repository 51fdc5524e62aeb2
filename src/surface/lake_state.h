// Part of the run's model_state: Overland lakes and wetlands, channel lakes and their rating curves.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct lake_state {
  // Last value reported by the channel-lake update; the channel step redoes
  // the per-cell flooded flags when a new report differs.
  int lake_flood_marker = 1;

  guarded_file lake_map_file;
  guarded_file lake_data_file;
  guarded_file lake_output_file;

  // --- channel lakes read by the outputs
  int chan_lakes = 0;
  int num_lakes = 0;
  array1d<double> lake_elev;         // per lake, m
  array1d<double> lake_volume;       // per lake, m3
  array1d<int> lake_mask;            // lake number per cell, 0 for land
  array1d<int> lake2link;            // lake number of each lake link
};

}  // namespace nivra
