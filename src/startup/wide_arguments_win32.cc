// The wide command line converted without best-fit mapping: a character
// outside the code page must not become another that means something else
// (a '?' is a wildcard, and "Ł" would otherwise match an "L").
#include <windows.h>

#include <string>

#include "cli/lost_arguments.h"
#include "startup/wide_arguments.h"

namespace {

// The command line holds at most 32,767 characters; each becomes at most three
// bytes (in UTF-8, the widest code page; a pair of surrogates becomes four),
// and each argument has at least one character of the line around it.
constexpr std::size_t kMaxLine = 32768;
constexpr std::size_t kMaxArguments = kMaxLine / 2 + 1;

}  // namespace

bool ToSystemCodePage(const wchar_t* wide, std::span<char> out) {
  if (out.empty()) return false;
  BOOL usedDefault = FALSE;
  const int room = static_cast<int>(out.size());
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out.data(), room,
                                   nullptr, &usedDefault);
  if (length == 0 && GetLastError() == ERROR_INVALID_PARAMETER) {
    // A code page that takes no such flags (UTF-8) holds every character;
    // only a broken one (a lone surrogate) is replaced.
    length = WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(), room, nullptr, nullptr);
    usedDefault = FALSE;
    for (const wchar_t* c = wide; *c != L'\0'; ++c) {
      if (*c >= 0xd800 && *c <= 0xdfff) {
        const bool paired = *c <= 0xdbff && c[1] >= 0xdc00 && c[1] <= 0xdfff;
        if (!paired) usedDefault = TRUE;
        if (paired) ++c;
      }
    }
  }
  if (length == 0) {
    out[0] = '\0';  // too long for `out`, or not text at all
    return false;
  }
  out[static_cast<std::size_t>(length) - 1] = '\0';
  return usedDefault == FALSE;
}

namespace {

// The text the system's "best fit" mapping makes of `wide` (what a vector
// made from the command line in the code page holds), in `out`; empty when
// it does not fit.
void ToLookAlike(const wchar_t* wide, std::span<char> out) {
  const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
  out[length > 0 ? static_cast<std::size_t>(length) - 1 : 0] = '\0';
}

}  // namespace

char** ConvertArguments(int& argc, wchar_t** wideArgv) {
  // Each argument, and the look-alike of each that lost characters.
  static char room[2 * (3 * kMaxLine + kMaxArguments)];
  static char* argv[kMaxArguments + 1];
  static bool lost[kMaxArguments];
  static const char* lookAlikes[kMaxArguments];
  if (argc < 0) argc = 0;
  if (static_cast<std::size_t>(argc) > kMaxArguments) argc = static_cast<int>(kMaxArguments);
  std::size_t used = 0;
  for (int i = 0; i < argc; ++i) {
    if (used == sizeof room) {
      argc = i;  // cannot happen with a command line the system accepts
      break;
    }
    const wchar_t* wide = wideArgv[i] != nullptr ? wideArgv[i] : L"";
    const std::span<char> rest(room + used, sizeof room - used);
    lost[i] = !ToSystemCodePage(wide, rest);
    argv[i] = rest.data();
    used += std::char_traits<char>::length(rest.data()) + 1;
    lookAlikes[i] = nullptr;
    if (lost[i] && used < sizeof room) {
      const std::span<char> after(room + used, sizeof room - used);
      ToLookAlike(wide, after);
      lookAlikes[i] = after.data();
      used += std::char_traits<char>::length(after.data()) + 1;
    }
  }
  argv[argc] = nullptr;
  NoteLostArguments(argc, argv, lost, lookAlikes);
  return argv;
}
