#include "channel/channel_wash.h"

#include <algorithm>
#include <cmath>

namespace nivra {

namespace {

constexpr double tiny = 1e-16;

bool has(int type, int bits) { return (type & bits) != 0; }

using target = wash_target;

double lake_conc(const chan_wash_network& net, const chan_wash_store& st, int lake, int j) {
  const double v = (*net.lake_volume)[lake];
  return v > tiny ? st.lake_vol(lake, j) / v : 0.0;
}

// The flux (volume of the step) of every transport node from the state
// (vol, conc): the water volume passing the node times the upwind
// concentration, no more than the upwind node holds.
void fluxes(const chan_wash_network& net, int nf, const chan_wash_store& st, const array2d<double>& vol,
            const array2d<double>& conc, array2d<double>& flux) {
  for (int i = 1; i <= net.links; ++i) {
    if (!wash_transports(net, i)) continue;
    const int n = (*net.nx)[i];
    for (int j = 1; j <= n; ++j) {
      const int f = net.flat(i, j);
      const double qv = (*net.qp_vol)(j, i);
      for (int k = 1; k <= nf; ++k) flux(f, k) = 0.0;
      if (qv > tiny) {
        for (int k = 1; k <= nf; ++k) flux(f, k) = std::min(qv * conc(f, k), vol(f, k));
      } else if (qv < -tiny) {
        if (j < n) {
          const int b = net.flat(i, j + 1);
          for (int k = 1; k <= nf; ++k) flux(f, k) = -std::min(-qv * conc(b, k), vol(b, k));
        } else {
          const target t = wash_below_link(net, i);
          if (t.kind == target::node)
            for (int k = 1; k <= nf; ++k) flux(f, k) = -std::min(-qv * conc(t.index, k), vol(t.index, k));
          else if (t.kind == target::lake)
            for (int k = 1; k <= nf; ++k)
              flux(f, k) = -std::min(-qv * lake_conc(net, st, t.index, k), st.lake_vol(t.index, k));
        }
      }
    }
  }
}

// The point sinks' share of every node's and lake's water, and that share
// of its wash load.
void draw_with_point_sinks(const chan_wash_network& net, int nf, chan_wash_store& st) {
  if (!st.drawn_share.empty()) st.drawn_share.fill(0.0);
  if (!st.lake_drawn_share.empty()) st.lake_drawn_share.fill(0.0);
  auto share_of = [](double drawn, double left) {
    return drawn > 0.0 && drawn + std::max(left, 0.0) > tiny ? drawn / (drawn + std::max(left, 0.0)) : 0.0;
  };
  if (net.withdrawn)
    for (int i = 1; i <= net.links; ++i) {
      if (!wash_transports(net, i)) continue;
      for (int j = 1; j <= (*net.nx)[i]; ++j) {
        const int f = net.flat(i, j);
        const double s = share_of((*net.withdrawn)[f], (*net.area)(j, i) * (*net.link_dx)[i]);
        if (s == 0.0) continue;
        st.drawn_share[f] = s;
        for (int k = 1; k <= nf; ++k) {
          const double v = std::max(st.vol(f, k), 0.0) * s;
          st.vol(f, k) -= v;
          st.drawn[k] += v;
          st.drawn[0] += v;
        }
        const double left = (*net.area)(j, i) * (*net.link_dx)[i];
        for (int k = 1; k <= nf; ++k) st.conc(f, k) = left > tiny ? st.vol(f, k) / left : 0.0;
      }
    }
  if (net.lake_withdrawn && net.lake_volume)
    for (int l = 1; l <= st.lake_vol.rows() && l <= net.lake_withdrawn->size(); ++l) {
      const double s = share_of((*net.lake_withdrawn)[l], (*net.lake_volume)[l]);
      if (s == 0.0) continue;
      st.lake_drawn_share[l] = s;
      for (int k = 1; k <= nf; ++k) {
        const double v = std::max(st.lake_vol(l, k), 0.0) * s;
        st.lake_vol(l, k) -= v;
        st.lake_drawn(l, k) += v;
      }
    }
}

}  // namespace

bool wash_transports(const chan_wash_links& net, int link) {
  const int t = (*net.ltype)[link];
  if (has(t, link_type::lake | link_type::structure)) return false;
  if (has(t, link_type::captured) && has(t, link_type::channel)) return false;
  return (*net.nx)[link] >= 1;
}

wash_target wash_below_link(const chan_wash_links& net, int link) {
  int d = (*net.dslink)[link];
  for (int guard = 0; guard <= net.links; ++guard) {
    if (d == 0) return {wash_target::out, 0};
    const int t = (*net.ltype)[d];
    if (has(t, link_type::lake) || (has(t, link_type::captured) && has(t, link_type::channel)))
      return net.lake_of_link ? wash_target{wash_target::lake, (*net.lake_of_link)[d]} : wash_target{};
    if (has(t, link_type::structure)) {
      d = (*net.dslink)[d];
      continue;
    }
    if (wash_transports(net, d)) return {wash_target::node, net.flat(d, 1)};
    return {};
  }
  return {};
}

void chan_wash_store::alloc(int flat_nodes, int lakes, int n_fine) {
  for (array2d<double>* a : {&vol, &conc, &lateral, &flux}) a->alloc(flat_nodes, n_fine);
  const int nl = lakes > 0 ? lakes : 1;
  for (array2d<double>* a : {&lake_vol, &from_overland, &settled, &to_lake, &from_lake, &to_cells, &lake_drawn})
    a->alloc(nl, n_fine);
  for (array1d<double>* a : {&out, &out_rate, &in, &made, &drawn}) a->alloc(n_fine);
  drawn_share.alloc(flat_nodes);
  lake_drawn_share.alloc(nl);
}

void chan_wash_step::prepare(int flat_nodes, int n_fine) {
  vol_.alloc(flat_nodes, n_fine);
  conc_.alloc(flat_nodes, n_fine);
  pred_flux_.alloc(flat_nodes, n_fine);
  flux_.alloc(flat_nodes, n_fine);
}

void chan_wash_step::run(const chan_wash_network& net, int nf, const double* settling, double dt,
                         chan_wash_store& st) {
  const int lakes = st.lake_vol.rows();
  auto node_volume = [&](int i, int j) { return (*net.area)(j, i) * (*net.link_dx)[i]; };
  auto set_conc = [&](array2d<double>& vol, array2d<double>& conc, int i, int j) {
    const int f = net.flat(i, j);
    const double v = node_volume(i, j);
    for (int k = 1; k <= nf; ++k) conc(f, k) = v > tiny ? vol(f, k) / v : 0.0;
  };

  // Sediment from the cells: into the nodes and into the lakes.
  for (int i = 1; i <= net.links; ++i) {
    if (!wash_transports(net, i)) continue;
    for (int j = 1; j <= (*net.nx)[i]; ++j) {
      const int f = net.flat(i, j);
      for (int k = 1; k <= nf; ++k) {
        st.vol(f, k) += st.lateral(f, k);
        st.in[k] += st.lateral(f, k);
        st.in[0] += st.lateral(f, k);
        st.lateral(f, k) = 0.0;
      }
      set_conc(st.vol, st.conc, i, j);
    }
  }
  if (net.lake_volume)
    for (int l = 1; l <= lakes; ++l)
      for (int k = 1; k <= nf; ++k) {
        st.lake_vol(l, k) += st.from_overland(l, k);
        st.in[k] += st.from_overland(l, k);
        st.in[0] += st.from_overland(l, k);
        st.from_overland(l, k) = 0.0;
      }

  // Moves the fluxes `flux` on the state (vol, conc); with `books`, the
  // lakes and the outlet too.
  auto apply = [&](const array2d<double>& flux, array2d<double>& vol, array2d<double>& conc, bool books) {
    for (int i = 1; i <= net.links; ++i) {
      if (!wash_transports(net, i)) continue;
      const int n = (*net.nx)[i];
      for (int j = 1; j <= n; ++j) {
        const int f = net.flat(i, j);
        int to = 0;
        target t;
        if (j < n) to = net.flat(i, j + 1);
        else t = wash_below_link(net, i);
        if (t.kind == target::node) to = t.index;
        for (int k = 1; k <= nf; ++k) {
          const double F = flux(f, k);
          if (F == 0.0) continue;
          vol(f, k) -= F;
          if (to) {
            vol(to, k) += F;
          } else if (books && t.kind == target::lake) {
            st.lake_vol(t.index, k) += F;
            if (F > 0.0) st.to_lake(t.index, k) += F;
            else st.from_lake(t.index, k) -= F;
          } else if (books && t.kind == target::out) {
            st.out[k] += F;
            st.out[0] += F;
            st.out_rate[k] += F / dt;
            st.out_rate[0] += F / dt;
          }
        }
      }
    }
    // Lakes pass their suspended sediment on at their outflow.
    if (books && net.lake_volume)
      for (int i = 1; i <= net.links; ++i) {
        if (!has((*net.ltype)[i], link_type::lake)) continue;
        const int l = (*net.lake_of_link)[i];
        // The water the lake let out in the step is held at its node 1.
        const double qv = (*net.qp_vol)(1, i);
        if (!(qv > tiny)) continue;
        const target t = wash_below_link(net, i);
        if (t.kind != target::node && t.kind != target::out) continue;
        for (int k = 1; k <= nf; ++k) {
          const double F = std::min(qv * lake_conc(net, st, l, k), st.lake_vol(l, k));
          st.lake_vol(l, k) -= F;
          st.from_lake(l, k) += F;
          if (t.kind == target::node) {
            vol(t.index, k) += F;
          } else {
            st.out[k] += F;
            st.out[0] += F;
            st.out_rate[k] += F / dt;
            st.out_rate[0] += F / dt;
          }
        }
      }
    for (int i = 1; i <= net.links; ++i) {
      if (!wash_transports(net, i)) continue;
      for (int j = 1; j <= (*net.nx)[i]; ++j) {
        const int f = net.flat(i, j);
        for (int k = 1; k <= nf; ++k)
          if (vol(f, k) < 0.0) {
            if (books) st.made[k] -= vol(f, k);
            vol(f, k) = 0.0;
          }
        set_conc(vol, conc, i, j);
      }
    }
  };

  for (int k = 0; k <= nf; ++k) st.out_rate[k] = 0.0;
  // Predictor on copies of the state, corrector from the predicted state,
  // and the average moved on the state itself.
  fluxes(net, nf, st, st.vol, st.conc, pred_flux_);
  for (int i = 1; i <= net.links; ++i)
    for (int j = 1; j <= (*net.nx)[i]; ++j) {
      const int f = net.flat(i, j);
      for (int k = 1; k <= nf; ++k) {
        vol_(f, k) = st.vol(f, k);
        conc_(f, k) = st.conc(f, k);
      }
    }
  apply(pred_flux_, vol_, conc_, false);
  fluxes(net, nf, st, vol_, conc_, flux_);
  for (int i = 1; i <= net.links; ++i)
    for (int j = 1; j <= (*net.nx)[i]; ++j) {
      const int f = net.flat(i, j);
      for (int k = 1; k <= nf; ++k) {
        flux_(f, k) = 0.5 * (pred_flux_(f, k) + flux_(f, k));
        st.flux(f, k) = flux_(f, k);
      }
    }
  apply(flux_, st.vol, st.conc, true);
  draw_with_point_sinks(net, nf, st);

  // Settling in the lakes: at most what is suspended; a lake without water
  // lets all of it down.
  if (net.lake_volume)
    for (int l = 1; l <= lakes; ++l)
      for (int k = 1; k <= nf; ++k) {
        const double v = (*net.lake_volume)[l];
        double s = st.lake_vol(l, k);
        if (v > tiny) s = std::min(s, dt * settling[k] * (*net.lake_area)[l] * st.lake_vol(l, k) / v);
        s = std::max(0.0, s);
        st.lake_vol(l, k) -= s;
        st.settled(l, k) += s;
      }
}

}  // namespace nivra
