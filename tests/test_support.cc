#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cstdlib>
#include <new>

#include "vexhost.h"

namespace vexfilt::testing {
namespace {
std::atomic<long> g_newsBeforeFailure{-1};
}  // namespace

long FailOperatorNewAfter(long n) { return g_newsBeforeFailure.exchange(n, std::memory_order_relaxed); }

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

UtcZone::UtcZone() {
  if (const char* old = std::getenv("TZ")) saved_ = old;
  setenv("TZ", "UTC", 1);
  tzset();
}

UtcZone::~UtcZone() {
  if (saved_) {
    setenv("TZ", saved_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace vexfilt::testing

// Replaced for the whole program, so that FailOperatorNewAfter reaches allocations made inside the library
// and the standard library alike. Every form is replaced here, the nothrow ones included: a sanitizer's
// runtime would otherwise serve those itself, and its blocks would come back to the free below.
void* operator new(std::size_t size) {
  auto& remaining = vexfilt::testing::g_newsBeforeFailure;
  const long left = remaining.load(std::memory_order_relaxed);
  if (left >= 0) {
    remaining.store(left - 1, std::memory_order_relaxed);
    if (left == 0) throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
