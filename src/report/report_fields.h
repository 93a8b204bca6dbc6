// The text fields of report lines: written as they stand in the report's tab
// form; in the comma form quoted where a spreadsheet would misread them; in
// the tab form of the tables with tabs and line ends escaped, one row a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"

// The forms a line's text fields are written in.
enum class FieldForm {
  kAsItStands,  // the report's tab form: every field as it is
  kTabs,        // the tables' tab form: a tab, line feed or carriage return as
                // \t, \n or \r, so that a row is one line; formulas guarded
  kCommas,      // the comma form, of the report and the tables alike
};

// The form of the report's lines, and of the tables' lines, for the run's
// separator (',' or a tab).
FieldForm ReportForm(char separator);
FieldForm TableForm(char separator);
// The character between the fields of `form`.
char SeparatorOf(FieldForm form);

// How a text field goes into a line.
enum class FieldQuoting {
  kPlain,         // as it stands
  kQuoted,        // comma form: holds a comma, a quote or a line end: in double quotes
  kEscaped,       // tab form: holds a tab or a line end, written escaped
  kFormulaGuard,  // begins like a formula: after a single quote, in double
                  // quotes (comma form) or escaped (tab form)
};

// The quoting `field` needs in `form` (kAsItStands quotes nothing).
FieldQuoting QuotingOf(std::string_view field, FieldForm form);

// Writes `field` through ReportPrintf, quoted as QuotingOf says and whole,
// however long it is: in the comma form inner double quotes doubled, in the
// tables' tab form tabs and line ends escaped.
void PrintTextField(std::string_view field, FieldForm form);

// Writes `field` at `out` as PrintTextField would print it; returns the
// bytes written. `out` must have room for 2 * field.size() + 3 bytes.
std::size_t PutTextField(std::string_view field, FieldForm form, char* out);

// Decimal digits of `value` at `out` (room for 20); returns their count.
std::size_t PutDecimal(uint64_t value, char* out);
// The same with a leading '-' for a negative `value` (room for 21).
std::size_t PutSignedDecimal(int64_t value, char* out);

// One line of an entry: `prefix` (fields already written, with their
// separators), then "%s%c%d%c%d%c%s\n" of the time text, reads, writes and
// user name, the texts quoted as PrintTextField quotes them. It is the line
// written for every entry, so a usual one is put together here and written
// in one piece.
void PrintEntryLine(std::string_view prefix, std::string_view time, const ActivityEntry& entry,
                    const char* name, FieldForm form);

// The runtime's text for the error code of `status`, terminated, in `text`.
// Returns its length: 0 when the runtime has no text for it.
std::size_t LoadErrorText(Status status, Text& text);
