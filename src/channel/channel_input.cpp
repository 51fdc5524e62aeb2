#include "channel/channel_input.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "channel/card_lines.h"
#include "channel/channel_state.h"
#include "channel/structures.h"
#include "channel/xsec_tables.h"
#include "core/card_numbers.h"
#include "core/elevation_series.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/time_series.h"
#include "surface/lake_state.h"
#include "surface/pumps.h"

namespace nivra {

namespace {

struct word_code {
  const char* word;
  chan_card code;
};

using cc = chan_card;
constexpr word_code chan_words[] = {
    {"alpha", cc::alpha}, {"beta", cc::beta}, {"theta", cc::theta}, {"dx", cc::dx}, {"links", cc::links},
    {"maxnodes", cc::maxnodes}, {"connect", cc::connect}, {"link", cc::link}, {"nodes", cc::nodes},
    {"trapezoid", cc::trapezoid}, {"subsurface_trapezoid", cc::subsurface_trapezoid},
    {"trapezoid_subsurface", cc::subsurface_trapezoid}, {"trap_erode", cc::trap_erode},
    {"trapezoid_erode", cc::trap_erode}, {"trapezoid_subsurface_erode", cc::trapezoid_subsurface_erode},
    {"trapezoid_erode_subsurface", cc::trapezoid_subsurface_erode},
    {"subsurface_trap_erode", cc::trapezoid_subsurface_erode}, {"breakpoint", cc::breakpoint},
    {"break_erode", cc::break_erode}, {"breakpoint_erode", cc::break_erode},
    {"subsurface_breakpoint", cc::subsurface_breakpoint}, {"breakpoint_subsurface", cc::subsurface_breakpoint},
    {"breakpoint_subsurface_erode", cc::breakpoint_subsurface_erode},
    {"breakpoint_erode_subsurface", cc::breakpoint_subsurface_erode}, {"erodible", cc::erodible},
    {"erode", cc::erodible}, {"subsurface", cc::subsurface}, {"lake", cc::lake}, {"mlake", cc::mlake},
    {"structure", cc::structure}, {"structtype", cc::structtype}, {"mannings_n", cc::mannings_n},
    {"max_erosion", cc::max_erosion}, {"gw_bed_conductivity", cc::gw_bed_conductivity},
    {"k_river", cc::gw_bed_conductivity}, {"gw_bed_thickness", cc::gw_bed_thickness},
    {"m_river", cc::gw_bed_thickness}, {"dispersion_coeff", cc::dispersion_coeff},
    {"decay_coeff", cc::decay_coeff}, {"num_outlets", cc::num_outlets}, {"static", cc::static_lake},
    {"numrate", cc::numrate}, {"node", cc::node}, {"elev", cc::elev}, {"xsec", cc::xsec},
    {"bottom_width", cc::bottom_width}, {"bankfull_depth", cc::bankfull_depth}, {"side_slope", cc::side_slope},
    {"x1", cc::x1}, {"x_y", cc::x_y}, {"npairs", cc::npairs}, {"streamcells", cc::streamcells},
    {"cellij", cc::cellij}, {"numnodes", cc::numnodes}, {"linknode", cc::linknode},
    {"numstructs", cc::numstructs}, {"upinvert", cc::upinvert}, {"downinvert", cc::downinvert},
    {"inlet_disch_coeff", cc::inlet_disch_coeff}, {"rev_flow_disch_coeff", cc::rev_flow_disch_coeff},
    {"slope", cc::slope}, {"length", cc::length}, {"width", cc::width}, {"height", cc::height},
    {"diameter", cc::diameter}, {"rough_coeff", cc::rough_coeff}, {"a_value", cc::a_value},
    {"b_value", cc::b_value}, {"minwse", cc::minwse}, {"initwse", cc::initwse}, {"maxwse", cc::maxwse},
    {"numpts", cc::numpts}, {"crest_length", cc::crest_length}, {"crest_low_elev", cc::crest_low_elev},
    {"crest_low_loc", cc::crest_low_loc}, {"discharge_coeff_forward", cc::discharge_coeff_forward},
    {"discharge_coeff_reverse", cc::discharge_coeff_reverse}, {"steep_slope", cc::steep_slope},
    {"shallow_slope", cc::shallow_slope}, {"pointsource", cc::pointsource}, {"num_interp", cc::num_interp},
    {"pumpto", cc::pumpto}, {"overbank", cc::overbank}, {"backwater", cc::backwater},
};

// Card words are at most this long.
constexpr std::size_t max_card_word = 1263;

const std::unordered_map<std::string_view, chan_card>& word_index() {
  static const std::unordered_map<std::string_view, chan_card> index = [] {
    std::unordered_map<std::string_view, chan_card> m;
    for (const word_code& w : chan_words) m.emplace(w.word, w.code);
    return m;
  }();
  return index;
}

// The cards that give a value of the current structure element.
bool is_element_card(chan_card c) {
  switch (c) {
    case cc::upinvert: case cc::downinvert: case cc::inlet_disch_coeff: case cc::rev_flow_disch_coeff:
    case cc::slope: case cc::length: case cc::width: case cc::height: case cc::diameter: case cc::rough_coeff:
    case cc::a_value: case cc::b_value: case cc::crest_length: case cc::crest_low_elev: case cc::crest_low_loc:
    case cc::discharge_coeff_forward: case cc::discharge_coeff_reverse: case cc::steep_slope:
    case cc::shallow_slope:
      return true;
    default: return false;
  }
}

// The channel summary and the file's order use these groups of cards.
bool is_global(chan_card c) {
  return c == cc::alpha || c == cc::beta || c == cc::theta || c == cc::links || c == cc::maxnodes;
}

// Coefficients of a link that no process takes from the channel file (the
// channel constituents take theirs from the project cards): read past, with
// a warning naming them.
bool is_dropped(chan_card c) {
  return c == cc::dispersion_coeff || c == cc::decay_coeff || c == cc::num_outlets;
}

// The word of a dropped card, in capitals.
const char* dropped_card_word(chan_card c) {
  switch (c) {
    case cc::dispersion_coeff: return "DISPERSION_COEFF";
    case cc::decay_coeff: return "DECAY_COEFF";
    default: return "NUM_OUTLETS";
  }
}

// Cards the channel file carries without meaning for the model: the
// grid-stream cards and three coefficients that other cards give.
bool is_skipped(chan_card c) {
  return c == cc::streamcells || c == cc::cellij || c == cc::numnodes || c == cc::linknode || is_dropped(c);
}

// The whole type a type card gives a link.
int type_of(chan_card c) {
  switch (c) {
    case cc::trapezoid: return link_type::trapezoid;
    case cc::subsurface_trapezoid: return link_type::trapezoid | link_type::subsurface;
    case cc::trap_erode: return link_type::trapezoid | link_type::erodible;
    case cc::trapezoid_subsurface_erode: return link_type::trapezoid | link_type::erodible | link_type::subsurface;
    case cc::breakpoint: return link_type::breakpoint;
    case cc::subsurface_breakpoint: return link_type::breakpoint | link_type::subsurface;
    case cc::break_erode: return link_type::breakpoint | link_type::erodible;
    case cc::breakpoint_subsurface_erode:
      return link_type::breakpoint | link_type::erodible | link_type::subsurface;
    case cc::lake: return link_type::lake;
    case cc::structure: return link_type::structure;
    default: return 0;
  }
}

bool stop_run() { return stop_reading(); }

// A channel link routes water through its nodes: trapezoid or break-point.
bool is_channel(int type) { return (type & (link_type::trapezoid | link_type::breakpoint)) != 0; }

// The most nodes of a network: LINKS x MAXNODES beyond this is no
// watershed's channel.
constexpr long long max_network_nodes = 50'000'000;

class chan_reader {
 public:
  chan_reader(channel_state& ch, lake_state& lakes, guarded_file& f, const chan_read_options& o,
              chan_file_contents& c)
      : ch_(ch), lakes_(lakes), file_(f), name_(f.name.c_str()), opt_(o), out_(c) {}

