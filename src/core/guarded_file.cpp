#include "core/guarded_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/process.h"
#include "core/tokens.h"

namespace nivra {

namespace {

void check_guard(const guarded_file& f) {
  if (f.fp != f.fp_guard)
    std::printf("\n\n\nError with the file %s. The file pointer is corrupt.\n\n\n\n", f.name.c_str());
}

void make_closed(guarded_file& f) {
  f.fp = nullptr;
  f.fp_guard = nullptr;
  f.name.clear();
  f.mode.clear();
}

bool mode_ok(const char* mode) {
  return mode && (mode[0] == 'w' || mode[0] == 'a' || mode[0] == 'r');
}

bool is_write_mode(const char* mode) { return mode && (mode[0] == 'w' || mode[0] == 'a'); }

// Opens and closes a candidate at once: the probe uses the caller's mode, so
// a probe for writing creates the file.
bool probe(const std::string& path, const char* mode) {
  if (path.empty()) return false;
  std::string os = os_path(path);
  std::FILE* fp = std::fopen(os.c_str(), mode);
  if (!fp) return false;
  std::fclose(fp);
  return true;
}

void append_sep(std::string& folder) {
  if (!folder.empty() && !is_path_sep(folder.back())) folder.push_back(folder_sep);
}

}  // namespace

guarded_file::~guarded_file() { close_guarded_file(*this); }

guarded_file::guarded_file(guarded_file&& o) noexcept
    : fp(o.fp), fp_guard(o.fp_guard), name(o.name), mode(o.mode) {
  make_closed(o);
}

guarded_file& guarded_file::operator=(guarded_file&& o) noexcept {
  if (this != &o) {
    close_guarded_file(*this);
    fp = o.fp;
    fp_guard = o.fp_guard;
    name = o.name;
    mode = o.mode;
    make_closed(o);
  }
  return *this;
}

bool open_guarded_file(guarded_file& f, std::string_view name, const char* mode) {
  check_guard(f);
  if (name.empty() || !mode_ok(mode)) return false;
  if (f.fp) {
    std::printf("\n\nError!!!!!!! opening a file when the previous file was not closed.\n"
                "Original file: %s\nNew file: %.*s\n\n\n",
                f.name.c_str(), static_cast<int>(name.size()), name.data());
    // The earlier stream is closed rather than leaked.
    std::fclose(f.fp);
    make_closed(f);
  }
  std::string path = get_run_filename(name, mode);
  if (path.size() >= file_name_width) {
    std::printf("Error.... name too long!!!\n\n\n");
    return false;
  }
  if (path.empty()) return false;
  std::string os = os_path(path);
  std::FILE* fp = std::fopen(os.c_str(), mode);
  if (!fp) {
    f.fp = nullptr;
    return false;
  }
  f.fp = fp;
  f.fp_guard = fp;
  f.name.assign(path);
  f.mode.assign_cut(mode);
  return true;
}

namespace {

// Why an opened input file cannot be read as text; nullptr when it can.
// The stream is left at its start.
const char* input_refusal(const guarded_file& f) {
  std::error_code ec;
  const auto status = std::filesystem::status(os_path(f.name.view()), ec);
  if (ec) return "cannot be examined";
  if (std::filesystem::is_directory(status)) return "is a folder, not a file";
  if (!std::filesystem::is_regular_file(status)) return "is not a regular file";
  unsigned char head[4096];
  const std::size_t n = std::fread(head, 1, sizeof head, f.fp);
  const bool failed = std::ferror(f.fp) != 0;
  std::rewind(f.fp);
  if (failed) return "cannot be read";
  bool blank = true;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = head[i];
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v')
      return "is not a text file (it holds control characters)";
    blank = blank && (c == ' ' || (c >= '\t' && c <= '\r'));
  }
  if (n == 0) return "is empty";
  if (blank && n < sizeof head) return "holds only blanks";
  return nullptr;
}

}  // namespace

bool open_input_file(guarded_file& f, std::string_view name, bool* refused) {
  if (refused) *refused = false;
  if (!open_guarded_file(f, name, "r")) return false;
  const char* why = input_refusal(f);
  if (!why) return true;
  std::printf("Error: the file %s %s.\n", f.name.c_str(), why);
  close_guarded_file(f);
  if (refused) *refused = true;
  return false;
}

