// Split of the grid among the processes of a group.
#include <gtest/gtest.h>

#include <vector>

#include "core/process.h"
#include "inputs/partition.h"
#include "support/test_support.h"

namespace nivra {
namespace {

class Partition : public testing::process_test {};

std::vector<int> split(const std::vector<int>& loads, int parts) {
  std::vector<int> w(loads.size() + 1, 0);
  int total = 0;
  for (std::size_t i = 0; i < loads.size(); ++i) total += w[i + 1] = loads[i];
  linear_partition p(parts);
  p.solve(total, w.data(), static_cast<int>(loads.size()));
  std::vector<int> sizes(static_cast<std::size_t>(parts) + 1, 0);
  p.extract_ranges(sizes.data());
  return std::vector<int>(sizes.begin() + 1, sizes.end());
}

TEST_F(Partition, ContiguousPartsOfNearlyEqualLoad) {
  EXPECT_EQ(split({5, 5, 5, 5}, 2), (std::vector<int>{2, 2}));
  EXPECT_EQ(split({5, 5, 5, 5, 5, 5}, 3), (std::vector<int>{2, 2, 2}));
  // A heavy first row is a part of its own.
  EXPECT_EQ(split({12, 3, 3, 3, 3}, 2), (std::vector<int>{1, 4}));
  // Every part keeps at least one item when items are few.
  EXPECT_EQ(split({1, 1, 1}, 3), (std::vector<int>{1, 1, 1}));
  // The parts always cover every item.
  for (int parts = 2; parts <= 4; ++parts) {
    std::vector<int> s = split({0, 7, 1, 9, 4, 4, 2, 8, 0, 3}, parts);
    int sum = 0;
    for (int v : s) sum += v;
    EXPECT_EQ(sum, 10) << parts;
  }
}

TEST_F(Partition, EachProcessMarksItsRowsColumnsAndCells) {
  // A 4 x 4 watershed of 16 cells split between two processes.
  array2d<int> mask(5, 5);
  int n = 0;
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 4; ++c) mask[r][c] = ++n;
  for (int rank = 0; rank <= 1; ++rank) {
    parallel_env_t pe;
    pe.group_size = 2;
    pe.group_rank = rank;
    setup_process_partition(pe, mask, 16, 4, 4);
    // Rows 1-2 go to the first process, rows 3-4 to the second; a part also
    // marks the first row of the next part.
    const int rows_first[] = {0, 1, 1, 1, 0};
    const int rows_second[] = {0, 0, 0, 1, 1};
    const int* want = rank == 0 ? rows_first : rows_second;
    for (int i = 1; i <= 4; ++i) {
      EXPECT_EQ(pe.row_load[i], 4);
      EXPECT_EQ(pe.short_row_mask[i], want[i]) << rank << " row " << i;
      EXPECT_EQ(pe.short_column_mask[i], want[i]) << rank << " column " << i;
    }
    for (int r = 1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) {
        EXPECT_EQ(pe.row_cell_mask[mask[r][c]], want[r]);
        EXPECT_EQ(pe.column_cell_mask[mask[r][c]], want[c]);
      }
  }
}

TEST_F(Partition, OneProcessComputesNothing) {
  array2d<int> mask(3, 3);
  mask[1][1] = 1;
  parallel_env_t pe;
  setup_process_partition(pe, mask, 1, 2, 2);
  EXPECT_TRUE(pe.row_load.empty());
  EXPECT_TRUE(pe.short_row_mask.empty());
  EXPECT_TRUE(pe.row_cell_mask.empty());
}

}  // namespace
}  // namespace nivra
