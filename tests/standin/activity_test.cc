// The activity log: summary windows, the entries block, the 65,535 cap and bad files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <limits>

#include "../../standin/database_file.h"
#include "../../standin/fast_database_reader.h"
#include "../../standin/log_builder.h"
#include "../../standin/standin_internal.h"
#include "standin_test_support.h"

namespace standin_test {
namespace {

constexpr int64_t kDay = 86400;
const char* const kNow = "2026-12-07 12:00:00";

std::string UtcText(int64_t seconds) {
  const time_t value = static_cast<time_t>(seconds);
  struct tm parts {};
  gmtime_r(&value, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string Entry(const std::string& time, int reads, int writes, const std::string& user) {
  return "{\"time\": \"" + time + "\", \"reads\": " + std::to_string(reads) +
         ", \"writes\": " + std::to_string(writes) + ", \"user\": \"" + user + "\"}";
}

// Lets the address space of this process grow by `room` bytes at most, for a
// child that tries what the stand-in does when memory runs short.
void LimitAddressSpace(size_t room) {
  std::ifstream status("/proc/self/status");
  size_t kib = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) kib = std::stoul(line.substr(7));
  }
  const rlimit limit{kib * 1024 + room, kib * 1024 + room};
  setrlimit(RLIMIT_AS, &limit);
}

// Address sanitizers reserve more address space than any limit leaves.
#if defined(__SANITIZE_ADDRESS__)
#define USETRAIL_LIMITS_ADDRESS_SPACE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define USETRAIL_LIMITS_ADDRESS_SPACE 0
#endif
#endif
#ifndef USETRAIL_LIMITS_ADDRESS_SPACE
#define USETRAIL_LIMITS_ADDRESS_SPACE 1
#endif

struct Log {
  Status status = 0;
  ActivitySummary summary{};
  std::vector<ActivityEntry> entries;
  std::vector<std::string> users;
  MemHandle block = 0;
};

class ActivityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Restart({data_.path().string(), std::nullopt, kNow}), 0);
    ASSERT_TRUE(standin::ParseUtcText(kNow, true, &now_));
  }
  void TearDown() override { RuntimeTerm(); }

  // Opens `name`, reads its log and frees everything again.
  Log Read(const std::string& name, Status* openStatus = nullptr) {
    Log log;
    DbHandle handle = 0;
    const Status opened = DbOpen(name.c_str(), &handle);
    if (openStatus != nullptr) *openStatus = opened;
    if (opened != 0) {
      log.status = opened;
      return log;
    }
    MemHandle block = 0;
    uint16_t count = 0;
    log.status = DbGetUserActivity(handle, 0, &log.summary, &block, &count);
    log.block = block;
    // Handle 0 is no block: an empty log, never to be locked or freed.
    if (log.status == 0 && block == 0) {
      EXPECT_EQ(count, 0);
    }
    if (log.status == 0 && block != 0) {
      const auto* bytes = static_cast<const uint8_t*>(MemLock(block));
      for (uint16_t i = 0; i < count; ++i) {
        ActivityEntry entry;
        std::memcpy(&entry, bytes + i * sizeof entry, sizeof entry);
        log.entries.push_back(entry);
        log.users.emplace_back(reinterpret_cast<const char*>(bytes + entry.nameOffset));
      }
      EXPECT_EQ(MemUnlock(block), 0);
      EXPECT_EQ(MemFree(block), 0);
    }
    EXPECT_EQ(DbClose(handle), 0);
    return log;
  }

  std::string Text(const TimeDate& value) {
    char text[kMaxTimeText];
    uint16_t length = 0;
    if (TimeToText(nullptr, nullptr, &value, text, kMaxTimeText, &length) != 0) return "invalid";
    return std::string(text, length);
  }

  TempDir data_;
  int64_t now_ = 0;
};

TEST_F(ActivityTest, SummaryCountsTheLastDayWeekAndMonthUpToNow) {
  // Reads are distinct powers of two, so each sum tells which entries it took.
  struct Age {
    int64_t seconds;
    int reads;
  };
  const Age ages[] = {{30 * kDay, 1}, {30 * kDay - 1, 2}, {7 * kDay, 4}, {7 * kDay - 1, 8},
                      {kDay, 16},     {kDay - 1, 32},     {0, 64},       {-1, 128}};
  std::vector<std::string> entries;
  for (const Age& age : ages) {
    entries.push_back(Entry(UtcText(now_ - age.seconds), age.reads, 1, "CN=U/O=Acme"));
  }
  entries.push_back("{\"time\": \"never\", \"reads\": 256, \"writes\": 1, \"user\": \"x\"}");
  WriteFile(data_.path() / "log.db", DatabaseJson("Log", entries));

  const Log log = Read("log.db");
  ASSERT_EQ(log.status, 0) << StatusString(log.status);
  const ActivitySummary& s = log.summary;
  EXPECT_EQ(s.uses, 8u);  // every entry with a valid time, the future one too
  EXPECT_EQ(s.reads, 255u);
  EXPECT_EQ(s.writes, 8u);
  EXPECT_EQ(s.dayReads, 32u + 64u);
  EXPECT_EQ(s.dayUses, 2u);
  EXPECT_EQ(s.dayWrites, 2u);
  EXPECT_EQ(s.weekReads, 8u + 16u + 32u + 64u);
  EXPECT_EQ(s.weekUses, 4u);
  EXPECT_EQ(s.monthReads, 2u + 4u + 8u + 16u + 32u + 64u);
  EXPECT_EQ(s.monthUses, 6u);
  EXPECT_EQ(TimeDiffSeconds(&s.periodEnd, &s.periodStart), 30 * kDay);
  EXPECT_EQ(Text(s.periodEnd), kNow);
  EXPECT_EQ(log.entries.size(), 9u);
}

