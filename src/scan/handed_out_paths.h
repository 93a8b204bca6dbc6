// The paths one scan has handed out, kept whole (every byte the directory
// entry gave, also past the 255 the table keeps), so that the batches of a
// directory that changed between searches can tell the entries already
// handed out from the new ones, and two paths are never taken for one.
//
// They live in an arena of their own that grows in chunks from the system,
// as the databases of the scan come. While the directory stays as it was,
// the paths are only appended; the hash index that finds them is made the
// first time a batch has to look one up, and kept up from then on.
#pragma once

#include <cstddef>
#include <string_view>

// Empties the paths and gives their memory back (a new scan begins).
void ForgetHandedOutPaths();

// Keeps `path` after the others. False when memory ran short: the path is
// not kept, and nothing can be told of it.
bool KeepHandedOutPath(std::string_view path);

// Whether `path` is, byte for byte, the one kept last.
bool IsLastHandedOutPath(std::string_view path);

// Makes the hash index over the paths kept so far, unless it is made; from
// then on every kept path goes into it too. False when memory ran short.
bool IndexHandedOutPaths();

// Whether `path` was kept, byte for byte. Needs the index.
bool WasHandedOut(std::string_view path);

// How many paths are kept.
std::size_t HandedOutPathCount();

// Bytes taken from the system for the paths and their index.
std::size_t HandedOutPathsMemory();

// The most bytes the paths may take (0: no bound); tests use it to run short
// of memory.
void SetHandedOutPathsMemoryLimit(std::size_t bytes);
