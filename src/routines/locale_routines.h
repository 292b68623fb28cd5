// Locale-aware character routines (slots 25 to 31): UTF-8 text compared, matched and searched in the
// collation of the Filter's language, in the shape of the plain character routines.
#ifndef VEXFILT_ROUTINES_LOCALE_ROUTINES_H_
#define VEXFILT_ROUTINES_LOCALE_ROUTINES_H_

#include <cstdint>

#include "core/filter.h"
#include "routines/character_routines.h"

namespace vexfilt {

namespace locale_aware {

// Outcome functions of the locale-aware routines.
std::int32_t FixedColumnLiteral(FilterElement& e, const std::uint8_t* record);
std::int32_t FixedColumnColumn(FilterElement& e, const std::uint8_t* record);
std::int32_t ResultLiteral(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnLiteral(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnColumn(FilterElement& e, const std::uint8_t* record);

std::int32_t FixedColumnLike(FilterElement& e, const std::uint8_t* record);
std::int32_t FixedColumnColumnLike(FilterElement& e, const std::uint8_t* record);
std::int32_t ResultLike(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnLike(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnColumnLike(FilterElement& e, const std::uint8_t* record);

std::int32_t FixedColumnSearch(FilterElement& e, const std::uint8_t* record);
std::int32_t VaryingColumnSearch(FilterElement& e, const std::uint8_t* record);

}  // namespace locale_aware

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_LOCALE_ROUTINES_H_
