// Evapotranspiration of long-term runs. Every hour each cell's surface
// energy balance is solved for its ground temperature (Newton's method on
// latent, sensible and net radiative heat), and the balance becomes a
// potential and an actual evapotranspiration rate: by the Penman-Monteith
// combination equation with an aerodynamic and a canopy resistance
// (ET_CALC_PENMAN), or by the Deardorff bulk transfer of the iteration's
// evaporation (ET_CALC_DEARDORFF). A cell under snow evaporates nothing and
// its ground stays at or below freezing.
#pragma once

namespace nivra {

struct grid_state;
struct hydromet_state;

inline constexpr double stefan_boltzmann_si = 5.67e-8;  // W/(m2 K4)

// Emissivity of the air with vapour pressure e in millibars (Anderson's fit
// at Lake Hefner): 0.74 + 0.0049 e; about 0.80 at 12 mb.
double air_emissivity(double e_mb);
// Longwave radiation from the sky onto the ground, W/m2, under air at Ta
// (K) with vapour pressure e (mb) and the cloud fraction C:
// emissivity (1 + 0.17 C^2) sigma Ta^4.
double incoming_longwave(double Ta, double e_mb, double C);

// Saturation vapour pressure over water at T deg C, kPa:
// 0.6108 exp(17.27 T / (T + 237.3)).
double saturation_pressure_kpa(double T);
// Slope of that curve at T, kPa/K: 4098 es / (T + 237.3)^2.
double saturation_slope(double T);
// Latent heat of vaporisation at T deg C, kJ/kg: (2.501 - 0.002361 T) 1000.
double latent_heat(double T);
// Psychrometric constant at pressure P (kPa) and latent heat lambda (kJ/kg),
// kPa/K: cp P / (0.622 lambda), cp = 1.013 kJ/(kg K).
double psychrometric_constant(double P, double lambda);

// The terms of the combination equation.
struct penman_terms {
  double delta = 0.0;      // slope of the saturation curve, kPa/K
  double gamma = 0.0;      // psychrometric constant, kPa/K
  double available = 0.0;  // available energy, kW/m2
  double rho = 0.0;        // air density, kg/m3
  double deficit = 0.0;    // vapour pressure deficit, kPa
  double ra = 0.0;         // aerodynamic resistance, s/m
  double rc = 0.0;         // canopy resistance, s/m
  double lambda = 0.0;     // latent heat, kJ/kg
};

// Evapotranspiration rates, m/s of water.
struct et_rates {
  double actual = 0.0;
  double potential = 0.0;
};

// Penman-Monteith: actual (Delta A + cp rho D / ra) / (Delta + gamma (1 +
// rc / ra)), potential the same without the canopy, both over 1000 lambda.
et_rates penman_monteith(const penman_terms& t);
// Without wind both rates are the radiation term Delta A / (Delta + gamma).
et_rates penman_radiation_only(const penman_terms& t);

// The air over a cell for the ground-temperature iteration.
struct surface_air {
  double P = 101.3;      // kPa
  double Ta = 293.15;    // air temperature, K
  double u = 1.0;        // wind, m/s
  double rho = 1.2;      // air density, kg/m3
  double lambda = 2450;  // latent heat, kJ/kg
  double qa = 0.0;       // specific humidity of the air
  double longwave = 0.0; // incoming longwave, W/m2
  double shortwave = 0.0;  // net shortwave, W/m2
  bool snow = false;     // a snow cover: no evaporation from the ground
};

// The energy terms at ground temperature Tg (K), kW/m2 (E in kg/(m2 s)):
// the residual f = lambda E + H + H/3 - Rn of the balance and its derivative.
struct ground_terms {
  double E = 0.0, H = 0.0, Rn = 0.0;
  double residual = 0.0, derivative = 0.0;
  double flux = 0.0;  // ground heat flux Rn - H - lambda E
};
ground_terms ground_energy(const surface_air& a, double Tg);

// Newton's method from Tg0 until a step is at most 0.001 K (at most 1000
// iterations); the terms are those of the last evaluation.
struct ground_balance {
  double Tg = 0.0;
  ground_terms terms;
  int iterations = 0;
  bool converged = false;
};
ground_balance ground_temp_iteration(const surface_air& a, double Tg0);

// Factor of the canopy resistance by the hour of the day (0..23).
double hourly_canopy_factor(int hour);

// Day of the year of the evapotranspiration's sun (a leap day counted in
// every year divisible by 4).
int et_day_of_year(int year, int month, int day);

// The sun of an hour as the evapotranspiration sees it without per-cell
// weather, and the shortwave it sends onto a cell.
struct et_sun {
  double altitude = 0.0;  // radians
  double azimuth = 0.0;   // radians from north, clockwise (east pi/2, west 3 pi/2)
  double east = 0.0, north = 0.0, up = 0.0;  // unit vector toward the sun (0 at night)
  double air_mass = 0.0;
  double optical_depth = 0.0;
  double eccentricity = 1.0;
};
et_sun et_sun_at(double latitude, int day_of_year, int hour);

struct cell_surface {
  double slope_x = 0.0, slope_y = 0.0;  // fall toward the east and south neighbours
  double albedo = 0.0;
  double transmission = 1.0;            // canopy transmission of the beam
};
// Cosine of the incidence angle of the sun's beam on the cell's plane, from
// the sun's direction and the cell's fall toward the east and the south
// (negative when the sun lies behind the slope).
double et_incidence_cosine(const et_sun& sun, const cell_surface& cell);
// Net shortwave of a cell, W/m2: the diffuse sky on the cell's slope
// (cos^2 of half the slope) plus the direct beam turned from level ground
// onto the cell's plane (cos incidence / sin altitude) times the
// transmission, less the albedo; 0 when the sun is down. The record's sky
// radiation and direct radiation are split into the two by
// split_sky_radiation, with the clear-sky beam under the cloud fraction C
// as the modelled beam: on level ground in the open the cell takes the
// measured global radiation, or the diffuse and the direct radiation.
double cell_shortwave(const et_sun& sun, const cell_surface& cell, double sky, double C, double direct);

// The date and hour of the step.
struct et_hour {
  int year = 2000, month = 1, day = 1, hour = 0;
};

// The hour's evapotranspiration of every cell: ground_temp, ground_heat_flux,
// pet_rate and aet_rate (cm/s), with area_reduction (or null) scaling the
// actual rate, and et_air_temp, the air temperature it took (the record's,
// or with each cell's own weather the mean of the cells'). Returns the mean
// air temperature of the cells that have one (above -9990), or the
// record's temperature when none has.
double evapo_trans(const grid_state& grid, hydromet_state& hm, const double* area_reduction, const et_hour& when);

}  // namespace nivra
