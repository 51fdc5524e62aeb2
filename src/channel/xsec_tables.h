// Property tables of break-point channels. A surveyed cross-section is a
// list of (x, z) points across the channel, left to right; the routing
// looks its properties up by water level: for levels 1..numhts at
// ht_spc spacing above the section's lowest point, the flow area, top
// width, wetted perimeter and conveyance (1/n) A R^(2/3), R = A / P.
#pragma once

#include <vector>

namespace nivra {

struct channel_state;

// Sections may hold at most this many levels.
inline constexpr int max_xsec_levels = 30000;
// Level spacing, m: finer is noise, coarser misses the shape.
inline constexpr double min_level_spacing = 0.0001, max_level_spacing = 1.0;
// A level that splits the water into this many stretches is refused.
inline constexpr int max_wet_stretches = 50;

// One cross-section of a break-point link as the channel file gives it.
struct bp_section {
  int node = 0;    // node of the link that carries it
  int levels = 0;  // number of levels of its table (NUM_INTERP)
  std::vector<double> x, z;
};

// The wet part of a section under a water surface at h: the water fills
// every stretch where the bed lies at or below h, each bounded by the bed
// crossing h (or by the ends of the section).
struct section_level {
  double area = 0.0;       // m2
  double top_width = 0.0;  // m
  double perimeter = 0.0;  // wetted length of the bed, m
  int stretches = 0;       // separate stretches of water
};
section_level section_at_level(const double* x, const double* z, int n, double h);

// The message of a section that a level splits into max_wet_stretches
// stretches or more.
void print_jagged_section(int link);

// Fills table t from the n points of a section: levels 1..levels at
// (zmax - zmin) / levels spacing. False (after its message; the caller
// stops the run) when the level count or spacing is out of range or a
// level finds max_wet_stretches stretches. `table` is the table's number
// within its link, for the messages.
bool interpolate_xsec(channel_state& ch, int link, int table, int t, const double* x, const double* z, int n,
                      int levels);

// Assigns tables to the computational nodes 1..nx1 - 1 of break-point link
// `link` and fills them from its sections (in node order). An erodible
// link gives every node its own section, resampled to evenly spaced
// points and kept in xbp_lnn / ybp_lnn; otherwise the nodes up to the
// first section share its table, each node up to the last section gets its
// own (the section it carries, or one interpolated point by point between
// the sections around it), and the nodes below share the last one's.
// `counter` is the last table number used. False after a message.
bool pair_breakpoint_xsecs(channel_state& ch, int link, std::vector<bp_section>& sections, int& counter);

// The number of tables pair_breakpoint_xsecs makes for a link with nodes
// 1..nx and sections at the given nodes.
int xsec_tables_needed(bool erodible, int nx, const std::vector<int>& section_nodes);

}  // namespace nivra
