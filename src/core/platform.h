// Thin layer over the operating system: paths, folders, wall-clock time and
// starting programs. Project files may write folders with '\' or '/'; inside
// the model folders keep a trailing backslash and every path is converted
// to the host's form only when it reaches the operating system.
#pragma once

#include <string>
#include <string_view>
#include <vector>
#include <chrono>

namespace nivra {

// Separator used inside the model for folders it builds (project folder,
// output folder). Both '\' and '/' are accepted on input.
inline constexpr char folder_sep = '\\';

inline bool is_path_sep(char c) { return c == '\\' || c == '/'; }

// The path as the host wants it: every '\' becomes '/'.
std::string os_path(std::string_view path);

// Makes one folder (the last element of the path). True on success.
bool make_folder(std::string_view path);

// Makes every folder of the path that is missing. True when the folder
// exists afterwards.
bool make_folders(std::string_view path);

// True for a path from the root ("/data", "\\data") or a drive ("C:...").
bool is_absolute_path(std::string_view path);

// Makes the folder the process's working directory. True on success.
bool enter_folder(std::string_view path);

// The process's working directory, ending in a separator.
std::string current_folder();

// Removes a file; true when it is gone.
bool remove_file(std::string_view path);

// The folder part of a path, with its trailing separator ("" when none).
std::string folder_of(std::string_view path);

// The file-name part of a path (after the last separator).
std::string_view file_part(std::string_view path);

// Starts a program with its arguments (no command shell between) and waits
// for it. Returns its exit status, or -1 when it could not be started.
int run_program(const std::vector<std::string>& argv);

// Wall-clock stopwatch for run times.
class wall_timer {
 public:
  wall_timer() : start_(std::chrono::steady_clock::now()) {}
  void restart() { start_ = std::chrono::steady_clock::now(); }
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

}  // namespace nivra
