// The fast reader of database files: one pass over the bytes in memory, taking only what it
// reads exactly as the exact reader would, and declining everything else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "database_file.h"

namespace standin {

// Reads a database file's bytes (`size` bytes followed by kReadPadding zero
// bytes) into `out`. Returns false, leaving `out` half filled, at anything it
// does not take: a syntax error, a field of the wrong type, a bad entry, and
// the rarer forms it leaves to the exact reader (a byte order mark, a number
// with an exponent or of over 300 digits, a count not written as plain
// digits, values nested over 512 deep). In kTitle mode the log is walked
// the same way but nothing of it is kept.
bool ReadDatabaseFast(const char* bytes, size_t size, LoadMode mode, int64_t now,
                      DatabaseContent* out);

}  // namespace standin
