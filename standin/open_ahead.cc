// One database read ahead at a time. It is read only once the program has opened a
// database that followed the one before in the search's order, so a program that picks a
// few databases here and there costs at most one read that it does not use.
#include "open_ahead.h"

#include <memory>

#include "known_folders.h"
#include "read_ahead.h"
#include "standin_internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

// A database file of this size or more takes as long to print as the waking
// of the second thread and the read of a database of its kind.
constexpr uint64_t kLongDatabase = uint64_t{32} << 10;

class OpenAheadJob : public ReadAheadJob {
 public:
  void Run() override {
    // The search's read serves only while the file is as it was then; else
    // the file is read through a descriptor checked to be of a regular file.
    platform::File file;
    if (!folder->FileStampOf(name, &stamp)) return;
    if (!kept || !(stamp == keptStamp)) {
      kept.reset();
      if (folder->OpenFile(name, &file) != platform::Opened::kYes) return;
      stamp = file.OpenedStamp();
    }
    // A file written within the file system's clock step could change again
    // at the same stamp before the opening: it is left to the opening.
    if (stamp.modified >= platform::StampClock() - platform::StampSettleTime()) return;
    opened = true;
    result.read = ReadForOpening(&file, kept.get(), path, now, &result.content, &result.problem);
    // The entries block too, as DbGetUserActivity would make it.
    const DatabaseContent& content = result.content;
    // An empty log is handed out as no block at all.
    if (result.read && content.recordActivity && content.entryError.empty() &&
        !content.entries.records.empty() &&
        EntriesBlockSize(content.entries) <= EntriesBlockLimit()) {
      result.block = SpareBlock();
      result.blockMade = FillEntriesBlock(content.entries, &result.block);
    }
  }

  std::shared_ptr<const platform::Folder> folder;
  std::string name;
  std::string path;
  fs::path physical;
  std::shared_ptr<const KeptRead> kept;
  platform::Stamp keptStamp;
  int64_t now = 0;
  // What it found.
  bool opened = false;
  platform::Stamp stamp;
  OpenRead result;
};

struct Ahead {
  std::shared_ptr<OpenAheadJob> job;
  fs::path expected;  // the database that would follow the one opened last
  // The folder of the databases read ahead, opened once for all of them. Should
  // it be replaced meanwhile, what is read in it does not match what the
  // program opens, and is not used.
  std::shared_ptr<const platform::Folder> folder;
  fs::path folderPhysical;
};

Ahead& TheAhead() {
  static Ahead ahead;
  return ahead;
}

}  // namespace

bool TakeReadAhead(const fs::path& physical, const platform::Stamp& stamp, int64_t now,
                   OpenRead* out) {
  Ahead& ahead = TheAhead();
  const std::shared_ptr<OpenAheadJob> job = std::move(ahead.job);
  if (!job) return false;
  // Another database, or the summary as of another time: not worth finishing.
  if (job->physical != physical || job->now != now) {
    ReadAhead::Withdraw(job.get());
    return false;
  }
  ReadAhead::Finish(job.get());
  if (!job->opened || !(job->stamp == stamp)) return false;
  // The search's read is used up.
  if (job->kept) DropKeptRead(physical.parent_path(), job->name, job->kept.get());
  *out = std::move(job->result);
  return true;
}

void ReadNextAhead(const fs::path& dataDir, const std::string& path, const fs::path& physical,
                   uint64_t size, int64_t now) {
  Ahead& ahead = TheAhead();
  if (ahead.job) {
    ReadAhead::Withdraw(ahead.job.get());
    ahead.job.reset();
  }
  const bool inOrder = physical == ahead.expected;
  ahead.expected.clear();
  auto job = std::make_shared<OpenAheadJob>();
  const fs::path folder = physical.parent_path();
  // The name as the search knows it (UTF-8), not as the file system's path
  // spells it: on Windows the two differ outside ASCII.
  size_t cut = path.size();
  while (cut > 0 && !platform::IsPathSeparator(path[cut - 1])) --cut;
  if (!DatabaseAfter(folder, path.substr(cut), &job->name, &job->kept, &job->keptStamp)) {
    return;
  }
  job->physical = folder / platform::PathOf(job->name);
  ahead.expected = job->physical;
  // Handing a read over costs the second thread's waking up: only a database
  // long enough to print hides that.
  if (!inOrder || size < kLongDatabase) return;
  if (!ahead.folder || ahead.folderPhysical != folder) {
    auto opened = std::make_shared<platform::Folder>();
    ahead.folder.reset();
    if (OpenFolderBelow(dataDir, path.substr(0, cut == 0 ? 0 : cut - 1), false, opened.get()) !=
        platform::Opened::kYes) {
      return;
    }
    ahead.folder = std::move(opened);
    ahead.folderPhysical = folder;
  }
  job->folder = ahead.folder;
  job->path = path.substr(0, cut) + job->name;
  job->now = now;
  ahead.job = job;
  ReadAhead::Submit(job);
}

void DropReadAhead() {
  Ahead& ahead = TheAhead();
  if (ahead.job) ReadAhead::Withdraw(ahead.job.get());
  ahead = Ahead{};
}

}  // namespace standin
