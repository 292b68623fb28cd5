// Binding literals: each pool entry, in chain order, to every element that names its id; then the checks
// that every routine finds at its operands the bytes it will read.
#include <cmath>
#include <cstring>

#include "filter/configuration.h"
#include "filter/create_steps.h"
#include "filter/data_types.h"
#include "filter/pool_walk.h"
#include "filter/status.h"

namespace vexfilt {
namespace {

// Column descriptor: the right operand's value and divisor at 0, the left's at 16, the second column's
// name at 32 and its type at 44.
constexpr std::size_t kRightDivisor = 8, kLeftArea = 16, kLeftDivisor = 24, kRightType = 44;
constexpr std::int32_t kDescriptorSize = 46;
constexpr std::int32_t kValueAreaSize = 16;  // a value and its divisor

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
  creation.leftRoom[static_cast<std::size_t>(index)] = static_cast<std::int32_t>(entry.room() - kLeftArea);
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
    element.leftFlags |= rep::kMixed | rep::kScaled;
    element.rightFlags |= rep::kMixed | rep::kScaled;
  }
  return status::kOk;
}

// Change control block: options, the bytes and records counted, the cache and the current record.
constexpr std::size_t kOptions = 0, kBytesHeld = 4, kRecordsHeld = 8, kCache = 32, kCurrentRecord = 48;
constexpr std::int32_t kControlHeaderSize = 64;
constexpr std::uint32_t kEnableFire = 0x0400;

std::int32_t PrepareChangeControl(Creation& creation, int index, const EntryView& entry) {
  Filter& filter = creation.filter;
  FilterElement& element = filter.elements[index];
  if (static_cast<std::int32_t>(entry.room()) < kControlHeaderSize) {
    return RefuseElement(creation, index, "rightLiteralId", element.rightLiteralId);
  }
  std::uint8_t* control = entry.data();
  if (element.functionCode == fn::kChange) {
    auto options = LoadUnaligned<std::uint32_t>(control + kOptions);
    if (EnableFireConfigured()) {
      options |= kEnableFire;
      if (creation.trace.Has(trace_bit::k01 | trace_bit::k10)) {
        TRC1_Printf(creation.block, __LINE__, "Change Function (EnableFire) for Table %.10s %p",
                    filter.planCopy->tableName, static_cast<void*>(&filter));
      }
    } else {
      options &= ~kEnableFire;
    }
    StoreUnaligned(control + kOptions, options);
  }
  // The cache itself is made by the change routines' own unit; until it exists the block holds none.
  StoreUnaligned<void*>(control + kCache, nullptr);
  StoreUnaligned<std::uint32_t>(control + kBytesHeld, 0);
  StoreUnaligned<std::uint32_t>(control + kRecordsHeld, 0);
  StoreUnaligned<void*>(control + kCurrentRecord, nullptr);
  return status::kOk;
}

std::int32_t BindRight(Creation& creation, int index, const EntryView& entry) {
  FilterElement& element = creation.filter.elements[index];
  element.rightData = entry.data();
  creation.rightRoom[static_cast<std::size_t>(index)] = static_cast<std::int32_t>(entry.room());
  if (fn::IsChange(element.functionCode)) {
    if (std::int32_t st = PrepareChangeControl(creation, index, entry)) return st;
  }
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

// Every routine reads only what its element's operands hold.
std::int32_t CheckOperands(Creation& creation) {
  Filter& filter = creation.filter;
  for (int i = 0; i < filter.elementCount; ++i) {
    const FilterElement& element = filter.elements[i];
    const auto at = static_cast<std::size_t>(i);
    const RoutineCell* cell = creation.cells[at];
    if (cell == nullptr) continue;
    if (!Holds(element.rightData, creation.rightRoom[at], BytesRead(cell->right, element))) {
      return RefuseElement(creation, i, "rightLiteralId", element.rightLiteralId);
    }
    if (!Holds(element.leftData, creation.leftRoom[at], BytesRead(cell->left, element))) {
      return RefuseElement(creation, i, "leftLiteralId", element.leftLiteralId);
    }
    const int target = i + element.resultTarget;
    if (cell->deliversToTarget && (target < 0 || target >= filter.elementCount)) {
      return RefuseElement(creation, i, "resultTarget", element.resultTarget);
    }
    // Operands of different scales are read into value areas at both operand references.
    constexpr std::uint16_t kScaledMixed = rep::kMixed | rep::kScaled;
    if ((element.leftFlags & kScaledMixed) == kScaledMixed) {
      if (element.leftData == nullptr || creation.leftRoom[at] < kValueAreaSize) {
        return RefuseElement(creation, i, "leftLiteralId", element.leftLiteralId);
      }
      if (element.rightData == nullptr || creation.rightRoom[at] < kValueAreaSize) {
        return RefuseElement(creation, i, "rightLiteralId", element.rightLiteralId);
      }
    }
  }
  return status::kOk;
}

}  // namespace

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
        creation.leftRoom[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(entry.room());
        if (fn::IsChange(element.functionCode)) {
          const auto length = std::min<std::size_t>(static_cast<std::size_t>(std::max<std::int16_t>(entry.dataLength(), 0)), entry.room());
          std::memset(entry.data(), 0, length);
        }
      }
      if (entry.id() == element.rightLiteralId) st = BindRight(creation, i, entry);
    }
  }
  if (st != status::kOk) return st;
  return CheckOperands(creation);
}

}  // namespace vexfilt
