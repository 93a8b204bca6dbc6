// Process entry on Windows. The command line is taken as wide text, split
// by the C runtime (double quotes keep blanks), and converted to the
// runtime's code page here, so that no character becomes a look-alike on
// the way; wildcards must reach the program unexpanded, since they are
// database and user-name patterns, not file names. The runtime library is
// bound before the runtime is started, so that a missing or unsuitable
// library is shown the way a failed start is.
#include <cstdio>

#include "cli/output_check.h"
#include "cli/wide_streams.h"
#include "runtime/runtime_binding.h"
#include "startup/startup.h"
#include "startup/wide_arguments.h"

extern "C" int _dowildcard;
int _dowildcard = 0;

namespace {

// Shown as a failed start is, with the library's path as it is.
void ShowBindingMessage(const wchar_t* text) {
  std::fflush(nullptr);
  for (const std::wstring_view piece :
       {std::wstring_view(L"\r\n"), std::wstring_view(text), std::wstring_view(L"\r\n\r\n")}) {
    NoteWriteResult(stdout, WriteWideToStream(stdout, piece));
  }
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** wideArgv) {
  char** argv = ConvertArguments(argc, wideArgv);
  static wchar_t message[kBindingMessageSize];
  if (const int failure = BindRuntime(message); failure != 0) {
    ShowBindingMessage(message);
    return failure;
  }
  return ProcessEntry(argc, argv);
}
