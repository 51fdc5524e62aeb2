#include "quality/nsm/nsm_media.h"

#include <cmath>
#include <cstdio>

namespace nivra {

namespace {

constexpr const char* soil_names[] = {
    "Organic Active Carbon",     "Organic Stable Carbon",       "Ammonium (NH4+)",
    "Nitrate (NO3-)",            "Organic Active Nitrogen",     "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",   "Mineral Active Phosphorus",   "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus", "Organic Active Phosphorus",   "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus",
};

constexpr const char* symbols[] = {"NO2", "NO3", "NH4", "ON", "OP", "DP", "Alg", "CBOD", "DO"};

void size_zero(checked_array<double>& a, int n) {
  a.destroy();
  a.grow(n);
}

}  // namespace

const char* nsm_symbol(int index) { return index >= 0 && index < nsm_water_items ? symbols[index] : ""; }

void nsm_display_name(std::string& buffer, int index, int soil) {
  if (soil == 0 && nsm_water_display_name(index)) buffer = nsm_water_display_name(index);
  if (soil == 1 && index >= 0 && index < nsm_soil_pools) buffer = soil_names[index];
}

void nsm_init_constituent_arrays(nsm_constituent& record, int n) {
  size_zero(record.conc, n);
  size_zero(record.mass, n);
  size_zero(record.dmdt, n);
}

void nsm_name_constituent_arrays(nsm_constituent& record, const char* prefix) {
  const std::string p = prefix ? prefix : "";
  record.conc.set_name((p + "-conc").c_str());
  record.mass.set_name((p + "-mass").c_str());
  record.dmdt.set_name((p + "-dmdt").c_str());
}

void nsm_list_and_size(nsm_water_set& set, int n) {
  set.list.destroy();
  const bool shifted = set.list.shift_index;
  set.list.shift_index = false;
  set.list.grow(nsm_water_items + 1);
  set.list.shift_index = shifted;
  for (int c = 0; c < nsm_water_items; ++c) {
    set.list[c] = &set[c];
    nsm_init_constituent_arrays(set[c], n);
  }
}

double nsm_ammonium_pka(double t_celsius) { return 0.09018 + 2729.92 / (t_celsius + 273.15); }
double nsm_ammonium_ka(double t_celsius) { return std::pow(10.0, -nsm_ammonium_pka(t_celsius)); }

void nsm_set_ph(nsm_water_chemistry& chem, double ph) {
  chem.ph = ph;
  chem.h_ion = std::pow(10.0, -ph);
}

void nsm_alloc_overland(nsm_overland& ov, int ncells, double dx, double water_temp,
                        const nsm_partition_coeffs& partition) {
  std::printf("Allocating memory for overland NSM...");
  ov.ncells = ncells;
  ov.dx = dx;
  ov.cell_area = dx * dx;
  nsm_list_and_size(ov.water, ncells);
  size_zero(ov.doc, ncells);
  size_zero(ov.doc_foc, ncells);
  size_zero(ov.dispersion, ncells);
  ov.water_temp.destroy();
  ov.water_temp.grow_fill(ncells, water_temp);
  ov.chem.ka = nsm_ammonium_ka(water_temp);
  ov.partition = partition;
  std::printf("Done\n");
}

void nsm_overland_set_grid(nsm_overland& ov, int first_nsm_constituent, double dx, double ph) {
  ov.first_nsm_constituent = first_nsm_constituent;
  ov.dx = dx;
  ov.cell_area = dx * dx;
  nsm_set_ph(ov.chem, ph);
  size_zero(ov.total_n, ov.ncells);
  size_zero(ov.total_p, ov.ncells);
  size_zero(ov.nh3, ov.ncells);
}

void nsm_alloc_streams(nsm_stream& st, int links, int stride, double water_temp,
                       const nsm_partition_coeffs& partition) {
  std::printf("Allocating memory for NSM Streams...");
  st.links = links;
  st.stride = stride;
  const int n = (links + 1) * (stride + 1);
  st.water_temp.destroy();
  st.water_temp.grow_fill(n, water_temp);
  size_zero(st.doc, n);
  size_zero(st.doc_foc, n);
  size_zero(st.dispersion, n);
  nsm_list_and_size(st.water, n);
  st.chem.ka = nsm_ammonium_ka(water_temp);
  st.partition = partition;
  std::printf("Done\n");
}

void nsm_stream_init(nsm_stream& st, int first_nsm_constituent, double ph) {
  st.first_nsm_constituent = first_nsm_constituent;
  nsm_set_ph(st.chem, ph);
  for (auto* t : {&st.total_p, &st.total_n, &st.tkn, &st.nh3}) {
    t->destroy();
    t->grow(st.stride + 1, st.links + 1);
  }
}

void nsm_stream_name_arrays(nsm_stream& st) {
  st.water_temp.set_name("nutr_st-water_temp");
  st.doc.set_name("nutr_st-dissOrgC");
  st.doc_foc.set_name("nutr_st-dissOrgC_FOC");
  st.dispersion.set_name("nutr_st-dispersion");
  for (int c = 0; c < nsm_water_items; ++c)
    nsm_name_constituent_arrays(st.water[c], (std::string("nutr_st-") + symbols[c]).c_str());
  st.water.list.set_name("nutr_st-list");
}

void nsm_alloc_lakes(nsm_lake& lake, int num_lakes, double water_temp,
                     const nsm_partition_coeffs& partition) {
  std::printf("Allocating memory for NSM Lakes...");
  lake.num_lakes = num_lakes;
  lake.water_temp.destroy();
  lake.water_temp.grow_fill(num_lakes, water_temp);
  nsm_list_and_size(lake.water, num_lakes);
  lake.chem.ka = nsm_ammonium_ka(water_temp);
  lake.partition = partition;
  std::printf("Done\n");
}

void nsm_lake_set_sizes(nsm_lake& lake, int first_nsm_constituent, double ph) {
  lake.first_nsm_constituent = first_nsm_constituent;
  nsm_set_ph(lake.chem, ph);
  for (auto* a : {&lake.total_p, &lake.total_n, &lake.tkn, &lake.nh3}) size_zero(*a, lake.num_lakes);
}

void nsm_alloc_soils(nsm_soil& soil, int ncells, int layers) {
  std::printf("Allocating memory for NSM Soils...");
  soil.ncells = ncells;
  soil.layers = layers;
  for (auto& p : soil.pool) {
    p.destroy();
    if (ncells > 0) p.grow(ncells, layers > 0 ? layers : 1);
  }
  soil.pool_list.destroy();
  const bool shifted = soil.pool_list.shift_index;
  soil.pool_list.shift_index = false;
  soil.pool_list.grow(nsm_soil_pools + 1);
  soil.pool_list.shift_index = shifted;
  for (int k = 0; k < nsm_soil_pools; ++k) soil.pool_list[k + 1] = &soil.pool[static_cast<std::size_t>(k)];
  soil.cell_partition.destroy();
  if (ncells > 0) soil.cell_partition.grow(ncells, nsm_partition_count);
  std::printf("Done\n");
}

int lookup13(int base, int i, int to_pool) {
  static constexpr int pool_to_water[nsm_soil_pools] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
  static constexpr int water_to_pool[nsm_soil_pools] = {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1};
  if (i < base || i - base >= nsm_soil_pools) return i;
  const int k = to_pool ? water_to_pool[i - base] : pool_to_water[i - base];
  return k == -1 ? -1 : base + k;
}

}  // namespace nivra
