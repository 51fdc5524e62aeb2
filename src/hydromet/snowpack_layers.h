// The layered snowpack of one cell: depth and bulk density that grow with
// new snow and settle by compaction, a wet zone at the top of the pack that
// holds liquid water at a residual fraction, a freezing front that grows
// into it in cold weather (Stefan's law), the grain size and permeability
// of the snow (Shimizu), and the wetting fronts that carry each step's
// liquid input down through the pack as kinematic waves (Colbeck's power
// law of exponent n) and let it out at the base.
//
// Lengths and water amounts are in cm, densities in g/cm3, times in s,
// temperatures in deg C. The pack's record (pack fields 1..11) and its
// status record (fields 1..22) are 1-based rows of the run's per-cell
// tables; the wetting fronts live in a table of their own.
#pragma once

namespace nivra {

// Fields of the pack record.
namespace pack_field {
inline constexpr int given_depth = 2;   // when above 0, the depth of the step
inline constexpr int exponent = 3;      // n of the flux law
inline constexpr int porosity = 4;      // effective porosity phi
inline constexpr int depth = 5;         // z
inline constexpr int water = 6;         // snow water equivalent W
inline constexpr int residual = 7;      // residual water fraction f
inline constexpr int time_step = 8;     // s
inline constexpr int density = 9;       // rho
inline constexpr int permeability = 10; // k of the step, cm2
inline constexpr int permeability_copy = 11;
inline constexpr int count = 11;
}  // namespace pack_field

// Fields of the status record (the working values written after a step).
namespace pack_status {
inline constexpr int outflow = 19;  // water that left the base during the step, cm
inline constexpr int restart = 21;  // 1: the next step resumes from this record
inline constexpr int count = 22;
}  // namespace pack_status

// The pack record a cell takes when its snow is gone (and at the start of
// a run, apart from the depth, water and density there). Inline: the
// channel lakes clear the pack of a cell they take.
inline void reset_pack_record(double* pack) {
  static constexpr double fresh[pack_field::count + 1] = {0.0, 0.0, 0.0, 3.0, 0.67, 0.0, 0.0,
                                                          0.07, 3600.0, 0.3, 0.077, 0.077};
  for (int k = 1; k <= pack_field::count; ++k) pack[k] = fresh[k];
}

// The wetting fronts of a pack: rows 1..51 of fields 1..5 (row 0 and field
// 0 unused). Field 1 is minus the pack clock at the front's release, 2 the
// pack depth at release, 3 the water it carries, 4 its travel time to the
// base, 5 the time since release at which its drainage ends (-1: none).
struct wetting_front_table {
  static constexpr int capacity = 51;
  double rows[capacity + 1][6] = {};
  double& at(int k, int field) { return rows[k][field]; }
  double at(int k, int field) const { return rows[k][field]; }
};

// One step's weather on the pack.
struct snowpack_weather {
  double rain = 0.0;      // precipitation of the step, cm of water
  double air_temp = 0.0;  // deg C
  double wind = 0.0;      // m/s; 10000 selects the fixed heat coefficient
  int dt = 3600;          // s
};

// What a step did with the pack's water: the water that left its base, and
// the change of the water equivalent that the compaction cap imposed (the
// cap resets the water content of a pack that would pass 0.55 g/cm3). Over
// a step, W + Ls after = W + Ls before + rain that fell + cap_change - outflow,
// W the pack's water equivalent and Ls the rain standing on it.
struct snowpack_result {
  double outflow = 0.0;     // cm
  double cap_change = 0.0;  // cm
};

// One step of the pack of a cell. A status record whose restart field is 0
// starts the working values (wet zone, grains, freezing front, fronts)
// afresh; otherwise the step resumes from it.
snowpack_result snow_layers_step(double* pack, double* status, wetting_front_table& fronts,
                                 const snowpack_weather& weather);

// The rain standing on the pack after a step (status field 13), cm.
inline double standing_rain(const double* status) { return status[13]; }

// Travel time (s) of a lone front carrying Wf cm through a pack of depth zr
// cm, with flux-law exponent n and kinematic coefficient a:
// ((n - 1) / Wf)^(n - 1) (zr / a)^n.
double lone_front_travel_time(double Wf, double zr, double n, double a);

// The kinematic coefficient a of a pack of density rho (g/cm3), porosity phi
// and exponent n, with the grains of the permeability law:
// a = 54700^(1/n) n k^(1/n) / phi, k = 0.077 d^2 exp(-7.8 rho), d = 0.2.
double kinematic_coefficient(double rho, double phi, double n);

}  // namespace nivra
