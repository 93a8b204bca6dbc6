// The frame around the main routine: it starts the runtime with the command
// line, runs the main routine on the arguments the runtime hands back, shuts
// the runtime down, and turns the outcome into the exit status.
#include "startup/startup.h"

#include <cstdio>

#include "cli/output_check.h"
#include "cli/program_main.h"
#include "cli/report_printf.h"
#include "common/fixed_text.h"

namespace {

// At most 255 characters of a status text are asked for.
constexpr uint16_t kMessageRoom = kTextSize - 1;

// Shows the runtime's own text for a failed start and returns the exit
// status it gives.
int32_t ReportStartFailure(Status status, Text& message) {
  message[0] = '\0';
  int32_t exitStatus = StartupStatusText(status, message.data(), kMessageRoom);
  message.back() = '\0';
  if (!AlreadyShown(status)) ShowStartupMessage(message.data());
  return exitStatus;
}

}  // namespace

extern "C" int ProcessEntry(int argc, char** argv) { return StartupMain(argc, argv); }

int32_t StartupMain(int32_t argc, char** argv) { return RunStartup(argc, argv, ProgramMain); }

int32_t RunStartup(int32_t argc, char** argv, MainRoutine mainRoutine) {
  Text message{};
  Status status = RuntimeInit(argc, argv);
  if (status != 0) return ReportStartFailure(status, message);

  status = RuntimeTakeArgs(argc, argv, &argc, &argv);
  if (status != 0) {
    int32_t exitStatus = ReportStartFailure(status, message);
    RuntimeTerm();
    return exitStatus;
  }

  status = RuntimeEnterMain(ProcessEntry, argc, argv, 0, nullptr);
  if (status == 0) {
    status = mainRoutine(argc, argv);
    if (status != 0 && !AlreadyShown(status)) {
      // A runtime without text for the status leaves the buffer as it was.
      message[0] = '\0';
      StatusText(status, message.data(), kMessageRoom);
      message.back() = '\0';
      ShowStartupMessage(message.data());
    }
  }
  RuntimeReleaseArgs(argc, argv);
  RuntimeTerm();
  // Output that could not be written makes a failed run, not a success.
  if (status != 0) return -1;
  return OutputFailed() ? 1 : 0;
}

void ShowStartupMessage(const char* text) {
  // Whatever the report stream still holds comes first on a shared console.
  std::fflush(nullptr);
  StreamPrintf(stdout, "\r\n%s\r\n\r\n", text);
  std::fflush(stdout);
}
