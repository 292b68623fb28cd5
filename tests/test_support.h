// Helpers shared by the tests: captured trace lines, scoped environment variables and the time zone.
#ifndef VEXFILT_TESTS_TEST_SUPPORT_H_
#define VEXFILT_TESTS_TEST_SUPPORT_H_

#include <optional>
#include <string>
#include <vector>

namespace vexfilt::testing {

// Collects every trace line while alive; trace levels are reset on entry and exit.
class CapturedTrace {
 public:
  CapturedTrace();
  ~CapturedTrace();
  CapturedTrace(const CapturedTrace&) = delete;
  CapturedTrace& operator=(const CapturedTrace&) = delete;

  const std::vector<std::string>& lines() const { return lines_; }
  bool Contains(const std::string& line) const;
  void Clear() { lines_.clear(); }

 private:
  static void Sink(void* context, const char* line);
  std::vector<std::string> lines_;
};

// Sets (or with nullopt unsets) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// MKTIME normalises in local time, and the tests' expectations are UTC's: the zone is UTC while one lives.
class UtcZone {
 public:
  UtcZone();
  ~UtcZone();
  UtcZone(const UtcZone&) = delete;
  UtcZone& operator=(const UtcZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

// Test hook for what the library's own one (FailAllocationAfter) does not see: every operator new of the
// test program, the library's included. The operator new after the next `n` succeed throws std::bad_alloc
// (n = 0: the very next one); -1 disables it. Returns how many were still to succeed: -1 once the failure
// happened.
long FailOperatorNewAfter(long n);

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_TEST_SUPPORT_H_
