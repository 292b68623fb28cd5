// Running a compiled predicate over samples through the C interfaces of the compiler and the library.
#ifndef VEXFILT_TOOLS_VEXFILT_RUN_H_
#define VEXFILT_TOOLS_VEXFILT_RUN_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "csv_stream.h"
#include "output.h"
#include "vexcompile.h"

namespace vexfilt::cli {

struct Sample {
  std::string name;  // shown in messages
  std::string text;  // CSV with a header row
};

struct RunOptions {
  bool countOnly = false;           // the number of matching rows instead of the rows
  bool sampleHeadings = false;      // a "# sample" line before each sample's rows
  bool planFromFile = false;        // the plan was loaded, not compiled here: a refusal is the file's fault
  bool missingOnly = false;         // only the expected keys a sample missed, not the rows
  bool ignoreExtraColumns = false;  // a CSV header may name columns the schema does not have
  bool namedCounts = false;         // several files: each count carries its file's name
  OutputFormat format = OutputFormat::kCsv;
};

// One Filter run over samples, each one FLT1_BeginSample ... FLT1_EndSample bracket. Rows are written into
// a batch of records and handed to the library in one call; the matching rows are printed in row order as
// each batch is decided, then after each sample the expected keys no row of it matched.
class SampleRunner {
 public:
  SampleRunner(const VxcPlan* plan, const RunOptions& options, std::FILE* out, std::FILE* err);
  ~SampleRunner();
  SampleRunner(const SampleRunner&) = delete;
  SampleRunner& operator=(const SampleRunner&) = delete;

  // False, after saying why, when the library refused the plan.
  bool Ready() const;
  // The schema's columns in record order.
  const std::vector<std::string>& columns() const;
  const RunOptions& options() const;
  std::FILE* err() const;

  void Begin(SampleLabel sample);
  // A row whose field i goes into the schema column columns[i] (-1: into none). A value its column cannot
  // hold is reported with `line` (0: none) and `row` (from 1), after the rows before it are decided and
  // printed, and the run is over: false.
  bool Row(std::span<const std::string_view> fields, std::span<const int> columns, int line, std::size_t row);
  // Decides the sample's last rows and prints its missing keys; false on an error.
  bool End();
  // 0 when some row of some sample matched, 1 when none did.
  int ExitStatus() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Samples of CSV rows from `stream`, each starting with a header that names every schema column in any
// order. A file is one sample. Standard input (`split`) starts a new sample after a line that equals
// `separator`, or each `everyMs` (> 0) of reading; a sample that had no rows is not one. After a
// separator, a row that names every schema column is the new sample's header; otherwise the rows go on
// under the header before. Returns false on an error, reported.
struct StreamSamples {
  bool split = false;
  bool timed = false;  // a sample's label carries when it began, as split samples' do
  std::string separator;
  int everyMs = 0;
  long limit = 0;                 // split: the stream is left after this many samples (0: read it all)
  std::size_t* number = nullptr;  // the samples run so far, counted up
};
bool RunCsvStream(SampleRunner& runner, CsvStream& stream, const std::string& name, const StreamSamples& how);

// The in-memory samples in order, each one file's worth. Exit status: 0 when rows matched, 1 when none did,
// 2 on an error (reported on `err`).
int RunSamples(const VxcPlan* plan, const std::vector<Sample>& samples, const RunOptions& options, std::FILE* out,
               std::FILE* err);

// The local time as "2024-01-15 12:30:00", for sample headings.
std::string LocalTimeNow();

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_RUN_H_
