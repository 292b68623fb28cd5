// Trace configuration, level look-up and the output of trace lines.
#include "host/trace.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/services.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

struct BlockLevel {
  std::string name;
  std::uint32_t level;
};

// Guarded by `mutex`; read only when a block syncs or a line is written, never on an untraced fast path.
struct TraceConfig {
  std::mutex mutex;
  bool environmentRead = false;
  std::uint32_t defaultLevel = 0;
  std::vector<BlockLevel> blockLevels;
  VEXH_TraceSink sink = nullptr;
  void* sinkContext = nullptr;
  std::FILE* file = nullptr;  // VEX_TRACE_FILE, opened on the first line written
  bool fileChosen = false;
};

// Never destroyed, so that a trace line written while the process exits still finds its configuration.
TraceConfig& Config() {
  static TraceConfig* config = new TraceConfig;
  return *config;
}

bool ParseLevel(const std::string& text, std::uint32_t* level) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (*end != '\0') return false;
  *level = static_cast<std::uint32_t>(value);
  return true;
}

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

void SetBlockLevelLocked(TraceConfig& config, const std::string& name, std::uint32_t level) {
  for (BlockLevel& entry : config.blockLevels) {
    if (entry.name == name) {
      entry.level = level;
      return;
    }
  }
  config.blockLevels.push_back({name, level});
}

// VEX_TRACE_LEVEL: a level for every block, then optional "Name=level" settings, comma separated. Settings
// that do not parse are ignored rather than failing the host.
void ReadEnvironmentLocked(TraceConfig& config) {
  if (config.environmentRead) return;
  config.environmentRead = true;
  std::string text = SVC1_GetEnv("VEX_TRACE_LEVEL", "");
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string item = Trim(text.substr(start, comma - start));
    std::size_t equals = item.find('=');
    std::uint32_t level = 0;
    if (equals == std::string::npos) {
      if (ParseLevel(item, &level)) config.defaultLevel = level;
    } else if (ParseLevel(Trim(item.substr(equals + 1)), &level)) {
      SetBlockLevelLocked(config, Trim(item.substr(0, equals)), level);
    }
    start = comma + 1;
  }
}

void WriteLine(const char* line) {
  TraceConfig& config = Config();
  VEXH_TraceSink sink;
  void* context;
  std::FILE* out;
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    sink = config.sink;
    context = config.sinkContext;
    if (!sink && !config.fileChosen) {
      config.fileChosen = true;
      const char* path = SVC1_GetEnv("VEX_TRACE_FILE", "");
      if (path[0] != '\0') config.file = std::fopen(path, "a");
    }
    out = config.file ? config.file : stderr;
  }
  if (sink) {
    sink(context, line);
    return;
  }
  std::fputs(line, out);
  std::fputc('\n', out);
  std::fflush(out);
}

}  // namespace

void ReadTraceLevelsFromEnvironment() {
  TraceConfig& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    config.environmentRead = false;
    config.defaultLevel = 0;
    config.blockLevels.clear();
    ReadEnvironmentLocked(config);
  }
  AdvanceTraceGeneration();
}

void AdvanceTraceGeneration() { g_traceGeneration.fetch_add(1, std::memory_order_relaxed); }

std::uint32_t TRC1_Sync(TraceBlock& block) {
  TraceConfig& config = Config();
  std::uint32_t generation = TraceGeneration();
  std::uint32_t level;
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    ReadEnvironmentLocked(config);
    level = config.defaultLevel;
    for (const BlockLevel& entry : config.blockLevels) {
      if (entry.name == block.name) level = entry.level;
    }
  }
  block.level.store(level, std::memory_order_relaxed);
  block.generation.store(generation, std::memory_order_relaxed);
  return level;
}

void TRC1_Event(TraceBlock& block, int line, TraceEvent kind, std::int32_t result) {
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

void TRC1_Printf(TraceBlock&, int, const char* format, ...) {
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
  if (static_cast<std::size_t>(needed) < sizeof small) {
    va_end(again);
    WriteLine(small);
    return;
  }
  std::string large(static_cast<std::size_t>(needed) + 1, '\0');
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  WriteLine(large.c_str());
}

void TRC1_Dump(TraceBlock&, int, const void* address, std::size_t length, int) {
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

}  // namespace vexfilt

using vexfilt::AdvanceTraceGeneration;
using vexfilt::Config;

extern "C" {

void VEXH_SetTraceSink(VEXH_TraceSink sink, void* context) {
  auto& config = Config();
  std::lock_guard<std::mutex> lock(config.mutex);
  config.sink = sink;
  config.sinkContext = sink ? context : nullptr;
}

void VEXH_SetTraceLevel(const char* blockName, uint32_t level) {
  auto& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    vexfilt::ReadEnvironmentLocked(config);
    if (blockName == nullptr) {
      config.defaultLevel = level;
      config.blockLevels.clear();
    } else {
      vexfilt::SetBlockLevelLocked(config, blockName, level);
    }
  }
  AdvanceTraceGeneration();
}

void VEXH_ResetTraceLevels(void) {
  auto& config = Config();
  {
    std::lock_guard<std::mutex> lock(config.mutex);
    config.environmentRead = true;
    config.defaultLevel = 0;
    config.blockLevels.clear();
  }
  AdvanceTraceGeneration();
}

}  // extern "C"
