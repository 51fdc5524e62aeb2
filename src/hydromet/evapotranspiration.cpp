#include "hydromet/evapotranspiration.h"

#include <cmath>
#include <cstdio>

#include "hydromet/hydromet_state.h"
#include "hydromet/interception.h"
#include "hydromet/solar_geometry.h"
#include "hydromet/weather_files.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double kelvin = 273.15;
constexpr double bulk_transfer = 0.0025;
constexpr double air_cp = 1.013;  // kJ/(kg K)
constexpr double sigma = stefan_boltzmann_si;
constexpr double solar_constant = 1353.0;
constexpr double cloud_coefficient = 0.18 + 0.0853 * 0.4;

double specific_humidity_kpa(double e, double P) { return 0.622 * e / (P - 0.378 * e); }

constexpr double mb_per_kpa = 10.0;

// The incoming longwave of air at T deg C and relative humidity rh (%)
// under the cloud fraction C.
double air_longwave(double T, double rh, double C) {
  const double ea = saturation_pressure_kpa(T) * rh / 100.0;  // kPa
  return incoming_longwave(T + kelvin, mb_per_kpa * ea, C);
}

}  // namespace

double air_emissivity(double e_mb) { return 0.74 + 0.0049 * e_mb; }

double incoming_longwave(double Ta, double e_mb, double C) {
  return air_emissivity(e_mb) * (1.0 + 0.17 * C * C) * sigma * Ta * Ta * Ta * Ta;
}

double saturation_pressure_kpa(double T) { return 0.6108 * std::exp(17.27 * T / (T + 237.3)); }

double saturation_slope(double T) {
  const double d = T + 237.3;
  return 4098.0 * saturation_pressure_kpa(T) / (d * d);
}

double latent_heat(double T) { return (2.501 - 0.002361 * T) * 1000.0; }

double psychrometric_constant(double P, double lambda) { return 1.6286173633440513 * P / lambda; }

et_rates penman_monteith(const penman_terms& t) {
  const double aero = air_cp * t.rho * t.deficit / t.ra;
  const double numerator = t.delta * t.available + aero;
  const double to_water = 1000.0 * t.lambda;
  return {numerator / (t.delta + t.gamma * (1.0 + t.rc / t.ra)) / to_water, numerator / (t.delta + t.gamma) / to_water};
}

et_rates penman_radiation_only(const penman_terms& t) {
  const double r = t.delta * t.available / (t.delta + t.gamma) / (1000.0 * t.lambda);
  return {r, r};
}

ground_terms ground_energy(const surface_air& a, double Tg) {
  ground_terms g;
  const double transfer = bulk_transfer * a.rho * a.u;
  double latent_slope = 0.0;
  if (!a.snow) {
    const double es = saturation_pressure_kpa(Tg - kelvin);
    const double qs = specific_humidity_kpa(es, a.P);
    g.E = qs > a.qa ? transfer * (qs - a.qa) : 0.0;
    latent_slope = a.lambda / (0.461 * Tg * Tg) * (a.P / (a.P - 0.378 * es)) * qs * transfer * a.lambda;
  }
  g.H = (Tg - a.Ta) * air_cp * transfer;
  g.Rn = (a.longwave - sigma * Tg * Tg * Tg * Tg + a.shortwave) / 1000.0;
  g.flux = g.Rn - g.H - a.lambda * g.E;
  g.residual = a.lambda * g.E + g.H + g.H / 3.0 - g.Rn;
  g.derivative = latent_slope + 4.0 * sigma * Tg * Tg * Tg / 1000.0 + air_cp * transfer * 4.0 / 3.0;
  return g;
}

ground_balance ground_temp_iteration(const surface_air& a, double Tg0) {
  ground_balance b;
  double Tg = Tg0;
  for (int it = 1; it <= 1000; ++it) {
    b.terms = ground_energy(a, Tg);
    b.iterations = it;
    const double next = Tg - b.terms.residual / b.terms.derivative;
    if (std::fabs(next - Tg) <= 0.001) {
      b.Tg = next;
      b.converged = true;
      return b;
    }
    Tg = next;
  }
  b.Tg = Tg0;
  return b;
}

double hourly_canopy_factor(int hour) {
  static constexpr double factor[24] = {
      4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413, 1.196049428, 1.066950368,
      1.014336754, 0.995198325, 0.976059896, 0.976059896, 1.0,         1.052613613, 1.167444189, 1.354095078,
      1.636506383, 2.043283344, 2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};
  return hour >= 0 && hour < 24 ? factor[hour] : 1.0;
}

int et_day_of_year(int year, int month, int day) {
  static constexpr int length[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month <= 1) return day;
  if (month == 2) return day + 31;
  int n = day;
  for (int m = 1; m < month && m <= 12; ++m) n += length[m];
  return year % 4 == 0 ? n + 1 : n;
}

