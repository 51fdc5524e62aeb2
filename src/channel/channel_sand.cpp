#include "channel/channel_sand.h"

#include <cmath>
#include <cstdio>

#include "quality/sediment/sediment_physics.h"

namespace nivra {

namespace sd = sediment;

void chan_sand_store::alloc(int flat_nodes, int lakes, int n_sand) {
  sand.alloc(flat_nodes, n_sand);
  lateral.alloc(flat_nodes, n_sand);
  flux.alloc(flat_nodes, n_sand);
  to_lake.alloc(lakes > 0 ? lakes : 1, n_sand);
  out.alloc(n_sand);
  out_step.alloc(n_sand);
  in.alloc(n_sand);
  capacity.alloc(flat_nodes);
  class_capacity.alloc(flat_nodes, n_sand);
  class_share.alloc(n_sand);
}

sand_section breakpoint_section(const chan_sand_network& net, int link, int node, double h) {
  const int t = (*net.table_num)(node, link);
  const double dz = (*net.ht_spc)[t];
  const int n = (*net.numhts)[t];
  auto a = [&](int row) { return (*net.xarea)(row, t); };
  auto p = [&](int row) { return (*net.xtw)(row, t) + (*net.xp)(row, t); };
  if (h < dz) {
    const double f = std::pow(h / dz, 5.0 / 3.0);
    return {a(1) * f, p(1) * f};
  }
  if (h > n * dz) {
    const double f = (h - n * dz) / dz;
    return {a(n) + (a(n) - a(n - 1)) * f, p(n) + (p(n) - p(n - 1)) * f};
  }
  const int k = static_cast<int>(h / dz);
  const double f = (h - k * dz) / dz;
  if (k >= n) return {a(n), p(n)};
  return {a(k) + (a(k + 1) - a(k)) * f, p(k) + (p(k + 1) - p(k)) * f};
}

namespace {

bool has(int type, int bits) { return (type & bits) != 0; }

// A link that carries no sand: lakes, structures, and channel links a lake
// has taken whole.
bool carries_no_sand(int type) {
  return has(type, link_type::lake | link_type::structure) ||
         (has(type, link_type::captured) && has(type, link_type::channel));
}

// The capacity of node f's flow over the supplier's sand, m3/s (signed
// with the flow, dir): per class its share of the supplier's store (an
// even share of an empty store) times the class's own capacity flux, which
// `shares` receives.
double draw_capacity(int n_sand, int f, double dir, const chan_sand_store& store, const double* supplier,
                     double* shares) {
  double held = 0.0;
  for (int m = 1; m <= n_sand; ++m) held += supplier[m];
  double total = 0.0;
  for (int m = 1; m <= n_sand; ++m) {
    const double share = held > sd::tiny ? supplier[m] / held : 1.0 / n_sand;
    shares[m] = share * store.class_capacity(f, m);
    total += shares[m];
  }
  return dir * total;
}

// Moves from the supplier's store to the receiver's (nullptr: out of the
// network, into `sink`) each class's capacity flux `shares` over dt, never
// more than the class holds; the moved volumes are written as the node's
// flux with the sign of dir.
void move_sand(int n_sand, const double* shares, double dir, double dt, double* supplier, double* receiver,
               double* sink, double* node_flux) {
  for (int m = 1; m <= n_sand; ++m) {
    const double v = shares[m] * dt;
    const double take = supplier[m] <= v ? supplier[m] : v;
    supplier[m] -= take;
    if (receiver) receiver[m] += take;
    if (sink) sink[m] += take;
    node_flux[m] = (dir < 0.0 ? -take : take) / dt;
  }
}

}  // namespace

chan_sand_result chan_sand_step(const chan_sand_network& net, const chan_sand_params& par, double dt,
                                chan_sand_store& store, node_array<double>& new_bel) {
  chan_sand_result result;
  const int ns = par.n_sand;
  const auto& nx = *net.nx;
  const auto& ltype = *net.ltype;
  const auto& ds = *net.dslink;
  const auto& ldx = *net.link_dx;
  const auto& h = *net.depth;
  const auto& qp = *net.qp;
  const auto& bel = *net.bel;
  const double nu = par.viscosity;
  for (int m = 0; m <= ns; ++m) store.out_step[m] = 0.0;

  // Lateral sand joins the stores, wet or dry: a dry node keeps it until
  // water comes.
  for (int i = 1; i <= net.links; ++i) {
    if (carries_no_sand(ltype[i])) continue;
    for (int j = 1; j <= nx[i]; ++j) {
      const int f = net.flat(i, j);
      for (int m = 1; m <= ns; ++m) {
        const double v = store.lateral(f, m);
        store.sand(f, m) += v;
        store.in[m] += v;
        store.in[0] += v;
        store.lateral(f, m) = 0.0;
      }
    }
  }

  // Capacity of every node, class by class.
  for (int i = 1; i <= net.links; ++i) {
    if (carries_no_sand(ltype[i])) continue;
    const int down = ds[i];
    const int dtype = down > 0 ? ltype[down] : 0;
    double s = 0.0;
    for (int j = 1; j <= nx[i]; ++j) {
      const int f = net.flat(i, j);
      store.capacity[f] = 0.0;
      for (int m = 1; m <= ns; ++m) store.class_capacity(f, m) = 0.0;
      const double hj = h(j, i);
      if (hj < sd::tiny) continue;
      sand_section sec{0.0, 0.0};
      if (has(ltype[i], link_type::breakpoint)) {
        sec = breakpoint_section(net, i, j, hj);
      } else {
        // Trapezoids, and the main channel of a trapezoid with floodplains.
        const auto t = sd::trapezoid((*net.bottom)(j, i), (*net.sslope)(j, i), hj);
        sec = {t.area, t.perimeter};
      }
      if (sec.area <= sd::tiny) continue;
      const double r = sec.perimeter > sd::tiny ? sec.area / sec.perimeter : 0.0;
      if (j < nx[i]) {
        s = ((bel(j, i) + hj) - (bel(j + 1, i) + h(j + 1, i))) / ldx[i];
      } else if (down > 0 && (has(dtype, link_type::lake) || has(dtype, link_type::captured))) {
        const int lake = (*net.lake_of_link)[down];
        s = ((bel(j, i) + hj) - (*net.lake_elev)[lake]) / (2.0 * ldx[i]);
      } else if (down > 0 && has(dtype, link_type::channel)) {
        s = ((bel(j, i) + hj) - (bel(1, down) + h(1, down))) / ((ldx[i] + ldx[down]) / 2.0);
      } else if (down == 0 && j > 1) {
        s = (bel(j - 1, i) - bel(j, i)) / ldx[i];  // the outlet: the slope of the bed above it
      }
      s = std::abs(s);
      const double v = std::abs(qp(j, i) / sec.area);
      const double dir = qp(j, i) < -sd::tiny ? -1.0 : 1.0;
      bool finite = true;
      for (int m = 1; m <= ns; ++m) {
        const double c = sd::sand_capacity_ppm(v, s, r, par.diam[m], par.fall[m], nu);
        const double flux = sd::sand_flux(std::abs(qp(j, i)), c);
        finite = finite && std::isfinite(flux);
        store.class_capacity(f, m) = flux;
        store.capacity[f] += dir * flux / ns;
      }
      if (!finite) {
        std::printf("bed load NaN\n");
        if (result.nan_link == 0) {
          result.nan_link = i;
          result.nan_node = j;
        }
        store.capacity[f] = 0.0;
        for (int m = 1; m <= ns; ++m) store.class_capacity(f, m) = 0.0;
      }
    }
  }

  // Transfer, node by node downstream.
  double* shares = store.class_share.data();
  for (int i = 1; i <= net.links; ++i) {
    if (carries_no_sand(ltype[i])) continue;
    const int down = ds[i];
    const int dtype = down > 0 ? ltype[down] : 0;
    for (int j = 1; j <= nx[i]; ++j) {
      const int f = net.flat(i, j);
      double* node_flux = store.flux[f].data();
      for (int m = 1; m <= ns; ++m) node_flux[m] = 0.0;
      if (std::abs(store.capacity[f]) <= sd::tiny) continue;
      const double dir = store.capacity[f] > 0.0 ? 1.0 : -1.0;
      const bool last = j == nx[i];
      if (dir > 0.0) {
        double* supplier = store.sand[f].data();
        store.capacity[f] = draw_capacity(ns, f, dir, store, supplier, shares);
        if (!last) {
          move_sand(ns, shares, dir, dt, supplier, store.sand[net.flat(i, j + 1)].data(), nullptr, node_flux);
        } else if (down == 0) {
          move_sand(ns, shares, dir, dt, supplier, nullptr, store.out_step.data(), node_flux);
        } else if (has(dtype, link_type::lake) || has(dtype, link_type::captured)) {
          const int lake = (*net.lake_of_link)[down];
          move_sand(ns, shares, dir, dt, supplier, nullptr, store.to_lake[lake].data(), node_flux);
        } else if (has(dtype, link_type::structure)) {
          // A structure passes sand on to the link below it.
          const int below = ds[down];
          if (below == 0)
            move_sand(ns, shares, dir, dt, supplier, nullptr, store.out_step.data(), node_flux);
          else if (has(ltype[below], link_type::lake | link_type::captured))
            move_sand(ns, shares, dir, dt, supplier, nullptr, store.to_lake[(*net.lake_of_link)[below]].data(),
                      node_flux);
          else
            move_sand(ns, shares, dir, dt, supplier, store.sand[net.flat(below, 1)].data(), nullptr, node_flux);
        } else {
          move_sand(ns, shares, dir, dt, supplier, store.sand[net.flat(down, 1)].data(), nullptr, node_flux);
        }
      } else {
        // Upstream flow: the node takes sand from the node below it.
        int sup_link = i, sup_node = j + 1;
        if (last) {
          if (down == 0 || has(dtype, link_type::lake | link_type::captured | link_type::structure)) continue;
          sup_link = down;
          sup_node = 1;
        }
        if (h(sup_node, sup_link) < sd::tiny) continue;
        double* supplier = store.sand[net.flat(sup_link, sup_node)].data();
        store.capacity[f] = draw_capacity(ns, f, dir, store, supplier, shares);
        move_sand(ns, shares, dir, dt, supplier, store.sand[f].data(), nullptr, node_flux);
      }
    }
  }
  for (int m = 1; m <= ns; ++m) {
    store.out[m] += store.out_step[m];
    store.out[0] += store.out_step[m];
    store.out_step[0] += store.out_step[m];
  }

  // The bed of erodible links follows the stored sand.
  for (int i = 1; i <= net.links; ++i) {
    const int t = ltype[i];
    if (!has(t, link_type::erodible) || !has(t, link_type::trapezoid | link_type::breakpoint) || carries_no_sand(t))
      continue;
    for (int j = 1; j <= nx[i]; ++j) {
      double vs = 0.0;
      for (int m = 1; m <= ns; ++m) vs += store.sand(net.flat(i, j), m);
      const auto b = sd::bed_elevation(vs, bel(j, i), (*net.org_bel)(j, i), (*net.bottom)(j, i),
                                       (*net.sslope)(j, i), net.layer ? (*net.layer)(j, i) : par.layer, ldx[i],
                                       par.porosity);
      new_bel(j, i) = b.bel;
      if (!b.ok) ++result.nodes_without_width;
    }
  }
  return result;
}

}  // namespace nivra
