#include "channel/channel_hotstart.h"

#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_sediment.h"
#include "channel/channel_state.h"
#include "core/guarded_file.h"
#include "core/state_file.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

constexpr const char* header = "NIVRA_CHANNEL_STATE";

int lake_count(const lake_state& lakes) { return lakes.chan_lakes ? lakes.num_lakes : 0; }

bool is_channel_link(const channel_state& ch, int link) {
  return link >= 1 && link <= ch.num_stream_links && (ch.ltype[link] & link_type::channel) != 0;
}

bool erodible_link(const channel_state& ch, int link) {
  return is_channel_link(ch, link) && (ch.ltype[link] & link_type::erodible) != 0;
}

int flat_node(const channel_state& ch, int link, int node) { return ch.max_nodes_per_link * link + node; }

// Per class (in the order of the classes) the value of a store kept by
// sand and fine positions.
double by_class(const chan_sed_classes& c, const array2d<double>& sand, const array2d<double>& fine, int row,
                int cls) {
  const int pos = c.position[cls];
  const array2d<double>& a = c.sand[cls] ? sand : fine;
  return row <= a.rows() && pos <= a.cols() ? a(row, pos) : 0.0;
}
double& by_class(const chan_sed_classes& c, array2d<double>& sand, array2d<double>& fine, int row, int cls) {
  return c.sand[cls] ? sand(row, c.position[cls]) : fine(row, c.position[cls]);
}

// ---- Reading.

bool read_lake(state_file_reader& in, const channel_state& ch, const lake_state& lakes, channel_carried& out,
               std::vector<char>& seen) {
  card_numbers num = in.numbers();
  channel_carried::lake_row r;
  r.line = in.line_no();
  if (!num.whole("the lake", r.lake, from_to(1, lake_count(lakes))) ||
      !num.real("the level", r.level, ground_elevation) ||
      !num.real("the volume", r.volume, from_to(-1e12, 1e12, "m3")) ||
      !num.real("the area", r.area, from_to(0, 1e12, "m2")) ||
      !num.whole("the cells it counts", r.counted, from_to(0, 10000000)))
    return in.stop();
  if (!in.ends()) return false;
  if (seen[static_cast<std::size_t>(r.lake)]) return in.fail("gives a lake a second time");
  seen[static_cast<std::size_t>(r.lake)] = 1;
  (void)ch;
  out.lakes.push_back(r);
  return true;
}

bool read_cell(state_file_reader& in, const lake_state& lakes, const grid_state& grid, channel_carried& out,
               std::vector<int>& owner) {
  card_numbers num = in.numbers();
  int lake = 0, row = 0, col = 0;
  if (!num.whole("the lake", lake, from_to(1, lake_count(lakes))) ||
      !num.whole("the row", row, from_to(1, grid.proj_rows)) ||
      !num.whole("the column", col, from_to(1, grid.proj_cols)))
    return in.stop();
  if (!in.ends()) return false;
  channel_carried::lake_row* r = nullptr;
  for (channel_carried::lake_row& l : out.lakes)
    if (l.lake == lake) r = &l;
  if (!r) return in.fail("gives a cell of a lake before the lake's LAKE line");
  const int cell = row < grid.mask.rows() && col < grid.mask.cols() ? grid.mask[row][col] : 0;
  bool listed = false;
  for (const int c : lakes.chan_lake[lake].search_cell) listed = listed || c == cell;
  if (cell < 1 || !listed)
    return in.fail("gives the lake a cell that is not among the cells of its search list (NUMPTS) in the channel "
                   "input file");
  if (owner[static_cast<std::size_t>(cell)]) return in.fail("gives a cell a second time");
  owner[static_cast<std::size_t>(cell)] = lake;
  r->cells.push_back(cell);
  return true;
}

bool read_taken(state_file_reader& in, const channel_state& ch, const lake_state& lakes, channel_carried& out,
                std::vector<char>& seen) {
  card_numbers num = in.numbers();
  channel_carried::taken_row r;
  r.line = in.line_no();
  if (!num.whole("the link", r.link, from_to(1, ch.num_stream_links)) ||
      !num.whole("the nodes it routes", r.routed, from_to(0, ch.max_nodes)) ||
      !num.whole("the lake", r.lake, from_to(1, lake_count(lakes))))
    return in.stop();
  if (!in.ends()) return false;
  if (!is_channel_link(ch, r.link) || r.link == ch.num_stream_links)
    return in.fail("names a link that is no channel link a lake can take (the outlet link never is)");
  if (r.routed >= ch.og_nx1[r.link]) return in.fail("leaves the link every node it has: no lake holds any");
  if (seen[static_cast<std::size_t>(r.link)]) return in.fail("gives a link a second time");
  seen[static_cast<std::size_t>(r.link)] = 1;
  out.taken.push_back(r);
  return true;
}

