// Process entry on Windows. The command line is taken as wide text, split
// by the C runtime (double quotes keep blanks), and converted to the
// runtime's code page here, so that no character becomes a look-alike on
// the way; wildcards must reach the program unexpanded, since they are
// database and user-name patterns, not file names. The runtime library is
// bound before the runtime is started, so that a missing or unsuitable
// library is shown the way a failed start is.
#include "common/fixed_text.h"
#include "runtime/runtime_binding.h"
#include "startup/startup.h"
#include "startup/wide_arguments.h"

extern "C" int _dowildcard;
int _dowildcard = 0;

int wmain(int argc, wchar_t** wideArgv) {
  char** argv = ConvertArguments(argc, wideArgv);
  // Room for a file path and the system's own text besides our words.
  static char message[4 * kTextSize];
  if (const int failure = BindRuntime(message); failure != 0) {
    ShowStartupMessage(message);
    return failure;
  }
  return ProcessEntry(argc, argv);
}
