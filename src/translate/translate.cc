#include "translate/translate.h"

#include "core/status.h"
#include "host/conversion.h"
#include "host/trace.h"
#include "translate/walk.h"

namespace vexfilt {
namespace {

using ToLocal = translate::Codec<representation::Direction::kToLocal>;

bool IsLocal(std::uint32_t word) {
  return Representation::Of(word) == Representation::Of(ConversionData()->localRepresentation);
}

// A representation the conversion service cannot read is refused before a byte is changed: converting it
// as something else would hand creation wrong values.
bool Refused(TraceBlock& block, std::uint32_t word) {
  if (Representation::Of(word).Supported()) return false;
  TracePrintf(block, __LINE__, "Unsupported data representation 0x%.08X", word);
  return true;
}

}  // namespace

std::int32_t TranslatePlan(std::uint32_t word, std::uint8_t* plan) {
  static TraceBlock block{"FLT1_TranslateFilterPlanNCS", kTranslateUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (IsLocal(word)) return trace.Exit(status::kOk, __LINE__);
  if (Refused(block, word)) return trace.Exit(status::kBadVersionOrLength, __LINE__);
  return trace.Exit(translate::Plan(ToLocal{word}, plan), __LINE__);
}

std::int32_t TranslatePool(std::uint32_t word, std::uint8_t* pool) {
  static TraceBlock block{"FLT1_TranslateLiteralPoolNCS", kTranslateUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (IsLocal(word)) return trace.Exit(status::kOk, __LINE__);
  if (Refused(block, word)) return trace.Exit(status::kBadLiteralKind, __LINE__);
  return trace.Exit(translate::Pool(ToLocal{word}, pool), __LINE__);
}

}  // namespace vexfilt
