// Fixed-width text fields. The model's records hold names and words in
// fields of a stated width; a value that does not fit is refused (assign)
// or, where a bounded copy is wanted (message arguments), cut (assign_cut).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace nivra {

template <std::size_t N>
class fixed_text {
 public:
  static constexpr std::size_t capacity = N;  // characters including the terminator

  fixed_text() { buf_[0] = '\0'; }
  fixed_text(std::string_view s) { assign_cut(s); }  // NOLINT: convenient for literals

  // Copies s when it fits (at most N - 1 characters); false and unchanged otherwise.
  bool assign(std::string_view s) {
    if (s.size() >= N) return false;
    if (!s.empty()) std::memcpy(buf_, s.data(), s.size());
    buf_[s.size()] = '\0';
    return true;
  }
  // Copies at most N - 1 characters of s.
  void assign_cut(std::string_view s) {
    std::size_t n = s.size() < N ? s.size() : N - 1;
    if (n) std::memcpy(buf_, s.data(), n);
    buf_[n] = '\0';
  }
  fixed_text& operator=(std::string_view s) {
    assign_cut(s);
    return *this;
  }

  void clear() { buf_[0] = '\0'; }
  bool empty() const { return buf_[0] == '\0'; }
  std::size_t size() const { return std::strlen(buf_); }
  const char* c_str() const { return buf_; }
  char* data() { return buf_; }
  std::string_view view() const { return std::string_view(buf_); }
  std::string str() const { return std::string(buf_); }
  operator std::string_view() const { return view(); }  // NOLINT
  char& operator[](std::size_t i) { return buf_[i]; }
  char operator[](std::size_t i) const { return buf_[i]; }

  bool operator==(std::string_view s) const { return view() == s; }

 private:
  char buf_[N];
};

}  // namespace nivra
