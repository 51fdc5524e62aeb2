#include "pipe/superlink_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "channel/channel_state.h"
#include "core/card_numbers.h"
#include "core/errors.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "output/output_state.h"
#include "pipe/superlink_solver.h"

namespace nivra {

namespace {

constexpr value_range area_range = from_to(0, 1e9, "m2");
constexpr value_range grate_range = from_to(0, 100, "m");
constexpr value_range size_range = from_to(0, 1000, "m");
constexpr value_range slope_range = from_to(-10, 10);
constexpr value_range manning_range = from_to(0, 10);
constexpr value_range length_range = from_to(0, 1e6, "m");
constexpr value_range conductivity_range = from_to(0, 1e5, "cm/h");
constexpr value_range spacing_range = from_to(0, 1e5, "m");

struct text_line {
  int number;
  std::string text;
};

// Every line of a file, numbered from 1.
std::vector<text_line> read_lines(guarded_file& f) {
  std::vector<text_line> lines;
  std::string s;
  for (int n = 1; read_line(s, f); ++n) lines.push_back(text_line{n, s});
  return lines;
}

// The first word of a line (words end at a blank, tab or comma) and the
// rest after it.
std::string_view first_word(std::string_view s, std::string_view& rest) {
  std::size_t b = 0;
  while (b < s.size() && is_token_sep(s[b])) ++b;
  std::size_t e = b;
  while (e < s.size() && !is_token_sep(s[e])) ++e;
  rest = s.substr(e);
  return s.substr(b, e - b);
}

struct point_in {  // a superjunction or a node of the file
  double ground = 0.0, bottom = 0.0, area = 0.0, side = 0.0, dia = 0.0;
  int inlet = 0, row = 0, col = 0, line = 0;
};

struct pipe_in {
  int type = 0, line = 0;
  double d = 0.0, w = 0.0, slope = 0.0, n = 0.0, length = 0.0, k = 0.0, spacing = 0.0;
};

struct link_in {
  int us = 0, ds = 0, pipes = 0, connect_line = 0, slink_line = 0;
  std::vector<point_in> nodes;  // 1..pipes + 1
  std::vector<pipe_in> pipe;    // 1..pipes
};

bool fault(const char* format, int a, const char* file, int line) {
  std::fprintf(stderr, format, a, line, file);
  return false;
}

// The fields of an SJUNC or NODE card after its number.
bool read_point(card_numbers& num, point_in& pt, const char* bottom) {
  return num.real("the ground elevation", pt.ground, ground_elevation) &&
         num.real(bottom, pt.bottom, ground_elevation) &&
         num.real("the surface area", pt.area, area_range) && num.whole("the inlet type", pt.inlet) &&
         num.whole("the grid row", pt.row) && num.whole("the grid column", pt.col) &&
         num.real("the grate side length", pt.side, grate_range) &&
         num.real("the grate diameter", pt.dia, grate_range);
}

// A grate inlet (types 1 to 9) takes water through its grates, by their
// side length or their diameter: one without either takes none.
bool grates_sized(const point_in& pt, const char* card, const char* file) {
  if (pt.inlet < 1 || pt.inlet > pipe_inlet::most_grates || pt.side > 0.0 || pt.dia > 0.0) return true;
  std::fprintf(stderr, "Error: the %s card at line %d of %s gives inlet type %d (%d grates) but neither a grate side "
                       "length nor a grate diameter above 0.\n",
               card, pt.line, file, pt.inlet, pt.inlet);
  return false;
}

// A PIPE card after its number, with the checks of a pipe.
bool read_pipe(card_numbers& num, pipe_in& pp, int k, int l, const char* file) {
  if (!num.whole("the section type", pp.type) || !num.real("the diameter", pp.d, size_range) ||
      !num.real("the width", pp.w, size_range) || !num.real("the slope", pp.slope, slope_range) ||
      !num.real("Manning's n", pp.n, manning_range) || !num.real("the length", pp.length, length_range) ||
      !num.real("the conductivity", pp.k, conductivity_range) ||
      !num.real("the drain spacing", pp.spacing, spacing_range))
    return false;
  const char* where = "The PIPE card is at line %d of %s.\n";
  auto bad = [&](const char* message) {
    std::fprintf(stderr, message, k, l);
    std::fprintf(stderr, where, pp.line, file);
    return false;
  };
  if (pp.type < pipe_section::circular || pp.type > pipe_section::rectangular)
    return bad("Error: pipe cross-section type not valid: node %d link %d.\n");
  if (pp.n < 1e-8) return bad("Error: pipe roughness value not valid: node %d link %d.\n");
  if (pp.k > 1e-8 && pp.spacing < 1e-8)
    return bad("Error: drain spacing cannot be zero if pipe conductivity greater than zero: node %d link %d.\n");
  if (pp.slope < 0.0) std::printf("Warning: pipe slope is negative: node %d link %d\n", k, l);
  if (pp.length < 1e-8) return bad("Error: pipe length is zero or negative: node %d link %d.\n");
  if (pp.d <= 0.0) return bad("Error: the pipe diameter must be above 0: node %d link %d.\n");
  if (pp.type != pipe_section::circular && pp.w <= 0.0)
    return bad("Error: an arch or box pipe needs a width above 0: node %d link %d.\n");
  return true;
}

// Where a node or superjunction lies on the grid: 0 0 for none; inside the
// grid, and on a watershed cell when `on_cell`.
bool check_position(const point_in& pt, const grid_state& grid, bool on_cell, const char* card, const char* file,
                    int& cell) {
  cell = 0;
  if (pt.row == 0 && pt.col == 0 && !on_cell) return true;
  if (pt.row < 1 || pt.row > grid.nrows || pt.col < 1 || pt.col > grid.ncols) {
    std::fprintf(stderr, "Error: the %s card at line %d of %s gives row %d, column %d, outside the grid of %d rows and %d "
                         "columns.\n",
                 card, pt.line, file, pt.row, pt.col, grid.nrows, grid.ncols);
    return false;
  }
  cell = grid.mask[pt.row][pt.col];
  if (cell == 0 && on_cell) {
    std::fprintf(stderr, "Error: the %s card at line %d of %s gives row %d, column %d, outside the watershed; its inlet "
                         "or outfall needs a watershed cell.\n",
                 card, pt.line, file, pt.row, pt.col);
    return false;
  }
  return true;
}

// The moves of the end nodes of a superlink of n >= 2 pipes: each end pipe
// at most 10 m, then at most a quarter of the superlink.
void shorten_end_pipes(std::vector<double>& d, std::vector<point_in>& node, int l, bool quiet) {
  const int n = static_cast<int>(d.size()) - 1;
  auto say = [&](const char* a, const char* b) {
    if (quiet) return;
    std::printf(a, l);
    std::printf("%s", b);
  };
  auto move_toward = [](point_in& moved, const point_in& fixed, double share) {
    moved.ground = fixed.ground - (fixed.ground - moved.ground) * share;
    moved.bottom = fixed.bottom - (fixed.bottom - moved.bottom) * share;
  };
  if (d[1] > 10.0) {
    say("Your first node in Superlink %d is greater than 10m from the SuperNode \n",
        "NIVRA is moving your first node 10m from the SuperNode \n \n");
    move_toward(node[2], node[1], 10.0 / d[1]);
    d[2] += d[1] - 10.0;
    d[1] = 10.0;
  }
  if (d[n] > 10.0) {
    say("Your last node in Superlink %d is greater than 10m from the SuperNode \n",
        "NIVRA is moving your last node 10m from the SuperNode \n \n");
    move_toward(node[n], node[n + 1], 10.0 / d[n]);
    d[n - 1] += d[n] - 10.0;
    d[n] = 10.0;
  }
  double total = 0.0;
  for (int k = 1; k <= n; ++k) total += d[k];
  const double q = 0.25 * total;
  if (d[1] > q + 1e-8) {
    say("Your first node in Superlink %d is greater than 25%% of the pipelength from the SuperNode \n",
        "NIVRA is moving your first node to 25% of the pipelength from the SuperNode \n \n");
    move_toward(node[2], node[1], q / d[1]);
    d[2] += d[1] - q;
    d[1] = q;
  }
  if (d[n] > q + 1e-8) {
    say("Your last node in Superlink %d is greater than 25%% of the pipelength from the SuperNode \n",
        "NIVRA is moving your last node to 25% of the pipelength from the SuperNode \n \n");
    move_toward(node[n], node[n + 1], q / d[n]);
    d[n - 1] += d[n] - q;
    d[n] = q;
  }
}

// A node of a routed channel link of the network: the outfall of a pipe
// into a channel.
bool channel_node_exists(const channel_state* ch, int link, int node) {
  if (!ch || link < 1 || link > ch->num_stream_links) return false;
  const int type = ch->ltype[link];
  if (!(type & link_type::channel) || (type & (link_type::lake | link_type::structure | link_type::captured)))
    return false;
  return node >= 1 && node <= ch->nx[link];
}

}  // namespace

void split_pipe_lengths(double L, std::vector<double>& out) {
  out.clear();
  if (L < 30.0) {
    out.assign(4, L / 4.0);
  } else if (L < 60.0) {
    out = {5.0, 5.0, L - 20.0, 5.0, 5.0};
  } else if (L < 80.0) {
    out = {10.0, (L - 20.0) / 2.0, (L - 20.0) / 2.0, 10.0};
  } else if (L < 160.0) {
    out = {10.0, 20.0, L - 60.0, 20.0, 10.0};
  } else if (L < 210.0) {
    out = {10.0, 20.0, (L - 60.0) / 2.0, (L - 60.0) / 2.0, 20.0, 10.0};
  } else if (L < 360.0) {
    out = {10.0, 20.0, 50.0, L - 160.0, 50.0, 20.0, 10.0};
  } else {
    const int j = static_cast<int>(std::floor((L - 360.0) / 100.0));
    out = {10.0, 20.0, 50.0};
    for (int i = 0; i <= j; ++i) out.push_back(100.0);
    out.back() += L - 360.0 - 100.0 * j;
    for (double d : {100.0, 50.0, 20.0, 10.0}) out.push_back(d);
  }
}

bool read_superlink_file(pipe_state& p, guarded_file& f, const std::string& name, const grid_state& grid,
                         const channel_state* channels, bool quiet) {
  const char* file = name.c_str();
  const std::vector<text_line> lines = read_lines(f);
  // The counts first: superlinks by their CONNECT cards, superjunctions by
  // their SJUNC cards.
  int links = 0, juncs = 0;
  for (const text_line& t : lines) {
    std::string_view rest;
    const std::string_view w = first_word(t.text, rest);
    links += w == "CONNECT";
    juncs += w == "SJUNC";
  }
  if (links < 1 || juncs < 2) {
    std::fprintf(stderr, "Error: the superlink file %s holds %d CONNECT and %d SJUNC cards; a pipe network needs at "
                         "least one superlink between two superjunctions.\n",
                 file, links, juncs);
    return false;
  }
  std::vector<link_in> link(links + 1);
  std::vector<point_in> junc(juncs + 1);
  link_in* open = nullptr;  // the superlink whose NODE and PIPE cards follow
  int open_number = 0;
  for (const text_line& t : lines) {
    std::string_view rest_view;
    const std::string_view w = first_word(t.text, rest_view);
    card_line rest(rest_view);
    if (w != "NODE" && w != "PIPE") open = nullptr;
    if (w == "CONNECT") {
      card_numbers num(rest, "CONNECT", file, t.number);
      int l = 0, us = 0, ds = 0;
      if (!num.whole("the superlink", l, from_to(1, links)) ||
          !num.whole("the upstream superjunction", us, from_to(1, juncs)) ||
          !num.whole("the downstream superjunction", ds, from_to(1, juncs)))
        return false;
      if (link[l].connect_line)
        return fault("Error: superlink %d is connected again at line %d of %s.\n", l, file, t.number);
      if (us == ds)
        return fault("Error: superlink %d at line %d of %s starts and ends at the same superjunction.\n", l, file,
                     t.number);
      link[l].us = us;
      link[l].ds = ds;
      link[l].connect_line = t.number;
    } else if (w == "SJUNC") {
      card_numbers num(rest, "SJUNC", file, t.number);
      int j = 0;
      if (!num.whole("the superjunction", j, from_to(1, juncs))) return false;
      if (junc[j].line) return fault("Error: superjunction %d is given again at line %d of %s.\n", j, file, t.number);
      point_in& pt = junc[j];
      pt.line = t.number;
      if (!read_point(num, pt, "the bottom elevation")) return false;
      const bool known = (pt.inlet >= 0 && pt.inlet <= pipe_inlet::open) || is_outfall(pt.inlet);
      if (!known)
        return fault("Error: the SJUNC card of superjunction %d at line %d of %s gives an inlet type that is none of "
                     "0 to 10, 888 and 999.\n",
                     j, file, t.number);
      if (!grates_sized(pt, "SJUNC", file)) return false;
      if (pt.bottom > pt.ground) std::printf("WARNING: ground elevation less than node bottom. superjunction %d\n", j);
    } else if (w == "SLINK") {
      card_numbers num(rest, "SLINK", file, t.number);
      int l = 0, n = 0;
      if (!num.whole("the superlink", l, from_to(1, links)) || !num.whole("the number of pipes", n, from_to(1, 10000)))
        return false;
      if (link[l].slink_line)
        return fault("Error: superlink %d is given again by the SLINK card at line %d of %s.\n", l, file, t.number);
      link[l].slink_line = t.number;
      link[l].pipes = n;
      link[l].nodes.assign(n + 2, point_in{});
      link[l].pipe.assign(n + 1, pipe_in{});
      open = &link[l];
      open_number = l;
    } else if (w == "NODE" || w == "PIPE") {
      if (!open) {
        std::fprintf(stderr, "Error: the %s card at line %d of %s does not follow an SLINK card.\n",
                     std::string(w).c_str(), t.number, file);
        return false;
      }
      const int n = open->pipes;
      const bool node = w == "NODE";
      card_numbers num(rest, node ? "NODE" : "PIPE", file, t.number);
      int k = 0;
      if (!num.whole(node ? "the node" : "the pipe", k, from_to(1, node ? n + 1 : n))) return false;
      if (node) {
        point_in& pt = open->nodes[k];
        if (pt.line)
          return fault("Error: node %d of the superlink is given again at line %d of %s.\n", k, file, t.number);
        pt.line = t.number;
        if (!read_point(num, pt, "the invert elevation")) return false;
        if (pt.inlet < 0 || pt.inlet > pipe_inlet::open)
          return fault("Error: node %d at line %d of %s gives an inlet type outside 0 to 10.\n", k, file, t.number);
        if (!grates_sized(pt, "NODE", file)) return false;
        if (pt.bottom > pt.ground)
          std::printf("WARNING: ground elevation less than node bottom. superlink %d, node %d\n", open_number, k);
      } else {
        pipe_in& pp = open->pipe[k];
        if (pp.line)
          return fault("Error: pipe %d of the superlink is given again at line %d of %s.\n", k, file, t.number);
        pp.line = t.number;
        if (!read_pipe(num, pp, k, open_number, file)) return false;
      }
    }
  }
  // Every superlink connected and described whole; every superjunction given.
  for (int j = 1; j <= juncs; ++j)
    if (!junc[j].line)
      return fault("Error: superjunction %d has no SJUNC card (%d cards in %s).\n", j, file, juncs);
  for (int l = 1; l <= links; ++l) {
    const link_in& L = link[l];
    if (!L.connect_line || !L.slink_line) {
      std::fprintf(stderr, "Error: superlink %d of %s needs both a CONNECT and an SLINK card.\n", l, file);
      return false;
    }
    for (int k = 1; k <= L.pipes + 1; ++k)
      if (!L.nodes[k].line)
        return fault("Error: node %d of the superlink of the SLINK card at line %d of %s has no NODE card.\n", k, file,
                     L.slink_line);
    // The end nodes lie in the superjunctions, which take the inlets there.
    for (const int k : {1, L.pipes + 1})
      if (L.nodes[k].inlet != pipe_inlet::none)
        return fault("Error: node %d at line %d of %s is an end of its superlink and lies in its superjunction: give "
                     "the inlet to the superjunction (inlet type 0 here).\n",
                     k, file, L.nodes[k].line);
    for (int k = 1; k <= L.pipes; ++k)
      if (!L.pipe[k].line)
        return fault("Error: pipe %d of the superlink of the SLINK card at line %d of %s has no PIPE card.\n", k, file,
                     L.slink_line);
  }
  for (int j = 1; j <= juncs; ++j) {
    const point_in& pt = junc[j];
    if (!is_boundary_junction(pt.inlet) && pt.area <= 0.0)
      return fault("Error: superjunction %d at line %d of %s needs a surface area above 0.\n", j, file, pt.line);
  }

  // The computational pipes of every superlink.
  std::vector<std::vector<double>> lengths(links + 1);
  std::vector<std::vector<point_in>> nodes(links + 1);
  std::vector<double> cut;
  int most = 0;
  for (int l = 1; l <= links; ++l) {
    link_in& L = link[l];
    std::vector<double>& d = lengths[l];
    std::vector<point_in>& nd = nodes[l];
    if (p.superlink_c_opt && L.pipes == 1) {
      split_pipe_lengths(L.pipe[1].length, cut);
      const int m = static_cast<int>(cut.size());
      d.assign(m + 1, 0.0);
      nd.assign(m + 2, point_in{});
      nd[1] = L.nodes[1];
      nd[m + 1] = L.nodes[2];
      double s = 0.0;
      for (int k = 1; k <= m; ++k) {
        d[k] = cut[k - 1];
        if (k == 1) continue;
        s += cut[k - 2];
        const double share = s / L.pipe[1].length;
        nd[k].ground = L.nodes[1].ground - (L.nodes[1].ground - L.nodes[2].ground) * share;
        nd[k].bottom = L.nodes[1].bottom - (L.nodes[1].bottom - L.nodes[2].bottom) * share;
      }
    } else {
      d.assign(L.pipes + 1, 0.0);
      for (int k = 1; k <= L.pipes; ++k) d[k] = L.pipe[k].length;
      nd = L.nodes;
      if (p.superlink_c_opt) shorten_end_pipes(d, nd, l, quiet);
    }
    most = std::max(most, static_cast<int>(d.size()) - 1);
  }

  // The arrays, sized from the computational pipes.
  p.num_slink = links;
  p.num_sjunc = juncs;
  p.max_slink_nodes = most;
  const int rows = most + 1;
  for (array1d<int>* a : {&p.sjunc_inlet, &p.superjunct_i, &p.superjunct_j, &p.superlink_junc_gnum,
                          &p.superlink_chan_con_link, &p.superlink_chan_con_node})
    a->alloc(juncs);
  for (array1d<double>* a : {&p.junc_area, &p.junc_ground_elev, &p.junc_invert_elev, &p.junc_grate_sidelength,
                             &p.junc_grate_dia})
    a->alloc(juncs);
  for (array1d<int>* a : {&p.us_sjunc, &p.ds_sjunc, &p.nnodes, &p.superlink_cnodes}) a->alloc(links);
  for (array1d<double>* a : {&p.slink_us_invert, &p.slink_ds_invert}) a->alloc(links);
  for (pipe_node_array<int>* a : {&p.inlet_type, &p.superlink_node_i, &p.superlink_node_j, &p.superlink_node_gnum,
                                  &p.sec_type, &p.otc_node, &p.otc_pipe})
    a->alloc(rows, links);
  for (pipe_node_array<double>* a :
       {&p.node_ground_elev, &p.slink_node_Zinv, &p.As, &p.grate_sidelength_node, &p.grate_dia_node, &p.diameter,
        &p.width, &p.S0, &p.M_n, &p.dxc, &p.superlink_pipe_conductivity, &p.drain_spacing, &p.dx})
    a->alloc(rows, links);

  for (int j = 1; j <= juncs; ++j) {
    const point_in& pt = junc[j];
    int cell = 0;
    if (pt.inlet != pipe_inlet::to_channel && !check_position(pt, grid, true, "SJUNC", file, cell)) return false;
    if (pt.inlet == pipe_inlet::to_channel) {
      if (!channel_node_exists(channels, pt.row, pt.col)) {
        std::fprintf(stderr, "Error: the SJUNC card at line %d of %s lets superjunction %d out into channel link %d, "
                             "node %d, which the channel network does not have (an outfall into a channel takes a "
                             "computational node of a channel link of explicit channel routing).\n",
                     pt.line, file, j, pt.row, pt.col);
        return false;
      }
      p.superlink_chan_con_link[j] = pt.row;
      p.superlink_chan_con_node[j] = pt.col;
    }
    p.sjunc_inlet[j] = pt.inlet;
    p.superjunct_i[j] = pt.row;
    p.superjunct_j[j] = pt.col;
    p.superlink_junc_gnum[j] = cell;
    p.junc_area[j] = pt.area;
    p.junc_ground_elev[j] = pt.ground;
    p.junc_invert_elev[j] = pt.bottom;
    p.junc_grate_sidelength[j] = pt.side;
    p.junc_grate_dia[j] = pt.dia;
  }
  p.gw_to_tile = 0;
  for (int l = 1; l <= links; ++l) {
    const link_in& L = link[l];
    const std::vector<double>& d = lengths[l];
    const std::vector<point_in>& nd = nodes[l];
    const int m = static_cast<int>(d.size()) - 1;
    p.us_sjunc[l] = L.us;
    p.ds_sjunc[l] = L.ds;
    p.nnodes[l] = L.pipes;
    p.superlink_cnodes[l] = m;
    for (int k = 1; k <= m + 1; ++k) {
      const point_in& pt = nd[k];
      int cell = 0;
      if (pt.line && !check_position(pt, grid, pt.inlet > 0, "NODE", file, cell)) return false;
      p.node_ground_elev(k, l) = pt.ground;
      p.slink_node_Zinv(k, l) = pt.bottom;
      p.As(k, l) = pt.area;
      p.inlet_type(k, l) = pt.inlet;
      p.superlink_node_i(k, l) = pt.row;
      p.superlink_node_j(k, l) = pt.col;
      p.superlink_node_gnum(k, l) = cell;
      p.grate_sidelength_node(k, l) = pt.side;
      p.grate_dia_node(k, l) = pt.dia;
    }
    const bool split = m != L.pipes;
    for (int k = 1; k <= m; ++k) {
      const pipe_in& pp = L.pipe[split ? 1 : k];
      p.sec_type(k, l) = pp.type;
      p.diameter(k, l) = pp.d;
      p.width(k, l) = pp.w;
      p.S0(k, l) = pp.slope;
      p.M_n(k, l) = pp.n;
      p.dxc(k, l) = d[k];
      p.superlink_pipe_conductivity(k, l) = pp.k;
      p.drain_spacing(k, l) = pp.spacing;
      if (pp.k > 0.0) p.gw_to_tile = 1;
    }
    for (int k = 1; k <= L.pipes; ++k) {
      p.dx(k, l) = L.pipe[k].length;
      p.otc_pipe(k, l) = split ? 1 : k;
    }
    for (int k = 1; k <= L.pipes + 1; ++k) p.otc_node(k, l) = split ? (k == 1 ? 1 : m + 1) : k;
    // A pipe opens into its superjunction at or above the bottom.
    for (const auto& [k, j] : {std::pair{1, L.us}, std::pair{m + 1, L.ds}}) {
      if (p.slink_node_Zinv(k, l) >= p.junc_invert_elev[j] - 1e-9) continue;
      std::fprintf(stderr, "Error: node %d of superlink %d (SLINK at line %d of %s) has its invert at %g m, below the "
                           "bottom of superjunction %d at %g m.\n",
                   k == 1 ? 1 : L.pipes + 1, l, L.slink_line, file, p.slink_node_Zinv(k, l), j, p.junc_invert_elev[j]);
      return false;
    }
  }
  return true;
}

bool read_grid_pipe_file(pipe_state& p, guarded_file& f, const std::string& name, const grid_state& grid) {
  const char* file = name.c_str();
  const std::vector<text_line> lines = read_lines(f);
  if (lines.empty() || lines[0].text.find_first_not_of(" \t") == std::string::npos ||
      lines[0].text.substr(lines[0].text.find_first_not_of(" \t"), 12) != "GRIDPIPEFILE") {
    std::fprintf(stderr, "The gridpipe file format is invalid\nThe first line of %s must be GRIDPIPEFILE.\n", file);
    return false;
  }
  struct entry {
    int link, pipe;
    double share;
  };
  struct cell_in {
    int row = 0, col = 0, cell = 0, line = 0, count = -1;
    std::vector<entry> entries;
  };
  std::vector<cell_in> cells;
  int declared = -1;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const text_line& t = lines[i];
    std::string_view rest_view;
    const std::string word = to_lower(first_word(t.text, rest_view));
    card_line rest(rest_view);
    if (declared < 0) {
      if (word.empty()) continue;
      if (word != "pipecells") {
        std::fprintf(stderr, "The second card in the grid-pipe file must be PIPECELLS\nFile format error, program "
                             "terminating.\n(line %d of %s)\n",
                     t.number, file);
        return false;
      }
      card_numbers num(rest, "PIPECELLS", file, t.number);
      if (!num.whole("the number of pipe cells", declared, from_to(1, 100000000))) return false;
      continue;
    }
    if (word == "cellij") {
      card_numbers num(rest, "CELLIJ", file, t.number);
      cell_in c;
      c.line = t.number;
      if (!num.whole("the row", c.row, from_to(1, grid.nrows)) || !num.whole("the column", c.col, from_to(1, grid.ncols)))
        return false;
      c.cell = grid.mask[c.row][c.col];
      if (c.cell == 0) {
        std::fprintf(stderr, "Error: the CELLIJ card at line %d of %s names row %d, column %d, outside the watershed.\n",
                     t.number, file, c.row, c.col);
        return false;
      }
      // A cell given twice would take its drains' water twice.
      for (const cell_in& other : cells)
        if (other.cell == c.cell) {
          std::fprintf(stderr, "Error: the CELLIJ card at line %d of %s names row %d, column %d again (first at line "
                               "%d): each pipe cell is given once, with all its pipes.\n",
                       t.number, file, c.row, c.col, other.line);
          return false;
        }
      cells.push_back(std::move(c));
    } else if (word == "numpipes" || word == "spipe") {
      if (cells.empty()) {
        std::fprintf(stderr, "Error: the %s card at line %d of %s does not follow a CELLIJ card.\n", word.c_str(),
                     t.number, file);
        return false;
      }
      cell_in& c = cells.back();
      if (word == "numpipes") {
        card_numbers num(rest, "NUMPIPES", file, t.number);
        if (c.count >= 0) {
          std::fprintf(stderr, "Error: a second NUMPIPES card for one cell at line %d of %s.\n", t.number, file);
          return false;
        }
        if (!num.whole("the number of pipes", c.count, from_to(1, 1000))) return false;
        continue;
      }
      card_numbers num(rest, "SPIPE", file, t.number);
      entry e{};
      if (!num.whole("the superlink", e.link, from_to(1, p.num_slink)) ||
          !num.whole("the pipe", e.pipe, from_to(1, p.nnodes[e.link])) ||
          !num.real("the share of the pipe", e.share, from_to(0, 1)))
        return false;
      // The drain's level comes from the ground of its two end nodes.
      const bool split = p.superlink_c_opt != 0;
      const int a = split ? p.otc_node(e.pipe, e.link) : e.pipe, b = split ? p.otc_node(e.pipe + 1, e.link) : e.pipe + 1;
      if (p.superlink_node_gnum(a, e.link) == 0 || p.superlink_node_gnum(b, e.link) == 0) {
        std::fprintf(stderr, "Error: the SPIPE card at line %d of %s names pipe %d of superlink %d, whose end nodes "
                             "need watershed cells (their NODE cards give none).\n",
                     t.number, file, e.pipe, e.link);
        return false;
      }
      for (const entry& other : c.entries)
        if (other.link == e.link && other.pipe == e.pipe) {
          std::fprintf(stderr, "Error: the SPIPE card at line %d of %s names pipe %d of superlink %d a second time for "
                               "the cell of the CELLIJ card at line %d.\n",
                       t.number, file, e.pipe, e.link, c.line);
          return false;
        }
      c.entries.push_back(e);
    } else if (!word.empty()) {
      std::fprintf(stderr, "Error: line %d of %s holds the card %s, which a grid-pipe file does not know.\n", t.number,
                   file, std::string(first_word(t.text, rest_view)).c_str());
      return false;
    }
  }
  if (declared < 0) {
    std::fprintf(stderr, "The second card in the grid-pipe file must be PIPECELLS\nFile format error, program "
                         "terminating.\n(%s)\n",
                 file);
    return false;
  }
  if (static_cast<int>(cells.size()) != declared) {
    std::fprintf(stderr, "Error: the grid-pipe file %s describes %d pipe cells; its PIPECELLS card gives %d.\n", file,
                 static_cast<int>(cells.size()), declared);
    return false;
  }
  int most = 0;
  for (const cell_in& c : cells) {
    if (c.count != static_cast<int>(c.entries.size())) {
      std::fprintf(stderr, "Error: the pipe cell of the CELLIJ card at line %d of %s has %d SPIPE cards; its NUMPIPES "
                           "card gives %d.\n",
                   c.line, file, static_cast<int>(c.entries.size()), c.count);
      return false;
    }
    most = std::max(most, c.count);
  }
  p.gpi_num_cells = declared;
  p.gpi_max_pipes = most;
  p.gpi_ncellsingrid.alloc(declared);
  for (array2d<int>* a : {&p.gpi_link, &p.gpi_node, &p.gpi_gnum}) a->alloc(declared, most);
  p.gpi_pct.alloc(declared, most);
  for (int i = 1; i <= declared; ++i) {
    const cell_in& c = cells[i - 1];
    p.gpi_ncellsingrid[i] = c.count;
    for (int k = 1; k <= c.count; ++k) {
      p.gpi_link[i][k] = c.entries[k - 1].link;
      p.gpi_node[i][k] = c.entries[k - 1].pipe;
      p.gpi_pct[i][k] = c.entries[k - 1].share;
      p.gpi_gnum[i][k] = c.cell;
    }
  }
  return true;
}

