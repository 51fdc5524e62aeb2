// Hydraulic structures of the channel network. A structure link carries no
// channel of its own: its discharge is the sum over its elements (weirs,
// sag weirs, culverts, rating curves, scheduled releases, rule curves) of
// what each passes from the headwater (the water surface at the last node
// of the link above) to the tailwater (node 1 of the link below). The
// channel input file gives the elements (STRUCTTYPE and its value cards)
// inside the structure link's record, and the point-source series
// (POINTSOURCE) and pumps (PUMPTO) of any node.
//
// Units: m, s, m3/s. Elevations are water-surface or invert elevations.
#pragma once

#include <vector>

#include "core/arrays.h"
#include "surface/pumps.h"

namespace nivra {

struct elevation_series;
struct time_series;

// Kinds of structure element (structure_element::type), with the words of
// the channel input file.
namespace structure_kind {
inline constexpr int weir = 1;               // "weir": sharp or broad crest
inline constexpr int sag_weir = 2;           // "sag_weir": crest dipping between two slopes
inline constexpr int round_culvert = 3;      // "round_culvert": circular barrel
inline constexpr int oval_culvert = 4;       // "oval_culvert": arch barrel
inline constexpr int rect_culvert = 5;       // "rect_culvert": box barrel
inline constexpr int rating_curve = 6;       // "rating_curve": discharge of the headwater, interpolated
inline constexpr int scheduled_release = 7;  // "scheduled_release": discharge of the model time
inline constexpr int rule_curve = 8;         // "rule_curve": discharge of the headwater, stepwise
inline constexpr bool is_culvert(int t) { return t >= round_culvert && t <= rect_culvert; }
}  // namespace structure_kind

// The word of a kind ("weir", ...), or "" for none.
const char* structure_kind_word(int type);
// The kind whose word begins the given word (any case), 0 for none.
int structure_kind_of(const char* word);

// One element. Fields shared by several kinds hold each kind's own value:
// `length` the crest length of a weir or the barrel length of a culvert,
// `upinvert` the crest elevation of a weir or the upstream invert of a
// culvert, `width` the barrel width or diameter or a sag weir's steep side
// slope, `height` the barrel height or a sag weir's shallow side slope.
struct structure_element {
  int type = 0;
  double length = 0.0;               // m
  double upinvert = 0.0;             // m
  double downinvert = 0.0;           // m
  double slope = 0.0;                // barrel slope, m/m
  double disch_coeff_forward = 0.0;  // with the headwater upstream
  double disch_coeff_reverse = 0.0;  // with the headwater downstream
  double width = 0.0;
  double height = 0.0;
  double crest_low_loc = 0.0;        // m along the crest, as given
  double rough_coeff = 0.0;          // Manning n of a culvert barrel
  const elevation_series* elev_series = nullptr;  // rating and rule curves
  time_series* release_series = nullptr;          // scheduled releases
  int link = 0;                      // the structure link that carries it
};

// The elements of a structure link: first..last in struct_elements.
struct struct_range {
  int num_structs = 0;  // NUMSTRUCTS of the link
  int first = 10000;    // lowest element of the link (10000 when none)
  int last = 0;         // highest element of the link (0 when none)
};

// A point-source series at a channel node (POINTSOURCE): its discharge at
// the model time enters the node (a negative one leaves it).
struct node_series_source {
  int link = 0, node = 0;
  time_series* series = nullptr;
};

// What the channel input file gives besides the open-channel network.
struct channel_structures {
  std::vector<structure_element> struct_elements;  // 1..count, element 0 unused
  std::vector<struct_range> link_structs;          // per link 1..links, entry 0 unused
  std::vector<node_series_source> stream_pointsource;
  std::vector<channel_pump> stream_pumps;
  // Per flat node address (link x max_nodes_per_link + node): the discharge
  // of the node's point-source series at the current channel step, m3/s.
  array1d<double> series_flow;

  int count() const { return struct_elements.empty() ? 0 : static_cast<int>(struct_elements.size()) - 1; }
};

// ---- Weirs. Discharge (m3/s) over the element's crest from the water
// surface h1 on the link's upstream side to h2 on its downstream side,
// negative when h2 is the higher.
// A sharp or broad crest of length `length` at elevation `upinvert`: free
// flow Q = (2/3) C Lc sqrt(2g/3) H^1.5 (H the head over the crest), or
// submerged flow C Lc h sqrt(2g dh) when the tailwater head h is at least
// two thirds of H (dh the difference of the two levels).
double weir_flow_a(const structure_element& e, double h1, double h2);
// A sag weir: the crest is a parabola that falls from the steep side
// (slope `width`) to its low point at `upinvert` and rises to the shallow
// side (slope `height`) over the crest length; Q = sqrt(2g) C (H -
// zc)^2 / sqrt(k), k = (s2 - s1) / (2 Lc) its curvature.
double weir_flow_b(const structure_element& e, double h1, double h2);

// The lowest headwater (m) at which the elements of structure link `link`
// let water through downstream over a dry tailwater: a weir's crest, a sag
// weir's low point, a culvert's upstream invert, the level above which a
// rating or rule curve gives a discharge (-infinity when it gives one at
// every level). +infinity when no element depends on the headwater (a
// scheduled release) or the link has none.
double lowest_release_level(const channel_structures& s, int link);

// How a structure evaluation ended.
enum class structure_status { ok, culvert_failed };

// The sum of the elements first..last of a structure link at headwater hw
// and tailwater tw (m) at the model time (days); a culvert counts only when
// the water stands above one of its inverts. A culvert whose discharge
// cannot be found prints "Error in link number %d: " after its own lines
// and fails.
structure_status structure_sum(const channel_structures& s, int link, double hw, double tw, double model_time,
                               double& q);

}  // namespace nivra
