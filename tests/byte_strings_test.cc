// The byte-string helpers as tables of cases, and the wildcard matcher on hostile patterns.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>

#include "routines/byte_strings.h"

namespace vexfilt {
namespace {

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }
std::int32_t Length(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

int Sign(std::int32_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

TEST(ComparePadded, ShorterOperandCountsAsBlankPadded) {
  struct Case {
    std::string a, b;
    int order;
  };
  for (const Case& c : {Case{"AB", "AB", 0}, Case{"AB", "AB   ", 0}, Case{"AB  ", "AB", 0}, Case{"AB", "AB!", -1},
                        Case{"AB!", "AB", 1}, Case{"AB", "AB\xE9", -1}, Case{"AB ", "AB\xE9", -1},
                        Case{"AB\x01", "AB", -1}, Case{"", "", 0}, Case{"", "  ", 0}, Case{"B", "AZ", 1}}) {
    EXPECT_EQ(Sign(ComparePadded(Bytes(c.a), Bytes(c.b), Length(c.a), Length(c.b), kBlank)), c.order)
        << "'" << c.a << "' vs '" << c.b << "'";
  }
}

TEST(CompareBytes, OrdersAsMemcmpAtEveryLengthAndPosition) {
  // A difference at each position of strings of each length up to three words, with bytes on both sides
  // of 0x80: a word compared in the wrong byte order, or signed, orders some of them wrongly.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t n = 0; n <= 24; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      std::string a(n, '\0');
      for (char& c : a) c = static_cast<char>(byte(rng));
      std::string b = a;
      b[at] = static_cast<char>(byte(rng));
      if (at + 1 < n) b[n - 1] = static_cast<char>(byte(rng));  // a later difference must not decide
      const int expected = Sign(std::memcmp(a.data(), b.data(), n));
      EXPECT_EQ(CompareBytes(Bytes(a), Bytes(b), n), expected) << "length " << n << " difference at " << at;
    }
  }
}

TEST(SkipPad, FindsTheFirstByteThatIsNotThePad) {
  for (std::size_t n = 0; n <= 20; ++n) {
    const std::string blanks(n, ' ');
    EXPECT_EQ(SkipPad(Bytes(blanks), n, kBlank), n);
    for (std::size_t at = 0; at < n; ++at) {
      std::string s = blanks;
      s[at] = '!';
      if (at + 1 < n) s[n - 1] = 'x';  // only the first one counts
      EXPECT_EQ(SkipPad(Bytes(s), n, kBlank), at) << "length " << n;
    }
  }
}

TEST(FindString, FirstByteThenTheRest) {
  struct Case {
    std::string data, search;
    int found;
  };
  for (const Case& c : {Case{"ABCD", "BC", 1}, Case{"ABCD", "XY", 0}, Case{"ABCD", "CD", 1}, Case{"ABCD", "ABCDE", 0},
                        Case{"ABCD", "", 0}, Case{"AAAB", "AAB", 1}, Case{"ABAB", "BAB", 1}, Case{"", "A", 0}}) {
    EXPECT_EQ(FindString(Bytes(c.data), Length(c.data), Bytes(c.search), Length(c.search)), c.found) << c.search;
  }
}

TEST(FindPaddedString, SearchMayRunIntoThePadding) {
  struct Case {
    std::string data, search;
    int capacity, found;
  };
  for (const Case& c : {Case{"ABC", "  ", 10, 1}, Case{"ABC", "  ", 4, 0}, Case{"ABC", "C ", 10, 1},
                        Case{"ABC", "C  ", 4, 0}, Case{"ABC", "BC", 3, 1}, Case{"ABC", "ABCD", 10, 0},
                        Case{"ABC", "X", 10, 0}, Case{"ABC", "ABC", 2, 0}}) {
    EXPECT_EQ(FindPaddedString(Bytes(c.data), Length(c.data), Bytes(c.search), Length(c.search), c.capacity, kBlank),
              c.found)
        << "'" << c.search << "' in '" << c.data << "' capacity " << c.capacity;
  }
}

struct PatternCase {
  std::string value, pattern;
  int width;
  bool matches;
};

// Named by its fields: printed as raw bytes, the struct would show its padding.
void PrintTo(const PatternCase& c, std::ostream* out) {
  *out << "'" << c.value << "' LIKE '" << c.pattern << "' width " << c.width;
}

class ComparePatternCases : public ::testing::TestWithParam<PatternCase> {};

TEST_P(ComparePatternCases, MatchesAsTheRulesSay) {
  const PatternCase& c = GetParam();
  const std::int32_t result = ComparePattern(Bytes(c.value), Length(c.value), Bytes(c.pattern), Length(c.pattern), c.width);
  EXPECT_EQ(result, c.matches ? 0 : 207);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ComparePatternCases,
    ::testing::Values(PatternCase{"AXYZ", "A*", 0, true}, PatternCase{"ABC", "AB", 0, true},
                      PatternCase{"AC", "A?C", 0, false}, PatternCase{"A", "A*?", 0, false},
                      PatternCase{"AB", "A*?", 0, true}, PatternCase{"A", "A  ", 10, true},
                      PatternCase{"A", "A  ", 0, false}, PatternCase{"", "", 0, true}, PatternCase{"ABC", "", 0, true},
                      PatternCase{"", "*", 0, true}, PatternCase{"ABCABD", "*ABD", 0, true},
                      PatternCase{"ABCABD", "A*BD", 0, true}, PatternCase{"ABXCD", "AB*CD", 0, true},
                      PatternCase{"ABXCE", "AB*CD", 0, false}, PatternCase{"java.lang", "java*", 16, true},
                      PatternCase{"javx", "java*", 16, false}, PatternCase{"A", "A?", 0, false},
                      PatternCase{"A", "A?", 2, true}, PatternCase{"A", "A?B", 5, false},
                      PatternCase{"ab", "AB", 0, false}, PatternCase{"A", "A*??", 0, false},
                      PatternCase{"ABC", "*C", 0, true}, PatternCase{"AB", std::string(6, 'A'), 0, false}));

TEST(ComparePattern, QuestionAfterStarIsAStarForThatEvaluationOnly) {
  const std::string pattern = "A*?";
  EXPECT_EQ(ComparePattern(Bytes("A"), 1, Bytes(pattern), 3, 0), 207);
  EXPECT_EQ(ComparePattern(Bytes("AB"), 2, Bytes(pattern), 3, 0), 0);
  EXPECT_EQ(ComparePattern(Bytes("A"), 1, Bytes(pattern), 3, 0), 207) << "the pattern itself is not changed";
  EXPECT_EQ(pattern, "A*?");
}

TEST(ComparePattern, PatternLongerThanTwiceTheWidthNeverMatches) {
  const std::string value = "AB";
  EXPECT_EQ(ComparePattern(Bytes(value), 2, Bytes("*****"), 5, 0), 0) << "2 × 2 + 1 stars still may match";
  EXPECT_EQ(ComparePattern(Bytes(value), 2, Bytes("******"), 6, 0), 207);
}

TEST(ComparePattern, HostilePatternsFinishQuickly) {
  const std::string value(8000, 'a');
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& pattern : {std::string(16000, '*'), std::string(4000, '?') + "*",
                                     [] { std::string p; for (int i = 0; i < 2000; ++i) p += "*a"; return p + "b"; }(),
                                     std::string("*") + std::string(3000, '?') + "b"}) {
    const std::int32_t result = ComparePattern(Bytes(value), Length(value), Bytes(pattern), Length(pattern), 0);
    EXPECT_TRUE(result == 0 || result == 207);
  }
  EXPECT_EQ(ComparePattern(Bytes(value), Length(value), Bytes(std::string(16000, '*')), 16000, 0), 0);
  // Bounded work, not a timing test: a runaway matcher would take far longer than this generous bound.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(ComparePattern, RandomInputAgreesWithAReferenceOnStarFreePatterns) {
  // Without "*", a pattern matches exactly when each byte matches its value position (or padding).
  std::mt19937 random(7);
  const std::string alphabet = "ab ?";
  for (int round = 0; round < 2000; ++round) {
    std::string value(random() % 6, 'a'), pattern(random() % 6, 'a');
    for (char& ch : value) ch = alphabet[random() % 3];
    for (char& ch : pattern) ch = alphabet[random() % 4];
    const int width = static_cast<int>(random() % 8);
    const int e = Length(value) >= width ? Length(value) : std::min(width, Length(value) + Length(pattern));
    bool expected = Length(pattern) <= e || (value.empty() && pattern.empty());
    for (int i = 0; expected && i < Length(pattern); ++i) {
      const char v = i < Length(value) ? value[i] : ' ';
      expected = pattern[i] == '?' || pattern[i] == v;
    }
    EXPECT_EQ(ComparePattern(Bytes(value), Length(value), Bytes(pattern), Length(pattern), width) == 0, expected)
        << "'" << value << "' '" << pattern << "' " << width;
  }
}

}  // namespace
}  // namespace vexfilt
