// A plan and a pool as a mainframe sends them, byte by byte, and the bytes they must become here: the
// vectors in tests/data/translation.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vexfilt.h"
#include "vexplan.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Representation words: characters in bits 0-3, integers in bits 4-7, floating point in bits 8-15.
constexpr std::uint32_t kMainframe = 0x00000301;  // EBCDIC 037, big-endian, IBM hexadecimal
constexpr std::uint32_t kLocal = 0x00000010;      // ASCII, little-endian, IEEE

// Each element is given as its first 96 bytes, which carry fields, and a fill for the reference words and
// the reserved rest, which are never converted.
static_assert(offsetof(VxpElement, referenceWords) == 96);

// The sender's bytes and the local ones of a vector file, with the line each local byte comes from.
struct Vector {
  std::string path = VEXFILT_TEST_DATA "/translation/";
  Bytes sender, local;
  std::vector<int> lines;

  explicit Vector(const char* name) {
    path += name;
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      std::istringstream fields(line.substr(0, line.find('#')));
      std::string word, count, fill;
      if (line.starts_with("fill ") && fields >> word >> count >> fill) {
        sender.insert(sender.end(), std::stoul(count), static_cast<std::uint8_t>(std::stoul(fill, nullptr, 16)));
        local.insert(local.end(), std::stoul(count), static_cast<std::uint8_t>(std::stoul(fill, nullptr, 16)));
        lines.insert(lines.end(), std::stoul(count), number);
        continue;
      }
      Bytes* side = &sender;
      while (fields >> word) {
        if (word == "->") {
          side = &local;
        } else {
          side->push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
          if (side == &local) lines.push_back(number);
        }
      }
    }
    EXPECT_EQ(sender.size(), local.size()) << path;
  }

  // `got` is the local bytes, or the first byte that differs and the line of the file that gives it.
  ::testing::AssertionResult Local(const Bytes& got) const {
    for (std::size_t i = 0; i < got.size() && i < local.size(); ++i) {
      if (got[i] == local[i]) continue;
      char detail[80];
      std::snprintf(detail, sizeof detail, "offset %zu is 0x%02X, not 0x%02X", i, got[i], local[i]);
      return ::testing::AssertionFailure() << path << ":" << lines[i] << ": " << detail;
    }
    if (got.size() == local.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": length " << got.size() << ", expected " << local.size();
  }
};

TEST(TranslationVectors, MainframePlanAndPoolBecomeLocalBytes) {
  const Vector plan("mainframe-plan.vec"), pool("mainframe-pool.vec");
  ASSERT_EQ(plan.local.size(), sizeof(VxpPlanHeader) + 2 * sizeof(VxpElement));
  Bytes bytes = plan.sender;
  ASSERT_EQ(FLT1_TranslateFilterPlanNCS(kMainframe, bytes.data()), 0);
  EXPECT_TRUE(plan.Local(bytes));
  bytes = pool.sender;
  ASSERT_EQ(FLT1_TranslateLiteralPoolNCS(kMainframe, bytes.data()), 0);
  EXPECT_TRUE(pool.Local(bytes));
}

// A sender of the local representation, whatever it puts in the word's upper bits, has nothing translated:
// not even a name that starts before its place at columnName is moved, nor bit 0x2000 set.
TEST(TranslationVectors, LocalSenderLeavesPlanAndPoolAsTheyCame) {
  Bytes plan = Vector("mainframe-plan.vec").local;
  const Bytes pool = Vector("mainframe-pool.vec").local;
  std::uint8_t* second = plan.data() + sizeof(VxpPlanHeader) + sizeof(VxpElement);
  second[offsetof(VxpElement, leftFlags) + 1] = 0x00;  // leftFlags 0x0004
  static_assert(offsetof(VxpElement, columnName) == offsetof(VxpElement, functionCode) + 4);
  const std::uint8_t unnormalised[] = {0x00, 0x00, 0x51, 0x54, 0x59, 0x5F, 0x4F, 0x4E,  // name "QTY_ON_HAND" 2 early
                                       0x5F, 0x48, 0x41, 0x4E, 0x44, 0x20, 0x20, 0x00};
  std::memcpy(second + offsetof(VxpElement, functionCode), unnormalised, sizeof unnormalised);
  for (const std::uint32_t word : {kLocal, kLocal | 0xABCD0000u}) {
    Bytes translatedPlan = plan, translatedPool = pool;
    EXPECT_EQ(FLT1_TranslateFilterPlanNCS(word, translatedPlan.data()), 0);
    EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(word, translatedPool.data()), 0);
    EXPECT_EQ(translatedPlan, plan) << "word 0x" << std::hex << word;
    EXPECT_EQ(translatedPool, pool) << "word 0x" << std::hex << word;
  }
}

}  // namespace
