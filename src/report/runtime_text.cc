// Bytes as UTF-8: what is valid UTF-8 already stays as it is, so text that
// was UTF-8 all along comes out unchanged.
#include "report/runtime_text.h"

#include <cstdint>

namespace {

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at the start of `s` (1 to 4), or 0 when
// none starts there: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t SequenceLength(const unsigned char* s, std::size_t size) {
  const unsigned char c = s[0];
  if (c < 0x80) return 1;
  if (c < 0xC2 || c > 0xF4) return 0;
  if (c < 0xE0) return size >= 2 && Continuation(s[1]) ? 2 : 0;
  if (size < 3 || !Continuation(s[2])) return 0;
  if (c < 0xF0) {
    const unsigned char low = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : 0xBF;
    return s[1] >= low && s[1] <= high ? 3 : 0;
  }
  if (size < 4 || !Continuation(s[3])) return 0;
  const unsigned char low = c == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = c == 0xF4 ? 0x8F : 0xBF;
  return s[1] >= low && s[1] <= high ? 4 : 0;
}

}  // namespace

std::size_t BytesToUtf8(std::string_view bytes, std::span<char> out, std::size_t& written) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t taken = 0;
  written = 0;
  while (taken < bytes.size()) {
    const std::size_t length = SequenceLength(in + taken, bytes.size() - taken);
    const std::size_t needed = length == 0 ? 2 : length;
    if (out.size() - written < needed) break;
    if (length == 0) {
      const unsigned char c = in[taken];  // 0x80 to 0xFF: two bytes of UTF-8
      out[written++] = static_cast<char>(0xC0 | (c >> 6));
      out[written++] = static_cast<char>(0x80 | (c & 0x3F));
      ++taken;
    } else {
      for (std::size_t i = 0; i < length; ++i) out[written++] = bytes[taken++];
    }
  }
  return taken;
}
