// The weather of the gages carried to every cell at its own elevation, and
// the radiation and albedo of the cells.
//
// The watershed is cut into elevation bands of elev_band_height metres,
// numbered 0..elev_band_count from the bottom; band g of the gage lies at the
// gage's elevation. Each hour the air column over every gage is built band
// by band (temperature, pressure, vapour pressure) with the dry adiabatic
// lapse rate where the air is unsaturated and the saturated one where it is
// not, and each cell takes the column between the two bands around it,
// weighting several gages by inverse squared distance. A fixed lapse rate
// (YES_DALR_FLAG) or the rate measured between the two gages of an
// orographic file replaces the columns; gridded weather gives every cell its
// own air and needs neither. The cell's direct beam follows its slope and
// the terrain's shade, its snow albedo ages once a day, and its incoming
// longwave and net shortwave radiation are those of the hour.
#pragma once

#include "core/arrays.h"

namespace nivra {

struct grid_state;
struct hydromet_state;

inline constexpr double dry_air_gas_constant = 287.04;           // J/(kg K)
inline constexpr double dry_adiabatic_lapse = 0.009761194029850746;  // K/m, 9.81 / 1005
inline constexpr double fresh_snow_albedo = 0.83;
inline constexpr double open_water_albedo = 0.08;

// Saturation vapour pressure (mb) at T (deg C).
double saturation_vapour_pressure(double T);

// The band of every cell (LR_Num: the band whose elevation is the first at
// or above the cell's) and the band elevations of the first gage's column.
// False after a cell fell outside the bands (the run stops).
bool elev_band_assign(const grid_state& grid, hydromet_state& hm);

// One band of a column at temperature Tb (deg C), reached with the lapse
// rate G (K/m) from a gage of pressure P (mb), potential temperature theta
// (K) and vapour ratio q = e / P: fills the band's pressure, vapour
// pressure, saturation vapour pressure and lapse rate (fields 3..6) and
// returns the lapse rate toward the next band, dry while the band's air is
// unsaturated, saturated otherwise.
double lapse_vapor_calc(double P, double theta, double q, double Tb, double G, row_view<double> band);

// The column over gage g from its temperature (deg C), pressure (mb) and
// relative humidity (a fraction). False when a band's elevation is not that
// of the table (the run stops).
bool lapse_rate_bands(hydromet_state& hm, int gage, double T, double P, double rh_fraction);

// Weather of a cell: temperature deg C, relative humidity %, pressure mb,
// cloud tenths, wind m/s, vapour and saturation vapour pressure mb.
struct cell_weather {
  double T = 0.0, RH = 0.0, P = 0.0, cloud = 0.0, wind = 0.0, e = 0.0, es = 0.0;
  bool ok = true;
};

// The cell between bands k - 1 and k of the gages' columns (k = LR_Num).
cell_weather elev_band_temper(const hydromet_state& hm, int cell, double z, double grid_size);

// The cell under a fixed lapse rate (K/m, positive when the air cools
// upward) from the first gage.
cell_weather fixed_lapse_weather(const hydromet_state& hm, double z, double rate);

// The daily ageing of a cell's albedo (hour 0).
void snow_albedo_update(hydromet_state& hm, int cell);

// The incoming longwave, net shortwave and snow air temperature of a cell
// for the hour, with its vapour pressure e (mb).
void snow_energy_balance(hydromet_state& hm, int cell, double e, int hour);

// The hour's driver: the gages' columns, every cell's weather, slope factor,
// albedo and radiation, and the refresh of the terrain shading on days 1,
// 8, 15, 22 and 29 of the month. False after a fault stopped the run.
bool elev_band_snow(const grid_state& grid, const array1d<double>& ov_depth, hydromet_state& hm);

// The hour's driver for gridded weather, whose grids gave every cell its own
// air: the slope factor, albedo and radiation of every cell as
// elev_band_snow makes them, with the cell's vapour pressure from its own
// temperature and humidity, and the same refresh of the terrain shading.
void gridded_cell_radiation(const grid_state& grid, const array1d<double>& ov_depth, hydromet_state& hm);

}  // namespace nivra
