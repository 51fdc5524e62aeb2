// Hydraulic properties of the channel nodes. From the depth y of a node:
// flow area A, top width T, conveyance K = (1/n) A R^(2/3) (R = A / P, so a
// discharge is K times the square root of a slope) and dK/dy; from the flow
// area: the depth, the water surface and the conveyance. A link's type
// chooses its section: a trapezoid (bottom width b, side slope z), a
// break-point table, or a trapezoid with a floodplain (side slope z2 above
// the bankfull depth). A side slope of 0 is a rectangle.
#pragma once

#include "channel/channel_state.h"

namespace nivra {

// The properties at one depth.
struct section_props {
  double area = 0.0;   // m2
  double topw = 0.0;   // m
  double conv = 0.0;   // m3/s
  double dconv = 0.0;  // m2/s
};

// How a section evaluation ended: ok, or the fault, named by the section
// kind and what went wrong.
enum class section_status {
  ok,
  trapezoid_negative_depth,
  breakpoint_negative_depth,
  floodplain_negative_depth,
  no_table,  // the node's table number lies beyond the tables read
  trapezoid_negative_area,
  breakpoint_negative_area,
  floodplain_negative_area,
  floodplain_root_below_bank,   // negative radicand of the depth up to bankfull
  floodplain_depth_below_bank,  // negative depth up to bankfull
  floodplain_root_above_bank,   // negative radicand of the depth above bankfull
  floodplain_negative_excess,   // negative depth above bankfull level
  floodplain_depth_above_bank,  // negative total depth above bankfull
};

// Prints the lines of a fault at a node.
void print_section_fault(section_status s, int node, int link);

// Properties of node `node` of channel link `link` at depth y (m). Sets
// `exceeded` when a break-point table had to be continued past its last
// level.
section_status section_at_depth(const channel_state& ch, int link, int node, double y, section_props& p,
                                bool& exceeded);

// The top width (m) of the node's water surface at depth y, as
// section_at_depth gives it (a trapezoid's without its conveyance).
section_status top_width_at_depth(const channel_state& ch, int link, int node, double y, double& topw,
                                  bool& exceeded);

// Depth (m) and conveyance of the node at flow area a (m2). An area between
// -0.0001 m2 and 0 is rounding of the routing and counts as 0 (a is set to
// 0); a lower one is refused.
section_status depth_at_area(const channel_state& ch, int link, int node, double& a, double& y, double& conv,
                             bool& exceeded);

// Over every node of every channel link: from_depth fills area, topw, conv
// and dconv from yp - bel; from_area fills chan_depth, yp and conv from
// the given areas (ch.area or a routing copy of it). A table continued past
// its last level sets ch.xsec_table_exceeded. The first failure prints its
// lines, reports code 4000 and stops the pass: false.
enum class section_mode { from_area = 1, from_depth = 2 };
bool ex_section(channel_state& ch, section_mode mode);
bool ex_section(channel_state& ch, node_array<double>& areas);

// The same for one node: from_depth recomputes the node's area, topw, conv
// and dconv from yp - bel.
bool node_section_from_depth(channel_state& ch, int link, int node);

}  // namespace nivra
