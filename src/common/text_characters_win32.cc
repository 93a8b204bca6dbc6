// The runtime's text on Windows is in the system's ANSI code page, which
// holds for the whole run: its lead bytes are learnt once.
#include <windows.h>

#include <array>

#include "common/text_characters.h"

namespace {

struct CodePage {
  bool utf8 = false;
  bool doubleByte = false;
  std::array<bool, 256> lead{};
};

CodePage Learn() {
  CodePage page;
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8) {
    page.utf8 = true;
    return page;
  }
  CPINFO info{};
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize < 2) return page;
  // Ranges of lead bytes, in pairs, up to a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) page.lead[b] = true;
  }
  page.doubleByte = true;
  return page;
}

const CodePage& SystemCodePage() {
  static const CodePage page = Learn();
  return page;
}

}  // namespace

std::size_t CharacterLength(const char* text, std::size_t size) {
  if (size == 0) return 0;
  const CodePage& page = SystemCodePage();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (page.utf8) {
    const std::size_t length = Utf8SequenceLength(bytes, size);
    return length == 0 ? 1 : length;
  }
  // A lead byte takes the byte after it when that may be a trail byte: those
  // of every double-byte code page are 0x40 and above, so the end of the text,
  // a '*' or a '?' is never taken.
  return page.lead[bytes[0]] && size >= 2 && bytes[1] >= 0x40 ? 2 : 1;
}

bool CharacterCutShort(const char* text, std::size_t size) {
  const CodePage& page = SystemCodePage();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (page.utf8) return Utf8CutShort(bytes, size);
  return size == 1 && page.lead[bytes[0]];
}

TextEncoding SystemTextEncoding() {
  const CodePage& page = SystemCodePage();
  return page.utf8         ? TextEncoding::kUtf8
         : page.doubleByte ? TextEncoding::kDoubleByte
                           : TextEncoding::kSingleByte;
}
