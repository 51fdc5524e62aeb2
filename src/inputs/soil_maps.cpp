// The soil parameters of the single-layer Green-Ampt schemes from their own
// maps (the CONDUCTIVITY, CAPILLARY, POROSITY, PORE_INDEX, RESIDUAL_SAT,
// MOISTURE and AREA_REDUCTION cards), converted to metres and seconds. The
// mapping tables, the soil tables of layered soils and the water table are
// not read by this version: their cards stop the run as not available.
#include <cstdio>

#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_map.h"
#include "inputs/grid_state.h"
#include "inputs/input_report.h"
#include "inputs/soil_maps.h"
#include "model/model_state.h"
#include "model/project.h"
#include "soil/soil_state.h"

namespace nivra {

namespace {

// One parameter map: where it comes from, where it goes, how it is
// checked and converted.
struct soil_map {
  guarded_file& file;
  const file_name_text& name;
  array1d<double>& values;
  const char* what;       // "saturated hydraulic conductivity map"
  const char* card;       // the card that names it
  const char* line;       // the progress line
  value_range range;      // of the values as the map holds them
  double divisor = 1.0;   // to the model's units
};

// Reads the map the project opened into its cells; a map the project did
// not name stops the run with a message naming its card. False when the
// run stopped.
bool read_soil_map(model_state& ms, const soil_map& m, const char* scheme) {
  if (!m.file.is_open()) {
    std::fprintf(stderr, "For %s, %s must be specified (the %s card)\n", scheme, m.what, m.card);
    std::fprintf(stderr, "Program stopped.\n");
    stop_with_own_message();
    return false;
  }
  input_report(ms, console_rule::unless_quiet, m.line, m.name.c_str());
  read_cell_map(ms.grid, m.file, m.name.view(), m.values, ms.project.optimizer_mode, m.range);
  close_guarded_file(m.file);
  if (process.error_block.stop) return false;
  if (m.divisor != 1.0)
    for (int c = 1; c <= ms.grid.ncells; ++c) m.values[c] /= m.divisor;
  return true;
}

// The share of each cell that infiltrates: 1 - the area-reduction map, or
// 1 - the UNIF_AREA_REDUCTION value over every cell.
bool read_area_reduction(model_state& ms) {
  soil_state& soil = ms.soil;
  if (!soil.area_reduction_given && !soil.unif_area_reduction_given) return true;
  const int n = ms.grid.ncells;
  if (soil.area_reduction.size() != n) alloc_1d_double(soil.area_reduction, n, "area_reduction");
  soil.area_reduction_given = 1;
  const file_name_text& name = ms.project.area_reduction_file_name;
  if (!name.empty()) {
    if (!open_guarded_file(soil.area_reduction_file, name.view(), "r")) {
      std::printf("Can't open area reduction file named: %s\n", name.c_str());
      stop_with_own_message();
      return false;
    }
    input_report(ms, console_rule::unless_quiet, "reading area reduction map from file: %s\n", name.c_str());
    read_cell_map(ms.grid, soil.area_reduction_file, name.view(), soil.area_reduction, ms.project.optimizer_mode,
                  from_to(0, 1));
    close_guarded_file(soil.area_reduction_file);
    if (process.error_block.stop) return false;
  } else if (soil.unif_area_reduction_given) {
    soil.area_reduction.fill(soil.unif_area_reduction);
  } else {
    std::fprintf(stderr, "For infiltration, the AREA_REDUCTION card needs the name of its map or the "
                         "UNIF_AREA_REDUCTION card\n");
    std::fprintf(stderr, "Program stopped.\n");
    stop_with_own_message();
    return false;
  }
  for (int c = 1; c <= n; ++c) soil.area_reduction[c] = 1.0 - soil.area_reduction[c];
  return true;
}

}  // namespace

void read_infiltration_maps(model_state& ms) {
  soil_state& soil = ms.soil;
  if (!(soil.green_ampt || soil.inf_redist || soil.inf_layered_soil || soil.inf_richards)) return;
  if (soil.inf_richards) return report_card_not_available("INF_RICHARDS");
  if (soil.inf_layered_soil) return report_card_not_available("INF_LAYERED_SOIL");
  if (ms.groundwater.water_table_given) return report_card_not_available("WATER_TABLE");
  if (!read_area_reduction(ms)) return;

  const int n = ms.grid.ncells;
  const char* scheme = soil.inf_redist ? "infiltration redistribution" : "Green and Ampt infiltration";
  const soil_map maps[] = {
      {soil.ks_file, ms.project.conductivity, soil.sat_hyd_cond, "saturated hydraulic conductivity map",
       "CONDUCTIVITY", "reading saturated hydraulic conductivity map from file: %s\n", from_to(0, 10000, "cm/h"),
       360000.0},
      {soil.hc_file, ms.project.capillary, soil.capillary_head, "capillary drive map", "CAPILLARY",
       "reading capillary drive map from file: %s\n", from_to(0, 100000, "cm"), 100.0},
      {soil.porosity_file, ms.project.porosity, soil.soil_porosity, "porosity map", "POROSITY",
       "reading porosity map from file: %s\n", above_to(0, 1)},
  };
  for (const soil_map& m : maps)
    if (!read_soil_map(ms, m, scheme)) return;

  if (soil.inf_redist) {
    const soil_map redistribution[] = {
        {soil.pore_index_file, ms.project.pore_index, soil.pore_dist_index, "pore index map", "PORE_INDEX",
         "reading pore distribution index map from file: %s\n", above_to(0, 100)},
        {soil.residual_sat_file, ms.project.residual_sat, soil.resid_sat, "residual saturation map",
         "RESIDUAL_SAT", "reading residual saturation map from file: %s\n", from_to(0, 1)},
    };
    for (const soil_map& m : redistribution)
      if (!read_soil_map(ms, m, scheme)) return;
  }

  // The initial water content: its map, or dry soil everywhere.
  if (soil.soil_moisture_file.is_open()) {
    input_report(ms, console_rule::unless_quiet, "reading soil moisture map from file: %s\n",
                 ms.project.moisture.c_str());
    read_cell_map(ms.grid, soil.soil_moisture_file, ms.project.moisture.view(), soil.init_moisture,
                  ms.project.optimizer_mode, from_to(0, 1));
    close_guarded_file(soil.soil_moisture_file);
    if (process.error_block.stop) return;
  }
  for (int c = 1; c <= n; ++c) {
    const double m = soil.init_moisture[c];
    soil.surface_moisture[c] = m;
    if (soil.inf_redist) soil.init_moisture_redist[c] = soil.init_moisture_old[c] = m;
  }
}

}  // namespace nivra