TEST_F(ActivityTest, EntriesBlockKeepsFileOrderNamesAndInvalidTimes) {
  WriteFile(
      data_.path() / "log.db",
      DatabaseJson("Log", {Entry("2026-12-01 08:00:00", 3, 1, "CN=Jane Doe/O=Acme"),
                           "{\"time\": \"2026-02-30 10:00:00\", \"user\": \"CN=Bad/O=Acme\"}",
                           "{\"reads\": 2, \"writes\": 12.0}",
                           "{\"time\": \"2026-12-02T09:30:00Z\", \"reads\": 1, \"user\": \"\","
                           " \"extra\": {\"reads\": [\"ignored\"]}}"}));
  const Log log = Read("log.db");
  ASSERT_EQ(log.status, 0) << StatusString(log.status);
  ASSERT_EQ(log.entries.size(), 4u);
  EXPECT_EQ(log.users, (std::vector<std::string>{"CN=Jane Doe/O=Acme", "CN=Bad/O=Acme", "", ""}));
  EXPECT_EQ(Text(log.entries[0].time), "2026-12-01 08:00:00");
  EXPECT_EQ(log.entries[0].reads, 3);
  EXPECT_EQ(log.entries[0].writes, 1);
  EXPECT_EQ(log.entries[2].writes, 12);

  char text[kMaxTimeText];
  uint16_t length = 7;
  for (int i : {1, 2}) {
    EXPECT_EQ(TimeToText(nullptr, nullptr, &log.entries[i].time, text, kMaxTimeText, &length),
              standin::kInvalidTime);
  }
  EXPECT_EQ(Text(log.entries[3].time), "2026-12-02 09:30:00");
  EXPECT_EQ(log.summary.uses, 2u);  // only entries with a valid time count
  EXPECT_EQ(Text(log.summary.periodStart), "2026-12-01 08:00:00");
}

TEST_F(ActivityTest, LongLogsHandOutTheNewest65535AndSumEverything) {
  constexpr int kEntries = 65600;
  std::string json = "{\"activity\": [";
  for (int i = 0; i < kEntries; ++i) {
    std::string user = "u";
    user += std::to_string(i);
    if (i > 0) json += ',';
    json += Entry(UtcText(now_ - kEntries + i), 65535, 0, user);
  }
  WriteFile(data_.path() / "big.db", json + "]}");
  const Log log = Read("big.db");
  ASSERT_EQ(log.status, 0) << StatusString(log.status);
  ASSERT_EQ(log.entries.size(), 65535u);
  EXPECT_EQ(log.users.front(), "u65");
  EXPECT_EQ(log.users.back(), "u65599");
  EXPECT_EQ(Text(log.entries.back().time), UtcText(now_ - 1));
  EXPECT_EQ(log.summary.uses, static_cast<uint32_t>(kEntries));
  EXPECT_EQ(log.summary.reads, std::numeric_limits<uint32_t>::max());  // stops at the maximum
  EXPECT_EQ(log.summary.dayUses, static_cast<uint32_t>(kEntries));
}

// Three rounds of the ring and more, names of many lengths: the names the ring
// overwrites are dropped on the way, and every kept name stays whole. With a
// byte order mark in front, the exact reader reads the same log.
TEST_F(ActivityTest, LogsOfManyRoundsKeepTheNewestEntriesWithTheirNames) {
  constexpr int kEntries = 3 * 65535 + 7;
  const auto user = [](int i) {
    std::string name = std::to_string(i);
    name.append(static_cast<size_t>(i % 37), 'x');
    return name;
  };
  // Written straight into one string: 15 MB of entries one by one take most
  // of the test's time otherwise, under the sanitizers above all.
  std::string json = "{\"activity\": [";
  json.reserve(size_t{80} * kEntries);
  for (int i = 0; i < kEntries; ++i) {
    const time_t at = static_cast<time_t>(now_ - kEntries + i);
    struct tm parts {};
    gmtime_r(&at, &parts);
    char entry[96];
    const int length =
        std::snprintf(entry, sizeof entry,
                      "%s{\"time\": \"%04d-%02d-%02d %02d:%02d:%02d\", \"reads\": %d, \"writes\": "
                      "1, \"user\": \"",
                      i > 0 ? "," : "", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                      parts.tm_hour, parts.tm_min, parts.tm_sec, i % 3);
    json.append(entry, static_cast<size_t>(length));
    json += user(i);
    json += "\"}";
  }
  json += "]}";
  for (const std::string& content : {json, "\xef\xbb\xbf" + json}) {
    const bool fast = content.size() == json.size();
    SCOPED_TRACE(fast ? "fast reader" : "exact reader");
    WriteFile(data_.path() / "rounds.db", content);
    const uint64_t declined = standin::FastReaderDeclines();
    const Log log = Read("rounds.db");
    // The fast reader reads the 15 MB a window at a time, all of it.
    EXPECT_EQ(standin::FastReaderDeclines() - declined, fast ? 0u : 1u);
    ASSERT_EQ(log.status, 0) << StatusString(log.status);
    ASSERT_EQ(log.entries.size(), 65535u);
    int wrong = -1;  // the first entry that is not the one expected
    for (int k = 0; k < 65535 && wrong < 0; ++k) {
      const int i = kEntries - 65535 + k;
      if (log.users[k] != user(i) || log.entries[k].reads != i % 3) wrong = k;
    }
    ASSERT_EQ(wrong, -1) << "entry " << wrong << ": " << log.users[wrong] << ", "
                         << log.entries[wrong].reads << " reads";
    EXPECT_EQ(Text(log.entries.front().time), UtcText(now_ - 65535));
    EXPECT_EQ(log.summary.uses, static_cast<uint32_t>(kEntries));
    EXPECT_EQ(log.summary.writes, static_cast<uint32_t>(kEntries));
  }
}

