// The overview line of one database against the fake runtime: every column,
// every kind of status, and the filters the report applies.
#include "report/overview.h"

#include <functional>
#include <string>
#include <vector>

#include "cli/run_settings.h"
#include "test_support.h"

namespace {

using fake::At;

constexpr char kDb[] = "db/a.db";

class OverviewTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    rt().texts = {{fake::kNoSuchFile, "File does not exist"}, {fake::kBadHandle, "Invalid handle"}};
  }

 public:
  fake::Database& Db() { return rt().databases[kDb]; }
  void Log(const char* time, uint16_t reads, uint16_t writes, const char* user) {
    Db().log.push_back({time ? At(time) : fake::InvalidTime(), reads, writes, user});
  }

 protected:
  std::string Run(const char* title = "Title") {
    Output o = Capture([&] { ProcessDatabaseOverview("", kDb, title); });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(rt().OpenHandles(), 0);
    EXPECT_EQ(rt().LockedBlocks(), 0);
    EXPECT_EQ(rt().LiveBlocks(), 0);
    EXPECT_EQ(rt().callsOnNone, 0);
    return o.err;
  }
};

TEST_F(OverviewTest, StatusOfEveryKind) {
  const std::string unknown = "db/a.db|Title|||||||";
  struct Case {
    const char* name;
    std::function<void(OverviewTest&)> script;
    std::string line;
  };
  const Case cases[] = {
      {"no path", [](OverviewTest&) { fake::Fake().Fail("BuildNetPath", 1, fake::kPathTooLong); },
       unknown + "Cannot create path to database"},
      {"not opened, with text",
       [](OverviewTest& t) {
         t.Db().opens = false;
         t.Db().openStatus = fake::kNoSuchFile;
       },
       unknown + "Unable to open database (Error 259: File does not exist)"},
      {"not opened, no text", [](OverviewTest& t) { t.Db().opens = false; },
       unknown + "Unable to open database"},
      {"not logged", [](OverviewTest& t) { t.Db().activityStatus = 0x8000 | 578; },
       unknown + "User activity is not currently being logged in this database."},
      {"log unreadable, with text",
       [](OverviewTest& t) { t.Db().activityStatus = fake::kBadHandle; },
       unknown + "Unable to get User Activity Log (Error 6: Invalid handle)"},
      {"log unreadable, no text", [](OverviewTest& t) { t.Db().activityStatus = 77; },
       unknown + "Unable to get User Activity Log"},
      {"empty log", [](OverviewTest& t) { t.Db(); }, "db/a.db|Title|||0|0|0|0|ok"},
      {"one unconvertible",
       [](OverviewTest& t) {
         t.Log(nullptr, 9, 9, "X");
         t.Log("2026-12-01 10:00:00", 1, 2, "A");
       },
       "db/a.db|Title|2026-12-01 10:00:00|6|1|1|2|1|1 entry with a date-time that cannot be "
       "converted"},
      {"two unconvertible, nothing counted",
       [](OverviewTest& t) {
         t.Log(nullptr, 9, 9, "X");
         t.Log(nullptr, 9, 9, "Y");
       },
       "db/a.db|Title|||0|0|0|0|2 entries with a date-time that cannot be converted"},
      {"block that cannot be locked",
       [](OverviewTest& t) {
         t.Log("2026-12-01 10:00:00", 1, 2, "A");
         fake::Fake().lockFails = true;
       },
       "db/a.db|Title|||0|0|0|0|ok"},
      {"empty log as no block", [](OverviewTest& t) { t.Db().noBlock = true; },
       "db/a.db|Title|||0|0|0|0|ok"},
      {"no block despite a count",
       [](OverviewTest& t) {
         t.Log("2026-12-01 10:00:00", 1, 2, "A");
         t.Db().noBlock = true;
       },
       "db/a.db|Title|||0|0|0|0|ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.script(*this);
    EXPECT_EQ(Run(), Sep(c.line, '\t') + "\n");
  }
}

TEST_F(OverviewTest, CountsWhatTheReportWouldPrint) {
  // Now is 2026-12-07 12:00:00.
  Log("2026-11-20 08:00:00", 1, 0, "CN=Ann");
  Log("2026-12-05 08:00:00", 2, 1, "CN=Bob");
  Log("2026-12-06 23:00:00", 4, 2, "CN=Ann");
  Log("2026-12-06 23:00:00", 8, 0, "cn=ann");  // another name, byte for byte
  Log("2026-12-03 09:00:00", 16, 4, "CN=Srv1");
  Log("2026-12-09 10:00:00", 32, 8, "CN=Early");  // dated after today
  struct Case {
    int32_t start, end;
    const char* include;
    const char* exclude;
    const char* counts;  // Last Access | Days Since | Entries | Reads | Writes | Users
  };
  const Case cases[] = {
      {-1, -1, "*", "", "2026-12-09 10:00:00|-2|6|63|15|5"},
      {14, 1, "*", "", "2026-12-06 23:00:00|1|4|30|7|4"},
      {1, 1, "*", "", "2026-12-06 23:00:00|1|2|12|2|2"},
      {-1, 1, "*ann", "", "2026-12-06 23:00:00|1|3|13|2|2"},
      {-1, -1, "*", "*SRV?", "2026-12-09 10:00:00|-2|5|47|11|4"},
      {0, 0, "*", "", "||0|0|0|0"},  // nothing today: no latest entry
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " " << c.end << " " << c.include);
    gRunSettings.startDays = c.start;
    gRunSettings.endDays = c.end;
    CopyText(gRunSettings.includePattern, c.include);
    CopyText(gRunSettings.excludePattern, c.exclude);
    EXPECT_EQ(Run(), Sep(std::string("db/a.db|Title|") + c.counts + "|ok\n", '\t'));
  }
}

