#include "routines/specialised.h"

#include "routines/byte_strings.h"
#include "routines/character_routines.h"
#include "routines/prefix_like.h"

namespace vexfilt {

Routine SpecialisedRoutine(const FilterElement& element, Routine bound) {
  if (bound == &character::FixedColumnLike || prefix_like::IsPrefixRoutine(bound)) {
    // The general matcher traces the entry and exit of its calls under bit 0x40; while that is asked for
    // when the element is bound, the element keeps the matcher so that its calls are seen.
    if (ComparePatternTracesCalls()) return &character::FixedColumnLike;
    const Routine prefix = prefix_like::RoutineFor(element);
    return prefix != nullptr ? prefix : &character::FixedColumnLike;
  }
  return bound;
}

}  // namespace vexfilt
