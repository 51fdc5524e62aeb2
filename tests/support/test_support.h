// Small helpers shared by the test executables: a scratch folder that is
// removed afterwards, file writing and reading, and a fixture that gives
// every test a fresh process-wide state.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/process.h"

namespace nivra::testing {

class temp_dir {
 public:
  temp_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "nivra_test_XXXXXX").string();
    char* p = ::mkdtemp(tmpl.data());
    if (!p) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::string& path() const { return path_; }
  // The path of a file in the folder.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

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

}  // namespace nivra::testing
