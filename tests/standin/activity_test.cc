// The activity log: summary windows, the entries block, the 65,535 cap and bad files.
#include <gtest/gtest.h>

#include <limits>

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

struct Log {
  Status status = 0;
  ActivitySummary summary{};
  std::vector<ActivityEntry> entries;
  std::vector<std::string> users;
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
    if (log.status == 0) {
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

}  // namespace
}  // namespace standin_test
