// The directory search: order, entries, summary buffers and the title cache.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "../../standin/standin_internal.h"
#include "standin_test_support.h"

namespace standin_test {
namespace {

class DirectorySearchTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override { RuntimeTerm(); }
  void Start() { ASSERT_EQ(Restart({data_.path().string(), std::nullopt, std::nullopt}), 0); }
  void Db(const std::string& path, const std::string& title) {
    WriteFile(data_.path() / path, DatabaseJson(title, {}));
  }
  std::vector<std::string> Paths(const SearchLog& log) {
    std::vector<std::string> paths;
    for (const Found& found : log.entries) paths.push_back(found.path);
    return paths;
  }

  TempDir data_;
};

TEST_F(DirectorySearchTest, WalksDepthFirstInByteOrderWithFoldersFirst) {
  Db("a.db", "A");
  Db("B.db", "Capital B");
  Db("Zeta.DB", "Upper suffix");
  Db("a/z.db", "Z");
  Db("a/sub/m.db", "M");
  fs::create_directories(data_.path() / "empty");
  WriteFile(data_.path() / "notes.txt", "not a database");
  WriteFile(data_.path() / "a" / "db", "no suffix");
  fs::create_symlink(data_.path() / "a.db", data_.path() / "link.db");
  fs::create_directory_symlink(data_.path() / "a", data_.path() / "linked");
  ASSERT_EQ(mkfifo((data_.path() / "pipe.db").c_str(), 0600), 0);

  SearchLog log;
  ASSERT_EQ(Search("", &log), 0);
  const std::vector<std::string> expected = {"B.db",       "Zeta.DB", "a",    "a/sub",
                                             "a/sub/m.db", "a/z.db",  "a.db", "empty"};
  EXPECT_EQ(Paths(log), expected);
  ASSERT_EQ(log.entries.size(), expected.size());
  const Found& folder = log.entries[2];
  EXPECT_EQ(folder.type, "$DIR");
  EXPECT_EQ(folder.title, "a");
  EXPECT_EQ(folder.physical, (data_.path() / "a").string());
  const Found& db = log.entries[4];
  EXPECT_EQ(db.type, "$DB");
  EXPECT_EQ(db.title, "M");
  EXPECT_EQ(db.physical, (data_.path() / "a" / "sub" / "m.db").string());
  for (const Found& found : log.entries) EXPECT_EQ(found.flags & 1, 1) << found.path;

  // A folder's search gives paths from the data directory, not from the folder.
  SearchLog inner;
  ASSERT_EQ(Search("a", &inner), 0);
  EXPECT_EQ(Paths(inner), (std::vector<std::string>{"a/sub", "a/sub/m.db", "a/z.db"}));

  // The same tree gives the same order again.
  SearchLog again;
  ASSERT_EQ(Search("", &again), 0);
  EXPECT_EQ(Paths(again), expected);
}

TEST_F(DirectorySearchTest, SummaryBufferCarriesFourItemsWholeInOrder) {
  const uint16_t header = StoredStructSize(kSummaryHeaderStruct);
  EXPECT_NE(header, 4);
  EXPECT_GE(header, 4);
  const std::string longTitle(300, 't');
  Db("long.db", longTitle);

  struct Raw {
    std::vector<uint8_t> bytes;
  } raw;
  auto keep = [](void* context, const MatchRecord*, const void* summary) -> Status {
    const auto* bytes = static_cast<const uint8_t*>(summary);
    const uint16_t count = Read16(bytes + 2);
    const uint16_t size = StoredStructSize(kSummaryHeaderStruct);
    size_t total = size + 4u * count;
    for (uint16_t i = 0; i < count; ++i) {
      total += Read16(bytes + size + 4 * i) + Read16(bytes + size + 4 * i + 2);
    }
    static_cast<Raw*>(context)->bytes.assign(bytes, bytes + total);
    return 0;
  };
  DbHandle handle = 0;
  ASSERT_EQ(DbOpen("", &handle), 0);
  ASSERT_EQ(DbSearch(handle, 0, nullptr, 6, 0x6002, nullptr, keep, &raw, nullptr), 0);
  DbClose(handle);

  const auto items = SummaryItems(raw.bytes.data());
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], std::make_pair(std::string("$TITLE"), longTitle));
  EXPECT_EQ(items[1], std::make_pair(std::string("$Path"), std::string("long.db")));
  EXPECT_EQ(items[2], std::make_pair(std::string("$Type"), std::string("$DB")));
  EXPECT_EQ(items[3].first, "$PHYSICALPATH");
  // Descriptors: valueLength counts the type word and the text.
  EXPECT_EQ(Read16(raw.bytes.data() + header), 6);
  EXPECT_EQ(Read16(raw.bytes.data() + header + 2), 2 + 300);
  // The first item's name follows the descriptors directly.
  EXPECT_EQ(std::memcmp(raw.bytes.data() + header + 16, "$TITLE", 6), 0);
}

