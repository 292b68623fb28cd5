// The processes table: a row per /proc/PID directory, from its stat, status and io files.
#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "live_text.h"

namespace vexfilt::cli::live {
namespace {

const std::vector<Column> kColumns = {{"PID", "int32"},      {"PPID", "int32"},      {"USER", "char(32)"},
                                      {"NAME", "char(16)"},  {"STATE", "char(1)"},   {"CPU", "double"},
                                      {"RSS_KB", "uint32"},  {"VSIZE_KB", "double"}, {"THREADS", "int32"},
                                      {"READ_KB", "uint32"}, {"WRITE_KB", "uint32"}, {"START", "timestamp"}};

// Fields of /proc/PID/stat after the name, counted from the state (the third field) as 0.
enum StatField {
  kState = 0,
  kPpid = 1,
  kUtime = 11,
  kStime = 12,
  kThreads = 17,
  kStartTime = 19,
  kVsize = 20,
  kRss = 21
};

struct Stat {
  std::string_view name;
  std::string_view state;
  std::int64_t ppid = 0;
  std::uint64_t ticks = 0;  // utime + stime
  std::int64_t threads = 0;
  std::uint64_t startTicks = 0;  // after boot
  std::uint64_t vsize = 0;       // bytes
  std::int64_t rss = 0;          // pages
};

bool ParseStat(std::string_view text, Stat* stat) {
  // The name may hold blanks and parentheses of its own: it ends at the last ')'.
  const std::size_t open = text.find('(');
  const std::size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return false;
  stat->name = text.substr(open + 1, close - open - 1);
  const std::vector<std::string_view> words = Words(text.substr(close + 1));
  if (words.size() <= kRss) return false;
  std::uint64_t utime = 0, stime = 0;
  stat->state = words[kState];
  const bool read = ParseNumber(words[kPpid], &stat->ppid) && ParseNumber(words[kUtime], &utime) &&
                    ParseNumber(words[kStime], &stime) && ParseNumber(words[kThreads], &stat->threads) &&
                    ParseNumber(words[kStartTime], &stat->startTicks) && ParseNumber(words[kVsize], &stat->vsize) &&
                    ParseNumber(words[kRss], &stat->rss);
  stat->ticks = utime + stime;
  return read;
}

// The first number after the label of a line ("Uid:", "read_bytes:"); false when no line has it.
bool LabelledNumber(std::string_view text, std::string_view label, std::uint64_t* value) {
  for (std::string_view line : Lines(text)) {
    if (!line.starts_with(label)) continue;
    const std::vector<std::string_view> words = Words(line.substr(label.size()));
    return !words.empty() && ParseNumber(words[0], value);
  }
  return false;
}

// User names by uid, looked up once per sample; a uid without a name is shown as its number, as ps does.
class UserNames {
 public:
  bool Load(const std::string& passwdFile, std::string* error) {
    fromFile_ = !passwdFile.empty();
    if (!fromFile_) return true;
    std::string text;
    if (!ReadSource(passwdFile, &text, error)) return false;
    for (std::string_view line : Lines(text)) {
      // name:password:uid:...
      const std::size_t first = line.find(':');
      const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
      if (second == std::string_view::npos) continue;
      const std::size_t third = line.find(':', second + 1);
      std::uint64_t uid = 0;
      if (ParseNumber(line.substr(second + 1, third - second - 1), &uid)) {
        names_.emplace(uid, std::string(line.substr(0, first)));  // the first entry of a uid names it
      }
    }
    return true;
  }

  const std::string& Name(std::uint64_t uid) {
    auto found = names_.find(uid);
    if (found != names_.end()) return found->second;
    std::string name = std::to_string(uid);
    if (!fromFile_) {
      std::vector<char> buffer(1024);
      passwd entry{};
      passwd* result = nullptr;
      int failure;
      while ((failure = getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &result)) == ERANGE) {
        buffer.resize(buffer.size() * 2);
      }
      if (failure == 0 && result != nullptr) name = result->pw_name;
    }
    return names_.emplace(uid, std::move(name)).first->second;
  }

 private:
  bool fromFile_ = false;
  std::unordered_map<std::uint64_t, std::string> names_;
};

// Local time with milliseconds, as a timestamp column takes it; blank when the time cannot be shown.
std::string LocalTimestamp(std::int64_t milliseconds) {
  const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
  std::tm local{};
  char text[64];
  if (localtime_r(&seconds, &local) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
    return "";
  }
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(milliseconds % 1000));
  return std::string(text) + fraction;
}

