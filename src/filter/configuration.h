// Configuration variables read at creation. Values are compared case-sensitively.
#ifndef VEXFILT_FILTER_CONFIGURATION_H_
#define VEXFILT_FILTER_CONFIGURATION_H_

#include <cstdint>

namespace vexfilt {

// VEX_RATE_ENABLEFIRE: "YES" (or, failing that, "TRUE") makes change functions fire on a key's first sample.
bool EnableFireConfigured();

// VEX_RATE_CACHE_SIZE in KiB (default 8192) as the heap limit of a change-value cache in bytes; 0 means no
// limit (a value that is not a number, or a negative one). A limit beyond 32 bits saturates.
std::uint32_t ChangeCacheLimit();

// The cached VEX_TRACEFILTER value: read at the first creation traced with bit 0x01, and again only while
// it is empty. Tests forget it to read the variable again.
void ForgetTraceFilterSetting();

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CONFIGURATION_H_