  bool run() {
    if (!load()) return true;  // no network
    out_.network = true;
    return globals() && size_network() && main_pass() && read_lakes() && check_file() && check_links() &&
           complete_links() && check_structures() && check_node_works() && find_lake_outlets();
  }

 private:
  // ---- Reading.

  // The header and every card line; false when the header is not ours.
  bool load() {
    card_line line;
    if (!read_line(line, file_)) return false;
    std::string first;
    next_token(line, first);
    if (to_lower(first).compare(0, 10, "nivra_chan") != 0) return false;
    int n = 1;
    std::string whole;
    while (read_line(line, file_)) {
      ++n;
      whole.assign(line.rest());
      const chan_card c = classify_chan_card(line);
      // Lines without a card word are kept whole: the rows of a lake's
      // NUMPTS and NUMRATE cards.
      lines_.add(c, n, c == cc::none ? std::string_view(whole) : line.rest());
    }
    return true;
  }

  // The numbers of one card.
  struct values {
    card_line line;
    card_numbers num;
    values(const card_ref& r, const card_lines& lines, const char* file)
        : line(lines.rest(r)), num(line, chan_card_word(r.code), file, r.line) {}
  };

  bool fail(const card_ref& r, const char* what) {
    std::fprintf(stderr, "Error: the %s card at line %d of the channel input file %s %s.\n", chan_card_word(r.code),
                 r.line, name_, what);
    return stop_run();
  }

  // Nothing follows a card's values on its line: a token there would be a
  // value the card does not take, or one meant for another card.
  bool ends(values& v, const card_ref& r) {
    std::string extra;
    if (!next_token(v.line, extra)) return true;
    std::fprintf(stderr, "Error: the %s card at line %d of the channel input file %s holds \"%s\" after its "
                         "values; the line holds the card's word and its values only.\n",
                 chan_card_word(r.code), r.line, name_, extra.c_str());
    return stop_run();
  }

  // A row after a lake's NUMPTS or NUMRATE card ends with its values too.
  bool row_ends(card_line& row, int line) {
    std::string extra;
    if (!next_token(row, extra)) return true;
    std::fprintf(stderr, "Error: line %d of the channel input file %s holds \"%s\" after the values of its row.\n",
                 line, name_, extra.c_str());
    return stop_run();
  }

  // The cards of a lake, read by the lakes' own pass.
  static bool is_lake_card(chan_card c) {
    return c == cc::minwse || c == cc::initwse || c == cc::maxwse || c == cc::static_lake || c == cc::numpts ||
           c == cc::numrate || c == cc::mlake;
  }

  // ---- The five global cards.
  bool globals() {
    int seen = 0;
    std::size_t i = 0;
    for (; i < lines_.cards().size() && seen < 5; ++i) {
      const card_ref& r = lines_.cards()[i];
      if (!is_global(r.code)) continue;
      ++seen;
      values v(r, lines_, name_);
      switch (r.code) {
        case cc::alpha: if (!v.num.real("the routing weight", ch_.chan_alpha)) return stop_run(); break;
        case cc::beta: if (!v.num.real("the routing weight", ch_.chan_beta)) return stop_run(); break;
        case cc::theta: if (!v.num.real("the routing weight", ch_.chan_theta)) return stop_run(); break;
        case cc::links:
          if (!v.num.whole("the number of links", ch_.num_stream_links, from_to(1, 1e6))) return stop_run();
          break;
        default:
          if (!v.num.whole("the number of node points", ch_.max_nodes, from_to(1, 1e5))) return stop_run();
          break;
      }
      if (!ends(v, r)) return false;
    }
    if (seen < 5) {
      std::printf("Premature end-of-file in the channel input file.\n"
                  "The channel input file does not contain all the required parameter cards.\n"
                  "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n"
                  "Repair your channel input file and try again.  These cards must appear at\n"
                  "The beginning of the file before and COORD or LINK cards.\n"
                  "Program terminated in read_chan_input.\n");
      return stop_run();
    }
    body_ = i;
    for (const char* card : {"LINKS", "MAXNODES"}) {
      const bool given = std::strcmp(card, "LINKS") == 0 ? ch_.num_stream_links > 0 : ch_.max_nodes > 0;
      if (given) continue;
      std::fprintf(stderr, "Error: the first five cards of the channel input file %s give no %s card.\n", name_,
                   card);
      return stop_run();
    }
    return true;
  }

  // ---- Arrays of the network, sized by LINKS and MAXNODES.
  bool size_network() {
    const long long nodes = (static_cast<long long>(ch_.max_nodes) + 2) * (ch_.num_stream_links + 2);
    if (nodes > max_network_nodes) {
      std::fprintf(stderr,
                   "Error: the channel input file %s gives %d links of up to %d node points: more than %lld "
                   "nodes.\n",
                   name_, ch_.num_stream_links, ch_.max_nodes, max_network_nodes);
      return stop_run();
    }
    ch_.max_nodes_per_link = ch_.max_nodes + 1;
    ch_.link_array_size = ch_.num_stream_links + 1;
    ch_.link_node_size = ch_.max_nodes_per_link * ch_.link_array_size;
    const int links = ch_.link_array_size, rows = ch_.max_nodes_per_link;
    for (array1d<int>* a : {&ch_.ltype, &ch_.ldex, &ch_.ndep, &ch_.dslink, &ch_.nx, &ch_.nx1, &ch_.og_nx1,
                            &ch_.bplink})
      a->alloc(links);
    ch_.inv_mannings_n.alloc(links);
    ch_.link_dx.alloc(links);
    ch_.table_num.alloc(rows, links);
    for (node_array<double>* a : {&ch_.yp, &ch_.qp, &ch_.Fr, &ch_.qp_vol, &ch_.qp_vol_sed, &ch_.bottom,
                               &ch_.bankfull_dep, &ch_.bel, &ch_.lnx, &ch_.lny, &ch_.sslope, &ch_.sslope2,
                               &ch_.max_eros})
      a->alloc(rows, links);
    link_.assign(static_cast<std::size_t>(links) + 1, link_work{});
    works() = channel_structures{};
    works().link_structs.assign(static_cast<std::size_t>(links) + 1, struct_range{});
    return true;
  }

  // ---- One pass over the cards after the global ones.

  // What the reader learns of each link besides its fields.
  struct link_work {
    double manning = 0.0;      // 0: no MANNINGS_N card
    double bed_k = 0.0, bed_m = 0.0;
    bool has_bed_k = false;
    bool record = false;       // its LINK card was read
    int last_node = 0;         // highest node point a node card named
    int xsec_node = 0;         // highest node point with XSEC
    std::vector<int> section_nodes;  // node points given XSEC or section values, in order
    std::vector<int> elev_line;  // per node point: the line of its ELEV card, 0 before it
    std::vector<bp_section> sections;
    int pending_levels = 0;    // NUM_INTERP given before its NPAIRS
    int nodes_value = 0, nodes_line = 0;  // its NODES card as given, 0 without one
  };