// Each database's log is read into the room the one before left behind: nothing of
// the earlier log may show through.
TEST_F(ActivityTest, LogsReadOneAfterAnotherKeepNothingOfTheEarlierOnes) {
  std::vector<std::string> many;
  for (int i = 0; i < 3000; ++i) many.push_back(Entry(kNow, 7, 7, std::string(40, 'a')));
  WriteFile(data_.path() / "many.db", DatabaseJson("Many", many));
  WriteFile(data_.path() / "two.db", DatabaseJson("Two", {Entry("2026-12-01 08:00:00", 1, 2, "b"),
                                                          Entry("2026-12-02 08:00:00", 3, 4, "")}));
  for (const char* name : {"many.db", "two.db", "many.db", "two.db", "two.db"}) {
    SCOPED_TRACE(name);
    const Log log = Read(name);
    ASSERT_EQ(log.status, 0) << StatusString(log.status);
    if (std::string(name) == "many.db") {
      ASSERT_EQ(log.entries.size(), 3000u);
      EXPECT_EQ(log.users.back(), std::string(40, 'a'));
      continue;
    }
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.users, (std::vector<std::string>{"b", ""}));
    EXPECT_EQ(log.entries[1].reads, 3);
    EXPECT_EQ(log.summary.uses, 2u);
    EXPECT_EQ(log.summary.reads, 4u);
  }
}

TEST_F(ActivityTest, DatabaseWithoutRecordingGives578) {
  WriteFile(data_.path() / "off.db",
            DatabaseJson("Off", {Entry(kNow, 1, 1, "x")}, ", \"recordActivity\": false"));
  WriteFile(data_.path() / "empty.db", "{}");
  const Log off = Read("off.db");
  EXPECT_EQ(ErrorCode(off.status), kErrorNoActivityLog);
  EXPECT_FALSE(StatusString(off.status).empty());

  const Log empty = Read("empty.db");
  ASSERT_EQ(empty.status, 0);
  EXPECT_TRUE(empty.entries.empty());
  EXPECT_EQ(empty.block, 0u);
  EXPECT_EQ(Text(empty.summary.periodStart), kNow);
  EXPECT_EQ(Text(empty.summary.periodEnd), kNow);
}

