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
  bool settled = false;  // the file's times (modified and changed) lay well before the read
  platform::Stamp stamp;
  std::string title;
  std::shared_ptr<const KeptRead> kept;
};

struct KnownFolder {
  platform::Stamp stamp;
  bool settled = false;  // the folder's times (modified and changed) lay well before its listing
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

// Reads the database `name` of `folder` (`path` from the data directory) into
// `child`: its title, and the read kept for the opening when the file has
// settled and the recordings' budget has room. A read that fails is given
// its status here, in the search's order.
void ReadForTitle(const platform::Folder& folder, const std::string& name, const std::string& path,
                  KnownChild* child);

// The kept read of database `name` in the folder at `folderPhysical`, given up
// to the caller, when the database still has `stamp`; null otherwise.
std::shared_ptr<const KeptRead> TakeKeptRead(const std::filesystem::path& folderPhysical,
                                             const std::string& name, const platform::Stamp& stamp);
// What opening the database open as `file` (`path` from the data directory)
// gives, with the summary as of `now`: replayed from `kept` when that is not
// null, else read; exactly the same either way.
bool ReadForOpening(platform::File* file, const KeptRead* kept, const std::string& path,
                    int64_t now, DatabaseContent* out, ReadProblem* problem);

// Forgets everything learned.
void ForgetFolders();

}  // namespace standin
