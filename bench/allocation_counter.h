// Counts the heap allocations the process makes, whoever makes them (the library, the C++ runtime, ICU):
// the benchmark program replaces malloc and its relatives with counting forwarders to the C library.
#ifndef VEXFILT_BENCH_ALLOCATION_COUNTER_H_
#define VEXFILT_BENCH_ALLOCATION_COUNTER_H_

#include <cstdint>

namespace vexfilt::bench {

// False in builds where the forwarders are left out (under sanitizers, which replace malloc themselves).
bool AllocationsCounted();

// Allocation calls (malloc, calloc, realloc, aligned forms) made so far by every thread.
std::uint64_t AllocationCount();

}  // namespace vexfilt::bench

#endif  // VEXFILT_BENCH_ALLOCATION_COUNTER_H_
