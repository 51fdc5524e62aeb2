// Card lines and tokens. All text input is read line by line and cut into
// tokens separated by blanks, tabs, commas and line feeds; a token that
// begins with a double quote runs to the next double quote and keeps its
// separators. Tokens are taken off the front of a card_line, which keeps a
// cursor instead of moving the rest of the text, so a wide grid row costs
// one pass however many values it holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nivra {

class guarded_file;

inline bool is_token_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\n'; }

class card_line {
 public:
  card_line() = default;
  card_line(std::string_view s) : buf_(s) {}  // NOLINT
  card_line& operator=(std::string_view s) {
    buf_.assign(s);
    pos_ = 0;
    return *this;
  }

  // What is left of the line.
  std::string_view rest() const { return std::string_view(buf_).substr(pos_); }
  const char* c_str() const { return buf_.c_str() + pos_; }
  bool empty() const { return pos_ >= buf_.size(); }
  std::size_t size() const { return buf_.size() - pos_; }

  // Removes the first n characters of what is left.
  void drop_front(std::size_t n) { pos_ = n >= size() ? buf_.size() : pos_ + n; }

  // The whole buffer, for readers that rewrite the line (replacement);
  // using it makes the remaining text the whole buffer again.
  std::string& text() {
    compact();
    return buf_;
  }
  const std::string& text() const { return buf_; }

 private:
  friend int next_token(card_line&, std::string&);
  friend int next_number_token(card_line&, std::string_view&, double&);
  friend int next_token_double(card_line&, double&);
  friend int next_token_int(card_line&, int&);
  void compact() {
    if (pos_) {
      buf_.erase(0, pos_);
      pos_ = 0;
    }
  }
  std::string buf_;
  std::size_t pos_ = 0;
};

// Reads one whole line (however long), removes the line feed and one
// carriage return before it, and replaces bracketed keys while replacement
// is on. 0 at the end of the file or when nothing could be read.
int read_line(card_line& line, guarded_file& f);
int read_line(std::string& line, guarded_file& f);
// Reads from a plain stream (used by readers that hold a FILE* directly).
int read_line(std::string& line, std::FILE* fp);

// Cuts the next token off the line. 1 when a token was found.
int next_token(card_line& line, std::string& token);
// Cuts the next token off the line without copying it (the view holds the
// characters up to the next separator, quotes are not special, and stays
// valid until the line is changed) and reads it whole as whole_token_double
// does. For long rows of numbers: 1 a number was read (finite or not), 0 no
// token was left, -1 the token is not a number.
int next_number_token(card_line& line, std::string_view& token, double& value);
// Cuts the next token and reads it as "%lf" / "%d"; a token that is not a
// number reads as 0 and still counts as read.
int next_token_double(card_line& line, double& out);
int next_token_int(card_line& line, int& out);

// Same conversions on a whole text (what "%lf" and "%d" make of it).
double scan_double(std::string_view s, bool* ok = nullptr);
int scan_int(std::string_view s, bool* ok = nullptr);

// A whole token read as one number, for readers that check what they read:
// false when any character of the token is not part of the number ("12abc",
// "1.5" as an integer, "1e300" as an integer) or an integer lies outside the
// range of an int. A real may come out infinite or NaN ("inf", "nan",
// "1e400"): the caller tests that it is finite.
bool whole_token_double(std::string_view token, double& out);

// A plain decimal number at b, as grid maps hold them: an optional sign,
// digits with at most one point among them and no exponent, ended by a
// separator or e. When it has at most 15 digits its value is an exact
// integer over an exact power of ten, rounded once: the double nearest the
// decimal, as whole_token_double reads it. Returns the end of the number,
// or null for anything else (read it with whole_token_double). Terminated:
// the text goes on past e with a character that is not a digit (the end of
// a std::string), so that the digits are read without testing for e.
template <bool Terminated = false>
inline const char* read_plain_decimal(const char* b, const char* e, double& out) {
  static constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  // The digits from b on into m; the end of them.
  auto read_digits = [e](const char* c, std::uint64_t& m) {
    for (;;) {
      if constexpr (!Terminated) {
        if (c >= e) return c;
      }
      const unsigned d = static_cast<unsigned char>(*c) - static_cast<unsigned>('0');
      if (d > 9) return c;
      m = m * 10 + d;
      ++c;
    }
  };
  const bool negative = b < e && *b == '-';
  if (b < e && (*b == '-' || *b == '+')) ++b;
  const char* const first = b;
  std::uint64_t m = 0;
  b = read_digits(b, m);
  const char* const point = b;
  if (b < e && *b == '.') b = read_digits(b + 1, m);
  if (b > e) return nullptr;
  const long digits = (b - first) - (point < b ? 1 : 0);
  if (digits == 0 || digits > 15 || (b < e && !is_token_sep(*b))) return nullptr;
  const long after_point = point < b ? b - point - 1 : 0;
  const double v = static_cast<double>(m) / exact_powers_of_ten[after_point];
  out = negative ? -v : v;
  return b;
}
bool whole_token_int(std::string_view token, int& out);

// 1 when the first tokens of both texts are equal without regard to case.
int keyword_equal(std::string_view a, std::string_view b);

// Position of the first character of the second word (words are split by
// blanks, tabs and line feeds only); the last character when there is none.
std::size_t find_second_word(std::string_view text);

// Removes the first n characters; -1 for an empty text, else 0.
int str_drop_front(std::string& text, std::size_t n);

// Removes one leading and one trailing double quote.
void strip_quotes(std::string& text);
std::string_view strip_quotes_view(std::string_view text);

// Lower-case copy (ASCII).
std::string to_lower(std::string_view s);

}  // namespace nivra