TEST_F(ActivityTest, BadFilesGiveStatusesNamingFileAndProblem) {
  struct Case {
    const char* label;
    std::string content;
    bool failsOnOpen;
    uint16_t family;
    std::string text;
  };
  const std::string ok = Entry(kNow, 1, 0, "x");
  const Case cases[] = {
      {"cut off", "{\"title\": \"x\",", true, standin::kNotJson, "syntax error at byte 14"},
      {"bad literal", "{\"title\": nope}", true, standin::kNotJson, "syntax error at byte 11"},
      {"empty", "", true, standin::kNotJson, "not JSON"},
      {"garbage after", "{} x", true, standin::kNotJson, "syntax error at byte 3"},
      {"latin-1 title", "{\"title\": \"Jos\xE9 Ruiz\"}", true, standin::kNotJson,
       "not UTF-8: byte 14 is not part of a UTF-8 character, near '\"Jos\\xE9'"},
      {"stray continuation byte", "{\"title\": \"ab\x80\"}", true, standin::kNotJson,
       "not UTF-8: byte 13 is not part of a UTF-8 character, near '\"ab\\x80'"},
      {"latin-1 outside a string", "{\"title\": \xE9}", true, standin::kNotJson,
       "not JSON: syntax error at byte 10 near '\"title\": \\xE9'"},
      {"utf-16 with a byte-order mark", std::string("\xFF\xFE{\0}\0", 6), true, standin::kNotJson,
       "not UTF-8: the file looks like UTF-16"},
      {"utf-16 without a mark", std::string("{\0\"\0t\0\"\0:\0", 10), true, standin::kNotJson,
       "not UTF-8: the file looks like UTF-16"},
      {"top level array", "[{\"title\": \"x\"}]", true, standin::kBadField,
       "top level is not an object"},
      {"top level string", "\"x\"", true, standin::kBadField, "top level is not an object"},
      {"title number", "{\"title\": 5}", true, standin::kBadField, "\"title\" must be a string"},
      {"title object", "{\"title\": {}}", true, standin::kBadField, "\"title\""},
      {"flag text", "{\"recordActivity\": \"yes\"}", true, standin::kBadField,
       "\"recordActivity\""},
      {"activity object", "{\"activity\": {}}", true, standin::kBadField,
       "\"activity\" must be an array"},
      {"entry not object", DatabaseJson("x", {ok, "7"}), false, standin::kBadEntry,
       "activity entry 1 in the file (counting from 0) is not an object"},
      {"entry array", DatabaseJson("x", {"[]"}), false, standin::kBadEntry,
       "activity entry 0 in the file (counting from 0) is not an object"},
      {"reads too big", DatabaseJson("x", {Entry(kNow, 65536, 0, "u")}), false, standin::kBadEntry,
       "activity entry 0 in the file (counting from 0): field \"reads\""},
      {"writes negative", DatabaseJson("x", {ok, ok, Entry(kNow, 0, -1, "u")}), false,
       standin::kBadEntry, "activity entry 2 in the file (counting from 0): field \"writes\""},
      {"reads fraction", DatabaseJson("x", {"{\"reads\": 1.5}"}), false, standin::kBadEntry,
       "\"reads\""},
      {"reads text", DatabaseJson("x", {"{\"reads\": \"3\"}"}), false, standin::kBadEntry,
       "\"reads\""},
      {"reads huge", DatabaseJson("x", {"{\"reads\": 1e300}"}), false, standin::kBadEntry,
       "\"reads\""},
      {"user number", DatabaseJson("x", {"{\"user\": 5}"}), false, standin::kBadEntry, "\"user\""},
      // Problems deep in a file the fast reader had taken well up to there.
      {"bad UTF-8 in a user", DatabaseJson("x", {ok, "{\"user\": \"a\xff\"}"}), true,
       standin::kNotJson, "not UTF-8: byte 109 is not part of a UTF-8 character"},
      {"control character in a time", DatabaseJson("x", {ok, "{\"time\": \"a\tb\"}"}), true,
       standin::kNotJson, "syntax error at byte 109"},
      {"lone low surrogate", "{\"title\": \"\\udc00\"}", true, standin::kNotJson,
       "syntax error at byte 16"},
      {"number too large for a double", "{\"x\": [1, 1e400]}", true, standin::kNotJson,
       "syntax error at byte 14 near '1e400'"},
      {"value after the top level", "{} {}", true, standin::kNotJson, "syntax error at byte 3"},
      {"text after blanks after the top level", "{}  \n x", true, standin::kNotJson,
       "syntax error at byte 6"},
      // A NUL byte is never part of JSON: the file fails there, however it goes on.
      {"NUL bytes only", std::string(4096, '\0'), true, standin::kNotJson,
       "not JSON: a NUL byte at offset 0"},
      {"a NUL byte after the top level",
       std::string(R"({"title":"nul","recordActivity":true,"activity":[]})") +
           std::string("\0{}", 3),
       true, standin::kNotJson, "not JSON: a NUL byte at offset 51"},
      {"a NUL byte after blanks", std::string("{} \n\0", 5), true, standin::kNotJson,
       "not JSON: a NUL byte at offset 4"},
      {"a NUL byte in a string", std::string("{\"title\": \"a\0b\"}", 16), true, standin::kNotJson,
       "not JSON: a NUL byte at offset 12"},
      {"a NUL byte deep in a log", DatabaseJson("x", {ok, ok}) + std::string(1, '\0') + "  ", true,
       standin::kNotJson,
       "not JSON: a NUL byte at offset " + std::to_string(DatabaseJson("x", {ok, ok}).size())},
      {"a syntax error before a NUL byte", std::string("{\"title\" 5}\0", 13), true,
       standin::kNotJson, "not JSON: syntax error at byte 9"},
      {"a wrong type before a NUL byte", std::string("{\"title\": 5}\0", 14), true,
       standin::kBadField, "\"title\" must be a string"},
      {"reads written with an exponent", DatabaseJson("x", {"{\"reads\": 1e5}"}), false,
       standin::kBadEntry, "activity entry 0 in the file (counting from 0): field \"reads\""},
      {"bad entry in a second log", "{\"activity\": [" + ok + "], \"activity\": [7]}", false,
       standin::kBadEntry, "activity entry 1 in the file (counting from 0) is not an object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteFile(data_.path() / "case.db", c.content);
    Status openStatus = 0;
    const Log log = Read("case.db", &openStatus);
    EXPECT_EQ(openStatus != 0, c.failsOnOpen) << StatusString(openStatus);
    EXPECT_EQ(standin::FamilyOf(log.status), c.family);
    const std::string text = StatusString(log.status);
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    EXPECT_NE(text.find("case.db"), std::string::npos) << text;
  }
  EXPECT_EQ(standin::LiveBlocks(), 0u);
}

// A database read at a search is opened from what that read kept while the file is as
// the search found it, and the opening gives exactly what reading the file would.
TEST_F(ActivityTest, AnOpeningAfterASearchUsesTheSearchsReadWhileTheFileIsUnchanged) {
  TempDir outside;
  const std::vector<std::string> entries = {
      Entry("2026-12-01 08:00:00", 3, 1, "CN=Jane Doe/O=Acme"),
      "{\"time\": \"never\", \"user\": \"CN=John/O=Acme\"}",
      Entry(kNow, 65535, 2, "CN=Jane Doe/O=Acme"), Entry("2026-12-07 11:00:00", 0, 0, "")};
  const std::string good = DatabaseJson("Good", entries);
  std::vector<std::string> named;  // enough names to grow the pool of names more than once
  for (int i = 0; i < 3000; ++i) named.push_back(Entry(kNow, 1, 0, "CN=User " + std::to_string(i)));
  WriteFile(outside.path() / "other.db", DatabaseJson("Outside", {Entry(kNow, 9, 9, "x")}));
  const auto rewrite = [](const std::string& content) {
    return [content](const fs::path& file) {
      WriteFile(file, content);
      fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(2));
    };
  };
  struct Case {
    const char* label;
    std::string content;
    bool settled;                                 // the file lies well back when searched
    std::function<void(const fs::path&)> change;  // between the search and the opening
    uint64_t reads;                               // of the file at the opening
    bool modifiedBack = false;                    // modification time set an hour back
  };
  const Case cases[] = {
      {"unchanged", good, true, nullptr, 0},
      {"not JSON", "{\"title\": \"x\",", true, nullptr, 0},
      {"a bad entry", DatabaseJson("x", {Entry(kNow, 1, 0, "x"), "7"}), true, nullptr, 0},
      {"not recording", DatabaseJson("x", {}, ", \"recordActivity\": false"), true, nullptr, 0},
      {"an empty log", "{}", true, nullptr, 0},
      {"a name for every entry", DatabaseJson("Named", named), true, nullptr, 0},
      {"read by the exact reader", "\xef\xbb\xbf" + good, true, nullptr, 0},
      {"written just before the search", good, false, nullptr, 1},
      {"rewritten since", good, true, rewrite(DatabaseJson("New", {Entry(kNow, 1, 1, "n")})), 1},
      {"rewritten since, to the same size", good, true, rewrite(DatabaseJson("Best", entries)), 1},
      // Its modification time set back, as a copy that keeps times does: the
      // change time shows the file is new.
      {"written just before the search, modification time set back", good, false, nullptr, 1, true},
      {"a link put in its place", good, true,
       [&](const fs::path& file) {
         fs::remove(file);
         fs::create_symlink(outside.path() / "other.db", file);
       },
       0},
      {"a FIFO put in its place", good, true,
       [](const fs::path& file) {
         fs::remove(file);
         mkfifo(file.c_str(), 0600);
       },
       0},
  };
  const fs::path file = data_.path() / "db.db";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteFile(file, c.content);
    if (c.settled) Settle(data_.path());
    if (c.modifiedBack) {
      fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    ASSERT_EQ(Restart({data_.path().string(), std::nullopt, kNow}), 0);
    SearchLog search;
    ASSERT_EQ(Search("", &search), 0);
    if (c.change) c.change(file);
    const uint64_t before = standin::DatabaseFileReads();
    const Log got = Read("db.db");
    EXPECT_EQ(standin::DatabaseFileReads() - before, c.reads);

    // What a run that only opens the file gives.
    ASSERT_EQ(Restart({data_.path().string(), std::nullopt, kNow}), 0);
    const Log want = Read("db.db");
    EXPECT_EQ(StatusString(got.status), StatusString(want.status));
    EXPECT_EQ(ErrorCode(got.status), ErrorCode(want.status));
    EXPECT_EQ(std::memcmp(&got.summary, &want.summary, sizeof want.summary), 0);
    EXPECT_EQ(got.users, want.users);
    ASSERT_EQ(got.entries.size(), want.entries.size());
    for (size_t i = 0; i < want.entries.size(); ++i) {
      EXPECT_EQ(std::memcmp(&got.entries[i], &want.entries[i], sizeof(ActivityEntry)), 0) << i;
    }
    fs::remove(file);
  }
}

