#include "hydromet/snow_melt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hydromet/hydromet_state.h"
#include "hydromet/snowpack_layers.h"
#include "surface/boundary_codes.h"

namespace nivra {

namespace {

constexpr double pi = 3.14159265;
// The Stefan-Boltzmann constant as melt: 5.67e-8 W/(m2 K4) over an hour
// (3600 s), divided by the latent heat of fusion (333.5 kJ/kg), is
// 6.12e-10 kg/m2, millimetres of water per K^4 and hour.
constexpr double sigma_melt = 6.12e-10;  // mm/(K^4 h)
constexpr double cal_per_joule = 0.2390057361376673;
constexpr double kelvin = 273.15;

// Longwave melt of rain on snow over Dth hours at T deg C, mm: the
// saturated, overcast air radiates as a black body at T onto snow at 0 C.
double rain_on_snow_radiation(double T, double Dth) {
  const double Tk = T + kelvin;
  return sigma_melt * Dth * (Tk * Tk * Tk * Tk - kelvin * kelvin * kelvin * kelvin);
}

// The antecedent temperature index after a cold hour, and the index it
// started from (an index above 0 counts as 0 before and after).
struct ati_update {
  double old_index;
  double new_index;
};
// Whether an amount of precipitation summed over the steps of an hour (mm)
// exceeds a threshold: by more than the rounding of the sum, so that an
// hour of exactly the threshold does not exceed it whether its steps were
// many or few.
bool exceeds(double amount, double threshold) { return amount > threshold * (1.0 + 1e-9); }

ati_update antecedent_index(double ati, double T, double newest_precip, double Dth, double tipm) {
  const double old_index = std::min(ati, 0.0);
  double next = (exceeds(newest_precip, 1.5 * Dth) && T <= 0.0)
                    ? T
                    : old_index + (T - old_index) * (1.0 - std::pow(1.0 - tipm, Dth / 6.0));
  return {old_index, std::min(next, 0.0)};
}

}  // namespace

std::optional<int> days_since_march21(int month, int day) {
  // Days before the first of each month, counted from 21 March.
  static constexpr int offset[13] = {0, 285, 316, -21, 10, 40, 71, 101, 132, 163, 193, 224, 254};
  if (month < 1 || month > 12) return std::nullopt;
  if (month == 3 && day < 21) return day + 344;
  return day + offset[month];
}

double melt_season(int n) { return 0.5 * std::sin(2.0 * n * pi / 366.0) + 0.5; }

double snow_heat_deficit(double M, double Wqx, double plwhc, heat_deficit_state& s) {
  const double D = s.deficit;
  const double W = s.liquid;
  const double surplus = M + W - Wqx - D - D * plwhc;
  double out = 0.0;
  if (surplus >= 0.0) {
    out = surplus;
    s.liquid = Wqx;
    s.ice += D;
    s.deficit = 0.0;
  } else if (M + W - D > 0.0) {
    s.liquid = M + W - D;
    s.ice += D;
    s.deficit = 0.0;
  } else {
    s.deficit -= M;
    s.ice += M;
  }
  if (s.deficit < 0.0) s.deficit = 0.0;
  s.ice = std::max(s.ice - out - s.liquid, 0.0);
  return out;
}

double snow_melt_ratio(double M, const melt_wave_pack& pack, double c) {
  const double h = pack.depth_cm / 100.0;
  // Hydraulic conductivity of the pack, m/s: the permeability (cm2) times
  // the specific weight over the viscosity of water at 0 C.
  const double b = c >= 0.0 ? c : pack.permeability / 10000.0 * 6252390.0573613765;
  const double phi = pack.porosity > 0.0 ? pack.porosity : 0.67;
  const double v = std::pow(std::max(M, 0.0) / 3600.0, 2.0 / 3.0) * std::cbrt(std::max(b, 0.0)) * 3.0 / phi * 3600.0;
  const double lag = v <= 1e-16 ? 1.0 : std::clamp(h / v, 1.0, 6.0);
  return M / lag;
}

double melt_wave_shift(const melt_waves& w, int count, double M, const melt_wave_pack& pack, double c) {
  const double R = snow_melt_ratio(M, pack, c);
  const double Rm = std::max(M / 6.0, R);
  for (int k = 1; k < count; ++k) {
    w.amount(k) += w.amount(k + 1);
    w.rate(k) = w.rate(k + 1);
    w.amount(k + 1) = 0.0;
    w.rate(k + 1) = 0.0;
    if (w.amount(k) / k > w.rate(k)) w.rate(k) = w.amount(k) / k;
    if (w.rate(k) > w.amount(k)) w.rate(k) = w.amount(k);
  }
  w.amount(count) = M;
  double rate = std::min(Rm, M);
  if (M / 6.0 > rate) rate = M / 6.0;
  w.rate(count) = std::min(rate, w.amount(count));
  double held = 0.0;
  for (int k = 1; k <= count; ++k) held += w.amount(k);
  return held;
}

snow_step_result snow_cell_step(hydromet_state& hm, const snow_step_cells& cells) {
  snow_step_result result;
  const double dt = cells.dt;
  const double Dth = dt / 3600.0;
  const bool eb = hm.eb_snow != 0;
  const bool index_model = hm.nwsrfs_snow != 0 && !eb;
  double sv = 0.0;
  if (!eb) {
    const std::optional<int> n = days_since_march21(cells.month, cells.day);
    if (!n) {
      std::printf("WE HAVE A PROBLEM WITH THE DATES!!!\n");
      std::printf("Error: the snow step was given the month %d of a weather record; months run from 1 to 12.\n",
                  cells.month);
      result.status = snow_status::bad_date;
      return result;
    }
    sv = melt_season(*n);
  }
  // The seasonal adjustment of the melt factor is 1 for every cell.
  constexpr double Ad = 1.0;
  const double loss = hm.snow_offset;       // energy the pack loses, cal/(cm2 h)
  const double fusion = hm.snow_divisor;    // latent heat of fusion, cal/g
  wetting_front_table& fronts = hm.front_scratch;
  const int slots = std::clamp(hm.melt_wave_slots, 1, 6);

  for (int c = 1; c <= cells.n; ++c) {
    if (!hm.Wi.empty()) hm.Wi[c] = 0.0;
    const bool boundary = cells.boundary_type && boundary::holds_level(cells.boundary_type[c]);
    const bool lake = (cells.overland_lake && cells.overland_lake[c] > 0) || (cells.channel_lake && cells.channel_lake[c] > 0);
    double& swe = hm.snow_swe[c];
    if (boundary || lake || swe < 1e-16) {
      hm.Wq[c] = 0.0;
      continue;
    }
    const double swe_cm = swe * 100.0;
    const double T = hm.snow_air_temp[c];
    const double RH = hm.cell_rel_humidity[c];
    const double P = hm.cell_pressure[c];
    const double u = hm.cell_wind_speed[c];
    const double wind = u * 0.0002 / 1000.0 * 3600.0;
    const double es = 2.749e8 * std::exp(-4278.6 / (T + 242.8));  // mb
    const double Rn = (hm.R_short[c] + hm.R_long[c]) * cal_per_joule * 0.0001 * 3600.0;  // cal/(cm2 h)
    double& H = hm.H_Val[c];
    auto slot = hm.SNOW_PRECIP_6HR[c];
    bool rain_on_snow = false;
    double Mf = 0.0;
    if (!eb) {
      slot[1] += H;
      const double mean6 = (slot[1] + slot[2] + slot[3] + slot[4] + slot[5] + slot[6]) / 6.0;
      rain_on_snow = exceeds(mean6, 1.5) && exceeds(slot[1], 0.25);
      Mf = ((hm.MF_Max[c] - hm.MF_Min[c]) * sv * Ad + hm.MF_Min[c]) * Dth / 6.0;
    }
    // The energy reaching the pack (hybrid and energy balance), cal/(cm2 h).
    const double Qrain = H / 10.0 * T / Dth;
    const double Q = Rn - loss + (RH / 100.0 * es - 6.11) * 600.0 * wind + P * 0.00061 * 600.0 * wind * T + Qrain;

    double melt = 0.0;  // m
    if (eb) {
      melt = std::max(Q / fusion * 0.01 * dt / 3600.0, 0.0);
    } else {
      double input = 0.0;  // water into the pack, mm
      double heat_gain = 0.0;
      if (index_model) {
        const double r = T > 1e-16 ? hm.fr_use[c] : 0.0;
        const double Tr = T > 1e-16 ? T : 0.0;
        if (T <= 1e-16) {
          const ati_update a = antecedent_index(hm.ATI_2[c], T, slot[1], Dth, hm.TIPM[c]);
          hm.ATI_2[c] = a.new_index;
          const double ratio = hm.MF_Max[c] > 0.0 ? Mf / hm.MF_Max[c] : 0.0;
          heat_gain = std::max(Dth / 6.0 * hm.NMF[c] * ratio * (a.old_index - T), 0.0);
        }
        double Mr = 0.0, Mn = 0.0;
        if (rain_on_snow && T > 0.0)
          Mr = rain_on_snow_radiation(T, Dth) + 0.0125 * slot[1] * r * Tr;
        else if (T > 0.0)
          Mn = T * Mf + 0.0125 * slot[1] * r * Tr;
        input = r * slot[1] + Mn + Mr;
      } else {
        const double r = T > 0.0 ? 1.0 : 0.0;
        double m = (Q - Qrain) / fusion * Dth / 100.0;
        if (rain_on_snow) {
          const double extra = (rain_on_snow_radiation(T, Dth) + 0.0125 * slot[1] * r * T) / 1000.0;
          if (extra > 0.0) m += extra;
        }
        if (T <= 1e-16) {
          const ati_update a = antecedent_index(hm.ATI_2[c], T, slot[1], Dth, hm.TIPM[c]);
          hm.ATI_2[c] = a.new_index;
          heat_gain = std::max(Dth / 6.0 * hm.NMF[c] * (a.old_index - T), 0.0);
        }
        input = std::max(m, 0.0) * 1000.0;
      }
      const double new_snow_cold = slot[1] > 0.0 && T <= 0.0 ? slot[1] * std::min(T, 0.0) / -40.0 : 0.0;
      const double plwhc = hm.PLWHC[c];
      heat_deficit_state s{hm.Wq[c], std::max(hm.D_2[c] + new_snow_cold + heat_gain, 0.0),
                           (1.0 - plwhc) * swe * 1000.0};
      const double capacity = s.ice * plwhc;
      const double out = snow_heat_deficit(input, capacity, plwhc, s);
      hm.Wq[c] = s.liquid;
      hm.D_2[c] = s.deficit;
      if (!hm.Wi.empty()) hm.Wi[c] = s.ice / 1000.0;
      melt = out / 1000.0;
    }

    // No melt below the base temperature; never more than the pack.
    if (T >= hm.snow_temp_base && melt > 0.0) {
      if (melt > 1e-16 && !hm.melt_occurred.empty()) hm.melt_occurred[c] += 1;
      if (melt >= swe) {
        melt = swe;
        swe = 0.0;
        hm.Wq[c] = 0.0;
      } else {
        swe -= melt;
      }
    } else {
      melt = 0.0;
    }
    result.melt += melt;

    // The layered pack of a cell that keeps snow gives the depth.
    auto pack = hm.snap_nivra_params[c];
    auto status = hm.sn_stat[c];
    if (swe > 0.0) {
      pack[pack_field::water] = swe_cm;
      pack[pack_field::depth] = swe * 100.0;
      status[pack_status::restart] = 0.0;
      snowpack_weather w;
      w.rain = H / 10.0;
      w.air_temp = hm.hmet_temperature;
      w.wind = u;
      w.dt = static_cast<int>(pack[pack_field::time_step] + 0.01);
      snow_layers_step(pack, status, fronts, w);
      hm.snow_depth[c] = pack[pack_field::depth] / 100.0;
    } else {
      // The pack is gone; its record starts over with the next snow.
      reset_pack_record(pack);
    }

    // The melt waits in the waves.
    double& held = hm.snow_melt_to_ov[c];
    const melt_waves waves{&hm.Melt_Waves(c, 0, 0)};
    double in_waves = 0.0;
    if (hm.snap_retention) {
      held += melt;
      const melt_wave_pack p{pack[pack_field::depth], pack[pack_field::porosity], pack[pack_field::permeability_copy]};
      in_waves = melt_wave_shift(waves, slots, melt, p, cells.melt_wave_coef);
    } else {
      // The wave leaves within the hour: its rate is its amount per hour.
      // What it still holds from the hour before is at most a rounding
      // remainder of the model steps' shares, and leaves with the new melt,
      // which thus reaches the ground at its own rate whatever the step.
      waves.amount(1) += melt;
      waves.rate(1) = waves.amount(1);
      held += melt;
      in_waves = waves.amount(1);
    }
    if (std::fabs(in_waves - held) > 1e-8)
      std::printf("\nMelt Water Amount is not matching what it should be in cell %d", c);
    if (held > 1e-16) result.melt_pending = 1;

    if (swe <= 0.0) {
      if (!hm.Wi.empty()) hm.Wi[c] = 0.0;
      hm.Wq[c] = 0.0;
      hm.snow_depth[c] = 0.0;
    } else {
      result.snow_present = 1;
    }
    H = 0.0;
  }
  return result;
}

}  // namespace nivra
