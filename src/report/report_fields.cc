// The text fields of report lines and their quoting in the comma form.
#include "report/report_fields.h"

#include <array>
#include <cstddef>
#include <cstring>

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

// Room for a usual entry line put together here: a prefix of two quoted
// fields of 255 characters, the date-time text, two numbers of five digits,
// three separators, a user name and the line end.
constexpr std::size_t kLineRoom = 2048;

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

std::size_t PutTextField(std::string_view field, char separator, char* out) {
  const FieldQuoting quoting = QuotingOf(field, separator);
  if (quoting == FieldQuoting::kPlain) {
    std::memcpy(out, field.data(), field.size());
    return field.size();
  }
  std::size_t n = 0;
  out[n++] = '"';
  if (quoting == FieldQuoting::kFormulaGuard) out[n++] = '\'';
  for (const char c : field) {
    out[n++] = c;
    if (c == '"') out[n++] = '"';
  }
  out[n++] = '"';
  return n;
}

std::size_t PutDecimal(uint64_t value, char* out) {
  char digits[20];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

std::size_t PutSignedDecimal(int64_t value, char* out) {
  if (value >= 0) return PutDecimal(static_cast<uint64_t>(value), out);
  // The magnitude in unsigned arithmetic: the most negative value has no
  // positive twin.
  out[0] = '-';
  return 1 + PutDecimal(uint64_t{0} - static_cast<uint64_t>(value), out + 1);
}

// A line longer than the room, and in the comma form a field a spreadsheet
// would misread, take the general path; such lines are rare.
void PrintEntryLine(std::string_view prefix, std::string_view time, const ActivityEntry& entry,
                    const char* name, char separator) {
  const std::string_view user(name);
  const bool plain = QuotingOf(time, separator) == FieldQuoting::kPlain &&
                     QuotingOf(user, separator) == FieldQuoting::kPlain;
  if (plain && prefix.size() + time.size() + user.size() + 14 <= kLineRoom) {
    std::array<char, kLineRoom> line;
    std::size_t n = prefix.size();
    if (n != 0) std::memcpy(line.data(), prefix.data(), n);  // an empty one may have no data
    std::memcpy(line.data() + n, time.data(), time.size());
    n += time.size();
    line[n++] = separator;
    n += PutDecimal(entry.reads, line.data() + n);
    line[n++] = separator;
    n += PutDecimal(entry.writes, line.data() + n);
    line[n++] = separator;
    std::memcpy(line.data() + n, user.data(), user.size());
    n += user.size();
    line[n++] = '\n';
    ReportWrite(line.data(), n);
    return;
  }
  PrintPlain(prefix);
  const int reads = entry.reads;
  const int writes = entry.writes;
  if (plain) {
    ReportPrintf("%s%c%d%c%d%c%s\n", time.data(), separator, reads, separator, writes, separator,
                 name);
    return;
  }
  PrintTextField(time, separator);
  ReportPrintf("%c%d%c%d%c", separator, reads, separator, writes, separator);
  PrintTextField(user, separator);
  ReportPrintf("\n");
}

std::size_t LoadErrorText(Status status, Text& text) {
  const uint16_t length = LoadStatusString(0, ErrorCode(status), text.data(), kTextSize - 1);
  const std::size_t kept = length < kTextSize - 1 ? length : kTextSize - 1;
  text[kept] = '\0';
  return kept;
}
