// Small helpers shared by the run summary, the event summaries and the
// end-of-run files: guarded text output, per-constituent reads, mass
// books, link classes.
#pragma once

#include "model/water_ledger.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "channel/channel_storage.h"
#include "core/containers.h"
#include "output/bounded_reads.h"

namespace nivra {

struct model_state;

namespace summary {

// fprintf that writes nothing when the file is not open.
void put(std::FILE* f, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Per-constituent writes that skip a constituent the array does not reach.
template <class T>
void add_to(checked_array<T>& a, int c, T v) {
  if (c >= 1 && c <= a.count()) a[c] += v;
}
template <class T>
void set_to(checked_array<T>& a, int c, T v) {
  if (c >= 1 && c <= a.count()) a[c] = v;
}

// The books of one mass balance: storages at the start and inputs on the
// in side, storages at the end and losses on the out side.
struct mass_book {
  double in = 0.0, out = 0.0;
  void gain(double v) { in += v; }
  void loss(double v) { out += v; }
  // A two-way exchange: positive values come in, negative ones go out.
  void net(double v) {
    if (v >= 0.0)
      in += v;
    else
      out -= v;
  }
  // (in - out) / in x 100 when in exceeds floor, else 0.
  double error(double floor) const { return in > floor ? (in - out) / in * 100.0 : 0.0; }
  // (in - out) / in x 100 by the water balances' rule: no input gives 0.
  double percent() const { return percent_of(in - out, in); }
};

// Links whose nodes carry water and constituents in the channel totals.
using ::nivra::is_storage_link;

// The channel sand and wash-load volumes of the run (totals) or of the
// event, and their balance: sand comes in as the initial sand and from the
// cells and leaves through the outlet, into the lakes and as the final
// sand; wash load comes in (in an event also as the initial suspended
// load) from the cells and from the lakes and leaves through the outlet,
// into the lakes and as the final wash load.
void write_channel_sediments(const model_state& ms, std::FILE* f, bool event);

// The constituent's name, or "contaminant n" (its number) when it has none.
std::string constituent_label(const model_state& ms, int c);

// The lake sediment summary of the run (totals) or of the event: the four
// lake totals and one block per lake.
void write_lake_sediments(const model_state& ms, std::FILE* f, bool event);

// True for the nutrient-model constituents (water constituents and soil pools).
bool is_nutrient(const model_state& ms, int c);

// True when the channel network has point sources or sinks (the channel
// point-source file, or point-source series of the structures file): their
// sinks draw wash load, and the mass on it, with their water.
bool channel_point_sources(const model_state& ms);

// The terms of constituent c's mass on the fines of the channels and of the
// channel lakes over the run or the event (`event`), kg, that the
// attached blocks print beside the lines they always had: what the
// channels and the lakes held at the start, what the lakes let out into
// the channel nodes, what the point sinks drew, and the lakes' attached
// mass now on their suspended fines and on their beds. With the lakes'
// own inflows, the two blocks close: initial + in = out + final.
struct attached_books {
  double chan_initial = 0.0;    // on the channel nodes' fines at the start
  double from_lakes = 0.0;      // let out by the lakes into the channel nodes
  double to_lakes = 0.0;        // carried from the channel nodes into the lakes
  double chan_drawn = 0.0;      // drawn by the channel point sinks
  double lake_initial = 0.0;    // in the lakes at the start, suspended and settled
  double lake_overland = 0.0;   // from the lakes' cells, net of what the lakes' water carried onto the land
  double lake_exchange = 0.0;   // taken by the lakes' fines from their water (-: given to it)
  double lake_drawn = 0.0;      // drawn by the lakes' point sinks
  double lake_suspended = 0.0;  // in the lakes now, on the suspended fines
  double lake_bed = 0.0;        // in the lakes now, on the fines settled on their beds
};
attached_books attached_books_of(const model_state& ms, int c, bool event);

}  // namespace summary
}  // namespace nivra
