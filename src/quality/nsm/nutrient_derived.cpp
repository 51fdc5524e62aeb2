#include "quality/nsm/nutrient_derived.h"

namespace nivra {

double nsm_unionized_ammonia_mass(double nh4_mass, double volume, const nsm_water_chemistry& chem,
                                  double min_molar) {
  if (!(volume >= nsm_min_volume)) return 0.0;
  const double c = nh4_mass / nsm_nh4_molar_mass / volume;
  if (!(c >= min_molar)) return 0.0;
  return c * chem.ka / chem.h_ion * nsm_nh3_molar_mass * volume;
}

namespace {

// Sums of the masses at one element, in the order the totals are written.
struct element_masses {
  double no2, no3, nh4, on, op, dp;
};

element_masses masses_at(nsm_water_set& w, int k) {
  return {w[nsm_c::no2].mass[k], w[nsm_c::no3].mass[k], w[nsm_c::nh4].mass[k],
          w[nsm_c::on].mass[k],  w[nsm_c::op].mass[k],  w[nsm_c::dp].mass[k]};
}

double total_n_of(const element_masses& m, double nh3) {
  double t = m.no2;
  t += m.no3;
  t += m.nh4;
  t += m.on;
  t += nh3;
  return t;
}
double tkn_of(const element_masses& m, double nh3) {
  double t = m.nh4;
  t += m.on;
  t += nh3;
  return t;
}
double total_p_of(const element_masses& m) {
  double t = m.op;
  t += m.dp;
  return t;
}

// Calls f(link, node, flat index) for every node of every link.
template <class F>
void for_stream_nodes(const nsm_stream& st, const nsm_stream_water& w, F&& f) {
  for (int link = 1; link <= st.links; ++link)
    for (int node = 1; node <= w.nx[link]; ++node) f(link, node, st.stride * link + node);
}

}  // namespace

void nsm_overland_unionized_ammonia(nsm_overland& ov, const double* depth) {
  auto& nh4 = ov.water[nsm_c::nh4].mass;
  for (int cell = 1; cell <= ov.ncells; ++cell)
    ov.nh3[cell] = nsm_unionized_ammonia_mass(nh4[cell], depth[cell] * ov.cell_area, ov.chem,
                                              nsm_min_molar_nh4_ov);
}

double* nsm_overland_total_nitrogen(nsm_overland& ov) {
  for (int cell = 1; cell <= ov.ncells; ++cell)
    ov.total_n[cell] = total_n_of(masses_at(ov.water, cell), ov.nh3[cell]);
  return ov.total_n.data();
}

double* nsm_overland_total_phosphorus(nsm_overland& ov) {
  for (int cell = 1; cell <= ov.ncells; ++cell) ov.total_p[cell] = total_p_of(masses_at(ov.water, cell));
  return ov.total_p.data();
}

void nsm_stream_unionized_ammonia(nsm_stream& st, const nsm_stream_water& w) {
  auto& nh4 = st.water[nsm_c::nh4].mass;
  for_stream_nodes(st, w, [&](int link, int node, int k) {
    st.nh3(node, link) = nsm_unionized_ammonia_mass(nh4[k], w.area[w.area_stride * link + node] * w.node_length[link], st.chem,
                                                    nsm_min_molar_nh4_stream);
  });
}

jagged_array<double>& nsm_stream_total_nitrogen(nsm_stream& st, const nsm_stream_water& w) {
  for_stream_nodes(st, w, [&](int link, int node, int k) {
    st.total_n(node, link) = total_n_of(masses_at(st.water, k), st.nh3(node, link));
  });
  return st.total_n;
}

jagged_array<double>& nsm_stream_total_kjeldahl_n(nsm_stream& st, const nsm_stream_water& w) {
  for_stream_nodes(st, w, [&](int link, int node, int k) {
    st.tkn(node, link) = tkn_of(masses_at(st.water, k), st.nh3(node, link));
  });
  return st.tkn;
}

jagged_array<double>& nsm_stream_total_phosphorus(nsm_stream& st, const nsm_stream_water& w) {
  for_stream_nodes(st, w, [&](int link, int node, int k) {
    st.total_p(node, link) = total_p_of(masses_at(st.water, k));
  });
  return st.total_p;
}

void nsm_lake_unionized_ammonia(nsm_lake& lake, const double* volume) {
  auto& nh4 = lake.water[nsm_c::nh4].mass;
  for (int l = 1; l <= lake.num_lakes; ++l)
    lake.nh3[l] = nsm_unionized_ammonia_mass(nh4[l], volume[l], lake.chem, nsm_min_molar_nh4_ov);
}

double* nsm_lake_total_nitrogen(nsm_lake& lake) {
  for (int l = 1; l <= lake.num_lakes; ++l) lake.total_n[l] = total_n_of(masses_at(lake.water, l), lake.nh3[l]);
  return lake.total_n.data();
}

double* nsm_lake_total_kjeldahl_n(nsm_lake& lake) {
  for (int l = 1; l <= lake.num_lakes; ++l) lake.tkn[l] = tkn_of(masses_at(lake.water, l), lake.nh3[l]);
  return lake.tkn.data();
}

double* nsm_lake_total_phosphorus(nsm_lake& lake) {
  for (int l = 1; l <= lake.num_lakes; ++l) lake.total_p[l] = total_p_of(masses_at(lake.water, l));
  return lake.total_p.data();
}

}  // namespace nivra
