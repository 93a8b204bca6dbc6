// The text fields of report lines and their quoting in the comma form.
#include "report/report_fields.h"

#include <cstddef>

#include "cli/report_printf.h"

namespace {

// The most characters handed to one "%.*s", whose precision is an int.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

// Writes `text` as it stands, in pieces an int can count.
void PrintPlain(std::string_view text) {
  while (!text.empty()) {
    const std::size_t n = text.size() < kMaxPiece ? text.size() : kMaxPiece;
    ReportPrintf("%.*s", static_cast<int>(n), text.data());
    text.remove_prefix(n);
  }
}

// A spreadsheet takes a cell that begins with one of these for a formula (or,
// for a tab or carriage return, may drop the character and then do so).
bool BeginsLikeAFormula(std::string_view field) {
  if (field.empty()) return false;
  const char c = field.front();
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

}  // namespace

FieldQuoting QuotingOf(std::string_view field, char separator) {
  if (separator != ',') return FieldQuoting::kPlain;
  if (BeginsLikeAFormula(field)) return FieldQuoting::kFormulaGuard;
  for (char c : field) {
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return FieldQuoting::kQuoted;
  }
  return FieldQuoting::kPlain;
}

void PrintTextField(std::string_view field, char separator) {
  const FieldQuoting quoting = QuotingOf(field, separator);
  if (quoting == FieldQuoting::kPlain) {
    PrintPlain(field);
    return;
  }
  ReportPrintf(quoting == FieldQuoting::kFormulaGuard ? "\"'" : "\"");
  for (std::size_t quote = field.find('"'); quote != std::string_view::npos;
       quote = field.find('"')) {
    PrintPlain(field.substr(0, quote + 1));
    ReportPrintf("\"");  // the quote doubled
    field.remove_prefix(quote + 1);
  }
  PrintPlain(field);
  ReportPrintf("\"");
}

std::size_t LoadErrorText(Status status, Text& text) {
  const uint16_t length = LoadStatusString(0, ErrorCode(status), text.data(), kTextSize - 1);
  const std::size_t kept = length < kTextSize - 1 ? length : kTextSize - 1;
  text[kept] = '\0';
  return kept;
}
