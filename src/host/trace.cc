// Trace configuration, level look-up and the output of trace lines.
#include "host/trace.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "core/memory.h"
#include "host/services.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

// Levels set for single blocks are kept in room of a fixed size: reading VEX_TRACE_LEVEL (done by the
// first traced call, which may be a record's evaluation) and setting a level then take no memory, and so
// cannot fail for want of it. The room is well beyond the library's blocks and the length of their names;
// a setting beyond it could only name a block the library does not have, and is ignored.
constexpr std::size_t kMaxBlockLevels = 256;
constexpr std::size_t kMaxBlockName = 63;

struct BlockLevel {
  char name[kMaxBlockName + 1];
  std::uint32_t level;
};

// Guarded by `mutex`; read only when a block syncs or a line is written, never on an untraced fast path.
struct TraceConfig {
  std::mutex mutex;
  bool environmentRead = false;
  std::uint32_t defaultLevel = 0;
  BlockLevel blockLevels[kMaxBlockLevels];
  std::size_t blockLevelCount = 0;
  VEXH_TraceSink sink = nullptr;
  void* sinkContext = nullptr;
  std::FILE* file = nullptr;  // VEX_TRACE_FILE, opened on the first line written
  bool fileChosen = false;
};

// Never destroyed, so that a trace line written while the process exits still finds its configuration;
// and not taken from the heap, which a first traced call could find exhausted.
TraceConfig& Config() {
  alignas(TraceConfig) static unsigned char storage[sizeof(TraceConfig)];
  static TraceConfig* config = new (storage) TraceConfig;
  return *config;
}

// Characters [begin, end) of a text, not terminated.
struct Span {
  const char* begin;
  const char* end;
  std::size_t size() const { return static_cast<std::size_t>(end - begin); }
};

Span Trim(Span text) {
  while (text.begin < text.end && std::isspace(static_cast<unsigned char>(*text.begin))) ++text.begin;
  while (text.end > text.begin && std::isspace(static_cast<unsigned char>(text.end[-1]))) --text.end;
  return text;
}

// A level in any base strtoul reads, filling the span. The span ends at a blank, a comma or the end of the
// text, none of which continues a number, so strtoul may read it in place.
bool ParseLevel(Span text, std::uint32_t* level) {
  if (text.size() == 0) return false;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.begin, &end, 0);
  if (end != text.end) return false;
  *level = static_cast<std::uint32_t>(value);
  return true;
}

void SetBlockLevelLocked(TraceConfig& config, Span name, std::uint32_t level) {
  if (name.size() == 0 || name.size() > kMaxBlockName) return;
  for (std::size_t i = 0; i < config.blockLevelCount; ++i) {
    BlockLevel& entry = config.blockLevels[i];
    if (std::strlen(entry.name) == name.size() && std::memcmp(entry.name, name.begin, name.size()) == 0) {
      entry.level = level;
      return;
    }
  }
  if (config.blockLevelCount == kMaxBlockLevels) return;
  BlockLevel& entry = config.blockLevels[config.blockLevelCount++];
  std::memcpy(entry.name, name.begin, name.size());
  entry.name[name.size()] = '\0';
  entry.level = level;
}

// VEX_TRACE_LEVEL: a level for every block, then optional "Name=level" settings, comma separated. Settings
// that do not parse are ignored rather than failing the host.
void ReadEnvironmentLocked(TraceConfig& config) {
  if (config.environmentRead) return;
  config.environmentRead = true;
  const char* text = ConfigurationValue("VEX_TRACE_LEVEL", "");
  for (const char* start = text;;) {
    const char* comma = std::strchr(start, ',');
    const Span item = Trim({start, comma != nullptr ? comma : start + std::strlen(start)});
    const auto* equals = static_cast<const char*>(std::memchr(item.begin, '=', item.size()));
    std::uint32_t level = 0;
    if (equals == nullptr) {
      if (ParseLevel(item, &level)) config.defaultLevel = level;
    } else if (ParseLevel(Trim({equals + 1, item.end}), &level)) {
      SetBlockLevelLocked(config, Trim({item.begin, equals}), level);
    }
    if (comma == nullptr) break;
    start = comma + 1;
  }
}

// A line that cannot reach its output is dropped: tracing never fails the call it traces.
void WriteLine(const char* line) {
  TraceConfig& config = Config();
  VEXH_TraceSink sink;
  void* context;
  std::FILE* out;
  try {
    std::lock_guard<std::mutex> lock(config.mutex);
    sink = config.sink;
    context = config.sinkContext;
    if (!sink && !config.fileChosen) {
      config.fileChosen = true;
      const char* path = ConfigurationValue("VEX_TRACE_FILE", "");
      if (path[0] != '\0') config.file = std::fopen(path, "a");
    }
    out = config.file ? config.file : stderr;
  } catch (...) {
    return;  // the lock refused; std::mutex reports that by an exception
  }
  if (sink) {
    sink(context, line);
    return;
  }
  std::fputs(line, out);
  std::fputc('\n', out);
  std::fflush(out);
}

