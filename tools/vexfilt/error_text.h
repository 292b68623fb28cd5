// How vexfilt shows a predicate the compiler refused.
#ifndef VEXFILT_TOOLS_VEXFILT_ERROR_TEXT_H_
#define VEXFILT_TOOLS_VEXFILT_ERROR_TEXT_H_

#include <string>
#include <string_view>

#include "vexcompile.h"

namespace vexfilt::cli {

// "error: MESSAGE", then the line of the predicate the fault is on with a caret under its character:
//
//   error: unknown column 'CPUX'
//     CPU > 1 AND CPUX < 5
//                 ^
//
// A predicate of several lines names the line ("error: line 2: ..."); an error without a place is the
// message alone.
std::string CompileErrorText(std::string_view predicate, const VxcError& error);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_ERROR_TEXT_H_
