// The grid-stream file and the tables that tie the channel nodes to the
// cells they cross.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/card_lines.h"
#include "channel/channel_input.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "core/card_numbers.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

bool stop_run() { return stop_reading(); }

// Most channel nodes in one cell.
constexpr int max_nodes_per_cell = 10000;

// Nothing follows a card's values on its line.
bool card_ends(const card_numbers& num, const char* card, int line, const char* name) {
  if (num.at_end()) return true;
  std::fprintf(stderr, "Error: the %s card at line %d of the grid-stream file %s holds more than its values.\n", card,
               line, name);
  return stop_run();
}

}  // namespace

bool read_grid_stream_file(channel_state& ch, const grid_state& grid, guarded_file& file,
                           const chan_read_options& options) {
  const char* name = file.name.c_str();
  card_line line;
  std::string first;
  if (read_line(line, file)) next_token(line, first);
  if (first.compare(0, 14, "GRIDSTREAMFILE") != 0) {
    std::fprintf(stderr, "Error: the grid-stream file %s does not begin with GRIDSTREAMFILE.\n", name);
    return stop_run();
  }
  const bool second = read_line(line, file) != 0;
  if (!second || classify_chan_card(line) != chan_card::streamcells) {
    std::printf("The second card in the grid-stream file must be STREAMCELLS\n"
                "File format error, program terminating.\n");
    return stop_run();
  }
  int cells = 0;
  {
    card_numbers num(line, "STREAMCELLS", name, 2);
    if (!num.whole("the number of stream cells", cells)) return stop_run();
    if (!card_ends(num, "STREAMCELLS", 2, name)) return false;
  }
  if (cells < 1) {
    std::printf("The number of STREAMCELLS in the grid-stream (.gst) file\n"
                "must be greater than 0.  File format error, program terminating\n");
    return stop_run();
  }
  if (cells > grid.ncells) {
    std::fprintf(stderr, "Error: the grid-stream file %s gives %d stream cells; the watershed has %d cells.\n", name,
                 cells, grid.ncells);
    return stop_run();
  }

  // The cards of the file; NUMNODES of the k-th cell sizes the tables.
  card_lines lines;
  ch.gst_num_cells = cells;
  ch.gst_ncellsingrid.alloc(cells);
  ch.gst_max_cells = 0;
  int numnodes = 0, cellij = 0, cellij_line = 0;
  for (int n = 3; read_line(line, file); ++n) {
    const chan_card c = classify_chan_card(line);
    if (c != chan_card::cellij && c != chan_card::numnodes && c != chan_card::linknode) continue;
    lines.add(c, n, line.rest());
    if (c == chan_card::cellij) {
      ++cellij;
      cellij_line = n;
    }
    if (c != chan_card::numnodes) continue;
    card_line rest(lines.rest(lines.cards().back()));
    card_numbers num(rest, "NUMNODES", name, n);
    int m = 0;
    if (!num.whole("the number of channel nodes in the cell", m, from_to(1, max_nodes_per_cell))) return stop_run();
    if (!card_ends(num, "NUMNODES", n, name)) return false;
    if (++numnodes > cells && numnodes == cellij) {
      std::fprintf(stderr,
                   "Error: the grid-stream file %s gives STREAMCELLS %d, but the CELLIJ card at line %d is stream "
                   "cell %d: STREAMCELLS counts every stream cell of the file.\n",
                   name, cells, cellij_line, cellij);
      return stop_run();
    }
    if (numnodes > cells || numnodes != cellij) {
      std::fprintf(stderr,
                   "Error: the NUMNODES card at line %d of the grid-stream file %s is not the one card of stream "
                   "cell %d of %d: each CELLIJ card is followed by its NUMNODES card.\n",
                   n, name, cellij, cells);
      return stop_run();
    }
    ch.gst_ncellsingrid[numnodes] = m;
    if (m > ch.gst_max_cells) ch.gst_max_cells = m;
  }
  if (cellij != cells || numnodes != cells) {
    std::fprintf(stderr,
                 "Error: the grid-stream file %s gives STREAMCELLS %d but %d CELLIJ and %d NUMNODES cards.\n", name,
                 cells, cellij, numnodes);
    return stop_run();
  }

  const int w = ch.gst_max_cells;
  ch.gst_link.alloc(cells, w);
  ch.gst_node.alloc(cells, w);
  ch.gst_gnum.alloc(cells, w);
  ch.gst_row.alloc(cells, w);
  ch.gst_col.alloc(cells, w);
  ch.gst_pct.alloc(cells, w);
  ch.gst_sac_weight.alloc(cells, w);
  ch.gst_cgw_weight.alloc(cells, w);
  ch.gst_Vlat.alloc(cells, w);

  int k = 0, e = 0, row = 0, col = 0, cell = 0, line_of_cell = 0;
  // The CELLIJ line of every cell given: a cell given twice would pass its
  // water to the channel twice.
  std::vector<int> cell_line(static_cast<std::size_t>(grid.ncells) + 1, 0);
  // Each cell ends with as many LINKNODE entries as its NUMNODES says.
  auto cell_complete = [&] {
    if (k == 0 || e - 1 == ch.gst_ncellsingrid[k]) return true;
    std::fprintf(stderr, "Error: stream cell %d (CELLIJ at line %d of the grid-stream file %s) has %d LINKNODE "
                         "entries; its NUMNODES card gives %d.\n",
                 k, line_of_cell, name, e - 1, ch.gst_ncellsingrid[k]);
    return stop_run();
  };
  for (const card_ref& g : lines.cards()) {
    card_line rest(lines.rest(g));
    if (g.code == chan_card::cellij) {
      if (!cell_complete()) return false;
      card_numbers num(rest, "CELLIJ", name, g.line);
      if (!num.whole("the row", row, from_to(1, grid.rows)) || !num.whole("the column", col, from_to(1, grid.cols)))
        return stop_run();
      if (!card_ends(num, "CELLIJ", g.line, name)) return false;
      cell = grid.mask[row][col];
      if (cell == 0) {
        std::fprintf(stderr, "Error: the CELLIJ card at line %d of the grid-stream file %s names row %d, column %d, "
                             "outside the watershed.\n",
                     g.line, name, row, col);
        return stop_run();
      }
      if (int& first = cell_line[static_cast<std::size_t>(cell)]; first != 0) {
        std::fprintf(stderr, "Error: the CELLIJ card at line %d of the grid-stream file %s names row %d, column %d "
                             "again (first at line %d): each stream cell is given once, with all its nodes.\n",
                     g.line, name, row, col, first);
        return stop_run();
      } else {
        first = g.line;
      }
      ++k;
      e = 1;
      line_of_cell = g.line;
      continue;
    }
    if (g.code != chan_card::linknode) continue;
    if (k == 0 || e > ch.gst_ncellsingrid[k]) {
      std::fprintf(stderr, "Error: the LINKNODE card at line %d of the grid-stream file %s is one more than %s.\n",
                   g.line, name, k == 0 ? "the cards before the first CELLIJ card allow" : "its cell's NUMNODES");
      return stop_run();
    }
    card_numbers num(rest, "LINKNODE", name, g.line);
    int link = 0, node = 0;
    double share = 0.0;
    if (!num.whole("the link", link, from_to(1, ch.num_stream_links)) ||
        !num.whole("the node", node, from_to(1, ch.nx[link] > 0 ? ch.nx[link] : 0)) ||
        !num.real("the share of the node in the cell", share, from_to(0, 1)))
      return stop_run();
    if (!card_ends(num, "LINKNODE", g.line, name)) return false;
    for (int f = 1; f < e; ++f)
      if (ch.gst_link[k][f] == link && ch.gst_node[k][f] == node) {
        std::fprintf(stderr, "Error: the LINKNODE card at line %d of the grid-stream file %s names node %d of link %d "
                             "a second time for the cell of the CELLIJ card at line %d.\n",
                     g.line, name, node, link, line_of_cell);
        return stop_run();
      }
    ch.gst_link[k][e] = link;
    ch.gst_node[k][e] = node;
    ch.gst_pct[k][e] = share;
    ch.gst_gnum[k][e] = cell;
    ch.gst_row[k][e] = row;
    ch.gst_col[k][e] = col;
    ++e;
  }
  if (!cell_complete()) return false;
  if (options.summary) std::printf("Finished reading non-orthogonal channel information from gst file.\n");
  return true;
}

