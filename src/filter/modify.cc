// FLT1_ModifyPredicate: new values for the literals of a live Filter.
#include <algorithm>
#include <cstring>

#include "filter/create_steps.h"
#include "filter/data_types.h"
#include "filter/filter_info.h"
#include "filter/memory.h"
#include "filter/status.h"
#include "host/trace.h"
#include "routines/fast_paths.h"

namespace vexfilt {
namespace {

// The column name as the host types it: shorter names count as blank padded to the 11 bytes.
bool NamesColumn(const char* name, const char columnName[11]) {
  bool ended = false;
  for (int i = 0; i < 11; ++i) {
    if (!ended && name[i] == '\0') ended = true;
    if ((ended ? ' ' : name[i]) != columnName[i]) return false;
  }
  return ended || name[11] == '\0';
}

// Only plain literals are replaced: not column descriptors, change control blocks or search lists.
bool HasPlainLiteral(const Filter& filter, int index) {
  const FilterElement& e = filter.elements[index];
  const RoutineCell* cell = filter.facts[index].cell;
  return e.rightData != nullptr && !(e.rightFlags & rep::kColumn) && cell != nullptr &&
         cell->structure == Structure::kNone;
}

// An operand as modification may leave it: its reference, flags, length fields and the room behind it.
struct Operand {
  void** data;
  std::uint16_t* flags;
  std::int16_t* length;
  std::int16_t* scale;
  std::int32_t* room;
};

// A new value in a buffer of the Filter's own, proved like the literal it replaces before the old one is
// released. The buffer keeps at least the room creation proved, so that what other routines read or write
// at this operand (timestamps, value areas, fixed-width reads) stays inside it.
std::int32_t Replace(Creation& creation, Operand operand, const void* value, std::int16_t length, bool scaleIsLength) {
  const std::int32_t room = std::max<std::int32_t>({length + 2, *operand.room, 1});
  auto* buffer = static_cast<std::uint8_t*>(AllocateBlock(static_cast<std::size_t>(room), "vexflt1", __LINE__));
  if (buffer == nullptr) return status::kNoMemory;
  std::memset(buffer, ' ', static_cast<std::size_t>(room));
  if (length > 0) std::memcpy(buffer, value, static_cast<std::size_t>(length));
  void* const oldData = *operand.data;
  const std::uint16_t oldFlags = *operand.flags;
  const std::int16_t oldLength = *operand.length, oldScale = *operand.scale;
  const std::int32_t oldRoom = *operand.room;
  *operand.data = buffer;
  *operand.flags = static_cast<std::uint16_t>(oldFlags | rep::kOwnedLiteral);
  *operand.length = length;
  if (scaleIsLength) *operand.scale = length;
  *operand.room = room;
  // A longer value may make a routine read further into the record than creation allowed.
  if (CheckOperands(creation) != status::kOk || CheckRecordReads(creation) != status::kOk) {
    *operand.data = oldData;
    *operand.flags = oldFlags;
    *operand.length = oldLength;
    *operand.scale = oldScale;
    *operand.room = oldRoom;
    ReleaseBlock(buffer, "vexflt1", __LINE__);
    return status::kLengthOutOfRange;
  }
  if (oldFlags & rep::kOwnedLiteral) ReleaseBlock(oldData, "vexflt1", __LINE__);
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
      return Replace(creation, {&e.rightData, &e.rightFlags, &e.rightLiteralLength, &e.rightScale,
                                &filter.facts[index].rightRoom},
                     value, length, scaleIsLength);
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
        st = Replace(creation, {&e.leftData, &e.leftFlags, &e.leftLiteralLength, &e.leftScale, &filter.facts[i].leftRoom},
                     value, valueLength, true);
      }
      continue;
    }
    if (columnName != nullptr && NamesColumn(columnName, e.columnName)) {
      st = ChangeLiteral(creation, i, value, valueLength);
      // A routine chosen for the old literal may not fit the new one. The routine of a run or a join
      // (element_chains.h) reads each literal where it was just written, and stays.
      e.routine = FastPathRoutine(e, e.routine);
    }
  }
  return trace.Exit(st, __LINE__);
}

}  // namespace vexfilt
