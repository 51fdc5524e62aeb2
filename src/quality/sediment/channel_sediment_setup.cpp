#include "quality/sediment/channel_sediment_setup.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "channel/channel_hotstart.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/channel_sediment.h"
#include "channel/channel_state.h"
#include "channel/xsec_update.h"
#include "core/errors.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

// The channel sediment record is kept (and reported) whenever it was made,
// also when the classes travel as constituents and nothing moves it.
bool on(const model_state& ms) { return ms.constituent.chan_sed_on && ms.constituent.chan_sed.ready; }

}  // namespace

void book_channel_sediment_masses(model_state& ms, ledger_moment m) {
  constituent_state& k = ms.constituent;
  if (!on(ms) || !k.ov_sed || !k.ov_sed->books) return;
  for (int c = 1; c <= k.chan_sed.classes.n; ++c) {
    k.ov_sed->books->set_mass(c, mass_compartment::channels, m, channel_sediment_stored(ms.channel, k.chan_sed, c));
    k.ov_sed->books->set_mass(c, mass_compartment::lakes, m, lake_sediment_stored(k.chan_sed, c));
  }
}

namespace {

// The sand and the wash load in the channels now, m3.
void channel_volumes(const model_state& ms, double& sand, double& wash) {
  const channel_sediment& s = ms.constituent.chan_sed;
  sand = wash = 0.0;
  for (int c = 1; c <= s.classes.n; ++c)
    (s.classes.sand[c] ? sand : wash) += channel_sediment_stored(ms.channel, s, c);
}

// The channel totals of the run or of the event from the ledger.
void totals_from_ledger(const model_state& ms, bool event, chan_sed_totals& t) {
  const constituent_state& k = ms.constituent;
  const double init = t.sand_init;
  t = chan_sed_totals{};
  t.sand_init = init;
  if (!k.ov_sed || !k.ov_sed->books) return;
  const mass_ledger& l = *k.ov_sed->books;
  auto total = [&](int c, sediment_term term) { return event ? l.event_total(c, row(term)) : l.run_total(c, row(term)); };
  for (int c = 1; c <= k.chan_sed.classes.n; ++c) {
    // Taken from the cells, net of what spilled back onto them (wash load
    // only: sand never spills).
    const double in = sediment_into_channels(l, c, event), to_lakes = total(c, sediment_term::channels_to_lakes),
                 out = total(c, sediment_term::channel_outlet),
                 from_cells = total(c, sediment_term::suspended_to_lakes) + total(c, sediment_term::loose_to_lakes);
    if (k.chan_sed.classes.sand[c]) {
      t.sand_in += in;
      t.sand_to_lakes += to_lakes;
      t.sand_out += out;
      t.lake_sand_from_chan += to_lakes;
      t.lake_sand_from_ov += from_cells;
    } else {
      // A node's shortfall set back to zero counts as wash load come in.
      t.wash_in += in + total(c, sediment_term::channel_shortfall);
      t.wash_to_lakes += to_lakes;
      t.wash_from_lakes += total(c, sediment_term::lakes_to_channels);
      t.wash_out += out;
      t.wash_drawn += total(c, sediment_term::channel_point_sinks);
      // Net of what the lakes' water carried back onto the land.
      t.lake_wash_from_ov += from_cells - total(c, sediment_term::lakes_to_cells);
    }
  }
}

// Per lake: what the lake exchanged and holds, from the cumulative stores.
lake_sed_totals lake_now(const model_state& ms, int lake) {
  const channel_sediment& s = ms.constituent.chan_sed;
  lake_sed_totals t;
  for (int m = 1; m <= s.classes.n_fine && lake <= s.wash.lake_vol.rows(); ++m) {
    t.ss_to_chan += s.wash.from_lake(lake, m);
    t.ss_from_chan += s.wash.to_lake(lake, m);
    t.ss_settled += s.wash.settled(lake, m);
    t.ss_drawn += s.wash.lake_drawn.empty() ? 0.0 : s.wash.lake_drawn(lake, m);
    t.ss_total += s.wash.lake_vol(lake, m);
    t.ss_from_ov += (s.lake_taken.empty() ? 0.0 : s.lake_taken(lake, s.classes.order[m])) -
                    (s.wash.to_cells.empty() ? 0.0 : s.wash.to_cells(lake, m));
  }
  for (int m = 1; m <= s.classes.n_sand && lake <= s.lake_sand.rows(); ++m) {
    t.sand_bottom += s.sand.to_lake(lake, m);
    t.sand_boundary += s.lake_sand(lake, m);
  }
  const double v = lake <= ms.lake.lake_volume.size() ? ms.lake.lake_volume[lake] : 0.0;
  t.ss_conc_vol = v > 1e-16 ? t.ss_total / v : 0.0;
  return t;
}

lake_sed_totals difference(const lake_sed_totals& now, const lake_sed_totals& start) {
  lake_sed_totals t = now;
  t.ss_init = start.ss_total;
  t.ss_to_chan -= start.ss_to_chan;
  t.ss_from_chan -= start.ss_from_chan;
  t.ss_from_ov -= start.ss_from_ov;
  t.ss_settled -= start.ss_settled;
  t.ss_drawn -= start.ss_drawn;
  t.sand_bottom -= start.sand_bottom;
  t.sand_boundary -= start.sand_boundary;
  return t;
}

}  // namespace

