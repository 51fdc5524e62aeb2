// model_state: the one record of a model run. The driver builds one on the
// heap at the start of every run and destroys it at the end; calibration
// builds thousands of them in one process, so nothing in it survives its run.
//
// The record is split by concern into sub-records, each declared in the
// folder that owns the concern, and aggregated here so that code reads the
// model's own names directly (ms.ov_depth, ms.ov_dt, ms.project_options).
#pragma once

#include <memory>

#include "channel/channel_state.h"
#include "channel/pipe_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "run/clock_state.h"
#include "surface/groundwater_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "surface/soil_state.h"

namespace nivra {

struct model_state : grid_state,
                     clock_state,
                     overland_state,
                     soil_state,
                     groundwater_state,
                     lake_state,
                     channel_state,
                     pipe_state,
                     hydromet_state,
                     constituent_state,
                     output_state,
                     project_state {
  model_state();
  // Empties the process-wide lists that every run fills again, releases the
  // nutrient model, then every member: arrays freed, files closed.
  ~model_state();
  model_state(const model_state&) = delete;
  model_state& operator=(const model_state&) = delete;
};

// A fresh record on the heap.
std::unique_ptr<model_state> make_model_state();

}  // namespace nivra
