// FLT1_ModifyPredicate: new values for the literals of a live Filter.
#include "filter/modify.h"

#include <algorithm>
#include <cstring>

#include "core/data_types.h"
#include "core/memory.h"
#include "core/status.h"
#include "filter/bind_literals.h"
#include "filter/check_record.h"
#include "filter/check_writes.h"
#include "filter/filter_info.h"
#include "host/trace.h"
#include "routines/dispatch_tables.h"
#include "routines/fast_paths.h"

namespace vexfilt {
namespace {

// The column name as the host types it: shorter names count as blank padded to the 11 bytes.
bool NamesColumn(const char* name, const char columnName[kColumnNameSize]) {
  bool ended = false;
  for (std::size_t i = 0; i < kColumnNameSize; ++i) {
    if (!ended && name[i] == '\0') ended = true;
    if ((ended ? ' ' : name[i]) != columnName[i]) return false;
  }
  return ended || name[kColumnNameSize] == '\0';
}

// Only plain literals are replaced: not column descriptors, change control blocks or search lists.
bool HasPlainLiteral(const Filter& filter, int index) {
  const FilterElement& e = filter.elements[index];
  const RoutineCell* cell = filter.facts[index].cell;
  return e.rightData != nullptr && !(e.rightFlags & rep::kColumn) && cell != nullptr &&
         cell->structure == Structure::kNone;
}

enum class Side { kLeft, kRight };

// A new value in a buffer of the Filter's own, proved like the literal it replaces before the old one is
// released; refused, the element is left as it was. The buffer keeps at least the room creation proved, so
// that what other routines read or write at this operand (timestamps, value areas, fixed-width reads)
// stays inside it.
std::int32_t Replace(Creation& creation, int index, Side side, const void* value, std::int16_t length,
                     bool scaleIsLength) {
  FilterElement& e = creation.filter.elements[index];
  ElementFacts& facts = creation.filter.facts[index];
  const bool right = side == Side::kRight;
  std::int32_t& room = right ? facts.rightRoom : facts.leftRoom;
  const std::int32_t size = std::max<std::int32_t>({length + 2, room, 1});
  auto* buffer = static_cast<std::uint8_t*>(AllocateBlock(static_cast<std::size_t>(size), "vexflt1", __LINE__));
  if (buffer == nullptr) return status::kNoMemory;
  std::memset(buffer, ' ', static_cast<std::size_t>(size));
  if (length > 0) std::memcpy(buffer, value, static_cast<std::size_t>(length));
  const FilterElement before = e;
  const ElementFacts factsBefore = facts;
  (right ? e.rightData : e.leftData) = buffer;
  (right ? e.rightFlags : e.leftFlags) |= rep::kOwnedLiteral;
  (right ? e.rightLiteralLength : e.leftLiteralLength) = length;
  if (scaleIsLength) (right ? e.rightScale : e.leftScale) = length;
  room = size;
  // A longer value may make a routine read further into the record than creation allowed.
  if (CheckOperands(creation) != status::kOk || CheckRecordReads(creation) != status::kOk) {
    e = before;
    facts = factsBefore;
    ReleaseBlock(buffer, "vexflt1", __LINE__);
    return status::kLengthOutOfRange;
  }
  const std::uint16_t oldFlags = right ? before.rightFlags : before.leftFlags;
  if (oldFlags & rep::kOwnedLiteral) ReleaseBlock(right ? before.rightData : before.leftData, "vexflt1", __LINE__);
  return status::kOk;
}

// A value written where the literal stands must not reach a change control block or search list that
// shares the pool entry: the next record would walk counts and strides made of the value's bytes.
std::int32_t WriteInPlace(Creation& creation, int index, std::size_t width, const void* value, std::size_t length) {
  FilterElement& e = creation.filter.elements[index];
  if (creation.filter.facts[index].rightRoom < static_cast<std::int32_t>(width)) {
    RefuseElement(creation, index, "rightLiteralLength", e.rightLiteralLength);
    return status::kLengthOutOfRange;
  }
  if (ReachesStructure(creation.filter, e.rightData, static_cast<std::int32_t>(width))) {
    RefuseElement(creation, index, "rightLiteralId", e.rightLiteralId);
    return status::kBadLiteralKind;
  }
  if (length < width) std::memset(e.rightData, ' ', width);
  std::memcpy(e.rightData, value, length);
  return status::kOk;
}

std::int32_t ChangeLiteral(Creation& creation, int index, const void* value, std::int16_t length) {
  Filter& filter = creation.filter;
  if (!HasPlainLiteral(filter, index)) return status::kOk;
  FilterElement& e = filter.elements[index];
  switch (BaseType(e.dataType)) {
    case type::kUShort:
    case type::kShort:
    case type::kLong: {
      const std::size_t width = BaseType(e.dataType) == type::kLong ? 4 : 2;
      // The given value is taken as wide as the literal; a shorter one would be read past its end.
      if (length < static_cast<std::int16_t>(width)) return status::kLengthOutOfRange;
      return WriteInPlace(creation, index, width, value, width);
    }
    case type::kChar: {
      if (length > e.rightLiteralLength) return status::kLengthOutOfRange;
      return WriteInPlace(creation, index, static_cast<std::size_t>(e.rightLiteralLength), value,
                          static_cast<std::size_t>(length));
    }
    case type::kVarChar: {
      // The varying routines read the literal as rightLiteralLength bytes of text: the new value is stored
      // as its bytes alone, with its length there. A LIKE reads it over its pattern length, and the
      // locale-aware routines over its byte length, both in rightScale.
      const RoutineCell& cell = *filter.facts[index].cell;
      const bool scaleIsLength = e.compareOperator == op::kLike || cell.right == Extent::kRightScale;
      return Replace(creation, index, Side::kRight, value, length, scaleIsLength);
    }
    default: return status::kOk;
  }
}

}  // namespace

std::int32_t ModifyPredicate(Filter& filter, const char* columnName, std::uint32_t functionCode, const void* value,
                             std::int16_t valueLength) {
  static TraceBlock block{"FLT1_ModifyPredicate", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (valueLength < 0) return trace.Exit(status::kLengthOutOfRange, __LINE__);
  if (value == nullptr && valueLength > 0) return trace.Exit(status::kFalse, __LINE__);
  Creation creation{block, trace, filter};
  std::int32_t st = status::kOk;
  for (int i = 0; i < filter.elementCount && st == status::kOk; ++i) {
    FilterElement& e = filter.elements[i];
    if (functionCode != 0 && functionCode == e.functionCode) {
      if (functionCode == fn::kStringSearch) {
        // The locale-aware search reads its length in leftScale.
        st = Replace(creation, i, Side::kLeft, value, valueLength, true);
      }
      continue;
    }
    if (columnName != nullptr && NamesColumn(columnName, e.columnName)) {
      st = ChangeLiteral(creation, i, value, valueLength);
      // A prefix routine, or a varying column's equality routine, chosen for the old literal may not fit the
      // new one. Every other routine, a run's or a join's (element_chains.h) among them, reads each literal
      // where it was just written, and stays.
      const RoutineCell& cell = *creation.filter.facts[i].cell;
      if (cell.family == Family::kPrefixPattern || cell.family == Family::kVaryingTextLiteral) {
        const BoundRoutine bound = FastPath(e, cell);
        e.routine = filter.steps[i].routine = bound.routine;
        filter.steps[i].batch = bound.batch;
      }
    }
  }
  return trace.Exit(st, __LINE__);
}

}  // namespace vexfilt
