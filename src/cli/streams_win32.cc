// The stream exchange on Windows: descriptors 1 and 2 trade places, and the
// process's standard handles follow them, so that anything written through
// the handles lands where the descriptors now point.
//
// Text is the runtime's: single bytes in the system's (ANSI) code page. A
// file or a pipe gets those bytes unchanged. A console would read them in
// its own (OEM) code page and show every character outside ASCII wrongly,
// so what goes to a console is converted from the system's code page and
// written as wide text.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cli/streams.h"
#include "cli/wide_streams.h"
#include "common/text_characters.h"

namespace {

// The code page of what the report stream (standard error) carries.
UINT reportCodePage = CP_ACP;

// Whether descriptors 0 to 2 are consoles: -1 not yet asked, 0 no, 1 yes.
// Asked once per descriptor, and again after the exchange.
int consoleState[3] = {-1, -1, -1};

// The console `stream` writes to, or null when it writes to anything else.
HANDLE ConsoleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  if (fd < 0 || fd > 2) return nullptr;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (consoleState[fd] < 0) {
    DWORD mode = 0;
    consoleState[fd] = handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? 1 : 0;
  }
  return consoleState[fd] == 1 ? handle : nullptr;
}

// The cuts of text in `codePage`: UTF-8 (the reports of /j, or a system of
// UTF-8), or the system's own code page.
std::size_t WholeCharacters(UINT codePage, const char* data, std::size_t size, std::size_t limit) {
  const std::string_view text(data, size);
  return codePage == CP_UTF8 ? WholeUtf8In(text, limit) : WholeCharactersIn(text, limit);
}

std::size_t FinishedCharacters(UINT codePage, const char* data, std::size_t size) {
  const std::string_view text(data, size);
  return codePage == CP_UTF8 ? FinishedUtf8In(text) : FinishedCharactersIn(text);
}

// Shows `size` bytes of `codePage` on `console` as wide text.
bool WriteToConsole(HANDLE console, UINT codePage, const char* data, std::size_t size) {
  constexpr std::size_t kPiece = 4096;  // bytes converted at a time
  static wchar_t wide[kPiece];
  while (size > 0) {
    std::size_t piece = WholeCharacters(codePage, data, size, kPiece);
    if (piece == 0) piece = 1;  // a lone lead byte at the very end
    const int count = MultiByteToWideChar(codePage, 0, data, static_cast<int>(piece), wide,
                                          static_cast<int>(kPiece));
    if (count == 0) return false;
    for (int done = 0; done < count;) {
      DWORD written = 0;
      if (!WriteConsoleW(console, wide + done, static_cast<DWORD>(count - done), &written,
                         nullptr) ||
          written == 0) {
        return false;
      }
      done += static_cast<int>(written);
    }
    data += piece;
    size -= piece;
  }
  return true;
}

// The first bytes of a character that one write to a console ended with,
// per descriptor, kept for the next write to finish: a writer cuts its text
// where its buffer is full, not between characters.
struct HeldCharacter {
  char bytes[4];
  std::size_t size;
  UINT codePage;
  HANDLE console;
};
HeldCharacter held[3];

// Shows what `slot` holds as it stands (a character never finished shows
// as the conversion shows a broken one).
bool ShowHeld(HeldCharacter& slot) {
  const std::size_t size = slot.size;
  slot.size = 0;
  return size == 0 || WriteToConsole(slot.console, slot.codePage, slot.bytes, size);
}

void ShowAllHeld() {
  for (HeldCharacter& slot : held) ShowHeld(slot);
}

// Shows `size` bytes on the console of descriptor `fd`, in whole characters
// across writes.
bool WriteWholeCharacters(int fd, HANDLE console, UINT codePage, const char* data,
                          std::size_t size) {
  HeldCharacter& slot = held[fd];
  if (slot.size > 0 && (slot.codePage != codePage || slot.console != console) && !ShowHeld(slot)) {
    return false;
  }
  if (slot.size > 0) {
    // The bytes that go on with the held character join it; a byte that
    // cannot ends it as it stands.
    while (size > 0 && slot.size < sizeof slot.bytes &&
           FinishedCharacters(codePage, slot.bytes, slot.size) == 0) {
      slot.bytes[slot.size] = *data;
      const std::size_t grown = slot.size + 1;
      const bool goesOn = FinishedCharacters(codePage, slot.bytes, grown) == 0 ||
                          WholeCharacters(codePage, slot.bytes, grown, slot.size) == 0;
      if (!goesOn) break;
      ++slot.size;
      ++data;
      --size;
    }
    if (size == 0 && FinishedCharacters(codePage, slot.bytes, slot.size) == 0) {
      return true;  // still unfinished
    }
    if (!ShowHeld(slot)) return false;
  }
  const std::size_t tail = size - FinishedCharacters(codePage, data, size);
  if (!WriteToConsole(console, codePage, data, size - tail)) return false;
  if (tail > 0) {
    static const bool shownAtExit = std::atexit(ShowAllHeld) == 0;
    (void)shownAtExit;
    std::memcpy(slot.bytes, data + size - tail, tail);
    slot.size = tail;
    slot.codePage = codePage;
    slot.console = console;
  }
  return true;
}

