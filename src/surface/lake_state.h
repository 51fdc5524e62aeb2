// A component of the run's record: Overland lakes and wetlands, channel lakes and their rating curves.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// Lake number of a cell in lake_mask, oland_lake_mask and oland_lake_new:
// 0 marks a cell outside every lake.
inline constexpr int no_lake = 0;
inline constexpr bool lake_cell(int lake_number) { return lake_number > no_lake; }

// Wetland class of a cell in wetland_mask: 0 marks a cell outside the wetlands.
inline constexpr int no_wetland = 0;
inline constexpr bool wetland_cell(int wetland_class) { return wetland_class > no_wetland; }

// The values of an overland lake (olake_record::value[k]).
namespace olake_value {
inline constexpr int level = 0;          // water level, m
inline constexpr int initial_level = 1;  // level at the start of the run, m
inline constexpr int volume = 3;         // volume, m3
inline constexpr int exchange = 4;       // overland exchange since the last lake update, m3 into the lake
}  // namespace olake_value

// The properties of a wetland class (wetland_props[class][k]). Water below
// the top of the layer seeps through it; above it, the flow turns from
// linear in the depth to Manning's over the transition depth.
namespace wetland_prop {
inline constexpr int layer_thickness = 1;     // Tw, m
inline constexpr int layer_conductivity = 2;  // Kw, m/s
inline constexpr int transition_depth = 3;    // Db, m above the layer
inline constexpr int linear_coef = 4;         // Cw, m/s: velocity per unit slope of the linear flow
inline constexpr int manning_n = 6;           // nw, above the layer
}  // namespace wetland_prop

// One overland lake (values indexed by olake_value).
struct olake_record {
  double value[8] = {};
  int cell_count = 0;  // cells of the lake in the overland lake map
};

struct lake_state {
  // ---- Parameters: set at set-up from the cards and the maps, read-only
  // afterwards.
  // Channel lakes.
  int chan_lakes = 0;
  int num_lakes = 0;
  array1d<int> lake_mask;            // lake number per cell, 0 for land
  array1d<int> lake2link;            // lake number of each lake link
  array1d<int> lake_num;             // per cell, made by the map phase
  int lake_gw_on = 0;                // the channel lakes exchange water with the groundwater
  // Overland lakes.
  int overland_lake_map_given = 0;
  int num_olakes = 0;
  array1d<int> oland_lake_mask;      // per cell: lake id of the index map
  int ov_lakes_read = 0;             // the map phase has read the overland lakes
  // Wetlands.
  int wetlands_on = 0;
  int wetland_count = 0;
  array1d<int> wetland_mask;         // per cell: wetland class, 0 none
  array2d<double> wetland_props;     // [class][wetland_prop]
  // Lakes and wetlands chosen by the project.
  double m_lake = 0.0;
  int m_lake_given = 0;
  int lake_pump_given = 0;

  // ---- State: the water of the lakes.
  array1d<double> lake_elev;         // per channel lake, m
  array1d<double> lake_volume;       // per channel lake, m3
  array1d<int> oland_lake_new;       // per cell: lake id of the cells now under water
  array1d<olake_record> olake_table; // 1..num_olakes

  // ---- Per-run bookkeeping and step flags.
  // Last value reported by the channel-lake update; the channel step redoes
  // the per-cell flooded flags when a new report differs.
  int lake_flood_marker = 1;
  // Channel lakes as the overland kernels see them.
  array1d<double> lake_in_dv;        // per lake: m3 from the overland this step
  array1d<double> lake_out_dv;       // per lake: m3 onto the overland this step
  // Rain on the lakes.
  int olake_update = 0;              // the overland lakes must be re-evaluated
  array1d<double> olake_precip_vol;  // per overland lake: rain of the step, m3
  array1d<double> lake_precip_in;    // per channel lake: rain of the run, m3

  // ---- Files.
  guarded_file lake_map_file;
  guarded_file lake_data_file;
  guarded_file lake_output_file;
};

}  // namespace nivra
