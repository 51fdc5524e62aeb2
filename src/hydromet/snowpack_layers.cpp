#include "hydromet/snowpack_layers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nivra {

namespace {

constexpr double new_snow_grain = 5e-05;       // grain diameter of fresh snow
constexpr double fusion_per_cm = 3330464.0;    // J/m2 that melt 1 cm of water
constexpr double grain_diameter = 0.2;         // grain diameter of the permeability law
constexpr double no_end = -1.0;                // a front whose drainage has no end

// The checks of the pack's numerics: the step goes on with the values it has.
void numerical_check_failed() { std::fputs("error_code = 1", stdout); }

// base^e, 0 when the base is not positive.
double power(double base, double e) { return base > 0.0 ? std::pow(base, e) : 0.0; }

enum class density_case { compaction, snowfall, rain, outflow };
enum class wet_case { step, water_added, frozen };

// One step of one pack: its record, status record and fronts, and the
// working values of the step.
class pack_step {
 public:
  pack_step(double* pack, double* status, wetting_front_table& fronts, const snowpack_weather& w)
      : p_(pack), s_(status), fr_(fronts), T_(w.air_temp), P_(w.rain), u_(w.wind), dt_(w.dt) {}

  snowpack_result run();

 private:
  // Pack fields by name.
  double& depth() { return p_[pack_field::depth]; }
  double& water() { return p_[pack_field::water]; }
  double& rho() { return p_[pack_field::density]; }
  double& phi() { return p_[pack_field::porosity]; }
  double& f() { return p_[pack_field::residual]; }
  double n() const { return p_[pack_field::exponent]; }
  double& F(int k, int field) { return fr_.at(k, field); }
  double arrival(int k) { return F(k, 4) - F(k, 1); }

  void start();
  void write_status();
  void grains_and_permeability();
  void surface_input();
  double density(density_case c, double amount);
  void refreeze(double& Lin);
  void wet_zone(wet_case c, double X, double Lin);
  double travel_time(int k, double Wf);
  double front_depth(int k, double x);
  double newton_slope(double x, double s, double p);
  double water_left(double zr, double since_release);
  void remove_front(int k);
  void reorder_fronts();
  void merge_behind(int k1, int k2);
  void merge_drained(double t);
  void add_front(double Lin);
  void drain();

