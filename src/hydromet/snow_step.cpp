#include "hydromet/snow_step.h"

#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/snow_melt.h"
#include "hydromet/snowpack_layers.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "soil/infiltration_step.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool fixed_level_cell(const model_state& ms, int c) {
  if (!ms.overland.ov_boundary || ms.overland.boundary_type.empty()) return false;
  const int t = ms.overland.boundary_type[c];
  return boundary::holds_level(t);
}

}  // namespace

void init_snow_state(model_state& ms) {
  if (!ms.clock.long_term) return;
  hydromet_state& hm = ms.hydromet;
  for (int c = 1; c <= hm.snap_nivra_params.rows(); ++c) {
    auto pack = hm.snap_nivra_params[c];
    reset_pack_record(pack);
    pack[pack_field::depth] = 10.0;
    pack[pack_field::water] = 3.0;
    pack[pack_field::residual] = 0.0;
    pack[pack_field::time_step] = hm.snow_interval;
    pack[pack_field::density] = 1.0;
  }
  for (int c = 1; c <= hm.sn_stat.rows(); ++c) {
    auto status = hm.sn_stat[c];
    for (int k = 1; k <= hm.sn_stat.cols(); ++k) status[k] = 0.0;
    status[10] = 0.67;
    status[16] = 3.0;
  }
  hm.Melt_Waves.fill(0.0);
  hm.melt_pending = hm.melt_period = 0;
}

void snowmelt_step(model_state& ms) {
  clock_state& clock = ms.clock;
  if (!clock.long_term || !is_due(ms, clock.snow_next_time)) return;
  hydromet_state& hm = ms.hydromet;
  const double dt = seconds_since(ms, clock.snow_last_time);
  hm.snow_hour_accum += dt / 3600.0;
  bool full_hour = hm.eb_snow != 0;
  if (hm.snow_hour_accum > 0.999861111) {
    full_hour = true;
    hm.snow_hour_accum = 0.0;
  }
  const int n = ms.grid.ncells;
  if (full_hour && hm.snow_present == 1 && !hm.snow_swe.empty()) {
    hm.melt_pending = 0;
    snow_step_cells cells;
    cells.n = n;
    cells.dt = dt;
    cells.month = hm.hmet_hour_month;
    cells.day = hm.hmet_hour_day;
    cells.melt_wave_coef = ms.overland.snow_darcy;
    if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) cells.boundary_type = ms.overland.boundary_type.data();
    if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty())
      cells.overland_lake = ms.lake.oland_lake_new.data();
    if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty()) cells.channel_lake = ms.lake.lake_mask.data();
    const snow_step_result r = snow_cell_step(hm, cells);
    if (r.status != snow_status::ok) {
      set_error(own_message_code);
      return;
    }
    hm.snow_present = r.snow_present;
    hm.melt_pending = r.melt_pending;
    if (hm.melt_pending && !hm.melt_period) {
      hm.melt_period = 1;
      clock.melt_next_time = clock.model_time;
      clock.melt_last_time = clock.model_time - clock.melt_dt_days;
    } else if (hm.melt_period && !hm.melt_pending) {
      hm.melt_period = 0;
      clock.melt_next_time = hm.next_rain_period_time;
    }
  }
  if (full_hour && !hm.eb_snow && !hm.SNOW_PRECIP_6HR.empty()) {
    for (int c = 1; c <= n; ++c) {
      auto slot = hm.SNOW_PRECIP_6HR[c];
      for (int k = 6; k >= 2; --k) slot[k] = slot[k - 1];
      slot[1] = 0.0;
    }
  }
  if (hm.snow_no_infiltrate && !hm.snow_no_infil_cell.empty()) {
    for (int c = 1; c <= n; ++c) {
      const bool lake = overland_lake_of(ms.lake, c) || under_channel_lake(ms.lake, c);
      hm.snow_no_infil_cell[c] = !lake && hm.snow_swe[c] > 1e-16 ? 1 : 0;
    }
  }
  clock.snow_last_time = clock.model_time;
  clock.snow_next_time = clock.model_time + clock.snow_dt_days;
}

void apply_snowmelt(model_state& ms) {
  clock_state& clock = ms.clock;
  hydromet_state& hm = ms.hydromet;
  if (!clock.long_term || !hm.melt_period || !is_due(ms, clock.melt_next_time)) return;
  if (!hm.melt_pending) {
    hm.melt_period = 0;
    clock.melt_next_time = next_event_start(ms);
    clock.melt_last_time = clock.melt_next_time - clock.ov_dt_days;
    return;
  }
  const double dt = seconds_since(ms, clock.melt_last_time);
  hm.melt_steps_in_hour += 1;
  hm.melt_pending = 0;
  bool wet = false;
  const int slots = hm.melt_wave_slots < 1 ? 1 : hm.melt_wave_slots;
  const double* blocked = blocked_cells(ms.overland);
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double released = 0.0;
  double* depth = ms.overland.ov_depth.data();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    double& held = hm.snow_melt_to_ov[c];
    if (held < 1e-16) continue;
    if (under_channel_lake(ms.lake, c) || overland_lake_of(ms.lake, c) || fixed_level_cell(ms, c)) continue;
    const melt_waves waves{&hm.Melt_Waves(c, 0, 0)};
    // The melt lands on the open part of a blocked cell.
    const double open = open_share(blocked, c);
    for (int w = 1; w <= slots; ++w) {
      double& r = waves.amount(w);
      double& q = waves.rate(w);
      double m = dt >= 3599.99 ? q : q / 3600.0 * dt;
      if (r < 1e-8 || m > r || hm.snow_swe[c] < 1e-16) {
        m = r;
        r = 0.0;
        q = 0.0;
      } else {
        r -= m;
      }
      held -= m;
      if (held < 1e-16) held = 0.0;
      if (held > 1e-16) hm.melt_pending = 1;
      depth[c] += m / open;
      released += m * area;
      if (depth[c] > 1e-16) wet = true;
    }
  }
  ms.ledger.book(water_flux::snowmelt, released);
  if (!ms.overland.ov_water_at_start && wet) wake_surface_processes(ms);
  clock.melt_last_time = clock.model_time;
  clock.melt_next_time = clock.model_time + clock.melt_dt_days;
}

}  // namespace nivra
