// The time-loop step of the sediment-bound contaminants over the cells:
// after the overland sediment step has moved the soil, every contaminant
// constituent's attached mass is eroded with it, carried across the faces
// with it, settled with it and carried out at the outlet with it; then
// each cell's mass is split again between its water (the overland
// constituent transport's dissolved mass) and its suspended fines.
#include "quality/contaminant/sediment_contaminant_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "clock/clock_state.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/sediment_contaminant.h"
#include "quality/contaminant/soil_column_step.h"
#include "soil/soil_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr double tiny = 1e-16;
constexpr int contaminant_kind = 1;

void book(constituent_state& k, int c, constituent_term t, double grams) {
  if (k.mass_books && grams != 0.0) k.mass_books->book(c, row(t), grams / 1000.0);
}

// Per cell, the sorbed mass per m3 of fine soil solids of the mixing
// layer (g/m3), cut so that the fines the step lifts never take more than
// the soil holds sorbed.
void fill_soil_sorbed(model_state& ms, int c, const ov_sed_record& s, bool moved) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells, classes = k.n_sed_classes;
  double* rs = k.attached_work.soil_sorbed.data();
  for (int i = 1; i <= n; ++i) {
    rs[i] = 0.0;
    if (!moved) continue;
    rs[i] = sorbed_per_fine_volume(ms, c, i);
    if (!(rs[i] > 0.0)) continue;
    double fine_lifted = 0.0;
    for (int j = 1; j <= classes; ++j)
      if (!k.sand[j]) fine_lifted += std::max(s.cells.lifted(i, j), 0.0);
    const double sorbed = sorbed_soil_mass(ms, c, i);
    if (rs[i] * fine_lifted > sorbed) rs[i] = sorbed / fine_lifted;
  }
}

}  // namespace

double& attached_soil_store(model_state& ms, int c, int i) {
  constituent_state& k = ms.constituent;
  return k.soil_contam_layers > 0 ? k.soil_mass(c, i, 1) : k.land_mass(c, i);
}

namespace {

// The porosity of the cell's mixing layer and the dissolved share of the
// soil's mass there.
struct mixing_soil {
  double porosity = 0.0, dissolved = 0.0;
};
mixing_soil mixing_soil_of(model_state& ms, int c, int i) {
  constituent_state& k = ms.constituent;
  mixing_soil m;
  if (k.soil_contam_layers > 0) {
    const top_layer_soil t = top_layer_soil_of(ms, c, i);
    m.porosity = t.porosity;
    m.dissolved = t.dissolved_fraction;
  } else {
    // The land surface's load is held by the soil solids, unless the
    // constituent does not sorb at all.
    if (ms.soil.soil_porosity.size() == ms.grid.ncells) m.porosity = ms.soil.soil_porosity[i];
    if (!(k.water_soil_partition_coef[c] > 0.0)) m.dissolved = 1.0;
  }
  return m;
}

}  // namespace

double sorbed_soil_mass(model_state& ms, int c, int i) {
  return std::max(attached_soil_store(ms, c, i), 0.0) * (1.0 - mixing_soil_of(ms, c, i).dissolved);
}

double sorbed_per_fine_volume(model_state& ms, int c, int i) {
  constituent_state& k = ms.constituent;
  const ov_sed_record& s = *k.ov_sed;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double fine_share = 0.0;
  for (int j = 1; j <= k.n_sed_classes; ++j)
    if (!k.sand[j]) fine_share += s.cells.soil_fract(i, j);
  const double porosity = mixing_soil_of(ms, c, i).porosity;
  const double fine_volume = attached_mixing_depth_cm(ms) / 100.0 * area * (1.0 - porosity) * fine_share;
  const double sorbed = sorbed_soil_mass(ms, c, i);
  if (!(fine_volume > tiny) || !(sorbed > tiny)) return 0.0;
  return sorbed / fine_volume;
}

