// The directory scan against the fake runtime: batching by position, item
// matching, failure paths and summary buffers that exceed the working limits.
#include "scan/database_scan.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/text_characters.h"
#include "scan/handed_out_paths.h"
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
// fails), then once more: the end is final and searches nothing. `between`,
// when given, runs after each path handed out, with their number so far.
Handed Drain(const char* server = "", const char* directory = "",
             const std::function<void(int)>& between = {}) {
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
    if (between) between(static_cast<int>(run.paths.size()));
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

// The directory changes while a batch is handed out (after `at` paths):
// every database there from start to end comes out exactly once, with its
// own title; one deleted or created meanwhile at most once; no path twice.
TEST_F(ScanTest, BatchesSurviveADirectoryThatChanges) {
  using Dir = std::vector<DirectoryEntry>;
  auto erase = [](Dir& d, const std::string& path) {
    const auto erased =
        std::erase_if(d, [&](const DirectoryEntry& e) { return e.items[1].second == path; });
    EXPECT_EQ(erased, 1u) << path;
  };
  auto insert = [](Dir& d, size_t at, const std::string& path) {
    const std::string title = "T" + path.substr(path.starts_with("db") ? 2 : 0);
    d.insert(d.begin() + static_cast<std::ptrdiff_t>(at), DbEntry(path, title));
  };
  struct Case {
    const char* what;
    int databases, at;
    std::function<void(Dir&)> change;
    std::vector<std::string> deleted, created;  // besides the db<i>
    int searches;                               // -1: not checked
  } cases[] = {
      {"deleted, already handed out", 1500, 1, [&](Dir& d) { erase(d, "db5"); }, {"db5"}, {}, 3},
      {"deleted, not yet handed out",
       1500,
       1,
       [&](Dir& d) { erase(d, "db1200"); },
       {"db1200"},
       {},
       2},
      {"the last of the batch deleted",
       1500,
       1,
       [&](Dir& d) { erase(d, "db1023"); },
       {"db1023"},
       {},
       3},
      {"created before", 1500, 1, [&](Dir& d) { insert(d, 3, "new"); }, {}, {"new"}, 3},
      {"created after", 1500, 1, [&](Dir& d) { insert(d, 1100, "new"); }, {}, {"new"}, 2},
      {"deleted before, created after",
       1500,
       1,
       [&](Dir& d) {
         erase(d, "db5");
         insert(d, 1200, "new");
       },
       {"db5"},
       {"new"},
       3},
      {"deleted and created before, the last in its place",
       1500,
       1,
       [&](Dir& d) {
         erase(d, "db5");
         insert(d, 10, "new");
       },
       {"db5"},
       {"new"},
       2},
      {"created before, deleted after",
       1500,
       1,
       [&](Dir& d) {
         insert(d, 0, "new");
         erase(d, "db1300");
       },
       {"db1300"},
       {"new"},
       3},
      {"the order turned round",
       1500,
       1,
       [&](Dir& d) { std::reverse(d.begin(), d.end()); },
       {},
       {},
       3},
      {"many deleted before: the search ends early",
       1500,
       1,
       [&](Dir& d) { d.erase(d.begin(), d.begin() + 800); },
       {},
       {},
       3},
      {"the same path twice",
       1500,
       1,
       [&](Dir& d) {
         insert(d, 1100, "db1300");
         insert(d, 0, "db1400");
       },
       {},
       {},
       3},
      {"changed in the second of three batches",
       3000,
       1030,
       [&](Dir& d) {
         erase(d, "db40");
         insert(d, 50, "new");
         erase(d, "db2500");
       },
       {"db40", "db2500"},
       {"new"},
       -1},
      {"a thousand created before",
       1500,
       1,
       [&](Dir& d) {
         for (int i = 0; i < 1000; ++i) insert(d, 0, "new" + std::to_string(i));
       },
       {},
       {},
       -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh(Dbs(c.databases));
    const Handed run = Drain("", "", [&](int handed) {
      if (handed == c.at) c.change(rt().directories[""]);
    });
    std::map<std::string, int> times;
    for (size_t i = 0; i < run.paths.size(); ++i) {
      ++times[run.paths[i]];
      EXPECT_EQ(run.titles[i], "T" + run.paths[i].substr(run.paths[i].starts_with("db") ? 2 : 0));
    }
    for (int i = 0; i < c.databases; ++i) {
      const std::string path = "db" + std::to_string(i);
      const bool throughout = std::ranges::find(c.deleted, path) == c.deleted.end();
      if (throughout) {
        EXPECT_EQ(times[path], 1) << path;
      }
    }
    for (const auto& [path, n] : times) EXPECT_LE(n, 1) << path;
    EXPECT_EQ(run.statuses, std::vector<Status>(run.paths.size() + 1, 0));
    if (c.searches >= 0) {
      EXPECT_EQ(rt().counts["DbSearch"], c.searches);
    }
    EXPECT_EQ(rt().OpenHandles(), 0);
  }
}

// The paths handed out are kept only for further batches: a scan of one
// batch needs none of them, and one that needs a further batch without them
// stops after the table it holds, and says why.
TEST_F(ScanTest, MemoryShortForThePathsStopsTheScanSoundly) {
  constexpr size_t kRoom = (size_t{1} << 18) + 64;  // one chunk of paths
  struct Case {
    const char* what;
    int databases;
    size_t limit;
    std::function<void(std::vector<DirectoryEntry>&)> change;  // after the first path
    size_t paths;                                              // handed out
    int failsAt;                                               // the call whose status tells, or -1
  } cases[] = {
      {"one batch", 1000, 1, {}, 1000, -1},
      {"two batches", 1500, 1, {}, 1024, 0},
      {"room for the paths", 2100, kRoom, {}, 2100, -1},
      {"room for the paths, not for their index", 1500, kRoom, [](auto& d) { d.erase(d.begin()); },
       1024, 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh(Dbs(c.databases));
    SetHandedOutPathsMemoryLimit(c.limit);
    const Handed run = Drain("", "", [&](int handed) {
      if (handed == 1 && c.change) c.change(rt().directories[""]);
    });
    SetHandedOutPathsMemoryLimit(0);
    ASSERT_EQ(run.paths.size(), c.paths);
    for (size_t i = 0; i < c.paths; ++i) ASSERT_EQ(run.paths[i], "db" + std::to_string(i));
    std::vector<Status> want(c.paths + 1, 0);
    if (c.failsAt >= 0) want[static_cast<size_t>(c.failsAt)] = kScanMemoryShort;
    EXPECT_EQ(run.statuses, want);
    EXPECT_EQ(LastScanFailure(), c.failsAt >= 0 ? ScanStep::kMemory : ScanStep::kNone);
    EXPECT_EQ(rt().OpenHandles(), 0);
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