bool read_node_sed(state_file_reader& in, const channel_state& ch, channel_carried& out, std::vector<char>& seen) {
  card_numbers num = in.numbers();
  channel_carried::node_sed_row r;
  r.line = in.line_no();
  if (!num.whole("the link", r.link, from_to(1, ch.num_stream_links)) ||
      !num.whole("the node", r.node, from_to(1, ch.max_nodes)))
    return in.stop();
  if (!is_channel_link(ch, r.link) || r.node > ch.og_nx1[r.link])
    return in.fail("names a node that is no computational node of a channel link");
  r.stored.assign(static_cast<std::size_t>(out.sed_classes) + 1, 0.0);
  r.waiting.assign(static_cast<std::size_t>(out.sed_classes) + 1, 0.0);
  for (int k = 1; k <= out.sed_classes; ++k)
    if (!num.real("the stored sediment", r.stored[static_cast<std::size_t>(k)], from_to(-1e-6, 1e12, "m3")) ||
        !num.real("the sediment waiting to enter", r.waiting[static_cast<std::size_t>(k)], from_to(-1e-6, 1e12, "m3")))
      return in.stop();
  if (!in.ends()) return false;
  const std::size_t at = static_cast<std::size_t>(flat_node(ch, r.link, r.node));
  if (seen[at]) return in.fail("gives a node a second time");
  seen[at] = 1;
  out.node_sed.push_back(std::move(r));
  return true;
}

bool read_lake_sed(state_file_reader& in, const lake_state& lakes, channel_carried& out, std::vector<char>& seen) {
  card_numbers num = in.numbers();
  channel_carried::lake_sed_row r;
  r.line = in.line_no();
  if (!num.whole("the lake", r.lake, from_to(1, lake_count(lakes)))) return in.stop();
  const int n = out.sed_classes;
  for (std::vector<double>* v : {&r.suspended, &r.settled, &r.arriving}) v->assign(static_cast<std::size_t>(n) + 1, 0.0);
  for (int k = 1; k <= n; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    if (!num.real("the suspended sediment", r.suspended[i], from_to(-1e-6, 1e12, "m3")) ||
        !num.real("the settled sediment", r.settled[i], from_to(-1e-6, 1e12, "m3")) ||
        !num.real("the arriving sediment", r.arriving[i], from_to(-1e-6, 1e12, "m3")))
      return in.stop();
  }
  if (!in.ends()) return false;
  if (seen[static_cast<std::size_t>(r.lake)]) return in.fail("gives a lake a second time");
  seen[static_cast<std::size_t>(r.lake)] = 1;
  out.lake_sed.push_back(std::move(r));
  return true;
}

bool read_bed(state_file_reader& in, const channel_state& ch, channel_carried& out, std::vector<char>& seen) {
  card_numbers num = in.numbers();
  channel_carried::bed_row r;
  r.line = in.line_no();
  if (!num.whole("the link", r.link, from_to(1, ch.num_stream_links)) ||
      !num.whole("the node", r.node, from_to(1, ch.max_nodes)) || !num.real("the bed", r.bed, ground_elevation) ||
      !num.real("the bed of its sand", r.moved_bed, ground_elevation) ||
      !num.real("the sand layer", r.layer, from_to(0, 1e4, "m")))
    return in.stop();
  if (!in.ends()) return false;
  if (!erodible_link(ch, r.link) || r.node > ch.og_nx1[r.link])
    return in.fail("names a node that is no computational node of an erodible channel link");
  const std::size_t at = static_cast<std::size_t>(flat_node(ch, r.link, r.node));
  if (seen[at]) return in.fail("gives a node a second time");
  seen[at] = 1;
  out.beds.push_back(r);
  return true;
}

}  // namespace