double attached_mixing_depth_cm(const model_state& ms) {
  return ms.constituent.soil_contam_layers > 0 ? ms.constituent.mixing_layer_depth : ms.soil.mixing_layer_depth;
}

void sediment_contaminant_source(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.sediment_contam || !k.ov_con_trans || !k.ov_sed || !k.mass_books || k.num_constituents < 1) return;
  if (ms.clock.model_time < ms.clock.ov_con_clock.next_time - ms.clock.time_tol) return;
  ov_sed_record& s = *k.ov_sed;
  sed_contam_arrays& w = k.attached_work;
  const int n = ms.grid.ncells, classes = k.n_sed_classes;
  const double dx = ms.grid.grid_size, area = dx * dx;
  // The sediment's volumes of the step are those of this model step only.
  const bool moved = std::fabs(s.last_step_time - ms.clock.model_time) < ms.clock.time_tol;

  sed_contam_domain d;
  d.ncells = n;
  d.dx = dx;
  d.n_classes = classes;
  d.right = ms.grid.rightcon.data();
  d.below = ms.grid.belowcon.data();
  d.left = ms.grid.leftcon.data();
  d.above = ms.grid.abovecon.data();
  d.depth = ms.overland.ov_depth.data();
  d.sand = w.sand.data();
  d.sed_density = s.sed_density.data();
  d.eroded = &s.cells.lifted;
  d.deposited = &s.cells.settled;
  d.face_x = &s.step.face_x();
  d.face_y = &s.step.face_y();
  d.soil_sorbed = w.soil_sorbed.data();
  d.outlet_cell = ms.grid.outlet_cell;
  d.outlet_out = s.step_books.outlet.data();
  if (moved) {
    sediment_face_order(d, w.face_order.data(), w.waiting.data());
    d.face_order = w.face_order.data();
  }

  for (int c = 1; c <= k.num_constituents; ++c) {
    if (k.constituent_type[c] != contaminant_kind) continue;
    d.kd = k.water_soil_partition_coef[c];
    double* water = k.ov_mass[c];
    double* conc = k.ov_conc[c];
    double* attached = k.cell_total_mass[c];
    for (int i = 1; i <= n; ++i) {
      w.total[i] = attached[i] + water[i];
      w.soil_exchange[i] = 0.0;
      for (int j = 0; j <= classes; ++j) w.work(i, j) = w.susp(i, j);
    }
    sed_contam_books b;
    if (moved) {
      fill_soil_sorbed(ms, c, s, moved);
      sed_contam_state st{w.total.data(), &w.work, w.soil_exchange.data(), &w.per_volume};
      b = sed_contam_transport(d, st);
      for (int i = 1; i <= n; ++i) attached_soil_store(ms, c, i) += w.soil_exchange[i];
    }
    // The partition on the sediment as the overland step left it: the
    // water keeps the dissolved share, the fines the rest. A lake's cell
    // has no water of its own (the lake holds it), so nothing is split
    // there and its water keeps only what it held: on a channel lake's
    // cell the fines the land washed onto it keep what they brought until
    // the channel step hands them, with it, to the lake's suspended load;
    // an overland lake holds no sediment in suspension, its cells' fines
    // settled on its bed, and what they brought settles with them onto the
    // soil. On a dry cell every fine has settled, and what the fines
    // brought settles with them onto the soil as well.
    sed_contam_state now{w.total.data(), &s.cells.susp, nullptr, nullptr};
    double released = 0.0, sorbed = 0.0;
    for (int i = 1; i <= n; ++i) {
      const bool channel_lake = under_channel_lake(ms.lake, i);
      const bool overland_lake = !channel_lake && overland_lake_of(ms.lake, i) > 0;
      const bool dry = !channel_lake && !(d.depth[i] > tiny);
      if ((overland_lake || dry) && w.total[i] > std::max(water[i], 0.0)) {
        const double laid = w.total[i] - std::max(water[i], 0.0);
        attached_soil_store(ms, c, i) += laid;
        b.deposited += laid;
        w.total[i] -= laid;
      }
      const double total = w.total[i];
      const double f = channel_lake || overland_lake
                           ? (total > 0.0 ? std::clamp(water[i] / total, 0.0, 1.0) : 1.0)
                           : partition_cell(d, now, i, nullptr, nullptr);
      const double dissolved = total * f;
      const double change = dissolved - water[i];
      (change > 0.0 ? released : sorbed) += std::fabs(change);
      water[i] = dissolved;
      attached[i] = total - dissolved;
      const double h = d.depth[i];
      conc[i] = h > tiny ? dissolved / (h * area) : 0.0;
    }
    book(k, c, constituent_term::eroded_with_soil, b.eroded);
    book(k, c, constituent_term::settled_with_sediment, b.deposited);
    book(k, c, constituent_term::outlet_on_sediment, b.outlet);
    book(k, c, constituent_term::release_from_sediment, released);
    book(k, c, constituent_term::sorbed_onto_sediment, sorbed);
  }
  attached_volumes_follow_cells(ms);
}

