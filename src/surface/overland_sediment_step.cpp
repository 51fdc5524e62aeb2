#include "surface/overland_sediment_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_sediment.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "surface/overland_sediment.h"
#include "surface/lake_state.h"
#include "surface/overland_common.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

ov_sed_flow flow_of(model_state& ms, double dt) {
  const grid_state& g = ms.grid;
  const overland_state& ov = ms.overland;
  const hydromet_state& hm = ms.hydromet;
  ov_sed_flow f;
  f.ncells = g.ncells;
  f.dx = g.grid_size;
  f.dt = dt;
  f.depth = ov.ov_depth.data();
  f.elevation = g.elevation.data();
  f.qx = ov.ov_qx.data();
  f.qy = ov.ov_qy.data();
  // Splash follows the intensity that reaches the ground, mm/h.
  f.rain = hm.interception_coeff_given && !hm.ri_eff.empty() ? hm.ri_eff.data() : hm.rain_depth.data();
  f.rightcon = g.rightcon.data();
  f.belowcon = g.belowcon.data();
  f.leftcon = g.leftcon.data();
  f.abovecon = g.abovecon.data();
  const ov_sed_record& s = *ms.constituent.ov_sed;
  f.channel_cell = s.channel_cells.empty() ? nullptr : s.channel_cells.data();
  if (ov.ovr_flow_block && !ov.ovr_flow_block_cell.empty()) {
    f.block_cell = ov.ovr_flow_block_cell.data();
    if (!ov.ovr_flow_block_frac.empty()) f.block_side = ov.ovr_flow_block_frac.data();
  }
  f.outlet_cell = g.outlet_cell;
  f.outlet_slope = g.outlet_slope;
  f.qout = ov.qout;
  f.outlet_drains = !ms.channel.chan_explic;
  const lake_state& lk = ms.lake;
  if (lk.overland_lake_map_given && lk.num_olakes > 0 && lk.oland_lake_new.size() >= g.ncells)
    f.olake = lk.oland_lake_new.data();
  return f;
}

ov_sed_params params_of(const constituent_state& k) {
  const ov_sed_record& s = *k.ov_sed;
  ov_sed_params p;
  p.option = k.soil_erosion_option;
  p.splash_K = s.splash_K.data();
  p.detach_coef = s.detach_coef.data();
  p.detach_exp = s.detach_exp.data();
  p.detach_crit = s.detach_crit.data();
  p.sed_K = s.sed_K.data();
  p.classes = {k.n_sed_classes, s.part_diam.data(), s.spec_grav.data(), s.by_size.data()};
  p.settling = s.settling_velocity.data();
  return p;
}

// The cells holding a volume that is not a number, each class named.
void report_not_numbers(const ov_sed_cells& c, int ncells, int n) {
  for (int cell = 1; cell <= ncells; ++cell) {
    bool bad = false;
    for (int k = 1; k <= n; ++k) {
      if (std::isnan(c.susp(cell, k))) {
        std::printf("PT 3 suspended soil particle %2d=Nan at grid %d\n", k, cell);
        bad = true;
      }
      if (std::isnan(c.eroded(cell, k))) {
        std::printf("PT 3 eroded soil particle %2d=Nan at grid %d\n", k, cell);
        bad = true;
      }
      if (std::isnan(c.dep(cell, k))) {
        std::printf("PT 3 deposited soil particle %2d=Nan at grid %d\n", k, cell);
        bad = true;
      }
    }
    if (bad) std::fflush(stdout);
  }
}

// Whether the sediment moves in the overland steps of this run.
bool eroding(const model_state& ms) {
  const constituent_state& k = ms.constituent;
  return k.soil_erosion_on && k.sed_transport_mode == 1 && k.ov_sed;
}

}  // namespace

void sediment_water_of_step(const sediment_water_in& in, int first, int last, const sediment_water_out& out) {
  if (in.vol_x && in.vol_y && in.dt > 0.0) {
    for (int c = first; c <= last; ++c) {
      out.qx[c] = in.vol_x[c] / in.dt;
      out.qy[c] = in.vol_y[c] / in.dt;
    }
  } else {
    for (int c = first; c <= last; ++c) {
      out.qx[c] = in.qx[c];
      out.qy[c] = in.qy[c];
    }
  }
  for (int c = first; c <= last; ++c)
    out.depth[c] = in.depth_start ? 0.5 * (in.depth_start[c] + in.depth[c]) : in.depth[c];
}

void overland_sediment_before_routing(model_state& ms) {
  if (!eroding(ms)) return;
  ov_sed_record& s = *ms.constituent.ov_sed;
  const overland_state& ov = ms.overland;
  const int n = ms.grid.ncells;
  if (s.depth_start.size() < n || ov.ov_depth.size() < n) return;
  std::copy(ov.ov_depth.data(), ov.ov_depth.data() + n + 1, s.depth_start.data());
}