  bool main_pass() {
    int link = 0, node = 0;
    int connects = 0, max_ndep = 0;
    std::vector<int> connect_of(static_cast<std::size_t>(ch_.link_array_size) + 1, 0);
    std::vector<int> upstream;  // the upstream links of every CONNECT card, in order
    std::vector<std::size_t> upstream_at(static_cast<std::size_t>(ch_.link_array_size) + 1, 0);
    int lakes = 0;
    const value_range link_number = from_to(1, ch_.num_stream_links);

    for (std::size_t i = body_; i < lines_.cards().size(); ++i) {
      const card_ref& r = lines_.cards()[i];
      if (is_dropped(r.code)) {
        std::printf("Warning: the %s card at line %d of the channel input file %s has no effect in this version "
                    "of NIVRA; it is ignored.\n",
                    dropped_card_word(r.code), r.line, name_);
        continue;
      }
      if (is_skipped(r.code) || r.code == cc::none) continue;
      if (is_global(r.code)) return fail(r, "belongs among the first five cards of the file");
      values v(r, lines_, name_);
      if (r.code == cc::dx) {
        // Before the first link record DX spaces no link.
        double dx = 0.0;
        if (!v.num.real("the node spacing", dx, from_to(0, 1e5, "m")) || !ends(v, r)) return stop_run();
        if (link) ch_.link_dx[link] = dx;
        continue;
      }
      if (r.code == cc::connect) {
        if (link) return fail(r, "follows the link records: every CONNECT card comes before the first LINK card");
        int l = 0, down = 0, n = 0;
        if (!v.num.whole("the link", l, link_number) ||
            !v.num.whole("the downstream link", down, from_to(0, ch_.num_stream_links)) ||
            !v.num.whole("the number of upstream links", n, from_to(0, INT_MAX)))
          return stop_run();
        if (n > max_upstream_links) return too_many_upstream(n);
        if (connect_of[l]) {
          std::fprintf(stderr, "Error: the CONNECT card at line %d of the channel input file %s is the second for "
                               "link %d (the first is at line %d).\n",
                       r.line, name_, l, connect_of[l]);
          return stop_run();
        }
        if (down == l) return fail(r, "makes a link flow into itself");
        connect_of[l] = r.line;
        ch_.dslink[l] = down;
        ch_.ndep[l] = n;
        upstream_at[l] = upstream.size();
        for (int k = 1; k <= n; ++k) {
          int u = 0;
          if (!v.num.whole("an upstream link", u, link_number)) return stop_run();
          if (u == l) return fail(r, "makes a link flow into itself");
          upstream.push_back(u);
        }
        if (!ends(v, r)) return false;
        ++connects;
        max_ndep = std::max(max_ndep, n);
        continue;
      }
      if (r.code == cc::link) {
        if (!v.num.whole("the link", link, link_number)) return stop_run();
        if (!ends(v, r)) return false;
        link_work& w = link_[link];
        if (w.record) return fail(r, "opens a second record of the same link");
        if (!close_sections(link_prev_)) return false;
        w.record = true;
        w.elev_line.assign(static_cast<std::size_t>(ch_.max_nodes) + 1, 0);
        link_prev_ = link;
        continue;
      }
      if (!link) return fail(r, "comes before the first LINK card");
      link_work& w = link_[link];
      int& type = ch_.ltype[link];
      switch (r.code) {
        case cc::nodes:
          if (!v.num.whole("the number of node points", ch_.nx1[link], from_to(1, ch_.max_nodes))) return stop_run();
          w.nodes_value = ch_.nx1[link];
          w.nodes_line = r.line;
          if (type & link_type::structure) ch_.nx1[link] = 2;
          break;
        case cc::trapezoid: case cc::subsurface_trapezoid: case cc::trap_erode:
        case cc::trapezoid_subsurface_erode: case cc::breakpoint: case cc::subsurface_breakpoint:
        case cc::break_erode: case cc::breakpoint_subsurface_erode: case cc::structure:
          // The exchange attributes of OVERBANK and BACKWATER stay.
          type = type_of(r.code) | (type & (link_type::overbank | link_type::backwater));
          ch_.ldex[link] = link;
          if (r.code == cc::structure) ch_.nx1[link] = 2;
          break;
        case cc::lake:
          type = link_type::lake | (type & (link_type::overbank | link_type::backwater));
          ch_.ldex[link] = ++lakes;
          lakes_.chan_lakes = 1;
          break;
        case cc::erodible: type |= link_type::erodible; break;
        case cc::subsurface: type |= link_type::subsurface; break;
        case cc::overbank:
          type |= link_type::overbank;
          ch_.overbank_exchange = 1;
          break;
        case cc::backwater: type |= link_type::backwater; break;
        case cc::mannings_n:
          if (!read_manning(v, r, link, w.manning)) return false;
          break;
        case cc::gw_bed_conductivity:
          if (!v.num.real("the stream-bed conductivity", w.bed_k, from_to(0, 1e6))) return stop_run();
          w.has_bed_k = true;
          break;
        case cc::gw_bed_thickness:
          if (!v.num.real("the stream-bed thickness", w.bed_m, above_to(0, 1e4, "m"))) return stop_run();
          break;
        case cc::mlake: out_.lake_gw = 1; break;
        case cc::structtype:
          if (!(type & link_type::structure))
            return fail(r, "belongs to a structure link; give the link's STRUCTURE card before its elements");
          if (!read_structtype(v, r, link)) return false;
          break;
        case cc::numstructs: {
          int n = 0;
          if (!v.num.whole("the number of structure elements", n, from_to(0, 1e6))) return stop_run();
          struct_sum_ += n;
          works().link_structs[static_cast<std::size_t>(link)].num_structs = n;
          break;
        }
        case cc::pointsource:
          ++out_.point_sources;
          if (!read_pointsource(v, r, link, type & link_type::lake ? 1 : node)) return false;
          break;
        case cc::pumpto:
          ++out_.pumps;
          if (!read_pumpto(v, r, link, node)) return false;
          break;
        case cc::node:
          if (!v.num.whole("the node point", node, from_to(1, ch_.max_nodes))) return stop_run();
          break;
        case cc::elev: case cc::x_y: case cc::xsec: case cc::bottom_width: case cc::bankfull_depth:
        case cc::side_slope: case cc::max_erosion:
          if (!node) return fail(r, "comes before any NODE card");
          if (!read_node_card(v, r.code, node, link)) return false;
          if (r.code != cc::elev && r.code != cc::x_y &&
              (w.section_nodes.empty() || w.section_nodes.back() != node))
            w.section_nodes.push_back(node);
          if (r.code == cc::elev) {
            // A second bed elevation for a node point would overwrite the first.
            int& first = w.elev_line[static_cast<std::size_t>(node)];
            if (first) {
              std::fprintf(stderr, "Error: the ELEV card at line %d of the channel input file %s is the second for "
                                   "node point %d of link %d (the first is at line %d).\n",
                           r.line, name_, node, link, first);
              return stop_run();
            }
            first = r.line;
          }
          w.last_node = std::max(w.last_node, node);
          break;
        case cc::npairs: case cc::num_interp: case cc::x1:
          if (!(type & link_type::breakpoint))
            return fail(r, "belongs to a break-point link; give the link's BREAKPOINT card before its sections");
          if (!read_section_card(v, r, node, link)) return false;
          break;
        default:
          if (is_element_card(r.code)) {
            if (!read_element_card(v, r, link)) return false;
          }
          // Lake values: read with the lakes' process.
          break;
      }
      if (!is_lake_card(r.code) && !ends(v, r)) return false;
    }
    if (!close_sections(link_prev_)) return false;

    if (connects != ch_.num_stream_links) {
      std::printf("Your channel input file contains %d links, and %d CONNECT cards\n"
                  "These two numbers must be equal.  Therefore, you have a major \n"
                  "problem with your channel input file.  NIVRA cannot proceed.\n"
                  "Fifteen yard penalty from the line of scrimmage.\n"
                  "program terminated.\n",
                  ch_.num_stream_links, connects);
      return stop_run();
    }
    ch_.uslinks.alloc(ch_.link_array_size, std::max(max_ndep, 1));
    for (int l = 1; l <= ch_.num_stream_links; ++l)
      for (int k = 1; k <= ch_.ndep[l]; ++k) ch_.uslinks[l][k] = upstream[upstream_at[l] + k - 1];
    max_ndep_ = max_ndep;
    return true;
  }

