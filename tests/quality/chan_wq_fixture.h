// A small channel network for the channel constituent kernels: links with
// their nodes, lakes, and one constituent's arrays, all owned here.
#pragma once

#include <vector>

#include "channel/channel_state.h"
#include "core/arrays.h"
#include "quality/contaminant/channel_quality.h"

namespace nivra::test {

struct wq_net {
  int links, stride, lakes;
  array1d<int> nx, ltype, dslink, lake_of;
  array1d<double> dx;
  // Per flat node.
  array1d<double> area_old, area, face_vol, disp, source, conc, mass, decay_coef, decay_mass, gw_mass, qriv;
  array1d<double> withdrawn;  // the point sinks' water of the step, m3
  // Per lake.
  array1d<double> lake_vol_old, lake_vol, lake_out, lake_source, lake_conc, lake_mass, lake_decay_mass;
  array1d<double> lake_withdrawn;
  chan_wq_network net;

  wq_net(int n_links, int max_nodes, int n_lakes) : links(n_links), stride(max_nodes + 1), lakes(n_lakes) {
    for (auto* a : {&nx, &ltype, &dslink, &lake_of}) a->alloc(links);
    dx.alloc(links);
    const int flat = (links + 1) * stride;
    for (auto* a : {&area_old, &area, &face_vol, &disp, &source, &conc, &mass, &decay_coef, &decay_mass, &gw_mass, &qriv,
                    &withdrawn})
      a->alloc(flat);
    for (auto* a : {&lake_vol_old, &lake_vol, &lake_out, &lake_source, &lake_conc, &lake_mass, &lake_decay_mass,
                    &lake_withdrawn})
      a->alloc(std::max(lakes, 1));
    net.num_links = links;
    net.stride = stride;
    net.num_lakes = lakes;
    net.nx = {nx.data(), links};
    net.ltype = {ltype.data(), links};
    net.dslink = {dslink.data(), links};
    net.lake_of_link = {lake_of.data(), links};
    net.link_dx = {dx.data(), links};
  }
  int at(int l, int k) const { return l * stride + k; }
  void channel(int l, int nodes, double spacing, int down) {
    nx[l] = nodes;
    ltype[l] = link_type::trapezoid;
    dx[l] = spacing;
    dslink[l] = down;
  }
  void lake(int l, int lake_number, int down) {
    ltype[l] = link_type::lake;
    lake_of[l] = lake_number;
    dslink[l] = down;
  }
  // Steady water: every node of link l holds area a and passes q m3/s.
  void steady(int l, double a, double q, double dt) {
    for (int k = 1; k <= nx[l]; ++k) {
      area_old[at(l, k)] = area[at(l, k)] = a;
      face_vol[at(l, k)] = q * dt;
    }
  }
  template <class T>
  static row_view<const T> cv(const array1d<T>& a) { return {a.data(), a.size()}; }
  template <class T>
  static row_view<T> v(array1d<T>& a) { return {a.data(), a.size()}; }
  chan_wq_domain domain(double dt) {
    chan_wq_domain d;
    d.net = &net;
    d.dt = dt;
    d.area_old = cv(area_old);
    d.area = cv(area);
    d.face_volume = cv(face_vol);
    d.disp = cv(disp);
    d.source = cv(source);
    d.conc = v(conc);
    d.mass = v(mass);
    d.lake_volume_old = cv(lake_vol_old);
    d.lake_volume = cv(lake_vol);
    d.lake_outflow = cv(lake_out);
    d.lake_source = cv(lake_source);
    d.lake_conc = v(lake_conc);
    d.lake_mass = v(lake_mass);
    d.withdrawn = cv(withdrawn);
    d.lake_withdrawn = cv(lake_withdrawn);
    return d;
  }
  double channel_mass() const {
    double s = 0.0;
    for (int l = 1; l <= links; ++l)
      if (chan_wq_routed_link(ltype[l]))
        for (int k = 1; k <= nx[l]; ++k) s += mass[at(l, k)];
    return s;
  }
  double lakes_mass() const {
    double s = 0.0;
    for (int n = 1; n <= lakes; ++n) s += lake_mass[n];
    return s;
  }
};

}  // namespace nivra::test