void write_channel_state_file(std::FILE* f, const channel_state& ch, const lake_state& lakes, const grid_state& grid,
                              const channel_sediment* sed, const channel_outlet& outlet) {
  if (!f) return;
  std::fprintf(f, "%s\n", header);
  const int nl = lake_count(lakes);
  std::fprintf(f, "# What the .dht and .qht files of this channel hot-start cannot hold.\n");
  std::fprintf(f, "OUTLET %.17g\n", outlet.q);
  std::fprintf(f, "LAKES %d\n", nl);
  for (int L = 1; L <= nl; ++L) {
    std::fprintf(f, "# lake  level (m)  volume (m3)  area (m2)  cells it counts\n");
    std::fprintf(f, "LAKE %d %.17g %.17g %.17g %d\n", L, lakes.lake_elev[L], lakes.lake_volume[L],
                 lakes.lake_area[L], lakes.lake_cells[L]);
    for (const int c : lakes.chan_lake[L].search_cell)
      if (lakes.lake_mask[c] == L) std::fprintf(f, "CELL %d %d %d\n", L, grid.cell_row[c], grid.cell_col[c]);
  }
  if (nl > 0 && !ch.status_node.empty()) {
    std::fprintf(f, "# link  nodes it routes  lake holding the nodes below them\n");
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (!is_channel_link(ch, l) || ch.nx[l] >= ch.og_nx1[l]) continue;
      const int lake = (ch.ltype[l] & link_type::captured) ? lakes.lake2link[l] : ch.capture_lake[l];
      std::fprintf(f, "TAKEN %d %d %d\n", l, ch.nx[l], lake);
    }
  }
  const int n = sed ? sed->classes.n : 0;
  std::fprintf(f, "SEDIMENT %d\n", n);
  if (n > 0) {
    const chan_sed_classes& c = sed->classes;
    std::fprintf(f, "# link  node  then per class: stored  waiting to enter (m3)\n");
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (!is_channel_link(ch, l)) continue;
      for (int k = 1; k <= ch.og_nx1[l]; ++k) {
        const int at = flat_node(ch, l, k);
        std::fprintf(f, "NODE %d %d", l, k);
        for (int cls = 1; cls <= n; ++cls)
          std::fprintf(f, " %.17g %.17g", by_class(c, sed->sand.sand, sed->wash.vol, at, cls),
                       by_class(c, sed->sand.lateral, sed->wash.lateral, at, cls));
        std::fputc('\n', f);
      }
    }
    if (nl > 0) std::fprintf(f, "# lake  then per class: suspended  settled  arriving (m3)\n");
    for (int L = 1; L <= nl; ++L) {
      std::fprintf(f, "LAKE_SEDIMENT %d", L);
      for (int cls = 1; cls <= n; ++cls) {
        const int pos = c.position[cls];
        if (c.sand[cls])
          std::fprintf(f, " 0 %.17g %.17g", sed->lake_sand(L, pos), sed->sand.to_lake(L, pos));
        else
          std::fprintf(f, " %.17g %.17g %.17g", sed->wash.lake_vol(L, pos), sed->wash.settled(L, pos),
                       sed->wash.from_overland(L, pos));
      }
      std::fputc('\n', f);
    }
    bool any = false;
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (!erodible_link(ch, l)) continue;
      if (!any) std::fprintf(f, "# link  node  bed (m)  bed of its sand (m)  sand layer (m)\n");
      any = true;
      for (int k = 1; k <= ch.og_nx1[l]; ++k)
        std::fprintf(f, "BED %d %d %.17g %.17g %.17g\n", l, k, ch.bel(k, l),
                     ch.new_bel.empty() ? ch.bel(k, l) : ch.new_bel(k, l), sed->layer.empty() ? 0.0 : sed->layer(k, l));
    }
    if (outlet.fine && outlet.sand) {
      std::fprintf(f, "# per class: the sediment the outlet passed in the last step (m3/s)\nOUTLET_SEDIMENT");
      for (int cls = 1; cls <= n; ++cls) {
        const array1d<double>& a = c.sand[cls] ? *outlet.sand : *outlet.fine;
        const int pos = c.position[cls];
        std::fprintf(f, " %.17g", pos <= a.size() ? a[pos] : 0.0);
      }
      std::fputc('\n', f);
    }
  }
  std::fprintf(f, "END\n");
}

