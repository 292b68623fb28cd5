#include "test_support.h"

#include <algorithm>
#include <cstdlib>

#include "vexhost.h"

namespace vexfilt::testing {

CapturedTrace::CapturedTrace() {
  VEXH_ResetTraceLevels();
  VEXH_SetTraceSink(&CapturedTrace::Sink, this);
}

CapturedTrace::~CapturedTrace() {
  VEXH_SetTraceSink(nullptr, nullptr);
  VEXH_ResetTraceLevels();
}

bool CapturedTrace::Contains(const std::string& line) const {
  return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

void CapturedTrace::Sink(void* context, const char* line) { static_cast<CapturedTrace*>(context)->lines_.push_back(line); }

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
  if (const char* old = std::getenv(name)) saved_ = old;
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (saved_) {
    setenv(name_.c_str(), saved_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace vexfilt::testing
