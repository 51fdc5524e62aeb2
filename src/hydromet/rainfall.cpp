// The rain of one overland step on the cells.
#include "hydromet/rainfall.h"

#include <array>
#include <cassert>
#include <cmath>
#include <cstdio>

#include "surface/blockage.h"
#include "surface/boundary_codes.h"

namespace nivra {

namespace {

// What the rain did on one part of the cells: the sums the books take, and
// the first cell of the part whose depth went wrong (0: none) with its
// depth before the rain.
struct rain_part {
  double rain_volume = 0.0;  // depth summed over the cells it reached, m
  double on_lakes = 0.0;     // volume on overland lakes, m3
  double on_channel_lakes = 0.0;
  double into_overland_lakes = 0.0;
  double out_at_fixed_levels = 0.0;
  double intensity_sum = 0.0;
  bool snowed = false;
  bool on_overland_lakes = false;
  rain_status status = rain_status::ok;
  int cell = 0;
  double before = 0.0;
};

// The rain on the cells first..last into the sums r; stops at the first
// cell whose depth is not a number or below zero after it.
[[gnu::always_inline]] inline void gather_rain(const rain_domain& d, double dt, int first, int last, rain_part& r) {
  const double area = d.cell_area;
  const double* intensity = d.through ? d.through : d.rain;
  double* h = d.depth;
  const bool snow = d.swe != nullptr;
  const bool general =
      d.lake_mask != nullptr || d.overland_lake != nullptr || d.boundary_type != nullptr || d.blocked != nullptr || snow;
  // Depth of rain of the step per mm/h of intensity.
  const double depth_per_intensity = dt / 3.6e6;
  for (int c = first; c <= last; ++c) {
    if (general) {
      if (d.lake_mask && d.lake_mask[c] > 0) {
        // Rain on a channel lake goes into the lake, canopy or not.
        const int k = d.lake_mask[c];
        assert(k <= d.lake_count);
        const double V = d.rain[c] * depth_per_intensity * area;
        d.lake_volume[k] += V;
        r.on_channel_lakes += V;
        if (d.lake_rain && k <= d.lake_rain_count) d.lake_rain[k] += V;
        continue;
      }
      if (d.overland_lake && d.overland_lake[c] > 0) {
        // Rain on an overland lake (what the canopy lets through) goes into
        // the lake, which is part of the grid's surface water.
        const int k = d.overland_lake[c];
        const double on_lake = intensity[c] * depth_per_intensity * area;
        if (d.overland_lake_rain && k <= d.overland_lake_count) d.overland_lake_rain[k] += on_lake;
        r.on_lakes += on_lake;
        r.into_overland_lakes += on_lake;
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
        r.rain_volume += depth;
        r.out_at_fixed_levels += area * depth;
        d.rain_reset[c] = 0;
        continue;
      }
      // The precipitation on the pack, and the snow that falls to form one.
      const bool snowing = snow && d.snow_base_temp >= T - 1e-16;
      if (snow && (d.swe[c] > 1e-16 || snowing)) d.rain_on_snow[c] += d.snow_correction[c] * depth * 1000.0;
      if (snowing) {
        // It snows; the snow correction factor scales what the gage caught.
        r.rain_volume += d.snow_correction[c] * depth;
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
          r.rain_volume += d.snow_correction[c] * depth * open;
          d.swe[c] += d.snow_correction[c] * depth * open;
        } else {
          r.rain_volume += depth * open;
          h[c] += depth;
        }
      }
    } else {
      r.rain_volume += depth;
      h[c] += depth;
    }
    if (std::isnan(h[c]) || h[c] < -1e-16) {
      r.status = std::isnan(h[c]) ? rain_status::depth_not_a_number : rain_status::negative_depth;
      r.cell = c;
      r.before = before;
      return;
    }
    d.rain_reset[c] = 0;
  }
}

// The rain on the cells first..last; stops at the first cell whose depth is
// not a number or below zero after it. The sums gather in a local copy,
// which the stores into the depths cannot alias, and go to `out` at the end.
void rain_on_part(const rain_domain& d, double dt, int first, int last, rain_part& out) {
  rain_part r;
  gather_rain(d, dt, first, last, r);
  out = r;
}

void report_fault(const rain_part& r) {
  if (r.status == rain_status::depth_not_a_number) {
    std::printf("A non-real number for water depth has been detected for overland cell %d after "
                "applying rainfall\n",
                r.cell);
  } else if (r.before < -1e-16) {
    // The rain did not make it: the depth was below zero when the rain
    // came, left by a process after the last overland routing (which
    // checks the depths it leaves) or by the initial depths.
    std::printf("A negative depth (%g m) has been detected for overland cell %d before this step's rain "
                "was added; it was left by the storm sewer, groundwater, lake or channel exchange after "
                "the last overland routing, or by the initial depths, not by the rainfall\n",
                r.before, r.cell);
  } else {
    std::printf("A negative depth has been detected for overland cell %d after applying rainfall, "
                "check your rainfall input for negative values\n",
                r.cell);
  }
}

}  // namespace

rain_result rain_on_cells(const rain_domain& d, double dt) {
  const int n = d.ncells;
  // Lakes gather the rain of many cells: their grids take one part. Any
  // other grid is cut into a number of parts that depends on its cells
  // alone, and the parts' sums are added in part order, so that the books
  // come out the same on any number of threads.
  const bool lakes = d.lake_mask != nullptr || d.overland_lake != nullptr;
  const int parts = lakes ? 1 : rain_parts(n);
  std::array<rain_part, rain_most_parts> part{};
  auto body = [&](int first, int last, int k) { rain_on_part(d, dt, first, last, part[static_cast<std::size_t>(k)]); };
  if (d.crew && parts > 1)
    for_parts(*d.crew, n, parts, body);
  else
    for (int k = 0; k < parts; ++k) {
      const item_range r = share_of(1, n, k, parts);
      body(r.begin, r.end, k);
    }
  // Every part's rain is booked, up to its first faulty cell; the first
  // fault in cell order is reported.
  rain_result r;
  double rain_volume = 0.0, on_lakes = 0.0;
  for (int k = 0; k < parts; ++k) {
    const rain_part& p = part[static_cast<std::size_t>(k)];
    rain_volume += p.rain_volume;
    on_lakes += p.on_lakes;
    r.books.on_channel_lakes += p.on_channel_lakes;
    r.books.into_overland_lakes += p.into_overland_lakes;
    r.books.out_at_fixed_levels += p.out_at_fixed_levels;
    r.intensity_sum += p.intensity_sum;
    r.snowed = r.snowed || p.snowed;
    r.on_overland_lakes = r.on_overland_lakes || p.on_overland_lakes;
    if (p.status != rain_status::ok && r.status == rain_status::ok) {
      report_fault(p);
      r.status = p.status;
      r.cell = p.cell;
    }
  }
  r.books.on_surface = on_lakes + rain_volume * d.cell_area;
  return r;
}

}  // namespace nivra
