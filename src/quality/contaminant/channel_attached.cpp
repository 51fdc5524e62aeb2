#include "quality/contaminant/channel_attached.h"

#include <algorithm>
#include <cmath>

#include "channel/channel_state.h"
#include "channel/channel_wash.h"

namespace nivra {

namespace {

constexpr double tiny = 1e-16;

bool has(int type, int bits) { return (type & bits) != 0; }

// The wash load's own path: what rides on it goes where it goes.
using target = wash_target;

double ratio(double mass, double volume) { return volume > tiny ? std::max(mass, 0.0) / volume : 0.0; }

}  // namespace

void chan_attached_store::alloc(int flat_nodes, int lakes, int n_fine) {
  node.alloc(flat_nodes, n_fine);
  lake.alloc(std::max(lakes, 1), n_fine);
  bed.alloc(std::max(lakes, 1));
}

double chan_attached_store::nodes_total() const {
  double s = 0.0;
  for (int f = 1; f <= node.rows(); ++f)
    for (int m = 1; m <= node.cols(); ++m) s += node(f, m);
  return s;
}

double chan_attached_store::lakes_total() const {
  double s = 0.0;
  for (int l = 1; l <= lake.rows(); ++l) {
    for (int m = 1; m <= lake.cols(); ++m) s += lake(l, m);
    s += bed[l];
  }
  return s;
}

void chan_attached_scratch::alloc(int flat_nodes, int lakes, int n_fine) {
  r_node.alloc(flat_nodes, n_fine);
  for (array2d<double>* a : {&r_lake, &lake_mid, &lake_to_nodes}) a->alloc(std::max(lakes, 1), n_fine);
  node_out.alloc(flat_nodes);
}

chan_attached_books chan_attached_transport(const chan_attached_network& net, const chan_wash_moves& mv,
                                            chan_attached_store& st, chan_attached_scratch& w) {
  chan_attached_books b;
  const int nf = net.n_fine;
  const int lakes = net.lake_of_link ? st.lake.rows() : 0;
  // The attached mass per m3 of sediment each node and lake starts with.
  for (int i = 1; i <= net.links; ++i) {
    if (!wash_transports(net, i)) continue;
    for (int j = 1; j <= (*net.nx)[i]; ++j) {
      const int f = net.flat(i, j);
      w.node_out[f] = 0.0;
      for (int m = 1; m <= nf; ++m) w.r_node(f, m) = ratio(st.node(f, m), (*mv.vol_start)(f, m));
    }
  }
  for (int l = 1; l <= lakes; ++l)
    for (int m = 1; m <= nf; ++m) {
      w.r_lake(l, m) = ratio(st.lake(l, m), (*mv.lake_start)(l, m));
      w.lake_mid(l, m) = (*mv.lake_start)(l, m);
      w.lake_to_nodes(l, m) = 0.0;
    }
  // Every node's downstream face: the sediment carries the attached mass
  // per m3 of the side it comes from.
  for (int i = 1; i <= net.links; ++i) {
    if (!wash_transports(net, i)) continue;
    const int n = (*net.nx)[i];
    for (int j = 1; j <= n; ++j) {
      const int f = net.flat(i, j);
      target t;
      if (j < n) t = {target::node, f + 1};
      else t = wash_below_link(net, i);
      for (int m = 1; m <= nf; ++m) {
        const double F = (*mv.flux)(f, m);
        if (F == 0.0) continue;
        if (F > 0.0) {
          const double T = F * w.r_node(f, m);
          st.node(f, m) -= T;
          w.node_out[f] += T;
          if (t.kind == target::node) {
            st.node(t.index, m) += T;
          } else if (t.kind == target::lake) {
            st.lake(t.index, m) += T;
            w.lake_mid(t.index, m) += F;
            b.to_lakes += T;
          } else {
            b.outlet += T;
          }
        } else if (t.kind == target::node) {
          const double T = -F * w.r_node(t.index, m);
          st.node(t.index, m) -= T;
          st.node(f, m) += T;
          w.node_out[f] -= T;
        } else if (t.kind == target::lake) {
          const double T = -F * w.r_lake(t.index, m);
          st.lake(t.index, m) -= T;
          st.node(f, m) += T;
          w.node_out[f] -= T;
          w.lake_mid(t.index, m) += F;
          w.lake_to_nodes(t.index, m) -= F;
          b.from_lakes += T;
        }
      }
    }
  }
  // The lakes let their suspended fines out at their outflow with what the
  // fines hold.
  for (int i = 1; i <= net.links && lakes > 0; ++i) {
    if (!has((*net.ltype)[i], link_type::lake)) continue;
    const int l = (*net.lake_of_link)[i];
    if (l < 1 || l > lakes) continue;
    const target t = wash_below_link(net, i);
    if (t.kind != target::node && t.kind != target::out) continue;
    for (int m = 1; m <= nf; ++m) {
      const double R = (*mv.lake_given)(l, m) - w.lake_to_nodes(l, m);
      if (!(R > 0.0)) continue;
      const double T = std::min(R * ratio(st.lake(l, m), w.lake_mid(l, m)), std::max(st.lake(l, m), 0.0));
      st.lake(l, m) -= T;
      w.lake_mid(l, m) -= R;
      b.from_lakes += T;
      if (t.kind == target::node) st.node(t.index, m) += T;
      else b.outlet += T;
    }
  }
  // The point sinks draw the share of the wash load they drew, with what
  // it holds.
  if (mv.drawn_share)
    for (int i = 1; i <= net.links; ++i) {
      if (!wash_transports(net, i)) continue;
      for (int j = 1; j <= (*net.nx)[i]; ++j) {
        const int f = net.flat(i, j);
        const double s = (*mv.drawn_share)[f];
        if (!(s > 0.0)) continue;
        for (int m = 1; m <= nf; ++m) {
          const double T = std::max(st.node(f, m), 0.0) * s;
          st.node(f, m) -= T;
          b.drawn += T;
        }
      }
    }
  if (mv.lake_drawn_share)
    for (int l = 1; l <= lakes && l <= mv.lake_drawn_share->size(); ++l) {
      const double s = (*mv.lake_drawn_share)[l];
      if (!(s > 0.0)) continue;
      for (int m = 1; m <= nf; ++m) {
        const double T = std::max(st.lake(l, m), 0.0) * s;
        st.lake(l, m) -= T;
        b.lake_drawn += T;
      }
    }
  // A store driven below zero (the sediment's fluxes are averages of two
  // evaluations, each within what the node held) is set back to zero.
  for (int i = 1; i <= net.links; ++i) {
    if (!wash_transports(net, i)) continue;
    for (int j = 1; j <= (*net.nx)[i]; ++j)
      for (int m = 1; m <= nf; ++m) {
        double& a = st.node(net.flat(i, j), m);
        if (a < 0.0) {
          b.node_reset -= a;
          a = 0.0;
        }
      }
  }
  for (int l = 1; l <= lakes; ++l)
    for (int m = 1; m <= nf; ++m) {
      double& a = st.lake(l, m);
      if (a < 0.0) {
        b.lake_reset -= a;
        a = 0.0;
      }
      // Settling lays the share of the suspended fines that settled on the
      // bed, with what they hold.
      const double s = (*mv.lake_settled)(l, m);
      if (!(s > 0.0)) continue;
      const double before = (*mv.lake_end)(l, m) + s;
      const double T = before > tiny ? std::min(a, a * s / before) : a;
      a -= T;
      st.bed[l] += T;
      b.settled += T;
    }
  return b;
}

double partition_attached(double kd, double water, int n, const double* volume, const double* density,
                          double total, double* attached) {
  for (int k = 1; k <= n; ++k) attached[k] = 0.0;
  if (!(water > tiny) || !(kd > 0.0)) return total;
  const double k_d = kd / 1e6;  // m3/g
  double sum = 0.0;
  for (int k = 1; k <= n; ++k)
    if (volume[k] > tiny) sum += k_d * density[k] * volume[k] / water;
  if (!(sum > 0.0)) return total;
  if (!(total > 0.0)) return total;
  // The dissolved share is taken straight from its own fraction: as the
  // difference of the total and the attached shares it would be lost to
  // rounding (and could fall below zero) where a film of water holds much
  // sediment and nearly all the mass sits on the fines. The attached shares
  // split the rest, the largest class taking what rounding leaves of it, so
  // the shares add up to the total.
  const double dissolved = total / (1.0 + sum);
  const double on_fines = total - dissolved;
  int largest = 0;
  double given = 0.0;
  for (int k = 1; k <= n; ++k) {
    if (!(volume[k] > tiny)) continue;
    const double share = k_d * density[k] * volume[k] / water;
    attached[k] = on_fines * (share / sum);
    if (largest == 0 || attached[k] > attached[largest]) largest = k;
    given += attached[k];
  }
  attached[largest] = std::max(attached[largest] + (on_fines - given), 0.0);
  return dissolved;
}

}  // namespace nivra
