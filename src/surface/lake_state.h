// A component of the run's record: Overland lakes and wetlands, channel lakes and their rating curves.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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

// The properties of a wetland class (wetland_props[class][k], the columns
// of its WETLAND_PROPERTIES row in order, converted to m and s). Water below
// the top of the layer seeps through it; above it, the flow turns from
// linear in the depth to Manning's over the transition depth.
namespace wetland_prop {
inline constexpr int water_depth = 1;         // depth of the wetland's water at an event's start, m
inline constexpr int layer_thickness = 2;     // Tw, m
inline constexpr int layer_conductivity = 3;  // Kw, m/s
inline constexpr int transition_depth = 4;    // Db, m above the layer
inline constexpr int linear_coef = 5;         // Cw, m/s: velocity per unit slope of the linear flow
inline constexpr int manning_n = 7;           // nw, above the layer
inline constexpr int ground_offset = 8;       // m: the wetland's bottom lies this far below the map's ground
}  // namespace wetland_prop

// One overland lake (values indexed by olake_value).
struct olake_record {
  double value[8] = {};
  int cell_count = 0;  // cells of the lake in the overland lake map
};

// An overland lake keeps the water up to its initial level: it spills over
// its shore only the head above that level, which is the flowing depth of
// the water it gives to the cells around it (m, 0 at or below the level).
inline double olake_head(const olake_record& r) {
  const double h = r.value[olake_value::level] - r.value[olake_value::initial_level];
  return h > 0.0 ? h : 0.0;
}

// Water leaves a lake over its shore with the depth it stands above the
// shore: the lake's level above the ground of the cell outside the lake it
// flows onto (m, 0 at or below that ground), whatever the lake's floor.
inline double shore_depth(double level, double shore_ground) {
  return level > shore_ground ? level - shore_ground : 0.0;
}

// The same for an overland lake, which keeps the water below its initial
// level: the depth above the shore, never more than the head above that
// level.
inline double olake_shore_depth(const olake_record& r, double shore_ground) {
  return std::min(shore_depth(r.value[olake_value::level], shore_ground), olake_head(r));
}

// A lake of the channel network as the channel input file gives it: its
// levels, the cells it may cover in the order it floods them (lowest ground
// first), its rating curve and its bed.
struct channel_lake {
  double minwse = 0.0, initwse = 0.0, maxwse = 0.0;  // water-surface elevations, m
  int link = 0;                       // its lake link
  std::vector<int> search_row, search_col;  // NUMPTS cells as the file gives them
  std::vector<int> search_cell;       // their cell numbers, lowest ground first
  // Rating curve (NUMRATE rows): elevation (m), volume (m3), area (m2),
  // each rising with the next row.
  std::vector<double> rate_elev, rate_volume, rate_area;
  bool yes_defined_curve_lake = false;
  bool yes_static_lake = false;       // keeps every search cell whatever its level
  bool calc_loss = false;             // MLAKE: loses water through its bed
  double Mlake = 0.0;                 // bed thickness, m
  // The lowest level at which the STRUCTURE link below lets the lake's
  // water out, m (+infinity without one; -infinity when it does at every
  // level).
  double outlet_level = std::numeric_limits<double>::infinity();
};

// Work arrays of the overland lake extent, sized to the cell count at
// set-up: the cells next to a lake or leaving it, with their levels.
struct olake_scratch {
  std::vector<int> mark;       // per cell: the lake that listed it last, 0 none
  std::vector<int> cell;       // candidates
  std::vector<double> level;   // their water surfaces (joining) or grounds (leaving)
  std::vector<int> order;      // candidate indices in the order of filling or draining
  std::vector<int> by_lake;    // the cells of every lake, lake after lake
  std::vector<int> first;      // per lake: where its cells begin in by_lake (lakes + 2 entries)
  int stamp = 0;               // the mark of the lake being updated
  bool listed = false;         // by_lake holds the lakes' cells as they stand
  void prepare(int cells, int lakes) {
    stamp = 0;
    listed = false;
    const std::size_t n = static_cast<std::size_t>(cells) + 1;
    mark.assign(n, 0);
    cell.reserve(n);
    level.reserve(n);
    order.reserve(n);
    by_lake.assign(n, 0);
    first.assign(static_cast<std::size_t>(lakes) + 2, 0);
  }
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
  array1d<channel_lake> chan_lake;   // 1..num_lakes
  int lake_gw_on = 0;                // the channel lakes exchange water with the groundwater
  // Per cell, with lakes that seep: the groundwater boundary code a cell
  // had before a seeping lake took it (-1: not taken).
  array1d<int> gwbound_before_lake;
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
  array1d<double> lake_area;         // per channel lake, m2
  array1d<double> prevlake_volume;   // per channel lake: volume at the last cell update, m3
  array1d<int> lake_cells;           // per channel lake: cells under water
  array1d<int> oland_lake_new;       // per cell: lake id of the cells now under water
  array1d<olake_record> olake_table; // 1..num_olakes

  // ---- Per-run bookkeeping and step flags.
  // Last value reported by the channel-lake update; the channel step redoes
  // the per-cell flooded flags when a new report differs.
  int lake_flood_marker = 1;
  // Channel lakes as the overland kernels see them.
  array1d<double> lake_in_dv;        // per lake: m3 from the overland this step
  array1d<double> lake_out_dv;       // per lake: m3 onto the overland this step
  array1d<int> new_flooded_grid;     // per cell: 1 joined a channel lake in the last update, -1 left
  array1d<double> cumulative_lake_evap;  // per channel lake: evaporated in the run, m3
  array1d<int> lake_full_warned;     // per channel lake: the full-extent warning was given
  // Rain on the lakes.
  int olake_update = 0;              // the overland lakes must be re-evaluated
  array1d<double> olake_precip_vol;  // per overland lake: rain of the step, m3
  olake_scratch olake_work;          // the extent's work arrays
  array1d<double> lake_precip_in;    // per channel lake: rain of the run, m3
  // Per cell: the Darcy flux through the bed of a seeping lake at the last
  // channel step, m/s, positive up into the lake.
  array1d<double> lake_cell_seepage;
  // With channel constituents: per cell, the water its bed gave the lake
  // (negative: took) since the constituent step last took it, m3.
  array1d<double> lake_cell_seep_vol;

  // ---- Files.
  guarded_file lake_map_file;
  guarded_file lake_data_file;
  guarded_file lake_output_file;
};

// The water channel lake `lake` holds above its outlet, m3: its area times
// its height above the outlet's level, at most its volume (0 at or below
// the level, or without an outlet). As long as it holds some, the lake lets
// water out as a channel carries what it receives.
inline double water_above_outlet(const lake_state& lakes, int lake) {
  if (lake < 1 || lake > lakes.chan_lake.size() || lake > lakes.lake_elev.size() || lake > lakes.lake_area.size() ||
      lake > lakes.lake_volume.size())
    return 0.0;
  const double height = lakes.lake_elev[lake] - lakes.chan_lake[lake].outlet_level;
  if (!(height > 0.0)) return 0.0;
  const double volume = std::max(lakes.lake_volume[lake], 0.0);
  return std::isinf(height) ? volume : std::min(volume, std::max(lakes.lake_area[lake], 0.0) * height);
}

// The water the channel lakes hold above their outlets, m3.
inline double water_above_outlets(const lake_state& lakes) {
  double v = 0.0;
  if (!lakes.chan_lakes) return v;
  for (int lake = 1; lake <= lakes.num_lakes; ++lake) v += water_above_outlet(lakes, lake);
  return v;
}

}  // namespace nivra
