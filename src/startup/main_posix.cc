// Process entry: the shell has already split the command line.
#include "startup/startup.h"

int main(int argc, char** argv) { return ProcessEntry(argc, argv); }
