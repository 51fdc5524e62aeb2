#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/guarded_file.h"
#include "core/process.h"
#include "core/replace.h"
#include "core/tokens.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using testing::process_test;

std::vector<std::string> all_tokens(card_line& line) {
  std::vector<std::string> out;
  std::string tok;
  while (next_token(line, tok)) out.push_back(tok);
  return out;
}

TEST(Tokens, QuotedPathKeepsItsBlankAndTheLineEmpties) {
  card_line line("  NAME, \"C:\\my data\\x.map\" 3");
  EXPECT_EQ(all_tokens(line), (std::vector<std::string>{"NAME", "C:\\my data\\x.map", "3"}));
  EXPECT_TRUE(line.empty());
}

TEST(Tokens, SeparatorCases) {
  struct row {
    const char* text;
    std::vector<std::string> tokens;
  } rows[] = {
      {" \t,, \t", {}},
      {"a,b\tc d\n", {"a", "b", "c", "d"}},
      {"\"x\"y z", {"x", "y", "z"}},            // closing quote ends the token
      {"\"unterminated quote", {"unterminated quote"}},
      {"", {}},
  };
  for (const auto& r : rows) {
    card_line line(r.text);
    EXPECT_EQ(all_tokens(line), r.tokens) << r.text;
  }
}

TEST(Tokens, OnlySeparatorsLeaveTheLineUnchanged) {
  card_line line(" \t, ");
  std::string tok;
  EXPECT_EQ(next_token(line, tok), 0);
  EXPECT_EQ(line.rest(), " \t, ");
  double d = 7;
  EXPECT_EQ(next_token_double(line, d), 0);
  EXPECT_EQ(d, 0.0);
}

TEST(Tokens, EmptyQuotedTokenTurnsQuotesToBlanks) {
  card_line line("\"\" rest");
  std::string tok;
  EXPECT_EQ(next_token(line, tok), 0);
  EXPECT_EQ(line.rest(), "   rest");
}

TEST(Tokens, Numbers) {
  struct row {
    const char* text;
    double d;
    int i;
  } rows[] = {
      {"3.25", 3.25, 3},   {"-1e3", -1000.0, -1}, {"+7", 7.0, 7},   {"abc", 0.0, 0},
      {"12abc", 12.0, 12}, {".5", 0.5, 0},        {"0x10", 16.0, 0}, {"1e400", HUGE_VAL, 1},
  };
  for (const auto& r : rows) {
    card_line a(std::string(r.text) + " next"), b(std::string(r.text) + ",next");
    double d = -9;
    int i = -9;
    EXPECT_EQ(next_token_double(a, d), 1) << r.text;
    EXPECT_EQ(d, r.d) << r.text;
    EXPECT_EQ(next_token_int(b, i), 1) << r.text;
    EXPECT_EQ(i, r.i) << r.text;
    EXPECT_EQ(a.rest(), "next");
    EXPECT_EQ(b.rest(), "next");
  }
}

TEST(Tokens, NumbersMatchTheRuntimeConversionBitForBit) {
  const char* values[] = {"0.1", "1234.5678", "-0.000123", "9.999999999999999e22", "3.14159265358979"};
  for (const char* v : values) {
    double expect = 0;
    std::sscanf(v, "%lf", &expect);
    EXPECT_EQ(scan_double(v), expect) << v;
  }
}

TEST(Tokens, WholeTokensAsNumbers) {
  struct int_case {
    const char* token;
    bool read;
    int value;
  };
  const int_case ints[] = {
      {"7", true, 7},          {"+7", true, 7},        {"-2147483648", true, -2147483647 - 1},
      {"2147483647", true, 2147483647}, {"2147483648", false, 0}, {"1e300", false, 0},
      {"1.5", false, 0},       {"7.0", false, 0},      {"12abc", false, 0}, {"", false, 0},
      {"+-7", false, 0},       {"++7", false, 0},      {"-", false, 0},     {"nan", false, 0},
  };
  for (const int_case& c : ints) {
    int v = 0;
    EXPECT_EQ(whole_token_int(c.token, v), c.read) << c.token;
    if (c.read) {
      EXPECT_EQ(v, c.value) << c.token;
    }
  }
  struct real_case {
    const char* token;
    bool read;
    bool finite;
  };
  const real_case reals[] = {
      {"2.5", true, true},   {"-1e-3", true, true}, {"1e300", true, true}, {"0x10", true, true},
      {"1e400", true, false}, {"inf", true, false}, {"-inf", true, false}, {"nan", true, false},
      {"2.5m", false, false}, {"", false, false},    {"1,5", false, false},  {" 2", false, false},
  };
  for (const real_case& c : reals) {
    double v = 0.0;
    EXPECT_EQ(whole_token_double(c.token, v), c.read) << c.token;
    if (c.read) {
      EXPECT_EQ(std::isfinite(v), c.finite) << c.token;
    }
  }
  double v = 0.0;
  ASSERT_TRUE(whole_token_double("2.5", v));
  EXPECT_EQ(v, 2.5);
}

