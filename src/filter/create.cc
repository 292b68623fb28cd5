// FLT1_CreateFilter: turns a plan and a pool into a Filter that evaluates records without reading the plan
// again. Every choice that depends on the plan is made here, once.
#include "filter/create.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "core/bytes.h"
#include "core/column_name.h"
#include "core/data_types.h"
#include "core/memory.h"
#include "core/status.h"
#include "filter/bind_literals.h"
#include "filter/bind_routine.h"
#include "filter/check_record.h"
#include "filter/check_writes.h"
#include "filter/configuration.h"
#include "filter/destroy.h"
#include "filter/plan_checks.h"
#include "host/nls.h"
#include "host/services.h"
#include "host/trace.h"
#include "routines/dispatch_tables.h"
#include "routines/equality_runs.h"
#include "routines/fast_paths.h"
#include "routines/joined_compares.h"

namespace vexfilt {
namespace {

// Process-wide: the handle sequence (first Filter 101, wrapping silently) and the cached VEX_TRACEFILTER.
std::atomic<std::int16_t> g_sequence{100};
std::mutex g_traceFilterMutex;
char g_traceFilter[kTableNameSize + 1];

}  // namespace

void ForgetTraceFilterSetting() {
  std::lock_guard<std::mutex> lock(g_traceFilterMutex);
  g_traceFilter[0] = '\0';
}

namespace {

std::int16_t NextSequence() {
  return static_cast<std::int16_t>(g_sequence.fetch_add(1, std::memory_order_relaxed) + 1);
}

// VEX_TRACEFILTER is read once per process, and again only while the value kept is empty.
void SelectTracing(Filter& filter) {
  char value[kTableNameSize + 1];
  {
    std::lock_guard<std::mutex> lock(g_traceFilterMutex);
    if (g_traceFilter[0] == '\0') {
      std::strncpy(g_traceFilter, ConfigurationValue("VEX_TRACEFILTER", "NO"), kTableNameSize);
      g_traceFilter[kTableNameSize] = '\0';
    }
    std::memcpy(value, g_traceFilter, sizeof value);
  }
  if (std::strcmp(value, "ALL") == 0) {
    filter.filterFlags |= filter_flag::kTraceAll;
  } else if (std::strcmp(value, "MAX") == 0) {
    // Tracing of the routines' own levels only; no Filter is marked.
  } else if (value[0] != '\0' && NamesTable(value, filter.planCopy->tableName)) {
    std::memcpy(filter.traceTableName, value, sizeof value);
    filter.filterFlags |= filter_flag::kTraceNamed;
  }
}

std::int32_t PrepareElement(Creation& creation, int index, const std::uint8_t* record) {
  Filter& filter = creation.filter;
  FilterElement& element = filter.elements[index];
  std::memcpy(&element, record, kElementRecordSize);
  if (creation.trace.Has(trace_bit::k01 | trace_bit::k10)) {
    TracePrintf(creation.block, __LINE__, "Filter Element %d:", index);
    TraceDump(creation.block, __LINE__, &element, kElementRecordSize);
  }
  element.filter = &filter;
  // Only modification gives an operand memory of its own; a plan that claims it would have its pool freed.
  element.leftFlags &= static_cast<std::uint16_t>(~rep::kOwnedLiteral);
  element.rightFlags &= static_cast<std::uint16_t>(~rep::kOwnedLiteral);
  // Skips must move forward: a skip below 1 would loop forever or leave the element array.
  if (element.trueSkip < 1) return RefuseElement(creation, index, "trueSkip", element.trueSkip);
  if (element.falseSkip < 1) return RefuseElement(creation, index, "falseSkip", element.falseSkip);
  // Flags are added bitwise: a plan that already set some of them keeps them, and no bit is doubled into
  // its neighbour.
  if ((element.leftFlags & 0xFF) == 0) element.leftFlags |= FlagsOfType(element.dataType);
  // The function code is normalised before it chooses the routine: a code changed afterwards would leave
  // the element with a routine, and a change cache, that its code no longer names.
  if (!(element.leftFlags & rep::kNameNormalised)) {
    char name[kColumnNameSize];
    std::memset(name, ' ', sizeof name);
    std::uint8_t code = 0;
    FixColumnName(reinterpret_cast<const std::uint8_t*>(&element), name, &code);
    std::memcpy(element.columnName, name, sizeof name);
    element.functionCode = code;
  }
  return BindRoutine(creation, index);
}

std::int32_t SetUpLocale(TraceBlock& block, const TraceScope& trace, Filter& filter) {
  PoolHeader& pool = PoolHeaderOf(filter);
  if (pool.languageId == 0) pool.languageId = kDefaultLanguageId;
  filter.languageId = pool.languageId;
  std::int32_t nlsStatus = 0;
  filter.locale = LCL2_GetLocale(filter.languageId, kUtf8CodePage, 0, &nlsStatus);
  const char* table = filter.planCopy->tableName;
  if (nlsStatus == nls_status::kOk && filter.locale != nullptr) {
    filter.filterFlags |= filter_flag::kLocaleSet;
    if (trace.Has(trace_bit::k01 | trace_bit::k10)) {
      TracePrintf(block, __LINE__, "Table %.10s LCL1 locale %p LanguageId 0x%.08X set.", table,
                  static_cast<void*>(filter.locale), filter.languageId);
    }
    return status::kOk;
  }
  const std::uint32_t languageId = filter.languageId;
  LCL2_ReleaseLocale(filter.locale);
  filter.locale = nullptr;
  filter.languageId = 0;
  if (nlsStatus == nls_status::kUnknownLanguage || nlsStatus == nls_status::kUnknownTerritory) {
    TracePrintf(block, __LINE__, "Invalid Language. LCL1 error %d LanguageId 0x%.08X Table %.10s %p status %d",
                nlsStatus, languageId, table, static_cast<void*>(&filter), status::kBadLanguage);
    return status::kBadLanguage;
  }
  TracePrintf(block, __LINE__, "LCL1 set language id error %d. LanguageId 0x%.08X CodePage UTF8 %s %p status %d",
              nlsStatus, languageId, TableNameOf(table).text, static_cast<void*>(&filter), status::kLocaleError);
  return status::kLocaleError;
}

}  // namespace

std::int32_t RefuseElement(Creation& creation, int index, const char* field, std::int32_t value) {
  const Filter& filter = creation.filter;
  TracePrintf(creation.block, __LINE__, "Filter Element %d invalid %s %d - Table %.10s %p", index, field, value,
              filter.planCopy->tableName, static_cast<const void*>(&filter));
  return status::kBadVersionOrLength;
}

std::int32_t CreateFilter(const void* plan, std::int16_t planLength, const void* pool, std::int16_t poolLength,
                          FilterHandle* handle) {
  static TraceBlock block{"FLT1_CreateFilter", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (plan == nullptr || planLength < 1 || pool == nullptr || poolLength < 1 || handle == nullptr) {
    return trace.Exit(status::kFalse, __LINE__);
  }
  const auto* planBytes = static_cast<const std::uint8_t*>(plan);
  const auto* poolBytes = static_cast<const std::uint8_t*>(pool);
  if (trace.Has(trace_bit::k01 | trace_bit::k10)) {
    TracePrintf(block, __LINE__, "Filter Plan:");
    TraceDump(block, __LINE__, plan, static_cast<std::size_t>(planLength));
    TracePrintf(block, __LINE__, "Literal Pool:");
    TraceDump(block, __LINE__, pool, static_cast<std::size_t>(poolLength));
  }
  if (std::int32_t st = CheckPlanAndPool(block, planBytes, planLength, poolBytes, poolLength)) {
    return trace.Exit(st, __LINE__);
  }

  PlanHeader header;
  std::memcpy(&header, plan, sizeof header);
  const FilterBlockLayout layout = LayoutFilterBlock(static_cast<std::size_t>(header.elementCount),
                                                     static_cast<std::size_t>(poolLength));
  void* memory = AllocateZeroedBlock(layout.totalLength, "vexflt1", __LINE__);
  if (memory == nullptr) {
    TracePrintf(block, __LINE__, "Filter allocation of %zu bytes failed - Table %.10s status %d", layout.totalLength,
                header.tableName, status::kNoMemory);
    return trace.Exit(status::kNoMemory, __LINE__);
  }
  auto* filter = new (memory) Filter{};
  filter->planCopy = reinterpret_cast<PlanHeader*>(BytesAt(memory, static_cast<std::ptrdiff_t>(layout.planOffset)));
  std::memcpy(filter->planCopy, &header, sizeof header);
  filter->poolCopy = BytesAt(memory, static_cast<std::ptrdiff_t>(layout.poolOffset));
  std::memcpy(filter->poolCopy, pool, layout.poolLength);
  filter->planCopyLength = static_cast<std::uint32_t>(layout.planLength);
  filter->poolCopyLength = static_cast<std::uint32_t>(layout.poolLength);
  filter->recordLength = static_cast<std::uint32_t>(header.recordLength);
  filter->elementCount = header.elementCount;
  filter->elements = reinterpret_cast<FilterElement*>(BytesAt(filter->planCopy, kPlanHeaderSize));
  filter->facts = reinterpret_cast<ElementFacts*>(BytesAt(memory, static_cast<std::ptrdiff_t>(layout.factsOffset)));
  filter->steps = reinterpret_cast<Step*>(BytesAt(memory, static_cast<std::ptrdiff_t>(layout.stepsOffset)));

  if (trace.Has(trace_bit::k01)) SelectTracing(*filter);

  Creation creation{block, trace, *filter};
  std::int32_t st = status::kOk;
  for (int i = 0; i < filter->elementCount && st == status::kOk; ++i) {
    st = PrepareElement(creation, i, planBytes + kPlanHeaderSize + static_cast<std::size_t>(i) * header.elementLength);
  }
  if (st == status::kOk) st = BindLiterals(creation);
  if (st == status::kOk) {
    for (int i = 0; i < filter->elementCount; ++i) {
      FilterElement& element = filter->elements[i];
      const BoundRoutine bound = FastPath(element, *filter->facts[i].cell);
      element.routine = bound.routine;
      filter->steps[i] = Step{bound.routine, bound.batch, element.trueSkip, element.falseSkip};
    }
    // Last, since runs and joins are made of steps bound to their elements' plain routines; runs first,
    // since a run's routine is faster than a join of the same equalities.
    equality_runs::BindRuns(*filter);
    joined_compares::BindJoins(*filter);
  }
  constexpr std::uint16_t kLocaleFlags = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;
  if (st == status::kOk && (header.planFlags & kLocaleFlags) == kLocaleFlags) st = SetUpLocale(block, trace, *filter);
  if (st != status::kOk) {
    ReleaseFilter(filter);
    return trace.Exit(st, __LINE__);
  }
  const Step* first = filter->steps;
  filter->firstElementDecides = filter->elementCount > 0 && first->trueSkip >= filter->elementCount &&
                                first->falseSkip >= filter->elementCount;

  handle->sequence = NextSequence();
  handle->reserved = 0;
  handle->filter = filter;
  return trace.Exit(status::kOk, __LINE__);
}

}  // namespace vexfilt
