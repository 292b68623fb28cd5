#include "filter/plan_checks.h"

#include "core/bytes.h"
#include "core/plan_format.h"
#include "core/status.h"

namespace vexfilt {
namespace {

bool VersionAccepted(std::int16_t version) { return version >= kOldestVersion && version <= kNewestVersion; }

}  // namespace

std::int32_t CheckPlanAndPool(TraceBlock& block, const std::uint8_t* plan, std::int16_t planLength,
                              const std::uint8_t* pool, std::int16_t poolLength) {
  // Nothing below may read a header field that the buffers do not hold.
  if (planLength < static_cast<std::int16_t>(kPlanHeaderSize) || poolLength < static_cast<std::int16_t>(kPoolHeaderSize)) {
    TracePrintf(block, __LINE__, "FilterPlan or LiteralPool shorter than its header - %d/%d", planLength, poolLength);
    return status::kBadVersionOrLength;
  }
  const auto planVersion = LoadUnaligned<std::int16_t>(plan + offsetof(PlanHeader, version));
  const auto poolVersion = LoadUnaligned<std::int16_t>(pool + offsetof(PoolHeader, version));
  if (!VersionAccepted(planVersion) || !VersionAccepted(poolVersion)) {
    TracePrintf(block, __LINE__, "Unsupported version of FilterPlan or LiteralPool - %d/%d", planVersion, poolVersion);
    return status::kBadVersionOrLength;
  }

  const auto totalLength = LoadUnaligned<std::int16_t>(plan + offsetof(PlanHeader, totalLength));
  const auto elementLength = LoadUnaligned<std::int16_t>(plan + offsetof(PlanHeader, elementLength));
  const auto elementCount = LoadUnaligned<std::int16_t>(plan + offsetof(PlanHeader, elementCount));
  const auto recordSize = static_cast<std::int16_t>(kElementRecordSize);

  if (planVersion == kOldestVersion) {
    // Version 130 has no total length; its records must still fit in the length given.
    const bool fits = elementLength == recordSize && elementCount >= 0 &&
                      kPlanHeaderSize + static_cast<std::size_t>(elementCount) * kElementRecordSize <=
                          static_cast<std::size_t>(planLength);
    if (!fits) {
      TracePrintf(block, __LINE__, "Filter Element Length Error- %d/%d", elementLength, recordSize);
      return status::kBadVersionOrLength;
    }
    return status::kOk;
  }

  // The minimum is computed on 32 bits unsigned, as the plan's compiler does; the further conditions keep
  // every element record (192 bytes read from each) inside the plan.
  const std::uint32_t minimum = static_cast<std::uint32_t>(elementLength) * static_cast<std::uint32_t>(elementCount - 1) +
                                static_cast<std::uint32_t>(kPlanHeaderSize + kElementRecordSize);
  const bool fits = totalLength == planLength && static_cast<std::uint32_t>(totalLength) >= minimum &&
                    elementLength >= recordSize && elementCount >= 0;
  if (!fits) {
    TracePrintf(block, __LINE__, "Filter version %d Package/Element Length Error- %d = %d < %d %d/%d ", planVersion,
                planLength, totalLength, static_cast<std::int32_t>(minimum), elementLength, recordSize);
    return status::kBadVersionOrLength;
  }
  return status::kOk;
}

}  // namespace vexfilt