et_sun et_sun_at(double latitude, int day_of_year, int hour) {
  et_sun s;
  const double deg = pi / 180.0;
  const double lat = latitude * deg;
  const double d = 23.45 * deg * std::cos(2.0 * pi * (172 - day_of_year) / 365.0);
  const double h = (hour <= 12 ? hour + 12 : hour - 12) * 15.0 * deg;
  const double sin_alt = std::cos(lat) * std::cos(d) * std::cos(h) + std::sin(lat) * std::sin(d);
  s.altitude = std::asin(std::fmax(-1.0, std::fmin(1.0, sin_alt)));
  if (s.altitude > 0.0) {
    const double alt_deg = s.altitude / deg;
    s.air_mass = 1.0 / (std::sin(s.altitude) + 0.15 * std::pow(alt_deg + 3.885, -1.253));
    s.optical_depth = 0.128 - 0.054 * std::log10(s.air_mass);
    // The sun's direction from its east and north components, which keep
    // its quadrant: a summer sun rises and sets north of the east-west line.
    s.east = -std::cos(d) * std::sin(h);
    s.north = std::cos(lat) * std::sin(d) - std::sin(lat) * std::cos(d) * std::cos(h);
    s.up = std::sin(s.altitude);
    s.azimuth = std::atan2(s.east, s.north);
    if (s.azimuth < 0.0) s.azimuth += 2.0 * pi;
  }
  const double x = 2.0 * pi * (day_of_year - 1) / 365.0;
  s.eccentricity = 1.00011 + 0.034221 * std::cos(x) + 0.00128 * std::sin(x) + 0.000719 * std::cos(2.0 * x) +
                   0.000077 * std::sin(2.0 * x);
  return s;
}

double et_incidence_cosine(const et_sun& sun, const cell_surface& cell) {
  // The cell falls by slope_x toward the east and slope_y toward the south:
  // its upward normal is (slope_x, -slope_y, 1) in east, north, up.
  return incidence_cosine(cell.slope_x, -cell.slope_y, 1.0, sun.east, sun.north, sun.up);
}

double cell_shortwave(const et_sun& sun, const cell_surface& cell, double sky, double C, double direct) {
  if (!(sun.altitude > 0.0)) return 0.0;
  const double beta = std::atan(std::sqrt(cell.slope_x * cell.slope_x + cell.slope_y * cell.slope_y));
  // The clear-sky beam under the cloud cover, on level ground.
  const double cloud = 1.0 - (1.0 - cloud_coefficient) * C;
  const double modelled =
      std::exp(-2.0 * sun.optical_depth * sun.air_mass) * solar_constant * sun.eccentricity * cloud * sun.up;
  const sky_radiation r = split_sky_radiation(sky, direct, modelled);
  // The beam on level ground turned onto the cell's plane, through the canopy.
  double B = r.beam * et_incidence_cosine(sun, cell) / sun.up * cell.transmission;
  if (B < 0.0) B = 0.0;
  const double c = std::cos(beta / 2.0);
  return (c * c * r.diffuse + B) * (1.0 - cell.albedo);
}

