// The directory scan against the fake runtime: batching by position, item
// matching, failure paths and summary buffers that exceed the working limits.
#include "scan/database_scan.h"

#include <string>
#include <vector>

#include "common/text_characters.h"
#include "test_support.h"

namespace {

using fake::DbEntry;
using fake::DirectoryEntry;
using fake::FolderEntry;

struct Handed {
  std::vector<std::string> paths, titles;
  std::vector<Status> statuses;  // one per call, the final 0 included
  std::vector<bool> cut;         // whether each path was cut to fit
};

// Calls NextDatabase until it returns 0 (bounded, so a scan that never ends
// fails), then once more: the end is final and searches nothing.
Handed Drain(const char* server = "", const char* directory = "") {
  Handed run;
  for (int i = 0; i < 5000; ++i) {
    char path[kTextSize] = "junk", title[kTextSize] = "junk";
    Status status = 0xffff;
    const int32_t more = NextDatabase(server, directory, path, &status);
    run.statuses.push_back(status);
    if (more == 0) {
      EXPECT_STREQ(path, "");
      const size_t callsAtEnd = fake::Fake().calls.size();
      EXPECT_EQ(NextDatabase(server, directory, path, &status), 0);
      EXPECT_EQ(fake::Fake().calls.size(), callsAtEnd);
      return run;
    }
    CurrentDatabaseTitle(title);
    run.paths.push_back(path);
    run.titles.push_back(title);
    run.cut.push_back(CurrentDatabasePathCut());
  }
  ADD_FAILURE() << "scan did not end";
  return run;
}

std::vector<DirectoryEntry> Dbs(int count, int from = 0) {
  std::vector<DirectoryEntry> out;
  for (int i = from; i < from + count; ++i) {
    out.push_back(DbEntry("db" + std::to_string(i), "T" + std::to_string(i)));
  }
  return out;
}

std::vector<DirectoryEntry> Join(std::vector<std::vector<DirectoryEntry>> parts) {
  std::vector<DirectoryEntry> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

DirectoryEntry Cleared(std::string path) {
  DirectoryEntry e = DbEntry(std::move(path));
  e.matchFlags = 0;
  return e;
}

// A summary buffer of exactly the announced size; each value holds its own type word.
struct Item {
  std::string name, value;
};
std::string Val(const std::string& text) { return std::string("\x00\x05", 2) + text; }
DirectoryEntry Raw(const std::vector<Item>& items, uint16_t header = 6) {
  DirectoryEntry e;
  e.raw.assign(header + 4 * items.size(), 0);
  auto put = [&](size_t at, size_t v) {
    e.raw[at] = static_cast<uint8_t>(v);
    e.raw[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  put(2, items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    put(header + 4 * i, items[i].name.size());
    put(header + 4 * i + 2, items[i].value.size());
    e.raw.insert(e.raw.end(), items[i].name.begin(), items[i].name.end());
    e.raw.insert(e.raw.end(), items[i].value.begin(), items[i].value.end());
  }
  return e;
}

// A fresh fake and scan, with `entries` as the local data directory.
void Fresh(std::vector<DirectoryEntry> entries, uint16_t header = 6) {
  fake::Reset();
  ResetDatabaseScan();
  fake::Fake().summaryHeaderSize = header;
  fake::Fake().directories[""] = std::move(entries);
}

using ScanTest = RuntimeTest;

TEST_F(ScanTest, FirstCallWithEmptyServerSearchesTheLocalDirectoryOnce) {
  Fresh({DbEntry("a.db", "Title A"), FolderEntry("mail"), DbEntry("b.db")});
  const Handed run = Drain();
  EXPECT_EQ(run.paths, (std::vector<std::string>{"a.db", "b.db"}));
  EXPECT_EQ(run.titles, (std::vector<std::string>{"Title A", ""}));
  EXPECT_EQ(rt().calls, (std::vector<std::string>{"BuildNetPath(,)", "DbOpen()",
                                                  "DbSearch(,6,24578)", "DbClose()"}));
  char physical[kTextSize];
  CurrentDatabasePhysicalPath(physical);
  EXPECT_STREQ(physical, "/data/b.db");
}

TEST_F(ScanTest, BatchesResumeByPositionCountingEveryEntry) {
  const std::vector<DirectoryEntry> mixed = Join({{FolderEntry("f"), Cleared("c0")},
                                                  Dbs(1500),
                                                  {Cleared("c1"), FolderEntry("g")},
                                                  Dbs(600, 1500)});
  struct Case {
    const char* what;
    std::vector<DirectoryEntry> entries;
    int databases, searches;
    const char* titleAfterEnd;
  } cases[] = {
      {"empty", {}, 0, 1, ""},
      {"exactly 1024", Dbs(1024), 1024, 1, "T1023"},
      {"1024 then a folder", Join({Dbs(1024), {FolderEntry("f")}}), 1024, 2, ""},
      {"1024 then a cleared entry", Join({Dbs(1024), {Cleared("c")}}), 1024, 2, ""},
      {"1025", Dbs(1025), 1025, 2, "T1024"},
      {"2048", Dbs(2048), 2048, 2, "T2047"},
      {"folders and cleared bits", mixed, 2100, 3, "T2099"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh(c.entries);
    const Handed run = Drain();
    ASSERT_EQ(run.paths.size(), static_cast<size_t>(c.databases));
    for (int i = 0; i < c.databases; ++i) {
      ASSERT_EQ(run.paths[i], "db" + std::to_string(i));
      ASSERT_EQ(run.titles[i], "T" + std::to_string(i));
    }
    EXPECT_EQ(run.statuses, std::vector<Status>(c.databases + 1, 0));
    EXPECT_EQ(rt().counts["DbSearch"], c.searches);
    EXPECT_EQ(rt().OpenHandles(), 0);
    // The last title stays while its batch is held.
    char title[kTextSize] = "junk";
    CurrentDatabaseTitle(title);
    EXPECT_STREQ(title, c.titleAfterEnd);
  }
}

TEST_F(ScanTest, ItemsAndTypesMatchOnlyWholeExactNames) {
  struct Case {
    DirectoryEntry entry;
    std::vector<std::string> paths, titles;  // what the scan hands out
  } cases[] = {
      {DbEntry("a", "A"), {"a", "z"}, {"A", "Z"}},
      {FolderEntry("a"), {"z"}, {"Z"}},
      {Cleared("a"), {"z"}, {"Z"}},
      {{1, {{"$Path", "a"}, {"$Type", "$dir"}}, {}}, {"a", "z"}, {"", "Z"}},
      {{1, {{"$Path", "a"}, {"$Type", "$DIRX"}}, {}}, {"a", "z"}, {"", "Z"}},
      {{1, {{"$Path", "a"}, {"$TYPE", "$DIR"}}, {}}, {"a", "z"}, {"", "Z"}},
      {{1, {{"$title", "A"}, {"$Paths", "a"}, {"$TITLEX", "A"}}, {}}, {"", "z"}, {"", "Z"}},
      {{1, {{"$TITLE", "A"}, {"$PATH", "a"}}, {}}, {"", "z"}, {"A", "Z"}},
      {{1, {{"$Path", "a"}, {"$Path", "b"}}, {}}, {"b", "z"}, {"", "Z"}},
  };
  for (const Case& c : cases) {
    Fresh({c.entry, DbEntry("z", "Z")});
    const Handed run = Drain();
    EXPECT_EQ(run.paths, c.paths);
    EXPECT_EQ(run.titles, c.titles);
  }
}

TEST_F(ScanTest, SummaryBuffersBeyondTheWorkingLimits) {
  const std::string p255(255, 'p'), p300 = std::string(255, 'q') + std::string(45, 'r');
  // 254 T's, then a character of two bytes that would be cut in two: where
  // the system has such characters (UTF-8), the cut falls before it.
  const std::string t254(254, 'T'), u = "\xc3\xbc";
  const bool utf8 = CharacterLength(u.data(), u.size()) == 2;
  const std::string t254Kept = utf8 ? t254 : t254 + u.substr(0, 1);
  std::vector<Item> many(19, Item{"x", Val("y")});
  many.push_back({"$Path", Val("twenty")});
  many.push_back({"$Path", Val("unread")});
  struct Case {
    const char* what;
    DirectoryEntry entry;
    std::string path, title;
    uint16_t header = 6;
    bool cut = false;
  } cases[] = {
      {"21 items", Raw(many), "twenty", ""},
      {"long name", Raw({{"$TITLE" + std::string(150, 'x'), Val("A")}, {"$Path", Val("a")}}), "a",
       ""},
      {"255 kept", Raw({{"$Path", Val(p255)}, {"$TITLE", Val(p255)}}), p255, p255},
      {"300 cut", Raw({{"$Path", Val(p300)}, {"$TITLE", Val(p300)}}), p300.substr(0, 255),
       p300.substr(0, 255), 6, true},
      {"256 cut, then a short one", Raw({{"$Path", Val(p255 + "x")}, {"$Path", Val("a")}}), "a", "",
       6, false},
      {"short, then 256 cut", Raw({{"$Path", Val("a")}, {"$Path", Val(p255 + "x")}}), p255, "", 6,
       true},
      {"cut before a character",
       Raw({{"$Path", Val(t254 + u + "x.db")}, {"$TITLE", Val(t254 + u + "x")}}), t254Kept,
       t254Kept, 6, true},
      {"a character that fits whole",
       Raw({{"$Path", Val(t254.substr(1) + u)}, {"$TITLE", Val(t254.substr(1) + u)}}),
       t254.substr(1) + u, t254.substr(1) + u, 6, false},
      {"length 0", Raw({{"$Path", Val("a")}, {"$Path", ""}, {"$TITLE", Val("A")}}), "a", "A"},
      {"length 1", Raw({{"$Path", "\x01"}, {"$TITLE", Val("A")}}), "", "A"},
      {"type word only", Raw({{"$Path", Val("")}, {"$TITLE", Val("A")}}), "", "A"},
      {"no items", Raw({}), "", ""},
      {"offsets past 65535",
       Raw({{std::string(65000, 'n'), Val(std::string(998, 'v'))}, {"$Path", Val("far")}}), "far",
       ""},
      {"header 4", Raw({{"$Path", Val("a")}}, 4), "a", "", 4},
      {"header 10", Raw({{"$TITLE", Val("A")}, {"$Path", Val("a")}}, 10), "a", "A", 10},
      {"header 32", Raw({{"$Path", Val("a")}}, 32), "a", "", 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh({c.entry, Cleared("c")}, c.header);
    const Handed run = Drain();
    EXPECT_EQ(rt().counts["StoredStructSize"], 1);
    ASSERT_EQ(run.paths.size(), 1u);
    EXPECT_EQ(run.paths[0], c.path);
    EXPECT_EQ(run.titles[0], c.title);
    EXPECT_EQ(run.cut[0], c.cut);
  }
}

TEST_F(ScanTest, FailuresEndTheScanAndStoredEntriesAreStillHandedOut) {
  constexpr Status kFail = 0x8123;
  struct Case {
    const char* what;
    int databases, failAfter;
    const char* failOp;
    int failNth;
    size_t paths, statusAtCall;
    int searches;
  } cases[] = {
      {"build", 5, -1, "BuildNetPath", 1, 0, 0, 0},
      {"open", 5, -1, "DbOpen", 1, 0, 0, 0},
      {"search after 3", 5, 3, "", 0, 3, 0, 1},
      {"search at once", 5, 0, "", 0, 0, 0, 1},
      {"empty, close fails", 0, -1, "DbClose", 1, 0, 0, 1},
      {"second open", 1030, -1, "DbOpen", 2, 1024, 1024, 1},
      {"second search", 1030, -1, "DbSearch", 2, 1024, 1024, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh(Dbs(c.databases));
    rt().searchFailAfter = c.failAfter;
    rt().searchStatus = c.failAfter >= 0 ? kFail : 0;
    if (c.failNth > 0) rt().Fail(c.failOp, c.failNth, kFail);
    const Handed run = Drain();
    EXPECT_EQ(run.paths.size(), c.paths);
    std::vector<Status> want(c.paths + 1, 0);
    want[c.statusAtCall] = kFail;
    EXPECT_EQ(run.statuses, want);
    EXPECT_EQ(rt().counts["DbSearch"], c.searches);
    EXPECT_EQ(rt().OpenHandles(), 0);
    const bool openFailed = std::string(c.failOp) == "DbOpen";
    EXPECT_EQ(rt().CallsOf("DbClose").size(), rt().CallsOf("DbOpen").size() - openFailed);
  }
}

TEST_F(ScanTest, AnotherServerOrDirectoryStartsAgain) {
  char title[kTextSize] = "junk";
  CurrentDatabaseTitle(title);
  EXPECT_STREQ(title, "");
  rt().directories["srv!!"] = {DbEntry("a"), DbEntry("b")};
  rt().directories["SRV!!"] = {DbEntry("C")};
  rt().directories["srv!!sub"] = {DbEntry("d")};
  std::vector<std::string> seen;
  const char* calls[][2] = {{"srv", ""}, {"srv", ""}, {"SRV", ""}, {"srv", ""}, {"srv", "sub"}};
  for (const auto& [server, directory] : calls) {
    char path[kTextSize];
    Status status;
    NextDatabase(server, directory, path, &status);
    seen.push_back(path);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "C", "a", "d"}));
  EXPECT_EQ(rt().counts["DbSearch"], 4);
}

}  // namespace
