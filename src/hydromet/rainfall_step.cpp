// The rain that every overland step puts on the cells: the canopy's share
// first, then the rest on channel lakes, overland lakes, fixed-level
// boundary cells, the snowpack or the open part of each cell's surface.
#include "hydromet/rainfall_step.h"

#include <cmath>
#include <cstdio>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/interception.h"
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
  if (ms.hydromet.precip_unif) ms.hydromet.uniform_rain_step += 1;
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const bool chan_lakes = ms.lake.chan_lakes && !ms.lake.lake_mask.empty();
  if (ms.hydromet.interception_coeff_given) {
    // The canopy holds its share before the rest reaches the ground; what
    // it holds is rain that fell on the watershed.
    hydromet_state& hm = ms.hydromet;
    const canopy_cells cells{n,
                             hm.icep_stor.data(),
                             hm.icep_coef.data(),
                             hm.rain_depth.data(),
                             hm.ri_eff.data(),
                             hm.icep_dep.data(),
                             chan_lakes ? ms.lake.lake_mask.data() : nullptr};
    const seasonal_months season{hm.seasonal_rs, hm.seasonal_rs_spring, hm.seasonal_rs_fall,
                                 hm.seasonal_rs_summer_start, hm.seasonal_rs_summer_end};
    const double held = canopy_interception(cells, dt, seasonal_factor(ms.clock.cur_month, hm.latitude, season)) *
                        area / 1000.0;
    ms.ledger.book(water_flux::interception, held);
  }
  const bool olakes = ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty();

  const double* rain = ms.hydromet.rain_depth.data();
  const double* intensity = ms.hydromet.interception_coeff_given ? ms.hydromet.ri_eff.data() : rain;
  double* h = ms.overland.ov_depth.data();
  const bool boundary = ms.overland.ov_boundary && !ms.overland.boundary_type.empty();
  const double* blocked = blocked_cells(ms.overland);
  const bool long_term = ms.clock.long_term != 0;
  const bool general = chan_lakes || olakes || boundary || blocked != nullptr || long_term;
  // Depth of rain of the step per mm/h of intensity.
  const double depth_per_intensity = dt / 3.6e6;

  double rain_volume = 0.0, rain_sum = 0.0;
  for (int c = 1; c <= n; ++c) {
    if (general) {
      const double V = rain[c] * depth_per_intensity * area;
      if (chan_lakes && ms.lake.lake_mask[c] > 0) {
        // Rain on a channel lake goes into the lake.
        const int k = ms.lake.lake_mask[c];
        ms.lake.lake_volume[k] += V;
        ms.ledger.book(water_flux::lake_precipitation, V);
        if (ms.constituent.chan_con_trans && k <= ms.lake.lake_precip_in.size()) ms.lake.lake_precip_in[k] += V;
        continue;
      }
      if (olakes && ms.lake.oland_lake_new[c] > 0) {
        // Rain on an overland lake (what the canopy lets through) goes into
        // the lake, which is part of the grid's surface water.
        const int k = ms.lake.oland_lake_new[c];
        const double on_lake = intensity[c] * depth_per_intensity * area;
        if (k <= ms.lake.olake_precip_vol.size()) ms.lake.olake_precip_vol[k] += on_lake;
        ms.ledger.book(water_flux::overland_lake_inflow, on_lake);
        ms.ledger.book(water_flux::rainfall_to_overland, on_lake);
        ms.lake.olake_update = 1;
        continue;
      }
    }
    const double before = h[c];
    const double I = intensity[c];
    const double d = I * depth_per_intensity;
    rain_sum += I;
    if (general) {
      const double T = long_term && c <= ms.hydromet.cell_air_temp.size() ? ms.hydromet.cell_air_temp[c] : 1000.0;
      if (boundary) {
        const int t = ms.overland.boundary_type[c];
        if (boundary::holds_level(t)) {
          // Rain on a fixed-level cell leaves the grid through the boundary.
          rain_volume += d;
          ms.ledger.book(water_flux::head_boundary_out, area * d);
          ms.overland.rain_reset[c] = 0;
          continue;
        }
      }
      if (long_term && ms.hydromet.snow_swe[c] > 1e-16) ms.hydromet.H_Val[c] += ms.hydromet.scf[c] * d * 1000.0;
      if (long_term && ms.hydromet.snow_temp_base >= T - 1e-16) {
        // It snows; the snow correction factor scales what the gage caught.
        rain_volume += ms.hydromet.scf[c] * d;
        ms.hydromet.snow_present = 1;
        ms.hydromet.snow_swe[c] += ms.hydromet.scf[c] * d;
        if (d > 1e-16) ms.hydromet.Snow_Accumulated_Hr[c] = 1;
      } else {
        // Rain reaches the open part of a blocked cell only, where it raises
        // the water by its full depth; what falls on the blocked part never
        // reaches the ground and is not booked. Snow water counts over the
        // whole cell, so rain on snow adds the open part's share.
        const double open = open_share(blocked, c);
        if (long_term && ms.hydromet.snow_swe[c] > 1e-16) {
          rain_volume += ms.hydromet.scf[c] * d * open;
          ms.hydromet.snow_swe[c] += ms.hydromet.scf[c] * d * open;
        } else {
          rain_volume += d * open;
          h[c] += d;
        }
      }
    } else {
      rain_volume += d;
      h[c] += d;
    }
    if (std::isnan(h[c])) {
      std::printf("A non-real number for water depth has been detected for overland cell %d after "
                  "applying rainfall\n",
                  c);
      set_error(own_message_code);
      report_error();
      return;
    }
    if (h[c] < -1e-16) {
      if (before < -1e-16)
        // The rain did not make it: the depth was below zero when the rain
        // came, left by a process after the last overland routing (which
        // checks the depths it leaves) or by the initial depths.
        std::printf("A negative depth (%g m) has been detected for overland cell %d before this step's rain "
                    "was added; it was left by the storm sewer, groundwater, lake or channel exchange after "
                    "the last overland routing, or by the initial depths, not by the rainfall\n",
                    before, c);
      else
        std::printf("A negative depth has been detected for overland cell %d after applying rainfall, "
                    "check your rainfall input for negative values\n",
                    c);
      set_error(own_message_code);
      report_error();
      return;
    }
    ms.overland.rain_reset[c] = 0;
  }
  ms.ledger.book(water_flux::rainfall_to_overland, rain_volume * area);
  ms.hydromet.rain_sum += rain_sum;
  if (ms.hydromet.rain_sum > 0.0) {
    ms.clock.rain_steps += 1;
    if (ms.hydromet.first_rain_pending == 1) {
      ms.hydromet.first_rain_pending = 0;
      ms.clock.rain_start_min = ms.clock.elapsed_min;
    }
  }
}

}  // namespace nivra
