// What the benchmark programs share: a working folder of their own, the
// console silenced while the model's readers print, the test of a whole
// model run, and the bundled examples. The programs' main (bench_main.cpp)
// exits non-zero when a benchmark stopped on an error.
#pragma once

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace nivra::bench {

// A new empty folder under the machine's temporary folder, removed with
// what it holds when this ends; two benchmark programs at once never share
// one. With `enter` it is the working folder while it lives (the working
// folder before it is restored first).
class scratch_folder {
 public:
  explicit scratch_folder(bool enter = false);
  ~scratch_folder();
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  const std::string& path() const { return dir_.path(); }
  // The path of a file in the folder.
  std::string file(const std::string& name) const { return dir_.file(name); }
  // Copies in every file of `from` (not its sub-folders).
  void copy_files_of(const std::filesystem::path& from) const;

 private:
  testing::temp_dir dir_{"nivra_bench_"};
  std::filesystem::path start_;
  bool entered_ = false;
};

// The folder of a bundled example (examples/<name> of the source tree).
std::filesystem::path example_folder(const char* name);

// The console (standard output) goes to /dev/null while one of these
// lives: the readers print their progress even in a quiet run.
class silent_console {
 public:
  silent_console();
  ~silent_console();
  silent_console(const silent_console&) = delete;
  silent_console& operator=(const silent_console&) = delete;

 private:
  int console_ = -1;
};

// True when a model run ended normally: run_simulation returned 0 and no
// error stopped the run.
bool run_completed(int code);

}  // namespace nivra::bench
