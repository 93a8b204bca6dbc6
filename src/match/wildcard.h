// The one text matcher of the tool: '*' stands for any run of characters,
// '?' for any one character, and the whole text must match. Characters are
// those of the runtime's text (common/text_characters.h).
#pragma once

#include <cstdint>

// 1 when the whole `text` matches the whole `pattern`, else 0. With
// caseSensitive 0 the letters a to z fold onto A to Z where they are
// characters of their own; no other byte folds.
int32_t WildcardMatch(const char* pattern, const char* text, int32_t caseSensitive);
