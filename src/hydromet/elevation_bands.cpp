#include "hydromet/elevation_bands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/errors.h"
#include "core/process.h"
#include "hydromet/evapotranspiration.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/solar_shading.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double kelvin = 273.15;
constexpr double stefan_boltzmann = 5.67e-8;

void stop() {
  set_error(own_message_code);
  report_error();
}

int gage_count(const hydromet_state& hm) {
  return std::min(hm.num_hmet_gages, hm.Gage_XYZ_Lev_P_rh_c_w_t_qh.rows());
}

// The band of a gage from its level.
int gage_band(const hydromet_state& hm, int gage) {
  return static_cast<int>(hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(gage, 4) + 0.001);
}

bool band_fault(int cell, double z, int band, int count) {
  std::printf("\nError in Assigning Elevation Bands!!!!\n");
  std::printf("Error: cell %d at %.2lf m falls in elevation band %d; the bands run from 1 to %d.\n", cell, z, band,
              count - 1);
  stop();
  return false;
}

}  // namespace

double saturation_vapour_pressure(double T) { return 6.112 * std::exp(17.67 * T / (T + 243.5)); }

bool elev_band_assign(const grid_state& grid, hydromet_state& hm) {
  array3d<double>& bands = hm.El_T_P_e_es_LR;
  const int count = hm.elev_band_count;
  const double dz = hm.elev_band_height;
  const int g = gage_band(hm, 1);
  const double zg = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(1, 3);
  if (g < 0 || g > count) return band_fault(0, zg, g, count);
  for (int k = 0; k <= count; ++k) bands(1, k, 1) = zg + (k - g) * dz;
  for (int c = 1; c <= grid.ncells; ++c) {
    const double z = grid.elevation[c];
    const int k0 = static_cast<int>(std::floor((z - hm.elev_min) / dz));
    auto between = [&](int lo) { return lo >= 0 && lo + 1 <= count && bands(1, lo, 1) <= z && z <= bands(1, lo + 1, 1); };
    int band = -1;
    if (between(k0 + 1)) band = k0 + 2;
    else if (between(k0 + 2)) band = k0 + 3;
    else if (between(k0)) band = k0 + 1;
    if (band < 1 || band > count - 1) return band_fault(c, z, band, count);
    hm.LR_Num[c] = band;
  }
  return true;
}

double lapse_vapor_calc(double P, double theta, double q, double Tb, double G, row_view<double> band) {
  const double Tk = Tb + kelvin;
  const double Pb = P * std::pow(Tk / theta, gravity / (G * dry_air_gas_constant));
  const double esb = saturation_vapour_pressure(Tb);
  const double eb = Pb * q;
  const double l_cp = 1e6 * (2.501 - 0.00236 * Tb) / 1005.0;
  const double D = Pb - 0.378 * esb;
  const double saturated =
      (0.622 * esb / (D * D) * l_cp * Pb * gravity / (Tk * dry_air_gas_constant) + dry_adiabatic_lapse) /
      (esb * 4105.29 / ((Tb + 237.3) * (Tb + 237.3)) * (0.235116 * esb / (D * D) + 0.622 / D) * l_cp + 1.0);
  band[3] = Pb;
  band[4] = eb;
  band[5] = esb;
  band[6] = esb > eb ? dry_adiabatic_lapse : saturated;
  return band[6];
}

