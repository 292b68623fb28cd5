// Nothing may unwind into the host: every export runs its body behind this guard.
#ifndef VEXFILT_EXPORTS_GUARD_H_
#define VEXFILT_EXPORTS_GUARD_H_

#include <cstdint>

namespace vexfilt::exports {

// `body`'s status, or `onException` when it throws (an allocation or a lock refused).
template <typename Body>
std::int32_t Guarded(std::int32_t onException, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return onException;
  }
}

// For the settings, which return nothing: one that throws leaves things as they were.
template <typename Body>
void Guarded(Body body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace vexfilt::exports

#endif  // VEXFILT_EXPORTS_GUARD_H_
