// Hand-written mapping tables: rows in their fixed columns, table blocks,
// and a record whose 3 x 4 grid holds ten watershed cells:
//
//   0 1 1 1      cells 1 2 3
//   1 1 1 0      cells 4 5 6
//   1 1 1 1      cells 7 8 9 10
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "inputs/mapping_table.h"
#include "inputs/surface_maps.h"
#include "map_fixture.h"
#include "run/map_phase.h"

namespace nivra::testing {

// A row: the ID in columns 1 to 6, the description in 7 to 86, the values
// from column 87.
inline std::string cmt_row(const std::string& id, const std::string& description, const std::string& values) {
  std::string row = id;
  row.resize(6, ' ');
  std::string d = description;
  d.resize(80, ' ');
  return row + d + values + "\n";
}

// A table block: its card line, NUM_IDS, any further lines, a column
// header and the rows.
inline std::string cmt_block(const std::string& card_line, const std::vector<std::string>& rows,
                             const std::string& more_lines = "") {
  std::string s = card_line + "\nNUM_IDS " + std::to_string(rows.size()) + "\n" + more_lines;
  s += cmt_row("ID", "DESCRIPTION", "VALUES");
  for (const std::string& r : rows) s += r;
  return s;
}

inline const char* const cmt_mask = "0 1 1 1\n1 1 1 0\n1 1 1 1\n";

// The 3 x 4 grid with the mapping table t.cmt written from the text; the
// map phase has numbered the cells (a uniform Manning n, nothing else).
inline std::unique_ptr<model_state> table_record(const std::string& cmt_text) {
  auto ms = mapped_record(3, 4, cmt_mask, "9 8 7 6\n8 7 6 5\n7 6 5 4\n", 10.0, 3, 4);
  ::testing::internal::CaptureStdout();
  read_input_maps(*ms);
  ::testing::internal::GetCapturedStdout();
  write_file("t.cmt", cmt_text);
  ms->project.mapping_table.assign("t.cmt");
  ms->grid.mapping_table_given = 1;
  return ms;
}

// The start-up check of the record's table file, as the run parameters
// run it (quietly).
inline void check_tables(model_state& ms) {
  check_cmt_tables(ms.project.mapping_table.view(), ms.grid.cmt_table_present, 0, 1);
}

// An index map of the 3 x 4 grid.
inline void write_index_map(const std::string& file, const std::string& body) { write_file(file, map_text(3, 4, body)); }

}  // namespace nivra::testing