bool lapse_rate_bands(hydromet_state& hm, int gage, double T, double P, double rh_fraction) {
  array3d<double>& bands = hm.El_T_P_e_es_LR;
  const int count = hm.elev_band_count;
  const double dz = hm.elev_band_height;
  const int g = gage_band(hm, gage);
  const double zg = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(gage, 3);
  const double es = saturation_vapour_pressure(T);
  const double e = es * rh_fraction;
  const double theta = T + kelvin;
  // w is the specific humidity; q = w / (0.378 w + 0.622) reduces to e / P.
  const double w = 0.622 * e / (P - 0.378 * e);
  const double q = w / (0.378 * w + 0.622);
  auto band = [&](int k) { return bands[gage][k]; };
  auto walk = [&](int step) {
    bands(gage, g, 1) = zg;
    bands(gage, g, 2) = T;
    double rate = lapse_vapor_calc(P, theta, q, T, 1.0, band(g));
    for (int k = g + step; k >= 0 && k <= count; k += step) {
      const double el = bands(gage, k - step, 1) + step * dz;
      if (std::fabs(bands(gage, k, 1) - el) > 1e-6) {
        std::printf("\nError in Elevation Bands for Lapse Rates\n");
        std::printf("Error: band %d of gage %d lies at %.6lf m, not %.6lf m.\n", k, gage, bands(gage, k, 1), el);
        stop();
        return false;
      }
      const double Tb = bands(gage, k - step, 2) - step * rate * dz;
      bands(gage, k, 2) = Tb;
      rate = lapse_vapor_calc(P, theta, q, Tb, rate, band(k));
    }
    return true;
  };
  return walk(+1) && walk(-1);
}

cell_weather elev_band_temper(const hydromet_state& hm, int cell, double z, double grid_size) {
  const array3d<double>& bands = hm.El_T_P_e_es_LR;
  const int k = hm.LR_Num[cell];
  const double zl = bands(1, k - 1, 1), zu = bands(1, k, 1);
  cell_weather out;
  if (z < zl - 1e-6 || z > zu + 1e-6) {
    band_fault(cell, z, k, hm.elev_band_count);
    out.ok = false;
    return out;
  }
  const double f = zu > zl ? (z - zl) / (zu - zl) : 0.0;
  double weights = 0.0;
  const int gages = gage_count(hm);
  for (int j = 1; j <= gages; ++j) {
    auto at = [&](int field) { return bands(j, k - 1, field) + f * (bands(j, k, field) - bands(j, k - 1, field)); };
    cell_weather g;
    g.T = at(2);
    g.P = at(3);
    g.e = at(4);
    g.es = at(5);
    g.RH = std::min(g.e / g.es, 1.0);
    g.cloud = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(j, 7);
    g.wind = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(j, 8);
    const double d = hm.Dist_Cell2Gage(cell, j);
    // A cell at the gage takes the gage's column.
    if (d < grid_size) {
      g.RH *= 100.0;
      return g;
    }
    const double w = gages == 1 ? 1.0 : 1.0 / ((d / 1000.0) * (d / 1000.0));
    out.T += w * g.T;
    out.P += w * g.P;
    out.e += w * g.e;
    out.es += w * g.es;
    out.RH += w * g.RH;
    out.cloud += w * g.cloud;
    out.wind += w * g.wind;
    weights += w;
  }
  if (weights > 0.0) {
    out.T /= weights;
    out.P /= weights;
    out.e /= weights;
    out.es /= weights;
    out.RH /= weights;
    out.cloud /= weights;
    out.wind /= weights;
  }
  out.RH *= 100.0;
  return out;
}

cell_weather fixed_lapse_weather(const hydromet_state& hm, double z, double rate) {
  const auto gage = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  const double zg = gage[3], Pg = gage[5], Tg = hm.hmet_temperature, q = gage[10];
  cell_weather out;
  out.T = (zg - z) * rate + Tg;
  // The barometric formula of a linear temperature profile; isothermal air
  // where the rate vanishes.
  out.P = std::fabs(rate) > 1e-9
              ? std::pow((out.T + kelvin) / (Tg + kelvin), gravity / (rate * 287.0)) * Pg
              : Pg * std::exp(-gravity * (z - zg) / (287.0 * (Tg + kelvin)));
  out.es = 6.108 * std::exp(17.27 * out.T / (out.T + 237.3));
  const double rh = std::min(out.P * q / (0.378 * q + 0.622) / out.es, 1.0);
  out.RH = rh * 100.0;
  out.e = rh * out.es;
  out.cloud = gage[7];
  out.wind = gage[8];
  return out;
}

