// The rain of one overland step on the cells.
#include "hydromet/rainfall.h"

#include <cassert>
#include <cmath>
#include <cstdio>

#include "surface/blockage.h"
#include "surface/boundary_codes.h"

namespace nivra {

rain_result rain_on_cells(const rain_domain& d, double dt) {
  rain_result r;
  const int n = d.ncells;
  const double area = d.cell_area;
  const double* intensity = d.through ? d.through : d.rain;
  double* h = d.depth;
  const bool snow = d.swe != nullptr;
  const bool general =
      d.lake_mask != nullptr || d.overland_lake != nullptr || d.boundary_type != nullptr || d.blocked != nullptr || snow;
  // Depth of rain of the step per mm/h of intensity.
  const double depth_per_intensity = dt / 3.6e6;

  // Depth summed over the cells it reached (m), and the volume on overland
  // lakes (m3): the surface's rain is their sum.
  double rain_volume = 0.0, on_lakes = 0.0;
  auto finish = [&](rain_status s, int c) {
    r.status = s;
    r.cell = c;
    r.books.on_surface = on_lakes + rain_volume * area;
    return r;
  };
  for (int c = 1; c <= n; ++c) {
    if (general) {
      if (d.lake_mask && d.lake_mask[c] > 0) {
        // Rain on a channel lake goes into the lake, canopy or not.
        const int k = d.lake_mask[c];
        assert(k <= d.lake_count);
        const double V = d.rain[c] * depth_per_intensity * area;
        d.lake_volume[k] += V;
        r.books.on_channel_lakes += V;
        if (d.lake_rain && k <= d.lake_rain_count) d.lake_rain[k] += V;
        continue;
      }
      if (d.overland_lake && d.overland_lake[c] > 0) {
        // Rain on an overland lake (what the canopy lets through) goes into
        // the lake, which is part of the grid's surface water.
        const int k = d.overland_lake[c];
        const double on_lake = intensity[c] * depth_per_intensity * area;
        if (d.overland_lake_rain && k <= d.overland_lake_count) d.overland_lake_rain[k] += on_lake;
        on_lakes += on_lake;
        r.books.into_overland_lakes += on_lake;
        r.on_overland_lakes = true;
        continue;
      }
    }
    const double before = h[c];
    const double I = intensity[c];
    const double depth = I * depth_per_intensity;
    r.intensity_sum += I;
    if (general) {
      const double T = snow && c <= d.air_temp_count ? d.air_temp[c] : 1000.0;
      if (d.boundary_type && boundary::holds_level(d.boundary_type[c])) {
        // Rain on a fixed-level cell leaves the grid through the boundary.
        rain_volume += depth;
        r.books.out_at_fixed_levels += area * depth;
        d.rain_reset[c] = 0;
        continue;
      }
      // The precipitation on the pack, and the snow that falls to form one.
      const bool snowing = snow && d.snow_base_temp >= T - 1e-16;
      if (snow && (d.swe[c] > 1e-16 || snowing)) d.rain_on_snow[c] += d.snow_correction[c] * depth * 1000.0;
      if (snowing) {
        // It snows; the snow correction factor scales what the gage caught.
        rain_volume += d.snow_correction[c] * depth;
        r.snowed = true;
        d.swe[c] += d.snow_correction[c] * depth;
        if (depth > 1e-16) d.snow_fell[c] = 1;
      } else {
        // Rain reaches the open part of a blocked cell only, where it raises
        // the water by its full depth; what falls on the blocked part never
        // reaches the ground and is not booked. Snow water counts over the
        // whole cell, so rain on snow adds the open part's share.
        const double open = open_share(d.blocked, c);
        if (snow && d.swe[c] > 1e-16) {
          rain_volume += d.snow_correction[c] * depth * open;
          d.swe[c] += d.snow_correction[c] * depth * open;
        } else {
          rain_volume += depth * open;
          h[c] += depth;
        }
      }
    } else {
      rain_volume += depth;
      h[c] += depth;
    }
    if (std::isnan(h[c])) {
      std::printf("A non-real number for water depth has been detected for overland cell %d after "
                  "applying rainfall\n",
                  c);
      return finish(rain_status::depth_not_a_number, c);
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
      return finish(rain_status::negative_depth, c);
    }
    d.rain_reset[c] = 0;
  }
  return finish(rain_status::ok, 0);
}

}  // namespace nivra
