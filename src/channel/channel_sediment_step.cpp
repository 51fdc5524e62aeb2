// The channel step's sediment share: the glue between the record and the
// channel sediment kernels (channel/channel_sediment.h).
#include <algorithm>
#include <cstdio>

#include "channel/channel_sediment.h"
#include "channel/channel_state.h"
#include "core/errors.h"
#include "model/model_state.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The step's fluxes (m3/s) by class position, the outlet rates and the
// wash load's mass concentration (g/m3) of every node, for the outputs.
void fill_outputs(model_state& ms, double dt) {
  constituent_state& k = ms.constituent;
  const channel_sediment& sed = k.chan_sed;
  const chan_sed_classes& c = sed.classes;
  const channel_state& ch = ms.channel;
  const int nf = c.n_fine, ns = c.n_sand;
  for (int l = 1; l <= ch.num_stream_links; ++l)
    for (int j = 1; j <= ch.nx[l]; ++j) {
      const int f = ch.max_nodes_per_link * l + j;
      for (int m = 1; m <= nf; ++m) k.qsmax(f, m) = dt > 0.0 ? sed.wash.flux(f, m) / dt : 0.0;
      // The sand classes, then their total.
      k.qsmax(f, nf + ns + 1) = 0.0;
      for (int m = 1; m <= ns; ++m) {
        k.qsmax(f, nf + m) = sed.sand.flux(f, m);
        k.qsmax(f, nf + ns + 1) += sed.sand.flux(f, m);
      }
      const double v = ch.area(j, l) * ch.link_dx[l];
      k.chan_sed_conc(f, 0) = 0.0;
      for (int m = 1; m <= nf; ++m) {
        const int cls = c.order[m];
        const double conc = v > 1e-16 ? sed.wash.vol(f, m) * c.density[cls] * 1000.0 / v : 0.0;
        k.chan_sed_conc(f, cls) = conc;
        k.chan_sed_conc(f, 0) += conc;
      }
    }
  k.chan_fine_out.fill(0.0);
  for (int m = 1; m <= nf; ++m) {
    k.chan_fine_out[m] = sed.wash.out_rate[m];
    k.chan_fine_out[0] += sed.wash.out_rate[m];
  }
  k.chan_sand_out.fill(0.0);
  for (int m = 1; m <= ns; ++m) {
    k.chan_sand_out[m] = dt > 0.0 ? sed.sand.out_step[m] / dt : 0.0;
    k.chan_sand_out[ns + 1] += k.chan_sand_out[m];
  }
  k.max_wash_rate = std::max(k.max_wash_rate, sed.wash.out_rate[0]);
  // A calibration of sediments scores the wash load at the sediment
  // locations: its peak rate and its volume over the event.
  output_state& out = ms.output;
  if (out.optimize_given && out.optimize_sed && k.in_sed_loc)
    for (int i = 1; i <= out.n_sed_loc && i <= out.hyd_loc_volume.size() && i <= out.hyd_loc_peak_q.size(); ++i) {
      const int f = ch.max_nodes_per_link * out.slink[i] + out.snode[i];
      double rate = 0.0;
      for (int m = 1; m <= nf; ++m) rate += k.qsmax(f, m);
      out.hyd_loc_peak_q[i] = std::max(out.hyd_loc_peak_q[i], rate);
      out.hyd_loc_volume[i] += rate * dt;
    }
}

