#include <gtest/gtest.h>

#include "inputs/grid_state.h"
#include "output/grid_writers.h"
#include "output_fixture.h"

namespace nivra::testing {
namespace {

class GridWriters : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  array1d<double> values;
  void SetUp() override {
    process_test::SetUp();
    set_cells(values, {1.5, -0.25, 3.0, 0.00004, 12.34567});
  }
};

TEST_F(GridWriters, ArcGridHeaderRowsAndMissingCells) {
  guarded_file f;
  open_for_test(f, "a.asc");
  write_ascii_grid(f, ms->grid.mask, 200.0, 0.0, 300.0, 0.0, 2, 3, values.data(), 100.0);
  EXPECT_EQ(written(f),
            "ncols \t3\n"
            "nrows \t2\n"
            "xllcenter     50.00\n"
            "yllcenter     50.00\n"
            "cellsize    100.00\n"
            "NODATA_value -9999.99\n"
            "1.5000 -0.2500 3.0000 \n"
            "0.0000 -9999.99 12.3457 \n");
}

TEST_F(GridWriters, ArcGridCornerIsTheSmallerEdgeWhateverTheOrder) {
  guarded_file f;
  open_for_test(f, "b.asc");
  // East and west, north and south given the other way round.
  write_ascii_grid(f, ms->grid.mask, 1000.0, 2000.0, 500.0, 800.0, 2, 3, values.data(), 30.0);
  const std::string text = written(f);
  EXPECT_NE(text.find("xllcenter    515.00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("yllcenter   1015.00\n"), std::string::npos) << text;
}

TEST_F(GridWriters, GrassGridHeaderAndZerosOutside) {
  guarded_file f;
  open_for_test(f, "g.map");
  write_grass_grid(f, ms->grid.mask, 200.0, 0.0, 300.0, 0.0, 2, 3, values.data());
  EXPECT_EQ(written(f),
            "north:    200.00\n"
            "south:      0.00\n"
            "east:    300.00\n"
            "west:      0.00\n"
            "rows:     2\n"
            "cols:     3\n"
            "1.500000 -0.250000 3.000000 \n"
            "0.000040 0.000000 12.345670 \n");
}

TEST_F(GridWriters, GridWithoutActiveCells) {
  ms->grid.mask.fill(0);
  guarded_file a, g;
  open_for_test(a, "none.asc");
  open_for_test(g, "none.map");
  write_ascii_grid(a, ms->grid.mask, 200.0, 0.0, 300.0, 0.0, 2, 3, nullptr, 100.0);
  write_grass_grid(g, ms->grid.mask, 200.0, 0.0, 300.0, 0.0, 2, 3, nullptr);
  const std::string arc = written(a);
  EXPECT_EQ(arc.substr(arc.find("-9999.99\n") + 9),
            "-9999.99 -9999.99 -9999.99 \n-9999.99 -9999.99 -9999.99 \n");
  const std::string grass = written(g);
  EXPECT_EQ(grass.substr(grass.find("cols:     3\n") + 12),
            "0.000000 0.000000 0.000000 \n0.000000 0.000000 0.000000 \n");
}

}  // namespace
}  // namespace nivra::testing