  // ---- The lakes: a pass of their own over the link records. LAKE opens
  // the next lake on the current link; MINWSE, INITWSE, MAXWSE, STATIC,
  // MLAKE, NUMPTS and NUMRATE describe the lake opened last. The rows of
  // NUMPTS (ten row-column pairs a line) and NUMRATE (elevation, volume,
  // area) follow on the lines after their card and are not cards.
  bool read_lakes() {
    if (!lakes_.chan_lakes) return true;
    int count = 0;
    for (std::size_t i = body_; i < lines_.cards().size(); ++i)
      if (lines_.cards()[i].code == cc::lake) ++count;
    lakes_.num_lakes = count;
    lakes_.chan_lake.alloc(count);
    lakes_.lake2link.alloc(ch_.link_array_size);
    std::vector<bool> initial_given(static_cast<std::size_t>(count) + 1, false);
    int link = 0, lake = 0;
    const auto& cards = lines_.cards();
    for (std::size_t i = body_; i < cards.size(); ++i) {
      const card_ref& r = cards[i];
      switch (r.code) {
        case cc::link: {
          values v(r, lines_, name_);
          if (!v.num.whole("the link", link)) return stop_run();
          continue;
        }
        case cc::lake:
          ++lake;
          lakes_.lake2link[link] = lake;
          lakes_.chan_lake[lake].link = link;
          continue;
        case cc::minwse: case cc::initwse: case cc::maxwse: case cc::static_lake: case cc::numpts:
        case cc::numrate:
          break;
        case cc::mlake:
          if (!lake) return fail(r, "comes before any LAKE card");
          break;
        default: continue;
      }
      if (!lake || lakes_.lake2link[link] != lake) return fail(r, "belongs to a lake link, after its LAKE card");
      channel_lake& k = lakes_.chan_lake[lake];
      values v(r, lines_, name_);
      switch (r.code) {
        case cc::minwse: if (!v.num.real("the minimum water surface", k.minwse, ground_elevation)) return stop_run(); break;
        case cc::maxwse: if (!v.num.real("the maximum water surface", k.maxwse, ground_elevation)) return stop_run(); break;
        case cc::initwse:
          if (!v.num.real("the initial water surface", k.initwse, ground_elevation)) return stop_run();
          initial_given[static_cast<std::size_t>(lake)] = true;
          break;
        case cc::static_lake: k.yes_static_lake = true; break;
        case cc::mlake:
          if (!v.num.real("the lake-bed thickness", k.Mlake, above_to(0, 1e4, "m"))) return stop_run();
          k.calc_loss = true;
          break;
        case cc::numpts:
          if (!read_search_cells(v, r, i, k)) return false;
          continue;
        case cc::numrate:
          if (!read_rating(v, r, i, k)) return false;
          continue;
      }
      if (!ends(v, r)) return false;
    }
    for (int l = 1; l <= count; ++l) {
      const channel_lake& k = lakes_.chan_lake[l];
      if (!initial_given[static_cast<std::size_t>(l)]) {
        std::fprintf(stderr, "Error: the lake of link %d in the channel input file %s has no INITWSE card.\n", k.link,
                     name_);
        return stop_run();
      }
      if (k.search_cell.empty() && k.search_row.empty()) {
        std::fprintf(stderr, "Error: the lake of link %d in the channel input file %s lists no cells (NUMPTS).\n",
                     k.link, name_);
        return stop_run();
      }
    }
    return true;
  }

  // The line after card i, or a fault when the file ends before it.
  const card_ref* row_after(std::size_t& i, const card_ref& card) {
    if (i + 1 >= lines_.cards().size()) {
      fail(card, "is followed by fewer rows than it announces");
      return nullptr;
    }
    return &lines_.cards()[++i];
  }

  bool read_search_cells(values& v, const card_ref& r, std::size_t& i, channel_lake& k) {
    int n = 0;
    if (!v.num.whole("the number of cells", n, from_to(1, 1e7))) return stop_run();
    if (!ends(v, r)) return false;
    k.search_row.assign(static_cast<std::size_t>(n), 0);
    k.search_col.assign(static_cast<std::size_t>(n), 0);
    card_line row;
    std::optional<card_numbers> num;
    int line = 0;
    for (int p = 0; p < n; ++p) {
      if (p % 10 == 0) {
        const card_ref* next = row_after(i, r);
        if (!next) return false;
        row = lines_.rest(*next);
        line = next->line;
        num.emplace(row, name_, line);
      }
      if (!num->whole("a lake cell's row", k.search_row[static_cast<std::size_t>(p)], from_to(1, 1e7)) ||
          !num->whole("a lake cell's column", k.search_col[static_cast<std::size_t>(p)], from_to(1, 1e7)))
        return stop_run();
      // A row holds ten cells, the last row the rest.
      if ((p % 10 == 9 || p == n - 1) && !row_ends(row, line)) return false;
    }
    return true;
  }

  bool read_rating(values& v, const card_ref& r, std::size_t& i, channel_lake& k) {
    int n = 0;
    if (!v.num.whole("the number of rating rows", n, from_to(2, 1e6))) return stop_run();
    if (!ends(v, r)) return false;
    k.rate_elev.assign(static_cast<std::size_t>(n), 0.0);
    k.rate_volume.assign(static_cast<std::size_t>(n), 0.0);
    k.rate_area.assign(static_cast<std::size_t>(n), 0.0);
    for (std::size_t p = 0; p < static_cast<std::size_t>(n); ++p) {
      const card_ref* next = row_after(i, r);
      if (!next) return false;
      card_line row(lines_.rest(*next));
      card_numbers num(row, name_, next->line);
      if (!num.real("a rating elevation", k.rate_elev[p], ground_elevation) ||
          !num.real("a rating volume", k.rate_volume[p], from_to(0, 1e13, "m3")) ||
          !num.real("a rating area", k.rate_area[p], from_to(0, 1e11, "m2")))
        return stop_run();
      if (!row_ends(row, next->line)) return false;
      if (p > 0 && !(k.rate_elev[p] > k.rate_elev[p - 1] && k.rate_volume[p] > k.rate_volume[p - 1])) {
        std::fprintf(stderr, "Error: line %d of the channel input file %s: the rows of a lake's rating curve rise "
                             "in elevation and in volume, each above the row before.\n",
                     next->line, name_);
        return stop_run();
      }
    }
    k.yes_defined_curve_lake = true;
    return true;
  }

