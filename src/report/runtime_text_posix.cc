// The runtime's text on POSIX: bytes, mostly UTF-8 already.
#include "report/runtime_text.h"

std::size_t RuntimeTextToUtf8(std::string_view text, std::span<char> out, std::size_t& written) {
  return BytesToUtf8(text, out, written);
}
