#include "core/platform.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace nivra {

std::string os_path(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

bool make_folder(std::string_view path) {
  std::string p = os_path(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  return ::mkdir(p.c_str(), 0777) == 0;
}

bool make_folders(std::string_view path) {
  const std::string p = os_path(path);
  if (p.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(p, ec);
  return std::filesystem::is_directory(p, ec);
}

bool is_absolute_path(std::string_view path) {
  return (!path.empty() && is_path_sep(path.front())) || (path.size() > 1 && path[1] == ':');
}

bool enter_folder(std::string_view path) {
  std::string p = os_path(path);
  if (p.empty()) return false;
  return ::chdir(p.c_str()) == 0;
}

std::string current_folder() {
  std::string buf(4096, '\0');
  if (!::getcwd(buf.data(), buf.size())) return std::string();
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  if (buf.empty() || buf.back() != '/') buf.push_back('/');
  return buf;
}

bool remove_file(std::string_view path) {
  std::string p = os_path(path);
  return std::remove(p.c_str()) == 0;
}

std::string folder_of(std::string_view path) {
  size_t k = path.find_last_of("\\/");
  if (k == std::string_view::npos) return std::string();
  return std::string(path.substr(0, k + 1));
}

std::string_view file_part(std::string_view path) {
  size_t k = path.find_last_of("\\/");
  return k == std::string_view::npos ? path : path.substr(k + 1);
}

int run_program(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<std::string> args;
  args.reserve(argv.size());
  args.push_back(os_path(argv[0]));
  for (size_t i = 1; i < argv.size(); ++i) args.push_back(argv[i]);
  std::vector<char*> cargv;
  for (auto& a : args) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  std::fflush(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, cargv[0], nullptr, nullptr, cargv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

}  // namespace nivra
