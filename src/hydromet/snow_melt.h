// Snow accumulation and melt of the cells in long-term runs. Each hour the
// weather of a cell turns part of its snow water equivalent into melt by
// one of three models: a temperature index with an antecedent temperature
// index, a heat deficit and a liquid-water holding capacity (NWSRFS_SNOW);
// an energy balance (EB_SNOW); or, with neither card, a hybrid that takes
// the melt from the energy balance and keeps the heat deficit of the
// temperature index. The layered snowpack then gives the depth of the pack,
// and the melt waits in melt waves before it reaches the ground.
//
// Water amounts of the melt and its waves are in metres throughout; the
// heat-deficit accounting works in millimetres.
#pragma once

#include <optional>

namespace nivra {

struct hydromet_state;

// Days from 21 March to the date (so that 21 March is day 0 and 20 March
// day 364); nothing for a month outside 1..12.
std::optional<int> days_since_march21(int month, int day);

// The seasonal swing of the melt factor on day n from 21 March,
// 0.5 sin(2 n pi / 366) + 0.5: 0.5 at the equinox, 1 at midsummer.
double melt_season(int n);

// The pack's water in the heat-deficit accounting (mm): the liquid water it
// holds, its heat deficit (the water that must freeze before any leaves)
// and its ice.
struct heat_deficit_state {
  double liquid = 0.0;   // Wq
  double deficit = 0.0;  // D
  double ice = 0.0;      // Wi
};

// Water input M (mm) into a pack whose liquid water can reach Wqx (mm):
// returns the outflow (mm) and updates the state.
double snow_heat_deficit(double M, double Wqx, double plwhc, heat_deficit_state& s);

// The pack as the melt waves see it.
struct melt_wave_pack {
  double depth_cm = 0.0;      // pack depth
  double porosity = 0.67;     // effective porosity
  double permeability = 0.0;  // intrinsic permeability, cm2
};

// Melt (m) released per hour from a pack: the melt over its lag through the
// pack, the lag (1 to 6 hours) being the depth over the kinematic travel
// speed of the melt flux. A coefficient c of 0 or more is the pack's
// conductivity; a negative one takes it from the pack's permeability.
double snow_melt_ratio(double M, const melt_wave_pack& pack, double c);

// The melt waves of one cell: slots 1..count of an amount (m) and a release
// rate (m/h), slot 1 the next to leave.
struct melt_waves {
  double* base = nullptr;  // the cell's [0][0] of a [slot][field] table of 4 fields a slot
  double& amount(int k) const { return base[k * 4 + 1]; }
  double& rate(int k) const { return base[k * 4 + 2]; }
};

// Moves the waves one slot toward release and puts the new melt M (m) in
// the last slot; returns the water the waves hold (m).
double melt_wave_shift(const melt_waves& waves, int count, double M, const melt_wave_pack& pack, double c);

// One snow pass over the cells.
struct snow_step_cells {
  int n = 0;
  double dt = 3600.0;                  // s
  int month = 1, day = 1;              // of the weather record
  double melt_wave_coef = -1.0;        // SNOW_DARCY, or -1 for the pack's own
  const int* boundary_type = nullptr;  // overland boundary types, null without boundaries
  const int* overland_lake = nullptr;  // null without overland lakes
  const int* channel_lake = nullptr;   // null without channel lakes
};

enum class snow_status { ok, bad_date };

struct snow_step_result {
  snow_status status = snow_status::ok;
  int snow_present = 0;  // some cell still holds snow
  int melt_pending = 0;  // some cell's melt waits to be released
  double melt = 0.0;     // melt of the pass summed over the cells, m
};

// Accumulation and melt of every cell over dt: melts snow_swe into
// snow_melt_to_ov and the melt waves, steps the layered pack and sets
// snow_depth. A cell's melt never exceeds its snow.
snow_step_result snow_cell_step(hydromet_state& hm, const snow_step_cells& cells);

}  // namespace nivra
