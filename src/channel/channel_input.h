// The channel input file and the grid-stream file.
//
// The channel input file describes the network of one-dimensional channels
// over the grid. Its first line begins with "nivra_chan"; then come the
// five global cards ALPHA, BETA, THETA, LINKS and MAXNODES, one CONNECT
// card per link (link, downstream link, number of upstream links, the
// upstream links) and the link records, each opened by a LINK card: the
// link's type, NODES, DX, MANNINGS_N, attribute cards, and per node point
// (NODE) its ELEV, X_Y, XSEC with the trapezoid, or the break-point
// sections (NPAIRS, NUM_INTERP, X1). Lines pass through bracket-key
// replacement; the first word of a line, in any case, is its card; lines
// without a card word are skipped.
//
// The grid-stream file ties the channel nodes to the cells they cross: its
// first token begins with GRIDSTREAMFILE, the second line is STREAMCELLS n,
// then per stream cell CELLIJ row col, NUMNODES m and m LINKNODE link node
// share lines.
//
// Every number is checked where it is read; a fault names the card, the
// file and the line, and stops the run.
#pragma once

#include "core/tokens.h"

namespace nivra {

struct channel_state;
struct grid_state;
struct lake_state;
class guarded_file;

// The cards of the channel input file and of the grid-stream file; synonyms
// share a code.
enum class chan_card : int {
  alpha = 1, beta = 2, theta = 3, dx = 4, links = 5, maxnodes = 6, connect = 7, link = 8, nodes = 9,
  trapezoid = 10, subsurface_trapezoid = 11, trap_erode = 12, trapezoid_subsurface_erode = 13,
  breakpoint = 14, break_erode = 15, subsurface_breakpoint = 16, breakpoint_subsurface_erode = 17,
  erodible = 18, subsurface = 19, lake = 20, mlake = 21, structure = 22, structtype = 23, mannings_n = 24,
  max_erosion = 25, gw_bed_conductivity = 26, gw_bed_thickness = 27, dispersion_coeff = 28,
  decay_coeff = 29, num_outlets = 30, static_lake = 31, numrate = 32, node = 33, elev = 34, xsec = 35,
  bottom_width = 36, bankfull_depth = 37, side_slope = 38, x1 = 39, x_y = 40, npairs = 41,
  streamcells = 42, cellij = 43, numnodes = 44, linknode = 45, numstructs = 46, upinvert = 47,
  downinvert = 48, inlet_disch_coeff = 50, rev_flow_disch_coeff = 52, slope = 53, length = 54,
  width = 55, height = 56, diameter = 58, rough_coeff = 59, a_value = 60, b_value = 61, minwse = 62,
  initwse = 63, maxwse = 64, numpts = 65, crest_length = 66, crest_low_elev = 67, crest_low_loc = 68,
  discharge_coeff_forward = 69, discharge_coeff_reverse = 70, steep_slope = 71, shallow_slope = 72,
  pointsource = 73, num_interp = 74, pumpto = 75, overbank = 76, backwater = 77, none = 78,
};

// The code of the line's card word, which is cut off the line with the
// blanks before it (the rest starts at the separator after the word). The
// word runs to the next blank, tab or line feed; a comma is part of it, so
// "LINK," is no card. Blank lines and unknown words give none.
chan_card classify_chan_card(card_line& line);

// The upper-case word of a card, for messages.
const char* chan_card_word(chan_card c);

// What the channel input file holds besides the open-channel network.
struct chan_file_contents {
  bool network = false;        // the header begins with nivra_chan
  int lake_gw = 0;             // a MLAKE card: the lakes lose water to the aquifer
  int lake_links = 0;          // LAKE links
  int structure_links = 0;     // STRUCTURE links
  int point_sources = 0;       // POINTSOURCE cards
  int pumps = 0;               // PUMPTO cards
};

// How much the reader tells the console.
struct chan_read_options {
  bool summary = true;         // the channel summary and the grid-stream line
  bool progress = true;        // the line before the break-point sections
};

// Reads the channel input file into the network fields of the channel
// component (and chan_lakes of the lakes); the file is read once and
// closed. A file whose header does not begin with nivra_chan leaves the
// network empty (contents.network false). False after a message: the run
// is stopped.
bool read_chan_input(channel_state& ch, lake_state& lakes, guarded_file& file, const chan_read_options& options,
                     chan_file_contents& contents);

// Reads the grid-stream file into the grid-stream table once the network
// is read: every CELLIJ is a watershed cell of the grid, every LINKNODE a
// computational node of the network with a share from 0 to 1, and the
// file holds exactly STREAMCELLS cells, each with exactly its NUMNODES
// entries. False after a message: the run is stopped.
bool read_grid_stream_file(channel_state& ch, const grid_state& grid, guarded_file& file,
                           const chan_read_options& options);

}  // namespace nivra