void attached_settles_between_events(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.sediment_contam || !k.ov_sed || k.cell_total_mass.row_length() < ms.grid.ncells) return;
  const int n = ms.grid.ncells;
  for (int c = 1; c <= k.num_constituents && c <= k.cell_total_mass.count(); ++c) {
    if (k.constituent_type[c] != contaminant_kind) continue;
    double* attached = k.cell_total_mass[c];
    double laid = 0.0;
    for (int i = 1; i <= n; ++i) {
      if (!(attached[i] > 0.0)) continue;
      attached_soil_store(ms, c, i) += attached[i];
      laid += attached[i];
      attached[i] = 0.0;
    }
    book(k, c, constituent_term::settled_with_sediment, laid);
  }
  attached_volumes_follow_cells(ms);
}

void attached_volumes_follow_cells(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.sediment_contam || !k.ov_sed) return;
  const array2d<double>& from = k.ov_sed->cells.susp;
  array2d<double>& to = k.attached_work.susp;
  const int n = std::min(ms.grid.ncells, std::min(from.rows(), to.rows()));
  const int classes = std::min(from.cols(), to.cols());
  for (int i = 1; i <= n; ++i)
    for (int j = 0; j <= classes; ++j) to(i, j) = from(i, j);
}

void cells_attached_to_pipes(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.ov_sed || k.ov_sed->pipe_share.empty()) return;
  double* share = k.ov_sed->pipe_share.data();
  const int n = ms.grid.ncells;
  if (k.sediment_contam && k.mass_books && k.pipe_attached.count() >= k.num_constituents)
    for (int c = 1; c <= k.num_constituents; ++c) {
      if (k.constituent_type[c] != contaminant_kind) continue;
      double* attached = k.cell_total_mass[c];
      double moved = 0.0;
      for (int i = 1; i <= n; ++i) {
        if (!(share[i] > 0.0) || !(attached[i] > 0.0)) continue;
        const double m = std::min(share[i], 1.0) * attached[i];
        attached[i] -= m;
        moved += m;
      }
      k.pipe_attached[c] += moved;
      book(k, c, constituent_term::attached_to_pipes, moved);
    }
  for (int i = 1; i <= n; ++i) share[i] = 0.0;
}

double pipe_attached_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  return c >= 1 && c <= k.pipe_attached.count() ? k.pipe_attached[c] / 1000.0 : 0.0;
}

double attached_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (c < 1 || c > k.cell_total_mass.count() || k.cell_total_mass.row_length() < ms.grid.ncells) return 0.0;
  double m = 0.0;
  for (int i = 1; i <= ms.grid.ncells; ++i) m += k.cell_total_mass(c, i);
  return m / 1000.0;
}

}  // namespace nivra
