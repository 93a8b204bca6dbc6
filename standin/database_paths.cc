// Network paths, server data directories, and opening and closing databases and folders
// under their handles.
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "known_folders.h"
#include "log_builder.h"
#include "open_objects.h"
#include "platform.h"
#include "standin_internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

// "server!!file" names a file on a server, and a path without "!!" is local.
// A local path that holds "!!" itself is written "!!file": the server part
// before the first mark is then empty. Server names hold no "!!" and do not
// end in "!", so the first mark is always the one put there.
constexpr std::string_view kServerMark = "!!";
constexpr size_t kMaxNetPath = 255;

uint32_t lastHandle = 0;

std::map<DbHandle, std::unique_ptr<OpenObject>>& OpenObjects() {
  static std::map<DbHandle, std::unique_ptr<OpenObject>> objects;
  return objects;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualFolded(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// The folder name that stands for server `server`.
std::string ServerFolderName(const std::string& server) {
  std::string name = server;
  for (char& c : name) {
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  return name;
}

// The data directory of `server` (the local one when empty).
Status DataDirectoryOf(const std::string& server, fs::path* dataDir) {
  const Config& config = CurrentConfig();
  if (server.empty()) {
    *dataDir = config.dataDir;
    return 0;
  }
  const std::string quoted = "\"" + server + "\"";
  if (!config.serversDir) {
    return Fail(kUnknownServer, "Server " + quoted + " cannot be reached: USETRAIL_SERVERS is " +
                                    (config.serversEmpty ? "empty" : "not set"));
  }
  const std::string wanted = ServerFolderName(server);
  std::error_code error;
  fs::directory_iterator folders(*config.serversDir, error);
  if (error) {
    return Fail(
        kUnknownServer,
        "Server " + quoted + " cannot be reached: USETRAIL_SERVERS is not a readable folder");
  }
  // Names are compared in byte order so that, of two folders that differ
  // only in case, the same one is always taken.
  std::string best;
  for (const fs::directory_entry& entry : folders) {
    const std::string name = entry.path().filename().string();
    std::error_code typeError;
    // A server's folder may be reached through a link, as the data directory may.
    if (!entry.is_directory(typeError)) continue;
    if (EqualFolded(name, wanted) && (best.empty() || name < best)) best = name;
  }
  if (best.empty()) {
    return Fail(kUnknownServer, "Server " + quoted + " cannot be reached: no folder \"" + wanted +
                                    "\" in USETRAIL_SERVERS");
  }
  *dataDir = *config.serversDir / platform::PathOf(best);
  return 0;
}

// Splits `file` into parts, refusing anything that would leave the data
// directory; "." parts and empty parts (doubled separators) are dropped.
Status SplitRelative(const std::string& file, std::vector<std::string>* parts) {
  const std::string quoted = "\"" + file + "\"";
  if (!file.empty() &&
      (platform::IsPathSeparator(file[0]) || platform::PathOf(file).has_root_path())) {
    return Fail(kPathEscapes,
                "Path " + quoted + " is absolute: paths are relative to the data directory");
  }
  std::string part;
  for (size_t i = 0; i <= file.size(); ++i) {
    if (i < file.size() && !platform::IsPathSeparator(file[i])) {
      part += file[i];
      continue;
    }
    if (part == "..") {
      return Fail(kPathEscapes, "Path " + quoted + " leaves the data directory");
    }
    if (!part.empty() && part != ".") parts->push_back(part);
    part.clear();
  }
  return 0;
}

}  // namespace

bool IsDatabaseName(const std::string& name) {
  return name.size() >= 3 && EqualFolded(name.substr(name.size() - 3), ".db");
}

uint32_t NewHandleNumber() {
  // Skip 0 and any number still in use after the counter wraps.
  do {
    ++lastHandle;
  } while (lastHandle == 0 || OpenObjects().count(lastHandle) != 0 || BlockExists(lastHandle));
  return lastHandle;
}

OpenObject* FindOpen(DbHandle handle) {
  const auto found = OpenObjects().find(handle);
  return found == OpenObjects().end() ? nullptr : found->second.get();
}

void CloseAllDatabases() { OpenObjects().clear(); }
size_t OpenHandles() { return OpenObjects().size(); }

}  // namespace standin

extern "C" {

Status BuildNetPath(const char* port, const char* server, const char* file, char* pathOut) try {
  using standin::Fail;
  if (pathOut == nullptr) return Fail(standin::kBadArgument);
  pathOut[0] = '\0';
  if (const Status fault =
          standin::CheckFixed("BuildNetPath", {standin::NullArgument("port", port)})) {
    return fault;
  }
  const std::string serverName = server != nullptr ? server : "";
  const std::string fileName = file != nullptr ? file : "";
  if (serverName.find(standin::kServerMark) != std::string::npos ||
      (!serverName.empty() && serverName.back() == '!')) {
    return Fail(standin::kBadServerName);
  }
  const std::string mark(standin::kServerMark);
  std::string path;
  if (!serverName.empty()) {
    path = serverName + mark + fileName;
  } else {
    path = fileName.find(mark) == std::string::npos ? fileName : mark + fileName;
  }
  if (path.size() > standin::kMaxNetPath) return Fail(standin::kPathTooLong);
  path.copy(pathOut, path.size());
  pathOut[path.size()] = '\0';
  return 0;
} catch (const std::exception&) {
  return standin::Fail(standin::kOutOfMemory);
}

// Memory that runs short anywhere is told as such for the path asked for.
Status DbOpen(const char* path, DbHandle* handle) try {
  using standin::Fail;
  if (handle == nullptr) return Fail(standin::kBadArgument);
  *handle = 0;
  if (path == nullptr) return Fail(standin::kBadArgument);
  if (!standin::Started()) return Fail(standin::kNotStarted);

  std::string server;
  std::string file = standin::platform::FromProgramText(path);
  const size_t mark = file.find(standin::kServerMark);
  if (mark != std::string::npos) {
    server = file.substr(0, mark);
    file = file.substr(mark + standin::kServerMark.size());
  }
  auto object = std::make_unique<standin::OpenObject>();
  if (Status status = standin::DataDirectoryOf(server, &object->dataDir)) return status;
  std::vector<std::string> parts;
  if (Status status = standin::SplitRelative(file, &parts)) return status;

  // Down part by part, each opened in the one before, so that no link is ever
  // followed and nothing put in a part's place later is read instead.
  using standin::platform::Opened;
  const std::string quoted = "\"" + file + "\"";
  const auto noSuchPath = [&] {
    return Fail(standin::kNoSuchPath, "No database or folder " + quoted + " in the data directory");
  };
  fs::path physical = object->dataDir;
  standin::platform::Folder folder;
  // The data directory itself may be a link; nothing below it is followed.
  if (standin::platform::Folder::OpenRoot(physical, &folder) != Opened::kYes) {
    return Fail(standin::kCannotRead,
                "The data directory " + physical.string() + " is not a folder");
  }
  standin::platform::File database;
  // A database looked at, not opened: what a search read of it may serve
  // without a second read.
  bool stamped = false;
  standin::platform::Stamp stamp;
  std::string relPath;
  for (size_t i = 0; i < parts.size(); ++i) {
    physical /= standin::platform::PathOf(parts[i]);
    relPath += (i == 0 ? "" : std::string(1, standin::platform::PathSeparator())) + parts[i];
    standin::platform::Folder next;
    if (i + 1 < parts.size()) {
      // Missing, a link, or a file on the way.
      if (folder.OpenFolder(parts[i], false, &next) != Opened::kYes) return noSuchPath();
      folder = std::move(next);
      continue;
    }
    if (standin::IsDatabaseName(parts[i]) && folder.FileStampOf(parts[i], &stamp)) {
      object->isDatabase = stamped = true;
      break;
    }
    const Opened opened = folder.OpenFolderOrFile(parts[i], &next, &database);
    const standin::platform::Kind kind = opened == Opened::kDenied ? folder.KindOf(parts[i])
                                         : next.IsOpen() ? standin::platform::Kind::kFolder
                                                         : standin::platform::Kind::kFile;
    object->isDatabase =
        kind == standin::platform::Kind::kFile && standin::IsDatabaseName(parts[i]);
    if (opened == Opened::kDenied && kind == standin::platform::Kind::kFolder) {
      return Fail(standin::kCannotRead, "The folder " + quoted + " cannot be read");
    }
    // Missing, a link, or another kind of file (a database that cannot be
    // read is said to be so as it is read).
    if (opened == Opened::kNotThere ||
        (kind != standin::platform::Kind::kFolder && !object->isDatabase)) {
      return noSuchPath();
    }
    folder = std::move(next);
  }
  object->physical = physical;
  object->relPath = relPath;
  if (object->isDatabase) {
    // What a search read of the file serves while the file is as it was
    // then; else the file is read now.
    const int64_t now = standin::NowSeconds();
    if (database.IsOpen()) stamp = database.OpenedStamp();
    std::shared_ptr<const standin::KeptRead> kept;
    if (stamped || database.IsOpen()) {
      kept = standin::TakeKeptRead(physical.parent_path(), parts.back(), stamp);
    }
    // Read now, through a descriptor checked to be of a regular file.
    if (!kept && stamped && folder.OpenFile(parts.back(), &database) == Opened::kNotThere) {
      return noSuchPath();
    }
    standin::ReadProblem problem;
    if (!standin::ReadForOpening(&database, kept.get(), relPath, now, &object->content, &problem)) {
      return standin::ProblemStatus(problem, relPath);
    }
  } else if (parts.empty() && !folder.CanList()) {
    // A folder is checked now, so that a search of it does not fail later.
    return Fail(standin::kCannotRead, "The folder " + quoted + " cannot be read");
  }
  const DbHandle number = standin::NewHandleNumber();
  standin::OpenObjects().emplace(number, std::move(object));
  *handle = number;
  return 0;
} catch (const std::exception&) {
  return standin::MemoryShort(path);
}

Status DbClose(DbHandle handle) {
  const auto found = standin::OpenObjects().find(handle);
  if (found == standin::OpenObjects().end()) return standin::Fail(standin::kUnknownHandle);
  standin::RecycleLog(std::move(found->second->content.entries));
  standin::OpenObjects().erase(found);
  return 0;
}

}  // extern "C"
