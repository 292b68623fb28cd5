#include "output.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "csv.h"

namespace vexfilt::cli {
namespace {

// Bytes of the UTF-8 character `text` starts with, or 0 when it starts with none.
std::size_t Utf8Length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                     : lead >= 0xF0 && lead < 0xF5  ? 4
                                                                    : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
  }
  const auto second = static_cast<unsigned char>(text.size() > 1 ? text[1] : 0);
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

// Characters a terminal shows in one column each, for aligning: UTF-8 continuation bytes take none.
std::size_t DisplayWidth(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

bool OutputFormatNamed(std::string_view name, OutputFormat* format) {
  static constexpr std::pair<std::string_view, OutputFormat> kNames[] = {
      {"csv", OutputFormat::kCsv}, {"table", OutputFormat::kTable}, {"jsonl", OutputFormat::kJsonLines}};
  for (const auto& [known, value] : kNames) {
    if (name == known) {
      *format = value;
      return true;
    }
  }
  return false;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else if (c >= 0x80) {
      const std::size_t length = Utf8Length(text.substr(i));
      if (length == 0) {
        json += "\\ufffd";
        ++i;
        continue;
      }
      json.append(text.substr(i, length));
      i += length;
      continue;
    } else {
      json += static_cast<char>(c);
    }
    ++i;
  }
  return json + "\"";
}

Output::Output(OutputFormat format, std::vector<std::string> columns, std::vector<bool> numeric, std::FILE* out)
    : format_(format), columns_(std::move(columns)), numeric_(std::move(numeric)), out_(out) {
  for (const std::string& column : columns_) widths_.push_back(DisplayWidth(column));
}

void Output::Heading(const SampleLabel& sample) {
  if (format_ == OutputFormat::kJsonLines) return;  // every line carries its sample
  if (sample.time.empty()) {
    std::fprintf(out_, "# sample %zu: %s\n", sample.number, sample.name.c_str());
  } else {
    std::fprintf(out_, "# sample %zu at %s: %s\n", sample.number, sample.time.c_str(), sample.name.c_str());
  }
}

void Output::JsonStart(const SampleLabel& sample) {
  std::fprintf(out_, "{\"sample\":%zu,", sample.number);
  if (!sample.time.empty()) std::fprintf(out_, "\"time\":\"%s\",", sample.time.c_str());
  std::fprintf(out_, "\"source\":%s", JsonString(sample.name).c_str());
}

void Output::Row(const SampleLabel& sample, const std::vector<std::string>& values) {
  switch (format_) {
    case OutputFormat::kCsv: {
      // A line is put together and written at once: a call per field cost as much as reading the row.
      const auto line = [&](const std::vector<std::string>& fields) {
        line_.clear();
        for (std::size_t c = 0; c < fields.size(); ++c) {
          if (c > 0) line_ += ',';
          AppendCsvField(fields[c], &line_);
        }
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), out_);
      };
      if (!std::exchange(csvHeaderPrinted_, true)) line(columns_);
      line(values);
      return;
    }
    case OutputFormat::kTable:
      held_.push_back(values);
      if (held_.size() == kTableRowsHeld) FlushTable();
      return;
    case OutputFormat::kJsonLines:
      JsonStart(sample);
      for (std::size_t c = 0; c < values.size(); ++c) {
        // A number's text is valid JSON as it is; an empty value (no change to show) is null.
        const std::string value = values[c].empty() && numeric_[c] ? "null" : numeric_[c] ? values[c] : JsonString(values[c]);
        std::fprintf(out_, ",%s:%s", JsonString(columns_[c]).c_str(), value.c_str());
      }
      std::fputs("}\n", out_);
      return;
  }
}

void Output::NoRows(const SampleLabel&) {
  if (format_ != OutputFormat::kJsonLines) std::fputs("# no rows matched\n", out_);
}

void Output::Missing(const SampleLabel& sample, const std::string& key) {
  if (format_ != OutputFormat::kJsonLines) {
    std::fprintf(out_, "# missing: %s\n", key.c_str());
    return;
  }
  JsonStart(sample);
  std::fprintf(out_, ",\"missing\":%s}\n", JsonString(key).c_str());
}

void Output::Count(const SampleLabel& sample, long count, bool named) {
  if (format_ == OutputFormat::kJsonLines) {
    JsonStart(sample);
    std::fprintf(out_, ",\"count\":%ld}\n", count);
  } else if (named) {
    std::fprintf(out_, "%s:%ld\n", sample.name.c_str(), count);
  } else {
    std::fprintf(out_, "%ld\n", count);
  }
}

void Output::EndSample() {
  if (format_ == OutputFormat::kTable) FlushTable();
  std::fflush(out_);
}

void Output::FlushTable() {
  if (held_.empty()) return;
  for (const auto& row : held_) {
    for (std::size_t c = 0; c < row.size(); ++c) widths_[c] = std::max(widths_[c], DisplayWidth(row[c]));
  }
  // Numbers align on their last digit, their headings with them.
  const auto line = [&](const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t c = 0; c < fields.size(); ++c) {
      const std::string pad(widths_[c] - DisplayWidth(fields[c]), ' ');
      const bool right = numeric_[c];
      if (c > 0) text += "  ";
      text += right ? pad + fields[c] : fields[c] + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::fprintf(out_, "%s\n", text.c_str());
  };
  line(columns_);
  for (const auto& row : held_) line(row);
  held_.clear();
}

}  // namespace vexfilt::cli
