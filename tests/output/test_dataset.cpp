#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "output/dataset_out.h"
#include "output/output_state.h"
#include "output_fixture.h"
#include "quality/constituent_state.h"

namespace nivra::testing {
namespace {

class Dataset : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  array1d<double> values;
  std::vector<unsigned char> scratch;
  void SetUp() override {
    process_test::SetUp();
    set_cells(values, {1.5, -0.25, 3.0, 0.00004, 12.34567});
  }
};

TEST_F(Dataset, AsciiHeaderRecordAndEnd) {
  int flag = 1;
  open_dataset_file(1010, "depth.dat", "depth", ms->output.depth_map_file, flag, ms->grid, ms->output);
  write_dataset_record(ms->output.depth_map_file, false, 15.5, ms->grid.mask, 2, 3, values.data(), scratch);
  write_dataset_end(ms->output.depth_map_file, false);
  EXPECT_EQ(written(ms->output.depth_map_file),
            "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\n"
            "TS 1 15.500000\n"
            "1\n1\n1\n1\n0\n1\n"
            "1.500000\n-0.250000\n3.000000\n0.000040\n0.000000\n12.345670\n"
            "ENDDS\n");
  EXPECT_EQ(flag, 1);
}

TEST_F(Dataset, BinaryHeaderRecordAndEndByteForByte) {
  set_cells(values, {1.5, -0.25, 3.0, 0.5, 2.0});
  ms->output.binary_dataset = 1;
  int flag = 1;
  open_dataset_file(1011, "q.bin", "discharge", ms->output.discharge_map_file, flag, ms->grid, ms->output);
  write_dataset_record(ms->output.discharge_map_file, true, 15.5, ms->grid.mask, 2, 3, values.data(),
                       scratch);
  write_dataset_end(ms->output.discharge_map_file, true);
  std::vector<unsigned char> expected = {
      0xb8, 0x0b, 0, 0,                                      // 3000 version
      0x64, 0, 0, 0, 4, 0, 0, 0,                            // 100 object type: 4
      0x6e, 0, 0, 0, 8, 0, 0, 0,                            // 110 size of a real: 8
      0x78, 0, 0, 0, 2, 0, 0, 0,                            // 120 size of a flag: 2
      0x82, 0, 0, 0,                                         // 130 scalar data
      0xa0, 0, 0, 0, 0xf3, 0x03, 0, 0,                      // 160 object id 1011
      0xaa, 0, 0, 0, 6, 0, 0, 0,                            // 170 values: 6
      0xb4, 0, 0, 0, 6, 0, 0, 0,                            // 180 cells: 6
      0xbe, 0, 0, 0,                                         // 190 name
      'd', 'i', 's', 'c', 'h', 'a', 'r', 'g', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 40-byte field
      0xc8, 0, 0, 0,                                         // 200 time step
      1, 0,                                                  // flag 1
      0, 0, 0, 0, 0, 0, 0x2f, 0x40,                          // 15.5
      1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 1, 0,                    // active flags
      0, 0, 0, 0, 0, 0, 0xf8, 0x3f,                          // 1.5
      0, 0, 0, 0, 0, 0, 0xd0, 0xbf,                          // -0.25
      0, 0, 0, 0, 0, 0, 0x08, 0x40,                          // 3.0
      0, 0, 0, 0, 0, 0, 0xe0, 0x3f,                          // 0.5
      0, 0, 0, 0, 0, 0, 0, 0,                                // outside: 0.0
      0, 0, 0, 0, 0, 0, 0x00, 0x40,                          // 2.0
      0xd2, 0, 0, 0};                                        // 210 end
  const std::string bytes = written(ms->output.discharge_map_file);
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.end()), expected);
}

TEST_F(Dataset, LongNamesAreCutToTheFortyByteField) {
  ms->output.binary_dataset = 1;
  int flag = 1;
  const std::string name(45, 'x');
  open_dataset_file(1, "n.bin", name, ms->output.depth_map_file, flag, ms->grid, ms->output);
  const std::string bytes = written(ms->output.depth_map_file);
  ASSERT_EQ(bytes.size(), 60u + 40u);
  EXPECT_EQ(bytes.substr(60), std::string(40, 'x'));
}

TEST_F(Dataset, RecordFormatFollowsTheMapFlags) {
  EXPECT_EQ(series_format(ms->output), dataset_ascii);
  ms->output.skip_index_maps = 1;
  EXPECT_EQ(series_format(ms->output), dataset_nothing);
  ms->output.binary_dataset = 1;
  EXPECT_EQ(series_format(ms->output), dataset_binary);
  ms->output.no_map_output = 1;
  EXPECT_EQ(series_format(ms->output), dataset_per_time_grid);
}

TEST_F(Dataset, IndexMappedRunsSwitchTheSeriesOff) {
  ms->output.skip_index_maps = 1;
  int flag = 1;
  open_dataset_file(1010, "depth.dat", "depth", ms->output.depth_map_file, flag, ms->grid, ms->output);
  EXPECT_EQ(flag, 0);
  EXPECT_FALSE(ms->output.depth_map_file.is_open());
  EXPECT_FALSE(file_exists("depth.dat"));
}

TEST_F(Dataset, HeaderFileThatCannotBeOpenedStopsTheRun) {
  int flag = 1;
  // A file stands where the folder would be made: the file cannot be written.
  testing::write_file("no_such_folder", "");
  ::testing::internal::CaptureStdout();
  open_dataset_file(1010, "no_such_folder/depth.dat", "depth", ms->output.depth_map_file, flag, ms->grid, ms->output);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(process.error_block.code, 59);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(process.error_block.str2.str(), "no_such_folder/depth.dat");
}

