#include "inputs/soil_tables.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "core/guarded_file.h"
#include "core/process.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "maps/input_report.h"

namespace nivra {

namespace {

// Tokens of a table file, separated by blanks, tabs and commas, with the
// line each came from. Lines come from the file's own reader, so bracketed
// keys are replaced.
class token_source {
 public:
  token_source(std::function<bool(std::string&)> next_line, std::string_view name)
      : next_line_(std::move(next_line)), name_(name) {}

  // Starts the next line; false at the end of the file.
  bool start_line() {
    pos_ = 0;
    if (!next_line_(line_)) {
      line_.clear();
      return false;
    }
    ++line_no_;
    return true;
  }
  // Starts the current line again from column `column` (1-based).
  void move_to_column(std::size_t column) { pos_ = column - 1 < line_.size() ? column - 1 : line_.size(); }
  // The next token of the current line; false when it has none left.
  bool token_on_line(std::string_view& token) {
    while (pos_ < line_.size() && is_sep(line_[pos_])) ++pos_;
    if (pos_ >= line_.size()) return false;
    std::size_t q = pos_;
    while (q < line_.size() && !is_sep(line_[q])) ++q;
    token = std::string_view(line_).substr(pos_, q - pos_);
    pos_ = q;
    return true;
  }
  // The next token, on this line or the lines after it.
  bool token(std::string_view& token) {
    while (!token_on_line(token))
      if (!start_line()) return false;
    return true;
  }

  // A finite number / a whole number, on this line or (free_form) on the
  // lines after it; false after a message naming what was due.
  bool number(double& v, const char* what, bool free_form) {
    std::string_view t;
    const bool got = free_form ? token(t) : token_on_line(t);
    if (got && whole_token_double(t, v) && std::isfinite(v)) return true;
    fail(got, free_form, t, what, "a number");
    return false;
  }
  bool whole(int& v, const char* what, bool free_form) {
    std::string_view t;
    const bool got = free_form ? token(t) : token_on_line(t);
    if (got && whole_token_int(t, v)) return true;
    fail(got, free_form, t, what, "a whole number");
    return false;
  }
  // A message naming the file and the current line; stops the run.
  void refuse(const char* text) {
    std::printf("Error: line %d of the soil table %s %s\n", line_no_, name_.c_str(), text);
    stop_with_own_message();
  }
  int line_no() const { return line_no_; }
  const std::string& line() const { return line_; }
  const std::string& name() const { return name_; }

 private:
  static bool is_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }
  void fail(bool got, bool free_form, std::string_view t, const char* what, const char* kind) {
    if (got)
      std::printf("Error: line %d of the soil table %s holds %.*s where %s (%s) is due\n", line_no_,
                  name_.c_str(), static_cast<int>(t.size()), t.data(), what, kind);
    else if (!free_form)
      std::printf("Error: line %d of the soil table %s ends where %s (%s) is due\n", line_no_, name_.c_str(), what,
                  kind);
    else
      std::printf("Error: the soil table %s ends at line %d where %s (%s) is due\n", name_.c_str(), line_no_,
                  what, kind);
    stop_with_own_message();
  }

