// The vertical processes that change a cell's dissolved constituent: mass
// brought by the rain, exchange with the land surface or the top soil
// layer, decay in the water. Each returns the mass of one cell for one
// process interval; the overland transport takes it into the water.
#pragma once

namespace nivra {

// Mass (g) the rain brings in dt seconds at an intensity of r mm/h and a
// concentration of c g/m3 onto a cell of area m2.
inline double rain_mass(double rain_mm_h, double conc_g_m3, double area_m2, double dt) {
  return rain_mm_h / 3.6e6 * conc_g_m3 * area_m2 * dt;
}

// A cell's water and the land (or soil water) it exchanges with.
struct land_exchange_cell {
  double water_volume = 0.0;   // m3
  double water_conc = 0.0;     // g/m3
  double water_mass = 0.0;     // g
  double land_conc = 0.0;      // g/m3: the land-side or the top layer's soil-water concentration
  double land_available = 0.0; // g the land side can give: the land mass, or the layer's dissolved mass
  bool two_way = false;        // with a soil column the water also gives to the soil
};

// The mass (g) that moves from the land into the water in dt seconds at an
// exchange rate k (per second, per m2 of the cell's area): (Cland - Cw) k
// area dt, never more than the land side holds, never lifting the water
// past the land's concentration, and, when it flows into the land (two-way
// only), never more than the water holds. Negative when the water loses.
double land_exchange_mass(const land_exchange_cell& x, double rate_per_s, double area_m2, double dt);

// The decay pending for a cell after dt more seconds: the water at
// concentration c decays at k per second (the share of decay_share: the
// explicit k dt, the exponential form beyond k dt = 1) over the mean of the
// depth before and now, and the pending total never exceeds what the
// smaller depth holds.
double water_decay_pending(double pending, double conc, double rate_per_s, double depth_before, double depth_now,
                           double area_m2, double dt);

}  // namespace nivra
