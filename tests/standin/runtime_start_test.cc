// Start-up of the stand-in runtime from its environment, and its status texts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "../../standin/standin_internal.h"
#include "standin_test_support.h"

namespace standin_test {
namespace {

int ProcessEntry(int, char**) { return 0; }

struct StartCase {
  const char* label;
  std::optional<std::string> data;  // "<file>": a regular file; "<dir>": a folder
  std::optional<std::string> now;
  const char* expected;  // part of the status text
};

TEST(RuntimeStart, BadEnvironmentFailsWithTextNamingTheVariable) {
  TempDir dir;
  WriteFile(dir.path() / "plain.txt", "x");
  const StartCase cases[] = {
      {"unset", std::nullopt, std::nullopt,
       "USETRAIL_DATA is not set: point it at the folder that holds the databases"},
      {"empty", "", std::nullopt, "USETRAIL_DATA is empty"},
      {"missing", "<dir>/nope", std::nullopt, "USETRAIL_DATA names nothing"},
      {"file", "<file>", std::nullopt, "USETRAIL_DATA is not a directory"},
      {"date only", "<dir>", "2026-12-07", "USETRAIL_NOW is not a date-time"},
      {"T and Z", "<dir>", "2026-12-07T12:00:00Z", "USETRAIL_NOW"},
      {"no such day", "<dir>", "2026-02-30 12:00:00", "USETRAIL_NOW"},
      {"hour 24", "<dir>", "2026-12-07 24:00:00", "USETRAIL_NOW"},
      {"trailing text", "<dir>", "2026-12-07 12:00:00 ", "USETRAIL_NOW"},
      {"before the first day", "<dir>", "0001-01-01 23:59:59",
       "USETRAIL_NOW is out of range: \"0001-01-01 23:59:59\" lies outside 0001-01-02 00:00:00 to "
       "9999-12-30 23:59:59 (UTC)"},
      {"after the last day", "<dir>", "9999-12-31 00:00:00", "USETRAIL_NOW is out of range"},
      {"year 0", "<dir>", "0000-02-29 00:00:00", "USETRAIL_NOW is out of range"},
      {"no such day in the first year", "<dir>", "0001-02-29 00:00:00",
       "USETRAIL_NOW is not a date-time"},
      {"no such day in a year of range", "<dir>", "1900-02-29 00:00:00",
       "USETRAIL_NOW is not a date-time"},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.label);
    Env env;
    if (c.data) {
      std::string data = *c.data;
      if (data == "<file>") data = (dir.path() / "plain.txt").string();
      if (data.rfind("<dir>", 0) == 0) data = dir.path().string() + data.substr(5);
      env.data = data;
    }
    env.now = c.now;
    const Status status = Restart(env);
    ASSERT_NE(status, 0);
    char text[256];
    std::memset(text, 'x', sizeof text);
    const int exitStatus = StartupStatusText(status, text, 255);
    EXPECT_GE(exitStatus, 1);
    EXPECT_LE(exitStatus, 255);
    EXPECT_NE(std::string(text).find(c.expected), std::string::npos) << text;
    EXPECT_EQ(standin::FamilyOf(status), standin::kBadEnvironment);
    // A failed start leaves the runtime down.
    DbHandle handle = 7;
    EXPECT_EQ(DbOpen("", &handle), standin::kNotStarted);
    EXPECT_EQ(handle, 0u);
  }
}

TEST(RuntimeStart, TheFixedTimeMayLieAtEitherEndOfTheSpan) {
  TempDir dir;
  for (const char* now : {"0001-01-02 00:00:00", "9999-12-30 23:59:59"}) {
    SCOPED_TRACE(now);
    EXPECT_EQ(Restart({dir.path().string(), std::nullopt, now}), 0);
  }
  RuntimeTerm();
}

TEST(RuntimeStart, UnreadableDataDirectoryIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::none);
  const Status status = Restart({dir.path().string(), std::nullopt, std::nullopt});
  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_NE(StatusString(status).find("USETRAIL_DATA is not readable"), std::string::npos);
}

