#include "plan_file.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "plan_view.h"

namespace vexfilt::cli {
namespace {

// Version 2 lays a char(N) or varchar(N) column out in N+1 bytes ended by a zero byte; a plan of version
// 1 reads text columns where they no longer are, so it is refused rather than misread.
constexpr std::string_view kMagic = "VEXFILT PLAN 3";
// Version 2 laid UTF-8 columns out otherwise; its plans over other columns are still good.
constexpr std::string_view kUtf8LayoutMagic = "VEXFILT PLAN 2";
constexpr std::string_view kEarlierMagic = "VEXFILT PLAN 1";
// Creation takes both lengths as signed 16-bit values.
constexpr std::size_t kLargestBuffer = 32767;

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

void PutBlock(std::string& out, std::string_view name, const std::vector<std::uint8_t>& bytes) {
  out += std::string(name) + " " + std::to_string(bytes.size()) + "\n";
  out.append(bytes.begin(), bytes.end());
  out += "\n";
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  // The next line after "`name` "; false when the line is missing or named otherwise.
  bool Line(std::string_view name, std::string* value) {
    const std::size_t end = bytes_.find('\n', at_);
    if (end == std::string_view::npos) return false;
    const std::string_view line = bytes_.substr(at_, end - at_);
    if (line.substr(0, name.size()) != name || line.size() <= name.size() || line[name.size()] != ' ') return false;
    *value = std::string(line.substr(name.size() + 1));
    at_ = end + 1;
    return true;
  }

  bool Block(std::string_view name, std::vector<std::uint8_t>* block, std::string* error) {
    std::string size;
    if (!Line(name, &size)) {
      *error = "the plan file has no '" + std::string(name) + "' block where one belongs";
      return false;
    }
    std::size_t n = 0;
    const auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), n);
    if (ec != std::errc() || end != size.data() + size.size() || n == 0 || n > kLargestBuffer) {
      *error = "the plan file's " + std::string(name) + " length '" + size + "' is not 1 to 32767";
      return false;
    }
    if (at_ + n + 1 > bytes_.size() || bytes_[at_ + n] != '\n') {
      *error = "the plan file is cut short inside its " + std::string(name) + " bytes";
      return false;
    }
    block->assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
    at_ += n + 1;
    return true;
  }

  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::string EncodePlanFile(const SavedPlan& saved) {
  std::string out = std::string(kMagic) + "\n";
  out += "schema " + OneLine(saved.schema) + "\n";
  out += "predicate " + OneLine(saved.predicate) + "\n";
  PutBlock(out, "plan", saved.compiled.plan);
  PutBlock(out, "pool", saved.compiled.pool);
  return out;
}

bool DecodePlanFile(std::string_view bytes, SavedPlan* saved, std::string* error) {
  if (bytes.substr(0, kEarlierMagic.size() + 1) == std::string(kEarlierMagic) + "\n") {
    *error = "the plan file was written by an earlier vexfilt, whose records held text columns otherwise; "
             "compile the predicate again (--save-plan)";
    return false;
  }
  const bool utf8LayoutVersion = bytes.substr(0, kUtf8LayoutMagic.size() + 1) == std::string(kUtf8LayoutMagic) + "\n";
  if (!utf8LayoutVersion && bytes.substr(0, kMagic.size() + 1) != std::string(kMagic) + "\n") {
    *error = "not a vexfilt plan file: it does not start with '" + std::string(kMagic) + "'";
    return false;
  }
  Reader reader(bytes.substr(kMagic.size() + 1));
  if (!reader.Line("schema", &saved->schema)) {
    *error = "the plan file has no 'schema' line";
    return false;
  }
  // Schema::Text writes each type after its column's name and a blank.
  if (utf8LayoutVersion && (saved->schema.find(" utf8char(") != std::string::npos ||
                            saved->schema.find(" utf8varchar(") != std::string::npos)) {
    *error = "the plan file was written by an earlier vexfilt, whose records held UTF-8 columns otherwise; "
             "compile the predicate again (--save-plan)";
    return false;
  }
  if (!reader.Line("predicate", &saved->predicate)) saved->predicate.clear();
  if (!reader.Block("plan", &saved->compiled.plan, error) || !reader.Block("pool", &saved->compiled.pool, error)) {
    return false;
  }
  if (!reader.AtEnd()) {
    *error = "the plan file goes on after its pool";
    return false;
  }
  return true;
}

std::optional<OpenedPlan> OpenPlanFile(std::string_view bytes, std::string* error) {
  SavedPlan saved;
  if (!DecodePlanFile(bytes, &saved, error)) return std::nullopt;
  auto schema = Schema::Parse(saved.schema, error);
  if (!schema) return std::nullopt;
  const auto view = ReadPlan(saved.compiled.plan, error);
  if (!view) return std::nullopt;
  if (view->header.recordLength != schema->recordLength()) {
    *error = "the plan reads " + std::to_string(view->header.recordLength) + "-byte records, the schema lays out " +
             std::to_string(schema->recordLength());
    return std::nullopt;
  }
  return OpenedPlan{std::move(saved), std::move(*schema)};
}

}  // namespace vexfilt::cli