bool read_channel_state_file(guarded_file& f, channel_state& ch, const lake_state& lakes, const grid_state& grid) {
  channel_carried& out = ch.carried;
  out = channel_carried{};
  out.file = f.name.str();
  state_file_reader in(f, "the channel hot-start state");
  if (!in.header(header)) return false;
  const int nl = lake_count(lakes);
  std::vector<char> lake_seen(static_cast<std::size_t>(nl) + 1, 0), lake_sed_seen(lake_seen);
  std::vector<char> link_seen(static_cast<std::size_t>(ch.num_stream_links) + 1, 0);
  std::vector<char> node_seen(static_cast<std::size_t>(ch.link_node_size) + ch.max_nodes_per_link + 1, 0),
      bed_seen(node_seen);
  std::vector<int> owner(static_cast<std::size_t>(grid.ncells) + 1, 0);
  bool lakes_given = false, sediment_given = false, outlet_given = false, ended = false;
  while (!ended && in.next()) {
    const std::string& w = in.card();
    bool ok = true;
    if (w == "OUTLET") {
      card_numbers num = in.numbers();
      if (out.outlet_given) return in.fail("gives OUTLET a second time");
      if (!num.real("the outlet discharge", out.outlet_q, from_to(-1e7, 1e7, "m3/s"))) return in.stop();
      if (!in.ends()) return false;
      out.outlet_given = true;
    } else if (w == "LAKES") {
      card_numbers num = in.numbers();
      int count = 0;
      if (lakes_given) return in.fail("gives LAKES a second time");
      if (!num.whole("the number of lakes", count, from_to(0, 1000000))) return in.stop();
      if (!in.ends()) return false;
      if (count != nl) {
        std::fprintf(stderr,
                     "Error: line %d of the channel hot-start state %s gives %d channel lakes; the channel input "
                     "file has %d: the hot-start belongs to another network.\n",
                     in.line_no(), in.name(), count, nl);
        return in.stop();
      }
      lakes_given = true;
    } else if (w == "LAKE" || w == "CELL" || w == "TAKEN") {
      if (!lakes_given) return in.fail("comes before the LAKES line");
      ok = w == "LAKE"   ? read_lake(in, ch, lakes, out, lake_seen)
           : w == "CELL" ? read_cell(in, lakes, grid, out, owner)
                         : read_taken(in, ch, lakes, out, link_seen);
    } else if (w == "SEDIMENT") {
      card_numbers num = in.numbers();
      if (sediment_given) return in.fail("gives SEDIMENT a second time");
      if (!num.whole("the number of sediment classes", out.sed_classes, from_to(0, 1000))) return in.stop();
      if (!in.ends()) return false;
      sediment_given = true;
    } else if (w == "NODE" || w == "LAKE_SEDIMENT" || w == "BED") {
      if (!sediment_given) return in.fail("comes before the SEDIMENT line");
      ok = w == "NODE"            ? read_node_sed(in, ch, out, node_seen)
           : w == "LAKE_SEDIMENT" ? read_lake_sed(in, lakes, out, lake_sed_seen)
                                  : read_bed(in, ch, out, bed_seen);
    } else if (w == "OUTLET_SEDIMENT") {
      if (!sediment_given) return in.fail("comes before the SEDIMENT line");
      if (outlet_given) return in.fail("gives OUTLET_SEDIMENT a second time");
      card_numbers num = in.numbers();
      out.outlet_sed.assign(static_cast<std::size_t>(out.sed_classes) + 1, 0.0);
      for (int k = 1; k <= out.sed_classes; ++k)
        if (!num.real("the outlet's sediment rate", out.outlet_sed[static_cast<std::size_t>(k)],
                      from_to(-1e-6, 1e9, "m3/s")))
          return in.stop();
      if (!in.ends()) return false;
      outlet_given = true;
    } else if (w == "END") {
      if (!in.ends()) return false;
      ended = true;
    } else {
      return in.fail("begins with a word that is no card of the file");
    }
    if (!ok) return false;
  }
  if (!in.finish(ended)) return false;
  if (!lakes_given || !sediment_given) {
    std::fprintf(stderr, "Error: the channel hot-start state %s has no %s line.\n", in.name(),
                 lakes_given ? "SEDIMENT" : "LAKES");
    return in.stop();
  }
  for (int L = 1; L <= nl; ++L)
    if (!lake_seen[static_cast<std::size_t>(L)]) {
      std::fprintf(stderr, "Error: the channel hot-start state %s has no LAKE line for lake %d.\n", in.name(), L);
      return in.stop();
    }
  out.read = true;
  return true;
}

void apply_carried_lakes(const channel_state& ch, lake_state& lakes) {
  const channel_carried& k = ch.carried;
  if (!k.read) return;
  for (const channel_carried::lake_row& r : k.lakes) {
    const int L = r.lake;
    for (const int c : lakes.chan_lake[L].search_cell)
      if (lakes.lake_mask[c] == L) lakes.lake_mask[c] = no_lake;
  }
  for (const channel_carried::lake_row& r : k.lakes) {
    const int L = r.lake;
    for (const int c : r.cells) lakes.lake_mask[c] = L;
    lakes.lake_elev[L] = r.level;
    lakes.lake_volume[L] = lakes.prevlake_volume[L] = r.volume;
    lakes.lake_area[L] = r.area;
    lakes.lake_cells[L] = r.counted;
  }
}

