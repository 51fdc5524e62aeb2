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

  // Lakes and wetlands chosen by the project.
  double m_lake = 0.0;
  int m_lake_given = 0;
  int lake_output_given = 0;
  int overland_lake_map_given = 0;
  int lake_pump_given = 0;
  int wetlands_on = 0;
  int chan_lakes = 0;  // set by the channel input reader when it finds a lake link
};

}  // namespace nivra
