#include "groundwater/lumped_files.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/guarded_file.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"

namespace nivra {

void print_lumped_lines(std::initializer_list<const char*> lines) {
  for (const char* l : lines) std::printf("%s\n", l);
}

int lumped_card_index(std::string& line, const char* header, const char* const* words, int count) {
  card_line l(line);
  std::string word;
  if (!next_token(l, word)) return count + 1;
  const std::string w = to_lower(word);
  line = std::string(l.rest());
  if (w == header) return 0;
  for (int i = 0; i < count; ++i)
    if (w == words[i]) return i + 1;
  return count + 1;
}

bool read_lumped_cards(guarded_file& f, std::string_view name, const lumped_file_layout& layout, int count,
                       const char* const* cards, double* const* fields,
                       const std::function<int(std::string&)>& index_of) {
  const int file_name_length = static_cast<int>(name.size());
  card_line line;
  std::string token;
  if (!read_line(line, f) || !next_token(line, token) ||
      token.compare(0, std::strlen(layout.header), layout.header) != 0) {
    for (const char* l : layout.bad_header) std::fprintf(stderr, "%s\n", l);
    std::printf("Error: the %s parameter file %.*s does not begin with %s.\n", layout.what, file_name_length,
                name.data(), layout.header);
    return false;
  }
  std::vector<char> seen(static_cast<std::size_t>(count), 0);
  int read = 0, line_no = 1;
  std::string text;
  while (read < count) {
    if (!read_line(text, f)) {
      for (const char* l : layout.premature_end) {
        std::printf(l, read);
        std::printf("\n");
      }
      return false;
    }
    ++line_no;
    const int k = index_of(text);
    if (k < 0) continue;
    if (seen[static_cast<std::size_t>(k)]) {
      for (const char* l : layout.duplicate) std::printf("%s\n", l);
      std::printf("Error: line %d of the %s parameter file %.*s gives the %s card again.\n", line_no, layout.what,
                  file_name_length, name.data(), cards[k]);
      return false;
    }
    card_line rest(text);
    double v = 0.0;
    if (!next_token(rest, token) || !whole_token_double(token, v) || !std::isfinite(v)) {
      std::printf("Error: line %d of the %s parameter file %.*s: the %s card needs a number, not \"%s\".\n", line_no,
                  layout.what, file_name_length, name.data(), cards[k], token.c_str());
      return false;
    }
    *fields[k] = v;
    seen[static_cast<std::size_t>(k)] = 1;
    ++read;
  }
  return true;
}

bool flow_accumulation(const grid_state& grid, std::vector<double>& index, std::vector<double>& area) {
  const int n = grid.ncells;
  const double dx = grid.grid_size;
  index.assign(static_cast<std::size_t>(n) + 1, 0.0);
  area.assign(static_cast<std::size_t>(n) + 1, dx * dx);
  std::vector<char> finished(static_cast<std::size_t>(n) + 1, 0);
  const double diagonal = std::sqrt(2.0) * dx;
  auto cell_at = [&](int r, int c) {
    if (r < 1 || c < 1 || r > grid.nrows || c > grid.ncols) return 0;
    return grid.mask(r, c);
  };
  int done = 0;
  for (int pass = 1; done < n; ++pass) {
    if (pass > 1000) {
      print_lumped_lines({"You have specified TOPO_INDEX in your NIVRA project file.",
                          "After 1000 iterative passes through the DEM to calculate",
                          "the topographic index map, the routine has not succeeded.",
                          "This is rediculous.  Your DEM must be of very poor quality.",
                          "Please make your DEM more representative of nature in terms",
                          "of flow paths, removing digital dams and pits.  If you do not",
                          "want to do this, you can remove the TOPO_INDEX card from your",
                          "NIVRA project file, and the NIVRA Sacramento Routine will the",
                          "simply put its output into the channels uniformly.", "Program terminated."});
      return false;
    }
    for (int col = 1; col <= grid.ncols; ++col) {
      for (int row = 1; row <= grid.nrows; ++row) {
        const int k = cell_at(row, col);
        if (k == 0 || finished[static_cast<std::size_t>(k)]) continue;
        const double z = grid.elevation[k];
        // Not yet, while a higher neighbour still waits.
        bool waiting = false;
        for (int dr = -1; dr <= 1 && !waiting; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int m = (dr || dc) ? cell_at(row + dr, col + dc) : 0;
            if (m && grid.elevation[m] > z && !finished[static_cast<std::size_t>(m)]) {
              waiting = true;
              break;
            }
          }
        if (waiting) continue;
        double weights = 0.0, slopes = 0.0;
        int neighbours = 0;
        double w[3][3] = {};
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int m = (dr || dc) ? cell_at(row + dr, col + dc) : 0;
            if (!m) continue;
            const bool diag = dr && dc;
            const double dist = diag ? diagonal : dx;
            const double drop = z - grid.elevation[m];
            ++neighbours;
            slopes += -drop / dist;
            if (drop <= 0.0) continue;
            w[dr + 1][dc + 1] = drop / dist * (diag ? std::sqrt(2.0) * 0.25 * dx : 0.5 * dx);
            weights += w[dr + 1][dc + 1];
          }
        double& a = area[static_cast<std::size_t>(k)];
        double& ti = index[static_cast<std::size_t>(k)];
        if (weights > 0.0) {
          const double x = a / weights;
          ti = std::log(x);
          for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc)
              if (w[dr + 1][dc + 1] > 0.0) area[static_cast<std::size_t>(cell_at(row + dr, col + dc))] += x * w[dr + 1][dc + 1];
        } else {
          const double s = neighbours > 0 ? slopes / neighbours : 0.0;
          if (s > 1e-8) {
            if (s < 1e-6) std::printf("sslope<1.0e-6 in read_sacramento : %.10lf\n", s);
            ti = std::log(a / (2.0 * dx * s));
          } else {
            ti = 0.333;
          }
        }
        finished[static_cast<std::size_t>(k)] = 1;
        ++done;
      }
    }
  }
  return true;
}

}  // namespace nivra
