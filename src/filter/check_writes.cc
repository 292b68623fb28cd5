// What evaluation writes into the Filter's copy of the pool, checked once at creation against the blocks
// whose structure later evaluations trust: a value area or timestamp written over a change control block
// or a search list would hand the next record a count or stride that leads outside the block.
#include "filter/check_writes.h"

#include <algorithm>

#include "core/change_control.h"
#include "core/status.h"
#include "routines/dispatch_tables.h"
#include "routines/operands.h"

namespace vexfilt {
namespace {

struct Span {
  const std::uint8_t* begin = nullptr;
  const std::uint8_t* end = nullptr;
  bool Overlaps(const Span& other) const { return begin < other.end && other.begin < end; }
};

Span SpanOf(const void* data, std::int32_t length) {
  const auto* begin = static_cast<const std::uint8_t*>(data);
  return {begin, begin + std::max(length, 0)};
}

// The block whose structure element `index`'s routine trusts, or an empty span. A list read from a file
// lies outside the pool, where nothing else writes.
Span StructureOf(const Filter& filter, int index) {
  const FilterElement& e = filter.elements[index];
  const ElementFacts& facts = filter.facts[index];
  if (facts.cell == nullptr) return {};
  if (facts.cell->structure != Structure::kChangeControl && facts.cell->structure != Structure::kSearchList) return {};
  if (e.rightData == nullptr || e.rightData == filter.ownedSearchList) return {};
  return SpanOf(e.rightData, facts.rightRoom);
}

// The write of element `index` named by `field` must not reach into any element's block.
std::int32_t Apart(Creation& creation, int index, Span write, const char* field, std::int32_t value) {
  if (ReachesStructure(creation.filter, write.begin, static_cast<std::int32_t>(write.end - write.begin))) {
    return RefuseElement(creation, index, field, value);
  }
  return status::kOk;
}

}  // namespace

bool ReachesStructure(const Filter& filter, const void* data, std::int32_t length) {
  const Span write = SpanOf(data, length);
  for (int j = 0; j < filter.elementCount; ++j) {
    if (write.Overlaps(StructureOf(filter, j))) return true;
  }
  return false;
}

std::int32_t CheckWritesApart(Creation& creation) {
  const Filter& filter = creation.filter;
  for (int i = 0; i < filter.elementCount; ++i) {
    const FilterElement& e = filter.elements[i];
    const RoutineCell& cell = *filter.facts[i].cell;
    // The routines write their own blocks too (a change routine its cache references and counts, a
    // search its match flags): one element's block may not lie over another's, unless two searches
    // share one list.
    const Span own = StructureOf(filter, i);
    for (int j = 0; j < i && own.begin != own.end; ++j) {
      const bool sameList = cell.structure == Structure::kSearchList &&
                            filter.facts[j].cell->structure == Structure::kSearchList &&
                            filter.elements[j].rightData == e.rightData;
      if (!sameList && own.Overlaps(StructureOf(filter, j))) {
        return RefuseElement(creation, i, "rightLiteralId", e.rightLiteralId);
      }
    }
    std::int32_t st = status::kOk;
    if (cell.structure == Structure::kChangeControl) {
      namespace cc = change_control;
      const auto* control = static_cast<const std::uint8_t*>(e.rightData);
      const std::int32_t used = std::max(cc::Field16(control, cc::kRecordSize), cc::Field16(control, cc::kValueAreaLength));
      st = Apart(creation, i, SpanOf(e.leftData, used), "leftLiteralId", e.leftLiteralId);
    }
    if (st == status::kOk && operands::UsesValueAreas(e)) {
      st = Apart(creation, i, SpanOf(e.leftData, kValueAreaSize), "leftLiteralId", e.leftLiteralId);
      if (st == status::kOk) st = Apart(creation, i, SpanOf(e.rightData, kValueAreaSize), "rightLiteralId", e.rightLiteralId);
    }
    if (st == status::kOk && cell.delivery == Delivery::kTimestamp) {
      const FilterElement& receiver = filter.elements[i + e.resultTarget];
      const void* operand = e.resultOperand == 0 ? receiver.leftData : receiver.rightData;
      st = Apart(creation, i, SpanOf(operand, kTimestampBytes), "resultOperand", e.resultOperand);
    }
    if (st != status::kOk) return st;
  }
  return status::kOk;
}

}  // namespace vexfilt
