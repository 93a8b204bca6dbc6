// The folders and databases the directory searches have seen, by the absolute path of each
// folder. A folder's stamp changes when a name in it comes or goes; a database's stamp
// changes when it is written. A stamp is only trusted again once its times lie further back
// than the file system's clock step, so a change just after a look is never missed.
#include "known_folders.h"

#include <algorithm>
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

bool Settled(const platform::Stamp& stamp, int64_t clock) {
  return stamp.modified < clock - platform::StampSettleTime();
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
  auto fresh = std::make_shared<KnownFolder>();
  fresh->stamp = stamp;
  fresh->settled = Settled(stamp, clock);
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

void ReadTitle(const platform::Folder& folder, const std::string& path, KnownChild* child) {
  child->read = false;
  child->title.clear();
  child->kept.reset();
  platform::File file;
  const platform::Opened opened = folder.OpenFile(child->name, &file);
  // Something else in the file's place (a link, FIFO or device, or nothing)
  // has no title; it is looked at again by the next search.
  if (opened == platform::Opened::kNotThere) return;
  DatabaseContent content;
  if (opened == platform::Opened::kDenied) {
    // Said as a read that fails to open says it, once for the file as it is.
    LoadDatabaseFile(&file, path, LoadMode::kTitle, 0, &content);
    child->read = folder.FileStampOf(child->name, &child->stamp);
    return;
  }
  if (!file.GetStamp(&child->stamp)) return;
  child->settled = Settled(child->stamp, platform::StampClock());
  // Only a settled file's read can be trusted at its opening.
  const bool keep = child->settled && RecordingBytesInUse() < kRecordingBudget;
  const Status status =
      LoadDatabaseFile(&file, path, keep ? LoadMode::kRecord : LoadMode::kTitle, 0, &content);
  child->read = true;
  if (status == 0) child->title = content.title;
  if (!keep || (status == 0 && !content.recording->complete())) return;
  child->kept = std::make_unique<KeptRead>();
  if (status != 0) {
    child->kept->failure = FamilyOf(status);
    child->kept->failureText = TextOf(status);
  } else {
    child->kept->content = std::move(content);
  }
}

std::unique_ptr<KeptRead> TakeKeptRead(const fs::path& folderPhysical, const std::string& name,
                                       const platform::Stamp& stamp) {
  const auto found = Folders().find(folderPhysical.string());
  if (found == Folders().end()) return nullptr;
  std::vector<KnownChild>& children = found->second->children;
  const auto child =
      std::lower_bound(children.begin(), children.end(), name,
                       [](const KnownChild& a, const std::string& b) { return a.name < b; });
  if (child == children.end() || child->name != name || !child->kept || !child->settled ||
      !(child->stamp == stamp)) {
    return nullptr;
  }
  return std::move(child->kept);
}

Status OpenKeptRead(KeptRead read, int64_t now, DatabaseContent* out) {
  *out = DatabaseContent{};
  if (read.failure != 0) return Fail(static_cast<Code>(read.failure), read.failureText);
  out->title = std::move(read.content.title);
  out->recordActivity = read.content.recordActivity;
  out->entryError = std::move(read.content.entryError);
  out->entries = SpareLog();
  const LogRecording& recording = *read.content.recording;
  out->entries.records.reserve(std::min(recording.entries(), kMaxEntries));
  LogBuilder builder(now, out);
  recording.Replay(&builder);
  builder.Finish();
  return 0;
}

void ForgetFolders() { Folders().clear(); }

}  // namespace standin
