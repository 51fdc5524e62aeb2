#include "quality/contaminant/channel_quality.h"

#include <algorithm>
#include <cmath>

#include "channel/channel_state.h"
#include "quality/contaminant/constituent_kernels.h"

namespace nivra {

bool chan_wq_routed_link(int ltype) {
  if (ltype & (link_type::lake | link_type::structure)) return false;
  if ((ltype & link_type::channel) && (ltype & link_type::captured)) return false;
  return true;
}

// ---------------------------------------------------------------- decay
void chan_contam_decay(const chan_decay_domain& d, double dt) {
  const chan_wq_network& net = *d.net;
  for (int l = net.num_links; l >= 1; --l) {
    const int t = net.ltype[l];
    if (t & link_type::lake) {
      const int n = net.lake_of_link[l];
      if (n >= 1) d.lake_decay_mass[n] += d.lake_conc[n] * d.lake_volume[n] * decay_share(d.lake_decay_coef, dt);
      continue;
    }
    if (!chan_wq_routed_link(t)) continue;
    const double dx = net.link_dx[l];
    for (int k = net.nx[l]; k >= 1; --k) {
      const int i = net.at(l, k);
      const double a = std::min(d.area[i], d.area_old[i]) * dx;
      if (a >= 1e-16) d.decay_mass[i] += a * d.conc[i] * decay_share(d.decay_coef[i], dt);
    }
  }
}

// ---------------------------------------------------------------- aquifer
double stream_aquifer_constituent_exchange(const stream_aquifer_mass_domain& d) {
  const bool table = d.gw_conc.data() != nullptr;
  double gained = 0.0;
  for (const stream_cell_exchange& e : *d.entries) {
    const double c = e.volume >= 0.0 ? (table ? d.gw_conc[e.cell] : 0.0) : d.conc[e.flat_node];
    d.gw_mass[e.flat_node] += e.volume * c;
    if (e.volume > 0.0) gained += e.volume * c;
  }
  return gained;
}

void stream_loss_constituent_exchange(const stream_loss_mass_domain& d) {
  const chan_wq_network& net = *d.net;
  for (int l = 1; l <= net.num_links; ++l) {
    if (!chan_wq_routed_link(net.ltype[l])) continue;
    for (int k = 1; k <= net.nx[l]; ++k) {
      const int i = net.at(l, k);
      d.gw_mass[i] += d.bed_volume[i] * d.conc[i];
    }
  }
}

// ---------------------------------------------------------------- node sources
namespace {

// The part of an amount gathered over `interval` seconds that is due over dt:
// a share when the interval is longer than the step, else the whole amount.
// The amount and its interval keep what is left.
double take_share(double& amount, double& interval, double dt, double tol) {
  if (interval > 0.0 && dt < interval && std::fabs(dt - interval) > tol) {
    const double s = amount * dt / interval;
    return s;
  }
  return amount;
}

void leave(double& amount, double& interval, double taken, double dt, double tol) {
  const bool share = interval > 0.0 && dt < interval && std::fabs(dt - interval) > tol;
  amount -= taken;
  if (share) {
    interval -= dt;
  } else {
    amount = 0.0;
    interval = 0.0;
  }
}

}  // namespace

chan_node_source chan_contam_node_conc(chan_node_accumulators& acc, double m, double dt, double tol) {
  chan_node_source s;
  double held = std::max(m, 0.0);
  // Point sources: taken whole; a withdrawal is cut to the mass present.
  s.point = acc.point;
  if (s.point < -held) s.point = -held;
  acc.point -= s.point;
  held += s.point;
  // Lateral inflow from the cells.
  s.lateral = take_share(acc.lateral, acc.lateral_interval, dt, tol);
  if (s.lateral < -held) s.lateral = -held;
  leave(acc.lateral, acc.lateral_interval, s.lateral, dt, tol);
  held += s.lateral;
  // The aquifer.
  s.aquifer = take_share(acc.aquifer, acc.aquifer_interval, dt, tol);
  if (s.aquifer < -held) s.aquifer = -held;
  leave(acc.aquifer, acc.aquifer_interval, s.aquifer, dt, tol);
  held += s.aquifer;
  // Decay.
  s.decay = take_share(acc.decay, acc.decay_interval, dt, tol);
  if (s.decay > held) s.decay = held;
  if (s.decay < 0.0) s.decay = 0.0;
  leave(acc.decay, acc.decay_interval, s.decay, dt, tol);
  held -= s.decay;
  // Nutrient kinetics.
  double k = take_share(acc.kinetics, acc.kinetics_interval, dt, tol);
  if (k < -held) k = -held;
  leave(acc.kinetics, acc.kinetics_interval, k, dt, tol);
  held += k;
  if (k >= 0.0) s.kinetics_in = k; else s.kinetics_out = -k;
  s.rate = (s.point + s.lateral + s.aquifer - s.decay + k) / dt;
  return s;
}

double lake_gw_contam_exchange(const lake_aquifer_mass_domain& d) {
  const bool table = d.gw_conc.data() != nullptr;
  double gained = 0.0;
  for (const lake_cell_exchange& e : *d.entries) {
    const double c = e.volume >= 0.0 ? (table ? d.gw_conc[e.cell] : 0.0) : d.lake_conc[e.lake];
    d.lake_gw_mass[e.lake] += e.volume * c;
    if (e.volume > 0.0) gained += e.volume * c;
  }
  return gained;
}

void lake_precip_constituent(row_view<const double> rain_volume, double precip_conc, row_view<double> precip_mass,
                             int lakes) {
  for (int n = 1; n <= lakes; ++n) precip_mass[n] += rain_volume[n] * precip_conc;
}

// ---------------------------------------------------------------- routing
const char* const chan_wq_small_step_message =
    "The channel water quality routing time step is getting really small\n"
    "less than 1/100 of a second\n"
    "Program stopped.\n";

void chan_wq_router::prepare(const chan_wq_network& net) {
  flat_size_ = net.flat_size();
  entities_ = flat_size_ + net.num_lakes + 1;
  faces_.clear();
  active_.clear();
  dx_of_.assign(static_cast<std::size_t>(entities_), 0.0);
  // The entity that receives what leaves link l at its downstream end, -1
  // the outside; `direct` is false when the water passes a structure or a
  // taken link on the way (no dispersion across it).
  auto target_of = [&](int l, bool& direct) {
    direct = true;
    int d = net.dslink[l];
    for (int hops = 0; d != 0 && hops <= net.num_links; ++hops) {
      const int t = net.ltype[d];
      if (t & link_type::lake) return net.lake_of_link[d] >= 1 ? lake_entity(net.lake_of_link[d]) : -1;
      if (chan_wq_routed_link(t)) return net.nx[d] >= 1 ? net.at(d, 1) : -1;
      direct = false;
      d = net.dslink[d];
    }
    return -1;
  };
  for (int l = 1; l <= net.num_links; ++l) {
    const int t = net.ltype[l];
    if (t & link_type::lake) {
      const int n = net.lake_of_link[l];
      if (n < 1) continue;
      bool direct = true;
      faces_.push_back({lake_entity(n), target_of(l, direct), -n, 0.0});
      active_.push_back(lake_entity(n));
      continue;
    }
    if (!chan_wq_routed_link(t)) continue;
    const double dx = net.link_dx[l];
    for (int k = 1; k <= net.nx[l]; ++k) {
      const int i = net.at(l, k);
      active_.push_back(i);
      dx_of_[static_cast<std::size_t>(i)] = dx;
      if (k < net.nx[l]) {
        faces_.push_back({i, i + 1, i, dx});
      } else {
        bool direct = true;
        const int to = target_of(l, direct);
        faces_.push_back({i, to, i, (direct && to >= 0 && to < flat_size_) ? dx : 0.0});
      }
    }
  }
  const std::size_t n = static_cast<std::size_t>(entities_);
  for (auto* v : {&m0_, &c0_, &m_, &c_, &citer_, &vol_end_, &out_term_, &cond_term_, &taken_}) v->assign(n, 0.0);
  adv_.assign(faces_.size(), 0.0);
  sinks_.clear();
  sinks_.reserve(active_.size());
}

double chan_wq_router::withdrawn(const chan_wq_domain& d, int e) const {
  if (e >= flat_size_) {
    const int n = e - flat_size_;
    return d.lake_withdrawn.data() && n <= d.lake_withdrawn.size() ? d.lake_withdrawn[n] : 0.0;
  }
  return d.withdrawn.data() && e <= d.withdrawn.size() ? d.withdrawn[e] : 0.0;
}

double chan_wq_router::entity_volume(const chan_wq_domain& d, int e, double t) const {
  const double w = d.dt > 0.0 ? t / d.dt : 1.0;
  if (e >= flat_size_) {
    const int n = e - flat_size_;
    return d.lake_volume_old[n] + (d.lake_volume[n] - d.lake_volume_old[n]) * w;
  }
  const double a = d.area_old[e] + (d.area[e] - d.area_old[e]) * w;
  return a * dx_of_[static_cast<std::size_t>(e)];
}

double chan_wq_router::face_vol(const chan_wq_domain& d, const face& f) const {
  return f.volume_at >= 0 ? d.face_volume[f.volume_at] : d.lake_outflow[-f.volume_at];
}

namespace {
// Conductance of dispersion across a face between two nodes, m3/s per g/m3
// of difference: the smaller of the two nodes' area times coefficient over
// the spacing; none when either node is dry.
double face_conductance(const chan_wq_domain& d, int a, int b, double dx, double w) {
  if (dx <= 0.0) return 0.0;
  const double aa = d.area_old[a] + (d.area[a] - d.area_old[a]) * w;
  const double ab = d.area_old[b] + (d.area[b] - d.area_old[b]) * w;
  if (aa <= 0.0 || ab <= 0.0) return 0.0;
  return std::min(aa * d.disp[a], ab * d.disp[b]) / dx;
}
}  // namespace

// The largest Courant-type ratio of a sub-step of h seconds from time t:
// the water (and dispersive exchange) leaving each node or lake over h
// against the least water it holds over the sub-step. A node that passes
// water but holds almost none gives 5.0, which cuts the sub-step to its
// floor.
double chan_wq_router::largest_ratio(const chan_wq_domain& d, double t, double h) {
  const double w = d.dt > 0.0 ? (t + h) / d.dt : 1.0;
  for (int e : active_) {
    out_term_[static_cast<std::size_t>(e)] = 0.0;
  }
  for (const face& f : faces_) {
    const double v = face_vol(d, f);
    if (v > 1e-16) out_term_[static_cast<std::size_t>(f.from)] += v;
    else if (v < -1e-16 && f.to >= 0) out_term_[static_cast<std::size_t>(f.to)] -= v;
    if (f.to >= 0 && f.to < flat_size_) {
      const double g = face_conductance(d, f.from, f.to, f.dx, w) * d.dt;
      out_term_[static_cast<std::size_t>(f.from)] += g;
      out_term_[static_cast<std::size_t>(f.to)] += g;
    }
  }
  for (int e : sinks_) out_term_[static_cast<std::size_t>(e)] += withdrawn(d, e);
  double qmax = 0.0;
  for (int e : active_) {
    const double out = out_term_[static_cast<std::size_t>(e)];
    if (out <= 1e-16) continue;
    const double v0 = entity_volume(d, e, t), v1 = entity_volume(d, e, t + h);
    const double least = std::min(v0, v1), most = std::max(v0, v1);
    double q = h * out / d.dt;
    if (least > 1e-6) q /= least;
    else if (most > 1e-6) q = 5.0;
    else q = 0.0;
    qmax = std::max(qmax, q);
  }
  return qmax;
}

// One pass of the sub-step [t, t + h]: face fluxes from the concentrations
// of the last pass (the committed ones on the first), then every node's and
// lake's mass and concentration at the end of the sub-step. Each face's mass
// leaves one entity and enters the other, so the passes move mass without
// making or losing any.
void chan_wq_router::pass(const chan_wq_domain& d, double t, double h, bool first) {
  const double w = d.dt > 0.0 ? (t + h) / d.dt : 1.0;
  const double hf = h / d.dt;
  if (first) {
    for (int e : active_) citer_[static_cast<std::size_t>(e)] = c0_[static_cast<std::size_t>(e)];
  }
  for (int e : active_) {
    const std::size_t i = static_cast<std::size_t>(e);
    const double s = e >= flat_size_ ? d.lake_source[e - flat_size_] : d.source[e];
    m_[i] = m0_[i] + h * s;
  }
  for (std::size_t j = 0; j < faces_.size(); ++j) {
    const face& f = faces_[j];
    const double v = face_vol(d, f);
    double flux = 0.0;
    if (v > 1e-16) flux = v * hf * citer_[static_cast<std::size_t>(f.from)];
    else if (v < -1e-16 && f.to >= 0) flux = v * hf * citer_[static_cast<std::size_t>(f.to)];
    if (f.to >= 0 && f.to < flat_size_) {
      const double g = face_conductance(d, f.from, f.to, f.dx, w);
      flux += g * h * (citer_[static_cast<std::size_t>(f.from)] - citer_[static_cast<std::size_t>(f.to)]);
    }
    adv_[j] = flux;
    m_[static_cast<std::size_t>(f.from)] -= flux;
    if (f.to >= 0) m_[static_cast<std::size_t>(f.to)] += flux;
  }
  // The point sinks take their share of the water the node would hold at
  // the end of the sub-step without them, and that share of its mass.
  for (int e : sinks_) {
    const std::size_t i = static_cast<std::size_t>(e);
    const double drawn = withdrawn(d, e) * hf, held = drawn + vol_end_[i];
    taken_[i] = m_[i] > 0.0 && held > 1e-16 ? m_[i] * (drawn / held) : 0.0;
    m_[i] -= taken_[i];
  }
  for (int e : active_) {
    const std::size_t i = static_cast<std::size_t>(e);
    const double v = vol_end_[i];
    // A node without water keeps what mass it has, unmoved, until water
    // returns to carry it.
    c_[i] = v > 1e-16 ? m_[i] / v : 0.0;
  }
}

chan_wq_result chan_wq_router::route(const chan_wq_domain& d) {
  chan_wq_result res;
  res.smallest_substep = d.dt;
  for (int e : active_) {
    const std::size_t i = static_cast<std::size_t>(e);
    if (e >= flat_size_) {
      m0_[i] = d.lake_mass[e - flat_size_];
      c0_[i] = d.lake_conc[e - flat_size_];
    } else {
      m0_[i] = d.mass[e];
      c0_[i] = d.conc[e];
    }
  }
  sinks_.clear();
  for (int e : active_)
    if (withdrawn(d, e) > 0.0) sinks_.push_back(e);
  double t = 0.0;  // time routed
  double h = d.dt;
  while (d.dt - t > 1e-9 * std::max(1.0, d.dt)) {
    const double left = d.dt - t;
    const double q = largest_ratio(d, t, std::min(h, left));
    if (q > max_ratio && h > min_courant_substep) h = std::max(h * max_ratio / q, min_courant_substep);
    const bool last = h >= left;
    const double step = last ? left : h;
    for (int e : active_) vol_end_[static_cast<std::size_t>(e)] = entity_volume(d, e, t + step);
    bool converged = false;
    for (int p = 0; p < max_passes && !converged; ++p) {
      pass(d, t, step, p == 0);
      double change = 0.0;
      for (int e : active_) {
        const std::size_t i = static_cast<std::size_t>(e);
        change = std::max(change, std::fabs(c_[i] - citer_[i]) / std::max(1.0, std::fabs(c_[i])));
        citer_[i] = c_[i];
      }
      converged = change <= pass_tolerance;
    }
    bool negative = false;
    for (int e : active_) negative = negative || !(c_[static_cast<std::size_t>(e)] >= -negative_tolerance);
    if (negative) {
      // The sub-step is discarded: the committed state and the time left
      // stay as they were before it, and it is tried again at half length.
      ++res.rejected;
      h = 0.5 * step;
      if (h < min_substep) {
        res.status = 1;
        break;
      }
      continue;
    }
    for (int e : active_) {
      const std::size_t i = static_cast<std::size_t>(e);
      m0_[i] = m_[i];
      c0_[i] = c_[i];
      const double s = e >= flat_size_ ? d.lake_source[e - flat_size_] : d.source[e];
      res.source_mass += step * s;
    }
    for (int e : sinks_) {
      const double m = taken_[static_cast<std::size_t>(e)];
      if (e >= flat_size_) res.lake_withdrawn_mass += m;
      else res.withdrawn_mass += m;
    }
    for (std::size_t j = 0; j < faces_.size(); ++j) {
      const face& f = faces_[j];
      if (f.to < 0) res.outlet_mass += adv_[j];
      else if (f.to >= flat_size_) res.lake_in_mass += adv_[j];
      if (f.from >= flat_size_) res.lake_out_mass += adv_[j];
    }
    ++res.substeps;
    if (!converged) ++res.unconverged;
    res.smallest_substep = std::min(res.smallest_substep, step);
    t = last ? d.dt : t + step;
    if (!converged && h > min_courant_substep) h *= 0.5;
    if (last) break;
  }
  res.routed_time = t;
  for (int e : active_) {
    const std::size_t i = static_cast<std::size_t>(e);
    if (e >= flat_size_) {
      d.lake_mass[e - flat_size_] = m0_[i];
      d.lake_conc[e - flat_size_] = c0_[i];
    } else {
      d.mass[e] = m0_[i];
      d.conc[e] = c0_[i];
    }
  }
  return res;
}


chan_wq_result chan_wq_router::step(const chan_wq_step_domain& s, chan_wq_books& books) {
  const chan_wq_domain& d = s.water;
  for (int e : active_) {
    if (e >= flat_size_) {
      const int n = e - flat_size_;
      const chan_node_source t =
          chan_contam_node_conc((*s.lakes)[static_cast<std::size_t>(n)], d.lake_mass[n], d.dt, s.tol);
      s.lake_source[n] = t.rate;
      books.lake_rain += t.point;
      books.lake_overland += t.lateral;
      books.lake_aquifer += t.aquifer;
      books.lake_decay += t.decay;
      books.kinetics_in += t.kinetics_in;
      books.kinetics_out += t.kinetics_out;
    } else {
      const chan_node_source t = chan_contam_node_conc((*s.nodes)[static_cast<std::size_t>(e)], d.mass[e], d.dt, s.tol);
      s.source[e] = t.rate;
      books.point += t.point;
      books.lateral += t.lateral;
      books.aquifer += t.aquifer;
      books.decay += t.decay;
      books.kinetics_in += t.kinetics_in;
      books.kinetics_out += t.kinetics_out;
    }
  }
  const chan_wq_result r = route(d);
  books.outlet += r.outlet_mass;
  books.lake_in += r.lake_in_mass;
  books.lake_out += r.lake_out_mass;
  books.withdrawn += r.withdrawn_mass;
  books.lake_withdrawn += r.lake_withdrawn_mass;
  return r;
}

}  // namespace nivra
