// Configuration variables and the clock.
#include "host/services.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "vexhost.h"

namespace vexfilt {
namespace {

// The clock is read at creation and at the begin of a sample only, so a lock costs nothing that matters and
// keeps a clock paired with its own context.
std::mutex g_clockMutex;
VEXH_Clock g_clock = nullptr;
void* g_clockContext = nullptr;

}  // namespace

const char* ConfigurationValue(const char* name, const char* defaultValue) {
  const char* value = std::getenv(name);
  return value ? value : defaultValue;
}

void CurrentTime(TimeValue* now) {
  if (now == nullptr) return;
  VEXH_Clock clock;
  void* context;
  {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    clock = g_clock;
    context = g_clockContext;
  }
  if (clock) {
    std::uint32_t seconds = 0, nanoseconds = 0;
    clock(context, &seconds, &nanoseconds);
    now->seconds = seconds;
    now->nanoseconds = nanoseconds;
    return;
  }
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  now->seconds = static_cast<std::uint32_t>(ts.tv_sec);
  now->nanoseconds = static_cast<std::uint32_t>(ts.tv_nsec);
}

void SetClock(VEXH_Clock clock, void* context) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  g_clock = clock;
  g_clockContext = clock ? context : nullptr;
}

}  // namespace vexfilt