void ClearLevelsLocked(TraceConfig& config) {
  config.defaultLevel = 0;
  config.blockLevelCount = 0;
}

}  // namespace

void ReadTraceLevelsFromEnvironment() {
  TraceConfig& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    config.environmentRead = false;
    ClearLevelsLocked(config);
    ReadEnvironmentLocked(config);
  }
  AdvanceTraceGeneration();
}

void ForgetTraceLevels() {
  TraceConfig& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    config.environmentRead = false;
    ClearLevelsLocked(config);
  }
  AdvanceTraceGeneration();
}

void AdvanceTraceGeneration() { g_traceGeneration.fetch_add(1, std::memory_order_relaxed); }

// Reached from a record's evaluation, so nothing may escape: a level that cannot be read is 0 for now, and
// is read again on the next call, since the block's generation stays old.
std::uint32_t SyncTraceLevel(TraceBlock& block) {
  TraceConfig& config = Config();
  std::uint32_t generation = TraceGeneration();
  std::uint32_t level;
  try {
    std::lock_guard<std::mutex> lock(config.mutex);
    ReadEnvironmentLocked(config);
    level = config.defaultLevel;
    for (std::size_t i = 0; i < config.blockLevelCount; ++i) {
      if (std::strcmp(config.blockLevels[i].name, block.name) == 0) level = config.blockLevels[i].level;
    }
  } catch (...) {
    return 0;  // the lock refused
  }
  block.level.store(level, std::memory_order_relaxed);
  block.generation.store(generation, std::memory_order_relaxed);
  return level;
}

void TraceCallEvent(TraceBlock& block, int line, TraceEvent kind, std::int32_t result) {
  char text[160];
  switch (kind) {
    case TraceEvent::kEntry:
      std::snprintf(text, sizeof text, "%s entry (%s line %d)", block.name, block.unit.name, line);
      break;
    case TraceEvent::kExitWithResult:
      std::snprintf(text, sizeof text, "%s exit rc=%d (%s line %d)", block.name, result, block.unit.name, line);
      break;
    case TraceEvent::kExit:
      std::snprintf(text, sizeof text, "%s exit (%s line %d)", block.name, block.unit.name, line);
      break;
  }
  WriteLine(text);
}

// A line longer than the stack's room takes a block of its own; without one, it is written as far as the
// room goes.
void TracePrintf(TraceBlock&, int, const char* format, ...) {
  char small[512];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  const std::size_t size = static_cast<std::size_t>(needed) + 1;
  char* large = size > sizeof small ? static_cast<char*>(AllocateBlock(size, "trace", __LINE__)) : nullptr;
  if (large == nullptr) {
    va_end(again);
    WriteLine(small);
    return;
  }
  std::vsnprintf(large, size, format, again);
  va_end(again);
  WriteLine(large);
  ReleaseBlock(large, "trace", __LINE__);
}

void TraceDump(TraceBlock&, int, const void* address, std::size_t length, int) {
  if (address == nullptr) return;
  const auto* bytes = static_cast<const unsigned char*>(address);
  for (std::size_t offset = 0; offset < length; offset += 16) {
    char line[96];
    int used = std::snprintf(line, sizeof line, "%08zX ", offset);
    for (std::size_t i = 0; i < 16; ++i) {
      if (i == 8) line[used++] = ' ';
      if (offset + i < length) {
        used += std::snprintf(line + used, sizeof line - used, " %02X", bytes[offset + i]);
      } else {
        used += std::snprintf(line + used, sizeof line - used, "   ");
      }
    }
    used += std::snprintf(line + used, sizeof line - used, "  |");
    for (std::size_t i = 0; i < 16 && offset + i < length; ++i) {
      unsigned char c = bytes[offset + i];
      line[used++] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    line[used++] = '|';
    line[used] = '\0';
    WriteLine(line);
  }
}

void SetTraceSink(VEXH_TraceSink sink, void* context) {
  auto& config = Config();
  std::lock_guard<std::mutex> lock(config.mutex);
  config.sink = sink;
  config.sinkContext = sink ? context : nullptr;
}

void SetTraceLevel(const char* blockName, std::uint32_t level) {
  auto& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    ReadEnvironmentLocked(config);
    if (blockName == nullptr) {
      ClearLevelsLocked(config);
      config.defaultLevel = level;
    } else {
      SetBlockLevelLocked(config, {blockName, blockName + std::strlen(blockName)}, level);
    }
  }
  AdvanceTraceGeneration();
}

void ResetTraceLevels() {
  auto& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    config.environmentRead = true;
    ClearLevelsLocked(config);
  }
  AdvanceTraceGeneration();
}

}  // namespace vexfilt
