#include "output/summary_common.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "surface/lake_state.h"

namespace nivra::summary {

void put(std::FILE* f, const char* format, ...) {
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
}

std::string constituent_label(const model_state& ms, int c) {
  if (c >= 1 && c < static_cast<int>(ms.constituent.constituent_output_name.size()) &&
      !ms.constituent.constituent_output_name[c].empty())
    return ms.constituent.constituent_output_name[c];
  // The contaminant of the uniform cards has no name of its own.
  return "contaminant " + std::to_string(c);
}

void write_channel_sediments(const model_state& ms, std::FILE* f, bool event) {
  const chan_sed_totals& t = event ? ms.constituent.chan_sed_event : ms.constituent.chan_sed_run;
  const char* span = event ? "Event" : "Total";
  const double sand_init = event ? ms.constituent.init_chan_sand_vol : t.sand_init;
  // The run's books start with no wash load in suspension.
  const double wash_init = event ? ms.constituent.init_wash_load : 0.0;
  const double wash_out = event ? ms.constituent.event_wash_outflow : t.wash_out;
  put(f, "Initial volume of sand in channels:        %16.8lf m3\n", sand_init);
  put(f, "%s sand to chan from overland:          %16.8lf m3\n", span, t.sand_in);
  if (ms.lake.chan_lakes) put(f, "%s sand from chan to lakes:             %16.8lf m3\n", span, t.sand_to_lakes);
  put(f, "%s sand outlet discharge:               %16.8lf m3\n", span, t.sand_out);
  put(f, "Final sand in channels:                    %16.8lf m3\n", ms.constituent.final_chan_sand);
  put(f, "\n");
  if (event) put(f, "Initial wash load in suspension:           %16.8lf m3 \n", wash_init);
  put(f, "%s wash-load to chan from overland:     %16.8lf m3\n", span, t.wash_in);
  if (ms.lake.chan_lakes) {
    put(f, "%s wash-load from chan to lakes :       %16.8lf m3\n", span, t.wash_to_lakes);
    put(f, "%s wash-load from lake to chan:         %16.8lf m3\n", span, t.wash_from_lakes);
  }
  put(f, "%s wash-load outlet discharge:          %16.8lf m3\n", span, wash_out);
  // The channel point sinks draw wash load with their water.
  const bool points = channel_point_sources(ms);
  if (points) put(f, "%s wash-load drawn by point sinks:      %16.8lf m3\n", span, t.wash_drawn);
  put(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", ms.constituent.final_wash_load);
  if (event) {
    put(f, "\n");
    put(f, "Maximum rate of wash-load discharge: %16.8lf cms\n", ms.constituent.max_wash_rate);
  }

  mass_book sand, wash;
  sand.gain(sand_init);
  sand.gain(t.sand_in);
  sand.loss(t.sand_out);
  sand.loss(ms.constituent.final_chan_sand);
  wash.gain(wash_init);
  wash.gain(t.wash_in);
  wash.loss(wash_out);
  wash.loss(t.wash_drawn);
  wash.loss(ms.constituent.final_wash_load);
  if (ms.lake.chan_lakes) {
    sand.loss(t.sand_to_lakes);
    wash.gain(t.wash_from_lakes);
    wash.loss(t.wash_to_lakes);
  }
  const mass_book all{sand.in + wash.in, sand.out + wash.out};
  put(f, "\n %s channel sediment mass-balance:\n", span);
  put(f, "Mass conservation error for wash load:     %10.6lf percent\n", wash.error(1e-16));
  put(f, "Mass conservation error for sand load:     %10.6lf percent\n", sand.error(1e-16));
  put(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", all.error(1e-16));
}

bool is_nutrient(const model_state& ms, int c) {
  return ms.constituent.nutrients && at(ms.constituent.constituent_type, c) >= 2;
}

bool channel_point_sources(const model_state& ms) {
  return ms.channel.chan_point_sources_on || !ms.channel.structures.series_flow.empty();
}

attached_books attached_books_of(const model_state& ms, int c, bool event) {
  attached_books a;
  const constituent_state& k = ms.constituent;
  const mass_ledger* books = k.mass_books.get();
  if (!k.sediment_contam || !books || c < 1 || c > books->constituents()) return a;
  auto total = [&](constituent_term t) { return event ? books->event_total(c, row(t)) : books->run_total(c, row(t)); };
  const ledger_moment start = event ? ledger_moment::event_start : ledger_moment::run_start;
  a.chan_initial = books->mass(c, mass_compartment::channel_sediment_bound, start);
  a.from_lakes = total(constituent_term::attached_lakes_to_channels);
  a.to_lakes = total(constituent_term::attached_channels_to_lakes);
  a.chan_drawn = total(constituent_term::attached_point_sinks);
  a.lake_initial = books->mass(c, mass_compartment::lake_sediment_bound, start);
  a.lake_overland = total(constituent_term::attached_cells_to_lakes) - total(constituent_term::attached_lakes_to_cells);
  a.lake_exchange = -total(constituent_term::lake_sediment_release);
  a.lake_drawn = total(constituent_term::attached_lake_point_sinks);
  // The lakes' store as it stands: the summaries are written at the end
  // of the event or of the run, before the next step moves it.
  if (k.chan_attached && c < static_cast<int>(k.chan_attached->stores.size())) {
    const chan_attached_store& st = k.chan_attached->stores[static_cast<std::size_t>(c)];
    const int lakes = ms.lake.chan_lakes ? std::min(ms.lake.num_lakes, st.lake.rows()) : 0;
    for (int l = 1; l <= lakes; ++l) {
      for (int m = 1; m <= st.lake.cols(); ++m) a.lake_suspended += st.lake(l, m) / 1000.0;
      a.lake_bed += st.bed[l] / 1000.0;
    }
  }
  return a;
}

void write_lake_sediments(const model_state& ms, std::FILE* f, bool event) {
  const chan_sed_totals& t = event ? ms.constituent.chan_sed_event : ms.constituent.chan_sed_run;
  const std::vector<lake_sed_totals>& lakes = event ? ms.constituent.lake_sed_event : ms.constituent.lake_sed_run;
  // The run gives the lake totals to a tenth of a cubic metre.
  auto total = [&](const char* label, double v) {
    put(f, "%s", label);
    put(f, event ? "%16.8lf m3\n" : "%10.1lf m3\n", v);
  };
  const char* span = event ? "Event" : "Total";
  put(f, "Lake Summary \n");
  if (event) put(f, "Quanties are for this event \n");
  total("Net wash-load into lakes from overland:                     ", t.lake_wash_from_ov);
  total("Total wash-load settled in lakes:                           ", t.lake_wash_settled);
  total("Total sand-load from upstream channel settled in lake bed:  ", t.lake_sand_from_chan);
  total("Total overland sand-load settled in lake boundaries:        ", t.lake_sand_from_ov);
  put(f, "\n");
  for (int l = 1; l <= ms.lake.num_lakes; ++l) {
    lake_sed_totals s;
    if (l < static_cast<int>(lakes.size())) s = lakes[l];
    put(f, "Summary for lake %d \n", l);
    if (event) {
      put(f, "Quanties are for this event \n");
      put(f, "Initial vol of SS in lake:                  %16.8lf m3 \n", s.ss_init);
    } else {
      put(f, "\n");
    }
    put(f, "%s vol of SS from lake to chan           %16.8lf m3 \n", span, s.ss_to_chan);
    put(f, "%s vol of SS from chan to lake           %16.8lf m3 \n", span, s.ss_from_chan);
    put(f, "%s net vol of SS from overland to lake   %16.8lf m3 \n", span, s.ss_from_ov);
    put(f, "%s vol of SS settled in lake             %16.8lf m3 \n", span, s.ss_settled);
    if (channel_point_sources(ms))
      put(f, "%s vol of SS drawn by point sinks        %16.8lf m3 \n", span, s.ss_drawn);
    put(f, "Total Suspended Sediment in lake            %16.8lf m3 \n", s.ss_total);
    put(f, "\n");
    put(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n", s.ss_conc_vol * 1.0e6);
    // Solid volume to mass with the sediment density of 2645.23 kg/m3 (g/m3 = mg/L).
    put(f, "Suspended Sediment Concentration              %16.8lf mg/L\n", s.ss_conc_vol * 2645.23e3);
    put(f, "\n");
    put(f, "%s sand settled into lake bottom:        %16.8lf m3 \n", span, s.sand_bottom);
    put(f, "%s sand settled in lake boundary:        %16.8lf m3 \n", span, s.sand_boundary);
  }
}

}  // namespace nivra::summary
