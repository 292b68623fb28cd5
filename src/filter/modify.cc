// FLT1_ModifyPredicate: new values for the literals of a live Filter.
#include <cstring>

#include "filter/data_types.h"
#include "filter/filter_info.h"
#include "filter/memory.h"
#include "filter/pool_walk.h"
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

// Bytes of pool copy that the literal at `data` may be written over: its entry's room, or 0 when it is
// not the data of an entry of the pool copy.
std::size_t RoomOf(Filter& filter, const void* data) {
  PoolWalk walk(filter.poolCopy, filter.poolCopyLength);
  EntryView entry(nullptr);
  std::size_t room = 0;
  while (walk.Next(&entry)) {
    if (entry.data() == data) room = entry.room();
  }
  return room;
}

// Only plain literals are replaced: not column descriptors, change control blocks or search lists.
bool HasPlainLiteral(const FilterElement& e) {
  return e.rightData != nullptr && !(e.rightFlags & rep::kColumn) && !fn::IsChange(e.functionCode) &&
         e.functionCode != fn::kSearchList;
}

// A buffer of the Filter's own that replaces an operand, releasing the one it replaced if that was too.
std::int32_t Replace(void** data, std::uint16_t* flags, const void* value, std::int16_t length) {
  void* buffer = AllocateBlock(static_cast<std::size_t>(length), "vexflt1", __LINE__);
  if (buffer == nullptr) return status::kNoMemory;
  if (length > 0) std::memcpy(buffer, value, static_cast<std::size_t>(length));
  if (*flags & rep::kOwnedLiteral) ReleaseBlock(*data, "vexflt1", __LINE__);
  *data = buffer;
  *flags |= rep::kOwnedLiteral;
  return status::kOk;
}

std::int32_t ChangeLiteral(Filter& filter, FilterElement& e, const void* value, std::int16_t length) {
  if (!HasPlainLiteral(e)) return status::kOk;
  switch (BaseType(e.dataType)) {
    case type::kUShort:
    case type::kShort:
    case type::kLong: {
      const std::size_t width = BaseType(e.dataType) == type::kLong ? 4 : 2;
      // The given value is taken as wide as the literal; a shorter one would be read past its end.
      if (length < static_cast<std::int16_t>(width)) return status::kLengthOutOfRange;
      if (RoomOf(filter, e.rightData) >= width) std::memcpy(e.rightData, value, width);
      return status::kOk;
    }
    case type::kChar: {
      if (length > e.rightLiteralLength) return status::kLengthOutOfRange;
      const auto width = static_cast<std::size_t>(e.rightLiteralLength);
      if (!(e.rightFlags & rep::kOwnedLiteral) && RoomOf(filter, e.rightData) < width) return status::kOk;
      std::memset(e.rightData, ' ', width);
      std::memcpy(e.rightData, value, static_cast<std::size_t>(length));
      return status::kOk;
    }
    case type::kVarChar: {
      // The varying routines read the literal as rightLiteralLength bytes of text: the new value is stored
      // as its bytes alone, with its length there (and as the pattern length of a LIKE).
      if (std::int32_t st = Replace(&e.rightData, &e.rightFlags, value, length)) return st;
      e.rightLiteralLength = length;
      if (e.compareOperator == op::kLike) e.rightScale = length;
      return status::kOk;
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
  std::int32_t st = status::kOk;
  for (int i = 0; i < filter.elementCount && st == status::kOk; ++i) {
    FilterElement& e = filter.elements[i];
    if (functionCode != 0 && functionCode == e.functionCode) {
      if (functionCode == fn::kStringSearch) {
        st = Replace(&e.leftData, &e.leftFlags, value, valueLength);
        if (st == status::kOk) {
          e.leftLiteralLength = valueLength;
          e.leftScale = valueLength;  // the locale-aware search reads its length here
        }
      }
      continue;
    }
    if (columnName != nullptr && NamesColumn(columnName, e.columnName)) {
      st = ChangeLiteral(filter, e, value, valueLength);
      // A routine chosen for the old literal may not fit the new one. The routine of a run or a join
      // (element_chains.h) reads each literal where it was just written, and stays.
      e.routine = FastPathRoutine(e, e.routine);
    }
  }
  return trace.Exit(st, __LINE__);
}

}  // namespace vexfilt
