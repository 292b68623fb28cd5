// Tracing: one static TraceBlock per traced function, a cached level per block, and the entry and exit
// events of every traced call.
//
// A traced function reads its level once, on entry:
//
//   int32_t Example(...) {
//     static TraceBlock block{"Example", kFilterUnit, __LINE__};
//     TraceScope trace(block, __LINE__);
//     if (trace.Has(trace_bit::k01 | trace_bit::k10)) TracePrintf(block, __LINE__, "...");
//     return trace.Exit(status, __LINE__);
//   }
//
// The level is cached in the block together with the global generation it was read at; any change of
// configuration advances the generation, so each block re-reads its level on its next call.
#ifndef VEXFILT_HOST_TRACE_H_
#define VEXFILT_HOST_TRACE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "vexhost.h"

namespace vexfilt {

struct TraceUnit {
  const char* name;  // "vexflt1", "vexncflt", "vexxoc2"
  const char* built;  // build date and time
  const char* component;  // "VEXSRV"
};

inline constexpr TraceUnit kFilterUnit{"vexflt1", __DATE__ " " __TIME__, "VEXSRV"};
inline constexpr TraceUnit kTranslateUnit{"vexncflt", __DATE__ " " __TIME__, "VEXSRV"};
inline constexpr TraceUnit kRoutineUnit{"vexxoc2", __DATE__ " " __TIME__, "VEXSRV"};

// Zero-initialised blocks hold level 0 at generation 0, which is never current: the first call syncs.
struct TraceBlock {
  const char* name;
  const TraceUnit& unit;
  int entryLine;
  std::atomic<std::uint32_t> level{0};
  std::atomic<std::uint32_t> generation{0};
};

namespace trace_bit {
inline constexpr std::uint32_t k01 = 0x01;
inline constexpr std::uint32_t k02 = 0x02;
inline constexpr std::uint32_t k10 = 0x10;
inline constexpr std::uint32_t k20 = 0x20;
inline constexpr std::uint32_t kEvents = 0x40;  // entry and exit events of every traced function
inline constexpr std::uint32_t k80 = 0x80;
}  // namespace trace_bit

enum class TraceEvent : int { kEntry = 0, kExitWithResult = 1, kExit = 2 };

// The host's settings, each taking effect at every block's next call. They may throw should the lock
// refuse; the settings then stay as they were.
void SetTraceSink(VEXH_TraceSink sink, void* context);
// `blockName` null: `level` for every block, the levels set by name forgotten.
void SetTraceLevel(const char* blockName, std::uint32_t level);
// Every level 0, the environment's settings no longer read.
void ResetTraceLevels();

// Re-reads the block's level from the configuration and caches it; returns it.
std::uint32_t SyncTraceLevel(TraceBlock& block);
void TraceCallEvent(TraceBlock& block, int line, TraceEvent kind, std::int32_t result = 0);
// Writes one formatted line, whatever the level: callers test the level first for anything but failures.
void TracePrintf(TraceBlock& block, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));
// Writes a hex dump of `length` bytes at `address`: offset, hex and printable text, 16 bytes a line.
void TraceDump(TraceBlock& block, int line, const void* address, std::size_t length, int reserved = 0);

// Re-reads VEX_TRACE_LEVEL, replacing every level set so far. The first sync of any block does this once;
// tests and hosts that change the variable later call it to apply the change.
void ReadTraceLevelsFromEnvironment();
// Test hook: forgets every level, so that the next block to sync reads VEX_TRACE_LEVEL as the first one in
// a process does.
void ForgetTraceLevels();

// The global generation; advanced by every change of trace configuration. Read inline: every traced
// function compares it on entry, the routines' helpers at every record.
inline std::atomic<std::uint32_t> g_traceGeneration{1};
inline std::uint32_t TraceGeneration() { return g_traceGeneration.load(std::memory_order_relaxed); }
void AdvanceTraceGeneration();

// The block's level: the cached one while its generation is current, else freshly synced.
inline std::uint32_t TraceLevelOf(TraceBlock& block) {
  if (block.generation.load(std::memory_order_relaxed) == TraceGeneration())
    return block.level.load(std::memory_order_relaxed);
  return SyncTraceLevel(block);
}

// One traced call: reads the level once, emits the entry event under kEvents, and the exit event on the
// way out (with the result given to Exit, or without one).
class TraceScope {
 public:
  TraceScope(TraceBlock& block, int line) : block_(block), level_(TraceLevelOf(block)), entryLine_(line) {
    if (level_ & trace_bit::kEvents) TraceCallEvent(block_, line, TraceEvent::kEntry);
  }
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;
  ~TraceScope() {
    if ((level_ & trace_bit::kEvents) && !exited_) TraceCallEvent(block_, entryLine_, TraceEvent::kExit);
  }

  std::uint32_t level() const { return level_; }
  // True when every bit of `bits` is set in the level.
  bool Has(std::uint32_t bits) const { return (level_ & bits) == bits; }
  // True when any bit of `bits` is set in the level.
  bool HasAny(std::uint32_t bits) const { return (level_ & bits) != 0; }

  std::int32_t Exit(std::int32_t result, int line) {
    if ((level_ & trace_bit::kEvents) && !exited_) TraceCallEvent(block_, line, TraceEvent::kExitWithResult, result);
    exited_ = true;
    return result;
  }

 private:
  TraceBlock& block_;
  std::uint32_t level_;
  int entryLine_;  // a call that leaves without a result reports where it entered
  bool exited_ = false;
};

}  // namespace vexfilt

#endif  // VEXFILT_HOST_TRACE_H_
