// The text fields of report lines: written as they stand in the tab form;
// in the comma form quoted where a spreadsheet would misread them.
#pragma once

#include <cstddef>
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

// The runtime's text for the error code of `status`, terminated, in `text`.
// Returns its length: 0 when the runtime has no text for it.
std::size_t LoadErrorText(Status status, Text& text);
