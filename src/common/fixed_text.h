// Bounded text helpers for the program's fixed, zero-terminated buffers:
// every copy is cut to fit and always terminated, so no buffer is ever
// written or read past its end, and a cut never splits a character.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <type_traits>

#include "common/text_characters.h"

// Every text buffer of the program: 255 characters and a terminator.
constexpr std::size_t kTextSize = 256;
using Text = std::array<char, kTextSize>;

// Length of the zero-terminated text in `text`, never looking past its end.
constexpr std::size_t BoundedLength(const char* text, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && text[n] != '\0') ++n;
  return n;
}

// The text held in a buffer, up to its terminator or its end.
constexpr std::string_view TextOf(std::span<const char> buffer) {
  return {buffer.data(), BoundedLength(buffer.data(), buffer.size())};
}

// Copies `source` into `dest`, cut before the first character that does not
// fit dest.size() - 1 bytes whole, and terminates it. Returns the number of
// bytes copied.
constexpr std::size_t CopyText(std::span<char> dest, std::string_view source) {
  if (dest.empty()) return 0;
  const std::size_t room = dest.size() - 1;
  // At compile time only the program's own names are copied, and they fit.
  std::size_t n = source.size() < room ? source.size() : room;
  if (!std::is_constant_evaluated()) n = WholeCharactersIn(source, room);
  for (std::size_t i = 0; i < n; ++i) dest[i] = source[i];
  dest[n] = '\0';
  return n;
}

// CopyText from a zero-terminated source.
constexpr std::size_t CopyText(std::span<char> dest, const char* source) {
  return CopyText(dest, source == nullptr ? std::string_view() : std::string_view(source));
}
