// Expected lines kept as data under tests/data: one line of output a line, '#' starting a comment line.
#ifndef VEXFILT_TESTS_EXPECTED_LINES_H_
#define VEXFILT_TESTS_EXPECTED_LINES_H_

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace vexfilt::testing {

// `lines` are those of tests/data/`file`, less its comment lines; a difference names the file's line.
inline void ExpectLinesOf(const std::string& file, const std::vector<std::string>& lines) {
  const std::string path = std::string(VEXFILT_TEST_DATA) + "/" + file;
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::size_t at = 0;
  int number = 0;
  for (std::string expected; std::getline(in, expected);) {
    ++number;
    if (expected.rfind('#', 0) == 0) continue;
    const std::string actual = at < lines.size() ? lines[at] : "(no more lines)";
    EXPECT_EQ(actual, expected) << path << ":" << number;
    if (actual != expected) return;
    ++at;
  }
  EXPECT_EQ(at, lines.size()) << path << " ends before the line " << (at < lines.size() ? lines[at] : "");
}

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_EXPECTED_LINES_H_