// An item holds at most 65,533 bytes of text: a longer title is cut there, and
// every other item and the buffer's length stay right.
TEST_F(DirectorySearchTest, TitlesLongerThanAnItemHoldsAreCut) {
  for (const size_t length : {size_t{0}, size_t{1}, size_t{65533}, size_t{65534}, size_t{100000}}) {
    SCOPED_TRACE(length);
    std::string title(length, 't');
    if (length > 0) title.back() = 'z';
    Db("f/long.db", title);
    Start();
    struct Raw {
      std::vector<uint8_t> bytes;
    } raw;
    auto keep = [](void* context, const MatchRecord*, const void* summary) -> Status {
      const auto* bytes = static_cast<const uint8_t*>(summary);
      const uint16_t size = StoredStructSize(kSummaryHeaderStruct);
      size_t total = size + 16;
      for (int i = 0; i < 4; ++i) {
        total += Read16(bytes + size + 4 * i) + Read16(bytes + size + 4 * i + 2);
      }
      static_cast<Raw*>(context)->bytes.assign(bytes, bytes + total);
      return 0;
    };
    DbHandle handle = 0;
    ASSERT_EQ(DbOpen("f", &handle), 0);
    ASSERT_EQ(DbSearch(handle, 0, nullptr, 6, 0x6002, nullptr, keep, &raw, nullptr), 0);
    DbClose(handle);
    const auto items = SummaryItems(raw.bytes.data());
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].second, title.substr(0, 65533));
    EXPECT_EQ(items[1].second, "f/long.db");
    EXPECT_EQ(items[2].second, "$DB");
    EXPECT_EQ(items[3].second, (data_.path() / "f" / "long.db").string());
    EXPECT_EQ(Read16(raw.bytes.data()), raw.bytes.size() & 0xffff);
  }
}

TEST_F(DirectorySearchTest, TitlesAreReadOncePerFileAcrossSearches) {
  Db("one.db", "One");
  Db("f/two.db", "Two");
  Db("f/three.db", "Three");
  const uint64_t before = standin::DatabaseFileReads();
  for (int i = 0; i < 10; ++i) {
    SearchLog log;
    ASSERT_EQ(Search("", &log), 0);
    ASSERT_EQ(log.entries.size(), 4u);
    EXPECT_EQ(log.entries[1].title, "Three");
  }
  EXPECT_EQ(standin::DatabaseFileReads() - before, 3u);

  // A changed file is read again, and only that one.
  Db("f/three.db", "Three, revised");
  SearchLog log;
  ASSERT_EQ(Search("", &log), 0);
  EXPECT_EQ(log.entries[1].title, "Three, revised");
  EXPECT_EQ(standin::DatabaseFileReads() - before, 4u);
}

TEST_F(DirectorySearchTest, MalformedDatabasesAreYieldedWithEmptyTitles) {
  WriteFile(data_.path() / "bad.db", "{\"title\": \"Cut off\", ");
  WriteFile(data_.path() / "num.db", "{\"title\": 42}");
  WriteFile(data_.path() / "entries.db", "{\"title\": \"Bad entry\", \"activity\": [7]}");
  WriteFile(data_.path() / "empty.db", "");
  SearchLog log;
  ASSERT_EQ(Search("", &log), 0);
  ASSERT_EQ(log.entries.size(), 4u);
  EXPECT_EQ(log.entries[0].title, "");           // bad.db
  EXPECT_EQ(log.entries[1].title, "");           // empty.db
  EXPECT_EQ(log.entries[2].title, "Bad entry");  // entries are checked on reading the log
  EXPECT_EQ(log.entries[3].title, "");           // num.db
}

