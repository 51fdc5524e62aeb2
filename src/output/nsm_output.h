// What the output writers need of the nutrient model: its output requests
// (map, link/node and hydrograph flags and names per constituent), the
// writers and files of those outputs, and a view of the arrays they write.
// The nutrient container owns one nsm_writers block and points
// model_state::nsm_out at it; it fills the view when its media are
// allocated and sets `recompute` so that the derived totals are brought up
// to date just before they are written.
#pragma once

#include <array>
#include <functional>

#include "core/containers.h"
#include "core/guarded_file.h"
#include "model/file_name_text.h"
#include "output/dataset_out.h"
#include "output/linknode.h"

namespace nivra {

struct model_state;

// The nine water constituents, in this order everywhere.
inline constexpr int nsm_water_count = 9;

// Overland map outputs.
struct nsm_outputs {
  std::array<int, nsm_water_count + 1> out_ov_on{};       // 1-based
  std::array<file_name_text, nsm_water_count + 1> out_ov_file;
  jagged_array<dataset_out> series{"nsm_outputs::series"};
  dataset_out total_ov_n_writer;
  dataset_out total_ov_p_writer;
};

// Stream link/node outputs.
struct nsm_outputs2 {
  std::array<int, nsm_water_count + 1> out_st_on{};
  std::array<file_name_text, nsm_water_count + 1> out_st_file;
  jagged_array<mass_con_writer> series{"nsm_outputs2::series"};
  mass_con_writer total_n_writer;
  mass_con_writer total_kn_writer;
  mass_con_writer total_p_writer;
};

// Outlet hydrographs: name + ".conc" and name + ".mass".
struct nsm_hydrograph_outputs {
  std::array<int, nsm_water_count + 1> out_hyd_on{};
  std::array<file_name_text, nsm_water_count + 1> out_hyd_file;
  std::array<guarded_file, nsm_water_count + 1> hyd_mass_files;
  std::array<guarded_file, nsm_water_count + 1> hyd_conc_files;
};

// The derived totals the writers ask to be recomputed.
enum class nsm_total {
  lakes,               // lake unionized ammonia, total N, Kjeldahl N, total P
  overland_nh3,
  overland_total_n,
  overland_total_p,
  stream_nh3,
  stream_total_n,      // and the lakes' total N
  stream_tkn,
  stream_total_p,
};

// Arrays of the nutrient media, indexed by constituent 1..9. Overland
// arrays are per cell, stream arrays flat (stride x link + node), lake
// arrays per lake; the stream totals are [node][link] tables.
struct nsm_media_view {
  std::array<const double*, nsm_water_count + 1> ov_mass{};
  std::array<const double*, nsm_water_count + 1> ov_conc{};
  std::array<const double*, nsm_water_count + 1> st_mass{};
  std::array<const double*, nsm_water_count + 1> st_conc{};
  std::array<const double*, nsm_water_count + 1> lake_mass{};
  std::array<const double*, nsm_water_count + 1> lake_conc{};
  const double* ov_total_n = nullptr;
  const double* ov_total_p = nullptr;
  const jagged_array<double>* st_total_n = nullptr;
  const jagged_array<double>* st_tkn = nullptr;
  const jagged_array<double>* st_total_p = nullptr;
  const double* lake_total_n = nullptr;
  const double* lake_tkn = nullptr;
  const double* lake_total_p = nullptr;
};

struct nsm_writers {
  nsm_outputs outputs;
  nsm_outputs2 outputs2;
  nsm_hydrograph_outputs hydrographs;
  nsm_media_view media;
  std::function<void(nsm_total)> recompute;  // may be empty
};

// Sets up the nutrient series (overland totals, channel totals and the
// per-constituent maps and link/node files).
void init_nutrient_map_series(nsm_writers& nsm, model_state& ms);

// Writes the nutrient series at a map output time.
void write_constituent_map_output(model_state& ms);

// Appends the outlet concentration and mass lines of the nutrient
// hydrographs.
void write_hydrograph_line(model_state& ms);

// At the normal end of a run: the end card of every nutrient dataset file
// and "ENDDS" after the last block of every nutrient link/node file.
void write_nutrient_end_cards(model_state& ms);

}  // namespace nivra
