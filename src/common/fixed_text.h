// Bounded text helpers for the program's fixed, zero-terminated buffers:
// every copy is cut to fit and always terminated, so no buffer is ever
// written or read past its end.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

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

// Copies `source` into `dest`, cut to dest.size() - 1 characters, and
// terminates it. Returns the number of characters copied.
constexpr std::size_t CopyText(std::span<char> dest, std::string_view source) {
  if (dest.empty()) return 0;
  std::size_t n = source.size() < dest.size() - 1 ? source.size() : dest.size() - 1;
  for (std::size_t i = 0; i < n; ++i) dest[i] = source[i];
  dest[n] = '\0';
  return n;
}

// CopyText from a zero-terminated source.
constexpr std::size_t CopyText(std::span<char> dest, const char* source) {
  return CopyText(dest, source == nullptr ? std::string_view() : std::string_view(source));
}