  bool too_many_upstream(int n) {
    std::printf("Whoa there pardner!  You mean to tell me that you have more than 20\n"
                "channels flowing into one point?  How can that be?  I reckon that you\n"
                "or that new-fangled interface your a usin' have made a serious mistake.\n"
                "OR maybe you are trying to use this here model to simulate the runoff\n"
                "into the Great Lakes!.  In either case, I ain't gonna let you do it.\n"
                "Program terminated because the maximum number of upstream dependencies\n"
                "in the read_chan_input subroutine was equal to %d, which is, frankly, a\n"
                "reediculous number.  Fifteen yard penalty from the spot of the foul.\n",
                n);
    return stop_run();
  }

  bool read_manning(values& v, const card_ref& r, int link, double& manning) {
    double n = 0.0;
    if (!v.num.real("Manning's n", n)) return stop_run();
    if (n < min_manning_n) {
      std::printf("Error encountered when reading the channel input file, link %d:\n"
                  "    Manning's Roughness is 0.000\n",
                  link);
      return stop_run();
    }
    if (n > max_manning_n) return fail(r, "gives a Manning's n above 10");
    manning = n;
    return true;
  }

  bool read_node_card(values& v, chan_card c, int node, int link) {
    switch (c) {
      case cc::elev: return v.num.real("the bed elevation", ch_.bel(node, link), ground_elevation) || stop_run();
      case cc::x_y:
        return (v.num.real("the x coordinate", ch_.lnx(node, link)) &&
                v.num.real("the y coordinate", ch_.lny(node, link))) ||
               stop_run();
      case cc::xsec: link_[link].xsec_node = std::max(link_[link].xsec_node, node); return true;
      case cc::bottom_width:
        return v.num.real("the bottom width", ch_.bottom(node, link), from_to(0, 1e5, "m")) || stop_run();
      case cc::bankfull_depth:
        return v.num.real("the bankfull depth", ch_.bankfull_dep(node, link), from_to(0, 1e4, "m")) || stop_run();
      case cc::side_slope:
        return v.num.real("the side slope", ch_.sslope(node, link), from_to(0, 1e4)) || stop_run();
      default:
        return v.num.real("the erosion depth", ch_.max_eros(node, link), from_to(0, 1e4, "m")) || stop_run();
    }
  }

  // NPAIRS opens a section at the current node, NUM_INTERP gives the level
  // count of the section being read (or of the next one when the last is
  // complete), X1 adds a point to the open section.
  bool read_section_card(values& v, const card_ref& r, int node, int link) {
    link_work& w = link_[link];
    const bool open = !w.sections.empty() && w.sections.back().x.size() < open_size_;
    if (r.code == cc::npairs) {
      if (open) return short_section(link, r.line);
      int n = 0;
      if (!v.num.whole("the number of pairs", n, from_to(2, 1e5))) return stop_run();
      bp_section s;
      s.node = node;
      s.levels = w.pending_levels;
      s.x.reserve(n);
      s.z.reserve(n);
      w.sections.push_back(std::move(s));
      w.pending_levels = 0;
      open_size_ = static_cast<std::size_t>(n);
      ch_.max_npairs = std::max(ch_.max_npairs, n);
      return true;
    }
    if (r.code == cc::num_interp) {
      int k = 0;
      if (!v.num.whole("the number of levels", k)) return stop_run();
      const int table = static_cast<int>(w.sections.size()) + (open ? 0 : 1);
      if (k < 1 || k > max_xsec_levels) {
        std::printf("\n\nError: The number of interpolation points [%d] for table %d in link %d is invalid. "
                    "(Range is 1-30000.) \n",
                    k, table, link);
        return stop_run();
      }
      (open ? w.sections.back().levels : w.pending_levels) = k;
      ch_.max_num_interp = std::max(ch_.max_num_interp, k);
      return true;
    }
    if (!open) {
      if (w.sections.empty()) return fail(r, "comes before the link's first NPAIRS card");
      std::printf("\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table %d in link %d.\n",
                  static_cast<int>(w.sections.size()), link);
      return stop_run();
    }
    bp_section& s = w.sections.back();
    double x = 0.0, z = 0.0;
    if (!v.num.real("the distance across", x) || !v.num.real("the bed elevation", z)) return stop_run();
    if (!s.x.empty() && x < s.x.back())
      return fail(r, "goes back across the channel: the points of a section run from left to right");
    s.x.push_back(x);
    s.z.push_back(z);
    if (s.x.size() == open_size_) open_size_ = 0;
    return true;
  }

  bool short_section(int link, int line) {
    const link_work& w = link_[link];
    std::fprintf(stderr,
                 "Error: table %d of link %d in the channel input file %s has %d of its %d X1 cards before line "
                 "%d.\n",
                 static_cast<int>(w.sections.size()), link, name_, static_cast<int>(w.sections.back().x.size()),
                 static_cast<int>(open_size_), line);
    return stop_run();
  }

  // At the end of a link record its last section must be complete.
  bool close_sections(int link) {
    if (!link || link_[link].sections.empty() || open_size_ == 0) return true;
    const link_work& w = link_[link];
    std::fprintf(stderr, "Error: table %d of link %d in the channel input file %s has %d of its %d X1 cards.\n",
                 static_cast<int>(w.sections.size()), link, name_, static_cast<int>(w.sections.back().x.size()),
                 static_cast<int>(open_size_));
    return stop_run();
  }

  // ---- The file as a whole: structure elements, the summary, the sections.
  bool check_file() {
    if (struct_sum_ != struct_elements_) {
      std::printf("\nThe sum of NUMSTRUCTS arguments is %d, while the total number\n"
                  "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n"
                  "etc.) is %d.  This inconstency is intolerable.  Check your channel\n"
                  "input file.  Program terminated.\n",
                  struct_sum_, struct_elements_);
      return stop_run();
    }
    print_summary();
    return true;
  }

  void print_summary() {
    int trap = 0, trap_sub = 0, trap_erode = 0, bp = 0, bp_sub = 0, bp_erode = 0, max_tables = 0, lake = 0,
        structure = 0, gw = 0;
    for (int l = 1; l <= ch_.num_stream_links; ++l) {
      const int t = ch_.ltype[l];
      const link_work& w = link_[l];
      if (t & link_type::trapezoid) {
        ++trap;
        trap_sub += (t & link_type::subsurface) != 0;
        trap_erode += (t & link_type::erodible) != 0;
      }
      if (t & link_type::breakpoint) {
        ++bp;
        bp_sub += (t & link_type::subsurface) != 0;
        bp_erode += (t & link_type::erodible) != 0;
        max_tables = std::max(max_tables, static_cast<int>(w.sections.size()));
      }
      lake += (t & link_type::lake) != 0;
      structure += (t & link_type::structure) != 0;
      gw += w.has_bed_k;
    }
    out_.lake_links = lake;
    out_.structure_links = structure;
    if (!opt_.summary) return;
    std::printf("\n\nChannel input data:\n");
    std::printf("  max. number of u.s. dependencies:      %d\n", max_ndep_);
    std::printf("  number of trapezoidal links:           %d\n", trap);
    std::printf("    num w/ subsurface attribute:           %d\n", trap_sub);
    std::printf("    num w/ erodible attribute:             %d\n", trap_erode);
    std::printf("  number of breakpoint links:            %d\n", bp);
    std::printf("    num w/ subsurface attribute:           %d\n", bp_sub);
    std::printf("    num w/ erodible attribute:             %d\n", bp_erode);
    std::printf("    max number of xsec in any bp link:     %d\n", max_tables);
    std::printf("    max number of xsec pairs:              %d\n", ch_.max_npairs);
    std::printf("  number of lake links:                  %d\n", lake);
    std::printf("  number of hydraulic structure links:   %d\n", structure);
    std::printf("    total no. of hydr. structure elements: %d\n", struct_elements_);
    std::printf("  number of groundwater links:           %d\n", gw);
    if (gw != trap_sub + bp_sub)
      std::printf(" ===> Error: the number of specified subsurface links does not match the number of subsurface "
                  "\nparameters. Check your subsurface links to ensure that they specify the bed concuctivity and "
                  "thickness\n");
  }

