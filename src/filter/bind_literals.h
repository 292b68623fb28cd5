// Creation's binding of operands to the pool, and the proof that each holds what its routine reads.
#ifndef VEXFILT_FILTER_BIND_LITERALS_H_
#define VEXFILT_FILTER_BIND_LITERALS_H_

#include <cstdint>

#include "filter/create.h"

namespace vexfilt {

// Binds every element's operands to the pool entries named by its literal ids, and prepares what the
// routines will read there (LIKE pattern lengths, column descriptors); 0, or 6 after a message.
std::int32_t BindLiterals(Creation& creation);

// Every routine finds at its operand references the bytes it reads, and every structure it trusts is
// sound; 0, or 6 after a message. Run again by modification over the literals it replaces.
std::int32_t CheckOperands(Creation& creation);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_BIND_LITERALS_H_
