#include "host/conversion.h"

namespace vexfilt {

const ConversionStaticData* ConversionData() {
  static const ConversionStaticData data{0, kLocalRepresentation.Word()};
  return &data;
}

std::uint8_t* ConvertArray(std::uint32_t word, int elementType, const std::uint8_t* source,
                                std::uint8_t* destination, std::int32_t count) {
  return representation::Convert(representation::Direction::kToLocal, word, elementType, source, destination, count);
}

}  // namespace vexfilt
