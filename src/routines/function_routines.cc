#include "routines/function_routines.h"

#include "host/trace.h"
#include "routines/printers.h"

namespace vexfilt {

std::int32_t AlwaysHolds(FilterElement&, const std::uint8_t*) { return 0; }

std::int32_t TracedAlwaysHolds(FilterElement& element, const std::uint8_t*) {
  static TraceBlock block{"True", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (trace.HasAny(trace_bit::k01 | trace_bit::k80)) PrintAlwaysHolds(block, element);
  return trace.Exit(0, __LINE__);
}

}  // namespace vexfilt
