// The physics of eroded soil by particle class: the water's viscosity, the
// fall velocity of a particle, the median diameter of a cell's sediment,
// the transport capacity of sheet flow (six formulas), detachment by rain
// splash and by flow shear, Yang's unit-stream-power sand concentration of
// the channels with its physical limit, and the bed elevation that the
// stored sand gives.
//
// Sediment amounts are solid volumes in m3; particle diameters are in mm,
// median diameters in micrometres; depths in m, times in s, rainfall rates
// in mm/h. The kernels are small inline functions over one cell or one
// node, so the overland and channel steps call them in their loops.
#pragma once

#include <algorithm>
#include <cmath>

namespace nivra::sediment {

// Constants of the formulas.
inline constexpr double gravity = 9.81;                  // m/s2
inline constexpr double water_density = 998.2;           // kg/m3
inline constexpr double water_unit_weight = 9792.342;    // N/m3, overland formulas
inline constexpr double channel_unit_weight = 9810.0;    // N/m3, channel formula
inline constexpr double mass_per_volume = 2645.23;       // kg of soil per m3 of solids
inline constexpr double tiny = 1e-16;                    // below this nothing moves
inline constexpr double stokes_limit_m = 0.0001;         // Stokes settling up to 0.1 mm

// Kinematic viscosity of fresh water, m2/s, at a temperature in degrees
// Celsius; a negative temperature is taken as 0 (about 1.0e-6 at 20 C).
inline double water_viscosity(double temp_c) {
  const double t = temp_c < 0.0 ? 0.0 : temp_c;
  return 7.125025025025025e-10 * std::pow(6005.52, 1.6012) / std::pow(t + 45.28, 1.6012) *
         std::pow(t / 6005.52 + 1.0, 1.6012);
}

// Dimensionless particle diameter D* = d ((s - 1) g / nu^2)^(1/3), d in m.
inline double dimensionless_diameter(double d_m, double spec_grav, double nu) {
  return std::cbrt((spec_grav - 1.0) * gravity / (nu * nu)) * d_m;
}

// Fall velocity, m/s, of a particle of diameter d_mm (mm) and specific
// gravity s in water of viscosity nu: Stokes' law up to 0.1 mm, above it
// the form 8 nu / d (sqrt(1 + 0.0139 D*^3) - 1). The two forms meet with a
// step at 0.1 mm; both are kept as they stand.
inline double fall_velocity(double d_mm, double spec_grav, double nu) {
  const double d = d_mm / 1000.0;
  if (d > stokes_limit_m) {
    const double ds = dimensionless_diameter(d, spec_grav, nu);
    return (std::sqrt(0.0139 * ds * ds * ds + 1.0) - 1.0) * 8.0 * nu / d;
  }
  return (spec_grav - 1.0) * gravity * d * d / (18.0 * nu);
}

// The fall velocity of the channels' sand-size particle (specific gravity
// 2.65), m/s.
inline double sand_fall_velocity(double d_mm, double nu) {
  const double d = d_mm / 1000.0;
  const double ds = d * std::cbrt(16.1865 / (nu * nu));
  return (std::sqrt(0.0139 * ds * ds * ds + 1.0) - 1.0) * 8.0 * nu / d;
}

// The particle classes of a run, 1-based: diameter (mm) and specific
// gravity of each class, and the classes from the finest to the coarsest
// (by_size[1] the finest; null: the classes are listed so).
struct class_table {
  int n = 0;
  const double* part_diam = nullptr;
  const double* spec_grav = nullptr;
  const int* by_size = nullptr;
  // Optional, per class: 1 / ((s - 1)^2 d sqrt(g)), d in m, the weight of
  // the class in the Engelund-Hansen capacity (`engelund_hansen_weights`);
  // null: worked out at each use.
  const double* eh_weight = nullptr;
};

// The weight of each class in the Engelund-Hansen capacity, 1..n.
inline double engelund_hansen_weight(const class_table& ct, int k) {
  const double sg = ct.spec_grav[k] - 1.0;
  return 1.0 / (sg * sg * (ct.part_diam[k] / 1000.0) * std::sqrt(gravity));
}

// The sediment of one cell, one entry per class (1-based, entry 0 unused
// unless said): the parent soil's share of each class, what lies loose on
// the surface (deposited), what is suspended in the water, the parent soil
// removed (a negative running sum), and the composition of the suspended
// and deposited sediment the capacity formulas work out.
struct cell_sediment {
  const double* soil_fract = nullptr;
  double* susp = nullptr;
  double* dep = nullptr;
  double* eroded = nullptr;
  double* susp_fract = nullptr;
  double* dep_fract = nullptr;
};

// Volumes put into suspension in a step by class, class 0 the total.
struct lifted_volumes {
  double* by_class = nullptr;
  void add(int k, double v) {
    by_class[k] += v;
    by_class[0] += v;
  }
};

// Median diameter of the cell's sediment, micrometres: of the suspended
// sediment when there is any, else of the deposit, else of the parent
// soil. The shares found are written to susp_fract or dep_fract. The
// classes are added up from the coarsest down, in the order of their
// sizes whatever the order they are listed in, until their cumulative
// share reaches one half; between the class that reaches it and the one
// above it the diameter is interpolated on its logarithm against the
// cumulative share (the coarsest class alone reaching half gives its own
// diameter).
inline double median_diameter(const class_table& ct, const cell_sediment& cs) {
  const int n = ct.n;
  if (n <= 0) return 0.0;
  double m = 0.0, l = 0.0;
  for (int k = 1; k <= n; ++k) m += cs.susp[k];
  const double* f = cs.soil_fract;
  if (m >= tiny) {
    for (int k = 1; k <= n; ++k) cs.susp_fract[k] = cs.susp[k] / m;
    f = cs.susp_fract;
  } else {
    for (int k = 1; k <= n; ++k) l += cs.dep[k];
    if (l >= tiny) {
      for (int k = 1; k <= n; ++k) cs.dep_fract[k] = cs.dep[k] / l;
      f = cs.dep_fract;
    }
  }
  auto sized = [&](int r) { return ct.by_size ? ct.by_size[r] : r; };
  double before = 0.0;  // the share of the classes coarser than rank r
  for (int r = n; r >= 1; --r) {
    const int k = sized(r);
    const double sum = before + f[k];
    if (sum >= 0.5) {
      if (r == n) return ct.part_diam[k] * 1000.0;
      const int above = sized(r + 1);
      const double t = (0.5 - before) / (sum - before);
      return 1000.0 * ct.part_diam[above] * std::pow(ct.part_diam[k] / ct.part_diam[above], t);
    }
    before = sum;
  }
  return ct.part_diam[sized(n)] * 1000.0;
}

// What the flow over one face of a cell is like in a step.
struct capacity_flow {
  int option = 0;        // transport formula, 1..6; any other gives the unit discharge
  double slope = 0.0;    // water-surface slope S
  double depth = 0.0;    // h, m
  double q = 0.0;        // unit discharge, m2/s
  double dt = 0.0;       // s
  double dx = 0.0;       // cell size, m
  double sed_K = 0.0;    // capacity factor of formulas 1 and 2
  double width = 1.0;    // unblocked share of the face
};

// The band of a median diameter d50 (micrometres): 0 below 33, 1 below 61,
// 2 below 122, 3 below 190, else 4. A diameter on a band edge takes the
// band above it.
inline int d50_band(double d50) {
  if (d50 < 33.0) return 0;
  if (d50 < 61.0) return 1;
  if (d50 < 122.0) return 2;
  if (d50 < 190.0) return 3;
  return 4;
}

// The transport capacity of a face's flow in two parts: what the flow
// alone sets, worked out once per step of the water (with its powers), and
// what the make-up of the moving sediment sets, looked up whenever the
// make-up changes. `base` holds, by formula: 1 the flow term times dt,
// sed_K and the width; 2 the whole capacity; 3 and 4 the capacity per
// d50 power below and from 122 micrometres; 5 and 6 the capacity in each
// d50 band; any other formula the unit discharge. `none` is set where the
// face carries no water.
struct flow_capacity {
  int option = 0;
  bool none = true;
  double base[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
};

inline flow_capacity flow_capacity_of(const capacity_flow& fl) {
  flow_capacity c;
  c.option = fl.option;
  if (fl.q < tiny || fl.depth < tiny) return c;
  c.none = false;
  const double v = fl.q / fl.depth;
  const double s = fl.slope, h = fl.depth;
  const double scale = fl.dt * fl.dx / mass_per_volume / 10.0 * fl.width;
  switch (fl.option) {
    case 1: {
      const double sh = s * h;  // (S h)^1.5
      c.base[0] = 0.05 * fl.dx * v * v * (sh * std::sqrt(sh)) * fl.dt * fl.sed_K * fl.width;
      break;
    }
    case 2:
      c.base[0] = std::pow(s, 1.6667) * 1.7e8 * std::pow(fl.q, 2.035) * fl.sed_K * fl.dt * fl.dx / mass_per_volume;
      break;
    case 3: {
      const double w = v * s * 100.0;
      c.base[0] = 0.006025596 * std::pow(w, 1.52) * scale;
      c.base[1] = 0.316227766 * std::pow(w, 2.59) * scale;
      break;
    }
    case 4: {
      const double w = std::pow(1000.0 * water_unit_weight * h * s * v, 1.5);
      c.base[0] = 1.977e-06 * std::pow(w, 1.044) * scale;
      c.base[1] = 4.6e-07 * std::pow(w, 1.75) * scale;
      break;
    }
    case 5: {
      static constexpr double coef[5] = {6.16595, 10.96478, 9.332543, 64.56542, 20.41738};
      static constexpr double s_exp[5] = {1.9, 1.94, 1.77, 2.96, 2.81};
      static constexpr double q_exp[5] = {1.1, 1.19, 1.79, 2.18, 3.1};
      const double qq = fl.q * 10000.0;
      for (int b = 0; b < 5; ++b) c.base[b] = coef[b] * std::pow(s, s_exp[b]) * std::pow(qq, q_exp[b]) * scale;
      break;
    }
    case 6: {
      static constexpr double uc[5] = {1.4, 1.4, 1.45, 1.55, 1.8};
      static constexpr double coef[5] = {0.035, 0.052, 0.029, 0.024, 0.0092};
      static constexpr double ex[5] = {2.88, 2.95, 3.74, 4.14, 5.06};
      const double u = std::sqrt(water_unit_weight * h * s / water_density) * 100.0;
      for (int b = 0; b < 5; ++b) c.base[b] = u > uc[b] ? coef[b] * std::pow(u - uc[b], ex[b]) * scale : 0.0;
      break;
    }
    default:
      c.base[0] = fl.q;
  }
  return c;
}

// The Engelund-Hansen factor of a cell's sediment: the weights of the
// classes by the share of each class in what the flow carries (or, with
// nothing suspended, in what lies loose, or else in the parent soil); n is
// the number of classes, ct.n.
inline double engelund_hansen_factor(const class_table& ct, const cell_sediment& cs, int n) {
  double m = 0.0;
  for (int k = 1; k <= n; ++k) m += cs.susp[k];
  const double* x = cs.soil_fract;
  double per = 1.0;
  if (m >= tiny) {
    x = cs.susp;
    per = 1.0 / m;
  } else {
    double l = 0.0;
    for (int k = 1; k <= n; ++k) l += cs.dep[k];
    if (l >= tiny) {
      x = cs.dep;
      per = 1.0 / l;
    }
  }
  double sum = 0.0;
  if (ct.eh_weight)
    for (int k = 1; k <= n; ++k) sum += x[k] * per * ct.eh_weight[k];
  else
    for (int k = 1; k <= n; ++k) sum += x[k] * per * engelund_hansen_weight(ct, k);
  return sum;
}

// What the make-up of a cell's sediment sets in the capacity of every flow
// leaving it: the part of `flow_capacity::base` that applies and the
// factor it is multiplied by (formula 1 the Engelund-Hansen factor, 3 and
// 4 the power of the median diameter, 5 and 6 the median diameter's band;
// the median diameter writes the shares it finds to susp_fract or
// dep_fract).
struct capacity_makeup {
  int base = 0;
  double factor = 1.0;
};

inline capacity_makeup makeup_of(int option, const class_table& ct, const cell_sediment& cs) {
  switch (option) {
    case 1:
      return {0, engelund_hansen_factor(ct, cs, ct.n)};
    case 3: {
      const double d50 = median_diameter(ct, cs);
      return d50 < 122.0 ? capacity_makeup{0, std::pow(d50, 0.59)} : capacity_makeup{1, std::pow(d50, -0.39)};
    }
    case 4: {
      const double d50 = median_diameter(ct, cs);
      return d50 < 122.0 ? capacity_makeup{0, std::pow(d50, 0.478)} : capacity_makeup{1, std::pow(d50, -0.56)};
    }
    case 5:
    case 6:
      return {d50_band(median_diameter(ct, cs)), 1.0};
    default:
      return {};
  }
}

// The capacity, m3 over the step the flow part was worked out for, of a
// flow for sediment of a given make-up.
inline double capacity_with(const flow_capacity& c, const capacity_makeup& m) {
  return c.none ? 0.0 : c.base[m.base] * m.factor;
}

// The capacity, m3 over the step the flow part was worked out for, of a
// flow for the sediment the cell holds now.
inline double capacity_of(const flow_capacity& c, const class_table& ct, const cell_sediment& cs) {
  if (c.none) return 0.0;
  return capacity_with(c, makeup_of(c.option, ct, cs));
}

// Volume (m3) the flow can carry out of the cell across one face in the
// step.
inline double transport_capacity(const capacity_flow& fl, const class_table& ct, const cell_sediment& cs) {
  return capacity_of(flow_capacity_of(fl), ct, cs);
}

// Splash coefficients a and b of a rainfall rate in mm/h.
struct splash_coefficients {
  double a, b;
};
inline splash_coefficients splash_coefficients_of(double i) {
  if (i < 10.0) return {2.69e-08, 1.6896};
  if (i < 50.0) return {3.75e-08, 1.5545};
  if (i < 100.0) return {6.12e-08, 1.4242};
  return {1.175e-07, 1.2821};
}

// Lifts loose and parent soil into suspension. `demand` is the volume the
// process can lift; `parent` the volume of parent soil it can detach when
// the loose deposit does not meet the demand (nullptr: the same volume less
// the deposit). A channel cell gives no parent soil, and then nothing is
// lifted unless the deposit exceeds the demand.
inline void lift_sediment(int n, const cell_sediment& cs, double demand, double parent, bool channel_cell,
                          lifted_volumes lifted) {
  double l = 0.0;
  for (int k = 1; k <= n; ++k) l += cs.dep[k];
  if (l > tiny && l > demand) {
    const double share = demand / l;
    for (int k = 1; k <= n; ++k) {
      const double v = share * cs.dep[k];
      cs.dep[k] -= v;
      cs.susp[k] += v;
      lifted.add(k, v);
    }
    return;
  }
  if (channel_cell) return;
  for (int k = 1; k <= n; ++k) {
    const double from_soil = parent * cs.soil_fract[k];
    const double v = cs.dep[k] + from_soil;
    cs.susp[k] += v;
    cs.dep[k] = 0.0;
    cs.eroded[k] -= from_soil;
    lifted.add(k, v);
  }
}

// Raindrop splash of a rainfall rate i (mm/h) on water h deep over a step
// of dt seconds on a cell dx wide: K the cell's splash erodibility, the
// coefficients those of the rate. Returns the detachable volume.
// The depth below which water does not shield the ground from drops
// falling at i mm/h, m, and the share of the splash that water h deep
// lets through.
inline double splash_critical_depth(double i) { return 0.00124 * std::pow(i, 0.182); }
inline double splash_depth_factor(double h, double hc) { return h > hc ? std::exp(1.0 - h / hc) : 1.0; }
inline double splash_volume(double i, double h, double dt, double dx, double K, splash_coefficients ab) {
  if (i <= tiny) return 0.0;
  const double f = splash_depth_factor(h, splash_critical_depth(i));
  return f * K * ab.a * std::pow(i, ab.b) * dt * dx * dx / mass_per_volume;
}

// Lifts a splash volume d: from the loose deposit first, the rest from
// the parent soil.
inline void splash_lift(int n, const cell_sediment& cs, double d, bool channel_cell, lifted_volumes lifted) {
  double l = 0.0;
  for (int k = 1; k <= n; ++k) l += cs.dep[k];
  lift_sediment(n, cs, d, d - l, channel_cell, lifted);
}

inline void splash_detach(int n, const cell_sediment& cs, double i, double h, double dt, double dx, double K,
                          splash_coefficients ab, bool channel_cell, lifted_volumes lifted) {
  if (i <= tiny) return;
  splash_lift(n, cs, splash_volume(i, h, dt, dx, K, ab), channel_cell, lifted);
}

// Flow detachment parameters of a cell.
struct detach_params {
  double coef = 2e-05;   // detachment coefficient
  double expo = 1.0;     // exponent of the shear
  double crit = 0.0;     // critical shear of the parent soil, N/m2
};

// Loose and parent-soil detachment volumes of flow h deep on slope S over
// an area in a step, when the flow carries less than it could (capacity
// tc); zero when it carries enough. The shear sets the volumes a flow
// carrying nothing would detach (`shear_volumes`, worked out once per step
// of the water); the share the flow still lacks of its capacity, 1 -
// carried / tc, scales them.
struct flow_detach_volumes {
  double loose = 0.0, parent = 0.0;
};
inline flow_detach_volumes shear_volumes(double h, double s, double dt, double area, const detach_params& p) {
  flow_detach_volumes out;
  if (h <= tiny || s <= tiny) return out;
  const double tau = water_unit_weight * h * s;
  const double scale = p.coef * dt * area / mass_per_volume;
  // The exponent is most often 1, where the power is the shear itself.
  const bool linear = p.expo == 1.0;
  out.loose = (linear ? tau : std::pow(tau, p.expo)) * scale;
  out.parent = tau > p.crit ? (linear ? tau - p.crit : std::pow(tau - p.crit, p.expo)) * scale : 0.0;
  return out;
}
inline flow_detach_volumes flow_detach_volume(double susp_total, double tc, double h, double s, double dt,
                                              double area, const detach_params& p) {
  if (h <= tiny || s <= tiny || !(tc > susp_total)) return {};
  const double r = 1.0 - susp_total / tc;
  const flow_detach_volumes full = shear_volumes(h, s, dt, area, p);
  return {full.loose * r, full.parent * r};
}

// Flow detachment with the shear volumes of the step (`full`, see above)
// and the capacity tc over the same time.
inline void flow_detach_by(int n, const cell_sediment& cs, const flow_detach_volumes& full, double tc,
                           bool channel_cell, lifted_volumes lifted) {
  if (!(full.loose > 0.0)) return;  // no shear or a zero coefficient
  double m = 0.0, l = 0.0;
  for (int k = 1; k <= n; ++k) {
    m += cs.susp[k];
    l += cs.dep[k];
  }
  if (!(tc > m)) return;
  const double r = 1.0 - m / tc;
  const double loose = full.loose * r, parent = full.parent * r;
  if (!(loose > 0.0)) return;
  lift_sediment(n, cs, loose, (1.0 - std::min(1.0, l / loose)) * parent, channel_cell, lifted);
}

inline void flow_detach(int n, const cell_sediment& cs, double h, double s, double dt, double area,
                        const detach_params& p, double tc, bool channel_cell, lifted_volumes lifted) {
  flow_detach_by(n, cs, shear_volumes(h, s, dt, area, p), tc, channel_cell, lifted);
}

// The share of the suspended sediment that settles over a cell dx wide in
// water h deep moving at v (m/s) for particles falling at w: all when the
// water stands still.
inline double trap_fraction(double dx, double w, double v, double h) {
  if (v <= tiny || h <= tiny) return 1.0;
  const double x = dx * w / (v * h);
  // Beyond 40 the share rounds to all (exp(-40) < 2^-54).
  return x > 40.0 ? 1.0 : 1.0 - std::exp(-x);
}

// ------------------------------------------------------------ channels

// Critical velocity ratio Vc / w of Yang's equation from the shear
// Reynolds number: 0 below 1.2 (no motion), 2.05 from 70 on.
inline double yang_critical_ratio(double re_star) {
  if (re_star < 1.2) return 0.0;
  if (re_star < 70.0) return 2.5 / (std::log10(re_star) - 0.06) + 0.66;
  return 2.05;
}

// Yang's (1973) unit-stream-power sand concentration, parts per million by
// weight, of flow at velocity v (m/s) on energy slope s with hydraulic
// radius r (m), for sand of diameter d_mm falling at w in water of
// viscosity nu. Zero below the critical velocity, below the shear Reynolds
// number 1.2, and where the excess stream power is not positive.
inline double yang_concentration(double v, double s, double r, double d_mm, double w, double nu) {
  const double d = d_mm / 1000.0;
  const double tau = r * channel_unit_weight * s;
  const double u_star = tau > tiny ? std::sqrt(tau / 1000.0) : 0.0;
  const double re_star = u_star * d / nu;
  if (re_star < 1.2) return 0.0;
  const double vc = yang_critical_ratio(re_star);
  if (v / w < vc) return 0.0;
  const double excess = v * s / w - s * vc;
  if (!(excess > 0.0)) return 0.0;
  const double lw = std::log10(w * d / nu);
  const double lu = std::log10(u_star / w);
  return std::pow(10.0, 5.435 - 0.286 * lw - 0.457 * lu + (1.799 - 0.409 * lw - 0.314 * lu) * std::log10(excess));
}

// The highest sand concentration the channels carry, ppm by weight: sand
// at a fifth of the volume of the water and sand it moves in (specific
// gravity 2.65), 398,496 ppm, where streamflow turns into hyperconcentrated
// flow. Yang's equation, fitted to rivers and flumes that carry far less,
// runs past a million ppm (more sand than water) in steep, fast flow over
// fine sand; it is taken up to this limit.
inline constexpr double sand_max_volume_share = 0.2;
inline constexpr double sand_max_ppm =
    1e6 * sand_max_volume_share * 2.65 / (sand_max_volume_share * 2.65 + (1.0 - sand_max_volume_share));

// The sand concentration a flow can carry, ppm by weight: Yang's
// concentration for sand of diameter d_mm falling at w, never above
// sand_max_ppm.
inline double sand_capacity_ppm(double v, double s, double r, double d_mm, double w, double nu) {
  return std::min(yang_concentration(v, s, r, d_mm, w, nu), sand_max_ppm);
}

// Sand volume rate, m3/s, carried by a discharge q (m3/s) at concentration
// c (ppm by weight).
inline double sand_flux(double q, double c_ppm) { return q * c_ppm * channel_unit_weight / 25996500000.0; }

// Flow area and wetted perimeter of a trapezoidal section of bottom width
// b and side slope ss (horizontal per vertical) at depth h.
struct section_at {
  double area, perimeter;
};
inline section_at trapezoid(double b, double ss, double h) {
  return {ss * h * h + b * h, 2.0 * h * std::sqrt(ss * ss + 1.0) + b};
}

// Depth of sand of cross-section area a laid on a bottom of width b between
// banks of side slope ss: solves b y + ss y^2 = a, y = a / b when ss is 0.
inline double trapezoid_fill_depth(double a, double b, double ss) {
  if (a <= 0.0) return 0.0;
  if (ss <= tiny) return a / b;
  // The stable root of ss y^2 + b y - a = 0.
  return 2.0 * a / (b + std::sqrt(b * b + 4.0 * a * ss));
}

// Where the bed of an erodible node lies for its stored sand. The erodible
// layer is `layer` metres thick under the bed at the start of the run
// (org_bel): with no sand the bed lies on the hard bottom org_bel - layer;
// sand fills the layer between the vertical sides of the cut (a full layer
// restores org_bel), and sand beyond a full layer spreads across the
// trapezoidal section above org_bel. More sand always raises the bed, and
// the bed is continuous in the sand stored. A section of no width has no
// bed to move: `ok` is false and the bed stays where it is.
struct bed_result {
  double bel;
  bool ok;
};
inline bed_result bed_elevation(double sand_vol, double bel, double org_bel, double b, double ss, double layer,
                                double node_dx, double porosity) {
  if (!(b > 0.0) || !(node_dx > 0.0)) return {bel, false};
  const double as = std::max(0.0, sand_vol) / node_dx / (1.0 - porosity);
  const double layer_area = b * layer;
  if (as <= layer_area) return {org_bel - layer + as / b, true};
  return {org_bel + trapezoid_fill_depth(as - layer_area, b, ss), true};
}

}  // namespace nivra::sediment
