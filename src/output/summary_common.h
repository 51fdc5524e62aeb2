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

}  // namespace summary
}  // namespace nivra