  std::function<bool(std::string&)> next_line_;
  std::string name_;
  std::string line_;
  std::size_t pos_ = 0;
  int line_no_ = 0;
};

token_source file_tokens(guarded_file& f, std::string_view name) {
  return token_source([&f](std::string& line) { return read_line(line, f) != 0; }, name);
}

// A table of the mapping-table file, its line numbers those of the file.
token_source cmt_tokens(cmt_file& f) {
  return token_source(
      [&f](std::string& line) {
        if (!f.next_line()) return false;
        line = f.line();
        return true;
      },
      f.name());
}

bool class_id_in_range(token_source& in, int id) {
  if (id >= 0 && id < soil_class_capacity) return true;
  char text[160];
  std::snprintf(text, sizeof text, "gives the soil class ID %d; soil class IDs run from 0 to %d", id,
                soil_class_capacity - 1);
  in.refuse(text);
  return false;
}

// An ID within range that no earlier class of the table gave: a second
// class of an ID would overwrite the first.
bool class_id_new(token_source& in, int id, const soil_class_set& defined) {
  if (!class_id_in_range(in, id)) return false;
  if (!defined[static_cast<std::size_t>(id)]) return true;
  char text[160];
  std::snprintf(text, sizeof text, "gives the soil class ID %d a second time", id);
  in.refuse(text);
  return false;
}

// The physical range of the values of a layer line of layout A (v[1..]):
// a conductivity, pore-size index and suction head of their range, a
// porosity within (0, 1], a field capacity within the pores, a wilting
// point below the field capacity, a residual content below the porosity,
// an initial content within the pores and, on layers 1 and 2, a thickness
// above 0. Null when the line fits.
const char* layout_a_fault(int layer, const double* v) {
  const double ks = v[1], pore = v[2], suction = v[3], porosity = v[4], fc = v[5], wp = v[6], tr = v[7], ti = v[8];
  if (!(ks >= 0.0 && ks <= 1e4)) return "a saturated conductivity (value 1) outside [0, 10000] cm/h";
  if (!(pore >= 0.0 && pore <= 100.0)) return "a pore-size index (value 2) outside [0, 100]";
  if (!(suction >= 0.0 && suction <= 1e5)) return "a suction head (value 3) outside [0, 100000] cm";
  if (!(porosity > 0.0 && porosity <= 1.0)) return "a porosity (value 4) outside (0, 1]";
  if (!(fc >= 0.0 && fc <= porosity)) return "a field capacity (value 5) outside [0, its porosity]";
  if (!(wp >= 0.0 && wp <= fc)) return "a wilting point (value 6) outside [0, its field capacity]";
  if (!(tr >= 0.0 && tr < porosity)) return "a residual water content (value 7) outside [0, its porosity)";
  if (!(ti >= 0.0 && ti <= porosity)) return "an initial water content (value 8) outside [0, its porosity]";
  if (layer < 3 && !(v[9] > 0.0 && v[9] <= 1e4)) return "a thickness (value 9) outside (0, 10000] cm";
  return nullptr;
}

// Layout A: one class's three layer lines, the first already started and
// positioned at its first value.
bool read_layout_a_layers(token_source& in, soil_class& s) {
  // The real that column c (1-based) of layer L fills: first + L - 1, 0 for none.
  static constexpr int first_real[10] = {0, 5, 26, 1, 8, 17, 14, 20, 11, 23};
  for (int layer = 1; layer <= 3; ++layer) {
    if (layer > 1 && !in.start_line()) {
      in.refuse("ends before the three layer lines of a soil class");
      return false;
    }
    const int columns = layer == 3 ? 8 : 9;
    double v[10] = {};
    for (int c = 1; c <= columns; ++c) {
      if (!in.number(v[c], "a value of a layer line", false)) return false;
      s.real(first_real[c] + layer - 1) = v[c];
    }
    if (const char* fault = layout_a_fault(layer, v)) {
      char text[300];
      std::snprintf(text, sizeof text, "gives layer %d %s", layer, fault);
      in.refuse(text);
      return false;
    }
  }
  return true;
}

// The header of a table block of the mapping table: "NUM_IDS n" and a line
// of a word and a number; then card lines and the column header.
bool read_block_head(cmt_file& f, token_source& in, int& n) {
  n = f.read_count(cmt_code_num_ids);
  if (process.error_block.stop) return false;
  if (n <= 0) {
    std::printf("Error: line %d of the mapping table file %s is not a NUM_IDS line with a count above 0\n",
                f.line_no(), f.name().c_str());
    stop_with_own_message();
    return false;
  }
  std::string word;
  card_line second;
  int unused = 0;
  if (!f.next_line() || !(second = f.line(), next_token(second, word)) || !next_token_int(second, unused)) {
    std::printf("Error: line %d of the mapping table file %s is not the line of a word and a number that "
                "follows NUM_IDS in a soil table\n",
                f.line_no(), f.name().c_str());
    stop_with_own_message();
    return false;
  }
  (void)in;
  if (!f.skip_to_rows()) {
    std::printf("Error: the soil table of the mapping table file %s ends before its rows\n", f.name().c_str());
    stop_with_own_message();
    return false;
  }
  return true;
}

// The physical range of the values of a layer line of layout B (v[1..]):
// a positive conductivity, a saturated content within (0, 1], a residual
// content below it, initial, wilting and field-capacity contents within the
// pores (the wilting point at most the field capacity), a node spacing of at least 0.01 cm, a thickness of at least one
// node spacing, and the curve's constants
// (form 1: pore index above 0, a bubbling head other than 0; form 2:
// Haverkamp a, n, A and B above 0). Null when the line fits.
const char* layout_b_fault(int form, const double* v) {
  const double ks = v[1], ts = v[2], tr = v[3], ti = v[4], wp = v[5], fc = v[6];
  const int last = form == richards_brooks_form ? 10 : 12;
  if (!(ks > 0.0 && ks <= 1e4)) return "a saturated conductivity (value 1) outside (0, 10000] cm/h";
  if (!(ts > 0.0 && ts <= 1.0)) return "a saturated water content (value 2) outside (0, 1]";
  if (!(tr >= 0.0 && tr < ts)) return "a residual water content (value 3) outside [0, the saturated content)";
  if (!(ti >= tr && ti <= ts)) return "an initial water content (value 4) outside [residual, saturated]";
  if (!(wp >= 0.0 && wp <= ts)) return "a wilting point (value 5) outside [0, the saturated content]";
  if (!(fc >= 0.0 && fc <= ts)) return "a field capacity (value 6) outside [0, the saturated content]";
  if (!(wp <= fc)) return "a wilting point (value 5) above its field capacity (value 6)";
  if (!(v[7] <= 1e4)) return "a thickness (value 7) above 10000 cm";
  if (!(v[last] >= 0.01)) return "a node spacing below 0.01 cm";
  if (!(v[7] >= v[last])) return "a thickness (value 7) below its node spacing: a layer holds one node at least";
  if (v[7] / v[last] > 1000.0) return "more than 1000 nodes (thickness over node spacing)";
  if (form == richards_brooks_form) {
    if (!(v[8] > 0.0 && v[8] <= 100.0)) return "a pore-size index (value 8) outside (0, 100]";
    if (!(std::fabs(v[9]) > 0.0 && std::fabs(v[9]) <= 1e5)) return "a bubbling head (value 9) of 0 or beyond 100000 cm";
  } else {
    for (int k = 8; k <= 11; ++k)
      if (!(v[k] > 0.0 && v[k] < 1e300)) return "a Haverkamp constant (values 8 to 11) that is not above 0";
  }
  return nullptr;
}

// Layout B for one soil: three layer lines of 10 (form 1) or 12 (form 2)
// values, the first line already positioned at its first value.
bool read_layout_b_layers(token_source& in, int form, bool line_per_layer, soil_class& s) {
  const int per_line = form == richards_brooks_form ? 10 : 12;
  for (int layer = 1; layer <= 3; ++layer) {
    if (layer > 1 && line_per_layer && !in.start_line()) {
      in.refuse("ends before the three layer lines of a soil");
      return false;
    }
    double v[13] = {};
    for (int k = 1; k <= per_line; ++k)
      if (!in.number(v[k], "a value of a layer line", true)) return false;
    const int L = layer - 1;
    s.real(5 + L) = v[1];
    s.real(8 + L) = v[2];
    s.real(11 + L) = v[4];
    s.real(14 + L) = v[5];
    s.real(17 + L) = v[6];
    s.real(20 + L) = v[3];
    s.real(23 + L) = v[7];
    if (form == richards_brooks_form) {
      s.real(26 + L) = v[8];
      s.real(29 + L) = -std::fabs(v[9]);
    } else {
      s.real(35 + L) = v[8];
      s.real(38 + L) = v[9];
      s.real(41 + L) = v[10];
      s.real(44 + L) = v[11];
    }
    s.real(32 + L) = v[per_line];
    if (v[7] < 0.0 || !(v[per_line] > 0.0)) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "gives layer %d a thickness of %g cm and a node spacing of %g cm; the thickness may not be "
                    "negative and the spacing must be above 0",
                    layer, v[7], v[per_line]);
      in.refuse(text);
      return false;
    }
    if (const char* fault = layout_b_fault(form, v)) {
      char text[300];
      std::snprintf(text, sizeof text, "gives layer %d %s", layer, fault);
      in.refuse(text);
      return false;
    }
  }
  return true;
}