  // ---- Every link is complete: a type, node points for the cards that
  // name them, Manning's n and a section for every channel link.
  bool link_fault(int link, const char* what) {
    std::fprintf(stderr, "Error: link %d of the channel input file %s %s.\n", link, name_, what);
    return stop_run();
  }

  // Every node point 1 to NODES of link l has its ELEV card.
  bool node_beds(int l) {
    const link_work& w = link_[l];
    for (int k = 1; k <= ch_.nx1[l]; ++k) {
      if (w.elev_line.size() > static_cast<std::size_t>(k) && w.elev_line[static_cast<std::size_t>(k)]) continue;
      std::fprintf(stderr, "Error: link %d of the channel input file %s has no ELEV card for node point %d: every "
                           "node point 1 to %d (NODES) takes its bed elevation (m, -11000 to 9000).\n",
                   l, name_, k, ch_.nx1[l]);
      return stop_run();
    }
    return true;
  }

  bool check_links() {
    for (int l = 1; l <= ch_.num_stream_links; ++l) {
      const int t = ch_.ltype[l];
      const link_work& w = link_[l];
      if (!(t & (link_type::channel | link_type::lake | link_type::structure)))
        return link_fault(l, "has no type card (TRAPEZOID, BREAKPOINT, LAKE, STRUCTURE or one of their kinds)");
      if (w.last_node > ch_.nx1[l]) {
        std::fprintf(stderr, "Error: link %d of the channel input file %s has %d node points (NODES) but cards "
                             "for node point %d.\n",
                     l, name_, ch_.nx1[l], w.last_node);
        return stop_run();
      }
      // A lake or a structure link may give no node cards; one that gives
      // them gives every node point its NODES count announces.
      if (!is_channel(t)) {
        if (w.last_node > 0 && !node_beds(l)) return false;
        continue;
      }
      if (ch_.nx1[l] < 2) return link_fault(l, "needs NODES of at least 2: a channel runs between node points");
      if (w.manning <= 0.0) return link_fault(l, "is a channel without a MANNINGS_N card");
      if (t & link_type::trapezoid) {
        if (!w.xsec_node) {
          std::printf("Error: Cross section parameters not found for link %d.\n", l);
          return stop_run();
        }
        const int k = w.xsec_node;
        // One section serves the whole link: values given at another node
        // point are read and not used, which the run says.
        for (const int other : w.section_nodes)
          if (other != k) {
            std::printf("Warning: link %d of the channel input file %s gives section values at node point %d; a "
                        "trapezoidal link takes the one section of its last XSEC node point, %d, and does not use "
                        "them.\n",
                        l, name_, other, k);
            break;
          }
        if (ch_.bottom(k, l) <= 0.0 && ch_.sslope(k, l) <= 0.0)
          return link_fault(l, "has a trapezoid of no width: BOTTOM_WIDTH and SIDE_SLOPE are both 0");
      }
      if (t & link_type::breakpoint) {
        if (w.sections.empty()) return link_fault(l, "is a break-point channel without a section (NPAIRS)");
        if (w.sections.size() > 1)
          for (std::size_t j = 0; j < w.sections.size(); ++j) {
            const int node = w.sections[j].node;
            if (node < 1 || node > ch_.nx1[l] || (j > 0 && node <= w.sections[j - 1].node)) {
              std::fprintf(stderr, "Error: link %d of the channel input file %s gives section %d at node point %d: "
                                   "the sections of a link lie at node points 1 to %d, each below the one before.\n",
                           l, name_, static_cast<int>(j) + 1, node, ch_.nx1[l]);
              return stop_run();
            }
          }
      }
      // Every node point of a channel takes its bed elevation from its own
      // ELEV card: the routing runs on the bed between them.
      if (!node_beds(l)) return false;
    }
    bool breakpoint_links = false;
    for (int l = 1; l <= ch_.num_stream_links; ++l)
      if (ch_.ltype[l] & link_type::breakpoint) breakpoint_links = true;
    if (breakpoint_links && ch_.max_num_interp < 1) {
      std::printf("Error: the number of interpolation points has not been specifiedfor any table. Each "
                  "break-point cross-section table should have a NUM_INTERP ### card below the NPAIRS card\n");
      return stop_run();
    }
    return true;
  }

  // ---- Completion: bed parameters, Manning's n, the trapezoids, the
  // break-point tables, the computational nodes and their beds.
  bool complete_links() {
    const int links = ch_.num_stream_links;
    bool bed_cards = false;
    for (int l = 1; l <= links; ++l) bed_cards = bed_cards || link_[l].has_bed_k;
    if (bed_cards || ch_.stream_loss == 1) {
      ch_.Krb.alloc(ch_.max_nodes_per_link, ch_.link_array_size);
      ch_.Mrb.alloc(ch_.max_nodes_per_link, ch_.link_array_size);
      for (int l = 1; l <= links; ++l) {
        const int t = ch_.ltype[l];
        const bool own = is_channel(t) && (t & link_type::subsurface);
        for (int k = 1; k <= ch_.nx1[l]; ++k) {
          ch_.Krb(k, l) = own ? link_[l].bed_k : ch_.k_river;
          ch_.Mrb(k, l) = own ? link_[l].bed_m : ch_.m_river;
        }
      }
    }
    for (int l = 1; l <= links; ++l) {
      // Lake and structure links carry no Manning's n.
      ch_.inv_mannings_n[l] = link_[l].manning > 0.0 ? 1.0 / link_[l].manning : 0.0;
      if (!(ch_.ltype[l] & link_type::trapezoid)) continue;
      // A trapezoidal link has one cross-section, that of its XSEC node.
      const int x = link_[l].xsec_node;
      const bool erodible = ch_.ltype[l] & link_type::erodible;
      for (int k = 1; k <= ch_.nx1[l]; ++k) {
        ch_.sslope(k, l) = ch_.sslope(x, l);
        ch_.bottom(k, l) = ch_.bottom(x, l);
        ch_.bankfull_dep(k, l) = ch_.bankfull_dep(x, l);
        if (erodible) ch_.max_eros(k, l) = ch_.max_eros(x, l);
      }
    }
    if (!break_point_tables()) return false;
    for (int l = 1; l <= links; ++l) {
      const bool channel = is_channel(ch_.ltype[l]);
      const int n = channel ? ch_.nx1[l] - 1 : ch_.nx1[l];
      ch_.nx[l] = n;
      ch_.og_nx1[l] = n;
      // The bed of a computational node lies between two node points; the
      // last node of a lake or structure link is a node point itself.
      for (int k = 1; k <= n; ++k) {
        if (channel || k < n) ch_.bel(k, l) = (ch_.bel(k, l) + ch_.bel(k + 1, l)) * 0.5;
        ch_.yp(k, l) = ch_.bel(k, l);
        ch_.qp(k, l) = 0.0;
      }
    }
    return true;
  }

