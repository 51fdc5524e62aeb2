// Part of the run's model_state: Saturated groundwater, tiles and wells, Sacramento and conceptual groundwater models.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct groundwater_state {
  // --- groundwater read by the outputs
  array1d<double> elevgw;            // water-table elevation per cell, m
  array2d<double> av_qriv;           // [node][link] stream-aquifer exchange summed since the last output step
  array1d<double> cum_gw_recharge;   // cumulative recharge per cell
  int num_wells = 0;
  array1d<int> well_row, well_column;
};

}  // namespace nivra