namespace {

// The sediment series at channel nodes need the channels' sediment, and the
// two output cards the list of nodes: a card that would be read and then
// ignored stops the run, naming it.
bool location_cards_fit(const model_state& ms) {
  const constituent_state& k = ms.constituent;
  const bool channels = k.chan_sed_on && ms.channel.chan_explic && k.soil_erosion_on;
  struct card {
    bool given;
    const char* name;
  } cards[] = {{k.in_sed_loc != 0, "IN_SED_LOC"},
               {!k.out_sed_loc_file_name.empty(), "OUT_SED_LOC"},
               {k.out_tss_loc != 0, "OUT_TSS_LOC"}};
  for (const card& c : cards) {
    if (!c.given) continue;
    if (!channels) {
      std::printf("Error: the %s card gives sediment series at channel nodes; they need sediment carried in the "
                  "channels (SOIL_EROSION with CHAN_EXPLIC).\n",
                  c.name);
      return false;
    }
    if (!k.in_sed_loc) {
      std::printf("Error: the %s card writes sediment series at the channel nodes that IN_SED_LOC lists; the "
                  "project has no IN_SED_LOC card.\n",
                  c.name);
      return false;
    }
  }
  return true;
}

}  // namespace

void init_channel_sediments(model_state& ms) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  if (!location_cards_fit(ms)) {
    set_error(own_message_code);
    report_error();
    return;
  }
  // With the classes carried as constituents the channel sediment record
  // is still made (its summaries report the beds' sand), though no channel
  // sediment step moves it.
  if (!k.chan_sed_on || !ch.chan_explic) {
    // A channel hot-start that carries sediment belongs to another run.
    if (ch.carried.read) apply_carried_sediment(ch, 0, k.chan_sed, 0);
    return;
  }
  const int n = k.n_sed_classes;
  const ov_sed_record* rec = k.ov_sed.get();
  if (n < 1 || !rec || rec->part_diam.size() < n || rec->spec_grav.size() < n) {
    std::printf("Error: channel sediment transport needs the sediment classes of the SEDIMENTS table\n");
    set_error(own_message_code);
    report_error();
    return;
  }
  for (int c = 1; c <= n; ++c)
    if (!(rec->spec_grav[c] > 1.0) || !(rec->part_diam[c] > 0.0) || !std::isfinite(rec->spec_grav[c]) ||
        !std::isfinite(rec->part_diam[c])) {
      std::printf("Error: sediment class %d of the SEDIMENTS table has a specific gravity of %g and a diameter of "
                  "%g mm; a class must be denser than water (specific gravity above 1) and of some size (diameter "
                  "above 0)\n",
                  c, rec->spec_grav[c], rec->part_diam[c]);
      set_error(own_message_code);
      report_error();
      return;
    }
  chan_sed_classes classes = split_sediment_classes(n, rec->part_diam.data(), rec->spec_grav.data(), k.sand_size,
                                                    k.water_temp, k.sed_porosity);
  k.n_fine_classes = classes.n_fine;
  k.n_sand_classes = classes.n_sand;
  double sand = setup_channel_sediment(ch, ms.lake, ms.grid.ncells, std::move(classes), k.chan_sed);
  // A channel hot-start carries the sediment the run that wrote it left.
  if (ch.carried.read) {
    if (!apply_carried_sediment(ch, ms.lake.chan_lakes ? ms.lake.num_lakes : 0, k.chan_sed, n)) return;
    sand = 0.0;
    for (int m = 1; m <= k.chan_sed.classes.n_sand; ++m) sand += k.chan_sed.sand_init[m];
  }
  const int flat = ch.max_nodes_per_link * (ch.num_stream_links + 1) + 1;
  k.qsmax.alloc(flat, n + 1);  // the fine classes, the sand classes and the sand's total
  k.chan_sed_conc.alloc(flat, n);
  k.chan_fine_out.alloc(k.n_fine_classes > 0 ? k.n_fine_classes : 1);
  k.chan_sand_out.alloc(k.n_sand_classes + 1);
  // A run from a channel hot-start starts its outlet sediment series with
  // what the outlet passed when the hot-start was written.
  apply_carried_outlet_sediment(ch, k.chan_sed.classes, k.chan_fine_out, k.chan_sand_out);
  k.chan_sed_run = chan_sed_totals{};
  k.chan_sed_run.sand_init = sand;
  // The cells that hold a channel give their sediment to its nodes.
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int cell = ch.gst_gnum[i][j], link = ch.gst_link[i][j];
      if (cell >= 1 && cell <= k.ov_sed->channel_cells.size() && link >= 1 && link <= ch.num_stream_links &&
          (ch.ltype[link] & link_type::channel))
        k.ov_sed->channel_cells[cell] = 1;
    }
  if (ms.lake.chan_lakes) k.sed_vol_overland_to_lake.alloc(ms.lake.num_lakes, n);
  k.event_sed_to_chan.alloc(n);
  if (!read_sediment_locations(ms)) return;
  const int lakes = ms.lake.chan_lakes ? ms.lake.num_lakes : 0;
  k.lake_sed_run.assign(static_cast<std::size_t>(lakes) + 1, lake_sed_totals{});
  k.lake_sed_event.assign(static_cast<std::size_t>(lakes) + 1, lake_sed_totals{});
  k.lake_sed_event_start.assign(static_cast<std::size_t>(lakes) + 1, lake_sed_totals{});
}

