// The directory search: walks a data directory or folder and hands each database and
// folder to the program's callback with a summary buffer of its items.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "known_folders.h"
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

void Put16(std::vector<uint8_t>* buffer, size_t at, size_t value) {
  (*buffer)[at] = static_cast<uint8_t>(value & 0xff);
  (*buffer)[at + 1] = static_cast<uint8_t>((value >> 8) & 0xff);
}

// An item's text, in up to three pieces (a folder's path, a separator, a name).
struct ItemText {
  std::string_view pieces[3];
  size_t size() const { return pieces[0].size() + pieces[1].size() + pieces[2].size(); }
};

// Builds the summary buffer of one entry into `buffer`.
void BuildSummary(const ItemText (&items)[4], std::vector<uint8_t>* buffer) {
  static constexpr std::string_view kNames[4] = {"$TITLE", "$Path", "$Type", "$PHYSICALPATH"};
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
    size_t room = kMaxItemText;
    for (const std::string_view piece : items[i].pieces) {
      const size_t length = std::min(piece.size(), room);
      std::memcpy(buffer->data() + at, piece.data(), length);
      at += length;
      room -= length;
    }
  }
}

struct Search {
  SearchCallback callback;
  void* context;
  fs::path dataDir;
  MatchRecord match{};
  std::vector<uint8_t> summary;
};

// Walks the folder `relPath` at `physical`, as `known` holds it (`folder` is
// the folder when it was just listed), handing each entry to the callback.
// Returns the first non-zero callback status.
Status Walk(const std::string& relPath, const fs::path& physical, KnownFolder* known,
            platform::Folder* folder, Search* search) {
  const char separator = platform::PathSeparator();
  const std::string_view pathSeparator(relPath.empty() ? nullptr : &separator,
                                       relPath.empty() ? 0 : 1);
  // The separator of absolute paths is the same, as fs::path puts it.
  const std::string physicalText = physical.string();
  const std::string_view physicalSeparator(
      platform::IsPathSeparator(physicalText.back()) ? nullptr : &separator,
      platform::IsPathSeparator(physicalText.back()) ? 0 : 1);
  const auto childPath = [&](const KnownChild& child) {
    return std::string(relPath).append(pathSeparator).append(child.name);
  };
  bool tried = folder->IsOpen();  // the folder is opened only to read a title
  for (KnownChild& child : known->children) {
    if (!child.isFolder && !child.read) {
      if (!tried) {
        tried = true;
        OpenFolderBelow(search->dataDir, relPath, false, folder);
      }
      if (folder->IsOpen()) ReadTitle(*folder, childPath(child), &child);
    }
    const std::string_view name = child.name;
    const ItemText items[4] = {{child.isFolder ? name : std::string_view(child.title)},
                               {relPath, pathSeparator, name},
                               {child.isFolder ? "$DIR" : "$DB"},
                               {physicalText, physicalSeparator, name}};
    BuildSummary(items, &search->summary);
    search->match.matchFlags = 0x01;
    if (Status status = search->callback(search->context, &search->match, search->summary.data())) {
      return status;
    }
    if (!child.isFolder) continue;
    // Held for the walk: the callback may have the folder looked at again.
    const std::string innerPath = childPath(child);
    const fs::path innerPhysical = physical / child.name;
    platform::Folder listed;
    const std::shared_ptr<KnownFolder> inner =
        LookAtFolder(search->dataDir, innerPath, innerPhysical, &listed);
    // A folder that cannot be listed yields nothing.
    if (!inner) continue;
    if (Status status = Walk(innerPath, innerPhysical, inner.get(), &listed, search)) return status;
  }
  return 0;
}

}  // namespace

void ClearTitleCache() { ForgetFolders(); }

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
  standin::Search search{callback, context, object->dataDir, {}, {}};
  const fs::path folder = object->physical;
  const std::string relPath = object->relPath;
  standin::platform::Folder listed;
  const std::shared_ptr<standin::KnownFolder> known =
      standin::LookAtFolder(search.dataDir, relPath, folder, &listed);
  if (!known) {
    return Fail(
        standin::kCannotRead,
        "The folder \"" + (relPath.empty() ? folder.string() : relPath) + "\" cannot be read");
  }
  const Status status = standin::Walk(relPath, folder, known.get(), &listed, &search);
  if (until != nullptr) TimeNow(until);
  return status;
}

}  // extern "C"
