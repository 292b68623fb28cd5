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
  const std::int16_t planSlot = element.routineSlot;
  const RoutineTable* table = nullptr;
  int slot = localeAware ? slot::Locale(planSlot) : planSlot;

  switch (element.functionCode) {
    case fn::kAlways:
    case fn::kStringSearch:
    case fn::kRegexp:
    case fn::kRegexpAlt:
    case fn::kChange:
    case fn::kChangeAlt:
      if (std::int32_t st = VXO2_SetFunctionRoutine(element, element.functionCode, &table)) return st;
      if (fn::IsChange(element.functionCode)) {
        filter.filterFlags |= filter_flag::kHasChange;
        SVC1_GetTime(&filter.startTime);
      }
      break;
    case fn::kMktime:
    case fn::kSearchList:
      table = &DirectTable(element.functionCode);
      slot = slot::kFunction;
      break;
    default: {
      constexpr std::uint16_t kConvertedColumns = rep::kMixed | rep::kColumn;
      const bool converted = (element.leftFlags & kConvertedColumns) == kConvertedColumns;
      if (converted) element.compareOperator = element.alternateOperator;
      if (std::int32_t st = VXO2_SetFilterRoutine(element, static_cast<std::int16_t>(element.compareOperator), &table)) {
        return st;
      }
      if (converted) {
        element.routineSlot = static_cast<std::int16_t>(SlotOffsetOf(element.leftFlags) + VXP_SLOT_COL_COL);
        if (!localeAware) slot = element.routineSlot;
      }
    }
  }

  // The library never calls a missing routine: a slot outside the table or on an empty cell is refused.
  if (slot < 0 || slot >= kSlotCount || (*table)[static_cast<std::size_t>(slot)].routine == nullptr) {
    TRC1_Printf(creation.block, __LINE__, "Unsupported Record Mode Slot - %d Operator %d FunctionSet %d", slot,
                element.compareOperator, static_cast<std::int32_t>(element.functionCode));
    return status::kFalse;
  }
  creation.filter.facts[index].cell = &(*table)[static_cast<std::size_t>(slot)];
  creation.filter.facts[index].slot = static_cast<std::int16_t>(slot);
  element.routine = creation.filter.facts[index].cell->routine;
  return status::kOk;
}

}  // namespace vexfilt
