#include "soil/soil_moisture.h"
#include "surface/boundary_codes.h"

#include <algorithm>
#include <cmath>

namespace nivra {

namespace {

// The soil of one zone: saturated, residual, field-capacity and wilting
// contents, saturated conductivity (cm/h) and pore index.
struct zone_soil {
  double phi = 0.0, theta_r = 0.0, theta_fc = 0.0, theta_wp = 0.0;
  double ks = 0.0, lambda = 0.0;
  double se(double theta) const {
    const double span = phi - theta_r;
    return span > 0.0 ? (theta - theta_r) / span : 1.0;
  }
  double k(double theta) const { return ks * brooks_corey_kr(se(theta), lambda); }
};

// Share of the demand a zone holding `water` cm over `depth` cm can meet,
// capped at 1.
double stress_factor(double water, double depth, const zone_soil& s, bool deardorff) {
  const double fc = s.theta_fc * depth;
  if (deardorff) {
    if (water <= s.theta_r * depth) return 0.0;
    return fc > 0.0 ? std::min(water / fc, 1.0) : 1.0;
  }
  const double wp = s.theta_wp * depth;
  if (water >= fc) return 1.0;
  if (water <= wp) return 0.0;
  return std::min((water - wp) / (fc - wp), 1.0);
}

bool is_lake_cell(const soil_moisture_domain& d, int c) {
  return (d.overland_lake && d.overland_lake[c] > 0) || (d.channel_lake && d.channel_lake[c] > 0);
}

// What one cell's pass needs beyond the domain: its zones and their soils.
struct cell_column {
  double depth = 0.0;            // sm_depth, cm
  double top_depth = 0.0;        // Dt
  double bottom_depth = 0.0;     // Db, 0 with one zone
  double weight_depth = 0.0;     // W: the zones' shares are Dt / W and Db / W
  zone_soil top, bottom;
};

// The drainage of a pass (cm), by the kernel's rule.
struct drainage {
  double qt = 0.0, qb = 0.0;
};

// The evapotranspiration of one cell: ponded water first, then the soil's
// demand split over the zones. Returns the soil's demand left for the
// groundwater (a column shallower than W, or a groundwater-fed cell).
struct cell_et {
  double ponded = 0.0;    // cm over the open part, times the open share
  double Et = 0.0, Eb = 0.0;
  double from_groundwater = 0.0;  // cm asked of the water below the column
};

cell_et evapotranspiration(const soil_moisture_domain& d, int c, const cell_column& col, double top, double bottom,
                           double I, bool groundwater_fed) {
  cell_et e;
  const double rain = d.rain ? d.rain[c] : 0.0;
  const bool snow = d.snow_swe && d.snow_swe[c] >= 1e-16;
  const int type = d.boundary_type ? d.boundary_type[c] : 0;
  const bool fixed_level = boundary::holds_level(type);
  if (!d.long_term || rain > 1e-16 || snow || fixed_level || !d.pet_rate || !d.aet_rate) return e;

  const double dt = d.dt;
  const double E = dt * d.pet_rate[c];
  const double ponded = d.ov_depth[c] * 100.0;
  double demand = d.aet_rate[c] * dt;
  if (ponded > 1e-14) {
    const double open = d.blocked && d.blocked[c] < 1.0 ? 1.0 - d.blocked[c] : 1.0;
    if (E <= ponded) {
      d.ov_depth[c] -= E / 100.0;
      e.ponded = E * open;
      demand = 0.0;
    } else {
      d.ov_depth[c] = 0.0;
      e.ponded = ponded * open;
      demand = d.aet_rate[c] * (dt - ponded / E * dt);
    }
  }
  if (!(demand > 1e-16)) return e;

  double ft = 1.0, fb = 1.0;
  const bool two_zones = col.bottom_depth > 0.0;
  if (col.depth >= 1e-16) {
    ft = stress_factor(top, col.top_depth, col.top, d.deardorff);
    fb = two_zones ? stress_factor(bottom, col.bottom_depth, col.bottom, d.deardorff) : 0.0;
    if (two_zones && col.weight_depth > 0.0) {
      ft *= col.top_depth / col.weight_depth;
      fb *= col.bottom_depth / col.weight_depth;
    }
  } else {
    fb = 0.0;
  }
  double Et = demand * ft, Eb = demand * fb;
  if (groundwater_fed) {
    // The water table feeds the roots: the zones keep their water.
    e.from_groundwater = Et + Eb;
    return e;
  }
  // Neither zone gives water below its residual content; the top zone may
  // take what infiltrated since the last pass.
  const double top_floor = col.top.theta_r * col.top_depth;
  if (top - Et < top_floor - I) Et = std::max(top + I - top_floor, 0.0);
  const double bottom_floor = col.bottom.theta_r * col.bottom_depth;
  if (two_zones && bottom - Eb < bottom_floor) Eb = std::max(bottom - bottom_floor, 0.0);
  e.Et = Et;
  e.Eb = Eb;
  // A column shallower than the one the shares are taken over leaves the
  // rest of the demand to the water below it.
  if (col.weight_depth - col.depth > 1e-16 && demand > Et + Eb) e.from_groundwater = demand - (Et + Eb);
  return e;
}

template <class Soil, class Drain>
soil_moisture_books account(const soil_moisture_domain& d, Soil&& soil_of, Drain&& drain) {
  soil_moisture_books books;
  soil_state& s = d.soil;
  const double area = d.cell_area;
  for (int c = 1; c <= d.ncells; ++c) {
    if (is_lake_cell(d, c)) continue;
    const cell_column col = soil_of(c);
    const double I = s.sm_infil_in[c] * 100.0;
    double top = s.sm_water_top[c];
    double bottom = s.sm_water_bottom[c];
    const bool no_soil = col.depth < 1e-16;
    if (no_soil && d.exfiltrating) d.exfiltrating[c] = 1;
    const bool groundwater_fed = no_soil || (d.exfiltrating && d.exfiltrating[c] == 1);

    const cell_et e = evapotranspiration(d, c, col, top, bottom, I, groundwater_fed);
    drainage q;
    if (no_soil) {
      q.qt = q.qb = I;
    } else if (!groundwater_fed) {
      q = drain(c, col, top, bottom, I);
    }
    const bool two_zones = col.bottom_depth > 0.0;
    // The stores, held within their residual and saturated contents: what
    // overflows joins the drainage, a shortfall is taken back from it.
    if (!no_soil) {
      top += I - q.qt - e.Et;
      const double top_max = col.top.phi * col.top_depth, top_min = col.top.theta_r * col.top_depth;
      if (top > top_max) {
        q.qt += top - top_max;
        top = top_max;
      } else if (top < top_min) {
        q.qt -= top_min - top;
        top = top_min;
      }
      if (two_zones) {
        bottom += q.qt - q.qb - e.Eb;
        const double bottom_max = col.bottom.phi * col.bottom_depth;
        const double bottom_min = col.bottom.theta_r * col.bottom_depth;
        if (bottom > bottom_max) {
          q.qb += bottom - bottom_max;
          bottom = bottom_max;
        } else if (bottom < bottom_min) {
          q.qb -= bottom_min - bottom;
          bottom = bottom_min;
        }
      } else {
        q.qb = q.qt;
      }
    }
    s.sm_water_top[c] = top;
    s.sm_water_bottom[c] = bottom;
    s.sm_water[c] = top + bottom;
    if (!s.sm_interlayer_flow.empty()) {
      s.sm_interlayer_flow[c] += two_zones ? q.qt : 0.0;
      s.sm_percolation[c] += q.qb;
    }
    s.sm_infil_in[c] = 0.0;

    // Drainage below the column, and the evapotranspiration taken from
    // below it: a cell the water table feeds takes it from the aquifer (the
    // drainage handed to the groundwater falls, below zero when the roots
    // take more than drained); any other cell only from the water drained
    // so far.
    double pool = s.unsat_down_flux.empty() ? 0.0 : s.unsat_down_flux[c];
    pool += q.qb;
    const bool from_aquifer = groundwater_fed && d.exfiltrating && !s.unsat_down_flux.empty();
    const double from_below = from_aquifer ? e.from_groundwater : std::min(e.from_groundwater, std::max(pool, 0.0));
    pool -= from_below;
    if (!s.unsat_down_flux.empty()) s.unsat_down_flux[c] = pool;
    if (!s.recharge_depth.empty()) s.recharge_depth[c] += q.qb - from_below;
    if (!s.direct_evap_cell.empty()) s.direct_evap_cell[c] += e.ponded;

    books.ponded_evaporation += e.ponded / 100.0 * area;
    books.soil_et += (e.Et + e.Eb + from_below) / 100.0 * area;
    books.drained += (q.qb - from_below) / 100.0 * area;
    books.taken_in += I / 100.0 * area;
  }
  return books;
}

}  // namespace

double brooks_corey_kr(double se, double lambda) {
  if (!(se > 0.0)) return 0.0;
  if (se >= 1.0) return 1.0;
  return std::pow(se, 3.0 + 2.0 / lambda);
}

soil_moisture_books soil_moisture_redist(const soil_moisture_domain& d) {
  const soil_state& s = d.soil;
  auto soil_of = [&](int c) {
    cell_column col;
    col.depth = s.sm_depth[c];
    col.top_depth = std::min(s.top_layer_depth, col.depth);
    col.bottom_depth = col.depth > col.top_depth ? col.depth - col.top_depth : 0.0;
    col.weight_depth = s.soil_moist_depth;
    zone_soil z;
    z.phi = s.soil_porosity[c];
    z.theta_r = s.resid_sat.empty() ? 0.0 : s.resid_sat[c];
    z.theta_fc = s.ga_value_6.empty() ? 0.0 : s.ga_value_6[c];
    z.theta_wp = s.wilting_point_cell.empty() ? 0.0 : s.wilting_point_cell[c];
    z.ks = s.sat_hyd_cond[c] * 360000.0;
    z.lambda = s.pore_dist_index.empty() ? 0.0 : s.pore_dist_index[c];
    col.top = col.bottom = z;
    return col;
  };
  // A zone at saturation passes its inflow on; above field capacity it
  // drains at its conductivity; at or below, not at all.
  auto drain = [&](int, const cell_column& col, double top, double bottom, double I) {
    drainage q;
    const double hours = d.dt / 3600.0;
    const double t = top / col.top_depth;
    if (t >= col.top.phi) q.qt = I;
    else if (t > col.top.theta_fc) q.qt = col.top.k(t) * hours;
    if (col.bottom_depth > 0.0) {
      const double b = bottom / col.bottom_depth;
      if (b >= col.bottom.phi) q.qb = q.qt;
      else if (b > col.bottom.theta_fc) q.qb = col.bottom.k(b) * hours;
    }
    return q;
  };
  return account(d, soil_of, drain);
}

soil_moisture_books soil_moisture_multilayer(const soil_moisture_domain& d) {
  const soil_state& s = d.soil;
  const array1d<soil_class>& classes = s.multilayer_soil_table;
  auto layer_soil = [](const soil_class& k, int j) {
    zone_soil z;
    z.phi = k.porosity(j);
    z.theta_r = k.residual_moisture(j);
    z.theta_fc = k.field_capacity(j);
    z.theta_wp = k.wilting_point(j);
    z.ks = k.conductivity(j);
    z.lambda = k.pore_index(j);
    return z;
  };
  auto soil_of = [&](int c) {
    const soil_class& k = classes[s.soiltype[c]];
    cell_column col;
    col.depth = s.sm_depth[c];
    col.top_depth = std::min(k.thickness(1), col.depth);
    col.bottom_depth = col.depth > col.top_depth ? col.depth - col.top_depth : 0.0;
    col.weight_depth = k.thickness(1) + k.thickness(2);
    col.top = layer_soil(k, 1);
    col.bottom = layer_soil(k, 2);
    return col;
  };
  auto drain = [&](int c, const cell_column& col, double top, double bottom, double I) {
    const soil_class& k = classes[s.soiltype[c]];
    const zone_soil l2 = layer_soil(k, 2), l3 = layer_soil(k, 3);
    const double hours = d.dt / 3600.0;
    const bool two_zones = col.bottom_depth > 0.0;
    drainage q;
    const double t = top / col.top_depth;
    if (t >= col.top.phi) {
      q.qt = I;
    } else if (t - col.top.theta_fc >= 1e-16) {
      // The top zone's saturation in each layer's own conductivity curve.
      const double se = col.top.se(t);
      const double k1 = col.top.ks * brooks_corey_kr(se, col.top.lambda);
      q.qt = two_zones ? std::sqrt(k1 * l2.ks * brooks_corey_kr(se, l2.lambda)) * hours : k1 * hours;
    }
    if (!two_zones) return q;
    const double b = bottom / col.bottom_depth;
    const bool reaches_layer_3 = col.depth >= k.thickness(1) + k.thickness(2);
    if (b >= col.bottom.phi) {
      q.qb = q.qt;
    } else if (b - col.bottom.theta_fc >= 1e-16) {
      const double se = col.bottom.se(b);
      const double k2 = l2.ks * brooks_corey_kr(se, l2.lambda);
      if (reaches_layer_3) {
        q.qb = std::sqrt(k2 * l3.ks * brooks_corey_kr(se, l3.lambda)) * hours;
        q.qt = std::min(q.qt, q.qb);
      } else {
        q.qb = k2 * hours;
      }
    }
    return q;
  };
  return account(d, soil_of, drain);
}

}  // namespace nivra
