// vexfilt: filters CSV rows with a predicate compiled into a Filter Plan and run through the library.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "demo.h"
#include "error_text.h"
#include "run.h"
#include "sources.h"
#include "stop_signal.h"
#include "vexcompile.h"
#include "vexhost.h"

namespace {

using vexfilt::cli::RunOptions;

constexpr const char* kUsage = R"(usage: vexfilt --schema "COL TYPE, ..." [options] PREDICATE [FILE...]
       vexfilt --source TABLE [options] [PREDICATE]
       vexfilt --load-plan PLANFILE [options] [FILE...]
       vexfilt            (no arguments: runs an embedded process-table sample)

Filters CSV rows: the predicate is compiled once into a Filter Plan and a Literal Pool, and rows are read,
filtered and printed as they come, in batches, so memory stays small whatever the input's size. Each FILE
is one sample, run in order; standard input (- or no FILE) starts a new sample at each --sample-separator
line and each --every tick. A sample's header row names every schema column, in any order. Matching rows
are printed in schema order, the header once; after each sample, the expected keys that no row of the
sample has are printed as "# missing: KEY".

input:
  --schema TEXT        columns in record order: "PID int32, NAME char(16), CPU double"
                       types: int16 uint16 int32 uint32 double char(N) varchar(N)
                              utf8char(N) utf8varchar(N) timestamp
  --schema-file PATH   the same, one or more columns a line; # starts a comment
  --ignore-extra-columns  a header may name columns the schema does not have; they are skipped
  --sample-separator LINE  the line that ends a sample on standard input (default: an empty line)
  --source TABLE       sample this machine instead of reading CSV: processes, filesystems, interfaces,
                       disks (each with its own schema and key), or command:CMD, whose CSV output (with
                       a header, under --schema) is one sample each time it runs
  --every TIME         time between samples of --source or of standard input: 5s (default), 500ms, 2m
  --samples N          stop after N samples of --source or standard input (default: until interrupted;
                       an interrupt ends the run after the sample under way)
  --schema-only        print the --source table's schema, as --schema-file reads it, and exit

compiling:
  --key COL[,COL]      columns that identify a row from one sample to the next (for CHANGE); a --source
                       table has its own
  --table NAME         table name written into the plan, up to 10 characters (default TABLE)
  --language LANG      collation of utf8 columns: en_US (default), de_DE, sv_SE, fr, ... or a number

output:
  --format FORMAT      csv (default), table (aligned columns for a terminal) or jsonl (one JSON object
                       a line: sample, time, source and the columns, or missing, or count)
  --count              print the number of matching rows (per sample when there are several)
  --missing-only       print only the expected keys a sample missed, not the rows
  --headings           print "# sample N: FILE" before each sample's rows, with the time a sample was
                       taken from standard input or --source (on by default with --source)
  --explain            print the compiled plan, one line per element, and exit
  --dot                print the plan's jump graph for Graphviz (vexfilt ... --dot | dot -Tsvg) and exit
  --save-plan PATH     write the compiled plan and its schema to PATH and exit
  --load-plan PATH     run a plan written by --save-plan instead of compiling a predicate
  --trace LEVEL        library trace level for every block, then BLOCK=LEVEL pairs: 0x11,ColGTLit=0x41
                       (lines go to standard error, or to the file VEX_TRACE_FILE names)
  -h, --help           this text

predicate:
  COL = 10   COL <> 'text'   COL < OTHERCOL   (= <> < > <= >=, numbers and 'quoted' text)
  COL LIKE 'ab*c?'           * any run of characters, ? one character
  COL CONTAINS 'text'        the text occurs anywhere in the column
  SUBSTR(COL, 3, 2) = 'ab'   characters 3 and 4 (counted from 1)
  MKTIME(TS, '+90M') > '2024-01-15 12:00:00'   TS moved by D, H, M, S or T (ms); TS2 < MKTIME(TS, '-1D')
  CHANGE(COL) > 100          change of an int32/uint32 column since the key's previous sample (needs a key)
  PCTCHANGE(COL) >= 50       the same in percent of the previous value
  TRUE                       every row (the predicate --source takes when none is given)
  combined with AND, OR, NOT (also NOT LIKE, NOT CONTAINS) and parentheses
  EXPECT KEYS(COL) IN ('a', 'b')   before or after the predicate: keys expected in every sample, which
                       filter no row (KEYS(COL) IN (...) AND ... says the same)

exit status: 0 rows matched, 1 no row matched, 2 error
)";

