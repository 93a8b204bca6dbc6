// The folders and databases the directory searches have seen, by the absolute path of each
// folder. A folder's stamp changes when a name in it comes or goes; a database's stamp
// changes when it is written. A stamp is only trusted again once its times lie further back
// than the file system's clock step, so a change just after a look is never missed.
#include "known_folders.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "log_builder.h"
#include "standin_internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

std::unordered_map<std::string, std::shared_ptr<KnownFolder>>& Folders() {
  static std::unordered_map<std::string, std::shared_ptr<KnownFolder>> folders;
  return folders;
}

uint64_t listings = 0;
uint64_t looks = 0;

// A stamp whose modification or change time is recent may yet change within
// the file system's clock step without the stamp showing it; either time can
// be set back (the modification time by anyone who may write the file).
int64_t changesSettledUpTo = std::numeric_limits<int64_t>::min();

bool Settled(const platform::Stamp& stamp, int64_t clock) {
  const int64_t before = clock - platform::StampSettleTime();
  return stamp.modified < before && (stamp.changed < before || stamp.changed <= changesSettledUpTo);
}

// Carries what is known of each database of `old` that kept its stamp over to
// the same name in `fresh`; both are in name order.
void CarryOver(const platform::Folder& folder, KnownFolder* old, KnownFolder* fresh) {
  auto from = old->children.begin();
  for (KnownChild& child : fresh->children) {
    while (from != old->children.end() && from->name < child.name) ++from;
    if (from == old->children.end()) return;
    if (from->name != child.name || from->isFolder || child.isFolder || !from->read) continue;
    platform::Stamp stamp;
    ++looks;
    if (!folder.FileStampOf(child.name, &stamp) || !(stamp == from->stamp)) continue;
    child.read = true;
    child.settled = from->settled;
    child.stamp = stamp;
    child.title = from->title;
    child.kept = std::move(from->kept);
  }
}

}  // namespace

platform::Opened OpenFolderBelow(const fs::path& dataDir, const std::string& relPath, bool toList,
                                 platform::Folder* out) {
  platform::Folder current;
  platform::Opened opened = platform::Folder::OpenRoot(dataDir, &current);
  size_t at = 0;
  while (opened == platform::Opened::kYes && at < relPath.size()) {
    size_t end = at;
    while (end < relPath.size() && !platform::IsPathSeparator(relPath[end])) ++end;
    platform::Folder next;
    opened =
        current.OpenFolder(relPath.substr(at, end - at), toList && end == relPath.size(), &next);
    current = std::move(next);
    at = end + 1;
  }
  if (opened == platform::Opened::kYes) *out = std::move(current);
  return opened;
}

std::shared_ptr<KnownFolder> LookAtFolder(const fs::path& dataDir, const std::string& relPath,
                                          const fs::path& physical, platform::Folder* listed) {
  std::shared_ptr<KnownFolder>& slot = Folders()[physical.string()];
  platform::Stamp stamp;
  // The data directory may be a link: its stamp is that of the folder.
  const bool stamped = platform::StampAt(physical, relPath.empty(), &stamp);
  if (slot && stamped && slot->settled && slot->stamp == stamp) return slot;

  const int64_t clock = platform::StampClock();
  platform::Folder folder;
  std::vector<platform::Folder::Listed> entries;
  if (!stamped || OpenFolderBelow(dataDir, relPath, true, &folder) != platform::Opened::kYes ||
      !folder.List(&entries)) {
    Folders().erase(physical.string());
    return nullptr;
  }
  ++listings;
  auto fresh = std::make_shared<KnownFolder>();
  fresh->stamp = stamp;
  fresh->settled = Settled(stamp, clock);
  // Sized once: a folder of many databases would otherwise hold half as much
  // again while its children grow.
  fresh->children.reserve(static_cast<size_t>(
      std::count_if(entries.begin(), entries.end(), [](const platform::Folder::Listed& entry) {
        return entry.isFolder || IsDatabaseName(entry.name);
      })));
  for (platform::Folder::Listed& entry : entries) {
    if (!entry.isFolder && !IsDatabaseName(entry.name)) continue;
    fresh->children.emplace_back();
    fresh->children.back().name = std::move(entry.name);
    fresh->children.back().isFolder = entry.isFolder;
  }
  std::sort(fresh->children.begin(), fresh->children.end(),
            [](const KnownChild& a, const KnownChild& b) { return a.name < b.name; });
  if (slot) CarryOver(folder, slot.get(), fresh.get());
  slot = fresh;
  *listed = std::move(folder);
  return fresh;
}

