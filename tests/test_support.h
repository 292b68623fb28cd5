// Helpers shared by the tests: captured trace lines and scoped environment variables.
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

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_TEST_SUPPORT_H_
