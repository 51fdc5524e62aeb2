#include "bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "core/process.h"

namespace nivra::bench {

namespace fs = std::filesystem;

scratch_folder::scratch_folder(bool enter) {
  if (!enter) return;
  start_ = fs::current_path();
  fs::current_path(dir_.path());
  entered_ = true;
}

scratch_folder::~scratch_folder() {
  if (!entered_) return;
  std::error_code ec;
  fs::current_path(start_, ec);
}

void scratch_folder::copy_files_of(const fs::path& from) const {
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file()) fs::copy_file(e.path(), fs::path(dir_.path()) / e.path().filename());
}

fs::path example_folder(const char* name) { return fs::path(NIVRA_SOURCE_DIR) / "examples" / name; }

silent_console::silent_console() {
  std::fflush(stdout);
  console_ = ::dup(1);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  ::close(null);
}

silent_console::~silent_console() {
  std::fflush(stdout);
  ::dup2(console_, 1);
  ::close(console_);
}

bool run_completed(int code) { return code == 0 && process.error_block.stop == 0; }

}  // namespace nivra::bench