// When memory runs short for a database, the call fails with a status that says so and
// names the database, whichever step needed the memory: the reading of the file, the
// replay of the search's kept read, the entries block. Nothing is thrown out of the
// stand-in: each child ends by its own exit, never by a signal.
TEST_F(ActivityTest, MemoryThatRunsShortIsNamedAsTheCause) {
  if (!USETRAIL_LIMITS_ADDRESS_SPACE) GTEST_SKIP() << "the address space cannot be limited";
  GTEST_FLAG_SET(death_test_style, "fast");
  // 65,535 entries under three long names: a recording of a few bytes an entry,
  // a log of 16 MiB of names.
  std::string json = "{\"title\": \"Big\", \"activity\": [";
  for (int i = 0; i < 65535; ++i) {
    if (i > 0) json += ',';
    json += Entry(kNow, 1, 0, std::string(250, static_cast<char>('a' + i % 3)));
  }
  WriteFile(data_.path() / "big.db", json + "]}");
  Settle(data_.path());
  struct Case {
    const char* label;
    bool searchFirst;  // the search keeps a read for the opening
    bool openFirst;    // opened before memory is short; only its block is made then
  };
  const Case cases[] = {
      {"the file read at the opening", false, false},
      {"the search's read replayed at the opening", true, false},
      {"the entries block", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(Restart({data_.path().string(), std::nullopt, kNow}), 0);
    if (c.searchFirst) {
      SearchLog search;
      ASSERT_EQ(Search("", &search), 0);
    }
    const auto tryIt = [&] {
      DbHandle handle = 0;
      Status status = c.openFirst ? DbOpen("big.db", &handle) : 0;
      LimitAddressSpace(size_t{8} << 20);
      if (status == 0 && !c.openFirst) status = DbOpen("big.db", &handle);
      if (status == 0) {
        ActivitySummary summary{};
        MemHandle block = 0;
        uint16_t count = 0;
        status = DbGetUserActivity(handle, 0, &summary, &block, &count);
      }
      std::fprintf(stderr, "%u: %s\n", standin::FamilyOf(status), StatusString(status).c_str());
      std::_Exit(standin::FamilyOf(status) == standin::kMemoryShort ? 0 : 1);
    };
    EXPECT_EXIT(tryIt(), ::testing::ExitedWithCode(0), "Memory ran short for database big.db");
  }
}

// A file of 1 GiB that holds nothing (a sparse file) costs next to nothing: it fails at
// its first byte, read once for the search and its opening, within a few MiB.
TEST_F(ActivityTest, ASparseFileCostsWhatItHolds) {
  if (!USETRAIL_LIMITS_ADDRESS_SPACE) GTEST_SKIP() << "the address space cannot be limited";
  GTEST_FLAG_SET(death_test_style, "fast");
  WriteFile(data_.path() / "good.db", DatabaseJson("Good", {Entry(kNow, 1, 0, "x")}));
  WriteFile(data_.path() / "zero.db", "");
  fs::resize_file(data_.path() / "zero.db", uintmax_t{1} << 30);
  Settle(data_.path());
  ASSERT_EQ(Restart({data_.path().string(), std::nullopt, kNow}), 0);
  const auto tryIt = [&] {
    LimitAddressSpace(size_t{32} << 20);
    const uint64_t before = standin::DatabaseFileReads();
    SearchLog search;
    const Status searched = Search("", &search);
    const Log zero = Read("zero.db");
    const Log good = Read("good.db");
    std::fprintf(stderr, "search %u, reads %llu, good %u, zero: %s\n", searched,
                 static_cast<unsigned long long>(standin::DatabaseFileReads() - before),
                 good.status, StatusString(zero.status).c_str());
    std::_Exit(0);
  };
  EXPECT_EXIT(
      tryIt(), ::testing::ExitedWithCode(0),
      "search 0, reads 2, good 0, zero: Database zero.db: not JSON: a NUL byte at offset 0");
}

// Names lie in 32 bits of the entries block: a log whose block would pass that is refused
// with a status that says so, never handed out with other entries' names. The limit is
// lowered here, to try it with megabytes instead of gigabytes.
TEST_F(ActivityTest, ALogWhoseNamesPassTheBlocksReachIsRefusedNeverMisnamed) {
  struct Case {
    const char* label;
    int overwritten;    // entries before the newest 65,535, with long names
    int kept;           // the newest entries, with short names
    size_t nameLength;  // of the long names
    ptrdiff_t slack;    // the limit less the block the kept entries need
    bool refused;
  };
  const Case cases[] = {
      {"fits exactly", 0, 1000, 0, 0, false},
      {"a byte too many", 0, 1000, 0, -1, true},
      {"long names overwritten by the ring", 3000, 65535, 4000, 0, false},
      {"the same, a byte short", 3000, 65535, 4000, -1, true},
  };
  const auto shortName = [](int i) {  // 7 bytes
    std::string name = "u";
    name += std::to_string(100000 + i);
    return name;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string json = "{\"activity\": [";
    for (int i = 0; i < c.overwritten + c.kept; ++i) {
      if (i > 0) json += ',';
      const std::string user =
          i < c.overwritten ? std::string(c.nameLength, 'L') : shortName(i - c.overwritten);
      json += Entry(kNow, 1, 1, user);
    }
    WriteFile(data_.path() / "big.db", json + "]}");
    const size_t block = static_cast<size_t>(c.kept) * (sizeof(ActivityEntry) + 8);
    standin::SetEntriesBlockLimit(block + static_cast<size_t>(c.slack));
    const Log log = Read("big.db");
    standin::SetEntriesBlockLimit(standin::kEntriesBlockLimit);
    if (c.refused) {
      EXPECT_EQ(standin::FamilyOf(log.status), standin::kLogTooLarge);
      EXPECT_NE(StatusString(log.status).find("cannot be handed out"), std::string::npos)
          << StatusString(log.status);
      EXPECT_TRUE(log.users.empty());
      continue;
    }
    ASSERT_EQ(log.status, 0) << StatusString(log.status);
    ASSERT_EQ(log.users.size(), static_cast<size_t>(c.kept));
    for (int i = 0; i < c.kept; ++i) ASSERT_EQ(log.users[i], shortName(i)) << i;
  }
  EXPECT_EQ(standin::LiveBlocks(), 0u);
}

// The fast reader takes the forms a database file is written in and reads them as the
// exact reader does; what it declines, the exact reader reads alone.
TEST(DatabaseReaders, FastReaderTakesWellFormedFilesAndReadsThemExactly) {
  struct Case {
    const char* label;
    std::string content;
    bool fastTakes;
    bool windowTooSmall = false;  // from a file read 1 KiB at a time
  };
  const std::string entry = Entry("2026-12-01 10:00:00", 3, 1, "CN=Jane Doe/O=Acme");
  const std::string deep = "{\"x\": " + std::string(600, '[') + std::string(600, ']') + "}";
  const Case cases[] = {
      {"generated layout",
       "{\n  \"title\": \"Sales\",\n  \"recordActivity\": true,\n  \"activity\": [\n    " + entry +
           ",\n    " + Entry("2026-12-02 11:00:00", 0, 65535, "CN=John/O=Acme") + "\n  ]\n}\n",
       true},
      {"empty object", " {}\n", true},
      {"escapes in texts",
       "{\"title\": \"q\\\" b\\\\ s\\/ \\b\\f\\n\\r\\t \\u00e9\\u20AC\\ud83d\\ude00\", "
       "\"activity\": "
       "[{\"time\": \"2026-12-01 10:00:00\", \"user\": \"CN=J\\u00fcrgen \\\"JJ\\\"/O=Acme\"}]}",
       true},
      {"escaped keys",
       "{\"t\\u0069tle\": \"T\", \"activity\": [{\"t\\u0069me\": \"2026-12-01 10:00:00\", "
       "\"us\\u0065r\": \"a\", \"re\\u0061ds\": 7}]}",
       true},
      {"UTF-8 texts",
       "{\"title\": \"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \x7f\", \"activity\": "
       "[{\"user\": \"CN=\xc3\x85sa \xe4\xb8\xad/O=Acme\", \"time\": \"2026-12-01 10:00:00\"}]}",
       true},
      {"later fields win",
       "{\"title\": \"first\", \"recordActivity\": false, \"activity\": [{\"time\": "
       "\"2026-12-01 10:00:00\", \"time\": \"bad\", \"reads\": 1, \"reads\": 2, \"user\": \"a\", "
       "\"user\": \"b\"}], \"title\": \"second\", \"recordActivity\": true}",
       true},
      {"a second log goes on after the first",
       "{\"activity\": [" + entry + "], \"title\": \"x\", \"activity\": [" + entry + ", {}]}",
       true},
      {"whitespace of every kind",
       "\t\r\n {\r\n\t\"title\"\t:\t\"ws\" ,\n \"activity\" : [ \n { \"time\" : "
       "\"2026-12-01 10:00:00\" , \"reads\" : 1 } , { } ] \r\n } \n\t ",
       true},
      {"unknown values of every kind",
       "{\"n\": [0, -0, 1.5, -12.25, 0.000001, 123456789012345678901234567890, true, false, "
       "null, {}, [], {\"a\": [{\"b\": \"\\u0000\"}]}], \"activity\": [{\"x\": {\"reads\": [5]}, "
       "\"time\": [\"2026-12-01 10:00:00\"], \"user\": \"\"}]}",
       true},
      {"times of every form",
       "{\"activity\": [{\"time\": \"2026-12-01T10:00:00Z\"}, {\"time\": \"2026-12-01 "
       "10:00:00Z\"}, "
       "{\"time\": \"2026-12-01T10:00:00\"}, {\"time\": 5}, {\"time\": null}, {\"time\": {}}, "
       "{\"time\": \"2024-02-29 23:59:59\"}, {\"time\": \"2023-02-29 00:00:00\"}, "
       "{\"time\": \"0001-01-01 23:59:59\"}, {\"time\": \"0001-01-02 00:00:00\"}, "
       "{\"time\": \"9999-12-30 23:59:59\"}, {\"time\": \"9999-12-31 00:00:00\"}, "
       "{\"time\": \"2026-12-01 24:00:00\"}, {\"time\": \"2026-12-01 10:00:00 \"}]}",
       true},
      {"a log through many windows",
       [&] {
         std::string log = "{\"title\": \"long\", \"activity\": [";
         for (int i = 0; i < 40; ++i) {
           log += (i > 0 ? ",\n  " : "") +
                  Entry("2026-12-01 10:00:00", i, 1, "CN=U\\u00e9" + std::to_string(i));
         }
         return log + "], \"recordActivity\": false}";
       }(),
       true},
      {"entries written in changing ways",
       "{\"activity\": [" + entry + ", " + entry + ", " +
           "{\"time\": \"2026-12-01 10:00:00\", \"reads\": 4, \"writes\": 5, \"usr\": \"x\"}, " +
           "{\"time\": \"2026-12-01 10:00:00\", \"reads\": 6, \"writes\": 7}, " + entry + ", " +
           "{\"time\": 5, \"reads\": 8, \"writes\": 9, \"user\": \"CN=\\u00e9\"}, " + entry +
           ", {\"user\": \"y\", \"time\": \"2026-12-02 10:00:00\", \"writes\": 2, \"reads\": 1}, " +
           entry + ", {\"time\": \"2026-12-01 10:00:00\", \"reads\": 3, \"writes\": 1, " +
           "\"user\": \"CN=Jane Doe/O=Acme\", \"reads\": 11}, " + entry +
           ", {\"time\":\"2026-12-01 10:00:00\",\"reads\":3,\"writes\":1,\"user\":\"z\"}]}",
       true},
      {"an entry longer than a window's lookahead",
       "{\"activity\": [" + entry + ", " +
           Entry("2026-12-01 10:00:00", 1, 1, std::string(1500, 'u')) + ", " + entry + "]}",
       true, true},
      {"an escaped terminator ends a user name",
       "{\"activity\": [{\"user\": \"x\\u0000y\"}, {\"user\": \"\\u0000\"}]}", true},
      // Forms left to the exact reader.
      {"byte order mark", "\xef\xbb\xbf{\"title\": \"bom\"}", false},
      {"count written -0", "{\"activity\": [{\"reads\": -0}]}", false},
      {"count written 12.0", "{\"activity\": [{\"writes\": 12.0}]}", false},
      {"count written 1e2", "{\"activity\": [{\"reads\": 1e2}]}", false},
      {"exponent in an unknown field", "{\"x\": 1E-2}", false},
      {"terminator after the top level", std::string("{}\0x", 4), false},
      {"nesting beyond 512", deep, false},
      {"a bad entry", "{\"activity\": [" + entry + ", 7]}", false},
      {"not JSON", "{\"activity\": [" + entry, false},
  };
  const int64_t now = 1796644800;  // 2026-12-07 12:00:00 UTC
  TempDir dir;
  for (const Case& c : cases) {
    for (const standin::LoadMode mode : {standin::LoadMode::kFull, standin::LoadMode::kTitle}) {
      SCOPED_TRACE(std::string(c.label) +
                   (mode == standin::LoadMode::kFull ? ", full" : ", title"));
      std::vector<char> bytes(c.content.begin(), c.content.end());
      bytes.resize(c.content.size() + standin::kReadPadding, '\0');
      standin::DatabaseContent exact;
      const Status exactStatus = standin::LoadDatabaseBytesExactly(bytes.data(), c.content.size(),
                                                                   "x.db", mode, now, &exact);
      standin::DatabaseContent fast;
      const bool taken =
          standin::ReadDatabaseFast(bytes.data(), c.content.size(), mode, now, &fast);
      standin::DatabaseContent loaded;
      const Status status =
          standin::LoadDatabaseBytes(bytes.data(), c.content.size(), "x.db", mode, now, &loaded);
      EXPECT_EQ(status, exactStatus);
      EXPECT_EQ(StatusString(status), StatusString(exactStatus));
      // From a file, a window of 1 KiB at a time (256 bytes of it ahead of an entry).
      WriteFile(dir.path() / "x.db", c.content);
      standin::DatabaseContent windowed;
      const uint64_t declined = standin::FastReaderDeclines();
      const Status windowedStatus =
          standin::LoadDatabaseFile(dir.path() / "x.db", "x.db", mode, now, &windowed, 1024);
      EXPECT_EQ(standin::FastReaderDeclines() - declined,
                c.fastTakes && !c.windowTooSmall ? 0u : 1u);
      EXPECT_EQ(windowedStatus, exactStatus);
      EXPECT_EQ(StatusString(windowedStatus), StatusString(exactStatus));
      EXPECT_EQ(taken, c.fastTakes);
      if (c.fastTakes) {
        EXPECT_EQ(exactStatus, 0) << StatusString(exactStatus);
      }
      for (const standin::DatabaseContent* got : {&loaded, &windowed, taken ? &fast : &exact}) {
        EXPECT_EQ(got->title, exact.title);
        EXPECT_EQ(got->recordActivity, exact.recordActivity);
        EXPECT_EQ(got->entryError, exact.entryError);
        EXPECT_EQ(got->entries.names, exact.entries.names);
        ASSERT_EQ(got->entries.records.size(), exact.entries.records.size());
        for (size_t i = 0; i < exact.entries.records.size(); ++i) {
          EXPECT_TRUE(got->entries.records[i] == exact.entries.records[i]) << i;
        }
        EXPECT_EQ(std::memcmp(&got->summary, &exact.summary, sizeof exact.summary), 0);
      }
      if (mode != standin::LoadMode::kFull) continue;
      // Recorded at a search and replayed at the opening: the same again.
      standin::DatabaseContent recorded;
      const Status recordStatus = standin::LoadDatabaseFile(
          dir.path() / "x.db", "x.db", standin::LoadMode::kRecord, 0, &recorded, 1024);
      EXPECT_EQ(StatusString(recordStatus), StatusString(exactStatus));
      if (recordStatus != 0) continue;
      ASSERT_TRUE(recorded.recording && recorded.recording->complete());
      standin::DatabaseContent replayed;
      standin::LogBuilder builder(now, &replayed);
      recorded.recording->Replay(&builder);
      builder.Finish();
      EXPECT_EQ(recorded.title, exact.title);
      EXPECT_EQ(recorded.recordActivity, exact.recordActivity);
      EXPECT_EQ(recorded.entryError, exact.entryError);
      EXPECT_TRUE(recorded.entries.records.empty());
      EXPECT_EQ(replayed.entries.names, exact.entries.names);
      EXPECT_TRUE(replayed.entries.records == exact.entries.records);
      EXPECT_EQ(std::memcmp(&replayed.summary, &exact.summary, sizeof exact.summary), 0);
    }
  }
}

}  // namespace
}  // namespace standin_test
