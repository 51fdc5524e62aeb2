// The rain that every overland step puts on the cells: the canopy's share
// first, then the rest on the cells (hydromet/rainfall.h).
#include "hydromet/rainfall_step.h"

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/interception.h"
#include "hydromet/rainfall.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

void apply_rainfall(model_state& ms) {
  if (!is_due(ms, ms.clock.ov_next_time) || ms.clock.precip_event_state != 1) return;
  const double dt = seconds_since(ms, ms.clock.ov_last_time);
  hydromet_state& hm = ms.hydromet;
  lake_state& lk = ms.lake;
  overland_state& ov = ms.overland;
  if (hm.precip_unif) hm.uniform_rain_step += 1;
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const bool chan_lakes = lk.chan_lakes && !lk.lake_mask.empty();
  if (hm.interception_coeff_given) {
    // The canopy holds its share before the rest reaches the ground; what
    // it holds is rain that fell on the watershed.
    const canopy_cells cells{n,
                             hm.icep_stor.data(),
                             hm.icep_coef.data(),
                             hm.rain_depth.data(),
                             hm.ri_eff.data(),
                             hm.icep_dep.data(),
                             chan_lakes ? lk.lake_mask.data() : nullptr};
    const seasonal_months season{hm.seasonal_rs, hm.seasonal_rs_spring, hm.seasonal_rs_fall,
                                 hm.seasonal_rs_summer_start, hm.seasonal_rs_summer_end};
    const double held = canopy_interception(cells, dt, seasonal_factor(ms.clock.cur_month, hm.latitude, season)) *
                        area / 1000.0;
    ms.ledger.book(water_flux::interception, held);
  }

  rain_domain d;
  d.ncells = n;
  d.cell_area = area;
  d.rain = hm.rain_depth.data();
  d.through = hm.interception_coeff_given ? hm.ri_eff.data() : nullptr;
  d.depth = ov.ov_depth.data();
  d.rain_reset = ov.rain_reset.data();
  if (chan_lakes) {
    d.lake_mask = lk.lake_mask.data();
    d.lake_volume = lk.lake_volume.data();
    d.lake_count = lk.lake_volume.size();
    if (ms.constituent.chan_con_trans) {
      d.lake_rain = lk.lake_precip_in.data();
      d.lake_rain_count = lk.lake_precip_in.size();
    }
  }
  if (lk.overland_lake_map_given && !lk.oland_lake_new.empty()) {
    d.overland_lake = lk.oland_lake_new.data();
    d.overland_lake_rain = lk.olake_precip_vol.data();
    d.overland_lake_count = lk.olake_precip_vol.size();
  }
  if (ov.ov_boundary && !ov.boundary_type.empty()) d.boundary_type = ov.boundary_type.data();
  d.blocked = blocked_cells(ov);
  if (ms.clock.long_term != 0) {
    d.air_temp = hm.cell_air_temp.data();
    d.air_temp_count = hm.cell_air_temp.size();
    d.snow_base_temp = hm.snow_temp_base;
    d.snow_correction = hm.scf.data();
    d.swe = hm.snow_swe.data();
    d.rain_on_snow = hm.H_Val.data();
    d.snow_fell = hm.Snow_Accumulated_Hr.data();
  }

  d.crew = &ov.crew;

  const rain_result r = rain_on_cells(d, dt);
  if (r.on_overland_lakes) lk.olake_update = 1;
  if (r.snowed) hm.snow_present = 1;
  // What the rain moved before a failure stays booked.
  ms.ledger.book(r.books, rain_books_terms);
  if (r.status != rain_status::ok) {
    set_error(own_message_code);
    report_error();
    return;
  }
  hm.rain_sum += r.intensity_sum;
  // The steps with rain: a dry spell within the precipitation record (a
  // period line of zero depths) counts none.
  if (r.intensity_sum > 0.0) ms.clock.rain_steps += 1;
  if (hm.rain_sum > 0.0) {
    if (hm.first_rain_pending == 1) {
      hm.first_rain_pending = 0;
      ms.clock.rain_start_min = ms.clock.elapsed_min;
    }
  }
}

}  // namespace nivra
