// The host's settings: where trace lines go, the trace levels, and the clock.
#include "exports/guard.h"
#include "host/services.h"
#include "host/trace.h"
#include "vexhost.h"

using vexfilt::exports::Guarded;

extern "C" {

void VEXH_SetTraceSink(VEXH_TraceSink sink, void* context) {
  Guarded([&] { vexfilt::SetTraceSink(sink, context); });
}

void VEXH_SetTraceLevel(const char* blockName, uint32_t level) {
  Guarded([&] { vexfilt::SetTraceLevel(blockName, level); });
}

void VEXH_ResetTraceLevels(void) {
  Guarded([] { vexfilt::ResetTraceLevels(); });
}

void VEXH_SetClock(VEXH_Clock clock, void* context) {
  Guarded([&] { vexfilt::SetClock(clock, context); });
}

}  // extern "C"
