// Initial values of the nutrient media, item by item. Each item takes its
// values from one source chosen by its card: a uniform value (mode 3), the
// mapping table (mode 2: the table's values are already in the array), or
// a continuous map (mode 1: the values are read by the caller, per cell or
// per link). No card (mode 0) leaves the item as it was.
//
// A constituent's mass is its concentration times the water of its
// element, whatever the source: on a cell dx x depth x dx, in a stream
// node the flow area times the node length of its link. The stream's
// mapping-table values thus carry their mass into the first routing, as
// the uniform and map values do.
#pragma once

#include <array>
#include <string>

#include "quality/nsm/nsm_media.h"

namespace nivra {

enum class nsm_init_status {
  done,
  untouched,  // no card for the item
  no_table,   // mode 2 without the item's mapping table (errors 119, 120)
};

// One water constituent of the cells: depth per cell 1..ncells (m);
// map_values per cell (mode 1). Prints the source line with the item's
// display name.
nsm_init_status nsm_init_cell_constituent(int mode, bool table_given, double value, const double* map_values,
                                          const std::string& name, nsm_constituent& rec, const double* depth,
                                          int ncells, double cell_area);

// A per-cell field without mass (dissolved organic carbon, its fraction
// of organic carbon, dispersion). overland_words selects the dispersion's
// wording ("overland constituent").
nsm_init_status nsm_init_cell_field(int mode, bool table_given, double value, const double* map_values,
                                    const std::string& name, checked_array<double>& field, int ncells,
                                    bool overland_words);

// The stream nodes the initial values reach: nodes 1..nx[link] of the
// open-channel links (type bits 4, 8 or 16); flat index stride x link +
// node.
struct nsm_stream_nodes {
  int links = 0;
  int stride = 0;
  const int* nx = nullptr;              // per link
  const int* ltype = nullptr;           // per link
  const double* area = nullptr;         // flow area at area_stride x link + node, m2
  const double* node_length = nullptr;  // per link, m
  int area_stride = 0;                  // the row stride of the channel's node arrays
};

// One water constituent of the stream nodes; link_values per link
// (mode 1, from the stream map). no_mass leaves the masses alone.
nsm_init_status nsm_init_stream_constituent(int mode, bool table_given, double value, const double* link_values,
                                            const std::string& name, nsm_constituent& rec,
                                            const nsm_stream_nodes& nodes, bool no_mass);

// The soil pools: the surface-layer amounts of the tables are in kg per
// cell and become g (x 1000); deeper layers stay as they are.
void nsm_soil_surface_to_grams(nsm_soil& soil);
// Stores six per-cell coefficient arrays (NO2, NO3, NH4, ON, OP, DP;
// entries 1..ncells) into the cells' partition records: Km (first 0) or
// Koc (first 6).
void nsm_soil_set_partition(nsm_soil& soil, int first, const double* const six[6]);

// The nutrient soil step's exchange: for every cell and each of the five
// pool/water partner pairs, a surface-layer pool amount x below zero is
// made up to zero out of the water above it: x is added to the water
// constituent's exchange row (water_exchange[water index][cell]), where
// the water's share waits for the transport, and the pool is raised to
// zero at once. Returns, per water constituent (0..8), the pool mass made
// up (g, at least 0): booked on that constituent's row, whose soil side
// the pool is (nsm_partner_pool).
std::array<double, nsm_water_items> nsm_overland_cell_update(nsm_soil& soil, double* const* water_exchange);

}  // namespace nivra
