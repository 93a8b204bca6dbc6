// Arguments of the command line that held characters the runtime's code
// page cannot hold. Only the Windows entry, which reads the command line as
// wide text, finds any; elsewhere there are none.
//
// No text the runtime hands back (server names, database paths and titles,
// user names) can hold such a character, so an argument that lost one can
// name nothing: it matches nothing, rather than whatever its stand-in
// characters would match (a '?' put in a pattern's place is a wildcard).
#pragma once

#include <cstdint>

// Hands over the converted argument vector and, for each argument, whether
// it lost characters and, when it did, the text the system's "best fit"
// mapping makes of it (`lookAlikes` may be null, and so may each of its
// texts). All must live for the whole run.
void NoteLostArguments(int32_t argc, char* const* argv, const bool* lost,
                       const char* const* lookAlikes = nullptr);

// Whether `argument` is one that lost characters. The runtime may hand the
// program an argument vector of its own, made from the same command line
// its own way, so an argument not of the noted vector is known by its text:
// the program's own, or the look-alike one. A text that is neither, and no
// argument's that kept every character, may be a lost one converted some
// other way: while any argument lost characters, it counts as lost too.
bool IsLostArgument(const char* argument);

// For each setting made from an argument that lost characters (any may be
// null: not given), warns on the standard error, naming the argument and
// what it now does, and marks the setting in gRunSettings as matching
// nothing: no database is searched for such a server name or database
// pattern, such a user filter (/f) takes no name, such an exclusion (/x)
// leaves out no name.
void WarnOfLostArguments(const char* serverName, const char* dbPattern, const char* include,
                         const char* exclude);

// Back to the state at process start: no argument lost anything.
void ResetLostArguments();
