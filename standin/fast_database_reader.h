// The fast reader of database files: one pass over the bytes in memory, taking only what it
// reads exactly as the exact reader would, and declining everything else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "database_file.h"

namespace standin {

// A file's bytes as the fast reader sees them: all of them, or a window that
// is moved on between the entries of the log, so that a long file is read
// without holding all of it. The window's bytes are followed by kReadPadding
// zero bytes.
struct ByteWindow {
  const char* begin = nullptr;
  const char* end = nullptr;
  bool complete = true;  // the window reaches the end of the file
  size_t lookahead = 0;  // bytes the reader asks to have ahead of an entry

  virtual ~ByteWindow() = default;
  // Moves the window to start at `keep`, a place in it, and to hold at least
  // `lookahead` bytes from there or the rest of the file; false when the file
  // cannot be read on.
  virtual bool Advance(const char* /*keep*/) { return false; }
};

// Reads a database file's bytes (`size` bytes followed by kReadPadding zero
// bytes) into `out`. Returns false, leaving `out` half filled, at anything it
// does not take: a syntax error, a field of the wrong type, a bad entry, and
// the rarer forms it leaves to the exact reader (a byte order mark, a number
// with an exponent or of over 300 digits, a count not written as plain
// digits, values nested over 512 deep). In kTitle mode the log is walked
// the same way but nothing of it is kept.
bool ReadDatabaseFast(const char* bytes, size_t size, LoadMode mode, int64_t now,
                      DatabaseContent* out);

// The same over a window: an entry, or anything else, that does not fit in
// the window ahead of it is declined like any other form the reader leaves.
bool ReadDatabaseFast(ByteWindow* window, LoadMode mode, int64_t now, DatabaseContent* out);

}  // namespace standin