int WriteText(std::FILE* stream, const char* data, std::size_t size) {
  if (const HANDLE console = ConsoleOf(stream)) {
    std::fflush(stream);  // whatever the stream still holds comes first
    // A system code page of UTF-8 is cut between characters as UTF-8.
    static const UINT systemCodePage = GetACP() == CP_UTF8 ? CP_UTF8 : CP_ACP;
    UINT codePage = stream == stderr ? reportCodePage : CP_ACP;
    if (codePage == CP_ACP) codePage = systemCodePage;
    if (WriteWholeCharacters(_fileno(stream), console, codePage, data, size)) {
      return static_cast<int>(size);
    }
    errno = EIO;
    return -1;
  }
  return std::fwrite(data, 1, size, stream) == size ? static_cast<int>(size) : -1;
}

// Formats onto a console a text too long for any room of ours, one
// conversion at a time: a string goes to WriteText as it stands, however
// long, so it is converted whole; a character or a number is short. Takes
// the conversions the program's long lines are made of ("%s", "%.*s", "%c",
// "%d", "%u" and "%ld" and the like, no flags or widths); returns -2, having
// written nothing and taken no argument, for a format with any other.
int PrintInPieces(std::FILE* stream, const char* format, va_list args) {
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p, '%')) {
    ++p;
    if (*p == '%') {
      ++p;
      continue;
    }
    if (std::strncmp(p, ".*s", 3) == 0) {
      p += 3;
      continue;
    }
    while (*p == 'l') ++p;
    if (*p == '\0' || std::strchr("scdiu", *p) == nullptr) return -2;
    if (*p == 's' && p[-1] == 'l') return -2;  // a wide string
    ++p;
  }
  long long total = 0;
  const auto put = [&](const char* data, std::size_t size) {
    if (size == 0) return true;
    if (WriteText(stream, data, size) < 0) return false;
    total += static_cast<long long>(size);
    return true;
  };
  char number[32];
  const auto putNumber = [&](int length) {
    return length > 0 && put(number, static_cast<std::size_t>(length));
  };
  bool good = true;
  while (good && *format != '\0') {
    const char* percent = std::strchr(format, '%');
    if (percent == nullptr) {
      good = put(format, std::strlen(format));
      break;
    }
    good = put(format, static_cast<std::size_t>(percent - format));
    const char* p = percent + 1;
    if (*p == '%') {
      good = good && put("%", 1);
      format = p + 1;
      continue;
    }
    int longs = 0;
    std::size_t precision = static_cast<std::size_t>(-1);
    if (std::strncmp(p, ".*", 2) == 0) {
      const int given = va_arg(args, int);
      if (given >= 0) precision = static_cast<std::size_t>(given);
      p += 2;
    }
    for (; *p == 'l'; ++p) ++longs;
    switch (*p) {
      case 's': {
        const char* text = va_arg(args, const char*);
        std::size_t size = 0;
        while (size < precision && text[size] != '\0') ++size;
        good = good && put(text, size);
        break;
      }
      case 'c':
        number[0] = static_cast<char>(va_arg(args, int));
        good = good && put(number, 1);
        break;
      case 'd':
      case 'i':
        if (longs == 0)
          good = good && putNumber(std::snprintf(number, sizeof number, "%d", va_arg(args, int)));
        if (longs == 1)
          good = good && putNumber(std::snprintf(number, sizeof number, "%ld", va_arg(args, long)));
        if (longs >= 2)
          good = good &&
                 putNumber(std::snprintf(number, sizeof number, "%lld", va_arg(args, long long)));
        break;
      default:  // 'u', as checked above
        if (longs == 0)
          good =
              good && putNumber(std::snprintf(number, sizeof number, "%u", va_arg(args, unsigned)));
        if (longs == 1)
          good = good && putNumber(std::snprintf(number, sizeof number, "%lu",
                                                 va_arg(args, unsigned long)));
        if (longs >= 2)
          good = good && putNumber(std::snprintf(number, sizeof number, "%llu",
                                                 va_arg(args, unsigned long long)));
        break;
    }
    format = p + 1;
  }
  return good ? static_cast<int>(total) : -1;
}

}  // namespace

