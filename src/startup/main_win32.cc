// Process entry on Windows. The C runtime splits the command line (double
// quotes keep blanks); wildcards must reach the program unexpanded, since
// they are database and user-name patterns, not file names.
#include "startup/startup.h"

extern "C" int _dowildcard;
int _dowildcard = 0;

int main(int argc, char** argv) { return ProcessEntry(argc, argv); }
