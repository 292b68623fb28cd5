#include "filter/configuration.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "host/services.h"

namespace vexfilt {

bool EnableFireConfigured() {
  if (std::strcmp(ConfigurationValue("VEX_RATE_ENABLEFIRE", "NO"), "YES") == 0) return true;
  return std::strcmp(ConfigurationValue("VEX_RATE_ENABLEFIRE", "FALSE"), "TRUE") == 0;
}

std::uint32_t ChangeCacheLimit() {
  const long kibibytes = std::atol(ConfigurationValue("VEX_RATE_CACHE_SIZE", "8192"));
  if (kibibytes <= 0) return 0;
  constexpr long kMaxKibibytes = std::numeric_limits<std::uint32_t>::max() >> 10;
  if (kibibytes > kMaxKibibytes) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(kibibytes) << 10;
}

}  // namespace vexfilt