  double* p_;
  double* s_;
  wetting_front_table& fr_;
  double T_, P_, u_;
  int dt_;
  // Working values.
  double z0_ = 0.0, zw_ = 0.0, zw0_ = 0.0, dd_ = 0.0, dw_ = 0.0, t_ = 0.0, D_ = 0.0, Ls_ = 0.0;
  double zf_ = 0.0, Wl_ = 0.0, Q_ = 0.0, a_ = 0.0, k_ = 0.0;
  int m_ = 0, N_ = 0;
  double cap_change_ = 0.0;
};

void pack_step::start() {
  if (s_[pack_status::restart] == 0.0) {
    z0_ = depth();
    zw_ = zw0_ = dd_ = dw_ = zf_ = Wl_ = Ls_ = Q_ = 0.0;
    m_ = N_ = 0;
    t_ = 0.0;
    p_[pack_field::permeability] = 0.0;
    D_ = T_;
    return;
  }
  z0_ = s_[1];
  depth() = s_[2];
  rho() = s_[3];
  zw_ = s_[4];
  zw0_ = s_[5];
  dd_ = s_[6];
  dw_ = s_[7];
  t_ = s_[8];
  D_ = s_[9];
  phi() = s_[10];
  f() = s_[11];
  water() = s_[12];
  Ls_ = s_[13];
  m_ = static_cast<int>(s_[14]);
  N_ = std::clamp(static_cast<int>(s_[15]), 0, wetting_front_table::capacity);
  p_[pack_field::exponent] = s_[16];
  zf_ = s_[17];
  Wl_ = s_[18];
  Q_ = 0.0;
}

void pack_step::write_status() {
  const double previous_phi = s_[10];
  s_[1] = z0_;
  s_[2] = depth();
  s_[3] = rho();
  s_[4] = zw_;
  s_[5] = zw0_;
  s_[6] = dd_;
  s_[7] = dw_;
  s_[8] = t_;
  s_[9] = D_;
  const double porosity = phi();
  if (porosity > 0.0 && porosity <= 1.0)
    s_[10] = porosity;
  else if (!(previous_phi > 0.0 && previous_phi <= 1.0))
    s_[10] = 0.67;
  s_[11] = f();
  s_[12] = water();
  s_[13] = Ls_;
  s_[14] = m_;
  s_[15] = N_;
  s_[16] = n();
  s_[17] = zf_;
  s_[18] = Wl_;
  s_[19] = Q_;
  s_[20] = p_[pack_field::permeability];
  s_[pack_status::restart] = 1.0;
  s_[22] = p_[pack_field::permeability_copy];
}

void pack_step::grains_and_permeability() {
  a_ = 0.0;
  k_ = 0.0;
  if (rho() == 0.0)
    rho() = 0.3;
  else if (rho() > 1.0)
    rho() = 1.0;
  const double z = depth();
  if (zw_ > zw0_) {
    dw_ = (zw0_ * dw_ + (zw_ - zw0_) * dd_) / zw_;
    if (z0_ < z && zw_ < z) dd_ = ((z0_ - zw_) * dd_ + (z - z0_) * new_snow_grain) / (z - zw_);
  } else if (zw0_ > zw_ && zw_ < z) {
    if (z <= z0_)
      dd_ = ((zw0_ - zw_) * dw_ + (z - zw0_) * dd_) / (z - zw_);
    else
      dd_ = ((z0_ - zw0_) * dd_ + (z - z0_) * new_snow_grain + (zw0_ - zw_) * dw_) / (z - zw_);
  } else if (zw_ == zw0_ && z0_ < z && zw_ < z) {
    dd_ = ((z0_ - zw_) * dd_ + (z - z0_) * new_snow_grain) / (z - zw_);
  }
  if (z <= zw_) dd_ = new_snow_grain;
  z0_ = z;
  zw0_ = zw_;
  dd_ += dt_ * 1.25e-11;
  const double wetness = 100.0 * f() / rho();
  dw_ += dt_ * (1.25e-11 + (wetness > 0.0 ? 4.22e-13 * wetness * wetness * wetness : 0.0));
  double d = grain_diameter;
  if (z > 0.0 && ((z - zw_) * dd_ + zw_ * dw_) / z == 0.0) d = 0.0;
  k_ = (7.8 * rho() > 50.0 || d == 0.0) ? 0.0 : 0.077 * d * d * std::exp(-7.8 * rho());
  const double N = n();
  if (N != 0.0) a_ = std::pow(54700.0, 1.0 / N) * N * (k_ > 0.0 && phi() != 0.0 ? std::pow(k_, 1.0 / N) / phi() : 0.0);
  p_[pack_field::permeability] = k_;
  p_[pack_field::permeability_copy] = k_;
}

double pack_step::density(density_case c, double amount) {
  double change = 0.0;
  double& z = depth();
  double& W = water();
  switch (c) {
    case density_case::compaction: {
      if (z <= 0.0) break;
      const double r = rho();
      const double rho_d = std::min(0.1, 1.15 * r);
      const double C3 = r > rho_d ? std::exp(-46.0 * (r - rho_d)) : 1.0;
      const double C5 = std::min(1.0 + zw_ / z, 2.0);
      // Anderson's compaction laws take the cold of the snow, 273.15 K less
      // its temperature: colder snow is stiffer and settles more slowly,
      // both by destructive metamorphism (CR1) and under its own weight
      // (CR2, the overburden over a viscosity that grows with the cold and
      // the density). Snow is never warmer than 0 C.
      const double cold = std::max(-T_, 0.0);
      double CR1 = 0.04 * cold >= 50.0 ? 0.0 : -2.778e-6 * C3 * C5 * std::exp(-0.04 * cold);
      const double e2 = 0.08 * cold + 23.0 * r;
      double CR2 = std::fabs(e2) >= 50.0 ? 0.0 : -(r * z * 0.5 * 981.0) / (9e6 * std::exp(e2));
      // Rates truncated toward zero to whole multiples of 1e-10 /s.
      CR1 = std::trunc(CR1 / 1e-10) * 1e-10;
      CR2 = std::trunc(CR2 / 1e-10) * 1e-10;
      if (CR1 > 0.0) CR1 = 0.0;
      if (CR2 > 0.0) CR2 = 0.0;
      const double CR = CR1 + CR2;
      change = z * CR * dt_;
      z = (1.0 + CR * dt_) * z;
      if (z > 0.0) rho() = (W - W * f()) / z;
      if (rho() > 0.55) {
        // The densest settled snow: the pack's water is reset to match.
        rho() = 0.55;
        f() = 0.07;
        const double capped = 0.55 * z / 0.93;
        cap_change_ += capped - W;
        W = capped;
      }
      phi() = (1.0 - rho()) * (1.0 - f());
      break;
    }
    case density_case::snowfall: {
      const double volume = amount / 0.08 + z;
      if (volume > 0.0) rho() = (z * rho() + amount) / volume;
      phi() = (1.0 - f()) * (1.0 - rho());
      change = 12.5 * amount;
      z += 12.5 * amount;
      W += amount;
      break;
    }
    case density_case::rain: Ls_ += amount; break;  // rain standing on the pack adds up
    case density_case::outflow: {
      // The outflow comes from the rain standing on the pack first, then
      // from its water equivalent; it never takes more than the two hold.
      double& Q = Q_;
      if (Q > Ls_ + std::max(W, 0.0)) Q = Ls_ + std::max(W, 0.0);
      if (Ls_ > Q) {
        Ls_ -= Q;
      } else {
        W -= Q - Ls_;
        Ls_ = 0.0;
      }
      if (W <= 0.0) {
        change = -z;
        W = 0.0;
        z = 0.0;
        rho() = 0.0;
      }
      break;
    }
  }
  if (z < 0.0) {
    z = 0.0;
    W = 0.0;
  }
  return change;
}

void pack_step::wet_zone(wet_case c, double X, double Lin) {
  const double z = depth();
  auto wet_depth = [&] {
    const double w = f() > 0.0 ? Wl_ / f() : 0.0;
    zw_ = w > 0.0 ? std::min(w, z) : 0.0;
  };
  switch (c) {
    case wet_case::step: {
      if (z > 0.0) {
        const double r1 = zf_ > 0.0 ? std::min(zf_ / z, 1.0) : 0.0;
        const double Pr = (T_ >= 0.0 && P_ > 0.0) ? P_ : 0.0;
        f() -= dt_ * (1.388888888888889e-9 * T_ + 1.1111111111111112e-5 * Pr + 4.166666666666666e-8 * r1 +
                      4.1666666666666667e-7 * Lin);
        f() = std::clamp(f(), 0.005, 0.1);
        if (z > z0_ && t_ > 1.5 * dt_) f() = std::clamp(((z - z0_) * 0.07 + z0_ * f()) / z, 0.005, 0.1);
        wet_depth();
      } else {
        f() = 0.07;
        Wl_ = 0.0;
        zw_ = 0.0;
      }
      z0_ = z;
      break;
    }
    case wet_case::water_added:
      Wl_ += X;
      wet_depth();
      break;
    case wet_case::frozen: {
      double zw = std::max(zw_ - X, 0.0);
      if (zw + zf_ > z) zw = z - zf_;
      Wl_ = std::max(Wl_ - (zw_ - zw) * f(), 0.0);
      zw_ = zw;
      break;
    }
  }
}

// The water a front released at depth zr still holds since_release seconds
// after its release, once it drains at the base.
double pack_step::water_left(double zr, double since_release) {
  const double N = n();
  if (N == 1.0 || a_ == 0.0 || since_release <= 0.0) return 0.0;
  return (N - 1.0) * power(zr / a_, N / (N - 1.0)) * std::pow(since_release, -1.0 / (N - 1.0));
}

void pack_step::refreeze(double& Lin) {
  const double r = rho();
  const double ks =
      r > 0.0 ? ((1.105e-6 * (1000.0 * r) * (1000.0 * r) + 7.775e-5 * 1000.0 * r) * 2.267 + 0.023) * 0.01 : 0.0045;
  const double z = depth();
  auto freezing = [&] { return !(m_ == 0 && D_ <= 0.0); };
  if (Lin > 0.0) {
    if (zw_ > z) {
      zw_ = z;
      if (freezing()) {
        D_ = 0.0;
        m_ = 0;
        zf_ = 0.0;
      }
      return;
    }
    if (m_ != 0 || D_ > 0.0) {
      // The cold content of the frozen layer takes its heat from the input.
      const double E = Lin * fusion_per_cm;
      const double C = 1.0405 * r * zf_ * D_;
      if (E > C) {
        Lin *= 1.0 - C / E;
        zf_ = 0.0;
        m_ = 0;
        D_ = 0.0;
      } else {
        Lin = 0.0;
        D_ = r * zf_ > 0.0 ? (C - E) * 0.9611 / (r * zf_) : 0.0;
      }
    }
    const double X = z > zw_ ? (z - zw_) * f() : 0.0;
    if (Lin < X) {
      wet_zone(wet_case::water_added, Lin, 0.0);
      Lin = 0.0;
      if (freezing()) {
        const int m_old = m_;
        m_ += 1;
        D_ = (m_old * D_ - T_) / (m_old + 1);
        if (D_ < 0.0) {
          D_ = 0.0;
          m_ = 0;
          zf_ = 0.0;
        }
      }
    } else {
      wet_zone(wet_case::water_added, X, 0.0);
      Lin -= X;
      if (freezing()) {
        D_ = 0.0;
        m_ = 0;
        zf_ = 0.0;
      }
    }
    return;
  }
  if (T_ < 0.0) {
    D_ = (m_ * D_ - T_) / (m_ + 1);
    m_ += 1;
    const double before = zf_;
    const double latent = f() * 333.05;
    if (latent > 0.0) zf_ = std::sqrt(std::max(2.0 * ks * D_ * dt_ * m_ / latent, 0.0));
    if (zf_ > before) wet_zone(wet_case::frozen, zf_ - before, 0.0);
    if (zf_ < z) {
      // Fronts that the freezing front has overtaken are frozen into the pack;
      // the first that survives is cut off where the frozen layer ends.
      for (int k = N_; k >= 1; --k) {
        const double x = std::max(t_ + F(k, 1), 0.0);
        const double p = front_depth(k, x);
        if (zf_ - p - z + F(k, 2) > 0.0) {
          remove_front(k);
          continue;
        }
        const double beyond = F(k, 2) + zf_ - z;
        if (beyond > 0.0) {
          const double N = n();
          const double since = F(k, 1) + t_;
          const double B = power(since > 0.0 ? since : 1.0, 1.0 / (1.0 - N));
          const double V = B * (N - 1.0) * power(beyond / a_, N / (N - 1.0));
          if (V > 0.0) F(k, 5) = power(F(k, 2) / a_, N) * power((N - 1.0) / V, N - 1.0);
          if (F(k, 5) != no_end && F(k, 4) > F(k, 5)) remove_front(k);
        }
        break;
      }
    } else {
      N_ = 0;
    }
    Lin = 0.0;
    return;
  }
  Lin = 0.0;
}

double pack_step::front_depth(int k, double x) {
  if (x <= 0.0) return 0.0;
  const double N = n();
  if (N == 1.0) return 0.0;
  const double c = F(k, 3) / (N - 1.0);
  const double lone = a_ * power(c, 1.0 - 1.0 / N) * std::pow(x, 1.0 / N);
  if (k == 1) return lone;
  const double s = F(k - 1, 1) - F(k, 1);
  const double e = F(k - 1, 5);
  if (e == no_end) {
    if (!(s > 0.0)) return depth();
    const double behind = power(1.0 - power(x / (s + x), 1.0 / (N - 1.0)), 1.0 / N - 1.0) * lone;
    if (0.99 * lone > behind) numerical_check_failed();
    return behind;
  }
  // Behind a front whose drainage ends at e: the water that front still held
  // then.
  const double V = water_left(F(k - 1, 2), e);
  const double Wk = F(k, 3);
  const double bracket = V > 0.0 ? std::pow(Wk / V, N - 1.0) - 1.0 : 0.0;
  const double q = bracket != 0.0 ? s / bracket : 0.0;
  if (x >= q && Wk >= V) {
    if (s == 0.0) return depth();
    return power(1.0 - power(x / (s + x), 1.0 / (N - 1.0)), 1.0 / N - 1.0) * a_ *
           power((Wk - V) / (N - 1.0), 1.0 - 1.0 / N) * std::pow(x, 1.0 / N);
  }
  return lone;
}

// d(depth)/dx of a front s seconds behind the one below it, at depth p.
double pack_step::newton_slope(double x, double s, double p) {
  const double N = n();
  if (x <= 0.0 || s + x == 0.0 || N == 1.0) return 0.0;
  const double u = std::pow(x, 1.0 / (1.0 - N)) - std::pow(s + x, 1.0 / (1.0 - N));
  if (u == 0.0) return 0.0;
  const double du = (std::pow(x, N / (1.0 - N)) - std::pow(s + x, N / (1.0 - N))) / (1.0 - N);
  return (1.0 / N - 1.0) / u * p * du;
}

double pack_step::travel_time(int k, double Wf) {
  const double N = n();
  const double zr = F(k, 2);
  const double T1 = (N == 1.0 || Wf <= 0.0 || zr <= 0.0 || a_ == 0.0) ? 0.0 : lone_front_travel_time(Wf, zr, N, a_);
  if (k == 1) return T1;
  const double s = F(k - 1, 1) - F(k, 1);
  const double e = F(k - 1, 5);
  const double tol = 0.005 * zr;
  double x = dt_ / 2.0;
  if (e == no_end) {
    double p = front_depth(k, x);
    int j = 0, it = 0;
    for (; it < 1000 && std::fabs(p - zr) >= tol; ++it) {
      const double slope = newton_slope(x, s, p);
      if (slope != 0.0) x -= (p - zr) / slope;
      if (x < 0.0) x = dt_ * std::pow(4.0, --j);
      p = front_depth(k, x);
    }
    if (it >= 1000) numerical_check_failed();
    if (x > T1) numerical_check_failed();
    return x;
  }
  if (e - F(k - 1, 1) <= T1 - F(k, 1)) return T1;
  const double V = water_left(F(k - 1, 2), e);
  auto depth_at = [&](double at) {
    if (at <= 0.0) return 0.0;
    double p = power(Wf / (N - 1.0), 1.0 - 1.0 / N) * a_ * std::pow(at, 1.0 / N);
    if (Wf > V && p > power(V / (N - 1.0), 1.0 - 1.0 / N) * a_ * power(s + at, 1.0 / N))
      p = power(1.0 - power(at / (s + at), 1.0 / (N - 1.0)), 1.0 / N - 1.0) *
          power((Wf - V) / (N - 1.0), 1.0 - 1.0 / N) * a_ * std::pow(at, 1.0 / N);
    return p;
  };
  double p = depth_at(x);
  int j = 0, it = 0;
  for (; it < 100 && std::fabs(p - zr) >= tol; ++it) {
    const double slope = newton_slope(x, s, p);
    if (slope != 0.0) x -= (p - zr) / slope;
    if (x < 0.0) x = dt_ * std::pow(2.0, --j);
    p = depth_at(x);
  }
  if (it >= 100) numerical_check_failed();
  if (x > T1) numerical_check_failed();
  return x;
}

void pack_step::remove_front(int k) {
  if (k <= N_) {
    for (int r = k; r < N_; ++r)
      for (int field = 1; field <= 5; ++field) F(r, field) = F(r + 1, field);
    for (int field = 1; field <= 5; ++field) F(N_, field) = 0.0;
  }
  if (N_ > 0) N_ -= 1;
}

// Front k2 joins front k1 below it.
void pack_step::merge_behind(int k1, int k2) {
  F(k1, 1) = F(k2, 1);
  F(k1, 2) = F(k2, 2);
  const double Wf = F(k1, 3) + F(k2, 3);
  F(k1, 3) = F(k1, 5) != no_end ? std::max(Wf - water_left(F(k1, 2), F(k1, 5)), 0.0) : Wf;
  F(k1, 5) = F(k2, 5);
  remove_front(k2);
  F(k1, 4) = F(k1, 2) > 0.0 && F(k1, 3) > 0.0 ? travel_time(k1, F(k1, 3)) : 0.0;
}

// Front 1, draining at the base, joins front 2 at time t.
void pack_step::merge_drained(double t) {
  double R = water_left(F(1, 2), F(1, 1) + t);
  if (F(1, 5) != no_end) R -= water_left(F(1, 2), F(1, 5));
  R = std::max(R, 0.0);
  F(1, 1) = F(2, 1);
  F(1, 2) = F(2, 2);
  F(1, 5) = F(2, 5);
  F(1, 3) = R + F(2, 3);
  F(1, 4) = t + F(1, 1);
  remove_front(2);
}

void pack_step::reorder_fronts() {
  while (N_ > 1 && arrival(N_ - 1) > arrival(N_)) merge_behind(N_ - 1, N_);
}

void pack_step::add_front(double Lin) {
  if (N_ >= wetting_front_table::capacity) {
    // A full table: the input joins the newest front.
    F(N_, 3) += Lin;
    F(N_, 4) = depth() > 0.0 ? travel_time(N_, F(N_, 3)) : 0.0;
    reorder_fronts();
    return;
  }
  N_ += 1;
  F(N_, 1) = -t_;
  F(N_, 2) = depth();
  F(N_, 3) = Lin;
  F(N_, 5) = no_end;
  F(N_, 4) = depth() > 0.0 ? travel_time(N_, Lin) : 0.0;
  if (N_ > 1) reorder_fronts();
}

void pack_step::surface_input() {
  const double H = u_ == 10000.0 ? 10.0 * T_ : (6.0 * u_ + 1.8) * T_;
  if (p_[pack_field::given_depth] > 0.0) {
    depth() = p_[pack_field::given_depth];
    water() = p_[pack_field::given_depth] * rho();
  } else {
    density(density_case::compaction, 0.0);
  }
  double Lin = depth() > 0.0 ? dt_ * H / fusion_per_cm : 0.0;
  if (T_ >= 0.0) {
    Lin += (T_ / 80.0 + 1.0) * P_;
    density(density_case::rain, P_);
  } else {
    density(density_case::snowfall, P_);
  }
  refreeze(Lin);
  wet_zone(wet_case::step, 0.0, Lin);
  if (Lin > 0.0001)
    add_front(Lin);
  else if (Lin > 0.0 && N_ >= 2)
    F(N_ - 1, 3) += Lin;
}

void pack_step::drain() {
  const double N = n();
  const double te = t_ + dt_;
  double Q = 0.0;
  auto released = [&](double zr, double tr, double t1, double t2) {
    if (t2 <= t1 || N == 1.0 || a_ == 0.0) return 0.0;
    const double C = power(zr / a_, N / (N - 1.0));
    const double s2 = t2 - tr > 0.0 ? t2 - tr : 1.0;
    const double s1 = t1 - tr > 0.0 ? t1 - tr : 1.0;
    return C * (1.0 - N) * (std::pow(s2, 1.0 / (1.0 - N)) - std::pow(s1, 1.0 / (1.0 - N)));
  };
  if (N_ > 0 && depth() > 0.0) {
    int M = 0;
    for (int k = 1; k <= N_; ++k)
      if (arrival(k) < te) ++M;
    double c = t_;
    for (int i = 1; i <= M && c < te && N_ > 0; ++i) {
      const double tr = -F(1, 1);
      const bool ends = F(1, 5) != no_end;
      const double end = tr + F(1, 5);
      const double t1 = std::max(c, arrival(1));
      const double zr = F(1, 2);
      double t2;
      if (i == M || N_ < 2) {
        if (!ends || end > te) {
          t2 = te;
          Q += released(zr, tr, t1, t2);
        } else {
          t2 = end;
          Q += released(zr, tr, t1, t2);
          remove_front(1);
        }
      } else {
        const double A2 = arrival(2);
        if (!ends || end > A2) {
          t2 = A2;
          Q += released(zr, tr, t1, t2);
          merge_drained(t2);
        } else {
          t2 = end;
          Q += released(zr, tr, t1, t2);
          remove_front(1);
        }
      }
      c = t2;
    }
  } else if (N_ > 0) {
    for (int k = 1; k <= N_; ++k) {
      const double tr = -F(k, 1);
      Q += arrival(k) <= t_ ? water_left(F(k, 2), t_ - tr) : F(k, 3);
    }
    N_ = 0;
  }
  Q_ = Q;
  if (Q_ > 0.0) density(density_case::outflow, Q_);
}

snowpack_result pack_step::run() {
  start();
  if (depth() == 0.0) {
    N_ = 0;
    t_ = 0.0;
  }
  t_ += dt_;
  grains_and_permeability();
  surface_input();
  drain();
  if (depth() < 0.1) {
    depth() = 0.0;
    rho() = 0.0;
  }
  write_status();
  return {Q_, cap_change_};
}

}  // namespace

double lone_front_travel_time(double Wf, double zr, double n, double a) {
  return std::pow((n - 1.0) / Wf, n - 1.0) * std::pow(zr / a, n);
}

double kinematic_coefficient(double rho, double phi, double n) {
  const double k = 0.077 * grain_diameter * grain_diameter * std::exp(-7.8 * rho);
  return std::pow(54700.0, 1.0 / n) * n * std::pow(k, 1.0 / n) / phi;
}

snowpack_result snow_layers_step(double* pack, double* status, wetting_front_table& fronts,
                                 const snowpack_weather& weather) {
  return pack_step(pack, status, fronts, weather).run();
}

}  // namespace nivra