void apply_carried_capture(channel_state& ch, lake_state& lakes) {
  if (!ch.carried.read || ch.status_node.empty()) return;
  for (const channel_carried::taken_row& r : ch.carried.taken) {
    const int l = r.link;
    for (int k = r.routed + 1; k <= ch.og_nx1[l]; ++k) {
      ch.status_node(k, l) = 1;
      ch.area(k, l) = ch.qp(k, l) = ch.yp(k, l) = ch.chan_depth(k, l) = 0.0;
    }
    ch.nx[l] = r.routed;
    ch.capture_lake[l] = r.lake;
    if (r.routed == 0) {
      ch.ltype[l] |= link_type::captured;
      lakes.lake2link[l] = r.lake;
    }
  }
}

bool apply_carried_sediment(channel_state& ch, int lakes, channel_sediment& sed, int classes) {
  const channel_carried& k = ch.carried;
  if (!k.read) return true;
  if (k.sed_classes != classes) {
    std::fprintf(stderr,
                 "Error: the channel hot-start state %s carries the sediment of %d classes; this run has %d.\n",
                 k.file.c_str(), k.sed_classes, classes);
    return state_file_reader::stop();
  }
  if (classes == 0) return true;
  const chan_sed_classes& c = sed.classes;
  // What the beds held at the set-up gives way to what was carried.
  sed.sand.sand.fill(0.0);
  sed.wash.vol.fill(0.0);
  for (const channel_carried::node_sed_row& r : k.node_sed) {
    const int at = flat_node(ch, r.link, r.node);
    for (int cls = 1; cls <= classes; ++cls) {
      const std::size_t i = static_cast<std::size_t>(cls);
      by_class(c, sed.sand.sand, sed.wash.vol, at, cls) = r.stored[i];
      by_class(c, sed.sand.lateral, sed.wash.lateral, at, cls) = r.waiting[i];
    }
  }
  for (const channel_carried::lake_sed_row& r : k.lake_sed) {
    if (r.lake > lakes) continue;
    for (int cls = 1; cls <= classes; ++cls) {
      const int pos = c.position[cls];
      const std::size_t i = static_cast<std::size_t>(cls);
      if (c.sand[cls]) {
        sed.lake_sand(r.lake, pos) = r.settled[i];
        sed.sand.to_lake(r.lake, pos) = r.arriving[i];
      } else {
        sed.wash.lake_vol(r.lake, pos) = r.suspended[i];
        sed.wash.settled(r.lake, pos) = r.settled[i];
        sed.wash.from_overland(r.lake, pos) = r.arriving[i];
      }
    }
  }
  for (const channel_carried::bed_row& r : k.beds) {
    const int l = r.link, n = r.node;
    ch.bel(n, l) = r.bed;
    if (!ch.new_bel.empty()) ch.new_bel(n, l) = r.moved_bed;
    if (!sed.layer.empty()) sed.layer(n, l) = r.layer;
    // The water the hot-start gave the node stands on the carried bed.
    if (n <= ch.nx[l]) {
      if (ch.yp(n, l) < ch.bel(n, l)) ch.yp(n, l) = ch.bel(n, l);
      ch.chan_depth(n, l) = ch.yp(n, l) - ch.bel(n, l);
    }
  }
  // Each node's sand is where the next section update starts from.
  if (c.n_sand > 0 && !sed.node_sand.empty())
    for (int l = 1; l <= ch.num_stream_links; ++l)
      for (int n = 1; n <= ch.og_nx1[l] && n <= sed.node_sand.rows(); ++n) {
        double v = 0.0;
        for (int m = 1; m <= c.n_sand; ++m) v += sed.sand.sand(flat_node(ch, l, n), m);
        sed.node_sand(n, l) = v;
      }
  // The sand the beds start the run with.
  for (int m = 1; m <= c.n_sand; ++m) {
    double v = 0.0;
    for (int f = 1; f <= sed.sand.sand.rows(); ++f) v += sed.sand.sand(f, m);
    sed.sand_init[m] = v;
  }
  return true;
}

void apply_carried_outlet_sediment(const channel_state& ch, const chan_sed_classes& c, array1d<double>& fine,
                                   array1d<double>& sand) {
  const std::vector<double>& r = ch.carried.outlet_sed;
  if (!ch.carried.read || r.size() != static_cast<std::size_t>(c.n) + 1) return;
  const int total_sand = sand.size();
  for (int cls = 1; cls <= c.n; ++cls) {
    const double q = r[static_cast<std::size_t>(cls)];
    const int pos = c.position[cls];
    if (c.sand[cls]) {
      if (pos < total_sand) {
        sand[pos] = q;
        sand[total_sand] += q;
      }
    } else if (pos <= fine.size()) {
      fine[pos] = q;
      fine[0] += q;
    }
  }
}

}  // namespace nivra
