// The text fields of report lines: written as they stand in the tab form;
// in the comma form quoted where a spreadsheet would misread them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/fixed_text.h"
#include "runtime/notes_runtime.h"

// How a text field goes into a line of the comma form.
enum class FieldQuoting {
  kPlain,         // as it stands
  kQuoted,        // holds a comma, a quote or a line end: in double quotes
  kFormulaGuard,  // begins like a formula: in double quotes, after a single quote
};

// The quoting `field` needs with `separator` (only ',' quotes anything).
FieldQuoting QuotingOf(std::string_view field, char separator);

// Writes `field` through ReportPrintf, quoted as QuotingOf says and whole,
// however long it is; inner double quotes are doubled.
void PrintTextField(std::string_view field, char separator);

// Writes `field` at `out` as PrintTextField would print it; returns the
// bytes written. `out` must have room for 2 * field.size() + 3 bytes.
std::size_t PutTextField(std::string_view field, char separator, char* out);

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
                    const char* name, char separator);

// The runtime's text for the error code of `status`, terminated, in `text`.
// Returns its length: 0 when the runtime has no text for it.
std::size_t LoadErrorText(Status status, Text& text);
