#include "error_text.h"

namespace vexfilt::cli {

std::string CompileErrorText(std::string_view predicate, const VxcError& error) {
  if (error.line < 1 || error.column < 1) return "error: " + std::string(error.message) + "\n";
  std::size_t begin = 0;
  for (int line = 1; line < error.line; ++line) {
    const std::size_t newline = predicate.find('\n', begin);
    if (newline == std::string_view::npos) return "error: " + std::string(error.message) + "\n";
    begin = newline + 1;
  }
  std::size_t end = predicate.find('\n', begin);
  if (end == std::string_view::npos) end = predicate.size();
  // The caret goes under the column's character: UTF-8 continuation bytes take no column, and tabs stay
  // tabs so that the caret lines up whatever the terminal's tab width.
  std::string pad;
  int characters = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const auto c = static_cast<unsigned char>(predicate[i]);
    if ((c & 0xC0) == 0x80) continue;
    if (characters == error.column - 1) break;
    ++characters;
    pad += c == '\t' ? '\t' : ' ';
  }
  const bool severalLines = predicate.find('\n') != std::string_view::npos;
  std::string out = "error: ";
  if (severalLines) out += "line " + std::to_string(error.line) + ": ";
  out += std::string(error.message) + "\n";
  out += "  " + std::string(predicate.substr(begin, end - begin)) + "\n";
  out += "  " + pad + "^\n";
  return out;
}

}  // namespace vexfilt::cli