void ReadForTitle(const platform::Folder& folder, const std::string& name, const std::string& path,
                  KnownChild* child) {
  child->read = false;
  child->title.clear();
  child->kept.reset();
  platform::File file;
  const platform::Opened opened = folder.OpenFile(name, &file);
  // Something else in the file's place (a link, FIFO or device, or nothing)
  // has no title; it is looked at again by the next search.
  if (opened == platform::Opened::kNotThere) return;
  DatabaseContent content;
  ReadProblem problem;
  if (opened == platform::Opened::kDenied) {
    // Read as a read that fails to open reads, for the status it gives.
    ReadDatabaseFile(&file, path, LoadMode::kTitle, 0, &content, &problem);
    ProblemStatus(problem, path);
    child->read = folder.FileStampOf(name, &child->stamp);
    return;
  }
  child->stamp = file.OpenedStamp();
  child->settled = Settled(child->stamp, platform::StampClock());
  // Only a settled file's read can be trusted at its opening.
  const bool keep = child->settled && RecordingBytesInUse() < kRecordingBudget;
  const bool read = ReadDatabaseFile(&file, path, keep ? LoadMode::kRecord : LoadMode::kTitle, 0,
                                     &content, &problem);
  if (!read) ProblemStatus(problem, path);
  // Memory that ran short says nothing of the file: the next search or the
  // opening reads it again.
  if (!read && problem.family == kMemoryShort) return;
  child->read = true;
  if (read) child->title = content.title;
  // Kept only whole.
  if (!keep || (read && !content.recording->complete())) return;
  try {
    auto kept = std::make_shared<KeptRead>();
    if (!read) {
      kept->failure = problem.family;
      kept->text = std::move(problem.text);
    } else {
      kept->recordActivity = content.recordActivity;
      kept->text = std::move(content.entryError);
      kept->title = std::move(content.title);
      kept->recording = std::move(content.recording);
    }
    child->kept = std::move(kept);
  } catch (const std::bad_alloc&) {
    // Not kept: the opening reads the file.
  }
}

namespace {

KnownChild* FindChild(const fs::path& folderPhysical, const std::string& name) {
  const auto found = Folders().find(folderPhysical.string());
  if (found == Folders().end()) return nullptr;
  std::vector<KnownChild>& children = found->second->children;
  const auto child =
      std::lower_bound(children.begin(), children.end(), name,
                       [](const KnownChild& a, const std::string& b) { return a.name < b; });
  return child == children.end() || child->name != name ? nullptr : &*child;
}

// Replays the kept log with the summary as of `now`.
void Replay(const KeptRead& read, int64_t now, DatabaseContent* out) {
  *out = DatabaseContent{};
  out->title = read.title;
  out->recordActivity = read.recordActivity;
  out->entryError = read.text;
  out->entries = SpareLog();
  const LogRecording& recording = *read.recording;
  out->entries.records.reserve(std::min(recording.entries(), kMaxEntries));
  LogBuilder builder(now, out);
  recording.Replay(&builder);
  builder.Finish();
}

}  // namespace

std::shared_ptr<const KeptRead> TakeKeptRead(const fs::path& folderPhysical,
                                             const std::string& name,
                                             const platform::Stamp& stamp) {
  KnownChild* child = FindChild(folderPhysical, name);
  if (child == nullptr || !child->kept || !child->settled || !(child->stamp == stamp)) {
    return nullptr;
  }
  return std::move(child->kept);
}

bool ReadForOpening(platform::File* file, const KeptRead* kept, const std::string& path,
                    int64_t now, DatabaseContent* out, ReadProblem* problem) {
  if (kept == nullptr) return ReadDatabaseFile(file, path, LoadMode::kFull, now, out, problem);
  if (kept->failure != 0) {
    *out = DatabaseContent{};
    *problem = {kept->failure, kept->text};
    return false;
  }
  try {
    Replay(*kept, now, out);
  } catch (const std::exception&) {
    // Memory, for the log or the replay's names.
    *out = DatabaseContent{};
    *problem = MemoryShortRead();
    return false;
  }
  return true;
}

void ForgetFolders() { Folders().clear(); }

void SettleChangesUpTo(int64_t stampTime) { changesSettledUpTo = stampTime; }

uint64_t FolderListings() { return listings; }
uint64_t FileLooks() { return looks; }

}  // namespace standin
