// Evapotranspiration taken from the ground of long-term runs: from water
// ponded on a cell first, then from the two zones of the soil-moisture
// accounting (a top zone of TOP_LAYER_DEPTH and the rest of the accounted
// column), each in proportion to how wet it is and to its share of the
// column. The same pass takes the water infiltrated since the last one into
// the zones (what overflows the top zone fills the bottom one; what the
// column cannot hold waits for the next pass). Drainage below the column is
// not part of this pass.
//
// Depths of the accounting are in cm, the overland depth in m.
#pragma once

namespace nivra {

struct soil_et_cells {
  int n = 0;
  double dt = 0.0;          // s
  double cell_area = 0.0;   // m2
  bool long_term = true;    // evapotranspiration only in long-term runs
  bool deardorff = false;   // bare-soil stress (ET_CALC_DEARDORFF), else plant stress
  double* ov_depth = nullptr;          // m over the open part of a cell
  const double* blocked = nullptr;     // blocked fraction per cell, null without blockage
  const double* pet_rate = nullptr;    // cm/s
  const double* aet_rate = nullptr;    // cm/s
  const double* rain = nullptr;        // rain of the step, mm/h (null: none)
  const double* snow_swe = nullptr;    // m, null when no snow is present
  const int* boundary_type = nullptr;  // null without overland boundaries
  const int* channel_lake = nullptr;   // null without channel lakes
  const int* overland_lake = nullptr;  // null without overland lakes
  // The accounting's column and its soil (one set of parameters for both
  // zones): depth (cm), porosity, residual and wilting contents, field
  // capacity (0 where none is given: the soil then dries unstressed to its
  // residual content).
  const double* sm_depth = nullptr;
  const double* porosity = nullptr;
  const double* residual = nullptr;
  const double* field_capacity = nullptr;
  const double* wilting = nullptr;
  double top_layer_depth = 0.0;   // cm
  double soil_moist_depth = 0.0;  // cm, the weight of the zones' shares
  // State: the water of the zones (cm), the infiltration waiting for the
  // accounting (m), the evaporation from ponded water so far (cm).
  double* sm_water_top = nullptr;
  double* sm_water_bottom = nullptr;
  double* sm_water = nullptr;
  double* sm_infil_in = nullptr;
  double* direct_evap_cell = nullptr;
};

// Volumes a pass removed, m3.
struct soil_et_books {
  double ponded = 0.0;  // evaporated from water standing on the cells
  double soil = 0.0;    // evapotranspired from the soil zones
};

// One pass over dt. Cells with rain, snow, a fixed-level boundary or a lake
// lose nothing.
soil_et_books soil_moisture_redist(const soil_et_cells& cells);

}  // namespace nivra
