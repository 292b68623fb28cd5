#include "routines/fast_paths.h"

#include <array>

#include "routines/byte_strings.h"
#include "routines/character_routines.h"
#include "routines/numeric_routines.h"
#include "routines/prefix_like.h"

namespace vexfilt {
namespace {

// An integer column against a literal: the cell's routine reads the column's signedness at every record,
// its forms for a signed and an unsigned column do not. Only the orderings differ by signedness.
struct SignednessForms {
  Routine cell, signedForm, unsignedForm;
};

template <Op op>
constexpr SignednessForms LongForms() {
  return {numeric::LongColLit<op>, numeric::LongColLitOf<op, false>, numeric::LongColLitOf<op, true>};
}
template <Op op>
constexpr SignednessForms ShortForms() {
  return {numeric::ShortColLit<op>, numeric::ShortColLitOf<op, false>, numeric::ShortColLitOf<op, true>};
}

constexpr std::array<SignednessForms, 8> kSignednessForms = {
    LongForms<Op::kGT>(),  LongForms<Op::kLT>(),  LongForms<Op::kGE>(),  LongForms<Op::kLE>(),
    ShortForms<Op::kGT>(), ShortForms<Op::kLT>(), ShortForms<Op::kGE>(), ShortForms<Op::kLE>()};

}  // namespace

Routine FastPathRoutine(const FilterElement& element, Routine bound) {
  for (const SignednessForms& forms : kSignednessForms) {
    if (bound == forms.cell || bound == forms.signedForm || bound == forms.unsignedForm) {
      return numeric::IsUnsigned(element) ? forms.unsignedForm : forms.signedForm;
    }
  }
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