class PerTimeFiles : public Dataset {
 protected:
  dataset_out out;
  void open_series(const std::string& folder) {
    ms->output.no_map_output = 1;
    dataset_out_grid(out, ms->grid, 2, 3);
    out.values = values.data();
    dataset_out_open(out, series_format(ms->output), folder, ".conc", ".asc", 5000, "conc_01", ms->output);
  }
};

TEST_F(PerTimeFiles, NamesWithAndWithoutFolders) {
  std::filesystem::create_directory("maps");
  struct {
    const char* folder;
    const char* file;
  } cases[] = {{"", "conc_01.conc.0001.asc"},
               {"maps", "maps/conc_01.conc.0001.asc"},
               {"maps/", "maps/conc_01.conc.0001.asc"},
               {"maps\\", "maps/conc_01.conc.0001.asc"}};
  for (auto& c : cases) {
    out.step = 1;
    std::filesystem::remove(c.file);
    open_series(c.folder);
    ::testing::internal::CaptureStdout();
    write_map_timestep(out, 0.0);
    const std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(file_exists(c.file)) << c.folder;
    EXPECT_EQ(out.step, 2);
    EXPECT_NE(said.find("opening file "), std::string::npos);
  }
  EXPECT_EQ(read_file("maps/conc_01.conc.0001.asc").substr(0, 12), "ncols \t3\nnro");
}

TEST_F(PerTimeFiles, RunPrefixGoesOnTheFileNameOnly) {
  std::filesystem::create_directory("maps");
  process.multi_run_mode = 1;
  process.run_number = 0;
  open_series("maps");
  ::testing::internal::CaptureStdout();
  write_map_timestep(out, 0.0);
  write_map_timestep(out, 0.0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(file_exists("maps/0000_conc_01.conc.0001.asc"));
  EXPECT_TRUE(file_exists("maps/0000_conc_01.conc.0002.asc"));
}

TEST_F(PerTimeFiles, FileThatCannotBeOpenedIsReportedAndNotCounted) {
  // A file stands where the folder would be made: the file cannot be written.
  testing::write_file("missing_folder", "");
  open_series("missing_folder");
  ::testing::internal::CaptureStdout();
  write_map_timestep(out, 0.0);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("Can't open map for writing: missing_folder/conc_01.conc.0001.asc\n"),
            std::string::npos)
      << said;
  EXPECT_EQ(out.step, 1);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(process.error_block.code, 0);  // reported at once
}

TEST_F(Dataset, ContaminantSeriesObjectIdsAndNames) {
  ms->constituent.num_constituents = 3;
  ms->constituent.constituent_type.grow_fill(3, 1);
  ms->constituent.constituent_output_name = {"", "con1", "con2", "con3"};
  ms->constituent.ov_conc.grow(3, 5);
  ms->constituent.ov_mass.grow(3, 5);
  init_contaminant_map_series(*ms);
  ASSERT_EQ(ms->output.constituent_series_count, 3);
  for (int i = 1; i <= 3; ++i) {
    dataset_out* row = ms->output.map_series.row(i);
    const std::string n = std::to_string(i);
    EXPECT_NE(written(row[1].file).find("OBJID " + std::to_string(5000 + 3 * (i - 1)) +
                                        "\nND 6\nNC 6\nNAME conc_0" + n + "\n"),
              std::string::npos);
    EXPECT_NE(written(row[2].file).find("OBJID " + std::to_string(5001 + 3 * (i - 1)) +
                                        "\nND 6\nNC 6\nNAME mass_0" + n + "\n"),
              std::string::npos);
    EXPECT_TRUE(file_exists("con" + n + ".conc"));
    EXPECT_TRUE(file_exists("con" + n + ".mass"));
  }
}

TEST_F(Dataset, OnlyContaminantsCarrySeries) {
  ms->constituent.num_constituents = 2;
  ms->constituent.constituent_type.grow(2);
  ms->constituent.constituent_type[1] = 2;  // a nutrient constituent
  ms->constituent.constituent_type[2] = 1;
  ms->constituent.constituent_output_name = {"", "a", "b"};
  ms->constituent.ov_conc.grow(2, 5);
  ms->constituent.ov_mass.grow(2, 5);
  init_contaminant_map_series(*ms);
  EXPECT_EQ(ms->output.constituent_series_count, 1);
  EXPECT_EQ(ms->output.map_series.count(), 1);
}

TEST_F(Dataset, PerVariableAndSnowTemperatureHeaders) {
  ms->output.depth_given = ms->output.discharge_given = 1;
  ms->project.depth = "depth.dat";
  ms->project.discharge = "q.dat";
  ms->hydromet.snow_temp_given = 1;
  ms->project.snow_temp = "snowt.dat";
  init_grid_dataset_output(*ms);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(written(ms->output.depth_map_file),
            "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1010\nND 6\nNC 6\nNAME depth\n");
  EXPECT_EQ(written(ms->output.discharge_map_file),
            "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1011\nND 6\nNC 6\nNAME discharge\n");
  EXPECT_EQ(written(ms->output.snow_temp_dataset.file),
            "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1060\nND 6\nNC 6\nNAME Snow_Temperature\n");
  EXPECT_EQ(ms->output.depth_output.size(), 5);  // work arrays are made at set-up
}

}  // namespace
}  // namespace nivra::testing
