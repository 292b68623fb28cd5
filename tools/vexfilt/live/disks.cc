// The disks table: a row per block device, with the counters of /proc/diskstats.
#include "live_text.h"

namespace vexfilt::cli::live {
namespace {

const std::vector<Column> kColumns = {{"NAME", "char(32)"},   {"READS", "uint32"},       {"READ_KB", "uint32"},
                                      {"READ_MS", "uint32"},  {"WRITES", "uint32"},      {"WRITE_KB", "uint32"},
                                      {"WRITE_MS", "uint32"}, {"IN_PROGRESS", "uint32"}, {"IO_MS", "uint32"}};

// Fields of a diskstats line: major minor name, then reads, reads merged, sectors read, ms reading, writes,
// writes merged, sectors written, ms writing, I/Os in progress, ms doing I/O, and more on newer kernels.
enum Field {
  kName = 2,
  kReads = 3,
  kSectorsRead = 5,
  kReadMs = 6,
  kWrites = 7,
  kSectorsWritten = 9,
  kWriteMs = 10,
  kInProgress = 11,
  kIoMs = 12
};

class Disks : public FixedTable {
 public:
  Disks() : FixedTable(kColumns, {"NAME"}) {}

  bool Read(const LiveRoot& root, std::vector<std::vector<std::string>>* rows, std::string* error) override {
    rows->clear();
    const std::string path = root.proc + "/diskstats";
    std::string text;
    if (!ReadSource(path, &text, error)) return false;
    for (std::string_view line : Lines(text)) {
      const std::vector<std::string_view> words = Words(line);
      std::uint64_t counters[kIoMs + 1] = {};
      bool read = words.size() > kIoMs;
      for (std::size_t i = kReads; read && i <= kIoMs; ++i) read = ParseNumber(words[i], &counters[i]);
      if (!read) continue;
      // Sectors are 512 bytes whatever the device's own sector size.
      rows->push_back({Fitted(words[kName], 32), Uint32Text(counters[kReads]), Uint32Text(counters[kSectorsRead] / 2),
                       Uint32Text(counters[kReadMs]), Uint32Text(counters[kWrites]),
                       Uint32Text(counters[kSectorsWritten] / 2), Uint32Text(counters[kWriteMs]),
                       Uint32Text(counters[kInProgress]), Uint32Text(counters[kIoMs])});
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<LiveTable> OpenDisks() { return std::make_unique<Disks>(); }

}  // namespace vexfilt::cli::live
