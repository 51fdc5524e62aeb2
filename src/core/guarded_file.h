// Guarded file handles. Every file the model reads or writes is held in a
// guarded_file that keeps the stream with a guard copy, the path actually
// opened and the open mode. Names go through get_run_filename, which adds
// the run prefix "%04d_" to written files in multi-run mode and searches the
// output and project folders.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/text.h"

namespace nivra {

inline constexpr std::size_t file_name_width = 1024;

class guarded_file {
 public:
  guarded_file() = default;
  ~guarded_file();
  guarded_file(const guarded_file&) = delete;
  guarded_file& operator=(const guarded_file&) = delete;
  guarded_file(guarded_file&& o) noexcept;
  guarded_file& operator=(guarded_file&& o) noexcept;

  bool is_open() const { return fp != nullptr; }

  std::FILE* fp = nullptr;
  std::FILE* fp_guard = nullptr;   // copy of fp; a difference means the handle is damaged
  fixed_text<file_name_width> name;  // the resolved path that was opened
  fixed_text<6> mode;
};

// Opens name in mode after resolving it; true on success. An open handle is
// closed first (with a warning).
bool open_guarded_file(guarded_file& f, std::string_view name, const char* mode);

// Opens an input file for reading: open_guarded_file in mode "r", after
// which the file must be a regular file (not a folder or a device), hold
// something besides blanks and be text (no zero byte or other control
// character but tab, line feed, carriage return, form feed and vertical
// tab within its first 4096 bytes). A file that opens but is refused is
// named with the reason on the console, closed, and sets refused when given;
// false then, and when the file cannot be opened.
bool open_input_file(guarded_file& f, std::string_view name, bool* refused = nullptr);

// An input that need not be there (the companion of a hot-start written
// before companions were): opened as open_input_file when a file of that
// name is found, false without a word when none is.
bool open_optional_input(guarded_file& f, std::string_view name, bool* refused = nullptr);

// Closes an open handle; a closed handle is left alone.
void close_guarded_file(guarded_file& f);

// Checks the guard, closes when open and clears the handle; returns 0.
int reset_guarded_file(guarded_file& f);

// The path that open_guarded_file will open for name in mode ("" when the
// name is empty).
std::string get_run_filename(std::string_view name, const char* mode);

// The folder search: the first candidate that opens in mode wins. A file to
// be written is tried beside the project (its output sub-folder), then
// under its own name; when neither opens, the folders of the first are
// made and it is tried again, then the project folder itself.
bool resolve_file_path(std::string_view project_folder, std::string_view folder,
                       std::string_view name, const char* mode, bool for_writing,
                       std::string& out_path);

// Works out the output sub-folder below the project folder and creates it.
std::string make_output_subfolder(std::string_view folder, std::string_view project_folder);

void set_output_folder(std::string_view path);
void set_project_folder(std::string_view path);

// Console output silenced by the SUPER_QUIET card.
int msg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace nivra
