// The runtime's text on POSIX is UTF-8, or bytes that are taken one by one.
#include "common/text_characters.h"

std::size_t CharacterLength(const char* text, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t length = Utf8SequenceLength(reinterpret_cast<const unsigned char*>(text), size);
  return length == 0 ? 1 : length;
}

bool CharacterCutShort(const char* text, std::size_t size) {
  return Utf8CutShort(reinterpret_cast<const unsigned char*>(text), size);
}

TextEncoding SystemTextEncoding() { return TextEncoding::kUtf8; }
