#include "filter/sample.h"

#include "core/change_control.h"
#include "core/column_name.h"
#include "core/search_list.h"
#include "core/status.h"
#include "host/nls.h"
#include "host/services.h"
#include "host/trace.h"
#include "routines/change_cache.h"

namespace vexfilt {
namespace {

constexpr std::uint32_t kNanosecondsPerSecond = 1000000000u;
constexpr std::uint32_t kUnmatchedEntries = VXF_RESULT_UNMATCHED_ENTRIES;  // result word of the end of a sample
constexpr std::uint32_t kNanosecondsPerHundredth = 10000000u;

// A language id changed since the locale was set is applied at the begin of the next sample; on failure
// the old setting stays in force and the next begin tries again.
std::int32_t ApplyLanguageChange(TraceBlock& block, const TraceScope& trace, Filter& filter) {
  PoolHeader& pool = PoolHeaderOf(filter);
  if (pool.languageId == 0) pool.languageId = kDefaultLanguageId;
  const std::uint32_t oldId = filter.languageId, newId = pool.languageId;
  if (newId == oldId || !(filter.filterFlags & filter_flag::kLocaleSet)) return status::kOk;
  const char* table = filter.planCopy->tableName;
  const std::int32_t nlsStatus = LCL2_SetLocaleNumInfo(filter.locale, 1, newId, 0);
  if (nlsStatus == nls_status::kOk) {
    filter.filterFlags |= filter_flag::kLocaleSet;
    if (trace.Has(trace_bit::k01 | trace_bit::k10)) {
      TracePrintf(block, __LINE__, "Table %.10s LCL1 locale %p LanguageId changed 0x%.08X->0x%.08X", table,
                  static_cast<void*>(filter.locale), oldId, newId);
    }
    filter.languageId = newId;
    return status::kOk;
  }
  if (nlsStatus == nls_status::kUnknownLanguage || nlsStatus == nls_status::kUnknownTerritory) {
    TracePrintf(block, __LINE__, "Invalid Language. LCL1 error %d LanguageId 0x%.08X->0x%.08X Table %.10s %p status %d",
                nlsStatus, oldId, newId, table, static_cast<void*>(&filter), status::kBadLanguage);
    return status::kBadLanguage;
  }
  TracePrintf(block, __LINE__, "LCL1 set language id error %d. LanguageId 0x%.08X->0x%.08X CodePage UTF8 %s %p status %d",
              nlsStatus, oldId, newId, TableNameOf(table).text, static_cast<void*>(&filter), status::kLocaleError);
  return status::kLocaleError;
}

}  // namespace

std::uint32_t SampleStampOf(TimeValue start, TimeValue now) {
  std::uint32_t seconds = now.seconds - start.seconds;
  std::uint32_t nanoseconds;
  if (now.nanoseconds < start.nanoseconds) {
    seconds -= 1;
    nanoseconds = now.nanoseconds + kNanosecondsPerSecond - start.nanoseconds;
  } else {
    nanoseconds = now.nanoseconds - start.nanoseconds;
  }
  return (seconds << 8) + nanoseconds / kNanosecondsPerHundredth;
}

std::int32_t BeginSample(Filter* filter) {
  static TraceBlock block{"FLT1_BeginSample", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (filter == nullptr) return trace.Exit(status::kOk, __LINE__);
  filter->lastUnmatchedEntry = 0;
  filter->retrievePosition = 0;
  if (filter->searchList != nullptr) {
    search_list::Entry entry = search_list::FirstEntry(filter->searchList);
    for (int i = 1; i <= filter->searchEntryCount; ++i) {
      entry.set_matchFlags(0);
      filter->retrieveCursor = entry.start();
      if (i < filter->searchEntryCount) entry = entry.Next();
    }
  }
  if (filter->filterFlags & filter_flag::kHasChange) {
    CurrentTime(&filter->sampleTime);
    filter->sampleStamp = SampleStampOf(filter->startTime, filter->sampleTime);
  }
  std::int32_t result = status::kOk;
  constexpr std::uint16_t kLocaleFlags = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;
  if ((filter->planCopy->planFlags & kLocaleFlags) == kLocaleFlags) result = ApplyLanguageChange(block, trace, *filter);
  return trace.Exit(result, __LINE__);
}

std::int32_t EndSample(Filter* filter, std::uint32_t* result) {
  static TraceBlock block{"FLT1_EndSample", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (result == nullptr) return trace.Exit(status::kOk, __LINE__);
  *result = 0;
  if (filter->searchList != nullptr) {
    filter->lastUnmatchedEntry = 0;
    filter->retrievePosition = 0;
    search_list::Entry entry = search_list::FirstEntry(filter->searchList);
    for (int i = 1; i <= filter->searchEntryCount; ++i) {
      if (!entry.matched()) filter->lastUnmatchedEntry = static_cast<std::int16_t>(i);
      if (i < filter->searchEntryCount) entry = entry.Next();
    }
    if (filter->lastUnmatchedEntry >= 1) {
      *result |= kUnmatchedEntries;
      filter->retrieveCursor = search_list::FirstEntry(filter->searchList).start();
      filter->retrievePosition = 1;
    } else {
      filter->retrieveCursor = nullptr;
    }
  }
  // Keys that this sample did not see lose their previous values.
  if (filter->filterFlags & filter_flag::kHasChange) {
    for (int i = 0; i < filter->elementCount; ++i) {
      const FilterElement& element = filter->elements[i];
      if (!fn::IsChange(element.functionCode) || element.rightData == nullptr) continue;
      ChangeCache* cache = change_control::CacheOf(static_cast<const std::uint8_t*>(element.rightData));
      if (cache != nullptr) CleanChangeCache(cache, filter->sampleStamp);
    }
  }
  return trace.Exit(status::kOk, __LINE__);
}

}  // namespace vexfilt