bool init_grid_stream(channel_state& ch, bool aquifer_exchange) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (ch.ltype[l] & (link_type::structure | link_type::lake)) continue;
    if (ch.link_dx[l] < 0.0001) {
      std::printf("\nYour channel node spacing is %f in link %d\n"
                  "You must specify a realistic value.  Program terminated.\n",
                  ch.link_dx[l], l);
      return stop_run();
    }
  }
  ch.gst_qlat.alloc(ch.gst_num_cells, ch.gst_max_cells);
  if (aquifer_exchange) {
    ch.gst_qriv.alloc(ch.gst_num_cells, ch.gst_max_cells);
    ch.gst_qriv_vol.alloc(ch.gst_num_cells, ch.gst_max_cells);
    ch.gst_Vp.alloc(ch.max_nodes_per_link, ch.link_array_size);
  }
  return true;
}

bool compute_sacramento_weights(channel_state& ch, const groundwater_state& gw, int ncells, bool quiet) {
  // A cell's topographic weight: its topographic index, or 1 for every
  // channel cell without one.
  ch.chan_cell_topo_weight.alloc(ncells);
  std::vector<char> seen(static_cast<std::size_t>(ncells) + 1, 0);
  ch.sac_chan_cells = ch.sac_ti_sum = ch.sac_chan_length = 0.0;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int c = ch.gst_gnum[i][j];
      if (!seen[c]) {
        seen[c] = 1;
        ch.sac_chan_cells += 1.0;
        const double w = gw.topo_index && c <= gw.topo_dex.size() ? gw.topo_dex[c] : 1.0;
        ch.chan_cell_topo_weight[c] = w;
        ch.sac_ti_sum += w;
      }
      ch.sac_chan_length += ch.link_dx[ch.gst_link[i][j]] * ch.gst_pct[i][j];
    }
  if (ch.sac_ti_sum < 1e-10 || ch.sac_chan_length <= 0.0) {
    std::printf("Problem, sum of the topographic indices in all channel-containing grids is <=0.0\n"
                "Program terminated\n");
    return stop_run();
  }
  for (int c = 1; c <= ncells; ++c)
    if (seen[c]) ch.chan_cell_topo_weight[c] /= ch.sac_ti_sum;
  double sum = 0.0;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const double w = ch.link_dx[ch.gst_link[i][j]] * ch.gst_pct[i][j] / ch.sac_chan_length *
                       ch.chan_cell_topo_weight[ch.gst_gnum[i][j]];
      if (!(w > 0.0)) {
        std::printf("Problem, gst_sac_weight <=0.0\nProgram terminated\n");
        return stop_run();
      }
      ch.gst_sac_weight[i][j] = w;
      sum += w;
    }
  ch.sac_weight_sum = 0.0;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) ch.sac_weight_sum += ch.gst_sac_weight[i][j] /= sum;
  if (!quiet) std::printf("Sac Weights: %lf\n", ch.sac_weight_sum);
  if (std::fabs(ch.sac_weight_sum - 1.0) > 1e-9) {
    std::printf("Problem, summation of the Sacramento weights is not equal to 1.0.\nProgram terminated.\n");
    return stop_run();
  }
  return true;
}

