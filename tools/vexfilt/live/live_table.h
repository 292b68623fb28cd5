// The live tables of this machine: one sample of its processes, file systems, network interfaces or disks,
// read from the proc file system as rows of text fields that a schema's columns take.
#ifndef VEXFILT_TOOLS_VEXFILT_LIVE_LIVE_TABLE_H_
#define VEXFILT_TOOLS_VEXFILT_LIVE_LIVE_TABLE_H_

#include <sys/statvfs.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexfilt::cli {

// Where the tables are read from: this machine, or files captured from one (tests).
struct LiveRoot {
  std::string proc = "/proc";  // proc file system: PID dirs, stat, uptime, net/dev, diskstats, self/mounts
  std::string passwd;          // empty: user names from getpwuid_r; else a passwd file to read them from
  // Sizes of a mounted file system; empty: statvfs(2). Tests answer from captured figures.
  std::function<bool(const std::string& mountPoint, struct statvfs* out)> statfs;
  long ticksPerSecond = 0;  // 0: sysconf(_SC_CLK_TCK)
  long pageSize = 0;        // 0: sysconf(_SC_PAGESIZE)
};

class LiveTable {
 public:
  virtual ~LiveTable() = default;
  // Columns in record order, as the schema text the program compiles: "PID int32, PPID int32, ...".
  virtual std::string Schema() const = 0;
  // Columns that identify a row from one sample to the next (so CHANGE works without --key).
  virtual std::vector<std::string> KeyColumns() const = 0;
  // One sample read now from `root`: each row's fields in schema order, as text the schema's types take
  // ("42", "12.5", "2024-01-15 12:30:00.250"). Rates (CPU percent) are over the time since the previous Read
  // of this object. False with `error` set only when the table cannot be read at all.
  virtual bool Read(const LiveRoot& root, std::vector<std::vector<std::string>>* rows, std::string* error) = 0;
};

// "processes", "filesystems", "interfaces", "disks"; nullptr for another name.
std::unique_ptr<LiveTable> OpenLiveTable(std::string_view name);
// The names OpenLiveTable knows, in that order.
const std::vector<std::string>& LiveTableNames();

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_LIVE_LIVE_TABLE_H_
