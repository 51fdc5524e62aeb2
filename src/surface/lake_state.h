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
};

}  // namespace nivra
