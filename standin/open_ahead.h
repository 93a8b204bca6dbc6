// The database the program will likely open next, read on the second thread while the
// program prints the one before: the program opens the databases of a search in its order.
#pragma once

#include <filesystem>
#include <string>

#include "database_file.h"
#include "platform.h"

namespace standin {

// What reading a database for its opening gave.
struct OpenRead {
  bool read = false;
  ReadProblem problem;
  DatabaseContent content;
  bool blockMade = false;  // the entries block of `content`, made too
  std::vector<uint8_t> block;
};

// The read made ahead of the opening of the database at `physical`, when it is
// of the file as it is open now (`stamp`) with the summary as of `now`.
bool TakeReadAhead(const std::filesystem::path& physical, const platform::Stamp& stamp, int64_t now,
                   OpenRead* out);

// Notes that the database `path` (at `physical`, in `dataDir`, a file of `size`
// bytes) was opened; when the program opens databases in their search order,
// and this one is long, the next one is read ahead with the summary as of `now`.
void ReadNextAhead(const std::filesystem::path& dataDir, const std::string& path,
                   const std::filesystem::path& physical, uint64_t size, int64_t now);

// Drops what was read ahead.
void DropReadAhead();

}  // namespace standin
