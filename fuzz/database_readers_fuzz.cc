// Fuzzes the stand-in's two database readers against each other on the same bytes: the
// fast reader may decline anything, but what it takes it must read exactly as the exact
// reader does (same title, flag, kept entries and summary), and it must never take a file
// the exact reader refuses. The loader the stand-in runs, fast then exact, must give the
// exact reader's status and text every time, from bytes in memory and from a file read a
// small window at a time. A file that opens holds no NUL byte, and the same file with a
// NUL byte or text after it does not open.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "database_file.h"
#include "fast_database_reader.h"
#include "fuzz_support.h"
#include "log_builder.h"
#include "standin_internal.h"

namespace {

constexpr int64_t kNow = 1796644800;  // 2026-12-07 12:00:00 UTC

// The file the windowed reads come from.
const std::string& FilePath() {
  static const std::string path = [] {
    char folder[] = "/tmp/usetrail-readers-fuzz-XXXXXX";
    fuzz::Require(mkdtemp(folder) != nullptr, "a scratch folder can be made");
    return std::string(folder) + "/fuzz.db";
  }();
  return path;
}

void WriteFile(const uint8_t* data, std::size_t size) {
  const int fd = open(FilePath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  fuzz::Require(fd >= 0, "the scratch file can be written");
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    fuzz::Require(n > 0, "the scratch file can be written");
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

bool SameRecords(const standin::KeptLog& a, const standin::KeptLog& b) {
  return a.records == b.records && a.names == b.names;
}

// In kTitle mode both keep no entries and sum nothing, so everything compares.
bool SameContent(const standin::DatabaseContent& a, const standin::DatabaseContent& b) {
  return a.title == b.title && a.recordActivity == b.recordActivity &&
         a.entryError == b.entryError && SameRecords(a.entries, b.entries) &&
         std::memcmp(&a.summary, &b.summary, sizeof a.summary) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The readers ask for the bytes followed by zero padding.
  std::vector<char> bytes(size + standin::kReadPadding, '\0');
  if (size > 0) std::memcpy(bytes.data(), data, size);
  const std::string name = "fuzz.db";
  WriteFile(data, size);

  for (const standin::LoadMode mode : {standin::LoadMode::kTitle, standin::LoadMode::kFull}) {
    standin::DatabaseContent exact;
    const Status exactStatus =
        standin::LoadDatabaseBytesExactly(bytes.data(), size, name, mode, kNow, &exact);

    standin::DatabaseContent fast;
    if (standin::ReadDatabaseFast(bytes.data(), size, mode, kNow, &fast)) {
      fuzz::Require(exactStatus == 0, "the fast reader takes only what the exact reader opens");
      fuzz::Require(exact.entryError.empty(), "the fast reader takes no log with a bad entry");
      fuzz::Require(SameContent(fast, exact),
                    "what the fast reader takes it reads exactly as the exact reader");
    }

    standin::DatabaseContent loaded;
    const Status status = standin::LoadDatabaseBytes(bytes.data(), size, name, mode, kNow, &loaded);
    fuzz::Require(status == exactStatus && standin::TextOf(status) == standin::TextOf(exactStatus),
                  "the loader gives the exact reader's status and text");
    fuzz::Require(SameContent(loaded, exact), "the loader gives the exact reader's content");

    // Nothing may follow the top-level object but blanks, and a NUL byte
    // fails the file where it stands.
    if (exactStatus == 0 && mode == standin::LoadMode::kTitle) {
      fuzz::Require(size == 0 || std::memchr(data, 0, size) == nullptr,
                    "a file that opens holds no NUL byte");
      for (const std::string& tail :
           {std::string(1, '\0'), std::string(" x"), std::string("\n{}")}) {
        std::vector<char> longer(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        longer.insert(longer.end(), tail.begin(), tail.end());
        longer.resize(longer.size() + standin::kReadPadding, '\0');
        standin::DatabaseContent more;
        const Status moreStatus =
            standin::LoadDatabaseBytes(longer.data(), size + tail.size(), name, mode, kNow, &more);
        fuzz::Require(standin::FamilyOf(moreStatus) == standin::kNotJson,
                      "a file with more after its top-level object does not open");
        fuzz::Require(
            tail[0] != '\0' ||
                standin::TextOf(moreStatus).find("a NUL byte at offset " + std::to_string(size)) !=
                    std::string::npos,
            "a NUL byte after the top-level object is named with its offset");
      }
    }

    // From the file, a small window at a time: moving the window on between
    // entries changes nothing either.
    for (const std::size_t window : {std::size_t{256}, std::size_t{1024}}) {
      standin::DatabaseContent windowed;
      const Status fromFile =
          standin::LoadDatabaseFile(FilePath(), name, mode, kNow, &windowed, window);
      fuzz::Require(
          fromFile == exactStatus && standin::TextOf(fromFile) == standin::TextOf(exactStatus),
          "a file read a window at a time gives the exact reader's status and text");
      fuzz::Require(SameContent(windowed, exact),
                    "a file read a window at a time gives the exact reader's content");
    }

    // Recorded as a search reads it, and replayed as an opening: the same log.
    if (mode != standin::LoadMode::kFull) continue;
    standin::DatabaseContent recorded;
    const Status recordStatus =
        standin::LoadDatabaseFile(FilePath(), name, standin::LoadMode::kRecord, 0, &recorded, 256);
    fuzz::Require(recordStatus == exactStatus &&
                      standin::TextOf(recordStatus) == standin::TextOf(exactStatus),
                  "a recorded read gives the exact reader's status and text");
    if (recordStatus != 0 || !recorded.recording->complete()) continue;
    standin::DatabaseContent replayed;
    replayed.title = recorded.title;
    replayed.recordActivity = recorded.recordActivity;
    replayed.entryError = recorded.entryError;
    standin::LogBuilder builder(kNow, &replayed);
    recorded.recording->Replay(&builder);
    builder.Finish();
    fuzz::Require(SameContent(replayed, exact), "a replayed recording gives the exact log");
  }
  return 0;
}