// The per-cell part of layout B: node counts and the extra values.
int finish_layout_b(const soil_hydraulic_request& rq, const array1d<soil_class>& table, soil_hydraulic_result& res) {
  const array1d<int>* ids = rq.soil_ids;
  const int n_cells = ids ? ids->size() : 0;
  res.cell_nodes.alloc(n_cells);
  if (rq.water_table) res.water_table_node.alloc(n_cells);
  if (rq.extra_values)
    for (auto& a : res.extra) a.alloc(n_cells);
  int largest = 0;
  for (int k = 1; k <= n_cells; ++k) {
    const int i = (*ids)[k];
    const soil_class& s = table[i];
    if (rq.extra_values)
      for (int e = 0; e < 4; ++e) res.extra[static_cast<std::size_t>(e)][k] = s.real(47 + e);
    const int total = res.total_nodes[static_cast<std::size_t>(i)];
    int nodes = total;
    if (rq.water_table) {
      const double g =
          ((*rq.ground)[k] - (*rq.water_table_elev)[k]) - (s.real(23) + s.real(24) + s.real(25)) / 100.0;
      if (g <= 0.0) {
        nodes = total + 1;
      } else {
        const double m = g / rq.gw_node_spacing;
        if (m < 1.0) {
          nodes = total + 2;
        } else {
          nodes = total + static_cast<int>(m) + 1;
          if (m - std::floor(m) >= 0.25) ++nodes;
        }
      }
      res.water_table_node[k] = nodes;
      nodes += 9;
    }
    res.cell_nodes[k] = nodes;
    if (nodes > largest) largest = nodes;
  }
  return n_cells > 0 ? largest + 2 : 2;
}