void SwapStandardStreams() {
  const int errorFd = _fileno(stderr);
  const int outputFd = _fileno(stdout);
  std::fflush(nullptr);
  ShowAllHeld();  // an unfinished character goes where its beginning went
  const int errorCopy = _dup(errorFd);
  const int outputCopy = _dup(outputFd);
  _dup2(outputCopy, errorFd);
  _dup2(errorCopy, outputFd);
  _close(outputCopy);
  _close(errorCopy);
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(outputFd)));
  SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(errorFd)));
  consoleState[1] = consoleState[2] = -1;
}

void BufferReportStream() {
  // This C runtime has no line buffering, so a console stays unbuffered and
  // only files and pipes get the large buffer.
  static char buffer[1 << 16];
  std::fflush(stderr);
  if (ConsoleOf(stderr) == nullptr) std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

int WriteToStream(std::FILE* stream, const char* data, std::size_t size) {
  return WriteText(stream, data, size);
}

void MarkReportTextUtf8() { reportCodePage = CP_UTF8; }

// A console, not any character device: the null device is none.
bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

int PrintToStream(std::FILE* stream, const char* format, va_list args) {
  // This C runtime empties a stream's buffer at the end of every formatted
  // print to it, which would make each report line its own write again. So
  // a line is formatted here and handed to the stream whole.
  std::array<char, 1024> line;
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line.data(), line.size(), format, args);
  int written = length;
  if (length >= 0 && static_cast<std::size_t>(length) < line.size()) {
    if (WriteText(stream, line.data(), static_cast<std::size_t>(length)) < 0) written = -1;
  } else if (length >= 0) {
    // Longer than any usual line. A console gets it converted when it fits
    // a room of its own, and beyond that one conversion at a time; a file or
    // a pipe gets it as it stands, whole.
    static char room[1 << 16];
    const bool console = ConsoleOf(stream) != nullptr;
    if (console && static_cast<std::size_t>(length) < sizeof room) {
      std::vsnprintf(room, sizeof room, format, again);
      if (WriteText(stream, room, static_cast<std::size_t>(length)) < 0) written = -1;
    } else if (const int pieces = console ? PrintInPieces(stream, format, again) : -2;
               pieces != -2) {
      written = pieces;
    } else {
      written = std::vfprintf(stream, format, again);
    }
  }
  va_end(again);
  return written;
}

int WriteWideToStream(std::FILE* stream, std::wstring_view text) {
  const std::size_t size = text.size();
  if (const HANDLE console = ConsoleOf(stream)) {
    std::fflush(stream);
    if (!ShowHeld(held[_fileno(stream)])) {
      errno = EIO;
      return -1;
    }
    while (!text.empty()) {
      DWORD written = 0;
      const auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size(), 4096));
      if (!WriteConsoleW(console, text.data(), piece, &written, nullptr) || written == 0) {
        errno = EIO;
        return -1;
      }
      text.remove_prefix(written);
    }
    return static_cast<int>(size);
  }
  // A file gets the system's code page, where a character it cannot hold
  // becomes '?', never a look-alike that would name another file.
  static const DWORD noBestFit = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  static char bytes[4 * 1024 + 4];
  while (!text.empty()) {
    std::size_t piece = std::min<std::size_t>(text.size(), 1024);
    // Never between the two halves of a character beyond the 16-bit range.
    if (piece < text.size() && text[piece - 1] >= 0xd800 && text[piece - 1] <= 0xdbff) --piece;
    const int length = WideCharToMultiByte(CP_ACP, noBestFit, text.data(), static_cast<int>(piece),
                                           bytes, sizeof bytes, nullptr, nullptr);
    if (length <= 0 || WriteText(stream, bytes, static_cast<std::size_t>(length)) < 0) return -1;
    text.remove_prefix(piece);
  }
  return static_cast<int>(size);
}