  bool break_point_tables() {
    const int links = ch_.num_stream_links;
    int erodible = 0, tables = 0;
    for (int l = 1; l <= links; ++l) {
      if (!(ch_.ltype[l] & link_type::breakpoint)) continue;
      const bool erodes = ch_.ltype[l] & link_type::erodible;
      if (erodes) ch_.bplink[l] = ++erodible;
      std::vector<int> nodes;
      for (const bp_section& s : link_[l].sections) nodes.push_back(s.node);
      tables += xsec_tables_needed(erodes, ch_.nx1[l] - 1, nodes);
    }
    if (tables == 0) return true;
    ch_.num_erode_bp_links = erodible;
    ch_.num_xsec_tables = tables;
    const int levels = ch_.max_num_interp;
    for (node_array<double>* a : {&ch_.xarea, &ch_.xtw, &ch_.xp, &ch_.xk}) a->alloc(levels, tables);
    ch_.numpairs.alloc(tables);
    ch_.numhts.alloc(tables);
    ch_.ht_spc.alloc(tables);
    if (erodible > 0) {
      ch_.xbp_lnn.alloc(erodible, ch_.max_nodes_per_link, ch_.max_npairs);
      ch_.ybp_lnn.alloc(erodible, ch_.max_nodes_per_link, ch_.max_npairs);
      ch_.max_yp.alloc(erodible, ch_.max_nodes_per_link);
      ch_.ch_sand_vol0.alloc(erodible, ch_.max_nodes_per_link);
    }
    if (opt_.progress) std::printf("Reading and interpolating break-point cross-sections ");
    int counter = 0;
    for (int l = 1; l <= links; ++l) {
      if (!(ch_.ltype[l] & link_type::breakpoint)) continue;
      if (!pair_breakpoint_xsecs(ch_, l, link_[l].sections, counter)) return stop_run();
      std::printf(".");
    }
    std::printf("\n");
    return true;
  }

  // ---- Structure elements, point-source series and pumps.

  channel_structures& works() { return ch_.structures; }

  // STRUCTTYPE kind [series]: opens the next element of the link.
  bool read_structtype(values& v, const card_ref& r, int link) {
    std::string word;
    next_token(v.line, word);
    const int kind = structure_kind_of(word.c_str());
    if (!kind) {
      std::fprintf(stderr, "Error: the STRUCTTYPE card at line %d of the channel input file %s gives the kind \"%s\", "
                           "which is none of weir, sag_weir, round_culvert, oval_culvert, rect_culvert, "
                           "rating_curve, scheduled_release and rule_curve.\n",
                   r.line, name_, word.c_str());
      return stop_run();
    }
    ++struct_elements_;
    channel_structures& s = works();
    if (s.struct_elements.empty()) s.struct_elements.emplace_back();  // element 0 is no element
    structure_element e;
    e.type = kind;
    e.link = link;
    if (kind == structure_kind::rating_curve || kind == structure_kind::rule_curve ||
        kind == structure_kind::scheduled_release) {
      const bool rating = kind == structure_kind::rating_curve;
      const bool release = kind == structure_kind::scheduled_release;
      std::string name;
      next_token(v.line, name);
      strip_quotes(name);
      if (name.empty()) return series_fault(rating ? 85 : release ? 87 : 89);
      if (release)
        e.release_series = find_time_series(name);
      else
        e.elev_series = find_elev_series(name);
      if (!e.release_series && !e.elev_series) {
        std::printf("Error: the STRUCTTYPE card at line %d of the channel input file %s names the %s series "
                    "\"%s\".\n",
                    r.line, name_, release ? "time" : "elevation", name.c_str());
        return series_fault(rating ? 86 : release ? 88 : 90);
      }
    }
    s.struct_elements.push_back(e);
    element_lines_.push_back(r.line);
    down_given_.push_back(false);
    const int number = s.count();
    struct_range& range = s.link_structs[static_cast<std::size_t>(link)];
    range.first = std::min(range.first, number);
    range.last = std::max(range.last, number);
    return true;
  }

  static bool series_fault(int code) {
    set_error(code);
    report_error();
    return false;
  }

  // A value card of the link's last element.
  bool read_element_card(values& v, const card_ref& r, int link) {
    channel_structures& s = works();
    const struct_range& range = s.link_structs[static_cast<std::size_t>(link)];
    if (range.last < 1) return fail(r, "comes before the link's first STRUCTTYPE card");
    structure_element& e = s.struct_elements[static_cast<std::size_t>(range.last)];
    const value_range length = from_to(0, 1e5, "m"), size = from_to(0, 1e4, "m"), coeff = from_to(0, 10),
                      side_slope = from_to(-100, 100);
    switch (r.code) {
      case cc::length: case cc::crest_length:
        return v.num.real("the length", e.length, length) || stop_run();
      case cc::upinvert: case cc::crest_low_elev:
        return v.num.real("the elevation", e.upinvert, ground_elevation) || stop_run();
      case cc::downinvert:
        down_given_.back() = true;
        return v.num.real("the downstream invert", e.downinvert, ground_elevation) || stop_run();
      case cc::slope: return v.num.real("the barrel slope", e.slope, from_to(-1, 1, "m/m")) || stop_run();
      case cc::inlet_disch_coeff: case cc::discharge_coeff_forward:
        return v.num.real("the discharge coefficient", e.disch_coeff_forward, coeff) || stop_run();
      case cc::rev_flow_disch_coeff: case cc::discharge_coeff_reverse:
        return v.num.real("the discharge coefficient", e.disch_coeff_reverse, coeff) || stop_run();
      case cc::width: case cc::diameter: case cc::a_value:
        return v.num.real("the barrel size", e.width, size) || stop_run();
      case cc::height: case cc::b_value: return v.num.real("the barrel size", e.height, size) || stop_run();
      case cc::steep_slope: return v.num.real("the side slope", e.width, side_slope) || stop_run();
      case cc::shallow_slope: return v.num.real("the side slope", e.height, side_slope) || stop_run();
      case cc::crest_low_loc: return v.num.real("the distance", e.crest_low_loc, length) || stop_run();
      default: return v.num.real("Manning's n", e.rough_coeff, from_to(0, max_manning_n)) || stop_run();
    }
  }

  // POINTSOURCE series: the named time series feeds the node.
  bool read_pointsource(values& v, const card_ref& r, int link, int node) {
    if (!node) return fail(r, "comes before any NODE card");
    std::string name;
    next_token(v.line, name);
    strip_quotes(name);
    time_series* ts = name.empty() ? nullptr : find_time_series(name);
    if (!ts) {
      std::fprintf(stderr, "Error: the POINTSOURCE card at line %d of the channel input file %s names the time "
                           "series \"%s\", which no time series file of the project holds.\n",
                   r.line, name_, name.c_str());
      return stop_run();
    }
    works().stream_pointsource.push_back(node_series_source{link, node, ts});
    point_lines_.push_back(r.line);
    return true;
  }

  // PUMPTO link node ELEV|TS series: a pump from the current node.
  bool read_pumpto(values& v, const card_ref& r, int link, int node) {
    if (!node) return fail(r, "comes before any NODE card");
    channel_pump p;
    p.link = link;
    p.node = node;
    std::string why;
    if (!parse_pump(v.line, p.to_link, p.to_node, p.rating, why)) return fail(r, why.c_str());
    works().stream_pumps.push_back(p);
    pump_lines_.push_back(r.line);
    return true;
  }

  bool element_fault(int i, const char* what) {
    const structure_element& e = works().struct_elements[static_cast<std::size_t>(i)];
    std::fprintf(stderr, "Error: the %s element of link %d (STRUCTTYPE at line %d of the channel input file %s) %s.\n",
                 structure_kind_word(e.type), e.link, element_lines_[static_cast<std::size_t>(i) - 1], name_, what);
    return stop_run();
  }

