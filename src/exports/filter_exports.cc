// The Filter's exports: each a thin wrapper over the internal C++ API that turns an escaping exception into
// a status.
#include <cstdint>

#include "core/status.h"
#include "exports/guard.h"
#include "filter/create.h"
#include "filter/destroy.h"
#include "filter/evaluate.h"
#include "filter/filter_info.h"
#include "filter/modify.h"
#include "filter/retrieve.h"
#include "filter/sample.h"
#include "translate/translate.h"
#include "vexfilt.h"

namespace {

using vexfilt::Filter;
using vexfilt::FilterOf;
using vexfilt::exports::Guarded;
namespace status = vexfilt::status;

}  // namespace

extern "C" {

int32_t FLT1_CreateFilter(uint32_t, const void* plan, int16_t planLength, const void* pool, int16_t poolLength,
                          FilterHandle* handle) {
  return Guarded(status::kNoMemory,
                 [&] { return vexfilt::CreateFilter(plan, planLength, pool, poolLength, handle); });
}

int32_t FLT1_GetFilter(FilterHandle handle, FilterInfo** info) {
  if (FilterOf(handle) == nullptr || info == nullptr) return status::kFalse;
  return Guarded(status::kFalse, [&] { return vexfilt::GetFilter(*FilterOf(handle), info); });
}

// The hot path, left unguarded so that a first element that decides alone is reached by a jump: neither
// the loop nor any routine throws, and their tracing takes no memory from the heap (its longer lines use
// blocks that may be refused, its settings fixed room).
int32_t FLT1_FilterRecord(FilterHandle handle, uint32_t, const void* record) {
  const Filter* filter = FilterOf(handle);
  if (filter == nullptr || record == nullptr) return status::kFalse;
  return vexfilt::EvaluateRecord(*filter, static_cast<const std::uint8_t*>(record));
}

// Unguarded for the same reason: no step throws.
int32_t FLT1_FilterRecords(FilterHandle handle, uint32_t, const void* records, size_t stride, int32_t count,
                           int32_t* statuses) {
  const Filter* filter = FilterOf(handle);
  if (filter == nullptr || records == nullptr || statuses == nullptr || count < 0) return status::kFalse;
  vexfilt::EvaluateRecords(*filter, static_cast<const std::uint8_t*>(records), stride, count, statuses);
  return status::kOk;
}

int32_t FLT1_BeginSample(FilterHandle handle) {
  return Guarded(status::kFalse, [&] { return vexfilt::BeginSample(FilterOf(handle)); });
}

int32_t FLT1_EndSample(FilterHandle handle, uint32_t* result) {
  if (FilterOf(handle) == nullptr) {
    if (result != nullptr) *result = 0;
    return status::kOk;
  }
  return Guarded(status::kOk, [&] { return vexfilt::EndSample(FilterOf(handle), result); });
}

int32_t FLT1_RetrieveRecord(FilterHandle handle, void* buffer, uint32_t* bufferLength) {
  if (FilterOf(handle) == nullptr || buffer == nullptr || bufferLength == nullptr) return status::kFalse;
  return Guarded(status::kFalse, [&] {
    return vexfilt::RetrieveRecord(*FilterOf(handle), static_cast<std::uint8_t*>(buffer), bufferLength);
  });
}

int32_t FLT1_DestroyFilter(FilterHandle handle) {
  return Guarded(status::kOk, [&] { return vexfilt::DestroyFilter(handle); });
}

int32_t FLT1_ModifyPredicate(FilterHandle handle, const char* columnName, uint32_t functionCode, const void* value,
                             int16_t valueLength) {
  if (FilterOf(handle) == nullptr || columnName == nullptr) return status::kFalse;
  return Guarded(status::kNoMemory, [&] {
    return vexfilt::ModifyPredicate(*FilterOf(handle), columnName, functionCode, value, valueLength);
  });
}

int32_t FLT1_TranslateFilterPlanNCS(uint32_t dataRepresentation, void* plan) {
  if (plan == nullptr) return status::kFalse;
  return Guarded(status::kBadVersionOrLength,
                 [&] { return vexfilt::TranslatePlan(dataRepresentation, static_cast<std::uint8_t*>(plan)); });
}

int32_t FLT1_TranslateLiteralPoolNCS(uint32_t dataRepresentation, void* pool) {
  if (pool == nullptr) return status::kFalse;
  return Guarded(status::kBadLiteralKind,
                 [&] { return vexfilt::TranslatePool(dataRepresentation, static_cast<std::uint8_t*>(pool)); });
}

}  // extern "C"
