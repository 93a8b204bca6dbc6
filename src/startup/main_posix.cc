// Process entry: the shell has already split the command line.
#include <csignal>

#include "startup/startup.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write fails with its own error, reported like
  // every other lost write, instead of the signal killing the run without a
  // word. A reader that closes the pipe early still ends the run quietly.
  std::signal(SIGXFSZ, SIG_IGN);
  return ProcessEntry(argc, argv);
}
