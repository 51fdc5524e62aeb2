// A folder of its own under the machine's temporary folder (mkdtemp: two
// programs at once never share one), removed with what it holds when the
// object ends. Shared by the tests and the benchmarks.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace nivra::testing {

class temp_dir {
 public:
  // The folder's name is the prefix and six random characters.
  explicit temp_dir(const char* prefix = "nivra_test_") {
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    char* p = ::mkdtemp(tmpl.data());
    if (!p) throw std::runtime_error("mkdtemp failed for " + tmpl);
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

}  // namespace nivra::testing
