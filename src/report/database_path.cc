// Building the network path of the database a view is about to open.
#include "report/database_path.h"

namespace {
bool pathCut = false;
}  // namespace

void NoteDatabasePathCut(bool cut) { pathCut = cut; }

Status BuildDatabasePath(const char* serverName, const char* dbPath, Text& path) {
  path[0] = '\0';
  if (pathCut) return kPathNotKept;
  const Status status = BuildNetPath(nullptr, serverName, dbPath, path.data());
  path.back() = '\0';
  return status;
}
