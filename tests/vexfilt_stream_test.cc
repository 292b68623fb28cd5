// The program's input as a stream: CSV rows across read blocks and pipes, sample boundaries on standard
// input, and the output formats.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "csv_stream.h"
#include "output.h"
#include "run.h"
#include "vexcompile.h"

namespace vexfilt::cli {
namespace {

struct Row {
  int line;
  std::vector<std::string> fields;
  bool operator==(const Row&) const = default;
};

std::vector<Row> RowsOf(CsvStream& stream, CsvStream::Next* last = nullptr) {
  std::vector<Row> rows;
  CsvStream::Next next;
  while ((next = stream.Read()) == CsvStream::Next::kRow) {
    rows.push_back({stream.line(), std::vector<std::string>(stream.fields().begin(), stream.fields().end())});
  }
  if (last != nullptr) *last = next;
  return rows;
}

// A pipe whose writing end a thread fills in pieces of awkward sizes, then closes.
class Pipe {
 public:
  Pipe() { EXPECT_EQ(pipe(ends_), 0); }
  ~Pipe() {
    if (writer_.joinable()) writer_.join();
    CloseWriter();
    close(ends_[0]);
  }
  int reader() const { return ends_[0]; }
  void Write(const std::string& text) { ASSERT_EQ(write(ends_[1], text.data(), text.size()), static_cast<ssize_t>(text.size())); }
  void CloseWriter() {
    if (ends_[1] >= 0) close(ends_[1]);
    ends_[1] = -1;
  }
  void WriteAllThenClose(std::string text, std::size_t piece) {
    writer_ = std::thread([this, text = std::move(text), piece] {
      for (std::size_t at = 0; at < text.size(); at += piece) {
        const std::size_t n = std::min(piece, text.size() - at);
        if (write(ends_[1], text.data() + at, n) != static_cast<ssize_t>(n)) break;
      }
      CloseWriter();
    });
  }

