// vexfilt: filters CSV rows with a predicate compiled into a Filter Plan and run through the library.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "demo.h"
#include "predicate.h"
#include "run.h"
#include "schema.h"
#include "vexhost.h"

namespace {

using vexfilt::cli::CompiledPlan;
using vexfilt::cli::CompileError;
using vexfilt::cli::CompileOptions;
using vexfilt::cli::RunOptions;
using vexfilt::cli::Sample;
using vexfilt::cli::Schema;

constexpr const char* kUsage = R"(usage: vexfilt --schema "COL TYPE, ..." [options] PREDICATE [FILE...]
       vexfilt            (no arguments: runs an embedded process-table sample)

Filters CSV rows: each FILE (or - for standard input, the default) is one sample, with a header row naming
schema columns in any order. Matching rows are printed as CSV in schema order, the header once.

options:
  --schema TEXT        columns in record order: "PID int32, NAME char(16), CPU double"
                       types: int16 uint16 int32 uint32 double char(N) varchar(N) utf8char(N) utf8varchar(N)
  --schema-file PATH   the same, one or more columns a line; # starts a comment
  --key COL[,COL]      columns that identify a row from one sample to the next (for CHANGE)
  --table NAME         table name written into the plan (default TABLE)
  --count              print only the number of matching rows (and missing keys)
  --explain            print the compiled plan, one line per element, and exit
  --trace LEVEL        library trace level, e.g. 0x11 (see VEX_TRACE_LEVEL)
  -h, --help           this text

predicate:
  COL = 10   COL <> 'text'   COL < OTHERCOL   (= <> < > <= >=, numbers and 'quoted' text)
  COL LIKE 'ab*c?'      * any run of characters, ? one character; NOT LIKE too
  CHANGE(COL) > 100     change of an int32/uint32 column since the previous sample (needs --key)
  KEYS(COL) IN ('a','b') keys expected in every sample; missing ones print as "# missing: KEY"
  combined with AND, OR, NOT and parentheses

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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return vexfilt::cli::RunDemo(stdout, stderr);
  std::string schemaText, predicate;
  bool haveSchema = false, havePredicate = false, explain = false;
  CompileOptions compileOptions;
  RunOptions runOptions;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "-h" || arg == "--help") {
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
        if (!name.empty()) compileOptions.keyColumns.push_back(name);
      }
    } else if (arg == "--table") {
      if (!value(&compileOptions.tableName)) return Fail("--table needs a name");
    } else if (arg == "--count") {
      runOptions.countOnly = true;
    } else if (arg == "--explain") {
      explain = true;
    } else if (arg == "--trace") {
      if (!value(&v)) return Fail("--trace needs a level, e.g. 0x11");
      char* end = nullptr;
      const unsigned long level = std::strtoul(v.c_str(), &end, 0);
      if (v.empty() || *end != '\0' || level > 0xFFFFFFFFul) return Fail("--trace level '" + v + "' is not a number");
      VEXH_SetTraceLevel(nullptr, static_cast<std::uint32_t>(level));
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      return Fail("unknown option " + arg);
    } else if (!havePredicate) {
      predicate = arg;
      havePredicate = true;
    } else {
      files.push_back(arg);
    }
  }
  if (!haveSchema) return Fail("a schema is needed: --schema \"COL TYPE, ...\" or --schema-file PATH");
  if (!havePredicate) return Fail("a predicate is needed, e.g. \"CPU > 90\"");
  std::string error;
  const auto schema = Schema::Parse(schemaText, &error);
  if (!schema) return Fail(error);
  for (const std::string& key : compileOptions.keyColumns) {
    if (schema->Find(key) == nullptr) return Fail("--key names unknown column '" + key + "'");
  }
  CompileError compileError;
  const auto compiled = vexfilt::cli::CompilePredicate(predicate, *schema, compileOptions, &compileError);
  if (!compiled) {
    std::fputs(compileError.Render(predicate).c_str(), stderr);
    return 2;
  }
  if (explain) return vexfilt::cli::Explain(*compiled, stdout, stderr);
  if (files.empty()) files.push_back("-");
  std::vector<Sample> samples;
  for (const std::string& path : files) {
    Sample sample{path == "-" ? "<stdin>" : path, {}};
    if (!ReadFile(path, &sample.text)) return Fail("cannot read '" + path + "'");
    samples.push_back(std::move(sample));
  }
  return vexfilt::cli::RunSamples(*schema, *compiled, samples, runOptions, stdout, stderr);
}
