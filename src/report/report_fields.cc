// The text fields of report lines: their quoting in the comma form, their
// escapes in the tables' tab form.
#include "report/report_fields.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "cli/report_printf.h"
#include "common/text_characters.h"
#include "common/text_characters.h"

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

// The letter after the backslash that stands for `c` in the tables' tab
// form, as jq's @tsv writes it; 0 for a character written as it is (the
// backslash too, so that Windows paths stay readable).
char EscapeOf(char c) {
  switch (c) {
    case '\t':
      return 't';
    case '\n':
      return 'n';
    case '\r':
      return 'r';
    default:
      return '\0';
  }
}

constexpr const char* kEscapedCharacters = "\t\n\r";

// Room for a usual entry line put together here: a prefix of two quoted
// fields of 255 characters, the date-time text, two numbers of five digits,
// three separators, a user name and the line end.
constexpr std::size_t kLineRoom = 2048;

}  // namespace

FieldForm ReportForm(char separator) {
  return separator == ',' ? FieldForm::kCommas : FieldForm::kAsItStands;
}

FieldForm TableForm(char separator) {
  return separator == ',' ? FieldForm::kCommas : FieldForm::kTabs;
}

char SeparatorOf(FieldForm form) { return form == FieldForm::kCommas ? ',' : '\t'; }

FieldQuoting QuotingOf(std::string_view field, FieldForm form) {
  if (form == FieldForm::kAsItStands) return FieldQuoting::kPlain;
  if (BeginsLikeAFormula(field)) return FieldQuoting::kFormulaGuard;
  for (char c : field) {
    if (form == FieldForm::kCommas) {
      if (c == ',' || c == '"' || c == '\r' || c == '\n') return FieldQuoting::kQuoted;
    } else if (EscapeOf(c) != '\0') {
      return FieldQuoting::kEscaped;
    }
  }
  return FieldQuoting::kPlain;
}

void PrintTextField(std::string_view field, FieldForm form) {
  const FieldQuoting quoting = QuotingOf(field, form);
  if (quoting == FieldQuoting::kPlain) {
    PrintPlain(field);
    return;
  }
  if (form == FieldForm::kTabs) {
    if (quoting == FieldQuoting::kFormulaGuard) ReportPrintf("'");
    for (std::size_t at = field.find_first_of(kEscapedCharacters); at != std::string_view::npos;
         at = field.find_first_of(kEscapedCharacters)) {
      PrintPlain(field.substr(0, at));
      ReportPrintf("\\%c", EscapeOf(field[at]));
      field.remove_prefix(at + 1);
    }
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

std::size_t PutTextField(std::string_view field, FieldForm form, char* out) {
  const FieldQuoting quoting = QuotingOf(field, form);
  if (quoting == FieldQuoting::kPlain) {
    std::memcpy(out, field.data(), field.size());
    return field.size();
  }
  std::size_t n = 0;
  if (form == FieldForm::kTabs) {
    if (quoting == FieldQuoting::kFormulaGuard) out[n++] = '\'';
    for (const char c : field) {
      const char escape = EscapeOf(c);
      if (escape == '\0') {
        out[n++] = c;
      } else {
        out[n++] = '\\';
        out[n++] = escape;
      }
    }
    return n;
  }
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

// A line longer than the room, and a field that must be quoted or escaped,
// take the general path; such lines are rare.
void PrintEntryLine(std::string_view prefix, std::string_view time, const ActivityEntry& entry,
                    const char* name, FieldForm form) {
  const char separator = SeparatorOf(form);
  const std::string_view user(name);
  const bool plain = QuotingOf(time, form) == FieldQuoting::kPlain &&
                     QuotingOf(user, form) == FieldQuoting::kPlain;
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
  PrintTextField(time, form);
  ReportPrintf("%c%d%c%d%c", separator, reads, separator, writes, separator);
  PrintTextField(user, form);
  ReportPrintf("\n");
}

std::size_t LoadErrorText(Status status, Text& text) {
  const uint16_t length = LoadStatusString(0, ErrorCode(status), text.data(), kTextSize - 1);
  std::size_t kept = length < kTextSize - 1 ? length : kTextSize - 1;
  // A text that fills the room was cut to it, perhaps inside a character.
  if (kept == kTextSize - 1) kept = FinishedCharactersIn({text.data(), kept});
  text[kept] = '\0';
  return kept;
}
