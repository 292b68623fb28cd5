// LIKE on a fixed column against a pattern of plain bytes followed only by asterisks ('java*'). The general
// matcher answers such a pattern with a match exactly when the column starts with those bytes (the column
// is the value's whole width, so no position is padding, and the asterisks match whatever follows); these
// routines compare the bytes directly. One routine per prefix length, so that the compare is of a known size.
// The general matcher cost 97 instructions a record for 'java*'; P3 of docs/performance.md went from 11.6 to
// 1.8 ns a record.
#ifndef VEXFILT_ROUTINES_PREFIX_LIKE_H_
#define VEXFILT_ROUTINES_PREFIX_LIKE_H_

#include <cstdint>

#include "core/filter.h"
#include "routines/batched.h"

namespace vexfilt::prefix_like {

// Longer prefixes keep the general matcher.
inline constexpr int kLongestPrefix = 32;

// The number of plain bytes before the trailing asterisks of `pattern`, or -1 when it is not of that form:
// no asterisk at its end, or an asterisk or question mark among the bytes before the trailing ones.
int PrefixLength(const std::uint8_t* pattern, int length);

// The prefix routine, with its loop over a batch, that answers the fixed-column LIKE `element` exactly as
// the general matcher would, or none when its pattern is not a prefix pattern, its prefix is longer than kLongestPrefix, or the rule
// that a pattern longer than twice the value's width plus one never matches would apply.
BoundRoutine RoutineFor(const FilterElement& element);

// True for the routines RoutineFor hands out.
bool IsPrefixRoutine(Routine routine);

}  // namespace vexfilt::prefix_like

#endif  // VEXFILT_ROUTINES_PREFIX_LIKE_H_
