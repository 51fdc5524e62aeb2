// Time steps, output intervals, outlet and site of a run, taken from the
// project's cards before the maps are read.
#include <cstdio>

#include "core/errors.h"
#include "core/process.h"
#include "model/model_state.h"
#include "run/steps.h"

namespace nivra {

void setup_time_steps(model_state& ms) {
  run_control& rc = ms.run_control;
  // The model step is the smaller of the overland and the stream steps; a
  // stream step not given takes the overland one.
  if (rc.st_time_step < 0.01) {
    rc.st_time_step = rc.timestep;
    ms.dt = rc.timestep;
  } else {
    ms.dt = rc.timestep < rc.st_time_step ? rc.timestep : rc.st_time_step;
  }
  if (ms.dt <= 0.001) {
    set_error(52);
    process.error_block.stop = 1;
    return;
  }
  ms.proj_rows = rc.rows;
  ms.proj_cols = rc.cols;
  ms.base_dt = ms.dt;
  ms.tot_time = rc.tot_time;

  if (rc.hyd_freq <= 0.0) {
    rc.hyd_freq = 60.0;
    set_error(55);
    report_error();
  }
  ms.hyd_write_steps = static_cast<int>(60.0 / ms.dt * rc.hyd_freq);

  if (rc.map_freq == 0) {
    rc.map_freq = 360;
    if (!ms.super_quiet && process.parallel_env.proc_id == 0)
      std::printf("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
  }
  ms.map_write_steps = static_cast<int>(60.0 / ms.dt * rc.map_freq);

  ms.outlet_slope = rc.outslope;
  ms.outrow = rc.outrow;
  ms.outcol = rc.outcol;
  if (rc.outslope < 1e-9) {
    set_error(56);
    process.error_block.stop = 1;
    return;
  }

  ms.latitude = rc.latitude;
  ms.grid_size = rc.gridsize;
  ms.longitude = rc.longitude;
  if (ms.long_term && (rc.latitude < 0.01 || rc.longitude < 0.01)) {
    set_error(57);
    process.error_block.stop = 1;
    return;
  }

  ms.gmt = rc.gmt;
  ms.gmt_given = rc.gmt_given;
  ms.qout_cfs = rc.qout_cfs;
  ms.quiet = rc.quiet;
  if (ms.long_term && !rc.gmt_given) {
    set_error(58);
    process.error_block.stop = 1;
    return;
  }

  ms.nrows = rc.rows;
  ms.ncols = rc.cols;
}

}  // namespace nivra
