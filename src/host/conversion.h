// The data-conversion service: values of a sender's representation converted to the local one.
#ifndef VEXFILT_HOST_CONVERSION_H_
#define VEXFILT_HOST_CONVERSION_H_

#include <cstdint>

#include "host/representation.h"

namespace vexfilt {

// The service's static record; its 32-bit word at byte offset 4 is the local representation word.
struct ConversionStaticData {
  std::uint32_t reserved;
  std::uint32_t localRepresentation;
};
const ConversionStaticData* ConversionData();

// Converts `count` elements of `elementType` at `source`, in the representation `word`, to the local
// representation at `destination` (which may be `source`); returns the address after the last element
// written. Bytes (1) are copied; characters (2) go through code page 037 for EBCDIC; 16-bit (5) and 32-bit
// (7, 8) units follow the integers' byte order; 4-byte (12) and 8-byte (14) floating-point units follow
// the float format; a whole value (13) is `count` characters.
// REQUIRES: Representation::Of(word).Supported().
std::uint8_t* ConvertArray(std::uint32_t word, int elementType, const std::uint8_t* source,
                                std::uint8_t* destination, std::int32_t count);

}  // namespace vexfilt

#endif  // VEXFILT_HOST_CONVERSION_H_