bool read_superjunction_locations(output_state& out, guarded_file& f, const std::string& name, const pipe_state& p) {
  int_token_reader in(f, name);
  int count = 0;
  if (in.next(count) != 1 || count < 0 || count > p.num_sjunc) {
    std::fprintf(stderr, "Error: the superjunction location file %s must begin with the number of locations, from 0 "
                         "to %d.\n",
                 name.c_str(), p.num_sjunc);
    return false;
  }
  out.num_sjunc_locations = count;
  out.sjunc.alloc(count);
  for (int i = 1; i <= count; ++i) {
    int j = 0;
    if (in.next(j) != 1 || j < 1 || j > p.num_sjunc) {
      std::fprintf(stderr, "Error: location %d at line %d of %s is not a superjunction of the network (1 to %d).\n", i,
                   in.line(), name.c_str(), p.num_sjunc);
      return false;
    }
    out.sjunc[i] = j;
  }
  if (!in.at_end()) {
    std::fprintf(stderr, "Error: line %d of %s holds more than the %d locations its first value counts.\n", in.line(),
                 name.c_str(), count);
    return false;
  }
  return true;
}

bool read_superlink_node_locations(output_state& out, guarded_file& f, const std::string& name, const pipe_state& p) {
  int_token_reader in(f, name);
  int count = 0;
  if (in.next(count) != 1 || count < 0 || count > 1000000) {
    std::fprintf(stderr, "Error: the superlink node location file %s must begin with the number of locations.\n",
                 name.c_str());
    return false;
  }
  out.num_slink_locations = count;
  out.sl_link.alloc(count);
  out.sl_node.alloc(count);
  for (int i = 1; i <= count; ++i) {
    int l = 0, k = 0;
    if (in.next(l) != 1 || l < 1 || l > p.num_slink || in.next(k) != 1 || k < 1 || k > p.nnodes[l] + 1) {
      std::fprintf(stderr, "Error: location %d at line %d of %s is not a superlink and one of its nodes.\n", i,
                   in.line(), name.c_str());
      return false;
    }
    out.sl_link[i] = l;
    out.sl_node[i] = k;
  }
  if (!in.at_end()) {
    std::fprintf(stderr, "Error: line %d of %s holds more than the %d locations its first value counts.\n", in.line(),
                 name.c_str(), count);
    return false;
  }
  return true;
}

}  // namespace nivra
