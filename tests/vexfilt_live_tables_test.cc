// The live tables: samples read from files captured from a machine (tests/data/vexfilt/live), and from this one.
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "live_table.h"
#include "test_support.h"
#include "vexcompile.h"

namespace vexfilt::cli {
namespace {

using Rows = std::vector<std::vector<std::string>>;

const std::string kCaptured = VEXFILT_TEST_DATA "/vexfilt/live";

// What statvfs said of the captured machine's mounts; /mnt/gone was unmounted before it could be asked.
bool CapturedStatfs(const std::string& mountPoint, struct statvfs* out) {
  struct Figures {
    const char* mount;
    unsigned long frsize;
    fsblkcnt_t blocks, bfree, bavail;
    fsfilcnt_t files, ffree;
  };
  static const Figures kFigures[] = {
      {"/", 4096, 2621440, 1310720, 1179648, 655360, 600000},
      {"/proc", 4096, 0, 0, 0, 0, 0},
      {"/media/USB Stick", 512, 62914560, 20971520, 20971520, 0, 0},
      {"/tmp", 1024, 1048576, 1048576, 996147, 65536, 65525},
      {"/big", 4096, 1ull << 40, 1ull << 39, 1ull << 39, 100, 50},
  };
  for (const Figures& f : kFigures) {
    if (mountPoint != f.mount) continue;
    *out = {};
    out->f_bsize = 65536, out->f_frsize = f.frsize, out->f_blocks = f.blocks, out->f_bfree = f.bfree;
    out->f_bavail = f.bavail, out->f_files = f.files, out->f_ffree = f.ffree, out->f_favail = f.ffree;
    return true;
  }
  return false;
}

LiveRoot Captured(const std::string& snapshot) {
  LiveRoot root;
  root.proc = kCaptured + "/" + snapshot;
  root.passwd = kCaptured + "/passwd";
  root.statfs = CapturedStatfs;
  root.ticksPerSecond = 100;
  root.pageSize = 4096;
  return root;
}

// The schema compiles with the table's key columns, and every field goes into its column of a record.
void ExpectRecordsTakeRows(const LiveTable& table, const std::string& predicate, const Rows& rows) {
  std::vector<std::string> keys = table.KeyColumns();
  std::vector<const char*> keyNames;
  for (const std::string& key : keys) keyNames.push_back(key.c_str());
  const VxcOptions options{nullptr, nullptr, keyNames.data(), static_cast<int32_t>(keyNames.size())};
  VxcPlan* plan = nullptr;
  VxcError error{};
  ASSERT_EQ(VXC_CompileText(table.Schema().c_str(), predicate.c_str(), &options, &plan, &error), VXC_OK)
      << error.message;
  std::vector<unsigned char> record(static_cast<std::size_t>(VXC_RecordLength(plan)));
  for (const std::vector<std::string>& row : rows) {
    ASSERT_EQ(row.size(), static_cast<std::size_t>(VXC_ColumnCount(plan)));
    for (std::size_t i = 0; i < row.size(); ++i) {
      const char* column = VXC_ColumnName(plan, static_cast<int32_t>(i));
      EXPECT_EQ(VXC_PutValue(plan, column, row[i].c_str(), record.data(), VXC_RecordLength(plan), &error), VXC_OK)
          << column << ": " << error.message;
    }
  }
  VXC_FreePlan(plan);
}

Rows ReadRows(LiveTable& table, const LiveRoot& root) {
  Rows rows;
  std::string error;
  EXPECT_TRUE(table.Read(root, &rows, &error)) << error;
  return rows;
}

struct Sample {
  const char* snapshot;
  Rows rows;
};
struct TableCase {
  const char* name;
  const char* predicate;        // any that compiles over the schema
  std::vector<Sample> samples;  // read one after the other by one table
};

const TableCase kTables[] = {
    // CPU of the first sample is over each process's life; of the second, over the 2 s between the two.
    // 812's name holds parentheses, 1500's blanks and parentheses and its user has no name; 10 is a kernel
    // thread whose name is cut before the 'é' that would cross the column's end; 2000 ends before proc-2,
    // 3000 starts after proc-1 and 4000 ends while proc-2 is read.
    {"processes",
     "PID > 0",
     {{"proc-1",
       {{"1", "0", "root", "systemd", "S", "0.5", "12000", "166016", "1", "0", "0", "2024-01-15 12:00:00.100"},
        {"10", "2", "root", "kworker/0:0H-ev", "I", "0", "0", "0", "1", "0", "0", "2024-01-15 12:00:00.300"},
        {"812", "811", "alice", "(sd-pam)", "S", "0", "1000", "24576", "1", "8", "4294967295",
         "2024-01-15 12:08:20.750"},
        {"1500", "1", "4242", "my (odd) name", "R", "50", "20000", "137438953472", "4", "1024", "0",
         "2024-01-15 12:15:00.000"},
        {"2000", "1", "www-data", "cron?job", "S", "20", "400", "4000", "1", "0", "0", "2024-01-15 12:16:39.000"}}},
      {"proc-2",
       {{"1", "0", "root", "systemd", "S", "66.5", "12000", "166016", "1", "0", "0", "2024-01-15 12:00:00.100"},
        {"10", "2", "root", "kworker/0:0H-ev", "I", "0", "0", "0", "1", "0", "0", "2024-01-15 12:00:00.300"},
        {"812", "811", "alice", "(sd-pam)", "S", "0.5", "1000", "24576", "1", "8", "4294967295",
         "2024-01-15 12:08:20.750"},
        {"1500", "1", "4242", "my (odd) name", "R", "150", "20400", "137438953472", "4", "1024", "0",
         "2024-01-15 12:15:00.000"},
        {"3000", "1", "www-data", "late", "S", "25", "800", "8000", "1", "0", "4", "2024-01-15 12:16:41.000"}}}}},
    // /proc has no blocks, /mnt/gone cannot be asked, and the later /tmp hides the earlier.
    {"filesystems",
     "USE_PCT > 0",
     {{"proc-1",
       {{"/", "ext4", "/dev/vda1", "10240", "5120", "4608", "52.6", "655360", "55360", "8.4"},
        {"/media/USB Stick", "vfat", "/dev/sdb1", "30720", "20480", "10240", "66.7", "0", "0", "0"},
        {"/tmp", "ext4", "/dev/sdc1", "1024", "0", "972", "0", "65536", "11", "0"},
        {"/big", "xfs", "/dev/md0", "4294967295", "2147483648", "2147483648", "50", "100", "50", "50"}}}}},
    {"interfaces",
     "RX_KB > 0",
     {{"proc-1",
       {{"lo", "19", "174", "0", "0", "19", "174", "0", "0"},
        {"eth0", "18350", "909", "1", "2", "66", "847", "3", "4"},
        {"wlan0", "4294967295", "4294967295", "0", "0", "1", "1", "0", "0"}}}}},
    {"disks",
     "READS > 0",
     {{"proc-1",
       {{"loop0", "0", "0", "0", "0", "0", "0", "0", "0"},
        {"vda", "754263", "16063577", "703648", "179040", "89243552", "435034", "0", "160136"},
        {"sda", "100", "1024", "50", "20", "2048", "70", "1", "120"}}}}},
};

TEST(LiveTables, CapturedSamplesReadAsRows) {
  testing::UtcZone utc;
  std::vector<std::string> names;
  for (const TableCase& c : kTables) {
    SCOPED_TRACE(c.name);
    names.push_back(c.name);
    std::unique_ptr<LiveTable> table = OpenLiveTable(c.name);
    ASSERT_NE(table, nullptr);
    for (const Sample& sample : c.samples) {
      SCOPED_TRACE(sample.snapshot);
      const Rows rows = ReadRows(*table, Captured(sample.snapshot));
      EXPECT_EQ(rows, sample.rows);
      ExpectRecordsTakeRows(*table, c.predicate, rows);
    }
  }
  EXPECT_EQ(LiveTableNames(), names);
  EXPECT_EQ(OpenLiveTable("process"), nullptr);
}

TEST(LiveTables, AMissingProcFileSystemIsAnError) {
  for (const std::string& name : LiveTableNames()) {
    Rows rows;
    std::string error;
    EXPECT_FALSE(OpenLiveTable(name)->Read(Captured("no-such-dir"), &rows, &error)) << name;
    EXPECT_NE(error.find("/no-such-dir/"), std::string::npos) << error;
  }
}

TEST(LiveTables, ThisMachine) {
  std::unique_ptr<LiveTable> processes = OpenLiveTable("processes");
  ReadRows(*processes, LiveRoot{});
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
       std::chrono::steady_clock::now() < end;) {
  }
  const Rows rows = ReadRows(*processes, LiveRoot{});
  ExpectRecordsTakeRows(*processes, "PID > 0", rows);
  const std::string pid = std::to_string(getpid());
  const std::string name = std::string(program_invocation_short_name).substr(0, 15);
  bool found = false;
  for (const std::vector<std::string>& row : rows) {
    if (row[0] != pid) continue;
    found = true;
    EXPECT_EQ(row[3], name);
    EXPECT_GE(std::stod(row[5]), 0);
    EXPECT_LE(std::stod(row[5]), 100.0 * static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)) + 1);
    EXPECT_GT(std::stoul(row[6]), 1000u);
  }
  EXPECT_TRUE(found) << pid;

  for (const char* other : {"filesystems", "interfaces", "disks"}) {
    std::unique_ptr<LiveTable> table = OpenLiveTable(other);
    const Rows sample = ReadRows(*table, LiveRoot{});
    ExpectRecordsTakeRows(*table, table->KeyColumns()[0] + " <> 'x'", sample);
    if (std::string(other) == "filesystems") {
      EXPECT_FALSE(sample.empty());
    }
  }
}

}  // namespace
}  // namespace vexfilt::cli