std::vector<long> ListPids(const std::string& proc, int* error) {
  std::vector<long> pids;
  DIR* dir = ::opendir(proc.c_str());
  if (dir == nullptr) {
    *error = errno;
    return pids;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    long pid = 0;
    const auto [end, failure] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (failure == std::errc() && end == name.data() + name.size() && pid > 0) pids.push_back(pid);
  }
  ::closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

class Processes : public FixedTable {
 public:
  Processes() : FixedTable(kColumns, {"PID"}) {}

  bool Read(const LiveRoot& root, std::vector<std::vector<std::string>>* rows, std::string* error) override {
    rows->clear();
    const auto hertz = static_cast<std::uint64_t>(root.ticksPerSecond > 0 ? root.ticksPerSecond : sysconf(_SC_CLK_TCK));
    const auto ticksPerSecond = static_cast<double>(hertz);
    const std::uint64_t pageSize =
        static_cast<std::uint64_t>(root.pageSize > 0 ? root.pageSize : sysconf(_SC_PAGESIZE));
    double uptime = 0;
    std::uint64_t bootTime = 0;
    if (!ReadClock(root.proc, &uptime, &bootTime, error)) return false;
    UserNames users;
    if (!users.Load(root.passwd, error)) return false;
    int failure = 0;
    const std::vector<long> pids = ListPids(root.proc, &failure);
    if (failure != 0) {
      *error = CannotRead(root.proc, failure);
      return false;
    }

    std::unordered_map<long, Seen> seen;
    std::string statText, statusText, ioText;
    for (const long pid : pids) {
      const std::string dir = root.proc + "/" + std::to_string(pid);
      // A process that ended after the listing has no files left (ENOENT, ESRCH) or an empty stat: no row.
      Stat stat;
      std::uint64_t uid = 0;
      if (ReadWholeFile(dir + "/stat", &statText) != 0 || !ParseStat(statText, &stat)) continue;
      if (ReadWholeFile(dir + "/status", &statusText) != 0 || !LabelledNumber(statusText, "Uid:", &uid)) continue;
      // Another user's io is closed to an unprivileged reader: its counters show as 0.
      std::uint64_t readBytes = 0, writeBytes = 0;
      if (ReadWholeFile(dir + "/io", &ioText) == 0) {
        LabelledNumber(ioText, "read_bytes:", &readBytes);
        LabelledNumber(ioText, "write_bytes:", &writeBytes);
      }

      // CPU over the interval since the previous sample; over the process's life (as ps shows it) when there
      // is none: the first sample, a process started since, a PID taken by a new process, or two samples
      // within the clock's hundredth of a second.
      std::uint64_t used = stat.ticks;
      double seconds = uptime - static_cast<double>(stat.startTicks) / ticksPerSecond;
      const auto before = seen_.find(pid);
      if (before != seen_.end() && before->second.startTicks == stat.startTicks && stat.ticks >= before->second.ticks &&
          uptime > uptime_) {
        used = stat.ticks - before->second.ticks;
        seconds = uptime - uptime_;
      }
      const double cpu = seconds > 0 ? RoundToTenth(static_cast<double>(used) / ticksPerSecond / seconds * 100) : 0;
      seen.emplace(pid, Seen{stat.startTicks, stat.ticks});

      const auto startMs = static_cast<std::int64_t>(bootTime * 1000 + stat.startTicks * 1000 / hertz);
      rows->push_back({std::to_string(pid), std::to_string(stat.ppid), Fitted(users.Name(uid), 32),
                       Fitted(stat.name, 16), Fitted(stat.state, 1), DoubleText(cpu),
                       Uint32Text(static_cast<std::uint64_t>(std::max<std::int64_t>(stat.rss, 0)) * pageSize / 1024),
                       DoubleText(static_cast<double>(stat.vsize) / 1024), std::to_string(stat.threads),
                       Uint32Text(readBytes / 1024), Uint32Text(writeBytes / 1024), LocalTimestamp(startMs)});
    }
    seen_ = std::move(seen);
    uptime_ = uptime;
    return true;
  }

 private:
  struct Seen {
    std::uint64_t startTicks;  // with the PID, tells the process from a later one given the same PID
    std::uint64_t ticks;
  };

  // Seconds since boot, and the boot's time in seconds since the epoch.
  static bool ReadClock(const std::string& proc, double* uptime, std::uint64_t* bootTime, std::string* error) {
    std::string text;
    const std::string uptimePath = proc + "/uptime";
    if (!ReadSource(uptimePath, &text, error)) return false;
    const std::vector<std::string_view> words = Words(text);
    if (words.empty() ||
        std::from_chars(words[0].data(), words[0].data() + words[0].size(), *uptime).ec != std::errc()) {
      *error = uptimePath + ": holds no uptime";
      return false;
    }
    const std::string statPath = proc + "/stat";
    if (!ReadSource(statPath, &text, error)) return false;
    if (!LabelledNumber(text, "btime ", bootTime)) {
      *error = statPath + ": holds no btime";
      return false;
    }
    return true;
  }

  std::unordered_map<long, Seen> seen_;
  double uptime_ = 0;
};

}  // namespace

std::unique_ptr<LiveTable> OpenProcesses() { return std::make_unique<Processes>(); }

}  // namespace vexfilt::cli::live
