// Translation of a Filter Plan and a Literal Pool, in place, from a sender's data representation.
#ifndef VEXFILT_TRANSLATE_TRANSLATE_H_
#define VEXFILT_TRANSLATE_TRANSLATE_H_

#include <cstdint>

namespace vexfilt {

// 0 (also when the sender's representation is the local one: nothing is touched), or 6 when the plan's
// element length or total length is inconsistent, or its representation is not one this library serves.
std::int32_t TranslatePlan(std::uint32_t representationWord, std::uint8_t* plan);

// 0, or 8 when an entry has a kind the pool's version does not allow, lengths that leave the pool, or the
// representation is not one this library serves.
std::int32_t TranslatePool(std::uint32_t representationWord, std::uint8_t* pool);

}  // namespace vexfilt

#endif  // VEXFILT_TRANSLATE_TRANSLATE_H_
