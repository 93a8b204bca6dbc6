// The stream exchange on POSIX: descriptors 1 and 2 trade places.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "cli/streams.h"

void SwapStandardStreams() {
  const int errorFd = fileno(stderr);
  const int outputFd = fileno(stdout);
  std::fflush(nullptr);
  // A descriptor the process started without trades places as a closed one.
  // The copies go above the three standard numbers: a plain dup would take a
  // closed one's number, and closing that copy would close it for good.
  const bool errorOpen = fcntl(errorFd, F_GETFD) != -1;
  const bool outputOpen = fcntl(outputFd, F_GETFD) != -1;
  // Results are not examined: a failed step leaves the descriptors as they are.
  const int errorCopy = errorOpen ? fcntl(errorFd, F_DUPFD, 3) : -1;
  const int outputCopy = outputOpen ? fcntl(outputFd, F_DUPFD, 3) : -1;
  if (outputCopy >= 0) {
    dup2(outputCopy, errorFd);
  } else if (!outputOpen) {
    close(errorFd);
  }
  if (errorCopy >= 0) {
    dup2(errorCopy, outputFd);
  } else if (!errorOpen) {
    close(outputFd);
  }
  if (outputCopy >= 0) close(outputCopy);
  if (errorCopy >= 0) close(errorCopy);
}

void BufferReportStream() {
  // Unbuffered, every report line would be a system call of its own.
  static char buffer[1 << 16];
  std::fflush(stderr);
  if (isatty(fileno(stderr))) {
    std::setvbuf(stderr, buffer, _IOLBF, sizeof buffer);
  } else {
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
  }
}

int WriteToStream(std::FILE* stream, const char* data, std::size_t size) {
  // One thread writes, so the stream's lock is not taken.
  return fwrite_unlocked(data, 1, size, stream) == size ? static_cast<int>(size) : -1;
}

void MarkReportTextUtf8() {}  // bytes go to a terminal as they stand

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

int PrintToStream(std::FILE* stream, const char* format, va_list args) {
  return std::vfprintf(stream, format, args);
}
