// Binding literals: each pool entry, in chain order, to every element that names its id; then the checks
// that every routine finds at its operands the bytes it will read.
#include "filter/bind_literals.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/change_control.h"
#include "core/data_types.h"
#include "core/search_list.h"
#include "core/status.h"
#include "filter/check_record.h"
#include "filter/check_writes.h"
#include "filter/configuration.h"
#include "filter/pool_walk.h"
#include "filter/search_file.h"
#include "routines/change_cache.h"
#include "routines/change_routines.h"
#include "routines/dispatch_tables.h"
#include "routines/operands.h"

namespace vexfilt {
namespace {

// Column descriptor (VxpColumnDescriptor): the right operand's value and divisor at 0, the left's at 16,
// the second column's name at 32 and its type at 44. An entry needs room up to the type, not the padding
// after it.
constexpr std::size_t kRightDivisor = offsetof(VxpColumnDescriptor, rightDivisor);
constexpr std::size_t kLeftArea = offsetof(VxpColumnDescriptor, leftValue);
constexpr std::size_t kLeftDivisor = offsetof(VxpColumnDescriptor, leftDivisor);
constexpr std::size_t kRightType = offsetof(VxpColumnDescriptor, dataType);
constexpr std::int32_t kDescriptorSize = kRightType + sizeof(VxpColumnDescriptor::dataType);
constexpr std::uint16_t kChangeCacheCapacity = 200;
constexpr float kChangeCacheLoadFactor = 0.75f;

// The pattern length of a LIKE: one more than the literal's length when the entry holds a byte past it and
// the pattern ends in an asterisk, so that the asterisk may also match that byte.
void SetPatternLength(FilterElement& element, const EntryView& entry) {
  const std::int16_t length = element.rightLiteralLength;
  const bool endsInAsterisk = length >= 1 && static_cast<std::size_t>(length) <= entry.room() &&
                              entry.data()[length - 1] == '*';
  element.rightScale = (entry.valueLength() > length && endsInAsterisk) ? static_cast<std::int16_t>(length + 1) : length;
}

double DivisorOf(std::uint16_t flags, std::int16_t scale) {
  const int decimals = ((flags & rep::kNumeric) && scale != 0) ? static_cast<std::int8_t>(scale & 0xFF) : 0;
  return std::pow(10.0, decimals);
}

std::int32_t PrepareColumnDescriptor(Creation& creation, int index, const EntryView& entry) {
  FilterElement& element = creation.filter.elements[index];
  if (static_cast<std::int32_t>(entry.room()) < kDescriptorSize) {
    return RefuseElement(creation, index, "rightLiteralId", element.rightLiteralId);
  }
  // Flags are added bitwise, so that a flag already there is never doubled into its neighbour.
  if ((element.rightFlags & 0xFF) == 0 && BaseType(element.dataType) == BaseType(element.rightDataType)) {
    element.leftFlags |= FlagsOfType(element.dataType);
    element.rightFlags |= FlagsOfType(element.rightDataType);
  }
  std::uint8_t* descriptor = entry.data();
  element.leftData = descriptor + kLeftArea;
  creation.filter.facts[index].leftRoom = static_cast<std::int32_t>(entry.room() - kLeftArea);
  StoreUnaligned(descriptor + kRightType, element.rightDataType);

  const std::uint16_t left = element.leftFlags, right = element.rightFlags;
  const auto numericOrChar = [](std::uint16_t flags) { return (flags & (rep::kNumeric | rep::kAnyChar)) != 0; };
  const bool comparable = ((left & rep::kNumeric) && numericOrChar(right)) || ((right & rep::kNumeric) && numericOrChar(left));
  if (!comparable) return status::kOk;
  const double leftDivisor = DivisorOf(left, element.leftScale);
  const double rightDivisor = DivisorOf(right, element.rightScale);
  StoreUnaligned(descriptor + kLeftDivisor, leftDivisor);
  StoreUnaligned(descriptor + kRightDivisor, rightDivisor);
  if (leftDivisor != rightDivisor || ((left | right) & rep::kAnyChar)) {
    element.leftFlags |= rep::kScaledMixed;
    element.rightFlags |= rep::kScaledMixed;
  }
  return status::kOk;
}

// A change control block is prepared where it is bound: options, counts and references cleared, so that
// a Filter released at any later point finds either no cache or one it made. Caches are made once every
// operand has been checked.
std::int32_t PrepareChangeControl(Creation& creation, int index, const EntryView& entry) {
  namespace cc = change_control;
  Filter& filter = creation.filter;
  FilterElement& element = filter.elements[index];
  if (entry.room() < cc::kKeyEntries) {
    element.rightData = nullptr;
    return RefuseElement(creation, index, "rightLiteralId", element.rightLiteralId);
  }
  std::uint8_t* control = entry.data();
  if (element.functionCode == fn::kChange) {
    auto options = LoadUnaligned<std::uint32_t>(control + cc::kOptions);
    if (EnableFireConfigured()) {
      options |= cc::kEnableFire;
      if (creation.trace.Has(trace_bit::k01 | trace_bit::k10)) {
        TracePrintf(creation.block, __LINE__, "Change Function (EnableFire) for Table %.10s %p",
                    filter.planCopy->tableName, static_cast<void*>(&filter));
      }
    } else {
      options &= ~cc::kEnableFire;
    }
    StoreUnaligned(control + cc::kOptions, options);
  }
  StoreUnaligned<void*>(control + cc::kCache, nullptr);
  StoreUnaligned<std::uint32_t>(control + cc::kBytesHeld, 0);
  StoreUnaligned<std::uint32_t>(control + cc::kRecordsHeld, 0);
  StoreUnaligned<void*>(control + cc::kCurrentRecord, nullptr);
  return status::kOk;
}

// What the change routine will read and write: the key column entries inside the block, a key that is the
// sum of its columns and fits a record, a scratch record that holds a record and the cleared value area,
// and a value of at most 8 bytes.
std::int32_t CheckChangeControl(Creation& creation, int index) {
  namespace cc = change_control;
  const FilterElement& element = creation.filter.elements[index];
  const ElementFacts& facts = creation.filter.facts[index];
  const auto* control = static_cast<const std::uint8_t*>(element.rightData);
  if (control == nullptr) return RefuseElement(creation, index, "rightLiteralId", element.rightLiteralId);
  const std::int32_t columns = cc::Field16(control, cc::kKeyColumns);
  const std::int32_t stride = cc::Field16(control, cc::kKeyStride);
  const std::int32_t keyLength = cc::Field16(control, cc::kKeyLength);
  const std::int32_t valueArea = cc::Field16(control, cc::kValueAreaLength);
  const std::int32_t recordSize = cc::Field16(control, cc::kRecordSize);
  const std::int32_t room = facts.rightRoom;
  bool sound = columns >= 0 && (columns == 0 || stride >= static_cast<std::int32_t>(cc::kKeyEntrySize)) &&
               static_cast<std::int64_t>(cc::kKeyEntries) + static_cast<std::int64_t>(columns) * stride <= room;
  std::int32_t sum = 0;
  for (std::int32_t i = 0; sound && i < columns; ++i) {
    const std::uint8_t* entry = control + cc::kKeyEntries + static_cast<std::size_t>(i * stride);
    const std::int32_t length = cc::Field16(entry, cc::kKeyColumnLength);
    sound = length >= 0 && cc::Field16(entry, cc::kKeyColumnOffset) >= 0;
    sum += length;
  }
  if (!sound || sum != keyLength || recordSize < static_cast<std::int32_t>(cache_record::kKey) + keyLength) {
    return RefuseElement(creation, index, "rightLiteralId", element.rightLiteralId);
  }
  const auto* scratch = static_cast<const std::uint8_t*>(element.leftData);
  const std::int32_t scratchUsed = std::max(recordSize, valueArea);
  const bool apart = scratch != nullptr && (scratch + scratchUsed <= control || control + room <= scratch);
  if (scratch == nullptr || facts.leftRoom < scratchUsed || valueArea < 0 || !apart ||
      element.columnLength < 0 || element.columnLength > 8) {
    return RefuseElement(creation, index, "leftLiteralId", element.leftLiteralId);
  }
  // The value is delivered into a word of the target: a value wider than that word would run over the
  // target's operator, type and function code.
  const std::size_t word = facts.cell->delivery == Delivery::kShortWord ? 2 : 8;
  if (ChangeValueBytes(static_cast<std::uint8_t>(element.leftFlags & 0xFF)) > word) {
    return RefuseElement(creation, index, "dataType", element.dataType);
  }
  return status::kOk;
}

// The Filter keeps the list of the last search element; a list naming a file is replaced by the file's.
// Only one list read from a file is kept: a later "@" list is searched as it stands.
std::int32_t PrepareSearchList(Creation& creation, int index, const EntryView& entry) {
  namespace sl = search_list;
  Filter& filter = creation.filter;
  FilterElement& element = filter.elements[index];
  std::uint8_t* list = entry.data();
  // A negative data offset would leave retrieval no buffer large enough, and a host that grows its buffer
  // and retries would never stop.
  if (!sl::Fits(list, entry.room()) || LoadUnaligned<std::int16_t>(list + sl::kDataOffset) < 0) {
    element.rightData = nullptr;
    return RefuseElement(creation, index, "rightLiteralId", element.rightLiteralId);
  }
  filter.searchList = list;
  filter.searchEntryCount = sl::EntryCountOf(list);
  const bool namesFile = filter.searchEntryCount >= 1 && sl::FirstEntry(list).keyLength() >= 1 &&
                         list[sl::kFileMarkOffset] == sl::kFileMark;
  if (!namesFile || (filter.ownership & kOwnsSearchList)) return status::kOk;
  std::size_t size = 0;
  const std::int32_t st = BuildAlternateSearch(filter, element, &size);
  if (st == status::kOk && filter.searchList != list) {
    element.rightData = filter.searchList;
    filter.searchEntryCount = sl::EntryCountOf(filter.searchList);
    creation.filter.facts[index].rightRoom = static_cast<std::int32_t>(size);
  }
  return st == status::kUnavailable ? status::kOk : st;
}

std::int32_t BindRight(Creation& creation, int index, const EntryView& entry) {
  FilterElement& element = creation.filter.elements[index];
  element.rightData = entry.data();
  creation.filter.facts[index].rightRoom = static_cast<std::int32_t>(entry.room());
  // The routine the element was bound to decides what its right literal is, whatever the operator says.
  const RoutineCell* cell = creation.filter.facts[index].cell;
  const Structure structure = cell != nullptr ? cell->structure : Structure::kNone;
  if (structure == Structure::kSearchList) {
    if (std::int32_t st = PrepareSearchList(creation, index, entry)) return st;
  }
  // A change element's right literal is its control block and nothing else: read as a column descriptor
  // too, its left operand would be moved into the block.
  if (structure == Structure::kChangeControl) return PrepareChangeControl(creation, index, entry);
  if (element.compareOperator == op::kLike && !(element.rightFlags & rep::kPatternLengthGiven)) {
    SetPatternLength(element, entry);
  }
  if (element.rightFlags & rep::kColumn) return PrepareColumnDescriptor(creation, index, entry);
  return status::kOk;
}

// Bytes a routine reads at an operand, by its cell's extent; -1 for a negative length, which nothing holds.
std::int32_t BytesRead(Extent extent, const FilterElement& element) {
  switch (extent) {
    case Extent::kNone: return 0;
    case Extent::kBytes2: return 2;
    case Extent::kBytes4: return 4;
    case Extent::kBytes8: return 8;
    case Extent::kBytes1: return 1;
    case Extent::kRightLiteralLength: return element.rightLiteralLength < 0 ? -1 : element.rightLiteralLength;
    case Extent::kLeftLiteralLength: return element.leftLiteralLength < 0 ? -1 : element.leftLiteralLength;
    case Extent::kRightScale: return static_cast<std::uint16_t>(element.rightScale);
    case Extent::kLeftScale: return element.leftScale < 0 ? -1 : element.leftScale;
  }
  return -1;
}

bool Holds(const void* data, std::int32_t room, std::int32_t needed) {
  if (needed == 0) return true;
  return needed > 0 && data != nullptr && room >= needed;
}

// Each change element gets a cache of its own; one that cannot be made leaves the block without, and the
// change routine then answers 1000 for it.
void MakeChangeCaches(Creation& creation) {
  Filter& filter = creation.filter;
  for (int i = 0; i < filter.elementCount; ++i) {
    if (filter.facts[i].cell->structure != Structure::kChangeControl) continue;
    ChangeCache* cache = CreateChangeCache(kChangeCacheCapacity, kChangeCacheLoadFactor, ChangeCacheLimit());
    StoreUnaligned(static_cast<std::uint8_t*>(filter.elements[i].rightData) + change_control::kCache, cache);
  }
}

}  // namespace

// Every routine reads only what its element's operands hold.
std::int32_t CheckOperands(Creation& creation) {
  Filter& filter = creation.filter;
  for (int i = 0; i < filter.elementCount; ++i) {
    const FilterElement& element = filter.elements[i];
    const ElementFacts& facts = filter.facts[i];
    const RoutineCell* cell = facts.cell;
    if (cell == nullptr) continue;
    if (!Holds(element.rightData, facts.rightRoom, BytesRead(cell->right, element))) {
      return RefuseElement(creation, i, "rightLiteralId", element.rightLiteralId);
    }
    if (!Holds(element.leftData, facts.leftRoom, BytesRead(cell->left, element))) {
      return RefuseElement(creation, i, "leftLiteralId", element.leftLiteralId);
    }
    const int target = i + element.resultTarget;
    if (cell->delivery != Delivery::kNone && (target < 0 || target >= filter.elementCount)) {
      return RefuseElement(creation, i, "resultTarget", element.resultTarget);
    }
    if (cell->delivery == Delivery::kTimestamp) {
      const FilterElement& receiver = filter.elements[target];
      const bool left = element.resultOperand == 0;
      const ElementFacts& room = filter.facts[target];
      if (!Holds(left ? receiver.leftData : receiver.rightData, left ? room.leftRoom : room.rightRoom, kTimestampBytes)) {
        return RefuseElement(creation, i, "resultOperand", element.resultOperand);
      }
    }
    if (cell->structure == Structure::kSearchList && element.rightData == nullptr) {
      return RefuseElement(creation, i, "rightLiteralId", element.rightLiteralId);
    }
    if (cell->structure == Structure::kChangeControl) {
      if (std::int32_t st = CheckChangeControl(creation, i)) return st;
      for (int j = 0; j < i; ++j) {
        // One control block per change element: a shared one would hold one cache for two.
        if (filter.facts[j].cell->structure == Structure::kChangeControl && filter.elements[j].rightData == element.rightData) {
          return RefuseElement(creation, i, "rightLiteralId", element.rightLiteralId);
        }
      }
    }
    // Operands of different scales are read into value areas at both operand references.
    if (operands::UsesValueAreas(element)) {
      if (element.leftData == nullptr || facts.leftRoom < kValueAreaSize) {
        return RefuseElement(creation, i, "leftLiteralId", element.leftLiteralId);
      }
      if (element.rightData == nullptr || facts.rightRoom < kValueAreaSize) {
        return RefuseElement(creation, i, "rightLiteralId", element.rightLiteralId);
      }
    }
  }
  return status::kOk;
}

std::int32_t BindLiterals(Creation& creation) {
  Filter& filter = creation.filter;
  PoolWalk walk(filter.poolCopy, filter.poolCopyLength);
  EntryView entry(nullptr);
  std::int32_t st = status::kOk;
  while (st == status::kOk && walk.Next(&entry)) {
    for (int i = 0; i < filter.elementCount && st == status::kOk; ++i) {
      FilterElement& element = filter.elements[i];
      if (entry.id() == element.leftLiteralId) {
        element.leftData = entry.data();
        creation.filter.facts[i].leftRoom = static_cast<std::int32_t>(entry.room());
        if (fn::IsChange(element.functionCode)) {
          const auto length = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::int16_t>(entry.dataLength(), 0)), entry.room());
          std::memset(entry.data(), 0, length);
        }
      }
      if (entry.id() == element.rightLiteralId) st = BindRight(creation, i, entry);
    }
  }
  if (st != status::kOk) return st;
  if (std::int32_t checked = CheckOperands(creation)) return checked;
  if (std::int32_t checked = CheckRecordReads(creation)) return checked;
  if (std::int32_t checked = CheckWritesApart(creation)) return checked;
  MakeChangeCaches(creation);
  return status::kOk;
}

}  // namespace vexfilt
