#include "routines/fast_paths.h"

#include <array>
#include <cstddef>

#include "routines/byte_strings.h"
#include "routines/numeric_routines.h"
#include "routines/prefix_like.h"

namespace vexfilt {
namespace {

// An integer column against a literal: the cell's routine reads the column's signedness at every record,
// its forms for a signed and an unsigned column do not. Only the orderings differ by signedness; by
// operator, EQ and NE first, which keep the cell's routine.
using Orderings = std::array<Routine, 6>;

template <bool isUnsigned>
constexpr Orderings kLongOrderings = {nullptr, nullptr,
                                      numeric::LongColLitOf<Op::kGT, isUnsigned>, numeric::LongColLitOf<Op::kLT, isUnsigned>,
                                      numeric::LongColLitOf<Op::kGE, isUnsigned>, numeric::LongColLitOf<Op::kLE, isUnsigned>};
template <bool isUnsigned>
constexpr Orderings kShortOrderings = {nullptr, nullptr,
                                       numeric::ShortColLitOf<Op::kGT, isUnsigned>, numeric::ShortColLitOf<Op::kLT, isUnsigned>,
                                       numeric::ShortColLitOf<Op::kGE, isUnsigned>, numeric::ShortColLitOf<Op::kLE, isUnsigned>};

Routine BySignedness(const FilterElement& element, const RoutineCell& cell, const Orderings& forSigned,
                     const Orderings& forUnsigned) {
  const Routine form = (numeric::IsUnsigned(element) ? forUnsigned : forSigned)[static_cast<std::size_t>(cell.op)];
  return form != nullptr ? form : cell.routine;
}

}  // namespace

Routine FastPathRoutine(const FilterElement& element, const RoutineCell& cell) {
  switch (cell.family) {
    case Family::kLongLiteral: return BySignedness(element, cell, kLongOrderings<false>, kLongOrderings<true>);
    case Family::kShortLiteral: return BySignedness(element, cell, kShortOrderings<false>, kShortOrderings<true>);
    case Family::kPrefixPattern: {
      // The general matcher traces the entry and exit of its calls under bit 0x40; while that is asked for
      // when the element is bound, the element keeps the matcher so that its calls are seen.
      if (ComparePatternTracesCalls()) return cell.routine;
      const Routine prefix = prefix_like::RoutineFor(element);
      return prefix != nullptr ? prefix : cell.routine;
    }
    default: return cell.routine;
  }
}

}  // namespace vexfilt
