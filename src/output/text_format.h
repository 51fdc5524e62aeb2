// Fast fixed-point text for the large grid writers. format_fixed gives the
// same characters as printf's "%.Nf" (N = 0..9) for every double: values
// whose decimal rounding the quick integer path cannot decide (ties within
// the product's rounding error, very large magnitudes, infinities and
// NaN) are handed to snprintf.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace nivra {

inline constexpr int fixed_text_max = 48;  // room for any value the quick path writes

// Writes v with `decimals` digits after the point into out (at least
// fixed_text_max bytes when the quick path applies, 350 for the fallback);
// returns the number of characters written (no terminator).
int format_fixed(char* out, double v, int decimals);

// A write buffer on the caller's stack: text is gathered and handed to the
// stream in large blocks.
class block_writer {
 public:
  explicit block_writer(std::FILE* fp) : fp_(fp) {}
  ~block_writer() { flush(); }
  block_writer(const block_writer&) = delete;
  block_writer& operator=(const block_writer&) = delete;

  void text(std::string_view s) {
    if (s.size() > room()) flush();
    if (s.size() > room()) {
      std::fwrite(s.data(), 1, s.size(), fp_);
      return;
    }
    for (char c : s) buf_[n_++] = c;
  }
  void ch(char c) {
    if (room() < 1) flush();
    buf_[n_++] = c;
  }
  // The value as "%.Nf" followed by `after` (a blank, a line end or nothing).
  void fixed(double v, int decimals, char after = '\0') {
    if (room() < 352) flush();
    n_ += static_cast<std::size_t>(format_fixed(buf_ + n_, v, decimals));
    if (after) buf_[n_++] = after;
  }
  void flush() {
    if (n_ && fp_) std::fwrite(buf_, 1, n_, fp_);
    n_ = 0;
  }

 private:
  std::size_t room() const { return sizeof buf_ - n_; }
  std::FILE* fp_;
  std::size_t n_ = 0;
  char buf_[1 << 16];
};

}  // namespace nivra
