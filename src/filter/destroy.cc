// FLT1_DestroyFilter, and the release of a Filter that creation could not finish.
#include "filter/destroy.h"

#include "core/change_control.h"
#include "core/memory.h"
#include "core/status.h"
#include "host/nls.h"
#include "routines/change_cache.h"

namespace vexfilt {

void ReleaseFilter(Filter* filter) {
  if (filter == nullptr) return;
  if (filter->ownership & kOwnsSearchList) {
    ReleaseBlock(filter->ownedSearchList, "vexflt1", __LINE__);
    filter->ownedSearchList = nullptr;
  }
  if (filter->locale != nullptr) {
    LCL2_ReleaseLocale(filter->locale);
    filter->locale = nullptr;
  }
  if (filter->filterFlags & filter_flag::kHasChange) {
    for (int i = 0; i < filter->elementCount; ++i) {
      FilterElement& element = filter->elements[i];
      if (!fn::IsChange(element.functionCode) || element.rightData == nullptr) continue;
      auto* control = static_cast<std::uint8_t*>(element.rightData);
      DestroyChangeCache(change_control::CacheOf(control));
      StoreUnaligned<void*>(control + change_control::kCache, nullptr);
    }
  }
  for (int i = 0; i < filter->elementCount; ++i) {
    FilterElement& element = filter->elements[i];
    if (element.leftFlags & rep::kOwnedLiteral) ReleaseBlock(element.leftData, "vexflt1", __LINE__);
    if (element.rightFlags & rep::kOwnedLiteral) ReleaseBlock(element.rightData, "vexflt1", __LINE__);
  }
  ReleaseBlock(filter, "vexflt1", __LINE__);
}

std::int32_t DestroyFilter(FilterHandle handle) {
  ReleaseFilter(FilterOf(handle));
  return status::kOk;
}

}  // namespace vexfilt
