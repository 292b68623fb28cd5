// The relations of the comparison operators, on values and on three-way outcomes.
#ifndef VEXFILT_ROUTINES_COMPARE_H_
#define VEXFILT_ROUTINES_COMPARE_H_

#include <cstdint>

#include "routines/dispatch_tables.h"

namespace vexfilt {

// left OP right. With doubles a NaN satisfies NE only, as IEEE relations do.
template <Op op, typename T>
constexpr bool Holds(T left, T right) {
  if constexpr (op == Op::kEQ) return left == right;
  if constexpr (op == Op::kNE) return left != right;
  if constexpr (op == Op::kGT) return left > right;
  if constexpr (op == Op::kLT) return left < right;
  if constexpr (op == Op::kGE) return left >= right;
  if constexpr (op == Op::kLE) return left <= right;
}

// The outcome of a three-way comparison (negative, 0, positive) against 0.
template <Op op>
constexpr bool OutcomeHolds(std::int32_t outcome) {
  return Holds<op>(outcome, 0);
}

// 0 when the relation holds, else 1: the status every comparison routine returns.
constexpr std::int32_t StatusOf(bool holds) { return holds ? 0 : 1; }

// -1, 0 or +1; 0 when either is a NaN.
template <typename T>
constexpr std::int32_t ThreeWay(T left, T right) {
  return left > right ? 1 : left < right ? -1 : 0;
}

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_COMPARE_H_
