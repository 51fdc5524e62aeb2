// Quantities the nutrient model reports without carrying them: unionized
// ammonia, total nitrogen, total Kjeldahl nitrogen and total phosphorus,
// all as masses in the unit of the constituent masses (g).
//
// Unionized ammonia follows the ammonium-ammonia equilibrium
// NH3 = NH4 x Ka / [H+]: with the molar ammonium concentration
// c = m(NH4) / 18.039 / V, the ammonia mass is c x Ka / [H+] x 17.031 x V.
// Elements with less than 0.0001 m3 of water, or whose molar ammonium
// concentration is below the medium's floor (1e-7 mol on the cells and in
// the lakes, 1e-8 in the streams), carry none.
//
// Total N = NO2 + NO3 + NH4 + ON + NH3, total Kjeldahl N = NH4 + ON + NH3,
// total P = OP + DP. The totals read the medium's NH3, so its
// unionized-ammonia routine runs first.
#pragma once

#include "quality/nsm/nsm_media.h"

namespace nivra {

inline constexpr double nsm_nh4_molar_mass = 18.039;
inline constexpr double nsm_nh3_molar_mass = 17.031;
inline constexpr double nsm_min_volume = 0.0001;          // m3
inline constexpr double nsm_min_molar_nh4_ov = 1e-7;      // cells and lakes
inline constexpr double nsm_min_molar_nh4_stream = 1e-8;  // stream nodes

// The unionized ammonia mass of one element of water.
double nsm_unionized_ammonia_mass(double nh4_mass, double volume, const nsm_water_chemistry& chem,
                                  double min_molar);

// The water of the overland cells: depth per cell 1..ncells, m.
void nsm_overland_unionized_ammonia(nsm_overland& ov, const double* depth);
double* nsm_overland_total_nitrogen(nsm_overland& ov);
double* nsm_overland_total_phosphorus(nsm_overland& ov);

// The water of the stream nodes: nodes 1..nx[link] of links 1..links;
// the flow area of each node, m2, and the node length of each link, m.
// A link without nodes leaves its entries as they were.
struct nsm_stream_water {
  const int* nx = nullptr;              // per link
  const double* area = nullptr;         // flow area at area_stride x link + node, m2
  const double* node_length = nullptr;  // per link
  int area_stride = 0;                  // the row stride of the channel's node arrays
};
void nsm_stream_unionized_ammonia(nsm_stream& st, const nsm_stream_water& w);
jagged_array<double>& nsm_stream_total_nitrogen(nsm_stream& st, const nsm_stream_water& w);
jagged_array<double>& nsm_stream_total_kjeldahl_n(nsm_stream& st, const nsm_stream_water& w);
jagged_array<double>& nsm_stream_total_phosphorus(nsm_stream& st, const nsm_stream_water& w);

// The water of the channel lakes: volume per lake 1..num_lakes, m3.
void nsm_lake_unionized_ammonia(nsm_lake& lake, const double* volume);
double* nsm_lake_total_nitrogen(nsm_lake& lake);
double* nsm_lake_total_kjeldahl_n(nsm_lake& lake);
double* nsm_lake_total_phosphorus(nsm_lake& lake);

}  // namespace nivra
