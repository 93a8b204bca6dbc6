// The runtime's text on Windows is in the system's ANSI code page: each
// piece goes to UTF-16 and from there to UTF-8.
#include <windows.h>

#include <algorithm>

#include "common/text_characters.h"
#include "report/runtime_text.h"

namespace {

// Bytes converted at a time.
constexpr std::size_t kPiece = 512;

}  // namespace

std::size_t RuntimeTextToUtf8(std::string_view text, std::span<char> out, std::size_t& written) {
  written = 0;
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8) return BytesToUtf8(text, out, written);

  // One byte is at most one UTF-16 unit, and that at most three bytes of UTF-8.
  const std::size_t most = std::min({text.size(), out.size() / kMaxUtf8PerByte, kPiece});
  // A piece never ends between the two bytes of a double-byte character.
  std::size_t end = 0;
  while (end < most) {
    const std::size_t step = CharacterLength(text.data() + end, text.size() - end);
    if (end + step > most) break;
    end += step;
  }
  if (end == 0) return 0;

  wchar_t wide[kPiece];
  const int units =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(end), wide, kPiece);
  const int bytes = units <= 0
                        ? 0
                        : WideCharToMultiByte(CP_UTF8, 0, wide, units, out.data(),
                                              static_cast<int>(out.size()), nullptr, nullptr);
  // Text the system will not convert is taken as bytes: the output stays UTF-8.
  if (bytes <= 0) return BytesToUtf8(text.substr(0, end), out, written);
  written = static_cast<std::size_t>(bytes);
  return end;
}