// The latest of times more than 68 years apart, whether the runtime's
// seconds stop at the largest value or wrap round.
TEST_F(OverviewTest, TheLatestOfTimesFarApart) {
  const std::vector<std::vector<const char*>> logs = {
      {"2026-12-01 10:00:00", "1890-01-01 00:00:00"},
      {"1890-01-01 00:00:00", "2026-12-01 10:00:00", "1900-06-01 00:00:00"},
      {"2026-12-01 10:00:00", "2162-01-01 00:00:00", "2026-12-01 10:00:00"},
  };
  const char* latest[] = {"2026-12-01 10:00:00|6", "2026-12-01 10:00:00|6",
                          "2162-01-01 00:00:00|-49333"};
  for (const bool wraps : {false, true}) {
    for (std::size_t i = 0; i < logs.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "log " << i << (wraps ? ", wrapping" : ""));
      SetUp();
      rt().diffWraps = wraps;
      for (const char* time : logs[i]) Log(time, 1, 0, "A");
      const std::string n = std::to_string(logs[i].size());
      EXPECT_EQ(
          Run(),
          Sep(std::string("db/a.db|Title|") + latest[i] + "|" + n + "|" + n + "|0|1|ok\n", '\t'));
    }
  }
}

TEST_F(OverviewTest, HeaderAndSummaryColumnsInBothForms) {
  Log("2026-12-07 08:00:00", 3, 1, "CN=Ann");
  Db().summary = {
      At("2026-11-07 12:00:00"), At("2026-12-07 12:00:00"), 40, 1, 2, 3, 4, 5, 7, 8, 9, 20, 21, 22};
  gRunSettings.showSummary = 1;
  for (char s : {'\t', ','}) {
    SCOPED_TRACE(static_cast<int>(s));
    gRunSettings.separator = s;
    Output header = Capture([] { PrintOverviewHeader(); });
    EXPECT_EQ(header.err, Sep("Path|Title|Last Access|Days Since|Entries|Reads|Writes|Users|"
                              "Day Uses|Week Uses|Month Uses|Period Days|Uses|Status\n",
                              s));
    EXPECT_EQ(Run(), Sep("db/a.db|Title|2026-12-07 08:00:00|0|1|3|1|1|3|7|20|30|40|ok\n", s));
  }
}

TEST_F(OverviewTest, JsonLinesWithNullsWhereTheTextIsEmpty) {
  Db().summary = {
      At("2026-11-07 12:00:00"), At("2026-12-07 12:00:00"), 40, 1, 2, 3, 4, 5, 7, 8, 9, 20, 21, 22};
  rt().databases["b.db"].activityStatus = fake::kBadHandle;
  gRunSettings.json = 1;
  gRunSettings.separator = ',';  // changes nothing
  const std::string head = "{\"path\":\"db/a.db\",\"title\":\"T, \\\"x\\\"\",";
  gRunSettings.showSummary = 1;
  EXPECT_EQ(Capture([] { PrintOverviewHeader(); }).err, "");  // JSON Lines have none
  EXPECT_EQ(Run("T, \"x\""),
            head +
                "\"lastAccess\":null,\"daysSince\":null,\"entries\":0,\"reads\":0,\"writes\":0,"
                "\"users\":0,\"dayUses\":3,\"weekUses\":7,\"monthUses\":20,\"periodDays\":30,"
                "\"uses\":40,\"status\":\"ok\"}\n");
  Output o = Capture([] { ProcessDatabaseOverview("", "b.db", "B"); });
  EXPECT_EQ(
      o.err,
      "{\"path\":\"b.db\",\"title\":\"B\",\"lastAccess\":null,\"daysSince\":null,\"entries\":null,"
      "\"reads\":null,\"writes\":null,\"users\":null,\"dayUses\":null,\"weekUses\":null,"
      "\"monthUses\":null,\"periodDays\":null,\"uses\":null,\"status\":\"Unable to get User "
      "Activity Log (Error 6: Invalid handle)\"}\n");
}

TEST_F(OverviewTest, NamesAndTitlesQuotedOrEscapedCountsNever) {
  rt().databases["a, b\t.db"].log = {{At("2026-12-09 08:00:00"), 1, 1, "U"}};  // dated ahead
  rt().databases["c.db"].opens = false;
  rt().databases["c.db"].openStatus = fake::kNoSuchFile;
  rt().texts[fake::kNoSuchFile] = "File\tdoes not\r\nexist";
  struct Case {
    char separator;
    std::string lines;
  };
  const Case cases[] = {
      {',',
       "\"a, b\t.db\",\"'=cmd|\"\"x\"\"\r\n\",2026-12-09 08:00:00,-2,1,1,1,1,ok\n"
       "c.db,\"'+C\",,,,,,,\"Unable to open database (Error 259: File\tdoes not\r\nexist)\"\n"},
      {'\t',
       "a, b\\t.db\t'=cmd|\"x\"\\r\\n\t2026-12-09 08:00:00\t-2\t1\t1\t1\t1\tok\n"
       "c.db\t'+C\t\t\t\t\t\t\tUnable to open database (Error 259: File\\tdoes not\\r\\nexist)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.separator));
    gRunSettings.separator = c.separator;
    Output o = Capture([] {
      ProcessDatabaseOverview("", "a, b\t.db", "=cmd|\"x\"\r\n");
      ProcessDatabaseOverview("", "c.db", "+C");
    });
    EXPECT_EQ(o.err, c.lines);
  }
}

}  // namespace
