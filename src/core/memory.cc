#include "core/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vexfilt {
namespace {
std::atomic<long> g_allocationsBeforeFailure{-1};
std::atomic<long> g_outstanding{0};
}  // namespace

void* AllocateBlock(std::size_t size, const char*, int) {
  long remaining = g_allocationsBeforeFailure.load(std::memory_order_relaxed);
  if (remaining >= 0) {
    g_allocationsBeforeFailure.store(remaining - 1, std::memory_order_relaxed);
    if (remaining == 0) return nullptr;
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) g_outstanding.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void* AllocateZeroedBlock(std::size_t size, const char* unit, int line) {
  void* block = AllocateBlock(size, unit, line);
  if (block != nullptr) std::memset(block, 0, size);
  return block;
}

void ReleaseBlock(void* block, const char*, int) {
  if (block == nullptr) return;
  g_outstanding.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

long OutstandingBlocks() { return g_outstanding.load(std::memory_order_relaxed); }

long FailAllocationAfter(long n) { return g_allocationsBeforeFailure.exchange(n, std::memory_order_relaxed); }

}  // namespace vexfilt