// The cells of a channel lake give their suspended and loose sediment to
// the lake; booked as they go, kept per lake and class for the summaries.
void lake_cells_to_lakes(model_state& ms) {
  constituent_state& k = ms.constituent;
  const lake_state& lakes = ms.lake;
  if (!lakes.chan_lakes || lakes.lake_mask.empty() || k.sed_vol_overland_to_lake.empty()) return;
  ov_sed_cells& cells = k.ov_sed->cells;
  channel_sediment& sed = k.chan_sed;
  const int n = sed.classes.n;
  chan_sed_moves& mv = sed.moves;
  const bool keep = sed.keep_moves && !mv.lake_take_fines.empty();
  for (int cell = 1; cell <= lakes.lake_mask.size() && cell < cells.susp.rows() + 1; ++cell) {
    const int lake = lakes.lake_mask[cell];
    if (lake < 1 || lake > k.sed_vol_overland_to_lake.rows()) continue;
    // The fines it gives, for the constituents riding on them: those in
    // its water and those the land washed onto it, which settled there
    // (a lake's cell holds no water of its own).
    if (keep && mv.lake_takes.size() < static_cast<std::size_t>(mv.lake_take_fines.rows())) {
      bool fines = false;
      for (int c = 1; c <= n; ++c)
        fines = fines || (!sed.classes.sand[c] && (cells.susp(cell, c) > 0.0 || cells.dep(cell, c) > 0.0));
      if (fines) {
        mv.lake_takes.push_back({cell, lake, 1.0});
        const int e = static_cast<int>(mv.lake_takes.size());
        for (int m = 1; m <= sed.classes.n_fine; ++m) mv.lake_take_fines(e, m) = 0.0;
        for (int c = 1; c <= n; ++c)
          if (!sed.classes.sand[c])
            mv.lake_take_fines(e, sed.classes.position[c]) =
                std::max(cells.susp(cell, c), 0.0) + std::max(cells.dep(cell, c), 0.0);
      }
    }
    for (int c = 1; c <= n; ++c) {
      const double vs = cells.susp(cell, c), vd = cells.dep(cell, c);
      if (vs == 0.0 && vd == 0.0) continue;
      cells.susp(cell, c) = 0.0;
      cells.dep(cell, c) = 0.0;
      k.sed_vol_overland_to_lake(lake, c) += vs + vd;
      if (k.ov_sed->books) {
        k.ov_sed->books->book(c, row(sediment_term::suspended_to_lakes), vs);
        k.ov_sed->books->book(c, row(sediment_term::loose_to_lakes), vd);
      }
    }
  }
}

}  // namespace

bool route_channel_sediment(model_state& ms, double dt) {
  constituent_state& k = ms.constituent;
  channel_sediment& sed = k.chan_sed;
  if (!k.chan_sed_on || k.sed_transport_mode != 1 || !sed.ready) return true;
  sed.books.suspended_to_channels.fill(0.0);
  sed.books.loose_to_channels.fill(0.0);
  sed.books.channels_to_cells.fill(0.0);
  sed.moves.takes.clear();
  sed.moves.spills.clear();
  sed.moves.lake_takes.clear();
  if (k.ov_sed && !k.ov_sed->cells.susp.empty())
    cells_to_channel_nodes(ms.channel,
                           {&k.ov_sed->cells.susp, &k.ov_sed->cells.dep, ms.overland.ov_depth.data()},
                           ms.overland.overland_backwater != 0, dt, sed);
  if (k.ov_sed && !k.ov_sed->cells.susp.empty()) lake_cells_to_lakes(ms);
  const array2d<double>* to_lakes =
      ms.lake.chan_lakes && !k.sed_vol_overland_to_lake.empty() ? &k.sed_vol_overland_to_lake : nullptr;
  if (!channel_sediment_step(ms.channel, ms.lake, to_lakes, k.adjust_channel_bed != 0, dt, sed)) {
    set_error(own_message_code);
    report_error();
    return false;
  }
  const chan_sed_books& b = sed.books;
  if (k.ov_sed->books)
    for (int c = 1; c <= sed.classes.n; ++c) {
      mass_ledger& l = *k.ov_sed->books;
      l.book(c, row(sediment_term::suspended_to_channels), b.suspended_to_channels[c]);
      l.book(c, row(sediment_term::loose_to_channels), b.loose_to_channels[c]);
      l.book(c, row(sediment_term::channels_to_cells), b.channels_to_cells[c]);
      l.book(c, row(sediment_term::channels_to_lakes), b.channels_to_lakes[c]);
      l.book(c, row(sediment_term::lakes_to_channels), b.lakes_to_channels[c]);
      l.book(c, row(sediment_term::channel_outlet), b.outlet[c]);
      l.book(c, row(sediment_term::channel_shortfall), b.shortfall[c]);
      l.book(c, row(sediment_term::channel_point_sinks), b.point_sinks[c]);
      l.book(c, row(sediment_term::lake_point_sinks), b.lake_point_sinks[c]);
    }
  ++sed.steps_taken;
  sed.last_dt = dt;
  for (int c = 1; c <= sed.classes.n; ++c) k.event_wash_outflow += sed.classes.sand[c] ? 0.0 : b.outlet[c];
  fill_outputs(ms, dt);
  return true;
}

}  // namespace nivra