bool ReadFile(const std::string& path, std::string* text) {
  if (path == "-") {
    text->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return true;
}

// Schema files: columns on lines, commas optional at line ends, # comments.
std::string SchemaFromFile(const std::string& text) {
  std::string joined;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    while (!line.empty() && (std::isspace(static_cast<unsigned char>(line.back())) || line.back() == ',')) line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    joined += (joined.empty() ? "" : ", ") + line;
  }
  return joined;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "error: %s\n(vexfilt --help shows the usage)\n", message.c_str());
  return 2;
}

bool TraceLevel(const std::string& text, std::uint32_t* level) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value > 0xFFFFFFFFul) return false;
  *level = static_cast<std::uint32_t>(value);
  return true;
}

// "0x11" or "0x01,ColGTLit=0x41,FLT1_CreateFilter=0x11", as VEX_TRACE_LEVEL reads.
bool SetTrace(const std::string& text, std::string* error) {
  std::stringstream parts(text);
  std::string part;
  bool first = true;
  while (std::getline(parts, part, ',')) {
    std::uint32_t level = 0;
    const std::size_t equals = part.find('=');
    if (first && equals == std::string::npos) {
      if (!TraceLevel(part, &level)) {
        *error = "--trace level '" + part + "' is not a number, e.g. 0x11";
        return false;
      }
      VEXH_SetTraceLevel(nullptr, level);
    } else if (equals == std::string::npos || equals == 0 || !TraceLevel(part.substr(equals + 1), &level)) {
      *error = "--trace '" + part + "' is not BLOCK=LEVEL, e.g. ColGTLit=0x41";
      return false;
    } else {
      VEXH_SetTraceLevel(part.substr(0, equals).c_str(), level);
    }
    first = false;
  }
  // Routines print their trace lines only in Filters chosen for tracing; the program's are, unless the
  // environment already names the tables to trace.
  setenv("VEX_TRACEFILTER", "ALL", 0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return vexfilt::cli::RunDemo(stdout, stderr);
  std::string schemaText, predicate, loadPath, savePath, traceText, source, separator, everyText, samplesText;
  bool haveSchema = false, havePredicate = false, explain = false, dot = false, haveTrace = false;
  bool haveTable = false, haveLanguage = false, schemaOnly = false, haveEvery = false, haveSamples = false;
  bool haveHeadings = false;
  bool compileOption = false;  // an option that only compiling a predicate uses
  std::string tableName, language;
  std::vector<std::string> keyColumns;
  RunOptions runOptions;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      if (!havePredicate && loadPath.empty()) {
        predicate = arg;
        havePredicate = true;
      } else {
        files.push_back(arg);
      }
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--schema") {
      if (!value(&schemaText)) return Fail("--schema needs the column list");
      haveSchema = true;
    } else if (arg == "--schema-file") {
      if (!value(&v)) return Fail("--schema-file needs a path");
      std::string text;
      if (!ReadFile(v, &text)) return Fail("cannot read schema file '" + v + "'");
      schemaText = SchemaFromFile(text);
      haveSchema = true;
    } else if (arg == "--key") {
      if (!value(&v)) return Fail("--key needs column names");
      std::stringstream names(v);
      std::string name;
      while (std::getline(names, name, ',')) {
        if (!name.empty()) keyColumns.push_back(name);
      }
      compileOption = true;
    } else if (arg == "--table") {
      if (!value(&tableName)) return Fail("--table needs a name");
      haveTable = true;
      compileOption = true;
    } else if (arg == "--language") {
      if (!value(&language)) return Fail("--language needs a language, e.g. de_DE");
      haveLanguage = true;
      compileOption = true;
    } else if (arg == "--count") {
      runOptions.countOnly = true;
    } else if (arg == "--missing-only") {
      runOptions.missingOnly = true;
    } else if (arg == "--headings") {
      haveHeadings = true;
    } else if (arg == "--format") {
      if (!value(&v)) return Fail("--format needs csv, table or jsonl");
      if (!vexfilt::cli::OutputFormatNamed(v, &runOptions.format)) {
        return Fail("--format '" + v + "' is not csv, table or jsonl");
      }
    } else if (arg == "--ignore-extra-columns") {
      runOptions.ignoreExtraColumns = true;
    } else if (arg == "--sample-separator") {
      if (!value(&separator)) return Fail("--sample-separator needs the line, e.g. ---");
    } else if (arg == "--source") {
      if (!value(&source)) return Fail("--source needs a table: processes, filesystems, interfaces, disks or command:CMD");
    } else if (arg == "--every") {
      if (!value(&everyText)) return Fail("--every needs a time, e.g. 5s or 500ms");
      haveEvery = true;
    } else if (arg == "--samples") {
      if (!value(&samplesText)) return Fail("--samples needs a number");
      haveSamples = true;
    } else if (arg == "--schema-only") {
      schemaOnly = true;
    } else if (arg == "--explain") {
      explain = true;
    } else if (arg == "--dot") {
      dot = true;
    } else if (arg == "--save-plan") {
      if (!value(&savePath)) return Fail("--save-plan needs a path");
    } else if (arg == "--load-plan") {
      if (!value(&loadPath)) return Fail("--load-plan needs a path");
      // What was taken for the predicate before --load-plan was the first input file.
      if (havePredicate) files.insert(files.begin(), predicate);
      havePredicate = false;
    } else if (arg == "--trace") {
      if (!value(&traceText)) return Fail("--trace needs a level, e.g. 0x11");
      haveTrace = true;
    } else {
      return Fail("unknown option " + arg);
    }
  }
  if (explain && dot) return Fail("--explain and --dot each print the plan; choose one");
  if (runOptions.countOnly && runOptions.missingOnly) return Fail("--count and --missing-only each choose what to print; choose one");
  const bool compileOnly = explain || dot || !savePath.empty();
  if (compileOnly && !files.empty()) {
    return Fail("--explain, --dot and --save-plan read no input; '" + files.front() + "' was named");
  }
  if (haveTrace) {
    std::string error;
    if (!SetTrace(traceText, &error)) return Fail(error);
  }

  // The rhythm of samples taken from a source or standard input.
  vexfilt::cli::Rhythm rhythm;
  if (haveEvery && !vexfilt::cli::ParseInterval(everyText, &rhythm.everyMs)) {
    return Fail("--every '" + everyText + "' is not a time such as 5s, 500ms or 2m (at most 24h)");
  }
  if (haveSamples) {
    char* end = nullptr;
    rhythm.samples = std::strtol(samplesText.c_str(), &end, 10);
    if (samplesText.empty() || *end != '\0' || rhythm.samples < 1) {
      return Fail("--samples '" + samplesText + "' is not a number of samples, 1 or more");
    }
  }
  const bool readsStdin = source.empty() && (files.empty() || (files.size() == 1 && files[0] == "-"));
  if ((haveEvery || haveSamples) && source.empty() && !readsStdin) {
    return Fail("--every and --samples pace samples of --source or standard input; files are read whole");
  }

  // A live table brings its own schema and keys.
  std::unique_ptr<vexfilt::cli::LiveTable> liveTable;
  const bool commandSource = source.rfind("command:", 0) == 0;
  if (!source.empty()) {
    if (!loadPath.empty()) return Fail("--source takes a predicate, not --load-plan");
    if (!files.empty()) return Fail("--source reads no files; '" + files.front() + "' was named");
    if (commandSource) {
      if (source.size() == 8) return Fail("--source command: needs a command, e.g. 'command:ps -eo pid,pcpu'");
      if (schemaOnly) return Fail("--schema-only prints a table's schema; a command's is the --schema given");
    } else {
      liveTable = vexfilt::cli::OpenLiveTable(source);
      if (liveTable == nullptr) {
        return Fail("--source '" + source + "' is not processes, filesystems, interfaces, disks or command:CMD");
      }
      if (schemaOnly) {
        std::fputs(vexfilt::cli::SchemaFileText(source, *liveTable).c_str(), stdout);
        return 0;
      }
      if (haveSchema) return Fail("--source " + source + " has its own schema (vexfilt --source " + source + " --schema-only prints it)");
      schemaText = liveTable->Schema();
      haveSchema = true;
      if (keyColumns.empty()) keyColumns = liveTable->KeyColumns();
    }
    if (!havePredicate) {
      predicate = "TRUE";
      havePredicate = true;
    }
  } else if (schemaOnly) {
    return Fail("--schema-only prints the schema of a --source table");
  }

  std::unique_ptr<VxcPlan, decltype(&VXC_FreePlan)> plan(nullptr, &VXC_FreePlan);
  VxcError error;
  if (!loadPath.empty()) {
    if (compileOption) return Fail("--key, --table and --language are compiled into a plan; --load-plan takes them from it");
    // The plan's column offsets only mean something with the layout it was compiled for.
    if (haveSchema) return Fail("a plan file holds the schema it was compiled for; --load-plan takes no --schema");
    std::string bytes;
    if (!ReadFile(loadPath, &bytes)) return Fail("cannot read plan file '" + loadPath + "'");
    VxcPlan* loaded = nullptr;
    if (VXC_ReadPlanBytes(bytes.data(), bytes.size(), &loaded, &error) != VXC_OK) {
      return Fail(loadPath + ": " + error.message);
    }
    plan.reset(loaded);
  } else {
    if (!haveSchema) return Fail("a schema is needed: --schema \"COL TYPE, ...\" or --schema-file PATH");
    if (!havePredicate) return Fail("a predicate is needed, e.g. \"CPU > 90\"");
    std::vector<const char*> keys;
    for (const std::string& key : keyColumns) keys.push_back(key.c_str());
    const VxcOptions options{haveTable ? tableName.c_str() : nullptr, haveLanguage ? language.c_str() : nullptr,
                             keys.data(), static_cast<std::int32_t>(keys.size())};
    VxcPlan* compiled = nullptr;
    const std::int32_t status = VXC_CompileText(schemaText.c_str(), predicate.c_str(), &options, &compiled, &error);
    if (status == VXC_BAD_PREDICATE) {
      std::fputs(vexfilt::cli::CompileErrorText(predicate, error).c_str(), stderr);
      return 2;
    }
    if (status != VXC_OK) return Fail(error.message);
    plan.reset(compiled);
  }

  if (explain || dot) {
    char* text = nullptr;
    const std::int32_t status = explain ? VXC_Listing(plan.get(), &text, &error) : VXC_JumpGraph(plan.get(), &text, &error);
    if (status != VXC_OK) {
      std::fprintf(stderr, "error: %s\n", error.message);
      return 2;
    }
    std::fputs(text, stdout);
    VXC_FreeText(text);
  }
  if (!savePath.empty() && VXC_SavePlan(plan.get(), savePath.c_str(), &error) != VXC_OK) return Fail(error.message);
  if (compileOnly) return 0;

  runOptions.planFromFile = !loadPath.empty();
  runOptions.namedCounts = files.size() > 1;
  // Samples a source takes follow one another in time: each says when it was taken.
  runOptions.sampleHeadings = haveHeadings || !source.empty();
  vexfilt::cli::CatchStopSignals();
  vexfilt::cli::SampleRunner runner(plan.get(), runOptions, stdout, stderr);
  if (!runner.Ready()) return 2;
  bool ran = true;
  if (liveTable != nullptr) {
    ran = vexfilt::cli::RunLiveTable(runner, *liveTable, vexfilt::cli::LiveRoot{}, source, rhythm);
  } else if (commandSource) {
    ran = vexfilt::cli::RunCommand(runner, source.substr(8), rhythm);
  } else {
    if (files.empty()) files.push_back("-");
    std::size_t number = 0;
    for (const std::string& path : files) {
      if (vexfilt::cli::StopRequested()) break;
      const bool isStdin = path == "-";
      const int fd = isStdin ? 0 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return Fail("cannot read '" + path + "'");
      vexfilt::cli::CsvStream stream(fd);
      vexfilt::cli::StreamSamples how;
      how.split = isStdin;
      how.separator = separator;
      how.everyMs = isStdin && haveEvery ? rhythm.everyMs : 0;
      how.limit = isStdin ? rhythm.samples : 0;
      how.number = &number;
      ran = vexfilt::cli::RunCsvStream(runner, stream, isStdin ? "<stdin>" : path, how);
      if (!isStdin) close(fd);
      if (!ran) break;
    }
  }
  return ran ? runner.ExitStatus() : 2;
}
