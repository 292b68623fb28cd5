// The change a row's CHANGE() or PCTCHANGE() saw, printed beside the row: the library compares the change
// but keeps it to itself, so the program follows the same values by the same keys.
#ifndef VEXFILT_TOOLS_VEXFILT_CHANGE_COLUMN_H_
#define VEXFILT_TOOLS_VEXFILT_CHANGE_COLUMN_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "vexcompile.h"

namespace vexfilt::cli {

class ChangeColumn {
 public:
  // Empty (name() "") when the plan has no change function.
  explicit ChangeColumn(const VxcPlan* plan);

  // "CHANGE(IO_KB)" or "PCTCHANGE(RSS_KB)"; "" when there is none to show.
  const std::string& name() const { return name_; }
  // Every row of a sample, in order, as the library sees them: the change since the key's row before, in
  // this sample or the one before; "" for a key seen for the first time.
  std::string Observe(const std::uint8_t* record, std::size_t length);
  // The sample is over: keys it did not have start again, as the library's do.
  void EndSample();

 private:
  struct Previous {
    std::int64_t value = 0;
    std::uint64_t sample = 0;
  };
  const VxcPlan* plan_;
  std::string name_;
  const char* column_ = nullptr;
  bool percent_ = false;
  std::vector<const char*> keys_;
  std::unordered_map<std::string, Previous> previous_;
  std::uint64_t sample_ = 1;
};

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_CHANGE_COLUMN_H_
