// The soil hydraulic functions of the Richards columns.
#include <algorithm>
#include <cmath>

#include "soil/richards.h"

namespace nivra {

richards_node brooks_corey_node(double ks, double theta_s, double theta_r, double lambda, double hb) {
  richards_node s;
  s.ks = ks;
  s.theta_s = theta_s;
  s.theta_r = theta_r;
  s.lambda = lambda;
  s.hb = -std::fabs(hb);
  // The parabola meets the power law with the same slope where
  // lambda Se = 2 (1 - Se).
  s.se_b = 2.0 / (2.0 + lambda);
  s.theta_b = theta_r + (theta_s - theta_r) * s.se_b;
  s.h_b = s.hb * std::pow(s.se_b, -1.0 / lambda);
  s.q_scale = std::sqrt(1.0 - s.se_b) / s.h_b;
  s.inv_lambda = 1.0 / lambda;
  s.k_exp = -3.0 * lambda - 2.0;
  s.cap_exp = 3.0 + 2.0 / lambda;
  s.c_exp = -(lambda + 1.0);
  s.c_factor = -(lambda / s.hb) * (theta_s - theta_r);
  return s;
}

richards_node haverkamp_node(double ks, double theta_s, double theta_r, double a, double n, double A, double B) {
  richards_node s;
  s.ks = ks;
  s.theta_s = theta_s;
  s.theta_r = theta_r;
  s.a = a;
  s.n = n;
  s.A = A;
  s.B = B;
  return s;
}

double moisture_from_head(const richards_node& s, int model, double h) {
  if (h >= 0.0) return s.theta_s;
  const double span = s.theta_s - s.theta_r;
  if (model == retention_haverkamp) return s.theta_r + span / (std::pow(-h / s.a, s.n) + 1.0);
  if (h <= s.h_b) return s.theta_r + span * std::exp(-s.lambda * std::log(h / s.hb));
  const double q = s.q_scale * h;
  return s.theta_r + span * (1.0 - q * q);
}

double head_from_moisture(const richards_node& s, int model, double theta, double h) {
  const double span = s.theta_s - s.theta_r;
  const double se = span > 0.0 ? (theta - s.theta_r) / span : 1.0;
  if (!(se > 0.0)) return h;
  if (se >= 1.0) return 0.0;
  if (model == retention_haverkamp) return -std::pow(1.0 / se - 1.0, 1.0 / s.n) * s.a;
  if (theta > s.theta_b) return std::sqrt(1.0 - se) / s.q_scale;
  return s.hb * std::exp(-s.inv_lambda * std::log(se));
}

conductivity_capacity conductivity_and_capacity(const richards_node& s, int model, double h, double theta) {
  conductivity_capacity r;
  if (h >= 0.0) {
    r.kr = 1.0;
    return r;
  }
  const double span = s.theta_s - s.theta_r;
  if (model == retention_haverkamp) {
    const double x = -h / s.a;
    const double xn = std::pow(x, s.n);
    r.kr = s.A / (s.A + std::pow(-h, s.B));
    r.c = span * (s.n / s.a) * (xn / x) / ((xn + 1.0) * (xn + 1.0));
    return r;
  }
  if (h <= s.h_b) {
    const double log_ratio = std::log(h / s.hb);  // h / hb at least 1
    r.kr = std::exp(s.k_exp * log_ratio);
    r.c = s.c_factor * std::exp(s.c_exp * log_ratio);
    return r;
  }
  const double se = span > 0.0 ? std::clamp((theta - s.theta_r) / span, 0.0, 1.0) : 1.0;
  r.kr = se > 0.0 ? std::exp(s.cap_exp * std::log(se)) : 0.0;
  r.c = -2.0 * h * span * s.q_scale * s.q_scale;
  return r;
}

void richards_columns::alloc(int ncells, int nodes) {
  max_nodes = nodes;
  soil.alloc(ncells, nodes);
  for (array2d<double>* a : {&PHEAD, &KHEAD, &WATCAP, &WATFLUX, &SOURCE}) a->alloc(ncells, nodes);
}

void richards_scheme::prepare(int max_nodes) {
  const std::size_t n = static_cast<std::size_t>(max_nodes) + 2;
  for (std::vector<double>* v : {&KMID, &A, &B, &C, &D, &PHEADOLD, &PHEADPREV, &THETAOLD, &PHEADITER, &THETAITER})
    v->assign(n, 0.0);
  substeps = 0;
  passes = 0;
}

}  // namespace nivra