bool open_optional_input(guarded_file& f, std::string_view name, bool* refused) {
  if (refused) *refused = false;
  std::string path;
  const std::string plain(strip_quotes_view(name));
  if (plain.empty() ||
      !resolve_file_path(process.project_dir.view(), process.output_folder.view(), plain, "r", false, path))
    return false;
  return open_input_file(f, path, refused);
}

void close_guarded_file(guarded_file& f) {
  if (!f.fp) return;
  check_guard(f);
  std::fclose(f.fp);
  make_closed(f);
}

int reset_guarded_file(guarded_file& f) {
  check_guard(f);
  if (f.fp) std::fclose(f.fp);
  make_closed(f);
  return 0;
}

std::string get_run_filename(std::string_view name_in, const char* mode) {
  std::string name(strip_quotes_view(name_in));
  if (name.empty()) return std::string();
  std::string out;
  const bool writing = is_write_mode(mode);
  if (process.multi_run_mode && writing) {
    // The prefix goes on the file name, not on a folder in front of it.
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04d_", process.run_number);
    std::string_view base = file_part(name);
    std::string prefixed = name.substr(0, name.size() - base.size()) + prefix + std::string(base);
    std::string_view folder =
        process.output_folder_set ? process.output_folder.view() : std::string_view();
    if (!resolve_file_path(process.project_dir.view(), folder, prefixed, mode, true, out))
      std::printf("Error getting new filename from %s\n", prefixed.c_str());
    return out;
  }
  if (!resolve_file_path(process.project_dir.view(), process.output_folder.view(), name, mode,
                         writing, out))
    std::printf("Error getting new filename from %s\n", name.c_str());
  return out;
}

bool resolve_file_path(std::string_view project_folder, std::string_view folder,
                       std::string_view name, const char* mode, bool for_writing,
                       std::string& out_path) {
  std::string proj(project_folder);
  std::string nm(name);
  if (for_writing) {
    std::string sub = make_output_subfolder(folder, project_folder);
    std::string c1 = proj + sub + nm;
    const bool absolute = is_absolute_path(nm);
    if (!absolute && probe(c1, mode)) return out_path = c1, true;
    if (probe(nm, mode)) return out_path = nm, true;
    // An output in a folder that is not there yet: the folders are made, as
    // the file itself is (beside the project, or where an absolute name
    // puts it).
    const std::string& made = absolute ? nm : c1;
    const std::string parent = folder_of(made);
    if (!parent.empty() && make_folders(parent) && probe(made, mode)) return out_path = made, true;
    std::string c3 = proj + nm;
    out_path = c3;
    return probe(c3, mode);
  }
  if (probe(nm, mode)) return out_path = nm, true;
  std::string sub = make_output_subfolder(folder, project_folder);
  std::string c2 = proj + sub + nm;
  out_path = c2;
  return probe(c2, mode);
}

std::string make_output_subfolder(std::string_view folder, std::string_view project_folder) {
  std::string sub(folder);
  if (project_folder.empty()) return sub;
  size_t at = folder.find(project_folder);
  if (at == std::string_view::npos) return sub;
  sub = std::string(folder.substr(project_folder.size() <= folder.size() ? project_folder.size()
                                                                          : folder.size()));
  std::string full = std::string(project_folder) + sub;
  if (!sub.empty() && !enter_folder(full)) {
    if (!make_folder(full)) sub.clear();
  }
  if (!sub.empty()) set_output_folder(sub);
  return sub;
}

void set_output_folder(std::string_view path) {
  std::string p(path);
  append_sep(p);
  if (!process.output_folder.assign(p)) {
    std::printf("Error: output folder name too long: %s\n", p.c_str());
    return;
  }
  process.output_folder_set = 1;
}

void set_project_folder(std::string_view path) {
  std::string p(path);
  if (p.empty()) return;
  append_sep(p);
  // The folder search may change the working directory; a relative project
  // folder is made absolute now so that it keeps naming the same place.
  if (!is_path_sep(p.front()) && !(p.size() > 1 && p[1] == ':')) p = current_folder() + p;
  if (!process.project_dir.assign(p))
    std::printf("Error: project folder name too long: %s\n", p.c_str());
}

int msg_printf(const char* format, ...) {
  if (process.super_quiet_on) return 0;
  va_list ap;
  va_start(ap, format);
  int n = std::vprintf(format, ap);
  va_end(ap);
  return n;
}

}  // namespace nivra
