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
  const struct {
    std::string a, b;
    int order;
  } cases[] = {{"AB", "AB", 0},       {"AB", "AB   ", 0},    {"AB  ", "AB", 0},     {"AB", "AB!", -1},
               {"AB!", "AB", 1},      {"AB", "AB\xE9", -1},  {"AB ", "AB\xE9", -1}, {"AB\x01", "AB", -1},
               {"", "", 0},           {"", "  ", 0},         {"B", "AZ", 1}};
  for (const auto& c : cases) {
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

TEST(FindString, FirstByteThenTheRestAndIntoThePadding) {
  const struct {
    std::string data, search;
    int found;
  } cases[] = {{"ABCD", "BC", 1},    {"ABCD", "XY", 0},    {"ABCD", "CD", 1},    {"ABCD", "ABCDE", 0},
               {"ABCD", "", 0},      {"AAAB", "AAB", 1},   {"ABAB", "BAB", 1},   {"", "A", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(FindString(Bytes(c.data), Length(c.data), Bytes(c.search), Length(c.search)), c.found) << c.search;
  }
  // A search in a padded value of `capacity` bytes may run into the padding.
  const struct {
    std::string search;
    int capacity, found;
  } padded[] = {{"  ", 10, 1},   {"  ", 4, 0},    {"C ", 10, 1},   {"C  ", 4, 0},
                {"BC", 3, 1},    {"ABCD", 10, 0}, {"X", 10, 0},    {"ABC", 2, 0}};
  for (const auto& c : padded) {
    EXPECT_EQ(FindPaddedString(Bytes("ABC"), 3, Bytes(c.search), Length(c.search), c.capacity, kBlank), c.found)
        << "'" << c.search << "' in 'ABC' capacity " << c.capacity;
  }
}

TEST(ComparePattern, MatchesAsTheRulesSay) {
  const struct {
    std::string value, pattern;
    int width;
    bool matches;
  } cases[] = {{"AXYZ", "A*", 0, true},          {"ABC", "AB", 0, true},           {"AC", "A?C", 0, false},
               {"A", "A*?", 0, false},           {"AB", "A*?", 0, true},           {"A", "A  ", 10, true},
               {"A", "A  ", 0, false},           {"", "", 0, true},                {"ABC", "", 0, true},
               {"", "*", 0, true},               {"ABCABD", "*ABD", 0, true},      {"ABCABD", "A*BD", 0, true},
               {"ABXCD", "AB*CD", 0, true},      {"ABXCE", "AB*CD", 0, false},     {"java.lang", "java*", 16, true},
               {"javx", "java*", 16, false},     {"A", "A?", 0, false},            {"A", "A?", 2, true},
               {"A", "A?B", 5, false},           {"ab", "AB", 0, false},           {"A", "A*??", 0, false},
               {"ABC", "*C", 0, true},           {"AB", std::string(6, 'A'), 0, false},
               // Up to twice the width and one stars may match; a longer pattern never does.
               {"AB", "*****", 0, true},         {"AB", "******", 0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(ComparePattern(Bytes(c.value), Length(c.value), Bytes(c.pattern), Length(c.pattern), c.width),
              c.matches ? 0 : 207)
        << "'" << c.value << "' LIKE '" << c.pattern << "' width " << c.width;
  }
  // "A*?" reads as "A**" for one evaluation only: the pattern itself is not changed.
  const std::string pattern = "A*?";
  EXPECT_EQ(ComparePattern(Bytes("AB"), 2, Bytes(pattern), 3, 0), 0);
  EXPECT_EQ(ComparePattern(Bytes("A"), 1, Bytes(pattern), 3, 0), 207);
  EXPECT_EQ(pattern, "A*?");
}

TEST(ComparePattern, HostilePatternsFinishQuickly) {
  const std::string value(8000, 'a');
  std::string stars;
  for (int i = 0; i < 2000; ++i) stars += "*a";
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& pattern : {std::string(16000, '*'), std::string(4000, '?') + "*", stars + "b",
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
