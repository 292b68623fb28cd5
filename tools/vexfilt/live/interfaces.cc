// The interfaces table: a row per network interface, with the counters of /proc/net/dev.
#include "live_text.h"

namespace vexfilt::cli::live {
namespace {

const std::vector<Column> kColumns = {{"NAME", "char(16)"},     {"RX_KB", "uint32"},      {"RX_PACKETS", "uint32"},
                                      {"RX_ERRORS", "uint32"},  {"RX_DROPPED", "uint32"}, {"TX_KB", "uint32"},
                                      {"TX_PACKETS", "uint32"}, {"TX_ERRORS", "uint32"},  {"TX_DROPPED", "uint32"}};

class Interfaces : public FixedTable {
 public:
  Interfaces() : FixedTable(kColumns, {"NAME"}) {}

  bool Read(const LiveRoot& root, std::vector<std::vector<std::string>>* rows, std::string* error) override {
    rows->clear();
    const std::string path = root.proc + "/net/dev";
    std::string text;
    if (!ReadSource(path, &text, error)) return false;
    // "  eth0: bytes packets errs drop fifo frame compressed multicast  bytes packets errs drop ..." after two
    // heading lines; the counters may follow the colon without a blank.
    for (std::string_view line : Lines(text)) {
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      const std::vector<std::string_view> name = Words(line.substr(0, colon));
      const std::vector<std::string_view> words = Words(line.substr(colon + 1));
      std::uint64_t counters[12];
      bool read = name.size() == 1 && words.size() >= 12;
      for (std::size_t i = 0; read && i < 12; ++i) read = ParseNumber(words[i], &counters[i]);
      if (!read) continue;
      rows->push_back({Fitted(name[0], 16), Uint32Text(counters[0] / 1024), Uint32Text(counters[1]),
                       Uint32Text(counters[2]), Uint32Text(counters[3]), Uint32Text(counters[8] / 1024),
                       Uint32Text(counters[9]), Uint32Text(counters[10]), Uint32Text(counters[11])});
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<LiveTable> OpenInterfaces() { return std::make_unique<Interfaces>(); }

}  // namespace vexfilt::cli::live
