// mass_con_writer: one constituent's link/node output series. Sources and
// network tables are borrowed; the writer owns its value table, its lake
// values and its two files, and releases them when it goes.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "output/node_table.h"

namespace nivra {

// Layouts of the source a writer reads.
inline constexpr int mass_con_source_none = -1;
inline constexpr int mass_con_source_flat = 1;        // [stride x link + node]
inline constexpr int mass_con_source_node_major = 2;  // rows are nodes, elements links

class mass_con_writer {
 public:
  mass_con_writer() { lake_values.set_name("mass_con_writer::lake_values"); }
  mass_con_writer(const mass_con_writer&) = delete;
  mass_con_writer& operator=(const mass_con_writer&) = delete;

  int step = 0;
  int source_kind = mass_con_source_none;
  const double* flat_values = nullptr;
  const jagged_array<double>* row_values = nullptr;  // rows = nodes, elements = links
  guarded_file mass_file;
  guarded_file con_file;
  int kind = 0;
  int link_count = 0;
  const int* node_counts = nullptr;
  const int* out_node_counts = nullptr;
  const int* link_types = nullptr;
  node_table second_values;
  const int* lake_of_link = nullptr;
  const double* lake_source = nullptr;
  array2d<double> table;                          // [node][link] as written
  int stride = 0;
  double scale = 1.0;
  int lake_count = 0;
  checked_array<double> lake_values;
};

}  // namespace nivra
