// The different user names of one entries block, counted in fixed storage:
// a block holds at most 65,535 entries, so at most that many names.
#pragma once

#include <cstdint>

// Empties the set; the names it held may be freed after this.
void ClearNameSet();

// Adds `name` (compared byte for byte, whole) unless the set holds it. The
// text is not copied: it must stay in place until the next ClearNameSet.
void AddName(const char* name);

// How many different names were added since the last ClearNameSet.
uint32_t NameSetSize();
