// The media of the nutrient model: overland water per cell, stream water
// per channel node, lake water per channel lake and the soil pools under
// each cell. Each water medium carries the same nine constituents, in the
// order NO2, NO3, NH4, ON, OP, DP, Alg, CBOD, DO (index 0..8); the soil
// holds thirteen carbon, nitrogen and phosphorus pools (slot 0..12).
//
// Only the arrays the model reads are made: per constituent its
// concentration, mass and rate of change of mass; per medium its water
// temperature, the fields of dissolved organic carbon and dispersion, the
// partition coefficients and the derived totals (nutrient_derived.h).
#pragma once

#include <array>
#include <string>

#include "core/containers.h"

namespace nivra {

inline constexpr int nsm_water_items = 9;   // constituents of a water medium
inline constexpr int nsm_soil_pools = 13;   // pools of the soil part
inline constexpr int nsm_partition_count = 12;

// Water constituent indices.
namespace nsm_c {
inline constexpr int no2 = 0, no3 = 1, nh4 = 2, on = 3, op = 4, dp = 5, alg = 6, cbod = 7, o2 = 8;
}
// Soil pool slots.
namespace nsm_pool {
inline constexpr int org_active_c = 0, org_stable_c = 1, nh4 = 2, no3 = 3, org_active_n = 4,
                     org_fresh_n = 5, org_stable_n = 6, min_active_p = 7, min_solution_p = 8,
                     min_stable_p = 9, org_active_p = 10, org_fresh_p = 11, org_stable_p = 12;
}

// The display name of water item 0..11 (the nine constituents, then the
// dissolved organic carbon, its organic-carbon fraction and the dispersion
// coefficient); null outside the table. Header-only, so that the file
// opening of the project can name a constituent in its messages.
inline const char* nsm_water_display_name(int index) {
  static constexpr const char* names[] = {
      "Nitrite (NO2-)",
      "Nitrate (NO3-)",
      "Ammonium (NH4+)",
      "Organic Nitrogen (Organic N)",
      "Organic Phosphorous (Organic P)",
      "Dissolved Phosphorous (Dissolved P)",
      "Algae",
      "Carbonaceous Biochemical Oxygen Demand",
      "Dissolved Oxygen (O2)",
      "Dissolved Org. Carbon",
      "Dissolved Org. Carbon, Fraction Org. C.",
      "Dispersion coefficient",
  };
  return index >= 0 && index < 12 ? names[index] : nullptr;
}

// The short symbol of water constituent 0..8 ("NO2" .. "DO").
const char* nsm_symbol(int index);

// Writes the display name of water item `index` (soil 0: 0..11, the nine
// constituents then the organic-carbon and dispersion fields) or soil pool
// `index` (soil 1: 0..12) into buffer; an index outside its table leaves
// the buffer as it was.
void nsm_display_name(std::string& buffer, int index, int soil);

// One constituent of one water medium, over the medium's elements 1..n.
struct nsm_constituent {
  checked_array<double> conc;   // g/m3
  checked_array<double> mass;   // g
  checked_array<double> dmdt;   // g per reaction step
};
// Sizes every array of the record to n elements of 0.0.
void nsm_init_constituent_arrays(nsm_constituent& record, int n);
// Names the arrays prefix + "-conc", "-mass", "-dmdt" for their bad-range
// report.
void nsm_name_constituent_arrays(nsm_constituent& record, const char* prefix);

// The nine records of a medium and the list of their addresses: slots
// 0..8, or 1..9 when the list's shift_index is set (slot 0 then holds
// nothing).
struct nsm_water_set {
  std::array<nsm_constituent, nsm_water_items> records;
  checked_array<nsm_constituent*> list;
  nsm_constituent& operator[](int c) { return records[static_cast<std::size_t>(c)]; }
  const nsm_constituent& operator[](int c) const { return records[static_cast<std::size_t>(c)]; }
};
// Lists the nine records in constituent order and sizes each to n.
void nsm_list_and_size(nsm_water_set& set, int n);

// Ammonium dissociation constant at water temperature t_celsius:
// pKa = 0.09018 + 2729.92 / (T + 273.15) (Emerson et al. 1975), ka = 10^-pKa.
double nsm_ammonium_pka(double t_celsius);
double nsm_ammonium_ka(double t_celsius);

// Soil-water partition coefficients of the nutrients: Km of NO2, NO3, NH4,
// ON, OP, DP, then Koc of the same six.
struct nsm_partition_coeffs {
  double no2_km = 0.0, no3_km = 0.0, nh4_km = 0.0, on_km = 0.0, op_km = 0.0, dp_km = 0.0;
  double no2_koc = 0.0, no3_koc = 0.0, nh4_koc = 0.0, on_koc = 0.0, op_koc = 0.0, dp_koc = 0.0;
  bool operator==(const nsm_partition_coeffs&) const = default;
};

// Chemistry shared by the water media.
struct nsm_water_chemistry {
  double ph = 7.2;
  double h_ion = 0.0;   // 10^-pH
  double ka = 0.0;      // at the initial water temperature
};
// Stores the pH and its hydrogen-ion activity.
void nsm_set_ph(nsm_water_chemistry& chem, double ph);

struct nsm_overland {
  int ncells = 0;
  double dx = 0.0;
  double cell_area = 0.0;      // dx squared, m2
  int first_nsm_constituent = 0;
  nsm_water_chemistry chem;
  nsm_partition_coeffs partition{};
  checked_array<double> water_temp;            // per cell, C
  checked_array<double> doc, doc_foc, dispersion;  // per cell
  nsm_water_set water;
  checked_array<double> total_n, total_p, nh3;  // per cell, g
  // Concentrations of the constituents in rain, g/m3 (from the tables).
  std::array<double, nsm_water_items> precip_conc{};
};

struct nsm_stream {
  int links = 0;
  int stride = 0;              // flat node index: stride x link + node
  int first_nsm_constituent = 0;
  nsm_water_chemistry chem;
  nsm_partition_coeffs partition{};
  checked_array<double> water_temp{"nutr_st-water_temp"};
  checked_array<double> doc{"nutr_st-dissOrgC"};
  checked_array<double> doc_foc{"nutr_st-dissOrgC_FOC"};
  checked_array<double> dispersion{"nutr_st-dispersion"};
  nsm_water_set water;
  // [node][link], g.
  jagged_array<double> total_p{"nutr_st-total_p"}, total_n{"nutr_st-total_n"},
      tkn{"nutr_st-tkn"}, nh3{"nutr_st-nh3"};
};

struct nsm_lake {
  int num_lakes = 0;
  int first_nsm_constituent = 0;
  nsm_water_chemistry chem;
  nsm_partition_coeffs partition{};
  checked_array<double> water_temp;  // per lake, C
  nsm_water_set water;
  checked_array<double> total_p, total_n, tkn, nh3;  // per lake, g
};

struct nsm_soil {
  int ncells = 0;
  int layers = 0;
  // Amount per [cell][layer] of each pool, in slot order; layer 1 is the
  // surface layer.
  std::array<jagged_array<double>, nsm_soil_pools> pool;
  // Positions 1..13 (2..14 with shift_index) point to the pools in slot
  // order.
  checked_array<jagged_array<double>*> pool_list;
  // Per cell the twelve partition coefficients (columns 1..12: Km of NO2,
  // NO3, NH4, ON, OP, DP, then Koc of the same).
  jagged_array<double> cell_partition;
};

// Allocators, each run once per run.
void nsm_alloc_overland(nsm_overland& ov, int ncells, double dx, double water_temp,
                        const nsm_partition_coeffs& partition);
// Stores the constituent base, dx and the pH, and sizes the totals.
void nsm_overland_set_grid(nsm_overland& ov, int first_nsm_constituent, double dx, double ph);
// n = (links + 1) x (stride + 1) flat node positions; the totals are
// stride + 1 rows of links + 1 entries.
void nsm_alloc_streams(nsm_stream& st, int links, int stride, double water_temp,
                       const nsm_partition_coeffs& partition);
void nsm_stream_init(nsm_stream& st, int first_nsm_constituent, double ph);
void nsm_stream_name_arrays(nsm_stream& st);
void nsm_alloc_lakes(nsm_lake& lake, int num_lakes, double water_temp,
                     const nsm_partition_coeffs& partition);
void nsm_lake_set_sizes(nsm_lake& lake, int first_nsm_constituent, double ph);
void nsm_alloc_soils(nsm_soil& soil, int ncells, int layers);

// The index map between soil pools and water constituents: with base 0,
// to_pool 1 maps water constituent i (0..8) to its pool slot, 0 maps pool
// slot i (0..12) to its water constituent; -1 for no partner; indices
// outside base..base+12 come back unchanged, and a partner comes back
// offset by base.
int lookup13(int base, int i, int to_pool);

// One numbering of the nutrients' soil rows. The run's constituent list
// has one row per water constituent (base + 0..8); the soil side of row
// base + w is the partner pool of w: what the water of w leaves in the soil
// goes into that pool, and the pool's mass is that row's soil mass. The
// eight pools without a water partner have no row: nothing but their
// tables sets them.
// The pool slot (0..12) of water constituent `water` (0..8), -1 for none.
inline int nsm_partner_pool(int water) {
  return water >= 0 && water < nsm_water_items ? lookup13(0, water, 1) : -1;
}
// The water constituent (0..8) whose soil row holds pool `slot`, -1 for
// none.
inline int nsm_pool_partner(int slot) { return slot >= 0 && slot < nsm_soil_pools ? lookup13(0, slot, 0) : -1; }

// The five pool/water partner pairs the soil exchange walks, in order:
// (NH4 pool, NH4), (NO3 pool, NO3), (Organic Active N, ON),
// (Mineral Solution P, DP), (Organic Active P, OP).
inline constexpr std::array<std::array<int, 2>, 5> nsm_soil_partners{{
    {nsm_pool::nh4, nsm_c::nh4},
    {nsm_pool::no3, nsm_c::no3},
    {nsm_pool::org_active_n, nsm_c::on},
    {nsm_pool::min_solution_p, nsm_c::dp},
    {nsm_pool::org_active_p, nsm_c::op},
}};

}  // namespace nivra