bool compute_cgw_weights(channel_state& ch, const groundwater_state& gw, const grid_state& grid, bool quiet) {
  const int ncells = grid.ncells, links = ch.num_stream_links;
  // The upslope area of every channel cell of the link map.
  std::vector<double> area(static_cast<std::size_t>(ncells) + 1, 0.0);
  double largest = -999.0;
  for (int c = 1; c <= ncells; ++c) {
    const int link = gw.con_link[c];
    if (link <= 0) continue;
    if (link > links) {
      std::printf("Error: cell %d of the link map gives link %d; the channel network has %d links.\n", c, link,
                  links);
      return stop_run();
    }
    area[static_cast<std::size_t>(c)] = gw.upslope_area[c];
    if (!quiet) std::printf("%d  link  %d area %8.2lf \n", c, link, area[static_cast<std::size_t>(c)]);
    largest = std::max(largest, area[static_cast<std::size_t>(c)]);
  }
  // Per link the largest and smallest area of its entries; the bottom of a
  // link with upstream links is the top of its first one.
  const std::size_t L = static_cast<std::size_t>(links) + 1;
  std::vector<double> top(L, -99999.0), low(L, 999999999999.0), second(L, 0.0), contributing(L, 0.0);
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const std::size_t l = static_cast<std::size_t>(ch.gst_link[i][j]);
      const double a = area[static_cast<std::size_t>(ch.gst_gnum[i][j])];
      top[l] = std::max(top[l], a);
      low[l] = std::min(low[l], a);
    }
  for (int l = 1; l <= links; ++l) {
    const std::size_t k = static_cast<std::size_t>(l);
    second[k] = low[k];
    if (ch.ndep[l] > 0) low[k] = top[static_cast<std::size_t>(ch.uslinks(l, 1))];
    if (top[k] - low[k] <= 0.0) {
      second[k] = low[k];
      continue;
    }
    for (int i = 1; i <= ch.gst_num_cells; ++i)
      for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
        if (ch.gst_link[i][j] != l) continue;
        const double a = area[static_cast<std::size_t>(ch.gst_gnum[i][j])];
        if (a > second[k] && a < top[k]) second[k] = a;
      }
  }
  // The area each link gathers itself, less what the other branches above
  // its downstream junction bring.
  const double cell_area = grid.grid_size * grid.grid_size;
  for (int l = 1; l <= links; ++l) {
    const std::size_t k = static_cast<std::size_t>(l);
    double a = ch.ndep[l] == 0 ? top[k] : top[k] - low[k];
    if (a <= 0.0) {
      a = cell_area;
    } else {
      const int down = ch.dslink[l];
      if (down > 0 && ch.ndep[down] > 1) {
        for (int u = 1; u <= ch.ndep[down]; ++u) {
          const int other = ch.uslinks(down, u);
          const std::size_t o = static_cast<std::size_t>(other);
          if (other != l && top[o] - low[o] > 0.0) a -= second[o];
        }
        if (a <= 0.0) a = cell_area;
      }
    }
    contributing[k] = a;
  }
  double sum = 0.0;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int l = ch.gst_link[i][j];
      const double share = contributing[static_cast<std::size_t>(l)] / std::max(ch.nx[l], 1) / largest;
      ch.gst_cgw_weight[i][j] = share * ch.gst_pct[i][j];
      sum += ch.gst_cgw_weight[i][j];
    }
  if (!quiet) std::printf("CGW Weights: %lf\n", sum);
  if (!(sum > 0.0)) {
    std::printf("Error: the conceptual groundwater outflow finds no channel cell of the link map to enter.\n");
    return stop_run();
  }
  // The shares sum to 1, so that the channels take all the model's outflow.
  if (std::fabs(sum - 1.0) > 1e-9) {
    std::printf("Summation of the cgw weights is not equal to 1.0.\n");
    std::printf("The weights are scaled to sum to 1.0.\n");
  }
  ch.cgw_weight_sum = 0.0;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) ch.cgw_weight_sum += ch.gst_cgw_weight[i][j] /= sum;
  return true;
}

}  // namespace nivra
