// Soil tables: a soil map gives every cell a soil class, and a soil table
// gives each class three layers of parameters, kept in the soil_class
// records of soil_state::soil_classes() (50 reals, numbered 1 to 50).
//
// Layout A, multi-layer Green-Ampt (the soil layer table file and the
// MULTI_LAYER_SOIL block of the mapping table): per class a line with its
// ID, then three layer lines of nine, nine and eight values. Column c of
// layer L goes to reals: c3 1-3, c1 5-7, c4 8-10, c8 11-13 (the layer's
// initial water content), c6 14-16, c5 17-19, c7 20-22, c9 23-24 (the
// thickness of layers 1 and 2, cm), c2 26-28.
//
// Layout B, Richards equation (the soil hydraulic table file and the
// Richards blocks of the mapping table), form 1 (ten values per layer) or
// form 2 (twelve): value 1 5-7, 2 8-10, 4 11-13, 5 14-16, 6 17-19,
// 3 20-22, 7 23-25 (the layer's thickness, cm), form 1: 8 26-28 and minus
// the size of 9 29-31; the last value 32-34 (the layer's node spacing, cm);
// form 2: 8 35-37, 9 38-40, 10 41-43, 11 44-46; the four extra values of
// a soil 47-50.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "soil/soil_state.h"

namespace nivra {

class cmt_file;
class guarded_file;
struct grid_state;

// The classes a table defined, by ID (soil_class_capacity entries).
using soil_class_set = std::vector<bool>;

// Layout A from the soil layer table file: a line whose first token is the
// number of classes, a line with a second number (not used), then the
// classes. Class IDs run from 0 to 99,999, values are finite numbers; a
// later class with the same ID overwrites an earlier one. Returns the
// number of classes, -1 when the run stopped (the message names the file
// and the line).
int read_soil_layer_table(guarded_file& f, std::string_view name, array1d<soil_class>& table,
                          soil_class_set& defined);
// Layout A from the MULTI_LAYER_SOIL block, the file positioned after the
// card line: "NUM_IDS n", a line of a word and a number, card lines and the
// column header, then per class three layer lines; layer line 1 begins
// with the class ID, and the tokens after it are skipped while they read
// as 0 (a description may stand there), so its first value must not be 0.
int read_layered_soil_table(cmt_file& f, array1d<soil_class>& table, soil_class_set& defined);

inline constexpr int richards_brooks_form = 1;
inline constexpr int richards_havercamp_form = 2;

struct soil_hydraulic_request {
  int form = richards_brooks_form;
  bool extra_values = false;      // own file: four extra reals after each soil's ID
  bool water_table = false;       // the cells' columns reach down to the water table
  double gw_node_spacing = 0.0;   // m, with water_table
  const array1d<int>* soil_ids = nullptr;           // per cell
  const array1d<double>* ground = nullptr;          // per cell, m, with water_table
  const array1d<double>* water_table_elev = nullptr;  // per cell, m, with water_table
  // The grid and the soil map's name, for the message that refuses a cell
  // whose soil the table does not define.
  const grid_state* grid = nullptr;
  std::string_view soil_map_name;
};

struct soil_hydraulic_result {
  int n_soils = 0;
  // By soil ID: the last node of layer 1, of layer 2, and the node count.
  std::vector<int> layer1_nodes, layer2_end, total_nodes;
  array1d<int> cell_nodes;         // per cell: nodes of its column
  array1d<int> water_table_node;   // per cell, with water_table
  std::array<array1d<double>, 4> extra;  // per cell, with extra_values
  soil_class_set defined;
};

// Layout B from the soil hydraulic table file: the number of soils, a
// second number, then per soil its ID, the extra values when asked for and
// three layer lines, read free-form. Thicknesses are not negative, node
// spacings above 0, every cell's soil defined by the table. Returns the
// largest node count of a cell plus 2 (2 without cells), -1 when the run
// stopped (the message names the file and the line).
int read_soil_hydraulic_table(guarded_file& f, std::string_view name, const soil_hydraulic_request& request,
                              array1d<soil_class>& table, soil_hydraulic_result& result);
// The same from a Richards block of the mapping table (the file positioned
// after the card line): "NUM_IDS n", a line of a word and a number, card
// lines and the column header; layer line 1 of a soil begins with its ID
// and holds its values from column 88; layer lines 2 and 3 are free-form.
int read_soil_hydraulic_table(cmt_file& f, const soil_hydraulic_request& request, array1d<soil_class>& table,
                              soil_hydraulic_result& result);

// Checks that every watershed cell's soil class was defined by the table;
// false after a message naming the soil map, the row and the column.
bool check_cell_soil_classes(const grid_state& grid, const array1d<int>& soiltype, const soil_class_set& defined,
                             std::string_view map_name, std::string_view table_name);

// Per-layer water contents of a cell's soil column for the soil-column
// constituents: THETA[cell][1..n] and THETAS[cell][1..n] from the two
// soil-moisture stores (cm of water), the depth to the water table and the
// class's saturated contents (reals 8 and 9). thickness: the layers in m.
struct layered_moisture_input {
  const array1d<double>* sm_water_top = nullptr;
  const array1d<double>* sm_water_bottom = nullptr;
  const array1d<double>* elevgw = nullptr;
  const array1d<double>* elevation = nullptr;
  double thickness[3] = {};
  bool water_table_given = false;
  const array1d<soil_class>* table = nullptr;
  const array1d<int>* soiltype = nullptr;
  int n_layers = 2;
};
void layered_soil_moisture(int cell, const layered_moisture_input& in, array2d<double>& THETA,
                           array2d<double>& THETAS);

}  // namespace nivra
