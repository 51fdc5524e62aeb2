// The set-up of the channel network: the map phase's call and its steps.
#pragma once

namespace nivra {

struct model_state;
struct channel_state;
struct groundwater_state;
struct grid_state;

// With explicit channel routing: reads the channel input file and the
// grid-stream file, sizes every per-node array, sets the initial state
// (from the channel hotstart when one is given), reads the channel output
// locations and writes "short_links.out" and "bad_thalweg.out". A
// structure link takes the water of one channel or lake link and gives it
// to a channel link, and its culverts get their inlet coefficients; a lake
// link lets its water out through a structure link. The channel lakes get
// their cells, volumes and levels (surface/channel_lakes.h); lakes that
// seep through their beds (MLAKE) get their beds, whose cells become the
// aquifer's lake cells under saturated groundwater. With the aquifer
// exchange (STREAM_LOSS, or saturated groundwater) the grid-stream entries
// get their exchange arrays.
void init_channel_network(model_state& ms);

// After the initial state, at the set-up of the run's first step: the
// sections of every node from its water level, the water the channels
// start the run with, and the channel point-source file (CHAN_POINT_INPUT;
// without explicit channel routing the card stops the run).
void init_channel_start(model_state& ms);

// At the start of an event: without a channel hotstart (and on the run's
// first step, or when no soil or groundwater process keeps water between
// events) every node starts dry and still, the outlet node of a fixed-head
// boundary at its depth; then the sections of every node.
void start_channel_event(model_state& ms);

// After a channel step: a node of a channel link that cannot spill (no
// OVERBANK_FLOW card, no OVERBANK card of its link) whose water stands
// above its bank height (BANKFULL_DEPTH) is warned of once per event, on
// the console and in the run summary, and counted in above_bank_nodes.
void warn_above_banks(channel_state& ch, int event, double elapsed_min);

// The end of a channel step in a long-term run after the rain: channels
// holding less than 1 % of the event's rain step at most every 60 s (on the
// model's step grid, so that their clock stays due at a model step) while
// a channel lake stands above its lowest level (lake_above_min) or the
// aquifer feeds them, and otherwise park on the overland clock once the
// outlet has almost stopped.
void slow_down_when_nearly_empty(model_state& ms);

// With IN_SED_LOC: the channel nodes of the sediment series (a count, then
// link and node pairs), echoed to the OUT_SED_LOC file that the series are
// written to, and the OUT_TSS_LOC file opened. False after a reported
// error.
bool read_sediment_locations(model_state& ms);

// Sizes the per-node state arrays of a network read by read_chan_input
// (and its grid-stream file, when there is one) and the routing's work
// arrays.
void size_channel_state(channel_state& ch);

// Depth of the downstream channel boundary from its time series, set at the
// last node of the outlet link. Returns 0.
int chan_point_source_value(model_state& ms);

// The channel hotstart: the ".dht" file gives per line "node link value
// [area]", the value the water-surface elevation (m) or, with
// HOTSTART_IS_DEPTH, the depth (m); the ".qht" file gives "node link
// discharge" (m3/s). Each must give every computational node of every
// channel link once, as the end-of-run writer leaves them. A water surface
// below the bed starts the node dry. False after a message naming the file
// and line: the run is stopped.
bool read_channel_initial_depths(channel_state& ch);

// Completes the grid-stream table: every channel link has a node spacing
// of at least 0.1 mm; the exchange tables are made (the aquifer's with
// stream-aquifer exchange). False after a message.
bool init_grid_stream(channel_state& ch, bool aquifer_exchange);

// The share of the Sacramento baseflow of each grid-stream entry: its
// length (node spacing x share) times its cell's topographic weight (its
// topographic index with TOPO_INDEX, else 1), the weights of a cell
// counted once and the shares summing to 1. False after a message.
bool compute_sacramento_weights(channel_state& ch, const groundwater_state& gw, int ncells, bool quiet);

// The share of the conceptual groundwater outflow of each grid-stream
// entry: the area its link gathers (from the upslope areas of the link
// map's channel cells) spread over the link's nodes, the shares scaled to
// sum to 1. False after a message.
bool compute_cgw_weights(channel_state& ch, const groundwater_state& gw, const grid_state& grid, bool quiet);

// With channel routing the water leaves the watershed at the last node of
// the outlet link, and the outlet cell of OUTROW and OUTCOL has no effect: a
// warning when those cards name a cell the channel network does not cross.
void warn_outlet_off_channel(const channel_state& ch, const grid_state& grid);

// "short_links.out": the links of one computational node.
bool write_short_links(const channel_state& ch);

// "bad_thalweg.out": the grid-stream entries whose bed lies above the
// ground of their cell.
bool write_bad_thalweg(const channel_state& ch, const grid_state& grid);

// Steps of the time loop: the channel routing when its clock is due, and
// the changes of the point-source file that have come due.
void channel_routing_step(model_state& ms);
void read_chan_point_input(model_state& ms);

}  // namespace nivra
