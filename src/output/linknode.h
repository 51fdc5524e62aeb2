// Link/node files: one quantity of the channel network (or of the pipe
// network) over time. A five-line header, then one block per output step:
// "TS    n", one line per link with one entry per node, and a blank line.
// Each entry is a presence marker and a value ("1  %6.5lf   ") or the
// missing-value entry "0  -999.999   ". Lake links carry the value of
// their lake ("-1 ..."), links of type 64 a single value ("-2 ...").
//
// mass_con_writer turns one constituent's channel array into such a file.
#pragma once

#include <span>
#include <string_view>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "output/mass_con_writer.h"

namespace nivra {

struct channel_state;
struct clock_state;
struct lake_state;
struct model_state;
struct output_state;

// Kind indices of the header card ("NIVRA_LINKNODE_" + word).
enum linknode_kind : int {
  lnk_stream_depth = 0,
  lnk_stream_flow = 1,
  lnk_stream_stage = 2,
  lnk_stream_velocity = 3,
  lnk_flood_stream_depth = 4,
  lnk_superlink_flow = 5,
  lnk_superlink_head = 6,
  lnk_superlink_tile_flow = 7,
  lnk_nutrient_mass = 8,          // + 0..8 in the order NO2 .. DO
  lnk_nutrient_conc = 17,         // + 0..8
  lnk_mass = 26,
  lnk_concentration = 27,
  lnk_total_nitrogen = 28,
  lnk_total_kjeldahl_nitrogen = 29,
  lnk_total_phosphorus = 30,
  lnk_stream_sed_flux = 31,
  lnk_kind_count = 32,            // kinds from here on have no card line
};

// The card word of a kind ("" for 32 and above).
const char* linknode_kind_word(int kind);

// Link type bits read by the writers.
inline constexpr int link_has_nodes = 4 | 8 | 16;
inline constexpr int link_is_lake = 32;
inline constexpr int link_single_value = 64;

void write_linknode_header(guarded_file& file, int kind, int num_links, int time_step, int num_ts,
                           int day, int month, int year, int hour, int minute);

// What a step block writes of a node: the value, the value minus the second
// table (a depth from a stage and the bed), or the value over the second
// table (a velocity from a discharge and the area; 0 when that is 1e-7 or
// less).
enum linknode_mode : int {
  lnk_value = 0,
  lnk_minus_second = 1,
  lnk_over_second = 2,
};

// One step block. values and second_values are [node][link]; node_counts
// (and out_node_counts when given) are per link; lake_values is indexed by
// lake number (lake_of_link[link]). Lakes carry their value in every mode
// but lnk_value, single-value links only in lnk_value; without
// out_node_counts every mode but lnk_value subtracts.
void write_linknode_step(guarded_file& file, int num_links, const int* node_counts,
                         const int* out_node_counts, const int* link_types, int step,
                         node_table values, node_table second_values, int mode, const int* lake_of_link, std::span<const double> lake_values);

// A per-lake table (index 0 included) as the lake values of a block; empty
// when the table was never made.
inline std::span<const double> lake_values_of(const array1d<double>& a) {
  if (a.empty()) return {};
  return {a.data(), static_cast<std::size_t>(a.size()) + 1};
}

// The interval and length announced in a header: the write interval in
// whole minutes and the number of such intervals in the run.
struct linknode_timing {
  int time_step = 0;
  int num_ts = 0;
  int day = 0, month = 0, year = 0, hour = 0, minute = 0;
};
// Timing of files written every `interval_steps` steps, starting at the
// run's start: the clock's calendar date, or while that is unset (year 0;
// a run whose date comes from its first event) the date of the model time
// to the nearest minute.
linknode_timing linknode_timing_for(const clock_state& clock, int interval_steps);

// Writes the headers of the run-level channel and pipe link/node files.
void init_linknode_output(model_state& ms);


// Network tables a writer borrows.
struct linknode_network {
  const int* node_counts = nullptr;      // nx1
  const int* out_node_counts = nullptr;  // og_nx1
  const int* link_types = nullptr;       // ltype
  node_table second_values;              // bel
  const int* lake_of_link = nullptr;     // lake2link
  int link_count = 0;
  int stride = 0;                        // max_nodes_per_link
};

// The channel network's tables as a writer borrows them.
linknode_network channel_network_of(const channel_state& channel, const lake_state& lakes);

// Binds a node-major source (source kind 2).
void mass_con_writer_alloc_a(mass_con_writer& w, int kind, const jagged_array<double>* row_values,
                             const linknode_network& net, const double* lake_source,
                             int lake_count);
// Binds a flat source (source kind 1).
void mass_con_writer_alloc_b(mass_con_writer& w, int kind, const double* flat_values,
                             const linknode_network& net, const double* lake_source,
                             int lake_count);

// Opens name + part2 + part3 for writing and writes the header with the
// run's interval, length and start. Every value the writer writes, a
// node's and a lake's alike, is its source's divided by `scale` (1000: g
// to kg).
void open_mass_con_files(mass_con_writer& w, std::string_view name, std::string_view part2,
                         std::string_view part3, double scale, const linknode_timing& timing);

// Fills the table from the source and writes one block.
void write_link_node_file(mass_con_writer& w);

// A link/node file that holds another number of blocks than its header's
// NUM_TS announced (a run that ended before TOT_TIME, a file of one
// block): NUM_TS becomes the k of its last block, blocks - 1, written in
// the place of the announced number (when it fits there).
void correct_linknode_count(guarded_file& file, int blocks);
// Every link/node file of the run, at its normal end.
void correct_linknode_counts(model_state& ms);

// Closes the outlet discharge file written for the ZV model (end of a run).
void close_shared_output_file(output_state& output);

}  // namespace nivra