void snow_albedo_update(hydromet_state& hm, int c) {
  const double base = hm.albedo_cell.empty() ? 0.0 : hm.albedo_cell[c];
  const double T = hm.cell_air_temp[c];
  const double Tm = hm.temper_hours > 0 ? hm.temper_gridded_sum[c] / hm.temper_hours : T;
  double& a = hm.albedo_w_snow[c];
  if (hm.snow_swe.empty() || hm.snow_swe[c] < 1e-16) {
    a = base;
  } else {
    if (hm.melt_occurred[c] == 0) {
      a -= Tm <= 0.0 ? 0.013 : 0.17;
    } else {
      a = fresh_snow_albedo - 0.011 * hm.Hours_Since_Snow[c] / 24.0;
      hm.melt_occurred[c] = 0;
    }
    a = std::max(std::min(a, fresh_snow_albedo), base);
  }
  hm.temper_gridded_sum[c] = 0.0;
}

void snow_energy_balance(hydromet_state& hm, int c, double e, int hour) {
  const double T = hm.cell_air_temp[c];
  const double h = pi / 2.0 - hm.sun.zenith;
  const bool day = h > 0.0 && h < pi / 2.0;
  double m = 0.0, tau = 0.0;
  if (day) {
    // Air mass of the sun's path, with the altitude in degrees in the power.
    m = 1.0 / (0.15 * std::pow(h * 180.0 / pi + 3.885, -1.253) + std::sin(h));
    tau = 0.128 - 0.054 * std::log10(m);
  }
  const double C = hm.cell_cloud_cover[c] / 10.0;
  const bool snow = !hm.snow_swe.empty() && hm.snow_swe[c] > 0.0;
  const double emissivity = snow ? 0.757 : air_emissivity(e);  // e in mb
  const double Tk = T + kelvin;
  hm.R_long[c] = Tk * Tk * Tk * Tk * emissivity * stefan_boltzmann * (1.0 + 0.17 * C * C);
  const double r = 1.0 + 0.017 * std::cos((186.0 - hm.sun.day_of_year) * 2.0 * pi / 365.0);
  const double kt = hm.Kt.empty() || hm.Kt[c] == 0.0 ? 1.0 : hm.Kt[c];
  const bool shaded = !hm.shade_by_hour.empty() && hm.shade_by_hour(c, hour) != 0;
  hm.R_short[c] = !day || shaded ? 0.0
                                 : std::exp(-2.0 * tau * m) / (r * r) * 1366.0 * hm.Cell_Aspect_Eff_Rad_Percent[c] * kt *
                                       (1.0 - 0.69205 * C) * (1.0 - hm.albedo_w_snow[c]);
  hm.snow_air_temp[c] = day ? std::pow((hm.R_long[c] + hm.R_short[c]) / stefan_boltzmann, 0.25) - kelvin : T;
}

