// The database directory scan: batch searches of a data directory into the
// fixed table, and the hand-out of its entries one at a time.
#include "scan/database_scan.h"

#include <cstring>
#include <span>
#include <string_view>

#include "scan/handed_out_paths.h"

namespace {

// Values no caller passes, so that the first call always starts a fresh scan.
constexpr std::string_view kNoServer = "ThisIsNotAServerName";
constexpr std::string_view kNoDirectory = "ThisIsNotADirectory";

constexpr Text MakeText(std::string_view source) {
  Text text{};
  CopyText(text, source);
  return text;
}

constexpr ScanState kInitialScanState = {
    MakeText(kNoServer), MakeText(kNoDirectory), 0, 0, 0, 0, 0,
};

// Limits of one summary buffer. The texts share the table's field size, so a
// path or title of up to 255 characters is kept whole (a longer one is cut to
// 255) and a long path still opens and a long title still matches. Names
// longer than 99 bytes are cut and so can never be one of the four names.
// Items after the 20th are neither read nor stored.
constexpr std::uint32_t kMaxItems = 20;
constexpr std::size_t kNameSize = 100;
constexpr std::uint16_t kTypeWordSize = 2;

constexpr std::string_view kTitleItem = "$TITLE";
constexpr std::string_view kPathItem = "$Path";
constexpr std::string_view kTypeItem = "$Type";
constexpr std::string_view kPhysicalPathItem = "$PHYSICALPATH";
constexpr std::string_view kFolderType = "$DIR";

constexpr std::uint8_t kSummaryValid = 0x01;
constexpr std::uint32_t kItemCountOffset = 2;

// The summary buffer may lie at any address, so its 16-bit fields are read
// byte by byte.
std::uint16_t ReadU16(const std::uint8_t* bytes, std::uint32_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// A caller's text as the table would keep it: at most 255 characters, read
// no further than that.
std::string_view KeptText(const char* text) {
  if (text == nullptr) return {};
  return {text, BoundedLength(text, kTextSize - 1)};
}

// Slot of the entry NextDatabase handed out last, or none.
const DatabaseEntry* CurrentEntry() {
  const ScanState& s = gScanState;
  if (s.nextIndex == 0 || s.entryCount == 0 || s.nextIndex > s.entryCount) return nullptr;
  return &gDatabaseCache[static_cast<std::size_t>(s.nextIndex - 1)];
}

}  // namespace

constinit std::array<DatabaseEntry, kDatabaseCacheSize> gDatabaseCache{};
constinit ScanState gScanState = kInitialScanState;

namespace {
ScanStep lastFailure = ScanStep::kNone;
// Beside each slot: whether its path was cut to fit.
constinit std::array<bool, kDatabaseCacheSize> pathCut{};

// While the directory stays as it was, a batch skips by position the
// entries earlier batches took, and only the entry that filled the last
// table is read, to see that it is still in its place. Once it is not, the
// directory changed, and from then on every batch reads every entry and
// takes those whose path was not handed out yet.
struct ChangeWatch {
  bool byPath;         // the directory changed: batches take entries by path
  bool anchorPending;  // this search has not yet reached the entry that filled the last table
  bool changedNow;     // the change was seen in this search, after entries were skipped unread
  bool newAfterFull;   // by path: an entry not handed out came after the full table
  bool memoryShort;    // a path could not be kept
};
constinit ChangeWatch watch{};

Status FailedAt(ScanStep step, Status status) {
  lastFailure = status != 0 ? step : ScanStep::kNone;
  return status;
}
}  // namespace

void ResetDatabaseScan() {
  gDatabaseCache.fill(DatabaseEntry{});
  gScanState = kInitialScanState;
  lastFailure = ScanStep::kNone;
  pathCut.fill(false);
  watch = ChangeWatch{};
  ForgetHandedOutPaths();
}

ScanStep LastScanFailure() { return lastFailure; }

int32_t NextDatabase(const char* serverName, const char* directory, char* pathOut,
                     Status* statusOut) {
  ScanState& s = gScanState;
  *statusOut = 0;

  // Compared as kept, so a name too long for the table cannot restart the
  // scan on every call.
  if (KeptText(serverName) != TextOf(s.lastServer) ||
      KeptText(directory) != TextOf(s.lastDirectory)) {
    s.entryCount = 0;
    s.nextIndex = 0;
    s.resumeAfter = 0;
    s.scanFinished = 0;
    watch = ChangeWatch{};
    ForgetHandedOutPaths();
    *statusOut = FillDatabaseCache(serverName, directory);
    CopyText(s.lastServer, KeptText(serverName));
    CopyText(s.lastDirectory, KeptText(directory));
  }

  const std::span<char> out(pathOut, kTextSize);
  for (;;) {
    if (s.entryCount != 0 && s.nextIndex < s.entryCount) {
      CopyText(out, TextOf(gDatabaseCache[static_cast<std::size_t>(s.nextIndex)].path));
      ++s.nextIndex;
      return 1;
    }
    if (s.scanFinished != 0) {
      out[0] = '\0';
      return 0;
    }
    // A search that stores nothing always finishes the scan, so this ends.
    s.entryCount = 0;
    s.nextIndex = 0;
    *statusOut = FillDatabaseCache(serverName, directory);
  }
}

void CurrentDatabaseTitle(char* titleOut) {
  const DatabaseEntry* entry = CurrentEntry();
  CopyText(std::span<char>(titleOut, kTextSize),
           entry == nullptr ? std::string_view() : TextOf(entry->title));
}

bool CurrentDatabasePathCut() {
  const DatabaseEntry* entry = CurrentEntry();
  return entry != nullptr && pathCut[static_cast<std::size_t>(entry - gDatabaseCache.data())];
}

void CurrentDatabasePhysicalPath(char* pathOut) {
  const DatabaseEntry* entry = CurrentEntry();
  CopyText(std::span<char>(pathOut, kTextSize),
           entry == nullptr ? std::string_view() : TextOf(entry->physicalPath));
}

namespace {

// The items of one summary buffer that the scan reads.
struct EntryItems {
  Text type{};
  Text title{};
  Text path{};
  Text physicalPath{};
  std::string_view wholePath;  // the path item's bytes, all of them
  bool cut = false;            // the path kept is only the start of them
};

// Reads the items of one summary buffer into `items`.
void ReadEntryItems(const void* summary, EntryItems& items) {
  const auto* bytes = static_cast<const std::uint8_t*>(summary);
  std::array<char, kNameSize> name{};

  // The runtime gives no buffer size: every read stays within the lengths
  // the descriptors announce, and offsets are 32-bit so 16-bit sums cannot
  // wrap back into bytes already read.
  const std::uint32_t itemCount = ReadU16(bytes, kItemCountOffset);
  const std::uint32_t headerSize = StoredStructSize(kSummaryHeaderStruct);
  const std::uint32_t itemsRead = itemCount < kMaxItems ? itemCount : kMaxItems;

  std::uint32_t at = headerSize + 4 * itemCount;
  for (std::uint32_t i = 0; i < itemsRead; ++i) {
    const std::uint32_t nameLength = ReadU16(bytes, headerSize + 4 * i);
    const std::uint32_t valueLength = ReadU16(bytes, headerSize + 4 * i + 2);
    const char* item = reinterpret_cast<const char*>(bytes + at);
    at += nameLength + valueLength;
    // A value too short for its type word holds no text to take.
    if (valueLength < kTypeWordSize) continue;

    CopyText(name, std::string_view(item, nameLength));
    const std::string_view itemName = TextOf(name);
    const std::string_view text(item + nameLength + kTypeWordSize, valueLength - kTypeWordSize);
    if (itemName == kTitleItem) {
      CopyText(items.title, text);
    } else if (itemName == kPathItem) {
      items.cut = CopyText(items.path, text) < text.size();
      items.wholePath = text;
    } else if (itemName == kTypeItem) {
      CopyText(items.type, text);
    } else if (itemName == kPhysicalPathItem) {
      CopyText(items.physicalPath, text);
    }
  }
}

bool IsFolder(const EntryItems& items) { return TextOf(items.type) == kFolderType; }

// Whether the entry is one the scan would store.
bool IsDatabase(const MatchRecord* matchRecord, const void* summary, EntryItems& items) {
  if (matchRecord == nullptr || summary == nullptr) return false;
  MatchRecord match;
  std::memcpy(&match, matchRecord, sizeof match);
  if ((match.matchFlags & kSummaryValid) == 0) return false;
  ReadEntryItems(summary, items);
  return !IsFolder(items);
}

// From here on every entry is read and taken by its path.
void GoByPath() {
  watch.byPath = true;
  gScanState.resumeAfter = 0;
  if (!IndexHandedOutPaths()) watch.memoryShort = true;
}

}  // namespace

Status FillDatabaseCache(const char* serverName, const char* directory) {
  ScanState& s = gScanState;
  Text path{};
  Status status = BuildNetPath(nullptr, serverName, directory, path.data());
  if (status != 0) {
    s.scanFinished = 1;
    return FailedAt(ScanStep::kPath, status);
  }
  path.back() = '\0';

  DbHandle handle = 0;
  status = DbOpen(path.data(), &handle);
  if (status != 0) {
    s.scanFinished = 1;
    return FailedAt(ScanStep::kOpen, status);
  }

  s.matchCount = 0;
  watch.anchorPending = !watch.byPath && s.resumeAfter > 0;
  watch.changedNow = false;
  watch.newAfterFull = false;
  // The callback only reads the context; the runtime's signature is not const.
  const Status searchStatus =
      DbSearch(handle, 0, nullptr, kSearchFlagsSummary, kClassMaskDatabases, nullptr,
               DirectoryEntryCallback, const_cast<char*>(serverName), nullptr);
  const Status closeStatus = DbClose(handle);
  if (searchStatus != 0) {
    s.scanFinished = 1;
    return FailedAt(ScanStep::kSearch, searchStatus);
  }

  // A search that ended before the place of the entry that filled the last
  // table went over a directory that lost entries.
  if (watch.anchorPending) {
    watch.anchorPending = false;
    watch.changedNow = true;
    GoByPath();
  }

  // Only a full table with entries after the one that filled it needs
  // another batch; and a search that saw the change after skipping entries
  // unread needs one more, by path, to take those, as does one that left
  // entries for want of memory.
  bool more = false;
  if (watch.changedNow || (watch.byPath && watch.memoryShort)) {
    more = true;
  } else if (watch.byPath) {
    more = s.entryCount == kDatabaseCacheSize && watch.newAfterFull;
  } else {
    more = s.entryCount == kDatabaseCacheSize && s.resumeAfter != s.matchCount;
  }
  // Without every path handed out, a further batch could take one twice:
  // the scan stops, and says so, rather than hand out what it cannot tell.
  if (more && watch.memoryShort) {
    s.scanFinished = 1;
    return FailedAt(ScanStep::kMemory, kScanMemoryShort);
  }
  s.scanFinished = more ? 0 : 1;
  return FailedAt(ScanStep::kClose, closeStatus);
}

Status DirectoryEntryCallback(void* context, const MatchRecord* matchRecord, const void* summary) {
  ScanState& s = gScanState;
  // Every entry counts as a position, so the count tells whether another
  // batch is needed and where it resumes.
  ++s.matchCount;
  // By path, resumeAfter is 0 and nothing is skipped unread.
  if (s.matchCount < s.resumeAfter) return 0;
  if (watch.anchorPending) {
    // The place of the entry that filled the last table (matchCount is
    // resumeAfter): it must still be that entry.
    watch.anchorPending = false;
    EntryItems items;
    if (IsDatabase(matchRecord, summary, items) && IsLastHandedOutPath(items.wholePath)) return 0;
    // Something else stands there: this entry and the rest of the search
    // are read by path.
    watch.changedNow = true;
    GoByPath();
  }
  if (s.entryCount >= kDatabaseCacheSize) {
    // By path, another batch is needed only for an entry not handed out.
    if (watch.byPath && !watch.newAfterFull) {
      EntryItems items;
      if (IsDatabase(matchRecord, summary, items) && !WasHandedOut(items.wholePath)) {
        watch.newAfterFull = true;
      }
    }
    return 0;
  }
  if (matchRecord == nullptr) return 0;

  MatchRecord match;
  std::memcpy(&match, matchRecord, sizeof match);
  if ((match.matchFlags & kSummaryValid) == 0) return 0;

  ParseDirectoryEntry(summary, static_cast<const char*>(context));
  return 0;
}

Status ParseDirectoryEntry(const void* summary, const char* serverName) {
  ScanState& s = gScanState;
  if (summary == nullptr || s.entryCount >= kDatabaseCacheSize) return 0;

  EntryItems items;
  ReadEntryItems(summary, items);
  if (IsFolder(items)) return 0;

  if (watch.byPath) {
    // Without every path kept, this one cannot be told from those handed
    // out: it is not taken, and the scan stops after this batch.
    if (watch.memoryShort || WasHandedOut(items.wholePath)) return 0;
  }
  if (!KeepHandedOutPath(items.wholePath)) {
    watch.memoryShort = true;
    // By path an entry not kept could come again: it is not taken.
    if (watch.byPath) return 0;
  }

  DatabaseEntry& entry = gDatabaseCache[static_cast<std::size_t>(s.entryCount)];
  CopyText(entry.server, KeptText(serverName));
  CopyText(entry.title, TextOf(items.title));
  CopyText(entry.path, TextOf(items.path));
  CopyText(entry.physicalPath, TextOf(items.physicalPath));
  pathCut[static_cast<std::size_t>(s.entryCount)] = items.cut;
  ++s.entryCount;
  if (s.entryCount == kDatabaseCacheSize && !watch.byPath) s.resumeAfter = s.matchCount;
  return 0;
}
