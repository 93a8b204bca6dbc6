// The stream exchange on Windows: descriptors 1 and 2 trade places, and the
// process's standard handles follow them, so that anything written through
// the handles lands where the descriptors now point.
#include <io.h>
#include <windows.h>

#include <array>
#include <cstdarg>
#include <cstdio>

#include "cli/streams.h"

void SwapStandardStreams() {
  const int errorFd = _fileno(stderr);
  const int outputFd = _fileno(stdout);
  std::fflush(nullptr);
  const int errorCopy = _dup(errorFd);
  const int outputCopy = _dup(outputFd);
  _dup2(outputCopy, errorFd);
  _dup2(errorCopy, outputFd);
  _close(outputCopy);
  _close(errorCopy);
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(outputFd)));
  SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(errorFd)));
}

void BufferReportStream() {
  // This C runtime has no line buffering, so a console stays unbuffered and
  // only files and pipes get the large buffer.
  static char buffer[1 << 16];
  std::fflush(stderr);
  if (!_isatty(_fileno(stderr))) std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

int WriteToReportStream(const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, stderr) == size ? static_cast<int>(size) : -1;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

int PrintToReportStream(const char* format, va_list args) {
  // This C runtime empties a stream's buffer at the end of every formatted
  // print to it, which would make each report line its own write again. So
  // a line is formatted here and handed to the stream whole.
  std::array<char, 1024> line;
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line.data(), line.size(), format, args);
  int written = length;
  if (length >= 0 && static_cast<std::size_t>(length) < line.size()) {
    if (std::fwrite(line.data(), 1, static_cast<std::size_t>(length), stderr) !=
        static_cast<std::size_t>(length)) {
      written = -1;
    }
  } else if (length >= 0) {
    written = std::vfprintf(stderr, format, again);  // longer than any usual line
  }
  va_end(again);
  return written;
}
