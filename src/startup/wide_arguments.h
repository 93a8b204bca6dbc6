// Windows only: the command line, which the system keeps as wide text, in
// the single-byte text of the runtime (the system's code page), with no
// character silently replaced by a look-alike.
#pragma once

#include <cstddef>
#include <span>

// Converts `wide` (terminated) into `out` in the system's code page and
// terminates it. A character the code page cannot hold becomes the code
// page's default character, never a look-alike of another ("best fit"), and
// the result then says the text lost characters. A text that does not fit
// `out` is left empty and counts as lost. Returns whether nothing was lost.
bool ToSystemCodePage(const wchar_t* wide, std::span<char> out);

// The argument vector of `wideArgv` converted as above into room that lasts
// for the whole run; each argument that lost characters is noted (see
// cli/lost_arguments.h). `argc` may be cut to what the room holds.
char** ConvertArguments(int& argc, wchar_t** wideArgv);
