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
// it lost characters. Both must live for the whole run.
void NoteLostArguments(int32_t argc, char* const* argv, const bool* lost);

// Whether `argument` has the text of an argument that lost characters. The
// text is compared, not the pointer: the runtime may hand the program an
// argument vector of its own.
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
