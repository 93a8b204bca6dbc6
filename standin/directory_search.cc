// The directory search: walks a data directory or folder and hands each database and
// folder to the program's callback with a summary buffer of its items.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "open_objects.h"
#include "platform.h"
#include "standin_internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

// Stored size of the summary-buffer header: 2 bytes of total length (low 16
// bits), the item count, and 2 reserved bytes.
constexpr uint16_t kSummaryHeaderSize = 6;
// The data-type word in front of every item text.
constexpr uint16_t kTextType = 0x0001;
// valueLength is 16 bits and includes the type word.
constexpr size_t kMaxItemText = 0xffff - 2;

struct CachedTitle {
  uint64_t size = 0;
  int64_t modified = 0;
  std::string title;
};

std::map<std::string, CachedTitle>& TitleCache() {
  static std::map<std::string, CachedTitle> cache;
  return cache;
}

// The title of the database file at `physical`, read once per size and
// modification time; empty when the file cannot be read or is malformed.
std::string TitleOf(const fs::path& physical, const std::string& relPath) {
  uint64_t size = 0;
  int64_t modified = 0;
  if (!platform::FileStamp(physical, &size, &modified)) return "";
  const std::string key = physical.string();
  const auto found = TitleCache().find(key);
  if (found != TitleCache().end() && found->second.size == size &&
      found->second.modified == modified) {
    return found->second.title;
  }
  DatabaseContent content;
  const Status status = LoadDatabaseFile(physical, relPath, LoadMode::kTitle, 0, &content);
  CachedTitle& entry = TitleCache()[key];
  entry.size = size;
  entry.modified = modified;
  entry.title = status == 0 ? content.title : "";
  return entry.title;
}

void Put16(std::vector<uint8_t>* buffer, size_t at, size_t value) {
  (*buffer)[at] = static_cast<uint8_t>(value & 0xff);
  (*buffer)[at + 1] = static_cast<uint8_t>((value >> 8) & 0xff);
}

// Builds the summary buffer of one entry into `buffer`.
void BuildSummary(const std::string (&items)[4], std::vector<uint8_t>* buffer) {
  static const std::string kNames[4] = {"$TITLE", "$Path", "$Type", "$PHYSICALPATH"};
  size_t total = kSummaryHeaderSize + 4 * 4;
  for (int i = 0; i < 4; ++i) {
    total += kNames[i].size() + 2 + std::min(items[i].size(), kMaxItemText);
  }
  buffer->assign(total, 0);
  Put16(buffer, 0, total & 0xffff);
  Put16(buffer, 2, 4);
  size_t at = kSummaryHeaderSize;
  for (int i = 0; i < 4; ++i, at += 4) {
    Put16(buffer, at, kNames[i].size());
    Put16(buffer, at + 2, 2 + std::min(items[i].size(), kMaxItemText));
  }
  for (int i = 0; i < 4; ++i) {
    std::memcpy(buffer->data() + at, kNames[i].data(), kNames[i].size());
    at += kNames[i].size();
    Put16(buffer, at, kTextType);
    at += 2;
    const size_t length = std::min(items[i].size(), kMaxItemText);
    std::memcpy(buffer->data() + at, items[i].data(), length);
    at += length;
  }
}

struct Search {
  SearchCallback callback;
  void* context;
  MatchRecord match{};
  std::vector<uint8_t> summary;
};

// Walks `folder` (whose path from the data directory is `relPath`), handing
// each entry to the callback. Returns the first non-zero callback status.
Status Walk(const fs::path& folder, const std::string& relPath, Search* search) {
  struct Child {
    std::string name;
    bool isFolder;
  };
  std::vector<Child> children;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    // The entry's own type, as the listing gives it (asked of the system only
    // where the listing does not say); a link is never followed.
    std::error_code typeError;
    if (it->is_symlink(typeError) || typeError) continue;
    const bool isFolder = it->is_directory(typeError);
    if (typeError) continue;
    const std::string name = it->path().filename().string();
    const bool isDb =
        !isFolder && it->is_regular_file(typeError) && !typeError && IsDatabaseName(name);
    if (isFolder || isDb) children.push_back({name, isFolder});
  }
  // A sub-folder that cannot be read (or stops being readable midway)
  // yields what was listed; the search goes on with the rest of the tree.
  std::sort(children.begin(), children.end(),
            [](const Child& a, const Child& b) { return a.name < b.name; });

  for (const Child& child : children) {
    const fs::path physical = folder / platform::PathOf(child.name);
    const std::string childPath =
        relPath.empty() ? child.name : relPath + platform::PathSeparator() + child.name;
    std::string items[4] = {child.isFolder ? child.name : TitleOf(physical, childPath), childPath,
                            child.isFolder ? "$DIR" : "$DB", physical.string()};
    for (std::string& item : items) item = platform::ToProgramText(std::move(item));
    BuildSummary(items, &search->summary);
    search->match.matchFlags = 0x01;
    if (Status status = search->callback(search->context, &search->match, search->summary.data())) {
      return status;
    }
    if (child.isFolder) {
      if (Status status = Walk(physical, childPath, search)) return status;
    }
  }
  return 0;
}

}  // namespace

void ClearTitleCache() { TitleCache().clear(); }

}  // namespace standin

extern "C" {

uint16_t StoredStructSize(uint16_t structureType) {
  return structureType == kSummaryHeaderStruct ? standin::kSummaryHeaderSize : 0;
}

// The callback's status decides whether the search goes on: 0 goes on, any
// other status stops the search at once and becomes DbSearch's result.
Status DbSearch(DbHandle handle, MemHandle /*formula*/, const char* /*viewTitle*/,
                uint16_t /*searchFlags*/, uint16_t /*classMask*/, const TimeDate* /*since*/,
                SearchCallback callback, void* context, TimeDate* until) {
  using standin::Fail;
  if (callback == nullptr) return Fail(standin::kBadArgument);
  const standin::OpenObject* object = standin::FindOpen(handle);
  if (object == nullptr) return Fail(standin::kUnknownHandle);
  if (object->isDatabase) return Fail(standin::kNotAFolderHandle);
  // Copies, since the callback may close the handle while the walk goes on.
  const fs::path folder = object->physical;
  const std::string relPath = object->relPath;
  std::error_code error;
  fs::directory_iterator probe(folder, error);
  if (error) {
    return Fail(
        standin::kCannotRead,
        "The folder \"" + (relPath.empty() ? folder.string() : relPath) + "\" cannot be read");
  }
  standin::Search search{callback, context, {}, {}};
  const Status status = standin::Walk(folder, relPath, &search);
  if (until != nullptr) TimeNow(until);
  return status;
}

}  // extern "C"