void start_channel_sediment_event(model_state& ms) {
  if (!on(ms)) return;
  constituent_state& k = ms.constituent;
  double sand = 0.0, wash = 0.0;
  channel_volumes(ms, sand, wash);
  k.init_chan_sand_vol = sand;
  k.init_wash_load = wash;
  k.max_wash_rate = 0.0;
  k.event_wash_outflow = 0.0;
  k.chan_sed_event = chan_sed_totals{};
  for (std::size_t l = 1; l < k.lake_sed_event_start.size(); ++l)
    k.lake_sed_event_start[l] = lake_now(ms, static_cast<int>(l));
}

void finish_channel_sediment_event(model_state& ms, bool run_ends) {
  if (!on(ms)) return;
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  // The sections of erodible break-point links follow the sand their beds
  // gained or lost.
  if (ch.num_erode_bp_links > 0) {
    if (!update_erodible_sections(ch, k.chan_sed, k.adjust_channel_bed != 0)) return;
    ex_section(ch, section_mode::from_depth);
  }
  channel_volumes(ms, k.final_chan_sand, k.final_wash_load);
  (void)run_ends;
  if (k.ov_sed && k.ov_sed->books)
    for (int c = 1; c <= k.chan_sed.classes.n && c <= k.event_sed_to_chan.size(); ++c)
      k.event_sed_to_chan[c] = sediment_into_channels(*k.ov_sed->books, c, true);
  totals_from_ledger(ms, true, k.chan_sed_event);
  totals_from_ledger(ms, false, k.chan_sed_run);
  for (std::size_t l = 1; l < k.lake_sed_run.size(); ++l) {
    const lake_sed_totals now = lake_now(ms, static_cast<int>(l));
    k.lake_sed_run[l] = now;
    k.lake_sed_event[l] = difference(now, k.lake_sed_event_start[l]);
  }
  for (std::size_t l = 1; l < k.lake_sed_run.size(); ++l) {
    k.chan_sed_run.lake_wash_settled += k.lake_sed_run[l].ss_settled;
    k.chan_sed_event.lake_wash_settled += k.lake_sed_event[l].ss_settled;
  }
}

}  // namespace nivra
