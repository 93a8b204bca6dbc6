// Temporary data directories, a fresh runtime per test, and readers of what the
// stand-in hands back.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../../standin/platform.h"
#include "../../standin/standin_internal.h"
#include "runtime/notes_runtime.h"

namespace standin_test {

namespace fs = std::filesystem;

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "standin-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code error;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Puts the modification time of everything under `root` that changed lately,
// and of `root`, an hour back, and has the stand-in take the change times up
// to now as old, as of a tree written before the run: what a search learns of
// it is then trusted by the searches after. A change after it has a later
// change time (the pauses step past the file system's clock tick).
inline void Settle(const fs::path& root) {
  const auto now = fs::file_time_type::clock::now();
  const auto settle = [&](const fs::path& path) {
    if (fs::last_write_time(path) > now - std::chrono::minutes(30)) {
      fs::last_write_time(path, now - std::chrono::hours(1));
    }
  };
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_symlink()) settle(entry.path());
  }
  settle(root);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  standin::SettleChangesUpTo(standin::platform::StampClock());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// A database file with `entries`, each written as the JSON object text given.
inline std::string DatabaseJson(const std::string& title, const std::vector<std::string>& entries,
                                const std::string& extra = "") {
  std::string json = "{\"title\": \"" + title + "\"" + extra + ", \"activity\": [";
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) json += ',';
    json += entries[i];
  }
  return json + "]}";
}

struct Env {
  std::optional<std::string> data;
  std::optional<std::string> servers;
  std::optional<std::string> now;
  std::string tz = "UTC";
};

inline void SetOrUnset(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

// Shuts the runtime down and starts it again with `env`, as a new process would.
inline Status Restart(const Env& env) {
  RuntimeTerm();
  SetOrUnset("USETRAIL_DATA", env.data);
  SetOrUnset("USETRAIL_SERVERS", env.servers);
  SetOrUnset("USETRAIL_NOW", env.now);
  setenv("TZ", env.tz.c_str(), 1);
  return RuntimeInit(0, nullptr);
}

inline std::string StatusString(Status status) {
  char buffer[256];
  const uint16_t count = StatusText(status, buffer, 255);
  return std::string(buffer, count);
}

inline uint16_t Read16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

// The items of a summary buffer, read the way the program reads them.
inline std::vector<std::pair<std::string, std::string>> SummaryItems(const void* summary) {
  const auto* bytes = static_cast<const uint8_t*>(summary);
  const uint16_t count = Read16(bytes + 2);
  const uint16_t header = StoredStructSize(kSummaryHeaderStruct);
  std::vector<std::pair<std::string, std::string>> items;
  const uint8_t* at = bytes + header + 4 * count;
  for (uint16_t i = 0; i < count; ++i) {
    const uint16_t nameLength = Read16(bytes + header + 4 * i);
    const uint16_t valueLength = Read16(bytes + header + 4 * i + 2);
    std::string name(reinterpret_cast<const char*>(at), nameLength);
    std::string text(reinterpret_cast<const char*>(at + nameLength + 2), valueLength - 2u);
    items.emplace_back(std::move(name), std::move(text));
    at += nameLength + valueLength;
  }
  return items;
}

// One search entry as the callback saw it.
struct Found {
  std::string title, path, type, physical;
  uint8_t flags = 0;
};

struct SearchLog {
  std::vector<Found> entries;
  Status stopWith = 0;  // returned by the callback from entry `stopAt` on
  size_t stopAt = 0;
};

inline Status Collect(void* context, const MatchRecord* match, const void* summary) {
  auto* log = static_cast<SearchLog*>(context);
  const auto items = SummaryItems(summary);
  Found found;
  found.flags = match->matchFlags;
  if (items.size() == 4) {
    found = {items[0].second, items[1].second, items[2].second, items[3].second, match->matchFlags};
  }
  log->entries.push_back(found);
  return log->entries.size() > log->stopAt ? log->stopWith : 0;
}

// Opens `path` (relative to the local data directory) and searches it.
inline Status Search(const std::string& path, SearchLog* log) {
  DbHandle handle = 0;
  if (Status status = DbOpen(path.c_str(), &handle)) return status;
  const Status status = DbSearch(handle, 0, nullptr, kSearchFlagsSummary, kClassMaskDatabases,
                                 nullptr, Collect, log, nullptr);
  DbClose(handle);
  return status;
}

}  // namespace standin_test
