// What directory searches learned of the folders of a data directory and of their
// databases, kept for the rest of the run: a repeated search of a folder that did not
// change needs one request to the system for the folder and none for its entries, and the
// read that gave a database's title serves the opening of that database.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database_file.h"
#include "platform.h"
#include "runtime/notes_runtime.h"

namespace standin {

// A database read at a search, kept for its opening: what the read gave (the
// log as a recording), or the failure it met.
struct KeptRead {
  uint16_t failure = 0;  // the family of the failure; 0 when the read succeeded
  bool recordActivity = true;
  std::string text;  // the failure's text, else the first bad entry's (empty when none)
  std::string title;
  std::unique_ptr<LogRecording> recording;  // complete
};

struct KnownChild {
  std::string name;
  bool isFolder = false;
  // Databases only:
  bool read = false;     // `title` is that of the file as `stamp` describes it
  bool settled = false;  // the file's times lay well before the read
  platform::Stamp stamp;
  std::string title;
  std::shared_ptr<const KeptRead> kept;  // shared with a read ahead of the opening
};

struct KnownFolder {
  platform::Stamp stamp;
  bool settled = false;              // the folder's times lay well before its listing
  std::vector<KnownChild> children;  // its folders and databases, in ascending byte order
};

// The folder at `relPath` below `dataDir`, opened part by part, none through a
// link (only `dataDir` itself may be one); `toList` asks for the right to list
// the last part.
platform::Opened OpenFolderBelow(const std::filesystem::path& dataDir, const std::string& relPath,
                                 bool toList, platform::Folder* out);

// The folder `relPath` below `dataDir`, whose absolute path is `physical`, as
// known now: the listing learned before when the folder's stamp is the same
// and was settled then (one request to the system), else listed anew, when
// `listed` receives the open folder. What is known of a database that kept its
// stamp carries over to a new listing. Null when the folder cannot be listed.
std::shared_ptr<KnownFolder> LookAtFolder(const std::filesystem::path& dataDir,
                                          const std::string& relPath,
                                          const std::filesystem::path& physical,
                                          platform::Folder* listed);

// What a read of a database for its title found, on any thread.
struct TitleRead {
  platform::Opened opened = platform::Opened::kNotThere;
  bool stamped = false;
  platform::Stamp stamp;
  bool settled = false;
  bool keep = false;  // read to keep for the opening
  bool read = false;
  ReadProblem problem;
  DatabaseContent content;
};

// Reads the database `name` of `folder` (`path` from the data directory) for
// its title, and to keep for the opening when the file has settled and the
// recordings' budget has room. Safe on any thread.
void ReadForTitle(const platform::Folder& folder, const std::string& name, const std::string& path,
                  TitleRead* out);
// Takes what `read` found over into `child`, on the program's thread: a read
// that failed is given its status here, as it would be where it was read.
void TakeTitleRead(TitleRead read, KnownChild* child);

// The kept read of database `name` in the folder at `folderPhysical`, given up
// to the caller, when the database still has `stamp`; null otherwise.
std::shared_ptr<const KeptRead> TakeKeptRead(const std::filesystem::path& folderPhysical,
                                             const std::string& name, const platform::Stamp& stamp);
// Forgets the kept read `read` of database `name`, once a read ahead used it.
void DropKeptRead(const std::filesystem::path& folderPhysical, const std::string& name,
                  const KeptRead* read);

// The database that follows `name` in the folder at `folderPhysical`, as the
// last search found it, with its kept read (or null) and the stamp that read
// is good for. False when none follows.
bool DatabaseAfter(const std::filesystem::path& folderPhysical, const std::string& name,
                   std::string* next, std::shared_ptr<const KeptRead>* kept,
                   platform::Stamp* stamp);

// What opening the database open as `file` (`path` from the data directory)
// gives, with the summary as of `now`: replayed from `kept` when that is not
// null, else read; exactly the same either way. Safe on any thread.
bool ReadForOpening(platform::File* file, const KeptRead* kept, const std::string& path,
                    int64_t now, DatabaseContent* out, ReadProblem* problem);

// Forgets everything learned.
void ForgetFolders();

}  // namespace standin
