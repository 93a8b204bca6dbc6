// The databases and folders the program has open, found by their handles.
#pragma once

#include <filesystem>
#include <string>

#include "database_file.h"
#include "runtime/notes_runtime.h"

namespace standin {

struct OpenObject {
  bool isDatabase = false;
  std::filesystem::path dataDir;   // the data directory it lies in
  std::filesystem::path physical;  // absolute path of the file or folder
  std::string relPath;             // from the data directory, with the platform's separator
  DatabaseContent content;         // databases only: read and checked when opened
};

// The open object of `handle`, or null when the handle is not open.
OpenObject* FindOpen(DbHandle handle);

}  // namespace standin
