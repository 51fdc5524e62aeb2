// Helpers of the run tests: the bundled example copied into the scratch
// folder, and an argument vector built from strings.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace nivra::testing {

// Copies examples/plane into the working folder.
inline void copy_plane_example() {
  const std::filesystem::path from = std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / "plane";
  for (const char* name : {"plane.prj", "plane.msk", "plane.ele"})
    std::filesystem::copy_file(from / name, name, std::filesystem::copy_options::overwrite_existing);
}

// The lines of a text file.
inline int count_lines(const std::string& path) {
  int n = 0;
  for (char c : read_file(path)) n += c == '\n';
  return n;
}

class arguments {
 public:
  arguments(std::initializer_list<std::string> words) : arguments(std::vector<std::string>(words)) {}
  explicit arguments(std::vector<std::string> words) : words_(std::move(words)) {
    for (std::string& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
  }
  arguments(const arguments&) = delete;
  arguments& operator=(const arguments&) = delete;
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

}  // namespace nivra::testing
