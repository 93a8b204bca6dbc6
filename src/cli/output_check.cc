// Lost output is found from the results the writers get anyway, the
// stream's error state and its last flush; no extra system call is made per
// line.
#include "cli/output_check.h"

#include <cerrno>
#include <cstring>

namespace {

std::FILE* watched = nullptr;  // null: the standard output stream
int firstError = 0;            // errno of the first failed write; 0 when none
bool failed = false;

std::FILE* Watched() { return watched != nullptr ? watched : stdout; }

void Note(int error) {
  if (firstError == 0) firstError = error != 0 ? error : EIO;
}

}  // namespace

void WatchOutput(std::FILE* stream) { watched = stream; }

void NoteWriteResult(std::FILE* stream, int result) {
  if (result < 0 && stream == Watched()) Note(errno);
}

bool OutputLost() { return firstError != 0 || std::ferror(Watched()) != 0; }

bool FinishOutput(std::FILE* messageStream) {
  std::FILE* stream = Watched();
  if (std::fflush(stream) != 0) Note(errno);
  // An error that no result showed is lost output all the same.
  if (std::ferror(stream) != 0) Note(EIO);
  if (firstError == 0) return true;
  failed = true;
  std::fprintf(messageStream, "Unable to write to standard output: %s\n",
               std::strerror(firstError));
  std::fflush(messageStream);
  return false;
}

void NoteOutputIncomplete() { failed = true; }

bool OutputFailed() { return failed; }

void ResetOutputCheck() {
  watched = nullptr;
  firstError = 0;
  failed = false;
}
