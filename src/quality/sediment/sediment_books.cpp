#include "quality/sediment/sediment_books.h"

#include "channel/channel_state.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/sediment/channel_sediment_setup.h"
#include "quality/sediment/sediment_terms.h"

namespace nivra {

void settle_sediment_between_events(model_state& ms, bool goes_on) {
  constituent_state& k = ms.constituent;
  if (!k.soil_erosion_on || !k.ov_sed || k.ov_sed->cells.susp.empty()) return;
  ov_sed_record& s = *k.ov_sed;
  const int n = goes_on ? 0 : k.n_sed_classes;
  // What settles is laid on the cell like any deposit: it counts in the
  // cell's net change and, with ADJUST_ELEV, raises the ground.
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  for (int j = 1; j <= n; ++j) {
    double settled = 0.0;
    for (int cell = 1; cell <= ms.grid.ncells; ++cell) {
      const double v = s.cells.susp(cell, j);
      s.cells.dep(cell, j) += v;
      s.cells.susp(cell, j) = 0.0;
      s.ov_qsvol(cell, j) += v;
      s.ov_qsvol(cell, 0) += v;
      if (k.adjust_elev == 1) ms.grid.elevation[cell] += v / area;
      settled += v;
    }
    if (s.books) s.books->book(j, row(sediment_term::settling), settled);
  }
  if (!goes_on && !s.ov_qsconc.empty()) s.ov_qsconc.fill(0.0);
  s.event_peak_wash_rate = 0.0;
  k.sl_sed_water_event = 0.0;
  if (s.books) s.books->open_event();
}

void book_sediment_masses(model_state& ms, ledger_moment m) {
  constituent_state& k = ms.constituent;
  if (!k.ov_sed || !k.ov_sed->books || k.ov_sed->cells.susp.empty()) return;
  ov_sed_record& s = *k.ov_sed;
  const ov_sed_cells& c = s.cells;
  const bool pipes = !s.pipe_sed.empty();
  const int n = k.n_sed_classes;
  const bool summary = m == ledger_moment::event_end || m == ledger_moment::run_end;
  for (int j = 1; j <= n; ++j) {
    // Row 0 is the outside of the grid; the outlet empties it at once.
    double susp = c.susp(0, j), dep = 0.0, eroded = 0.0;
    for (int cell = 1; cell <= ms.grid.ncells; ++cell) {
      susp += c.susp(cell, j);
      dep += c.dep(cell, j);
      eroded += c.eroded(cell, j);
    }
    s.books->set_mass(j, mass_compartment::overland_water, m, susp);
    s.books->set_mass(j, mass_compartment::sediment_bound, m, dep);
    if (pipes) s.books->set_mass(j, mass_compartment::pipes, m, s.pipe_sed[j]);
    if (!summary) continue;
    const mass_ledger& l = *s.books;
    if (pipes && j <= k.ov_superlink_sed_total.size() && j <= k.ov_superlink_sed_event.size()) {
      k.ov_superlink_sed_total[j] = l.run_total(j, row(sediment_term::cells_to_pipes));
      k.ov_superlink_sed_event[j] = l.event_total(j, row(sediment_term::cells_to_pipes));
    }
    s.tot_sed(j, 1) = eroded;
    s.tot_sed(j, 2) = susp;
    s.tot_sed(j, 3) = dep;
    // Discharged: through the outlet, or into the channels net of what
    // the water spilling from them carried back onto the cells.
    s.tot_sed(j, 4) = l.run_total(j, row(sediment_term::overland_outlet)) + sediment_into_channels(l, j, false);
  }
  book_channel_sediment_masses(ms, m);
}

void mark_sediment_channel_cells(model_state& ms) {
  constituent_state& k = ms.constituent;
  const channel_state& ch = ms.channel;
  if (!k.soil_erosion_on || !k.ov_sed || k.ov_sed->channel_cells.empty() || ch.gst_num_cells < 1) return;
  array1d<int>& marks = k.ov_sed->channel_cells;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int e = 1; e <= ch.gst_ncellsingrid[i]; ++e) {
      const int cell = ch.gst_gnum(i, e);
      if (cell >= 1 && cell <= marks.size()) marks[cell] = 1;
    }
}

overland_wash overland_wash_of_event(const model_state& ms) {
  overland_wash w;
  const constituent_state& k = ms.constituent;
  if (!k.ov_sed || !k.ov_sed->books) return w;
  const ov_sed_record& s = *k.ov_sed;
  w.peak_rate = s.event_peak_wash_rate;
  for (int j = 1; j <= k.n_sed_classes; ++j)
    if (k.sand.empty() || !k.sand[j]) w.volume += s.books->event_total(j, row(sediment_term::overland_outlet));
  return w;
}

}  // namespace nivra
