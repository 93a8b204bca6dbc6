// The stream exchange on POSIX: descriptors 1 and 2 trade places.
#include <unistd.h>

#include <cstdio>

#include "cli/streams.h"

void SwapStandardStreams() {
  const int errorFd = fileno(stderr);
  const int outputFd = fileno(stdout);
  std::fflush(nullptr);
  // Results are not examined: a failed step leaves the descriptors as they are.
  const int errorCopy = dup(errorFd);
  const int outputCopy = dup(outputFd);
  dup2(outputCopy, errorFd);
  dup2(errorCopy, outputFd);
  close(outputCopy);
  close(errorCopy);
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

int PrintToReportStream(const char* format, va_list args) {
  return std::vfprintf(stderr, format, args);
}
