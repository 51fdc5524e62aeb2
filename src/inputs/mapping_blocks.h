// The blocks of the mapping-table file that do not fit the plain table
// reader: sediment classes, erosion properties per class, wells, wetlands,
// the per-constituent contaminant tables, the soil maps of the layered
// soil tables and the rating curves of overland boundary cells.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "inputs/soil_tables.h"

namespace nivra {

struct model_state;

// The SEDIMENTS block: "NUM_SED n", a column header, n rows of a
// description (columns 1 to 40), the specific gravity, the particle
// diameter, the binding fraction and the class's output file name.
struct sediment_classes {
  int count = 0;
  array1d<double> spec_grav, part_diam, f_bind;  // 1..count
  std::vector<std::string> output_filename;      // 1..count
};
// 1 when read (count 0, nothing made, when the file has no SEDIMENTS block
// or no NUM_SED line), 0 when the run stopped (64, or a bad row).
int read_cmt_sediments(std::string_view table_file, sediment_classes& out);

// The SOIL_EROSION_PROPS table: five columns into the five per-cell
// destinations, then one column per sediment class into
// class_values[cell][class]. Its NUM_SED count must be the SEDIMENTS
// count (91). 1 when read, 0 when the run stopped.
int read_cmt_erosion(model_state& ms, const std::array<array1d<double>*, 5>& destinations, int n_sed_classes,
                     array2d<double>& class_values);

// The WELL_TABLE: three values per row (kind, rate or series, unused);
// every cell of the index map with an ID gets a copy of its row's well in
// groundwater.well_list (an ID without a row stops the run). 1 when read.
int read_cmt_wells(model_state& ms);

// The WETLAND_PROPERTIES table: seven values per row. The IDs of the index
// map are numbered 1, 2, ... in the order they first appear; the map and
// the table must hold the same IDs (67, and every ID of each in the
// other), at most 300 (68). Fills lake.wetland_mask (the number of each
// cell, 0 without an ID), lake.wetland_props[number][1..8] (mm to m, per
// day to per second) and lake.wetland_count. 1 when read.
int read_cmt_wetlands(model_state& ms);

// The CONTAMINANT_TRANSPORT block: "NUM_CONTAM n", then per constituent a
// line of three quoted fields (description, index map name, output file
// name), a PRECIP_CONC line, a PARTITION line, "NUM_IDS", a column header
// and rows of eight values.
struct contaminant_tables {
  int count = 0;
  std::vector<std::string> descriptions, output_filenames, index_map_filenames;  // 1..count
  std::vector<double> precip_conc, partition;                                     // 0..count - 1
  std::array<array2d<double>, 8> columns;  // [constituent][cell], one per value column
};
// 1 when read (also with a count of 0), 0 when the run stopped (64, 65,
// 69, a sub-block whose lines are not in their place, whose index map is
// not listed or that has no rows).
int read_cmt_contaminants(model_state& ms, contaminant_tables& out);

// The soil map of a Richards block (variant 1 the Brooks table, 2 the
// Havercamp table) into soil.soiltype, then the block's soil hydraulic
// table (form 1 or 2). The reader's result, -1 when the map cannot be
// opened (132) or the run stopped.
int read_cmt_soil_layers(model_state& ms, int variant, soil_hydraulic_request request,
                         soil_hydraulic_result& result);

// The soil map of the MULTI_LAYER_SOIL block into soil.soiltype, then its
// layered soil table into soil.soil_classes(). The number of classes, -1
// when the map cannot be opened (136) or the run stopped.
int read_cmt_multi_layer(model_state& ms);

// The RATINGCURVES block: rows of an ID (columns 1 to 6) and the name of
// an elevation series. Every cell whose boundary type is 6 or 7 takes the
// series of the rating curve its boundary value names: series[cell] =
// find_series(name), the number of the first elevation series whose name
// begins with it (0 none: 86). A boundary value that names no rating curve
// stops the run. 1 when done, 0 when the run stopped.
int read_cmt_ratingcurves(std::string_view table_file, const array1d<int>& boundary_type,
                          const array1d<double>& boundary_value,
                          const std::function<int(std::string_view)>& find_series, array1d<int>& series);

}  // namespace nivra
