// Binding an element to its routine: the function code picks a function set, or else the operator picks
// an operator table; the routine slot then picks the cell.
#include "filter/bind_routine.h"

#include "core/data_types.h"
#include "core/status.h"
#include "host/services.h"
#include "routines/dispatch_tables.h"

namespace vexfilt {

std::int32_t BindRoutine(Creation& creation, int index) {
  Filter& filter = creation.filter;
  FilterElement& element = filter.elements[index];
  const bool localeAware = (filter.planCopy->planFlags & plan_flag::kUtf8Data) && (element.leftFlags & rep::kUtf8);
  const RoutineTable* table = nullptr;
  const int row = RowOf(element.routineSlot, element.functionCode, element.leftFlags, localeAware);

  switch (element.functionCode) {
    case fn::kAlways:
    case fn::kStringSearch:
    case fn::kRegexp:
    case fn::kRegexpAlt:
    case fn::kChange:
    case fn::kChangeAlt:
      if (std::int32_t st = FunctionTableFor(element, element.functionCode, &table)) return st;
      if (fn::IsChange(element.functionCode)) {
        filter.filterFlags |= filter_flag::kHasChange;
        CurrentTime(&filter.startTime);
      }
      break;
    case fn::kMktime:
    case fn::kSearchList:
      table = &DirectTable(element.functionCode);
      break;
    default: {
      constexpr std::uint16_t kConvertedColumns = rep::kMixed | rep::kColumn;
      const bool converted = (element.leftFlags & kConvertedColumns) == kConvertedColumns;
      if (converted) element.compareOperator = element.alternateOperator;
      if (std::int32_t st = OperatorTableFor(element, static_cast<std::int16_t>(element.compareOperator), &table)) {
        return st;
      }
      // Converted columns are compared as two columns of the left one's kind, whose row RowOf gave a plain
      // element; the plan copy says so too.
      if (converted) {
        element.routineSlot = static_cast<std::int16_t>(SlotOffsetOf(element.leftFlags) + VXP_SLOT_COL_COL);
      }
    }
  }

  const RoutineCell* cell = CellAt(*table, row);
  if (cell == nullptr) {
    TracePrintf(creation.block, __LINE__, "Unsupported Record Mode Slot - %d Operator %d FunctionSet %d", row,
                element.compareOperator, static_cast<std::int32_t>(element.functionCode));
    return status::kFalse;
  }
  filter.facts[index].cell = cell;
  element.routine = cell->routine;
  return status::kOk;
}

}  // namespace vexfilt
