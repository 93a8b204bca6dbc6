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
constexpr std::string_view kFolderType = "$DIR";
constexpr std::string_view kDatabaseType = "$DB";
// valueLength is 16 bits and includes the type word.
constexpr size_t kMaxItemText = 0xffff - 2;

uint8_t* Put16(uint8_t* at, size_t value) {
  at[0] = static_cast<uint8_t>(value & 0xff);
  at[1] = static_cast<uint8_t>((value >> 8) & 0xff);
  return at + 2;
}

uint8_t* Put(uint8_t* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// An item's text, in up to three pieces (a folder's path, a separator, a name).
struct ItemText {
  std::string_view pieces[3];
  size_t size() const { return pieces[0].size() + pieces[1].size() + pieces[2].size(); }
};

// Copies the item's pieces, cut to `room` bytes in all.
uint8_t* PutPieces(uint8_t* at, const ItemText& item, size_t room) {
  for (const std::string_view piece : item.pieces) {
    const size_t length = std::min(piece.size(), room);
    if (length != 0) at = Put(at, piece.substr(0, length));
    room -= length;
  }
  return at;
}

// The names of an entry's summary items, in their order.
constexpr std::string_view kNames[4] = {"$TITLE", "$Path", "$Type", "$PHYSICALPATH"};

// Builds the summary buffer of one entry into `buffer`, which keeps its room
// from one entry to the next: a search builds one for every entry.
void BuildSummary(const ItemText (&items)[4], std::vector<uint8_t>* buffer) {
  constexpr size_t kFixed = kSummaryHeaderSize + 4 * 4 + 4 * 2 + kNames[0].size() +
                            kNames[1].size() + kNames[2].size() + kNames[3].size();
  const size_t lengths[4] = {
      std::min(items[0].size(), kMaxItemText), std::min(items[1].size(), kMaxItemText),
      std::min(items[2].size(), kMaxItemText), std::min(items[3].size(), kMaxItemText)};
  const size_t total = kFixed + lengths[0] + lengths[1] + lengths[2] + lengths[3];
  if (buffer->size() < total) buffer->resize(total);
  uint8_t* at = Put16(Put16(Put16(buffer->data(), total & 0xffff), 4), 0);
  for (int i = 0; i < 4; ++i) at = Put16(Put16(at, kNames[i].size()), 2 + lengths[i]);
  // Names of constant length, copied in place.
  at = PutPieces(Put16(Put(at, kNames[0]), kTextType), items[0], lengths[0]);
  at = PutPieces(Put16(Put(at, kNames[1]), kTextType), items[1], lengths[1]);
  at = PutPieces(Put16(Put(at, kNames[2]), kTextType), items[2], lengths[2]);
  PutPieces(Put16(Put(at, kNames[3]), kTextType), items[3], lengths[3]);
}

// The summary buffers of one folder's entries. What every entry of the folder
// shares (the item names, the folder's paths) is laid out once; each entry then
// adds its title and its name. An entry whose texts would be cut goes the long
// way, through BuildSummary.
class FolderSummaries {
 public:
  FolderSummaries(std::string_view relPath, std::string_view physical) {
    const char separator = platform::PathSeparator();
    const bool relSeparator = !relPath.empty();
    const bool physicalSeparator = physical.empty() || !platform::IsPathSeparator(physical.back());
    const auto typeWord = [](std::string* out) {
      out->push_back(static_cast<char>(kTextType & 0xff));
      out->push_back(static_cast<char>(kTextType >> 8));
    };
    path_ = kNames[1];
    typeWord(&path_);
    path_.append(relPath);
    if (relSeparator) path_.push_back(separator);
    pathLength_ = relPath.size() + (relSeparator ? 1 : 0);
    for (const bool isFolder : {false, true}) {
      std::string& tail = tails_[isFolder];
      tail = kNames[2];
      typeWord(&tail);
      tail.append(isFolder ? kFolderType : kDatabaseType);
      tail.append(kNames[3]);
      typeWord(&tail);
      tail.append(physical);
      if (physicalSeparator) tail.push_back(separator);
    }
    physicalLength_ = physical.size() + (physicalSeparator ? 1 : 0);
  }

  // Builds the summary buffer of the entry `name` (a folder or not) titled
  // `title` into `buffer`. False when a text would be cut.
  bool Build(std::string_view title, std::string_view name, bool isFolder,
             std::vector<uint8_t>* buffer) const {
    const size_t lengths[4] = {title.size(), pathLength_ + name.size(),
                               isFolder ? kFolderType.size() : kDatabaseType.size(),
                               physicalLength_ + name.size()};
    if (lengths[0] > kMaxItemText || lengths[1] > kMaxItemText || lengths[3] > kMaxItemText) {
      return false;
    }
    const std::string& tail = tails_[isFolder];
    const size_t total = kSummaryHeaderSize + 4 * 4 + kNames[0].size() + 2 + title.size() +
                         path_.size() + name.size() + tail.size() + name.size();
    if (buffer->size() < total) buffer->resize(total);
    uint8_t* at = Put16(Put16(Put16(buffer->data(), total & 0xffff), 4), 0);
    for (int i = 0; i < 4; ++i) at = Put16(Put16(at, kNames[i].size()), 2 + lengths[i]);
    at = Put16(Put(at, kNames[0]), kTextType);
    if (!title.empty()) at = Put(at, title);
    at = Put(Put(at, path_), name);
    Put(Put(at, tail), name);
    return true;
  }

 private:
  std::string path_;   // the "$Path" item's name, its type word, the folder's path and a separator
  size_t pathLength_;  // of the last two
  std::string
      tails_[2];  // "$Type" item and "$PHYSICALPATH" up to the name; of a database, of a folder
  size_t physicalLength_;
};

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
  // Texts leave the stand-in in the program's code page (on POSIX as they are).
  const std::string relText = platform::ToProgramText(relPath);
  const std::string physicalProgramText = platform::ToProgramText(physicalText);
  const FolderSummaries summaries(relText, physicalProgramText);
  const auto childPath = [&](const KnownChild& child) {
    return std::string(relPath).append(pathSeparator).append(child.name);
  };
  // The folder is opened only to read titles.
  const bool wanted =
      std::any_of(known->children.begin(), known->children.end(),
                  [](const KnownChild& child) { return !child.isFolder && !child.read; });
  if (wanted && !folder->IsOpen()) OpenFolderBelow(search->dataDir, relPath, false, folder);
  for (size_t index = 0; index < known->children.size(); ++index) {
    KnownChild& child = known->children[index];
    if (!child.isFolder && !child.read && folder->IsOpen()) {
      ReadForTitle(*folder, child.name, childPath(child), &child);
    }
    const std::string name = platform::ToProgramText(child.name);
    const std::string title =
        child.isFolder ? name : platform::ToProgramText(std::string(child.title));
    if (!summaries.Build(title, name, child.isFolder, &search->summary)) {
      const ItemText items[4] = {{title},
                                 {relText, pathSeparator, name},
                                 {child.isFolder ? kFolderType : kDatabaseType},
                                 {physicalProgramText, physicalSeparator, name}};
      BuildSummary(items, &search->summary);
    }
    search->match.matchFlags = 0x01;
    if (Status status = search->callback(search->context, &search->match, search->summary.data())) {
      return status;
    }
    if (!child.isFolder) continue;
    // Held for the walk: the callback may have the folder looked at again.
    const std::string innerPath = childPath(child);
    const fs::path innerPhysical = physical / platform::PathOf(child.name);
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

}  // namespace standin

extern "C" {

// No other structure is known: any other type has no stored size.
uint16_t StoredStructSize(uint16_t structureType) {
  return structureType == kSummaryHeaderStruct ? standin::kSummaryHeaderSize : 0;
}

// The callback's status decides whether the search goes on: 0 goes on, any
// other status stops the search at once and becomes DbSearch's result.
Status DbSearch(DbHandle handle, MemHandle formula, const char* viewTitle, uint16_t searchFlags,
                uint16_t classMask, const TimeDate* since, SearchCallback callback, void* context,
                TimeDate* until) try {
  using standin::Fail;
  using standin::NullArgument;
  if (callback == nullptr) return Fail(standin::kBadArgument);
  if (const Status fault =
          standin::CheckFixed("DbSearch", {{"formula", formula, 0},
                                           NullArgument("viewTitle", viewTitle),
                                           {"searchFlags", searchFlags, kSearchFlagsSummary},
                                           {"classMask", classMask, kClassMaskDatabases},
                                           NullArgument("since", since),
                                           NullArgument("until", until)})) {
    return fault;
  }
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
  return standin::Walk(relPath, folder, known.get(), &listed, &search);
} catch (const std::exception&) {
  return standin::Fail(standin::kOutOfMemory);
}

}  // extern "C"