void store_node_counts(const soil_hydraulic_request& rq, int id, const soil_class& s, soil_hydraulic_result& res) {
  const std::size_t i = static_cast<std::size_t>(id);
  if (res.total_nodes.size() <= i) {
    res.layer1_nodes.resize(i + 1, 0);
    res.layer2_end.resize(i + 1, 0);
    res.total_nodes.resize(i + 1, 0);
  }
  res.layer1_nodes[i] = static_cast<int>(s.real(23) / s.real(32));
  res.layer2_end[i] = static_cast<int>(s.real(24) / s.real(33)) + res.layer1_nodes[i];
  res.total_nodes[i] = static_cast<int>(s.real(25) / s.real(34)) + res.layer2_end[i] + 1 - (rq.water_table ? 1 : 0);
}

bool check_request(const soil_hydraulic_request& rq, token_source& in) {
  if (!rq.water_table || rq.gw_node_spacing > 0.0) return true;
  in.refuse("is read for soil columns that reach the water table with a groundwater node spacing of 0");
  return false;
}

int read_layout_b(token_source& in, bool from_table, int n, const soil_hydraulic_request& rq,
                  array1d<soil_class>& table, soil_hydraulic_result& res) {
  if (!check_request(rq, in)) return -1;
  res.defined.assign(soil_class_capacity, false);
  res.n_soils = n;
  for (int k = 1; k <= n; ++k) {
    int id = 0;
    if (from_table) {
      // Layer line 1: the ID first, the values from column 88.
      if (!in.start_line()) {
        in.refuse("ends before all its soils are read");
        return -1;
      }
      if (!in.whole(id, "the soil ID", false)) return -1;
      in.move_to_column(88);
    } else if (!in.whole(id, "the soil ID", true)) {
      return -1;
    }
    if (!class_id_new(in, id, res.defined)) return -1;
    soil_class& s = table[id];
    if (rq.extra_values && !from_table)
      for (int e = 0; e < 4; ++e)
        if (!in.number(s.real(47 + e), "an extra value of the soil", true)) return -1;
    if (!read_layout_b_layers(in, rq.form, from_table, s)) return -1;
    res.defined[static_cast<std::size_t>(id)] = true;
    store_node_counts(rq, id, s, res);
  }
  // Every cell's soil must be one the table defined.
  if (rq.soil_ids && rq.grid &&
      !check_cell_soil_classes(*rq.grid, *rq.soil_ids, res.defined, rq.soil_map_name, in.name()))
    return -1;
  if (rq.soil_ids && !rq.grid)
    for (int c = 1; c <= rq.soil_ids->size(); ++c) {
      const int id = (*rq.soil_ids)[c];
      if (id >= 0 && id < soil_class_capacity && res.defined[static_cast<std::size_t>(id)]) continue;
      std::printf("Error: cell %d has the soil class %d, which the soil table %s does not define\n", c, id,
                  in.name().c_str());
      stop_with_own_message();
      return -1;
    }
  return finish_layout_b(rq, table, res);
}

}  // namespace

