// CSV fields as the program writes them.
#ifndef VEXFILT_TOOLS_VEXFILT_CSV_H_
#define VEXFILT_TOOLS_VEXFILT_CSV_H_

#include <string>
#include <string_view>

namespace vexfilt::cli {

// A field as CSV output writes it: quoted only when it has to be; appended to `out`, or returned.
void AppendCsvField(std::string_view value, std::string* out);
std::string CsvField(std::string_view value);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_CSV_H_
