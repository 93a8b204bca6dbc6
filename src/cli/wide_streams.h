// Windows only: wide text written to the standard streams, for words that
// hold names the system's code page may not (the path of a library).
#pragma once

#include <cstdio>
#include <string_view>

// Writes `text` to `stream` (the standard output or error stream): to a
// console as the characters they are; to a file or a pipe in the system's
// code page, a character it cannot hold becoming '?', never a look-alike.
// Returns the characters written, or -1 when not all could be.
int WriteWideToStream(std::FILE* stream, std::wstring_view text);