int read_soil_layer_table(guarded_file& f, std::string_view name, array1d<soil_class>& table,
                          soil_class_set& defined) {
  defined.assign(soil_class_capacity, false);
  token_source in = file_tokens(f, name);
  int n = 0, unused = 0;
  if (!in.start_line() || !in.whole(n, "the number of soil classes", false)) return -1;
  if (n < 0) {
    in.refuse("gives a negative number of soil classes");
    return -1;
  }
  if (!in.start_line() || !in.whole(unused, "the second number of the table", false)) return -1;
  for (int k = 1; k <= n; ++k) {
    int id = 0;
    if (!in.start_line()) {
      in.refuse("ends before all its soil classes are read");
      return -1;
    }
    if (!in.whole(id, "the soil class ID", false) || !class_id_new(in, id, defined)) return -1;
    if (!in.start_line()) {
      in.refuse("ends before the three layer lines of a soil class");
      return -1;
    }
    if (!read_layout_a_layers(in, table[id])) return -1;
    defined[static_cast<std::size_t>(id)] = true;
  }
  return n;
}

int read_layered_soil_table(cmt_file& f, array1d<soil_class>& table, soil_class_set& defined) {
  defined.assign(soil_class_capacity, false);
  token_source in = cmt_tokens(f);
  int n = 0;
  if (!read_block_head(f, in, n)) return -1;
  for (int k = 1; k <= n; ++k) {
    if (!in.start_line()) {
      in.refuse("ends before all its soil classes are read");
      return -1;
    }
    int id = 0;
    if (!in.whole(id, "the soil class ID", false) || !class_id_new(in, id, defined)) return -1;
    // A description may stand between the ID and the first value: tokens
    // that read as 0 are passed over (at most 87 of them).
    card_line rest(std::string(in.line()));
    {
      std::string skip;
      next_token(rest, skip);  // the ID
    }
    int skipped = 0;
    std::size_t column = 0;
    for (; skipped < 87; ++skipped) {
      const std::size_t before = in.line().size() - rest.size();
      double v = 0.0;
      if (!next_token_double(rest, v)) break;
      if (v != 0.0) {
        column = before;
        break;
      }
    }
    if (column == 0) {
      in.refuse("holds no value after the soil class ID");
      return -1;
    }
    in.move_to_column(column + 1);
    if (!read_layout_a_layers(in, table[id])) return -1;
    defined[static_cast<std::size_t>(id)] = true;
  }
  return n;
}

int read_soil_hydraulic_table(guarded_file& f, std::string_view name, const soil_hydraulic_request& request,
                              array1d<soil_class>& table, soil_hydraulic_result& result) {
  token_source in = file_tokens(f, name);
  int n = 0, unused = 0;
  if (!in.whole(n, "the number of soils", true) || !in.whole(unused, "the second number of the table", true))
    return -1;
  if (n < 0) {
    in.refuse("gives a negative number of soils");
    return -1;
  }
  return read_layout_b(in, false, n, request, table, result);
}

