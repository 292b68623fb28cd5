// Traced twins: a traced routine calls the plain routine of its cell, hands the status to its family's
// printer, and brackets both with its own entry and exit events.
#ifndef VEXFILT_ROUTINES_PRINTERS_H_
#define VEXFILT_ROUTINES_PRINTERS_H_

#include <cstdint>

#include "core/filter.h"
#include "host/trace.h"
#include "routines/dispatch_tables.h"
#include "routines/rows.h"

namespace vexfilt {

// The printer families; each writes one line for an element and returns the status it was given. A
// numeric family's suffix depends on what the element compares, so it has one printer per shape.
enum class Printer {
  kFix1, kFxStr1, kFxReg1, kFix2, kFix4, kVar1, kVrStr1, kVrReg1, kVar2,
  kLongColLit, kLongColResult, kLongResultResult, kLongResultLit,
  kShortColLit, kShortColResult, kShortResultResult, kShortResultLit,
  kFloatColLit, kFloatColResult, kFloatResultResult,
  kNum, kChgNum
};

// Writes the printer's line for `element` when the printer's level has bit 0x01 or 0x80, and returns
// `status` (Fix2 and Var2 return what the Num: printer returns for a scaled-number right operand). `name`
// is the traced routine's name, or null when a plain routine reports an error. Out of line: plain
// routines reach it only on their error paths.
std::int32_t Print(Printer printer, FilterElement& element, const std::uint8_t* record, std::int32_t status,
                   const char* name);

template <Printer printer>
std::int32_t Print(FilterElement& element, const std::uint8_t* record, std::int32_t status, const char* name) {
  return Print(printer, element, record, status, name);
}

// The line of the traced always-holding routine, written under that routine's own block.
void PrintAlwaysHolds(TraceBlock& block, const FilterElement& element);

template <Routine plain, Printer printer, Shape shape, Op op>
std::int32_t Traced(FilterElement& element, const std::uint8_t* record) {
  static TraceBlock block{TraceName(shape, op), kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  const std::int32_t status = plain(element, record);
  return trace.Exit(Print<printer>(element, record, status, TraceName(shape, op)), __LINE__);
}

// A traced routine whose trace name is not one of the matrix's shapes.
template <Routine plain, Printer printer, const char* name>
std::int32_t TracedNamed(FilterElement& element, const std::uint8_t* record) {
  static TraceBlock block{name, kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  const std::int32_t status = plain(element, record);
  return trace.Exit(Print<printer>(element, record, status, name), __LINE__);
}

// The cell of a routine family in a plain or a traced table.
template <Mode mode, Routine plain, Printer printer, Shape shape, Op op>
constexpr RoutineCell Cell(Extent right = Extent::kNone, Extent left = Extent::kNone,
                           Delivery delivery = Delivery::kNone) {
  if constexpr (mode == Mode::kPlain) {
    return {plain, TraceName(shape, op), right, left, delivery};
  } else {
    return {&Traced<plain, printer, shape, op>, TraceName(shape, op), right, left, delivery};
  }
}

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_PRINTERS_H_
