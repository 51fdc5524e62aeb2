// The overland sediment record of a run: what the output writers and the
// summaries read of it.
// The sediment set-up builds it when soil erosion is on (the model record
// then holds it in ov_sed); the overland sediment step fills it.
#pragma once

#include "core/arrays.h"
#include "surface/overland_sediment.h"

namespace nivra {

struct ov_sed_record {
  array1d<double> spec_grav;         // per class: specific gravity
  array1d<double> part_diam;         // per class: particle diameter, mm
  ov_sed_cells cells;                // [cell][class] suspended, loose and removed sediment of the cells
  double outlet_last_vol = 0.0;      // sediment volume that left at the outlet in the step, m3
  array2d<double> ov_qsmax;          // [cell][class] flux of the step, m3/s; class 0 the total
  array1d<double> ov_qsmax_total;    // per cell, filled by the map output
  array2d<double> ov_qsvol;          // [cell][class] net volume, deposited minus eroded
  array2d<double> ov_qsconc;         // [cell][class] suspended volume; class 0 the total
  array1d<double> ov_conc;           // per cell, filled by the map output
  array1d<double> ov_net_sed;        // per cell, filled by the map output
  // [class][1..4]: 1 eroded (a negative running sum), 2 suspended,
  // 3 deposited, 4 discharged (to the outlet or into the channels).
  array2d<double> tot_sed;
  array1d<int> sed_class;            // class order: fine classes first, then sand
};

}  // namespace nivra
