// The check of a calibration's replacement list against the files its runs
// read: the project file and every file named on a line of a file read
// (found as given or in the project folder), followed on from file to file.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "calibration/model_run.h"
#include "core/platform.h"
#include "core/process.h"
#include "core/replace.h"

namespace nivra {

namespace {

// Where a key was first met.
struct key_place {
  std::string file;
  int line = 0;
};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The white-space separated words of a line, double quotes taken off.
std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i == start) break;
    std::string w = line.substr(start, i - start);
    if (w.size() >= 2 && w.front() == '"' && w.back() == '"') w = w.substr(1, w.size() - 2);
    if (!w.empty()) words.push_back(std::move(w));
  }
  return words;
}

bool is_number(const std::string& w) {
  char* end = nullptr;
  std::strtod(w.c_str(), &end);
  return end != w.c_str() && *end == '\0';
}

// The file a word names, as given or in the project folder; empty when it
// names no regular file.
std::string file_named(const std::string& word) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(os_path(word), ec)) return word;
  const std::string_view folder = process.project_dir.view();
  if (folder.empty() || is_absolute_path(word)) return {};
  std::string in_folder = std::string(folder) + word;
  if (std::filesystem::is_regular_file(os_path(in_folder), ec)) return in_folder;
  return {};
}

// One name for every path of a file, so that each is read once.
std::string identity(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::weakly_canonical(os_path(path), ec);
  return ec ? path : p.string();
}

// A text file: no control characters in its first 4,096 bytes (maps and
// tables are text; a file the model writes in binary is not followed).
bool is_text(std::ifstream& in) {
  char head[4096];
  in.read(head, sizeof head);
  const std::streamsize n = in.gcount();
  in.clear();
  in.seekg(0);
  for (std::streamsize i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(head[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') return false;
  }
  return true;
}

// A key a line holds at position at: "[" and "]" around a word without
// blanks; empty when the text there is no key.
std::string key_at(const std::string& line, std::size_t at) {
  const std::size_t close = line.find(']', at + 1);
  if (close == std::string::npos || close == at + 1) return {};
  for (std::size_t i = at + 1; i < close; ++i)
    if (std::isspace(static_cast<unsigned char>(line[i])) || line[i] == '[') return {};
  return line.substr(at, close - at + 1);
}

}  // namespace

bool check_list_keys(const std::string& replace_file, const std::string& project_file,
                     std::vector<std::string>& keys) {
  keys.clear();
  for (const replace_param& p : process.replace_list) keys.emplace_back(p.key.c_str());
  std::vector<bool> used(keys.size(), false);
  std::map<std::string, key_place> unknown;  // keys the list lacks, first place

  // Files a run reads but no key belongs in: the list itself, and the run
  // summary, which lists the keys of the runs that wrote it.
  std::set<std::string> seen = {identity(replace_file)};
  std::deque<std::string> queue;
  const std::string project = file_named(project_file);
  if (project.empty()) return true;  // the runs report the missing project
  queue.push_back(project);
  seen.insert(identity(project));
  bool project_lines = true;
  std::string line;
  while (!queue.empty()) {
    const std::string file = queue.front();
    queue.pop_front();
    std::ifstream in(os_path(file), std::ios::binary);
    if (!in || !is_text(in)) continue;
    for (int line_no = 1; std::getline(in, line); ++line_no) {
      const std::vector<std::string> words = words_of(line);
      // Comment lines are read but give the model nothing.
      if (words.empty() || words.front().front() == '#') continue;
      if (project_lines) {
        const std::string card = lower(words.front());
        if (words.size() > 1 && (card == "summary" || card == "replace_params" || card == "replace_vals")) {
          const std::string named = file_named(words[1]);
          if (!named.empty()) seen.insert(identity(named));
        }
      }
      for (std::size_t at = line.find('['); at != std::string::npos; at = line.find('[', at + 1)) {
        bool matched = false;
        for (std::size_t k = 0; k < keys.size() && !matched; ++k)
          if (line.compare(at, keys[k].size(), keys[k]) == 0) matched = used[k] = true;
        if (matched) continue;
        const std::string key = key_at(line, at);
        if (!key.empty() && !unknown.count(key)) unknown[key] = {file, line_no};
      }
      for (const std::string& w : words) {
        if (w.find('[') != std::string::npos || is_number(w)) continue;
        const std::string named = file_named(w);
        if (named.empty() || !seen.insert(identity(named)).second) continue;
        queue.push_back(named);
      }
    }
    project_lines = false;
  }

  for (const auto& [key, place] : unknown)
    std::printf("Error: the key %s in %s (line %d) is not in the replacement parameter list %s: every "
                "trial would fail to read it.\n",
                key.c_str(), place.file.c_str(), place.line, replace_file.c_str());
  int unused = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (used[k]) continue;
    ++unused;
    std::printf("Error: the key %s of the replacement parameter list %s is used by no input file: the "
                "project %s and the files it names do not hold it.\n",
                keys[k].c_str(), replace_file.c_str(), project_file.c_str());
  }
  return unknown.empty() && unused == 0;
}

}  // namespace nivra