double evapo_trans(const grid_state& grid, hydromet_state& hm, const double* area_reduction, const et_hour& when) {
  const int n = grid.ncells;
  const bool per_cell = hm.hmet_ascii_given || hm.orogvar_hmet;
  // The radiation of a cell: with the orographic weather of a station the
  // hour's weather step computed it (R_short, R_long); otherwise the
  // recorded beam and diffuse radiation, the station's or the cell's own
  // grids, fall on the cell's plane, under the longwave of its air.
  const bool gridded = hm.hmet_ascii_given != 0;
  const bool computed_radiation = per_cell && !gridded;
  const bool penman = hm.et_calc_penman != 0;
  // The ground starts at the air's temperature, or where a hot-start's
  // balance of this hour started.
  const bool carried = hm.carried_ground_temp.size() >= n;
  if (hm.et_calls == 0)
    for (int c = 1; c <= n; ++c)
      hm.ground_temp[c] = carried && hm.carried_ground_temp[c] > 0.0
                              ? hm.carried_ground_temp[c]
                              : (per_cell ? hm.cell_air_temp[c] : hm.hmet_temperature) + kelvin;
  hm.et_calls += 1;
  if (hm.ground_temp_at_hour.size() >= n)
    for (int c = 1; c <= n; ++c) hm.ground_temp_at_hour[c] = hm.ground_temp[c];

  const int doy = et_day_of_year(when.year, when.month, when.day);
  const seasonal_months season{hm.seasonal_rs, hm.seasonal_rs_spring, hm.seasonal_rs_fall, hm.seasonal_rs_summer_start,
                               hm.seasonal_rs_summer_end};
  const double canopy = hourly_canopy_factor(when.hour) * seasonal_factor(when.month, hm.latitude, season);
  const bool wind = hm.hmet_wind_speed > 0.0001;

  // The sun of the hour, and the record's longwave for the whole grid.
  et_sun sun;
  if (!computed_radiation) sun = et_sun_at(hm.latitude, doy, when.hour);
  const double station_longwave =
      per_cell ? 0.0
               : air_longwave(hm.hmet_temperature, hm.hmet_rel_humidity, std::fmin(hm.hmet_cloud_cover / 10.0, 1.0));

  bool cloud_warned = false;
  for (int c = 1; c <= n; ++c) {
    double P, Ta, u0, RH, C, sky;
    if (per_cell) {
      P = hm.cell_pressure[c] * 0.1;
      Ta = hm.cell_air_temp[c] + kelvin;
      u0 = hm.cell_wind_speed[c];
      RH = hm.cell_rel_humidity[c] / 100.0;
      C = hm.cell_cloud_cover[c] / 10.0;
      sky = hm.cell_global_rad[c];
    } else {
      P = hm.hmet_pressure * 0.1;
      Ta = hm.hmet_temperature + kelvin;
      u0 = hm.hmet_wind_speed;
      RH = hm.hmet_rel_humidity / 100.0;
      C = hm.hmet_cloud_cover / 10.0;
      sky = hm.hmet_global_rad;
    }
    if (C > 1.0) {
      if (!cloud_warned) std::printf("WARNING: Cloud cover > 1.0 in evapo_trans - possible problem with hmet file \n");
      cloud_warned = true;
      C = 1.0;
    }
    const double L = computed_radiation ? hm.R_long[c]
                     : gridded            ? air_longwave(hm.cell_air_temp[c], hm.cell_rel_humidity[c], C)
                                          : station_longwave;
    surface_air air;
    air.P = P;
    air.u = u0 > 0.0001 ? u0 : 0.0001;
    const double T = Ta - kelvin;
    const double es = saturation_pressure_kpa(T);
    double ea = es * RH;
    air.rho = 3.486 * P / (T + 275.0);
    air.lambda = latent_heat(T);
    air.qa = specific_humidity_kpa(ea, P);
    air.Ta = Ta;
    air.longwave = L;
    const double kt = hm.Kt.empty() || hm.Kt[c] == 0.0 ? 1.0 : hm.Kt[c];
    if (computed_radiation) {
      air.shortwave = hm.R_short[c];
    } else {
      const cell_surface surface{grid.slope_x[c], grid.slope_y[c], hm.albedo_w_snow[c], penman ? kt : 1.0};
      air.shortwave = cell_shortwave(sun, surface, sky, C, gridded ? hm.cell_direct_rad[c] : hm.hmet_direct_rad);
    }
    const bool snow = !hm.snow_depth.empty() && hm.snow_depth[c] > 1e-16;
    if (snow) {
      air.snow = true;
      air.shortwave = 0.0;
      air.Ta = kelvin;
      ea = 0.6108 * RH;
      air.longwave = incoming_longwave(kelvin, mb_per_kpa * ea, C);
    }
    const double start = hm.ground_temp[c];
    const ground_balance b = ground_temp_iteration(air, start);
    if (!b.converged)
      std::printf("Ground temperature not converging in cell %d, check your hydrometeorological inputs \n", c);
    hm.ground_temp[c] = b.Tg;
    hm.ground_heat_flux[c] = b.terms.flux;

    double pet = 0.0, aet = 0.0;
    if (snow) {
      if (hm.ground_temp[c] > kelvin) hm.ground_temp[c] = kelvin;
    } else if (penman) {
      penman_terms t;
      t.delta = saturation_slope(T);
      t.gamma = psychrometric_constant(P, air.lambda);
      t.available = b.terms.Rn - b.terms.H / 3.0;
      t.rho = air.rho;
      t.deficit = saturation_pressure_kpa(hm.ground_temp[c] - kelvin) - ea;
      t.lambda = air.lambda;
      et_rates r;
      if (wind) {
        double& hv = hm.veg[c];
        if (hv < 0.001) hv = 0.001;
        const double zm = hv + 2.0 - 0.67 * hv;
        t.ra = std::log(zm / (0.123 * hv)) * std::log(zm / (0.0123 * hv)) / (0.41 * 0.41 * hm.hmet_wind_speed);
        if (t.ra < 0.0) std::printf("%d %lf %lf\n", c, t.ra, hm.hmet_wind_speed);
        if (std::isnan(t.ra)) std::printf("Ra is not a number in evapo-trans \n");
        t.rc = canopy * hm.Rs[c];
        r = penman_monteith(t);
      } else {
        r = penman_radiation_only(t);
      }
      pet = r.potential * 100.0;
      aet = r.actual * 100.0;
    } else {
      pet = aet = b.terms.E / 1000.0 * 100.0;
    }
    if (area_reduction) aet *= area_reduction[c];
    hm.pet_rate[c] = pet > 0.0 ? pet : 0.0;
    hm.aet_rate[c] = aet > 0.0 ? aet : 0.0;
  }

  double sum = 0.0;
  int counted = 0;
  for (int c = 1; c <= n; ++c) {
    if (hm.cell_air_temp[c] > -9990.0) {
      sum += hm.cell_air_temp[c];
      ++counted;
    }
  }
  const double cells_mean = counted > 0 ? sum / counted : hm.hmet_temperature;
  hm.et_air_temp = per_cell ? cells_mean : hm.hmet_temperature;
  return cells_mean;
}

}  // namespace nivra
