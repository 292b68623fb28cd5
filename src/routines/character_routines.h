// Character routines, plain (slots 0 to 6), and the string search; what the locale-aware ones share with them.
//
// The comparisons share one shape: an outcome function reads the operands, leaves the three-way outcome
// in `conditionCode` and returns 0, or returns the status that stopped it; the operator then only reads
// the outcome. LIKE and STR routines answer directly.
#ifndef VEXFILT_ROUTINES_CHARACTER_ROUTINES_H_
#define VEXFILT_ROUTINES_CHARACTER_ROUTINES_H_

#include <cstdint>

#include "core/filter.h"
#include "routines/batched.h"
#include "routines/compare.h"

namespace vexfilt {

using OutcomeFunction = std::int32_t (*)(FilterElement& element, const std::uint8_t* record);

// EQ to LE over an outcome function: a failed comparison does not hold.
template <Op op, OutcomeFunction outcome>
std::int32_t ByOutcome(FilterElement& element, const std::uint8_t* record) {
  if (outcome(element, record) != 0) return 1;
  return StatusOf(OutcomeHolds<op>(element.conditionCode));
}

namespace character {

// Outcome functions of the plain routines.
std::int32_t FixedColumnLiteral(FilterElement& e, const std::uint8_t* record);
std::int32_t FixedColumnColumn(FilterElement& e, const std::uint8_t* record);
std::int32_t ResultLiteral(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnLiteral(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnColumn(FilterElement& e, const std::uint8_t* record);

std::int32_t FixedColumnLike(FilterElement& e, const std::uint8_t* record);
std::int32_t FixedColumnColumnLike(FilterElement& e, const std::uint8_t* record);
std::int32_t ResultLike(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnLike(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnColumnLike(FilterElement& e, const std::uint8_t* record);

std::int32_t FixedColumnSearch(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnSearch(FilterElement& e, const std::uint8_t* record);

// The comparison operator `op` over each outcome function above. Defined and instantiated for the six
// operators in character_routines.cc, where the outcome function is inlined into each: one call and return
// fewer per record than ByOutcome calling an outcome function of another unit.
template <Op op>
struct OperatorRoutines {
  static std::int32_t FixedColumnLiteral(FilterElement& e, const std::uint8_t* record);
  static std::int32_t FixedColumnColumn(FilterElement& e, const std::uint8_t* record);
  static std::int32_t ResultLiteral(FilterElement& e, const std::uint8_t* record);
  static std::int32_t VaryingColumnLiteral(FilterElement& e, const std::uint8_t* record);
  static std::int32_t VaryingColumnColumn(FilterElement& e, const std::uint8_t* record);
};

// The fixed column against a literal for `op` (EQ to LE) with its loop over a batch, made where the
// outcome function is inlined; none for another operator.
BoundRoutine FixedColumnLiteralForm(Op op);

// The varying column against a literal for `op` (EQ to LE) with its loop over a batch, or none for a
// substring. Equality with a literal of at most 16 bytes before its trailing blanks gets a routine that
// compares those bytes at a known size; it is chosen for the literal the element holds, and chosen again
// when the literal changes.
BoundRoutine VaryingColumnLiteralForm(const FilterElement& element, Op op);

}  // namespace character

// Hands a string search's found flag to the element `resultTarget` away. Creation proved it exists
// (CheckOperands refuses a result target outside the plan).
inline void DeliverFound(FilterElement& element, std::int32_t found) { (&element)[element.resultTarget].leftResult = found; }

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_CHARACTER_ROUTINES_H_
