// Plans and pools as a machine of another data representation writes them: a locally built buffer
// converted field by field (integers in its byte order, characters in its code set, doubles in its format).
//
//   auto plan = ForeignPlan(builder.Build(), kMainframe.Word());   // EBCDIC, big-endian, IBM float
#ifndef VEXFILT_PLAN_FOREIGN_H_
#define VEXFILT_PLAN_FOREIGN_H_

#include <cstdint>
#include <vector>

#include "host/representation.h"

namespace vexfilt::plan {

// REQUIRES: `word` names a representation the library serves; the buffers are consistent.
std::vector<std::uint8_t> ForeignPlan(std::vector<std::uint8_t> plan, std::uint32_t word);
std::vector<std::uint8_t> ForeignPool(std::vector<std::uint8_t> pool, std::uint32_t word);

}  // namespace vexfilt::plan

#endif  // VEXFILT_PLAN_FOREIGN_H_