void overland_sediment_after_routing(model_state& ms, double dt) {
  if (!eroding(ms)) return;
  constituent_state& k = ms.constituent;
  ov_sed_record& s = *k.ov_sed;
  const int n = k.n_sed_classes;
  const int ncells = ms.grid.ncells;
  ov_sed_cells& c = s.cells;

  s.step_books.clear();
  const ov_sed_flow flow = flow_of(ms, dt);
  ov_sed_flow lake_flow = flow;
  ov_sed_lake_wash wash;
  const ov_sed_lake_wash* lakes = nullptr;
  if (ms.lake.chan_lakes && ms.lake.num_lakes > 0 && ms.lake.lake_mask.size() >= ncells) {
    lake_flow.lake = ms.lake.lake_mask.data();
    lake_flow.lake_elev = ms.lake.lake_elev.data();
    channel_sediment& cs = k.chan_sed;
    if (k.chan_sed_on && cs.ready && cs.classes.n_fine > 0 && cs.wash.lake_vol.rows() >= ms.lake.num_lakes) {
      wash.vol = &cs.wash.lake_vol;
      wash.water = ms.lake.lake_volume.data();
      wash.fine_class = cs.classes.order.data();
      wash.n_fine = cs.classes.n_fine;
      wash.to_cells = &cs.wash.to_cells;
      if (cs.keep_moves && cs.moves.lake_face_x.rows() >= ncells) {
        wash.face_x = &cs.moves.lake_face_x;
        wash.face_y = &cs.moves.lake_face_y;
      }
      lakes = &wash;
    }
  }
  // The water of the step as the sediment sees it: the faces' mean
  // discharges where the routing kept the step's face volumes (the ADE
  // schemes; with lakes their discharges are those of the last sub-step),
  // and the cells at their mean depth over the step.
  overland_state& ov = ms.overland;
  if (s.step_depth.size() >= ncells) {
    const bool volumes = ov.overtype != overland_scheme::explicit_faces && ov.ov_volx.size() >= ncells &&
                         ov.ov_voly.size() >= ncells;
    const sediment_water_in in{dt,
                               ov.ov_depth.data(),
                               s.depth_start.data(),
                               ov.ov_qx.data(),
                               ov.ov_qy.data(),
                               volumes ? ov.ov_volx.data() : nullptr,
                               volumes ? ov.ov_voly.data() : nullptr};
    const sediment_water_out out{s.step_depth.data(), s.step_qx.data(), s.step_qy.data()};
    for_cell_parts(ov.crew, ncells, cell_parts(ov, ncells),
                   [&](int first, int last, int) { sediment_water_of_step(in, first, last, out); });
    lake_flow.depth = s.step_depth.data();
    lake_flow.qx = s.step_qx.data();
    lake_flow.qy = s.step_qy.data();
  }
  s.step.run(lake_flow, params_of(k), c, s.step_books, ms.overland.crew, ms.overland.crew.size(), lakes);
  s.last_step_time = ms.clock.model_time;
  // The net change of every cell (laid down minus taken up) and, with
  // ADJUST_ELEV, the ground moved by it.
  double* ground = k.adjust_elev == 1 ? ms.grid.elevation.data() : nullptr;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  if (tally_sediment_step(c, s.ov_qsvol, ground, area, s.step_tally) != 0) {
    report_not_numbers(c, ncells, n);
    std::printf("The overland sediment step met a volume that is not a number; the run stops.\n");
    set_error(own_message_code);
    report_error();
    return;
  }

  // What the step moved, per class: the lifted volume is the parent soil
  // detached and the loose deposit taken up again.
  mass_ledger& books = *s.books;
  for (int j = 1; j <= n; ++j) {
    const double parent = s.step_books.parent[j];
    books.book(j, row(sediment_term::erosion), parent);
    books.book(j, row(sediment_term::resuspension), s.step_tally.lifted[j] - parent);
    books.book(j, row(sediment_term::settling), s.step_tally.settled[j]);
    books.book(j, row(sediment_term::overland_outlet), s.step_books.outlet[j]);
    books.book(j, row(sediment_term::lakes_to_cells), s.step_books.from_lakes[j]);
  }
  s.outlet_last_vol = s.step_books.outlet[0];
  // The wash load (the fine classes) leaving the watershed, for the
  // calibration of sediment runs.
  if (dt > 0.0) {
    double fine = 0.0;
    for (int j = 1; j <= n; ++j)
      if (k.sand.empty() || !k.sand[j]) fine += s.step_books.outlet[j];
    if (fine / dt > s.event_peak_wash_rate) s.event_peak_wash_rate = fine / dt;
  }
  if (k.max_sed_flux && !c.qsmax.empty())
    for (int cell = 1; cell <= ncells; ++cell) {
      double sum = 0.0;
      for (int j = 1; j <= n; ++j) sum += s.ov_qsmax(cell, j) = c.qsmax(cell, j);
      s.ov_qsmax(cell, 0) = sum;
    }
  if (k.vol_sed_susp && !s.ov_qsconc.empty())
    for (int cell = 1; cell <= ncells; ++cell) {
      double sum = 0.0;
      for (int j = 1; j <= n; ++j) sum += s.ov_qsconc(cell, j) = c.susp(cell, j);
      s.ov_qsconc(cell, 0) = sum;
    }
}

}  // namespace nivra
