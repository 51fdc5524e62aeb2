// A hydromet component with the snow arrays of n cells, as the set-up of a
// long-term run makes them, for the snow kernels: no snow, the pack records
// reset, the weather of every cell 0 C, 70 %, 1000 mb, calm, no radiation.
// set_snow_cells lays them out in a component in place (that of a whole
// model state); snow_cells makes a component of its own.
#pragma once

#include <memory>

#include "hydromet/hydromet_state.h"
#include "hydromet/snowpack_layers.h"

namespace nivra::testing {

inline void set_snow_cells(hydromet_state& state, int n) {
  hydromet_state* hm = &state;
  for (auto* a : {&hm->snow_swe, &hm->snow_depth, &hm->snow_air_temp, &hm->cell_rel_humidity, &hm->cell_pressure,
                  &hm->cell_wind_speed, &hm->R_short, &hm->R_long, &hm->H_Val, &hm->ATI_2, &hm->D_2, &hm->Wq,
                  &hm->Wi, &hm->MF_Max, &hm->MF_Min, &hm->NMF, &hm->TIPM, &hm->PLWHC, &hm->fr_use,
                  &hm->snow_melt_to_ov})
    a->alloc(n);
  hm->melt_occurred.alloc(n);
  hm->SNOW_PRECIP_6HR.alloc(n, 8);
  hm->Melt_Waves.alloc(n, 6, 3);
  hm->snap_nivra_params.alloc(n, 11);
  hm->sn_stat.alloc(n, 23);
  for (int c = 1; c <= n; ++c) {
    reset_pack_record(hm->snap_nivra_params[c]);
    hm->cell_rel_humidity[c] = 70.0;
    hm->cell_pressure[c] = 1000.0;
    hm->MF_Max[c] = 1.2;
    hm->NMF[c] = 0.2;
    hm->TIPM[c] = 0.2;
    hm->PLWHC[c] = 0.05;
  }
  hm->melt_wave_slots = 1;
}

inline std::unique_ptr<hydromet_state> snow_cells(int n) {
  auto hm = std::make_unique<hydromet_state>();
  set_snow_cells(*hm, n);
  return hm;
}

}  // namespace nivra::testing
