// The directory search: order, entries, summary buffers and the title cache.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace standin_test
