// The one allocation and release pair of the Filter interface. Every block a Filter owns (the Filter
// itself, a search list read from a file, literal buffers of predicate modification) goes through it, and
// so does a trace line too long for the stack, so that tests can make any one allocation fail.
#ifndef VEXFILT_CORE_MEMORY_H_
#define VEXFILT_CORE_MEMORY_H_

#include <cstddef>

namespace vexfilt {

// A block of `size` bytes, or null. `unit` and `line` name the caller and are not otherwise used.
void* AllocateBlock(std::size_t size, const char* unit, int line);
// The same, its bytes set to zero.
void* AllocateZeroedBlock(std::size_t size, const char* unit, int line);
// Releases a block from AllocateBlock; null is accepted.
void ReleaseBlock(void* block, const char* unit, int line);

// Blocks obtained and not yet released, process-wide: lets tests prove that a Filter released all it owned.
long OutstandingBlocks();

// Test hook: the allocation after the next `n` succeeds fails (n = 0: the very next one); -1 disables it.
// Returns how many allocations were still to succeed before the failure: -1 once the failure happened.
long FailAllocationAfter(long n);

}  // namespace vexfilt

#endif  // VEXFILT_CORE_MEMORY_H_