TEST(StatusTexts, TheWholeTextAndATerminatorOrNone) {
  char buffer[256];
  const std::string full = standin::TextOf(kErrorNoActivityLog);
  EXPECT_EQ(LoadStatusString(0, kErrorNoActivityLog, buffer, 255), full.size());
  EXPECT_EQ(std::string(buffer), full);
  EXPECT_EQ(LoadStatusString(0, 0, buffer, 255), 0);       // success has no text
  EXPECT_EQ(LoadStatusString(0, 4000, buffer, 255), 0);    // nor does an unknown code
  EXPECT_EQ(LoadStatusString(0, 0x3fff, buffer, 255), 0);  // nor an unused message code
  EXPECT_EQ(StatusText(kErrorNoActivityLog | kStatusAlreadyShown, buffer, 255), full.size());
}

// Every argument that the operations fix to a value is checked: a call with
// another value is refused with a status whose text names the operation and
// the argument, or, where an operation has no status, hands back that text
// in place of the one asked for, or an invalid date.
TEST(StatusTexts, AnArgumentOutOfPlaceIsRefusedByName) {
  TempDir dir;
  WriteFile(dir.path() / "a.db", DatabaseJson("A", {}));
  ASSERT_EQ(Restart({dir.path().string(), std::nullopt, "2026-12-07 12:00:00"}), 0);
  char path[256];
  DbHandle folder = 0;
  DbHandle db = 0;
  ASSERT_EQ(BuildNetPath(nullptr, "", "", path), 0);
  ASSERT_EQ(DbOpen(path, &folder), 0);
  ASSERT_EQ(DbOpen("a.db", &db), 0);
  const SearchCallback none = [](void*, const MatchRecord*, const void*) -> Status { return 0; };
  TimeDate now;
  TimeNow(&now);
  TimeDate moved = now;
  ActivitySummary summary;
  MemHandle block = 0;
  uint16_t count = 0;
  char text[96];
  uint16_t length = 0;
  int other = 0;
  struct Case {
    std::function<Status()> call;
    const char* named;
  };
  const Case cases[] = {
      {[] { return RuntimeEnterMain(ProcessEntry, 0, nullptr, 1, nullptr); },
       "RuntimeEnterMain: the argument reserved1 is 1, not 0"},
      {[&] { return RuntimeEnterMain(ProcessEntry, 0, nullptr, 0, &other); },
       "RuntimeEnterMain: the argument reserved2 is not null"},
      {[&] { return BuildNetPath("tcp", "", "a.db", path); },
       "BuildNetPath: the argument port is not null"},
      {[&] { return DbSearch(folder, 1, nullptr, 6, 0x6002, nullptr, none, nullptr, nullptr); },
       "DbSearch: the argument formula is 1, not 0"},
      {[&] { return DbSearch(folder, 0, "v", 6, 0x6002, nullptr, none, nullptr, nullptr); },
       "DbSearch: the argument viewTitle is not null"},
      {[&] { return DbSearch(folder, 0, nullptr, 4, 0x6002, nullptr, none, nullptr, nullptr); },
       "DbSearch: the argument searchFlags is 4, not 6"},
      {[&] { return DbSearch(folder, 0, nullptr, 6, 0x2, nullptr, none, nullptr, nullptr); },
       "DbSearch: the argument classMask is 2, not 24578"},
      {[&] { return DbSearch(folder, 0, nullptr, 6, 0x6002, &now, none, nullptr, nullptr); },
       "DbSearch: the argument since is not null"},
      {[&] { return DbSearch(folder, 0, nullptr, 6, 0x6002, nullptr, none, nullptr, &moved); },
       "DbSearch: the argument until is not null"},
      {[&] { return DbGetUserActivity(db, 1, &summary, &block, &count); },
       "DbGetUserActivity: the argument flags is 1, not 0"},
      {[&] { return TimeAdjust(&moved, 0, 20000 * 86400, 0, 0, 0, 0); },
       "TimeAdjust: the argument seconds is 1728000000, not 0"},
      {[&] { return TimeAdjust(&moved, 100, 0, 0, 1, 0, 0); },
       "TimeAdjust: the argument hundredths is 100, not 0"},
      {[&] { return TimeAdjust(&moved, 0, 0, 60, 0, 0, 0); },
       "TimeAdjust: the argument minutes is 60, not 0"},
      {[&] { return TimeAdjust(&moved, 0, 0, 0, 0, 1, 0); },
       "TimeAdjust: the argument months is 1, not 0"},
      {[&] { return TimeAdjust(&moved, 0, 0, 0, 0, 0, -1); },
       "TimeAdjust: the argument years is -1, not 0"},
      {[&] { return TimeToText(&other, nullptr, &now, text, kMaxTimeText, &length); },
       "TimeToText: the argument intlFormat is not null"},
      {[&] { return TimeToText(nullptr, &other, &now, text, kMaxTimeText, &length); },
       "TimeToText: the argument textFormat is not null"},
      {[&] { return TimeToText(nullptr, nullptr, &now, text, 19, &length); },
       "TimeToText: the argument size is 19, not 80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    const Status status = c.call();
    EXPECT_EQ(standin::FamilyOf(status), standin::kArgumentOutOfPlace);
    EXPECT_EQ(StatusString(status), c.named);
  }
  EXPECT_EQ(std::memcmp(&moved, &now, sizeof now), 0);  // no refused move moved it
  EXPECT_EQ(block, 0u);

  // The operations without a status of their own.
  const std::string size254 = "LoadStatusString: the argument size is 254, not 255";
  EXPECT_EQ(LoadStatusString(0, kErrorNoActivityLog, text, 254), size254.size());
  EXPECT_EQ(std::string(text), size254);
  EXPECT_EQ(LoadStatusString(0, kErrorNoActivityLog, text, 10), 10);
  EXPECT_EQ(std::string(text), size254.substr(0, 10));  // never more than the size says
  EXPECT_GT(LoadStatusString(2, kErrorNoActivityLog, text, 255), 0);
  EXPECT_EQ(std::string(text), "LoadStatusString: the argument module is 2, not 0");
  char wide[300];
  EXPECT_GT(StatusText(kErrorNoActivityLog, wide, 299), 0);
  EXPECT_EQ(std::string(wide), "StatusText: the argument size is 299, not 255");
  EXPECT_EQ(StartupStatusText(kErrorNoActivityLog, wide, 80), standin::kArgumentOutOfPlace);
  EXPECT_EQ(std::string(wide), "StartupStatusText: the argument size is 80, not 255");
  TimeDate date;
  TimeDateOnly(&now, 1, &date);
  EXPECT_EQ(TimeToText(nullptr, nullptr, &date, text, kMaxTimeText, &length),
            standin::kInvalidTime);
  EXPECT_EQ(StoredStructSize(kSummaryHeaderStruct + 1), 0);  // no such structure
  EXPECT_EQ(DbClose(db), 0);
  EXPECT_EQ(DbClose(folder), 0);
  RuntimeTerm();
}

TEST(StatusTexts, EachMadeTextKeepsItsOwnCode) {
  TempDir dir;
  ASSERT_EQ(Restart({dir.path().string(), std::nullopt, std::nullopt}), 0);
  DbHandle handle = 0;
  const Status first = DbOpen("first.db", &handle);
  const Status second = DbOpen("second.db", &handle);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(ErrorCode(first), ErrorCode(second));
  EXPECT_GE(ErrorCode(first), standin::kFirstMessageCode);
  // The first text is still there after the second failure.
  char text[256];
  ASSERT_GT(LoadStatusString(0, ErrorCode(first), text, 255), 0);
  EXPECT_NE(std::string(text).find("first.db"), std::string::npos);
  EXPECT_EQ(DbOpen("first.db", &handle), first);  // the same text keeps its code
  EXPECT_EQ(standin::FamilyOf(second), standin::kNoSuchPath);
}

TEST(StatusTexts, LongNamesAreCutTo255Characters) {
  TempDir dir;
  ASSERT_EQ(Restart({dir.path().string(), std::nullopt, std::nullopt}), 0);
  DbHandle handle = 0;
  const std::string name(400, 'n');
  const Status status = DbOpen((name + ".db").c_str(), &handle);
  char text[300];
  EXPECT_EQ(StatusText(status, text, 255), 255);
  EXPECT_EQ(std::strlen(text), 255u);
}

}  // namespace
}  // namespace standin_test
