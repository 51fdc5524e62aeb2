#include "inputs/partition.h"

#include <cmath>
#include <vector>

namespace nivra {

linear_partition::linear_partition(int parts) : part_count(parts) {}

linear_partition::~linear_partition() {
  choice.destroy();
  item_load.destroy();
  part_table.destroy();
}

void linear_partition::solve(int total, const int* loads, int n) {
  item_load.destroy();
  item_load.grow(n);
  for (int i = 1; i <= n; ++i) item_load[i] = loads[i];
  total_load = total;
  item_count = n;
  reset();
  candidate_count = 4 * spread + 1;
  part_table.destroy();
  part_table.grow(candidate_count, part_count);
  choice.destroy();
  choice.grow(candidate_count);
}

void linear_partition::reset() {
  if (item_count <= 0) {
    mean_load = 0;
    spread = 1;
    return;
  }
  mean_load = total_load / item_count;
  // The deviation of the loads from their mean, over every item.
  double x = 0.0;
  for (int i = 1; i <= item_count; ++i) {
    const double d = item_load[i] - mean_load;
    x += d * d;
  }
  spread = static_cast<int>(std::sqrt(x)) + 1;
}

void linear_partition::fill_table(int c, int target) {
  int taken = 0;  // items given to earlier parts
  for (int k = 1; k < part_count; ++k) {
    // Leave at least one item for each later part.
    const int last = item_count - (part_count - k);
    int load = 0, count = 0;
    while (taken < last) {
      load += item_load[taken + 1];
      ++taken;
      ++count;
      if (load >= target) break;
    }
    part_table(c, k) = count;
  }
  part_table(c, part_count) = item_count - taken;
}

int linear_partition::part_load(int c, int k) const {
  int start = 0;
  for (int j = 1; j < k; ++j) start += part_table(c, j);
  int load = 0;
  for (int i = start + 1; i <= start + part_table(c, k) && i <= item_count; ++i)
    load += const_cast<checked_array<int>&>(item_load)[i];
  return load;
}

int linear_partition::sum_before(int c) const {
  int largest = -1;
  for (int k = 1; k <= part_count; ++k) {
    const int l = part_load(c, k);
    if (l > largest) largest = l;
  }
  return largest;
}

int linear_partition::sum_after(int c) const {
  int smallest = 999999;
  for (int k = 1; k <= part_count; ++k) {
    const int l = part_load(c, k);
    if (l < smallest) smallest = l;
  }
  return smallest;
}

void linear_partition::init_first_row() {
  for (int c = 1; c <= candidate_count; ++c) choice[c] = sum_before(c) - sum_after(c);
}

void linear_partition::init_tables() {
  int best = 1;
  for (int c = 2; c <= candidate_count; ++c)
    if (choice[c] < choice[best]) best = c;
  if (best != 1) fill_first_column(best);
}

void linear_partition::fill_first_column(int c) {
  const int cost = choice[1];
  choice[1] = choice[c];
  choice[c] = cost;
  for (int k = 1; k <= part_count; ++k) {
    const int t = part_table(1, k);
    part_table(1, k) = part_table(c, k);
    part_table(c, k) = t;
  }
}

void linear_partition::compute() {
  for (int c = 1; c <= candidate_count; ++c)
    fill_table(c, total_load / part_count + (c - 1 - 2 * spread));
  init_first_row();
  init_tables();
}

int linear_partition::extract_ranges(int* sizes) {
  compute();
  for (int k = 1; k <= part_count; ++k) sizes[k] = part_table(1, k);
  return choice[1];
}

void count_active_per_row(parallel_env_t& pe, const array2d<int>& mask) {
  for (int r = 1; r <= pe.rows; ++r) {
    int n = 0;
    for (int c = 1; c <= pe.cols; ++c) n += mask[r][c] != 0;
    pe.row_load[r] = n;
  }
}

void count_active_per_column(parallel_env_t& pe, const array2d<int>& mask) {
  for (int c = 1; c <= pe.cols; ++c) {
    int n = 0;
    for (int r = 1; r <= pe.rows; ++r) n += mask[r][c] != 0;
    pe.column_load[c] = n;
  }
}

void build_short_row_mask(parallel_env_t& pe, const int* sizes, const array2d<int>& mask, int mode) {
  const bool by_rows = mode == 1;
  const int items = by_rows ? pe.rows : pe.cols;
  array1d<int>& marks = by_rows ? pe.short_row_mask : pe.short_column_mask;
  array1d<int>& cells = by_rows ? pe.row_cell_mask : pe.column_cell_mask;
  if (marks.size() != items) marks.alloc(items);
  marks.fill(0);
  cells.fill(0);
  int s = 1;
  for (int k = 1; k <= pe.group_size; ++k) {
    if (k == pe.group_rank + 1) {
      const int last = s + sizes[k] < items ? s + sizes[k] : items;
      for (int i = s; i <= last; ++i) {
        marks[i] = 1;
        const int other = by_rows ? pe.cols : pe.rows;
        for (int j = 1; j <= other; ++j) {
          const int cell = by_rows ? mask[i][j] : mask[j][i];
          if (cell > 0 && cell <= cells.size()) cells[cell] = 1;
        }
      }
    }
    s += sizes[k];
  }
}

void partition_rows_columns(parallel_env_t& pe, const array2d<int>& mask) {
  std::vector<int> sizes(static_cast<std::size_t>(pe.group_size) + 1, 0);
  {
    linear_partition split(pe.group_size);
    split.solve(pe.cell_count, pe.row_load.data(), pe.rows);
    split.extract_ranges(sizes.data());
  }
  build_short_row_mask(pe, sizes.data(), mask, 1);
  {
    linear_partition split(pe.group_size);
    split.solve(pe.cell_count, pe.column_load.data(), pe.cols);
    split.extract_ranges(sizes.data());
  }
  build_short_row_mask(pe, sizes.data(), mask, 0);
}

void setup_process_partition(parallel_env_t& pe, const array2d<int>& mask, int ncells, int rows,
                             int cols) {
  if (pe.group_size < 2) return;
  pe.rows = rows;
  pe.cols = cols;
  pe.cell_count = ncells;
  pe.row_load.alloc(rows);
  pe.column_load.alloc(cols);
  pe.row_cell_mask.alloc(ncells);
  pe.column_cell_mask.alloc(ncells);
  count_active_per_row(pe, mask);
  count_active_per_column(pe, mask);
  partition_rows_columns(pe, mask);
}

}  // namespace nivra