namespace {

// The sun's direction of the hour: east, north and up.
struct sun_direction {
  double x = 0.0, y = 0.0, z = 0.0;
};

sun_direction sun_direction_of(const hydromet_state& hm) {
  return {std::sin(hm.sun.azimuth) * std::cos(hm.sun.altitude), std::cos(hm.sun.azimuth) * std::cos(hm.sun.altitude),
          std::sin(hm.sun.altitude)};
}

// The terrain's shade is made anew at midnight on days 1, 8, 15, 22 and 29.
void refresh_shading(const grid_state& grid, hydromet_state& hm) {
  const int day = hm.hmet_hour_day;
  if (hm.terrain_shading == 1 && hm.hmet_hour_hour == 0 && (day == 1 || day == 8 || day == 15 || day == 22 || day == 29))
    solar_daily_shading(hm.shade_by_hour, shading_terrain_of(grid), hm.latitude, hm.sun.day_of_year);
}

// The hour of a cell whose air (cell_air_temp and the other weather arrays)
// is set, with its vapour pressure e (mb): the slope factor of the beam, the
// albedo (aged at midnight, fresh snow, open water) and the radiation.
void cell_surface_hour(hydromet_state& hm, int c, double e, const sun_direction& sun, double ov_depth) {
  const int hour = hm.hmet_hour_hour;
  hm.Cell_Aspect_Eff_Rad_Percent[c] = slope_sun_factor(hm.Cell_X1_Y2_Z3_S4_A5[c], sun.x, sun.y, sun.z);
  if (hour == 0) snow_albedo_update(hm, c);
  hm.temper_gridded_sum[c] += hm.cell_air_temp[c];
  if (hm.Snow_Accumulated_Hr[c] == 1) {
    hm.albedo_w_snow[c] = fresh_snow_albedo;
    hm.Hours_Since_Snow[c] = 0;
    hm.Snow_Accumulated_Hr[c] = 0;
  } else {
    hm.Hours_Since_Snow[c] += 1;
  }
  const double veg = hm.veg.empty() ? 0.0 : hm.veg[c];
  if ((hm.snow_swe.empty() || hm.snow_swe[c] < 1e-16) && ov_depth > 1e-16 && ov_depth >= veg)
    hm.albedo_w_snow[c] = open_water_albedo;
  snow_energy_balance(hm, c, e, hour);
}

// The hours summed for the daily albedo restart at midnight.
void count_temper_hour(hydromet_state& hm) {
  if (hm.hmet_hour_hour == 0) hm.temper_hours = 0;
  hm.temper_hours += 1;
}

}  // namespace

bool elev_band_snow(const grid_state& grid, const array1d<double>& ov_depth, hydromet_state& hm) {
  const bool orographic = hm.orogvar_hmet && hm.hmet_reader.orographic();
  const bool fixed = orographic || hm.yes_dalr_flag;
  // A fixed rate in K/m, positive where the air cools upward; the measured
  // rate of the orographic gages is in degrees per km of rise.
  const double rate = orographic ? -hm.orog_lapse_rate / 1000.0 : hm.yes_dalr_rate;
  if (!fixed) {
    for (int j = 1; j <= gage_count(hm); ++j) {
      const auto g = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh[j];
      if (!lapse_rate_bands(hm, j, g[9], g[5], g[6] / 100.0)) return false;
    }
  }
  refresh_shading(grid, hm);
  const sun_direction sun = sun_direction_of(hm);
  for (int c = 1; c <= grid.ncells; ++c) {
    const double z = grid.elevation[c];
    cell_weather w;
    if (fixed) {
      w = fixed_lapse_weather(hm, z, rate);
    } else {
      const int k = hm.LR_Num[c];
      if (k < 1 || k > hm.elev_band_count - 1) return band_fault(c, z, k, hm.elev_band_count);
      w = elev_band_temper(hm, c, z, grid.grid_size);
      if (!w.ok) return false;
    }
    hm.cell_air_temp[c] = w.T;
    hm.cell_pressure[c] = w.P;
    hm.cell_rel_humidity[c] = w.RH;
    hm.cell_cloud_cover[c] = w.cloud;
    hm.cell_wind_speed[c] = w.wind;
    cell_surface_hour(hm, c, w.e, sun, ov_depth[c]);
  }
  count_temper_hour(hm);
  return true;
}

void gridded_cell_radiation(const grid_state& grid, const array1d<double>& ov_depth, hydromet_state& hm) {
  refresh_shading(grid, hm);
  const sun_direction sun = sun_direction_of(hm);
  for (int c = 1; c <= grid.ncells; ++c) {
    const double e = hm.cell_rel_humidity[c] / 100.0 * saturation_vapour_pressure(hm.cell_air_temp[c]);
    cell_surface_hour(hm, c, e, sun, ov_depth[c]);
  }
  count_temper_hour(hm);
}

}  // namespace nivra
