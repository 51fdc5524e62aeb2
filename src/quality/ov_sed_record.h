// The overland sediment record of a run: what the output writers and the
// summaries read of it.
// The sediment set-up builds it when soil erosion is on (the model record
// then holds it in ov_sed); the overland sediment step fills it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "model/mass_ledger.h"
#include "surface/overland_sediment.h"

namespace nivra {

struct ov_sed_record {
  // ---- Parameters: the particle classes (1..n_sed_classes, in the order of
  // the SEDIMENTS table) and the erosion parameters of the cells.
  array1d<double> spec_grav;         // specific gravity
  array1d<double> part_diam;         // particle diameter, mm
  array1d<int> by_size;              // the classes from the finest to the coarsest
  array1d<double> f_bind;            // binding fraction of the SEDIMENTS table
  std::vector<std::string> output_filename;  // per class, 1-based
  array1d<double> settling_velocity; // fall velocity in still water, m/s
  array1d<double> sed_density;       // density of the solids, g/m3
  double water_viscosity = 0.0;      // kinematic, m2/s
  array1d<double> splash_K;          // rain-splash erodibility (60 where not above 1e-16)
  array1d<double> detach_coef;       // flow detachment coefficient (2e-05 where not above 1e-16)
  array1d<double> detach_exp;        // flow detachment exponent (1 where not above 1e-16)
  array1d<double> detach_crit;       // critical shear of the parent soil, N/m2
  array1d<double> sed_K;             // transport-capacity factor of formulas 1 and 2
  array1d<int> channel_cells;        // 1 on a cell that holds a channel

  // ---- State: the cells' sediment per class, stepped by the overland
  // sediment step (surface/overland_sediment.h).
  ov_sed_cells cells;
  // Per class, the suspended sediment the cells' water carried into the
  // pipe inlets, held in the pipe network, m3.
  array1d<double> pipe_sed;
  // Per cell, the share of its suspended sediment the inlets took since
  // the constituents riding on it last followed it (they empty it).
  array1d<double> pipe_share;

  // ---- The water of an overland step as the sediment step sees it
  // (surface/overland_sediment_step.h), per cell (0..cells).
  array1d<double> depth_start;       // depth as the overland step started, m
  array1d<double> step_depth;        // depth the sediment step sees, m
  array1d<double> step_qx, step_qy;  // discharge through the right and lower faces it sees, m3/s

  // ---- Per-run bookkeeping: the step object with its scratch, what one
  // step moved, and the sediment ledger of the run (one constituent per
  // class, solid volumes in m3; quality/sediment/sediment_terms.h).
  ov_sediment_step step;
  ov_sed_books step_books;
  ov_sed_tally step_tally;
  std::unique_ptr<mass_ledger> books;
  double last_step_time = -1e30;       // model time of the last step in which the sediment moved, days
  double event_peak_wash_rate = 0.0;  // largest outlet rate of the fine classes in the event, m3/s

  // ---- Outputs.
  double outlet_last_vol = 0.0;      // sediment volume (all classes) that left at the outlet in the step, m3
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
