// Small helpers shared by the test executables: a scratch folder that is
// removed afterwards (temp_dir.h), file writing and reading, and a fixture
// that gives every test a fresh process-wide state.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/process.h"
#include "support/temp_dir.h"

namespace nivra::testing {

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

// A row of a mapping table: the id in columns 1 to 6, the description to
// column 86, then the values.
inline std::string table_row(std::string id, std::string description, const std::string& values) {
  id.resize(6, ' ');
  description.resize(80, ' ');
  return id + description + values + "\n";
}

// A row of a mapping table's sediment classes: the name in columns 1 to 40,
// then the values.
inline std::string sediment_row(std::string name, const std::string& values) {
  name.resize(40, ' ');
  return name + values + "\n";
}

// A mapping table over the index map `map` (class 1 everywhere, "soil")
// with copper that sticks to the eroded fines: the rain's concentration
// and the PARTITION coefficient, then the contaminant row's values (DISP
// DECAY UPTAKE LOAD CONC LAND KD GW); and a loam eroding by splash and
// flow into clay, silt and sand (0.3, 0.5, 0.2 of the soil).
inline std::string copper_on_eroding_loam(const std::string& map, const std::string& rain_conc, const std::string& kd,
                                          const std::string& copper) {
  return "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP " + map + " \"soil\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n" +
         "\"Copper\" \"soil\" \"copper\"\nPRECIP_CONC " + rain_conc + "\nPARTITION " + kd + "\nNUM_IDS 1\n" +
         table_row("ID", "DESCRIPTION", "DISP DECAY UPTAKE LOAD CONC LAND KD GW") + table_row("1", "Loam", copper) +
         "SEDIMENTS\nNUM_SED 3\nCLASS SG D FB FILE\n" + sediment_row("Clay", "2.65 0.002 0.0 clay.out") +
         sediment_row("Silt", "2.65 0.03 0.0 silt.out") + sediment_row("Sand", "2.65 0.3 0.0 sand.out") +
         "SOIL_EROSION_PROPS \"soil\"\nNUM_IDS 1\nNUM_SED 3\n" +
         table_row("ID", "DESCRIPTION", "SPLASH DETACH_COEF DETACH_EXP CRIT_SHEAR SED_K CLAY SILT SAND") +
         table_row("1", "Loam hillslopes", "300.0 1e-5 1.0 0.0 0.8 0.3 0.5 0.2");
}

// Every test starts from a fresh process and in its own scratch folder,
// and goes back to the folder it started in.
class process_test : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_process_state();
    start_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
  }
  void TearDown() override {
    std::fflush(stdout);
    std::filesystem::current_path(start_dir_);
    reset_process_state();
  }
  temp_dir dir;

 private:
  std::filesystem::path start_dir_;
};

// The pipe network of the 4 x 5 street planes of 10 m cells whose ground
// falls 0.3 m a row and 0.1 m a column: superjunction 1 (row 2, column 3,
// ground 99.1 m) an open inlet, superjunction 2 (row 3, column 2, ground
// 98.9 m) two grates; 0.3 m pipes 1 m below them run to an outfall onto the
// surface at row 4, column 4 (ground 98.4 m, bottom 97.4 m).
inline std::string street_sewer_network() {
  return "SJUNC 1 99.10 98.10 1.0 10 2 3 0 0\n"
         "SJUNC 2 98.90 97.90 1.0 2 3 2 0.6 0.6\n"
         "SJUNC 3 98.40 97.40 0.0 888 4 4 0 0\n"
         "CONNECT 1 1 3\n"
         "CONNECT 2 2 3\n"
         "SLINK 1 1\n"
         "NODE 1 99.10 98.10 0 0 2 3 0 0\n"
         "NODE 2 98.40 97.40 0 0 4 4 0 0\n"
         "PIPE 1 1 0.3 0 0.031 0.013 22.4 0 0\n"
         "SLINK 2 1\n"
         "NODE 1 98.90 97.90 0 0 3 2 0 0\n"
         "NODE 2 98.40 97.40 0 0 4 4 0 0\n"
         "PIPE 1 1 0.3 0 0.022 0.013 22.4 0 0\n";
}

}  // namespace nivra::testing
