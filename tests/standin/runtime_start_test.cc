// Start-up of the stand-in runtime from its environment, and its status texts.
#include <gtest/gtest.h>

#include "../../standin/standin_internal.h"
#include "standin_test_support.h"

namespace standin_test {
namespace {

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

TEST(StatusTexts, CopiesAtMostSizeCharactersAndATerminator) {
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  const std::string full = standin::TextOf(kErrorNoActivityLog);
  ASSERT_GT(full.size(), 10u);
  EXPECT_EQ(LoadStatusString(0, kErrorNoActivityLog, buffer, 10), 10);
  EXPECT_EQ(std::string(buffer), full.substr(0, 10));
  EXPECT_EQ(buffer[11], '#');

  EXPECT_EQ(LoadStatusString(0, 0, buffer, 31), 0);       // success has no text
  EXPECT_EQ(LoadStatusString(0, 4000, buffer, 31), 0);    // nor does an unknown code
  EXPECT_EQ(LoadStatusString(0, 0x3fff, buffer, 31), 0);  // nor an unused message code
  EXPECT_EQ(StatusText(kErrorNoActivityLog | kStatusAlreadyShown, buffer, 31),
            std::min<size_t>(full.size(), 31));
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
  EXPECT_EQ(StatusText(status, text, 299), 255);
  EXPECT_EQ(std::strlen(text), 255u);
}

}  // namespace
}  // namespace standin_test
