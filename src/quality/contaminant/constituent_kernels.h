// The small rules the constituent processes share: the equilibrium split of
// a constituent between the water and the suspended fine sediment or the
// soil grains (linear partitioning with a coefficient Kd in L/kg),
// first-order decay, the dissolved concentration of a water volume, and
// the share of an accumulated amount that falls into one transport step.
#pragma once

#include <span>

namespace nivra {

// Particle density of mineral soil and sediment, g/cm3 (kg/L).
inline constexpr double particle_density_g_cm3 = 2.65;

// The split of a contaminant between the water and the suspended fine
// classes of a water volume: class k of concentration C_k (g/m3) holds the
// fraction (Kd / 1e6) C_k / (1 + S) of the mass, S the sum of (Kd / 1e6) C_k
// over the fine classes; sand (is_sand[k] non-zero) holds nothing. Fills
// attached[k] (the same length as conc) and returns the dissolved fraction,
// 1 - the sum of the attached fractions.
double sediment_partition(double kd_l_per_kg, std::span<const double> conc_g_m3, std::span<const char> is_sand,
                          std::span<double> attached);

// The dissolved fraction of a soil layer: theta / (theta + rho_b Kd), the
// bulk density rho_b = 2.65 (1 - porosity) g/cm3 and Kd in L/kg. A layer
// without water (theta at most 1e-16) holds nothing dissolved.
double soil_dissolved_fraction(double theta, double porosity, double kd_l_per_kg);

// The share of a mass that first-order decay at rate k per second takes in
// dt seconds: the explicit form k dt, or 1 - exp(-k dt) where k dt is
// beyond 1 (a long interval), where the explicit form would take more than
// the mass and leave it below zero. None for a rate or a step that is not
// positive.
double decay_share(double rate_per_s, double dt);

// The mass first-order decay takes in dt seconds from the part f of a mass
// at rate k per second: f M times decay_share(k, dt).
double decay_amount(double mass, double rate_per_s, double dt, double fraction = 1.0);

// Concentration of the part f of a mass dissolved in a water volume; a
// volume of 1e-16 or less carries no concentration (and so no flux).
double dissolved_concentration(double mass, double fraction, double water_volume);

// The part of an amount gathered over `interval` seconds that falls into
// a transport step of dt seconds: amount x dt / interval when the step is
// shorter by more than half a second, else the whole amount. Both lengths
// are in seconds.
double interval_share(double amount, double dt, double interval);

}  // namespace nivra
