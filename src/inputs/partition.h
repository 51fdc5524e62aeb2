// Split of the grid among the processes of a group: the rows and, apart,
// the columns are cut into contiguous bands of nearly equal numbers of
// active cells, one band per process, and each process marks the rows,
// columns and cells it owns. Each process computes its part from the shared
// mask; nothing is exchanged. It runs only for a group of two or more.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/process.h"

namespace nivra {

// One split of n items with loads w[1..n] into part_count contiguous parts.
// Candidate c (1 .. 4 x spread + 1) fills every part but the last up to the
// target total / parts + d, d = -2 x spread .. 2 x spread; the candidate
// whose largest and smallest part loads differ least wins (the earliest on
// a tie) and is moved to candidate 1.
class linear_partition {
 public:
  explicit linear_partition(int parts);
  ~linear_partition();
  linear_partition(const linear_partition&) = delete;
  linear_partition& operator=(const linear_partition&) = delete;

  void solve(int total, const int* loads, int n);  // loads[1..n]
  void reset();
  void compute();
  void fill_table(int c, int target);
  int sum_before(int c) const;  // the largest part load of candidate c
  int sum_after(int c) const;   // the smallest part load of candidate c
  void init_first_row();
  void init_tables();
  void fill_first_column(int c);  // swaps candidate c with candidate 1
  // Runs the split; sizes[1..parts] receive the winner's part sizes.
  // Returns its cost.
  int extract_ranges(int* sizes);

  jagged_array<int> part_table{"part_table"};  // [candidate][part]: items per part
  checked_array<int> choice{"choice"};          // cost per candidate
  int part_count = 0;
  int total_load = 0;
  int item_count = 0;
  int candidate_count = 0;
  int mean_load = 0;
  int spread = 0;
  checked_array<int> item_load{"item_load"};

 private:
  int part_load(int c, int k) const;
};

// Loads, split and marks of this process (parallel_env.group_rank).
void setup_process_partition(parallel_env_t& pe, const array2d<int>& mask, int ncells, int rows,
                             int cols);
void count_active_per_row(parallel_env_t& pe, const array2d<int>& mask);
void count_active_per_column(parallel_env_t& pe, const array2d<int>& mask);
void partition_rows_columns(parallel_env_t& pe, const array2d<int>& mask);
// Marks the rows (mode 1) or columns (mode 0) of this process's part, one
// more than its size (the first of the next part, shared), and their cells.
void build_short_row_mask(parallel_env_t& pe, const int* sizes, const array2d<int>& mask, int mode);

}  // namespace nivra