int read_soil_hydraulic_table(cmt_file& f, const soil_hydraulic_request& request, array1d<soil_class>& table,
                              soil_hydraulic_result& result) {
  token_source in = cmt_tokens(f);
  int n = 0;
  if (!read_block_head(f, in, n)) return -1;
  return read_layout_b(in, true, n, request, table, result);
}

bool check_cell_soil_classes(const grid_state& grid, const array1d<int>& soiltype, const soil_class_set& defined,
                             std::string_view map_name, std::string_view table_name) {
  for (int c = 1; c <= soiltype.size(); ++c) {
    const int id = soiltype[c];
    if (id >= 0 && id < static_cast<int>(defined.size()) && defined[static_cast<std::size_t>(id)]) continue;
    const int row = grid.cell_row.count() >= c ? grid.cell_row[c] : 0;
    const int col = grid.cell_col.count() >= c ? grid.cell_col[c] : 0;
    std::printf("Error: the soil map %.*s gives the cell at row %d, column %d the soil class %d, which the soil "
                "table %.*s does not define\n",
                static_cast<int>(map_name.size()), map_name.data(), row, col, id,
                static_cast<int>(table_name.size()), table_name.data());
    stop_with_own_message();
    return false;
  }
  return true;
}

void layered_soil_moisture(int k, const layered_moisture_input& in, array2d<double>& THETA, array2d<double>& THETAS) {
  const soil_class& s = (*in.table)[(*in.soiltype)[k]];
  const double t1 = in.thickness[0], t2 = in.thickness[1], t3 = in.thickness[2];
  const double Wt = (*in.sm_water_top)[k], Wb = (*in.sm_water_bottom)[k];
  const double P1 = s.real(8), P2 = s.real(9);
  const int n = in.n_layers;
  // Depth to the water table, cm.
  const double d = in.water_table_given ? ((*in.elevation)[k] - (*in.elevgw)[k]) * 100.0 : s.real(23) + s.real(24) + 1.0;
  const double top = 100.0 * t1, mid = 100.0 * (t1 + t2), bottom = 100.0 * (t1 + t2 + t3);
  double theta_s_2 = 0.0;
  for (int l = 1; l <= n; ++l) {
    double theta = 0.0, theta_s = 0.0;
    if (d <= 1e-16) {
      theta = theta_s = l == 1 ? P1 : l == 2 ? (n == 3 ? P1 : P2) : P2;
    } else if (l == 1) {
      if (n == 3) {
        if (d > mid) theta = t1 / (t1 + t2) * Wt;
        else theta = top > d ? (top - d) * P1 + Wt : t1 / d * Wt;
      } else {  // two layers (a single layer follows the same rule)
        theta = Wt + (top > d ? (top - d) * P1 : 0.0);
      }
      theta /= top;
      theta_s = P1;
    } else if (l == 2 && n == 2) {
      theta_s = P2;
      if (top > d) theta = P2 / (100.0 * t2);
      else if (mid > d) theta = ((mid - d) * P2 + Wb) / (100.0 * t2);
      else theta = Wb / (100.0 * t2);
    } else if (l == 2) {
      theta_s = P1;
      if (top > d) theta = P1 / (100.0 * t2);
      else if (mid > d) theta = ((d - top) * Wt / d + (mid - d) * P1) / (100.0 * t2);
      else theta = t2 * Wt / mid / (100.0 * t2);
    } else {
      theta = P2;
      if (!(mid > d)) theta = bottom > d ? (bottom - d) * P2 + Wb : Wb;
      theta /= 100.0 * t3;
      theta_s = theta_s_2;
    }
    if (l == 2) theta_s_2 = theta_s;
    THETA[k][l] = theta;
    THETAS[k][l] = theta_s;
  }
}

}  // namespace nivra