TEST_F(DirectorySearchTest, CallbackStatusStopsTheSearchAndContextIsPassed) {
  Db("a.db", "A");
  Db("b.db", "B");
  Db("c.db", "C");
  SearchLog log;
  log.stopAt = 1;  // the second entry answers 1234
  log.stopWith = 1234;
  EXPECT_EQ(Search("", &log), 1234);
  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.entries[1].title, "B");
}

TEST_F(DirectorySearchTest, UnreadableFoldersAreSkippedOrRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  Db("a.db", "A");
  Db("locked/in.db", "In");
  Db("z.db", "Z");
  fs::permissions(data_.path() / "locked", fs::perms::none);
  SearchLog log;
  EXPECT_EQ(Search("", &log), 0);
  EXPECT_EQ(Paths(log), (std::vector<std::string>{"a.db", "locked", "z.db"}));
  DbHandle handle = 0;
  const Status status = DbOpen("locked", &handle);
  EXPECT_EQ(standin::FamilyOf(status), standin::kCannotRead);
  fs::permissions(data_.path() / "locked", fs::perms::owner_all);
}

struct Counts {
  uint64_t listings = standin::FolderListings();
  uint64_t looks = standin::FileLooks();
  uint64_t reads = standin::DatabaseFileReads();
};

TEST_F(DirectorySearchTest, RepeatedSearchesServeUnchangedFoldersAndListChangedOnesAgain) {
  struct Case {
    const char* label;
    std::function<void(const fs::path&)> change;  // between the first search and the second
    bool settleAfter;                             // the change lies well back by the second
    std::vector<std::string> paths;               // of the second search
    std::string cTitle;                           // f/c.db's title in the second search
    uint64_t listings, looks, reads;              // of the second search
    uint64_t thirdListings;                       // of a third search
  };
  const auto db = [](const fs::path& path, const std::string& title) {
    WriteFile(path, DatabaseJson(title, {}));
  };
  const std::vector<std::string> all = {"a.db", "b.db", "f", "f/c.db", "f/g", "f/g/d.db"};
  const Case cases[] = {
      {"nothing changed", [](const fs::path&) {}, true, all, "C", 0, 0, 0, 0},
      {"a database added",
       [&](const fs::path& d) { db(d / "f" / "e.db", "E"); },
       true,
       {"a.db", "b.db", "f", "f/c.db", "f/e.db", "f/g", "f/g/d.db"},
       "C",
       1,
       1,
       1,
       0},
      {"a database removed",
       [](const fs::path& d) { fs::remove(d / "b.db"); },
       true,
       {"a.db", "f", "f/c.db", "f/g", "f/g/d.db"},
       "C",
       1,
       1,
       0,
       0},
      {"a database renamed",
       [](const fs::path& d) { fs::rename(d / "f/c.db", d / "f/x.db"); },
       true,
       {"a.db", "b.db", "f", "f/g", "f/g/d.db", "f/x.db"},
       "",
       1,
       0,
       1,
       0},
      {"a database replaced by another",
       [&](const fs::path& d) {
         db(d / "f" / "new.db", "C2");
         fs::rename(d / "f/new.db", d / "f/c.db");
       },
       true, all, "C2", 1, 1, 1, 0},
      {"a folder put in a database's place",
       [](const fs::path& d) {
         fs::remove(d / "b.db");
         fs::create_directory(d / "b.db");
       },
       true,
       {"a.db", "b.db", "f", "f/c.db", "f/g", "f/g/d.db"},
       "C",
       2,
       1,
       0,
       0},
      {"a sub-folder put behind a link",
       [](const fs::path& d) {
         fs::rename(d / "f/g", d / "g2");
         fs::create_directory_symlink(d / "g2", d / "f/g");
       },
       true,
       {"a.db", "b.db", "f", "f/c.db", "g2", "g2/d.db"},
       "C",
       3,
       3,
       1,
       0},
      // A folder changed moments ago may change again within the file system's
      // clock step without its time showing it: it is listed at every search.
      {"a folder changed just now",
       [&](const fs::path& d) { db(d / "f" / "e.db", "E"); },
       false,
       {"a.db", "b.db", "f", "f/c.db", "f/e.db", "f/g", "f/g/d.db"},
       "C",
       1,
       1,
       1,
       1},
      // The same with the folder's modification time set back: its change
      // time still shows the change.
      {"a folder changed just now, its modification time set back",
       [&](const fs::path& d) {
         db(d / "f" / "e.db", "E");
         fs::last_write_time(d / "f", fs::file_time_type::clock::now() - std::chrono::hours(1));
       },
       false,
       {"a.db", "b.db", "f", "f/c.db", "f/e.db", "f/g", "f/g/d.db"},
       "C",
       1,
       1,
       1,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(data_.path());
    fs::create_directories(data_.path());
    Db("a.db", "A");
    Db("b.db", "B");
    Db("f/c.db", "C");
    Db("f/g/d.db", "D");
    Settle(data_.path());
    Start();
    SearchLog first;
    ASSERT_EQ(Search("", &first), 0);
    ASSERT_EQ(Paths(first), all);
    c.change(data_.path());
    if (c.settleAfter) Settle(data_.path());

    const Counts before;
    SearchLog second;
    ASSERT_EQ(Search("", &second), 0);
    EXPECT_EQ(Paths(second), c.paths);
    for (const Found& found : second.entries) {
      if (found.path == "f/c.db") {
        EXPECT_EQ(found.title, c.cTitle);
      }
    }
    EXPECT_EQ(standin::FolderListings() - before.listings, c.listings);
    EXPECT_EQ(standin::FileLooks() - before.looks, c.looks);
    EXPECT_EQ(standin::DatabaseFileReads() - before.reads, c.reads);

    const Counts third;
    SearchLog again;
    ASSERT_EQ(Search("", &again), 0);
    EXPECT_EQ(Paths(again), c.paths);
    EXPECT_EQ(standin::FolderListings() - third.listings, c.thirdListings);
    EXPECT_EQ(standin::DatabaseFileReads() - third.reads, 0u);
  }
}

// A FIFO that a test puts where a file was. Should anything hold a read open
// on it for seconds, the guard opens it for writing, which lets a blocked open
// return, and says so: the test then fails instead of hanging.
class FifoGuard {
 public:
  explicit FifoGuard(fs::path path) : path_(std::move(path)) {
    watcher_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (done_.wait_for(lock, std::chrono::seconds(5), [this] { return finished_; })) return;
      const int writer = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) {
        blocked_ = true;
        close(writer);
      }
    });
  }
  ~FifoGuard() { Finish(); }
  // Whether a reader had to be let go.
  bool Finish() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    return blocked_;
  }

 private:
  fs::path path_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  bool blocked_ = false;
  std::thread watcher_;
};

