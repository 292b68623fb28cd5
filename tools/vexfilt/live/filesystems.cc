// The filesystems table: a row per mounted file system with blocks, as df shows them by default.
#include <sys/statvfs.h>

#include <algorithm>
#include <unordered_set>

#include "live_text.h"

namespace vexfilt::cli::live {
namespace {

const std::vector<Column> kColumns = {{"MOUNT", "varchar(256)"}, {"TYPE", "char(16)"},  {"DEVICE", "varchar(256)"},
                                      {"SIZE_MB", "uint32"},     {"USED_MB", "uint32"}, {"AVAIL_MB", "uint32"},
                                      {"USE_PCT", "double"},     {"INODES", "uint32"},  {"IUSED", "uint32"},
                                      {"IUSE_PCT", "double"}};

// The mounts file writes a blank, tab, newline or backslash of a name as \ and three octal digits.
std::string Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto octal = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '7'; };
    if (text[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Mebibytes of `blocks` of `blockSize` bytes, without the product overflowing.
std::uint64_t Megabytes(std::uint64_t blocks, std::uint64_t blockSize) {
  constexpr std::uint64_t kMb = 1024 * 1024;
  return blocks / kMb * blockSize + blocks % kMb * blockSize / kMb;
}

// Percent of `used` in `used + free`, to a tenth; 0 of nothing.
std::string Percent(std::uint64_t used, std::uint64_t free) {
  const double total = static_cast<double>(used) + static_cast<double>(free);
  return DoubleText(total > 0 ? RoundToTenth(static_cast<double>(used) / total * 100) : 0);
}

class Filesystems : public FixedTable {
 public:
  Filesystems() : FixedTable(kColumns, {"MOUNT"}) {}

  bool Read(const LiveRoot& root, std::vector<std::vector<std::string>>* rows, std::string* error) override {
    rows->clear();
    const std::string path = root.proc + "/self/mounts";
    std::string text;
    if (!ReadSource(path, &text, error)) return false;
    struct Mount {
      std::string device, point, type;
    };
    std::vector<Mount> mounts;
    for (std::string_view line : Lines(text)) {
      const std::vector<std::string_view> words = Words(line);
      if (words.size() >= 3) mounts.push_back({Unescaped(words[0]), Unescaped(words[1]), std::string(words[2])});
    }
    // A mount point listed twice is the later mount, which hides the earlier one: only the last is kept.
    std::unordered_set<std::string> later;
    std::vector<const Mount*> kept;
    for (auto mount = mounts.rbegin(); mount != mounts.rend(); ++mount) {
      if (later.insert(mount->point).second) kept.insert(kept.begin(), &*mount);
    }

    for (const Mount* mount : kept) {
      struct statvfs figures {};
      const bool sized =
          root.statfs ? root.statfs(mount->point, &figures) : ::statvfs(mount->point.c_str(), &figures) == 0;
      // A mount that cannot be asked (gone, or closed to this user) and a pseudo file system without blocks
      // (proc, sysfs, cgroup) are left out, as df leaves them out.
      if (!sized || figures.f_blocks == 0) continue;
      const std::uint64_t blockSize = figures.f_frsize != 0 ? figures.f_frsize : figures.f_bsize;
      const std::uint64_t used = figures.f_blocks - std::min<std::uint64_t>(figures.f_bfree, figures.f_blocks);
      const std::uint64_t inodesUsed = figures.f_files - std::min<std::uint64_t>(figures.f_ffree, figures.f_files);
      rows->push_back({Fitted(mount->point, 256), Fitted(mount->type, 16), Fitted(mount->device, 256),
                       Uint32Text(Megabytes(figures.f_blocks, blockSize)), Uint32Text(Megabytes(used, blockSize)),
                       Uint32Text(Megabytes(figures.f_bavail, blockSize)), Percent(used, figures.f_bavail),
                       Uint32Text(figures.f_files), Uint32Text(inodesUsed), Percent(inodesUsed, figures.f_ffree)});
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<LiveTable> OpenFilesystems() { return std::make_unique<Filesystems>(); }

}  // namespace vexfilt::cli::live