  // Each lake's outlet: the lowest level at which the structure link below
  // it lets water out.
  bool find_lake_outlets() {
    for (int lake = 1; lake <= lakes_.num_lakes; ++lake) {
      channel_lake& k = lakes_.chan_lake[lake];
      const int down = k.link >= 1 && k.link <= ch_.num_stream_links ? ch_.dslink[k.link] : 0;
      if (down >= 1 && (ch_.ltype[down] & link_type::structure)) k.outlet_level = lowest_release_level(works(), down);
    }
    return true;
  }

  // Every element holds what its kind needs; a culvert's barrel slope
  // follows from its inverts, or its downstream invert from the slope.
  bool check_structures() {
    channel_structures& s = works();
    for (int l = 1; l <= ch_.num_stream_links; ++l) {
      if (!(ch_.ltype[l] & link_type::structure)) continue;
      if (s.link_structs[static_cast<std::size_t>(l)].last < 1)
        return link_fault(l, "is a structure link without an element (STRUCTTYPE)");
      // A structure joins the last node above to the first node below: its
      // link has two node points.
      const link_work& w = link_[l];
      if (w.nodes_line && w.nodes_value != 2) {
        std::fprintf(stderr, "Error: the NODES card at line %d of the channel input file %s gives structure link %d "
                             "%d node points; a structure link has 2 (NODES 2, or no NODES card).\n",
                     w.nodes_line, name_, l, w.nodes_value);
        return stop_run();
      }
    }
    for (int i = 1; i <= s.count(); ++i) {
      structure_element& e = s.struct_elements[static_cast<std::size_t>(i)];
      const int t = e.type;
      if ((t == structure_kind::weir || t == structure_kind::sag_weir || structure_kind::is_culvert(t)) &&
          e.disch_coeff_forward <= 0.0)
        return element_fault(i, "has no forward discharge coefficient above 0");
      if ((t == structure_kind::weir || t == structure_kind::sag_weir) && e.length <= 0.0)
        return element_fault(i, "has no crest length above 0 (CREST_LENGTH)");
      if (t == structure_kind::sag_weir && !(e.height > e.width))
        return element_fault(i, "needs a SHALLOW_SLOPE above its STEEP_SLOPE: its crest must sag between them");
      if (!structure_kind::is_culvert(t)) continue;
      if (e.length < 0.0001) return element_fault(i, "has a barrel shorter than 0.1 mm (LENGTH)");
      if (e.width <= 0.0) return element_fault(i, "has no barrel width or diameter above 0 (WIDTH or DIAMETER)");
      if (t != structure_kind::round_culvert && e.height <= 0.0)
        return element_fault(i, "has no barrel height above 0 (HEIGHT)");
      if (e.rough_coeff <= 0.0) return element_fault(i, "has no Manning's n of its barrel (ROUGH_COEFF)");
      if (down_given_[static_cast<std::size_t>(i) - 1])
        e.slope = (e.upinvert - e.downinvert) / e.length;
      else
        e.downinvert = e.upinvert - e.length * e.slope;
    }
    return true;
  }

  bool node_fault(const char* card, int line, const char* what) {
    std::fprintf(stderr, "Error: the %s card at line %d of the channel input file %s %s.\n", card, line, name_, what);
    return stop_run();
  }

  // A channel node that takes routed water: a computational node of a
  // channel link.
  bool routed_node(int link, int node) const {
    return link >= 1 && link <= ch_.num_stream_links && is_channel(ch_.ltype[link]) && node >= 1 &&
           node <= ch_.nx[link];
  }

  // Point sources and pumps stand at computational nodes of channel links
  // (a channel of n node points has n - 1).
  bool check_node_works() {
    const channel_structures& s = works();
    for (std::size_t i = 0; i < s.stream_pointsource.size(); ++i) {
      const node_series_source& p = s.stream_pointsource[i];
      if (!routed_node(p.link, p.node) && !(ch_.ltype[p.link] & link_type::lake))
        return node_fault("POINTSOURCE", point_lines_[i], "stands at no computational node of a channel link");
    }
    for (std::size_t i = 0; i < s.stream_pumps.size(); ++i) {
      const channel_pump& p = s.stream_pumps[i];
      if (!routed_node(p.link, p.node))
        return node_fault("PUMPTO", pump_lines_[i], "stands at no computational node of a channel link");
      if (!routed_node(p.to_link, p.to_node))
        return node_fault("PUMPTO", pump_lines_[i], "delivers to no computational node of a channel link");
      if (p.to_link == p.link && p.to_node == p.node)
        return node_fault("PUMPTO", pump_lines_[i], "delivers to its own node");
    }
    return true;
  }

  static constexpr int max_upstream_links = 20;
  static constexpr double min_manning_n = 1e-8, max_manning_n = 10.0;

  channel_state& ch_;
  lake_state& lakes_;
  guarded_file& file_;
  const char* name_;
  const chan_read_options& opt_;
  chan_file_contents& out_;
  card_lines lines_;
  std::size_t body_ = 0;           // first card after the global ones
  std::vector<link_work> link_;
  int link_prev_ = 0;              // link of the last LINK card
  std::size_t open_size_ = 0;      // points of the section being read, 0 when none is open
  int struct_sum_ = 0, struct_elements_ = 0;
  std::vector<int> element_lines_, point_lines_, pump_lines_;  // the card line of each
  std::vector<bool> down_given_;  // per element: DOWNINVERT was given
  int max_ndep_ = 0;
};

}  // namespace

chan_card classify_chan_card(card_line& line) {
  const std::string_view s = line.rest();
  std::size_t p = 0;
  while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\n')) ++p;
  std::size_t q = p;
  while (q < s.size() && s[q] != ' ' && s[q] != '\t' && s[q] != '\n') ++q;
  line.drop_front(q);
  if (q == p || q - p > max_card_word) return cc::none;
  char word[max_card_word + 1];
  for (std::size_t i = p; i < q; ++i) {
    const char c = s[i];
    word[i - p] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const auto& index = word_index();
  const auto it = index.find(std::string_view(word, q - p));
  return it == index.end() ? cc::none : it->second;
}

const char* chan_card_word(chan_card c) {
  // The first word of each code, in capitals.
  static const std::array<std::string, static_cast<int>(cc::none) + 1> words = [] {
    std::array<std::string, static_cast<int>(cc::none) + 1> w;
    for (const word_code& e : chan_words) {
      std::string& upper = w[static_cast<int>(e.code)];
      if (!upper.empty()) continue;
      upper = e.word;
      for (char& ch : upper) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    }
    return w;
  }();
  const int i = static_cast<int>(c);
  return i >= 0 && i < static_cast<int>(words.size()) ? words[i].c_str() : "";
}

bool read_chan_input(channel_state& ch, lake_state& lakes, guarded_file& file, const chan_read_options& options,
                     chan_file_contents& contents) {
  contents = chan_file_contents{};
  // The network of an earlier reading is replaced whole.
  ch.chan_alpha = ch.chan_beta = ch.chan_theta = 0.0;
  ch.num_stream_links = ch.max_nodes = ch.max_nodes_per_link = ch.link_array_size = ch.link_node_size = 0;
  ch.overbank_exchange = ch.max_npairs = ch.max_num_interp = ch.num_xsec_tables = ch.num_erode_bp_links = 0;
  ch.structures = channel_structures{};
  chan_reader reader(ch, lakes, file, options, contents);
  return reader.run();
}

}  // namespace nivra
