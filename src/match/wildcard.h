// The one text matcher of the tool: '*' stands for any run of characters,
// '?' for any one character, and the whole text must match.
#pragma once

#include <cstdint>

// 1 when the whole `text` matches the whole `pattern`, else 0. With
// caseSensitive 0 the letters a to z fold onto A to Z; no other byte folds.
int32_t WildcardMatch(const char* pattern, const char* text, int32_t caseSensitive);