// What is put in a database's place while a search goes on is never followed
// or waited on.
TEST_F(DirectorySearchTest, ThingsPutInADatabasesPlaceDuringASearchAreRefused) {
  TempDir outside;
  WriteFile(outside.path() / "secret.db", DatabaseJson("Outside", {}));
  struct Case {
    const char* label;
    std::function<void(const fs::path& place)> swap;
  };
  const Case cases[] = {
      {"a link to a database outside",
       [&](const fs::path& place) {
         fs::remove(place);
         fs::create_symlink(outside.path() / "secret.db", place);
       }},
      {"a FIFO",
       [](const fs::path& place) {
         fs::remove(place);
         ASSERT_EQ(mkfifo(place.c_str(), 0600), 0);
       }},
      {"a link to a FIFO",
       [&](const fs::path& place) {
         fs::remove(place);
         mkfifo((outside.path() / "pipe").c_str(), 0600);
         fs::create_symlink(outside.path() / "pipe", place);
       }},
      {"a link to a device",
       [](const fs::path& place) {
         fs::remove(place);
         fs::create_symlink("/dev/zero", place);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(data_.path());
    Db("a.db", "A");
    Db("b.db", "B");
    Db("c.db", "C");
    Start();
    struct Swapping {
      SearchLog log;
      std::function<void()> swap;
    } swapping;
    const fs::path place = data_.path() / "b.db";
    swapping.swap = [&] { c.swap(place); };
    auto swapAfterFirst = [](void* context, const MatchRecord* match, const void* summary) {
      auto* state = static_cast<Swapping*>(context);
      Collect(&state->log, match, summary);
      if (state->log.entries.size() == 1) state->swap();
      return Status{0};
    };
    FifoGuard guard(place);
    DbHandle folder = 0;
    ASSERT_EQ(DbOpen("", &folder), 0);
    EXPECT_EQ(DbSearch(folder, 0, nullptr, kSearchFlagsSummary, kClassMaskDatabases, nullptr,
                       swapAfterFirst, &swapping, nullptr),
              0);
    DbClose(folder);
    EXPECT_FALSE(guard.Finish()) << "a read waited on what was put in the file's place";
    // Listed before the swap, so yielded; with nothing read from it.
    ASSERT_EQ(Paths(swapping.log), (std::vector<std::string>{"a.db", "b.db", "c.db"}));
    EXPECT_EQ(swapping.log.entries[1].title, "");
    EXPECT_EQ(swapping.log.entries[2].title, "C");
    // Opened later, it is refused as well.
    DbHandle handle = 0;
    EXPECT_EQ(standin::FamilyOf(DbOpen("b.db", &handle)), standin::kNoSuchPath);
    EXPECT_EQ(handle, 0u);
  }
}

// A file that fails to read is given its status as the search reaches it, and
// the opening gives the same status: the texts get their codes in the
// search's order.
TEST_F(DirectorySearchTest, FailedReadsBecomeStatusesInTheSearchsOrder) {
  const char* const bad[] = {"a.db", "f/b.db", "f/g/c.db", "f/z.db", "z.db"};
  for (const char* name : bad) WriteFile(data_.path() / name, std::string("{\"title\": ") + name);
  for (int i = 0; i < 40; ++i) Db("f/m" + std::to_string(100 + i) + ".db", "M");
  Settle(data_.path());
  Start();
  SearchLog log;
  ASSERT_EQ(Search("", &log), 0);
  std::vector<uint16_t> codes;
  for (const char* name : bad) {
    DbHandle handle = 0;
    const Status status = DbOpen(name, &handle);
    EXPECT_EQ(standin::FamilyOf(status), standin::kNotJson) << name;
    codes.push_back(ErrorCode(status));
  }
  for (size_t i = 1; i < codes.size(); ++i) EXPECT_EQ(codes[i], codes[i - 1] + 1) << bad[i];
}

// The stand-in does all its work on the caller's thread: a search of many
// databases and the opening of each in the search's order start no thread.
TEST_F(DirectorySearchTest, StartsNoThread) {
  const auto threads = [] {
    const fs::path tasks = "/proc/self/task";
    if (!fs::exists(tasks)) return size_t{0};
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(tasks), fs::directory_iterator()));
  };
  if (threads() == 0) GTEST_SKIP() << "no /proc/self/task to count threads in";
  // Long enough that a database printed could hide the read of the next.
  std::vector<std::string> entries;
  for (int i = 0; i < 1000; ++i) {
    entries.push_back("{\"time\": \"2026-12-01 10:00:00\", \"reads\": 1, \"user\": \"CN=U" +
                      std::to_string(i % 9) + "/O=Acme\"}");
  }
  for (int i = 0; i < 40; ++i) {
    WriteFile(data_.path() / ("f/d" + std::to_string(100 + i) + ".db"), DatabaseJson("D", entries));
  }
  Settle(data_.path());
  Start();
  const size_t before = threads();
  SearchLog log;
  ASSERT_EQ(Search("", &log), 0);
  for (const Found& found : log.entries) {
    if (found.type != "$DB") continue;
    DbHandle handle = 0;
    ASSERT_EQ(DbOpen(found.path.c_str(), &handle), 0) << found.path;
    ActivitySummary summary{};
    MemHandle block = 0;
    uint16_t count = 0;
    ASSERT_EQ(DbGetUserActivity(handle, 0, &summary, &block, &count), 0);
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(threads(), before) << found.path;
    MemFree(block);
    DbClose(handle);
  }
  EXPECT_EQ(threads(), before);
}

}  // namespace
}  // namespace standin_test
