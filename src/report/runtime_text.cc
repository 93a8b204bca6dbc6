// Bytes as UTF-8: what is valid UTF-8 already stays as it is, so text that
// was UTF-8 all along comes out unchanged.
#include "report/runtime_text.h"

#include "common/text_characters.h"

std::size_t BytesToUtf8(std::string_view bytes, std::span<char> out, std::size_t& written) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t taken = 0;
  written = 0;
  while (taken < bytes.size()) {
    const std::size_t length = Utf8SequenceLength(in + taken, bytes.size() - taken);
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
