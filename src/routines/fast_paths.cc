#include "routines/fast_paths.h"

#include <array>
#include <cstddef>

#include "routines/byte_strings.h"
#include "routines/character_routines.h"
#include "routines/function_routines.h"
#include "routines/numeric_routines.h"
#include "routines/prefix_like.h"

namespace vexfilt {
namespace {

// A column against a literal, by operator (EQ NE GT LT GE LE). An integer cell's routine reads the column's
// signedness at every record, its forms for a signed and an unsigned column do not; only the orderings
// differ by signedness, EQ and NE compare bits.
using Forms = std::array<BoundRoutine, 6>;

template <bool isUnsigned>
constexpr Forms kLongForms = {kBound<numeric::LongColLit<Op::kEQ>>, kBound<numeric::LongColLit<Op::kNE>>,
                              kBound<numeric::LongColLitOf<Op::kGT, isUnsigned>>, kBound<numeric::LongColLitOf<Op::kLT, isUnsigned>>,
                              kBound<numeric::LongColLitOf<Op::kGE, isUnsigned>>, kBound<numeric::LongColLitOf<Op::kLE, isUnsigned>>};
template <bool isUnsigned>
constexpr Forms kShortForms = {kBound<numeric::ShortColLit<Op::kEQ>>, kBound<numeric::ShortColLit<Op::kNE>>,
                               kBound<numeric::ShortColLitOf<Op::kGT, isUnsigned>>, kBound<numeric::ShortColLitOf<Op::kLT, isUnsigned>>,
                               kBound<numeric::ShortColLitOf<Op::kGE, isUnsigned>>, kBound<numeric::ShortColLitOf<Op::kLE, isUnsigned>>};
constexpr Forms kDoubleForms = {kBound<numeric::DoubleColLit<Op::kEQ>>, kBound<numeric::DoubleColLit<Op::kNE>>,
                                kBound<numeric::DoubleColLit<Op::kGT>>, kBound<numeric::DoubleColLit<Op::kLT>>,
                                kBound<numeric::DoubleColLit<Op::kGE>>, kBound<numeric::DoubleColLit<Op::kLE>>};

// The form of the cell's operator. An ordering of integers is chosen by signedness in place of the cell's
// routine; every other form only adds the batch loop, and only to the routine the cell names itself.
BoundRoutine FormOf(const RoutineCell& cell, const Forms& forms, bool replacesOrderings) {
  if (cell.op > Op::kLE) return {cell.routine, nullptr};
  const BoundRoutine& form = forms[static_cast<std::size_t>(cell.op)];
  const bool ordering = cell.op != Op::kEQ && cell.op != Op::kNE;
  if ((ordering && replacesOrderings) || form.routine == cell.routine) return form;
  return {cell.routine, nullptr};
}

}  // namespace

BoundRoutine FastPath(const FilterElement& element, const RoutineCell& cell) {
  const bool isUnsigned = numeric::IsUnsigned(element);
  switch (cell.family) {
    case Family::kLongLiteral: return FormOf(cell, isUnsigned ? kLongForms<true> : kLongForms<false>, true);
    case Family::kShortLiteral: return FormOf(cell, isUnsigned ? kShortForms<true> : kShortForms<false>, true);
    case Family::kDoubleLiteral: return FormOf(cell, kDoubleForms, false);
    case Family::kTextLiteral: {
      const BoundRoutine form = character::FixedColumnLiteralForm(cell.op);
      return form.routine == cell.routine ? form : BoundRoutine{cell.routine, nullptr};
    }
    case Family::kConstant: return cell.routine == &AlwaysHolds ? kBound<AlwaysHolds> : kBound<numeric::NeverHolds>;
    case Family::kVaryingTextLiteral: {
      const BoundRoutine form = character::VaryingColumnLiteralForm(element, cell.op);
      return form.routine != nullptr ? form : BoundRoutine{cell.routine, nullptr};
    }
    case Family::kPrefixPattern: {
      // The general matcher traces the entry and exit of its calls under bit 0x40; while that is asked for
      // when the element is bound, the element keeps the matcher so that its calls are seen.
      if (ComparePatternTracesCalls()) return {cell.routine, nullptr};
      const BoundRoutine prefix = prefix_like::RoutineFor(element);
      return prefix.routine != nullptr ? prefix : BoundRoutine{cell.routine, nullptr};
    }
    default: return {cell.routine, nullptr};
  }
}

}  // namespace vexfilt
