// The runtime's text as UTF-8, for output that must be UTF-8 (the JSON
// form). Where the runtime's text is in a code page of the system, it is
// converted from that; elsewhere it is taken as bytes. One implementation
// per platform, beside one rule shared by both.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// The most bytes of UTF-8 that one byte of the runtime's text can become.
constexpr std::size_t kMaxUtf8PerByte = 3;

// Converts the start of `text` into UTF-8 at `out`, never cutting a
// character in two; returns how many bytes of `text` it took, and in
// `written` how many it wrote. It takes at least one byte whenever
// `out` has room for kMaxUtf8PerByte * 4 bytes or more.
std::size_t RuntimeTextToUtf8(std::string_view text, std::span<char> out, std::size_t& written);

// The rule for text taken as bytes: valid UTF-8 passes through as it is, and
// any other byte stands for the character of the same number (U+0080 to
// U+00FF). Takes and writes as RuntimeTextToUtf8 does.
std::size_t BytesToUtf8(std::string_view bytes, std::span<char> out, std::size_t& written);
