// Network paths, servers, opening paths of the data directory, and handles.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../../standin/open_objects.h"
#include "../../standin/standin_internal.h"
#include "standin_test_support.h"

namespace standin_test {
namespace {

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(data_.path() / "top.db", DatabaseJson("Top", {}));
    WriteFile(data_.path() / "sub" / "inner.db", DatabaseJson("Inner", {}));
    WriteFile(data_.path() / "notes.txt", "plain");
    fs::create_symlink(data_.path() / "top.db", data_.path() / "link.db");
    fs::create_directory_symlink(data_.path() / "sub", data_.path() / "linkdir");
    WriteFile(servers_.path() / "outside.db", DatabaseJson("Outside", {}));
    fs::create_symlink(servers_.path() / "outside.db", data_.path() / "outside.db");
    fs::create_directory_symlink(servers_.path(), data_.path() / "sub" / "up");
    ASSERT_EQ(mkfifo((data_.path() / "pipe.db").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", data_.path() / "zero.db");
    fs::create_directories(servers_.path() / "cn=mail01_o=acme");
    WriteFile(servers_.path() / "cn=mail01_o=acme" / "remote.db", DatabaseJson("Remote", {}));
    WriteFile(servers_.path() / "a_b_c_d_e_f_g_h_i_j" / "odd.db", DatabaseJson("Odd", {}));
    ASSERT_EQ(Restart({data_.path().string(), servers_.path().string(), std::nullopt}), 0);
  }
  void TearDown() override { RuntimeTerm(); }

  // Opens `path`; returns the status and closes what opened.
  Status Open(const std::string& path) {
    DbHandle handle = 0;
    const Status status = DbOpen(path.c_str(), &handle);
    EXPECT_EQ(status == 0, handle != 0);
    if (handle != 0) {
      EXPECT_EQ(DbClose(handle), 0);
    }
    return status;
  }

  TempDir data_;
  TempDir servers_;
};

TEST_F(PathsTest, BuildNetPathLimitsAndForms) {
  struct Case {
    std::string server, file;
    Status status;
    std::string path;
  };
  const std::string file255(255, 'f');
  const Case cases[] = {
      {"", "sub/inner.db", 0, "sub/inner.db"},
      {"", "", 0, ""},
      {"", file255, 0, file255},
      {"", file255 + "f", standin::kPathTooLong, ""},
      {"CN=Mail01/O=Acme", "remote.db", 0, "CN=Mail01/O=Acme!!remote.db"},
      {"S", std::string(252, 'f'), 0, "S!!" + std::string(252, 'f')},
      {"S", std::string(253, 'f'), standin::kPathTooLong, ""},
      {"bad!!name", "x.db", standin::kBadServerName, ""},
      {"Mail!", "x.db", standin::kBadServerName, ""},  // "Mail!!!x.db" would be ambiguous
      {"", "x!!y.db", 0, "!!x!!y.db"},                 // local, though it holds the mark
      {"", "!x.db", 0, "!x.db"},
      {"S", "!x.db", 0, "S!!!x.db"},
      {"", std::string(253, 'f') + "!!", standin::kPathTooLong, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server + " | " + c.file.substr(0, 20));
    char out[256];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(BuildNetPath(nullptr, c.server.c_str(), c.file.c_str(), out), c.status);
    EXPECT_EQ(std::string(out), c.path);
  }
}

TEST_F(PathsTest, OpensOnlyWhatLiesInsideTheDataDirectory) {
  struct Case {
    const char* path;
    uint16_t family;  // 0: opens
  };
  const Case cases[] = {
      {"", 0},
      {"top.db", 0},
      {"sub", 0},
      {"sub/inner.db", 0},
      {"./sub//inner.db", 0},
      {"../top.db", standin::kPathEscapes},
      {"sub/../top.db", standin::kPathEscapes},
      {"sub/../../etc/passwd", standin::kPathEscapes},
      {"/etc/passwd", standin::kPathEscapes},
      {"missing.db", standin::kNoSuchPath},
      {"notes.txt", standin::kNoSuchPath},
      {"link.db", standin::kNoSuchPath},
      {"linkdir", standin::kNoSuchPath},
      {"linkdir/inner.db", standin::kNoSuchPath},
      {"top.db/x.db", standin::kNoSuchPath},
      // Never followed, opened or waited on.
      {"outside.db", standin::kNoSuchPath},
      {"sub/up/outside.db", standin::kNoSuchPath},
      {"pipe.db", standin::kNoSuchPath},
      {"zero.db", standin::kNoSuchPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Status status = Open(c.path);
    EXPECT_EQ(standin::FamilyOf(status), c.family) << StatusString(status);
    if (c.family != 0) {
      EXPECT_NE(StatusString(status).find(c.path), std::string::npos);
    }
  }
}

TEST_F(PathsTest, ServerNamesMapToFoldersIgnoringCase) {
  struct Case {
    const char* server;
    const char* file;
    uint16_t family;
  };
  const Case cases[] = {
      {"CN=Mail01/O=Acme", "remote.db", 0},
      {"cn=MAIL01/o=ACME", "remote.db", 0},
      {"CN=Mail01\\O=Acme", "remote.db", 0},
      {"a/b\\c:d*e?f\"g<h>i|j", "odd.db", 0},
      {"CN=Mail01/O=Acme", "top.db", standin::kNoSuchPath},  // not the local directory
      {"CN=Mail02/O=Acme", "remote.db", standin::kUnknownServer},
      {"..", "top.db", standin::kUnknownServer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    char path[256];
    ASSERT_EQ(BuildNetPath(nullptr, c.server, c.file, path), 0);
    const Status status = Open(path);
    EXPECT_EQ(standin::FamilyOf(status), c.family) << StatusString(status);
    if (c.family == standin::kUnknownServer) {
      EXPECT_NE(StatusString(status).find(c.server), std::string::npos);
    }
  }
}

TEST_F(PathsTest, EveryBuiltPathOpensWhatItWasBuiltFrom) {
  WriteFile(data_.path() / "x!!y.db", DatabaseJson("local x!!y", {}));
  WriteFile(data_.path() / "f!!g" / "h.db", DatabaseJson("local f!!g/h", {}));
  WriteFile(data_.path() / "!!" / ".db", DatabaseJson("local !!/.db", {}));
  WriteFile(servers_.path() / "x" / "y.db", DatabaseJson("server x: y", {}));
  WriteFile(servers_.path() / "x" / "!x.db", DatabaseJson("server x: !x", {}));
  // A server's folder may be a link, as the data directory may.
  fs::create_directory_symlink(servers_.path() / "x", servers_.path() / "linked");
  struct Case {
    const char* server;
    const char* file;
    const char* title;
  };
  const Case cases[] = {
      {"", "x!!y.db", "local x!!y"},  {"", "f!!g/h.db", "local f!!g/h"},
      {"", "!!/.db", "local !!/.db"}, {"x", "y.db", "server x: y"},
      {"x", "!x.db", "server x: !x"}, {"linked", "y.db", "server x: y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " | " + c.file);
    char path[256];
    ASSERT_EQ(BuildNetPath(nullptr, c.server, c.file, path), 0);
    DbHandle handle = 0;
    ASSERT_EQ(DbOpen(path, &handle), 0) << StatusString(DbOpen(path, &handle));
    EXPECT_EQ(standin::FindOpen(handle)->content.title, c.title);
    DbClose(handle);
  }
  // A folder with the mark in its name is searched, too.
  char folder[256];
  ASSERT_EQ(BuildNetPath(nullptr, "", "f!!g", folder), 0);
  SearchLog log;
  ASSERT_EQ(Search(folder, &log), 0);
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].path, "f!!g/h.db");
}

TEST_F(PathsTest, ADataDirectoryReachedThroughALinkWorks) {
  const fs::path link = servers_.path() / "data-link";
  fs::create_directory_symlink(data_.path(), link);
  ASSERT_EQ(Restart({link.string(), std::nullopt, std::nullopt}), 0);
  EXPECT_EQ(Open("top.db"), 0);
  SearchLog log;
  ASSERT_EQ(Search("", &log), 0);
  EXPECT_EQ(log.entries.size(), 3u);  // sub, sub/inner.db, top.db: links inside are not yielded
  EXPECT_EQ(standin::FamilyOf(Open("linkdir/inner.db")), standin::kNoSuchPath);
}

TEST_F(PathsTest, ServersCannotBeReachedWithoutTheVariable) {
  ASSERT_EQ(Restart({data_.path().string(), "", std::nullopt}), 0);
  EXPECT_NE(StatusString(Open("S!!remote.db")).find("USETRAIL_SERVERS is empty"),
            std::string::npos);
  ASSERT_EQ(Restart({data_.path().string(), std::nullopt, std::nullopt}), 0);
  const Status status = Open("CN=Mail01/O=Acme!!remote.db");
  EXPECT_EQ(standin::FamilyOf(status), standin::kUnknownServer);
  EXPECT_NE(StatusString(status).find("CN=Mail01/O=Acme"), std::string::npos);
  EXPECT_EQ(Open("top.db"), 0);
}

TEST_F(PathsTest, UnknownHandlesAreRefused) {
  // A log with an entry, so that it comes with a block.
  WriteFile(data_.path() / "logged.db",
            DatabaseJson("Logged", {R"({"time": "2026-12-07 08:00:00", "user": "CN=A"})"}));
  DbHandle db = 0;
  ASSERT_EQ(DbOpen("logged.db", &db), 0);
  ActivitySummary summary;
  MemHandle block = 0;
  uint16_t count = 0;
  ASSERT_EQ(DbGetUserActivity(db, 0, &summary, &block, &count), 0);
  EXPECT_NE(block, db);

  EXPECT_EQ(DbClose(0), standin::kUnknownHandle);
  EXPECT_EQ(DbClose(block), standin::kUnknownHandle);  // a memory handle is no database
  EXPECT_EQ(MemLock(0), nullptr);
  EXPECT_EQ(MemLock(db), nullptr);  // nor is a database handle memory
  EXPECT_EQ(MemFree(db), standin::kUnknownMemory);
  EXPECT_EQ(MemUnlock(block), standin::kNotLocked);
  EXPECT_NE(MemLock(block), nullptr);
  EXPECT_EQ(MemUnlock(block), 0);
  EXPECT_EQ(MemFree(block), 0);
  EXPECT_EQ(MemFree(block), standin::kUnknownMemory);
  EXPECT_EQ(MemLock(block), nullptr);
  EXPECT_EQ(MemUnlock(block), standin::kUnknownMemory);

  EXPECT_EQ(DbClose(db), 0);
  EXPECT_EQ(DbClose(db), standin::kUnknownHandle);
  EXPECT_EQ(DbGetUserActivity(db, 0, &summary, &block, &count), standin::kUnknownHandle);
  EXPECT_EQ(DbSearch(db, 0, nullptr, 6, 0x6002, nullptr, Collect, nullptr, nullptr),
            standin::kUnknownHandle);
  EXPECT_EQ(standin::OpenHandles(), 0u);
  EXPECT_EQ(standin::LiveBlocks(), 0u);
}

TEST_F(PathsTest, HandlesOfTheWrongKindAreRefused) {
  DbHandle folder = 0;
  DbHandle db = 0;
  ASSERT_EQ(DbOpen("sub", &folder), 0);
  ASSERT_EQ(DbOpen("top.db", &db), 0);
  ActivitySummary summary;
  MemHandle block = 0;
  uint16_t count = 0;
  EXPECT_EQ(DbGetUserActivity(folder, 0, &summary, &block, &count), standin::kNotADatabaseHandle);
  SearchLog log;
  EXPECT_EQ(DbSearch(db, 0, nullptr, 6, 0x6002, nullptr, Collect, &log, nullptr),
            standin::kNotAFolderHandle);
  EXPECT_EQ(DbOpen(nullptr, &db), standin::kBadArgument);
  RuntimeTerm();  // closes everything still open
  EXPECT_EQ(standin::OpenHandles(), 0u);
}

}  // namespace
}  // namespace standin_test
