// nsm: the nutrient-model container. The project reader creates one on the
// NUTRIENTS card and the nutrient cards fill its input settings; the map
// phase and the channel set-up size its media later. The container owns
// everything in it, so destroying it releases the whole nutrient model.
//
// The nine water constituents are always in the order NO2, NO3, NH4, ON,
// OP, DP, Alg, CBOD, DO; the overland settings add DOC, the DOC fraction of
// organic carbon and the dispersion coefficient (twelve items).
#pragma once

#include <string>

#include "core/containers.h"
#include "core/guarded_file.h"
#include "model/file_name_text.h"
#include "output/nsm_output.h"
#include "quality/nsm/aquatic_env.h"
#include "quality/nsm/nsm_media.h"

namespace nivra {

inline constexpr int nsm_water_constituents = 9;

// The display name of water constituent 0..8 ("Nitrite (NO2-)" ..), empty
// outside the nine.
inline std::string nsm_constituent_name(int index, int) {
  return index >= 0 && index < 9 ? nsm_water_display_name(index) : "";
}
inline constexpr int nsm_overland_items = 12;
// The overland items after the nine constituents: the dissolved organic
// carbon and its fraction of the organic carbon (no process of this
// version reads them), the dispersion coefficient.
inline constexpr int nsm_ov_doc_item = 9, nsm_ov_doc_foc_item = 10;

// Initial-value modes of the nutrient cards.
inline constexpr int nsm_init_none = 0;
inline constexpr int nsm_init_file = 1;
inline constexpr int nsm_init_table = 2;    // card without a value: the mapping table
inline constexpr int nsm_init_uniform = 3;  // a uniform value

struct nsm {
  int ncells = 0;
  nsm_part aq_env;
  nsm_overland overland;
  nsm_stream stream;
  nsm_lake lake;
  nsm_soil soil;

  // Overland initial values, twelve items.
  int ov_init_mode[nsm_overland_items] = {};
  file_name_text ov_init_file[nsm_overland_items];
  double ov_init_value[nsm_overland_items] = {};

  // Overland map outputs per constituent, and the total N and P maps.
  int out_ov_on[nsm_water_constituents] = {};
  file_name_text out_ov_file[nsm_water_constituents];

  // Stream initial values, nine constituents.
  int st_init_mode[nsm_water_constituents] = {};
  file_name_text st_init_file[nsm_water_constituents];
  double st_init_value[nsm_water_constituents] = {};

  // Stream link/node outputs per constituent, and total N, Kjeldahl N, P.
  int out_st_on[nsm_water_constituents] = {};
  file_name_text out_st_file[nsm_water_constituents];

  // Hydrograph-point outputs per constituent (".mass" and ".conc" files).
  int out_hyd_on[nsm_water_constituents] = {};
  file_name_text out_hyd_file[nsm_water_constituents];
  guarded_file hyd_mass_files[nsm_water_constituents];
  guarded_file hyd_conc_files[nsm_water_constituents];

  // The output writers: the requests above (numbered 1..9), the files
  // moved in, the series and a view of the arrays they write, connected
  // once the media are set up.
  nsm_writers writers;
};

}  // namespace nivra