 private:
  int ends_[2] = {-1, -1};
  std::thread writer_;
};

TEST(VexfiltCsvStream, QuotesLineEndsAndLineNumbers) {
  CsvStream stream("A,B\r\n\"x, \"\"y\"\"\",2\n\n\"multi\nline\",3\n,\nlast,\"open");
  CsvStream::Next last;
  const std::vector<Row> rows = RowsOf(stream, &last);
  const std::vector<Row> expected = {{1, {"A", "B"}}, {2, {"x, \"y\"", "2"}}, {3, {""}}, {4, {"multi\nline", "3"}},
                                     {6, {"", ""}}};
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(last, CsvStream::Next::kError);
  EXPECT_EQ(stream.error(), "line 7: a quoted field is not closed");
}

// Rows of every shape, written into a pipe in pieces that split rows, quotes, doubled quotes and CRLFs, read
// back as they were written; one row is longer than a read block, so the buffer must grow for it.
TEST(VexfiltCsvStream, RowsAcrossBlocksAndPiecesReadWhole) {
  std::string text;
  std::vector<Row> expected;
  int line = 1;
  for (int i = 0; i < 4000; ++i) {
    const std::string long_text = std::string(static_cast<std::size_t>(i % 97), 'x') + (i % 5 == 0 ? "\"," : ",\n");
    std::string quoted;
    for (char c : long_text) quoted += c == '"' ? "\"\"" : std::string(1, c);
    text += std::to_string(i) + ",\"" + quoted + "\",plain" + (i % 3 == 0 ? "\r\n" : "\n");
    expected.push_back({line, {std::to_string(i), long_text, "plain"}});
    line += 1 + (i % 5 == 0 ? 0 : 1);
  }
  const std::string huge(600'000, 'h');
  text += "big," + huge + "\nend,1";
  expected.push_back({line, {"big", huge}});
  expected.push_back({line + 1, {"end", "1"}});
  Pipe pipe;
  pipe.WriteAllThenClose(text, 4093);
  CsvStream stream(pipe.reader());
  CsvStream::Next last;
  EXPECT_EQ(RowsOf(stream, &last), expected);
  EXPECT_EQ(last, CsvStream::Next::kEnd);
}

TEST(VexfiltCsvStream, ARowPastTheLimitIsRefusedNotHeld) {
  Pipe pipe;
  pipe.WriteAllThenClose("A\n" + std::string(CsvStream::kMaxRowBytes + 10, 'a'), 1 << 16);
  CsvStream stream(pipe.reader());
  CsvStream::Next last;
  EXPECT_EQ(RowsOf(stream, &last).size(), 1u);
  EXPECT_EQ(last, CsvStream::Next::kError);
  EXPECT_EQ(stream.error(), "line 2: a row longer than 8 MiB");
}

TEST(VexfiltCsvStream, APartRowWaitsNoLongerThanAskedAndIsKept) {
  Pipe pipe;
  pipe.Write("A,B\n1,");
  CsvStream stream(pipe.reader());
  ASSERT_EQ(stream.Read(), CsvStream::Next::kRow);
  EXPECT_EQ(stream.Read(20), CsvStream::Next::kTimeout);
  pipe.Write("2\n");
  ASSERT_EQ(stream.Read(20), CsvStream::Next::kRow);
  EXPECT_EQ(std::vector<std::string>(stream.fields().begin(), stream.fields().end()),
            (std::vector<std::string>{"1", "2"}));
  pipe.CloseWriter();
  EXPECT_EQ(stream.Read(20), CsvStream::Next::kEnd);
}

// What a run over standard input prints, and its status.
struct Printed {
  std::string out, err;
  bool ran = false;
};

Printed RunStdin(const char* predicate, CsvStream& stream, RunOptions options, StreamSamples how) {
  VxcPlan* plan = nullptr;
  VxcError error;
  const char* keys[] = {"K"};
  const VxcOptions compile{nullptr, nullptr, keys, 1};
  EXPECT_EQ(VXC_CompileText("ID int32, K char(4)", predicate, &compile, &plan, &error), VXC_OK) << error.message;
  char* text[2] = {nullptr, nullptr};
  std::size_t size[2] = {0, 0};
  std::FILE* out = open_memstream(&text[0], &size[0]);
  std::FILE* err = open_memstream(&text[1], &size[1]);
  Printed printed;
  {
    SampleRunner runner(plan, options, out, err);
    how.split = true;
    printed.ran = runner.Ready() && RunCsvStream(runner, stream, "<stdin>", how);
  }
  std::fclose(out);
  std::fclose(err);
  printed.out.assign(text[0], size[0]);
  printed.err.assign(text[1], size[1]);
  std::free(text[0]);
  std::free(text[1]);
  VXC_FreePlan(plan);
  return printed;
}

// A blank line ends a sample; a second one starts none; a header after it is the next sample's (its
// columns in another order), and rows without one go on under the header before.
constexpr const char* kThreeParts = "ID,K\n1,a\n2,b\n\nID,K\n3,a\n\n\n4,c\n\nK,ID\nb,5\n";

TEST(VexfiltStdinSamples, EndAtSeparatorsWithOrWithoutAHeader) {
  CsvStream stream(kThreeParts);
  const Printed printed = RunStdin("ID >= 3", stream, {.countOnly = true}, {});
  EXPECT_TRUE(printed.ran) << printed.err;
  EXPECT_EQ(printed.out, "0\n1\n1\n1\n");
}

TEST(VexfiltStdinSamples, MissingKeysArePerSample) {
  CsvStream stream(kThreeParts);
  const Printed printed = RunStdin("ID > 0 EXPECT KEYS(K) IN ('a', 'b')", stream, {.missingOnly = true}, {});
  EXPECT_EQ(printed.out, "# missing: b\n# missing: a\n# missing: b\n# missing: a\n");
}

TEST(VexfiltStdinSamples, ANamedSeparatorAndALimit) {
  CsvStream stream("ID,K\n1,a\n\n2,b\n---\n3,c\n---\n4,d\n");
  StreamSamples how;
  how.separator = "---";
  how.limit = 2;
  const Printed printed = RunStdin("TRUE", stream, {.countOnly = true}, how);
  EXPECT_EQ(printed.out, "2\n1\n");
}

TEST(VexfiltStdinSamples, ATickEndsTheSampleWhileTheInputStaysOpen) {
  Pipe pipe;
  pipe.Write("ID,K\n1,a\n2,b\n");
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    pipe.Write("3,c\n");
    pipe.CloseWriter();
  });
  CsvStream stream(pipe.reader());
  StreamSamples how;
  how.everyMs = 150;
  const Printed printed = RunStdin("TRUE", stream, {.countOnly = true}, how);
  later.join();
  EXPECT_EQ(printed.out, "2\n1\n");
}

TEST(VexfiltStdinSamples, ExtraColumnsOnlyWhenAllowed) {
  const char* input = "ID,EXTRA,K\n7,zz,a\n";
  CsvStream refused(input);
  Printed printed = RunStdin("TRUE", refused, {}, {});
  EXPECT_FALSE(printed.ran);
  EXPECT_EQ(printed.err,
            "error: <stdin>:1: header column 'EXTRA' is not in the schema (--ignore-extra-columns skips it)\n");
  CsvStream allowed(input);
  printed = RunStdin("TRUE", allowed, {.ignoreExtraColumns = true}, {});
  EXPECT_EQ(printed.out, "ID,K\n7,a\n");
}

TEST(VexfiltOutput, TableAlignsAndJsonEscapes) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  const SampleLabel sample{2, "in \"x\"", "2024-01-15 12:00:00"};
  {
    Output table(OutputFormat::kTable, {"NAME", "CPU"}, {false, true}, out);
    table.Row(sample, {"web-10", "5"});
    table.Row(sample, {"zü", "100.5"});
    table.EndSample();
    Output json(OutputFormat::kJsonLines, {"NAME", "CPU"}, {false, true}, out);
    json.Row(sample, {"a\"\\\n\xff", ""});
    json.Missing(sample, "cron");
  }
  std::fclose(out);
  EXPECT_EQ(std::string(text, size),
            "NAME      CPU\n"
            "web-10      5\n"
            "zü      100.5\n"
            "{\"sample\":2,\"time\":\"2024-01-15 12:00:00\",\"source\":\"in \\\"x\\\"\",\"NAME\":\"a\\\"\\\\\\u000a\\ufffd\","
            "\"CPU\":null}\n"
            "{\"sample\":2,\"time\":\"2024-01-15 12:00:00\",\"source\":\"in \\\"x\\\"\",\"missing\":\"cron\"}\n");
  std::free(text);
}

}  // namespace
}  // namespace vexfilt::cli