// Plain decimals are read without the general reader: the value must be the
// one strtod rounds to, bit for bit, and anything that is not a plain
// decimal of at most 15 digits is left to the general reader.
TEST(Tokens, PlainDecimalsReadAsStrtodReadsThem) {
  struct plain_case {
    const char* text;
    std::size_t length;  // of the number; 0: not a plain decimal
  };
  const plain_case cases[] = {
      {"1499.754", 8},  {"-0", 2},           {"+1.5", 4},      {"1.", 2},           {".5", 2},
      {"-.5", 3},       {"0001.2300", 9},    {"0.1 2", 3},     {"7,8", 1},          {"123456789012345", 15},
      {"12345678.9012345", 16}, {"1234567890123456", 0}, {"1e5", 0},   {"1.2.3", 0}, {"12abc", 0},
      {"-", 0},         {".", 0},            {"", 0},          {"+-5", 0},          {"nan", 0},
  };
  for (const plain_case& c : cases) {
    const std::string text = c.text;
    double v = 0.0;
    const char* end = read_plain_decimal(text.data(), text.data() + text.size(), v);
    const char* end_terminated = read_plain_decimal<true>(text.data(), text.data() + text.size(), v);
    EXPECT_EQ(end_terminated, end) << c.text;
    if (c.length == 0) {
      EXPECT_EQ(end, nullptr) << c.text;
      continue;
    }
    ASSERT_NE(end, nullptr) << c.text;
    EXPECT_EQ(static_cast<std::size_t>(end - text.data()), c.length) << c.text;
    const double expect = std::strtod(text.substr(0, c.length).c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&v, &expect, sizeof v), 0) << c.text;
  }
  // Every count of digits before and after the point, with digits that
  // look random.
  std::uint64_t x = 88172645463325252ull;
  for (int k = 0; k < 20000; ++k) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const int digits = 1 + static_cast<int>(x % 15), point = static_cast<int>((x >> 8) % (digits + 1));
    std::string text = (x >> 20) % 2 ? "-" : "";
    for (int d = 0; d < digits; ++d) {
      if (d == point && d > 0) text += '.';
      text += static_cast<char>('0' + (x >> (24 + 2 * (d % 16))) % 10);
    }
    double v = 0.0;
    ASSERT_NE(read_plain_decimal(text.data(), text.data() + text.size(), v), nullptr) << text;
    const double expect = std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&v, &expect, sizeof v), 0) << text;
  }
}

TEST(Tokens, KeywordEqual) {
  EXPECT_EQ(keyword_equal("Project_File", "PROJECT_FILE other"), 1);
  EXPECT_EQ(keyword_equal("rain", "rainfall"), 0);
  EXPECT_EQ(keyword_equal("  ", ""), 1);
  EXPECT_EQ(keyword_equal("\"Quoted Word\" x", "\"quoted word\""), 1);
  EXPECT_EQ(keyword_equal("\"Quoted Word\" x", "quoted"), 0);
}

TEST(Tokens, FindSecondWordAndDropFront) {
  EXPECT_EQ(find_second_word("1.5 2.5 3.5"), 4u);
  EXPECT_EQ(find_second_word("  1.5,2.5 3.5"), 10u);  // commas belong to words here
  EXPECT_EQ(find_second_word("single"), 5u);
  std::string s = "abcdef";
  EXPECT_EQ(str_drop_front(s, 2), 0);
  EXPECT_EQ(s, "cdef");
  EXPECT_EQ(str_drop_front(s, 10), 0);
  EXPECT_EQ(s, "");
  EXPECT_EQ(str_drop_front(s, 1), -1);
  std::string q = "\"a b\"";
  strip_quotes(q);
  EXPECT_EQ(q, "a b");
  std::string lone = "\"";
  strip_quotes(lone);
  EXPECT_EQ(lone, "");
}

class ReadLine : public process_test {};

TEST_F(ReadLine, LongLinesAreReadWholeAndLineEndsRemoved) {
  std::string wide(60000, '7');
  testing::write_file("in.txt", wide + "\r\nsecond\nlast without end");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "in.txt", "r"));
  std::string line;
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, wide);  // one line, carriage return gone
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, "second");
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, "last without end");
  EXPECT_EQ(read_line(line, f), 0);
}

TEST_F(ReadLine, ReplacesKeysWhileReplacementIsOn) {
  ASSERT_EQ(parse_replace_param_line("[ROUGH1] \"%4.2lf\""), 0);
  process.replace_list[0].dval = 0.0312;
  process.replace_on = 1;
  testing::write_file("in.txt", "MANNING_N [ROUGH1]\n");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "in.txt", "r"));
  std::string line;
  ASSERT_EQ(read_line(line, f), 1);
  EXPECT_EQ(line, "MANNING_N 0.03");
}

}  // namespace
}  // namespace nivra
