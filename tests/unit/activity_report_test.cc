// Unit tests of the activity report against the fake runtime.
#include "report/activity_report.h"

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cli/run_settings.h"
#include "common/text_characters.h"
#include "test_support.h"

namespace {

using fake::At;

constexpr char kDb[] = "db/a.db";
constexpr char kTabHeader[] = "Date/Time\t\tReads\tWrites\tUser Name\n";
constexpr char kCommaHeader[] = "Date/Time,Reads,Writes,User Name\n";
const std::string kActivity = std::string("Activity for database: ") + kDb + "\n\n";

struct Entry {
  const char* time;
  const char* user;
};

fake::Database& Db(std::vector<Entry> entries = {}) {
  fake::Database& db = fake::Fake().databases[kDb];
  for (const Entry& e : entries) {
    db.log.push_back({e.time ? At(e.time) : fake::InvalidTime(), 3, 4, e.user});
  }
  return db;
}

// The line the report prints for an entry made by Db().
std::string Line(const Entry& e, char sep = '\t') {
  return fake::TextOf(At(e.time)) + sep + "3" + sep + "4" + sep + e.user + "\n";
}

// The summary block; each row is "reads|writes|uses", the last "N days|reads|writes|uses".
std::string Summary(char s, const char* day, const char* week, const char* month,
                    const char* last) {
  return Sep(
      std::string("\n\nDatabase Summary Info (all users):\nSummary Period|Reads|Writes|Uses\n") +
          "Last Day|" + day + "\nLast Week|" + week + "\nLast Month|" + month + "\nLast " + last +
          "\n",
      s);
}

}  // namespace

// Runs the report of kDb and checks that nothing is left open, locked or live.
class ActivityReportTest : public RuntimeTest {
 protected:
  std::string Run(Status expected = 0) {
    Status status = 1;
    Output o = Capture([&] { status = ProcessDatabase("", kDb); });
    EXPECT_EQ(status, expected);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(rt().OpenHandles(), 0);
    EXPECT_EQ(rt().LockedBlocks(), 0);
    EXPECT_EQ(rt().LiveBlocks(), 0);
    EXPECT_EQ(rt().callsOnNone, 0);
    return o.err;
  }
};

TEST_F(ActivityReportTest, WholeRunWithServerAndSummary) {
  rt().databases["srv!!db/a.db"].log = {{At("2026-12-06 08:30:00"), 7, 1, "Ann Lee/Org"}};
  rt().databases["srv!!db/a.db"].summary.uses = 5;
  gRunSettings.showSummary = 1;
  Output o = Capture([] { EXPECT_EQ(ProcessDatabase("srv", kDb), 0); });
  EXPECT_EQ(o.err, kActivity + kTabHeader + "2026-12-06 08:30:00\t7\t1\tAnn Lee/Org\n" +
                       Summary('\t', "0|0|0", "0|0|0", "0|0|0", "0 days|0|0|5"));
  EXPECT_EQ(rt().calls,
            (std::vector<std::string>{"BuildNetPath(srv,db/a.db)", "DbOpen(srv!!db/a.db)",
                                      "DbGetUserActivity(srv!!db/a.db)", "MemLock(srv!!db/a.db)",
                                      "TimeAdjust(0)", "TimeAdjust(0)", "MemUnlock(srv!!db/a.db)",
                                      "MemFree(srv!!db/a.db)", "DbClose(srv!!db/a.db)"}));
}

TEST_F(ActivityReportTest, EveryPathPrintsItsMessagesAndReleasesAll) {
  const std::string noLog = "Unable to get User Activity Log\n";
  const std::string notLogged =
      "User activity is not currently being logged in this database.\n"
      "Go to Database Properties - User Activity, and check 'Record Activity'\n";
  struct Case {
    const char* name;
    std::function<void()> script;
    std::string expected;
    Status status;
    int closes;
  };
  const Case cases[] = {
      {"no path", [] { fake::Fake().Fail("BuildNetPath", 1, fake::kPathTooLong); },
       "Cannot create path to database db/a.db\n", fake::kPathTooLong, 0},
      {"no handle, a status",
       [] {
         Db().opens = false;
         Db().openStatus = 0x8000 | fake::kNoSuchFile;
       },
       "Unable to open database: db/a.db\n\n(Error 259: File does not exist)\n",
       0x8000 | fake::kNoSuchFile, 0},
      {"no handle, status 0", [] { Db().opens = false; }, "Unable to open database: db/a.db\n\n", 0,
       0},
      {"a handle despite a status", [] { Db().openStatus = fake::kNoSuchFile; },
       kActivity + kTabHeader, 0, 1},
      {"578", [] { Db().activityStatus = 578; }, kActivity + noLog + notLogged, 578, 1},
      {"578 with bits 14 and 15", [] { Db().activityStatus = 0xC000 | 578; },
       kActivity + noLog + notLogged, 0xC000 | 578, 1},
      {"other status", [] { Db().activityStatus = 0x8000 | fake::kBadHandle; },
       kActivity + noLog + "(Error 6: Invalid handle)\n", 0x8000 | fake::kBadHandle, 1},
      {"other status without text", [] { Db().activityStatus = 77; }, kActivity + noLog, 77, 1},
      // A text that fills the room was cut there: a character it cut short is
      // left out where the system's characters are UTF-8, and a shorter text
      // is the runtime's own, kept whole.
      {"status text cut inside a character",
       [] {
         fake::Fake().texts[1111] = std::string(254, 'x') + "\xc3\xbc";
         Db().activityStatus = 1111;
       },
       kActivity + noLog + "(Error 1111: " + std::string(254, 'x') +
           (SystemTextEncoding() == TextEncoding::kUtf8 ? "" : "\xc3") + ")\n",
       1111, 1},
      {"status text shorter than the room, ending as it does",
       [] {
         fake::Fake().texts[1111] = std::string(253, 'x') + "\xc3";
         Db().activityStatus = 1111;
       },
       kActivity + noLog + "(Error 1111: " + std::string(253, 'x') + "\xc3)\n", 1111, 1},
      {"last entry unconvertible",
       [] {
         Db({{"2026-12-01 00:00:00", "A"}, {nullptr, "B"}});
       },
       kActivity + kTabHeader + Line({"2026-12-01 00:00:00", "A"}) +
           "Error converting time/date stamp on record 1\n(Error 1037: Bad time)\n",
       fake::kBadTime, 1},
      {"middle entry unconvertible",
       [] {
         Db({{"2026-12-01 00:00:00", "A"}, {nullptr, "B"}, {"2026-12-02 00:00:00", "C"}});
       },
       kActivity + kTabHeader + Line({"2026-12-01 00:00:00", "A"}) +
           "Error converting time/date stamp on record 1\n" + Line({"2026-12-02 00:00:00", "C"}),
       0, 1},
      {"unconvertible entry that the patterns would drop",
       [] {
         Db({{nullptr, "B"}, {"2026-12-02 00:00:00", "C"}});
         CopyText(gRunSettings.excludePattern, "*");
       },
       kActivity + kTabHeader + "Error converting time/date stamp on record 0\n", 0, 1},
      {"block that cannot be locked: no entries",
       [] {
         Db({{"2026-12-01 00:00:00", "A"}});
         fake::Fake().lockFails = true;
         gRunSettings.showSummary = 1;
       },
       kActivity + kTabHeader + Summary('\t', "0|0|0", "0|0|0", "0|0|0", "0 days|0|0|0"), 0, 1},
      {"empty log as no block",
       [] {
         Db().noBlock = true;
         gRunSettings.showSummary = 1;
       },
       kActivity + kTabHeader + Summary('\t', "0|0|0", "0|0|0", "0|0|0", "0 days|0|0|0"), 0, 1},
      {"no block despite a count: nothing to read",
       [] {
         Db({{"2026-12-01 00:00:00", "A"}}).noBlock = true;
       },
       kActivity + kTabHeader, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    rt().texts = {{fake::kNoSuchFile, "File does not exist"},
                  {fake::kBadHandle, "Invalid handle"},
                  {fake::kBadTime, "Bad time"}};
    c.script();
    EXPECT_EQ(Run(c.status), c.expected);
    EXPECT_EQ(rt().CallsOf("DbClose").size(), static_cast<size_t>(c.closes));
    if (c.closes == 0) {
      EXPECT_EQ(rt().CallsOf("DbGetUserActivity").size(), 0u);
    }
  }
}

TEST_F(ActivityReportTest, DateWindowKeepsWholeCalendarDays) {
  // Now is 2026-12-07 12:00:00.
  const Entry far{"9999-12-31 00:00:00", "far"}, tomorrow{"2026-12-08 00:00:00", "tomorrow"},
      late{"2026-12-07 23:59:59", "late"}, today{"2026-12-07 00:00:00", "today"},
      y1{"2026-12-06 23:59:59", "y1"}, y0{"2026-12-06 00:00:00", "y0"},
      d6{"2026-12-01 23:59:59", "d6"}, d7{"2026-11-30 00:00:00", "d7"},
      d14{"2026-11-23 23:59:59", "d14"}, d15{"2026-11-22 23:59:59", "d15"};
  const std::vector<Entry> all{far, tomorrow, late, today, y1, y0, d6, d7, d14, d15};
  struct Case {
    int32_t start, end;
    std::vector<Entry> kept;
    std::vector<std::string> moves;
    int64_t slip = 0;  // a runtime whose day moves land an hour early or late
  };
  const Case cases[] = {
      {-1, -1, all, {"TimeAdjust(0)", "TimeAdjust(0)"}},
      {0, 0, {late, today}, {"TimeAdjust(0)", "TimeAdjust(0)"}},
      {1, 1, {y1, y0}, {"TimeAdjust(-1)", "TimeAdjust(-1)"}},
      {14, 7, {d7, d14}, {"TimeAdjust(-14)", "TimeAdjust(-7)"}},
      {3, 5, {}, {"TimeAdjust(-3)", "TimeAdjust(-5)"}},
      {INT32_MIN, INT32_MIN, all, {"TimeAdjust(0)", "TimeAdjust(0)"}},
      {INT32_MIN, 0, {late, today, y1, y0, d6, d7, d14, d15}, {}},
      {INT32_MAX, -1, all, {"TimeAdjust(-2147483647)", "TimeAdjust(0)"}},
      {-1, INT32_MAX, {}, {}},
      {INT32_MAX, 6, {d6, d7, d14, d15}, {}},
      {1, 1, {y1, y0}, {"TimeAdjust(-1)", "TimeAdjust(-1)"}, -3600},
      {14, 7, {d7, d14}, {"TimeAdjust(-14)", "TimeAdjust(-7)"}, -3600},
      {14, 7, {d7, d14}, {"TimeAdjust(-14)", "TimeAdjust(-7)"}, 86400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "/s:" << c.start << " /e:" << c.end << " slip " << c.slip);
    SetUp();
    rt().dayMoveSlip = c.slip;
    Db(all);
    gRunSettings.startDays = c.start;
    gRunSettings.endDays = c.end;
    std::string expected = kActivity + kTabHeader;
    for (const Entry& e : c.kept) expected += Line(e);
    EXPECT_EQ(Run(), expected);
    if (!c.moves.empty()) {
      EXPECT_EQ(rt().CallsOf("TimeAdjust"), c.moves);
    }
  }
}

TEST_F(ActivityReportTest, DateWindowFollowsTheClockAndSurvivesARefusedMove) {
  Db({{"2026-12-06 10:00:00", "y"}, {"2026-12-05 10:00:00", "yy"}});
  gRunSettings.startDays = 1;
  gRunSettings.endDays = 1;
  rt().Fail("TimeAdjust", 1, fake::kBadTime);  // the start bound is counted by hand
  EXPECT_EQ(Run(), kActivity + kTabHeader + Line({"2026-12-06 10:00:00", "y"}));
  rt().now = At("2026-12-06 00:00:01");  // the next database, a day earlier
  EXPECT_EQ(Run(), kActivity + kTabHeader + Line({"2026-12-05 10:00:00", "yy"}));
}

TEST_F(ActivityReportTest, NamePatternsFoldCase) {
  const Entry doe{"2026-12-01 00:00:00", "John Doe/ACME"}, roe{"2026-12-01 00:00:00", "JANE ROE"},
      server{"2026-12-01 00:00:00", "mail/srv1"}, empty{"2026-12-01 00:00:00", ""};
  const std::string longName = std::string(300, 'a') + "Z";  // matched whole, not cut
  const Entry longZ{"2026-12-01 00:00:00", longName.c_str()};
  struct Case {
    const char* include;
    const char* exclude;
    std::vector<Entry> kept;
  };
  const Case cases[] = {
      {"*", "", {doe, roe, server, longZ}},  // the empty exclude pattern takes only the empty name
      {"*DOE*", "", {doe}},
      {"j*", "*roe", {doe}},
      {"*", "*SRV?", {doe, roe, empty, longZ}},
      {"*z", "", {longZ}},
      {"**", "", {doe, roe, server, longZ}},
      {"", "x", {empty}},  // the empty include pattern takes only the empty name
      {"", "", {}},
      {"*", "*a", {doe, roe, server, empty, longZ}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.include << " / " << c.exclude);
    SetUp();
    Db({doe, roe, server, empty, longZ});
    CopyText(gRunSettings.includePattern, c.include);
    CopyText(gRunSettings.excludePattern, c.exclude);
    std::string expected = kActivity + kTabHeader;
    for (const Entry& e : c.kept) expected += Line(e);
    EXPECT_EQ(Run(), expected);
  }
}

TEST_F(ActivityReportTest, SummaryDaysRoundUpAndCountersAreUnsigned) {
  struct Case {
    const char* end;
    uint32_t big;
    char sep;
    const char* last;
    const char* start = "2026-12-01 00:00:00";
  };
  const Case cases[] = {
      {"2026-12-01 00:00:00", 0x7fffffff, '\t', "0 days|2147483647|2|3"},
      {"2026-12-02 00:00:00", 0x80000000, '\t', "1 days|2147483648|2|3"},
      {"2026-12-02 00:00:01", 0xffffffff, ',', "2 days|4294967295|2|3"},
      {"2026-11-28 00:00:00", 1, '\t', "0 days|1|2|3"},  // ends before it starts
      // Periods beyond what 32-bit seconds hold, the rounding unchanged.
      {"2026-12-07 12:00:00", 1, '\t', "28100 days|1|2|3", "1950-01-01 00:00:00"},
      {"2026-12-07 00:00:00", 1, '\t', "60000 days|1|2|3", "1862-08-29 00:00:00"},
      {"2026-12-07 00:00:01", 1, '\t', "60001 days|1|2|3", "1862-08-29 00:00:00"},
      {"9999-12-31 00:00:00", 1, '\t', "2932896 days|1|2|3", "1970-01-01 00:00:00"},
      {"1950-01-01 00:00:00", 1, '\t', "0 days|1|2|3", "2026-12-07 12:00:00"},
      {"2026-12-07 12:00:00", 1, '\t', "36866 days|1|2|3", "1926-01-01 00:00:00"},
      {"2026-12-07 12:00:00", 1, '\t', "36865 days|1|2|3", "1926-01-01 12:00:00"},
      // A start that is no time has no day to count from.
      {"2026-12-07 12:00:00", 1, '\t', "0 days|1|2|3", ""},
  };
  // The runtime moves a date by days alone: it refuses a call that moves by
  // anything else, or reads only the days; or it refuses every move, and the
  // period is counted by day numbers.
  enum class Moves { kRefusesOthers, kReadsOnlyDays, kNever };
  for (const Moves moves : {Moves::kRefusesOthers, Moves::kReadsOnlyDays, Moves::kNever}) {
    for (const bool wraps : {false, true}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " to " << c.end << (wraps ? ", wrapping" : "")
                                        << ", moves " << static_cast<int>(moves));
        SetUp();
        rt().diffWraps = wraps;
        rt().adjustReadsOnlyDays = moves == Moves::kReadsOnlyDays;
        for (int n = 1; moves == Moves::kNever && n <= 200; ++n) rt().Fail("TimeAdjust", n, 1);
        fake::Database& db = Db();  // no entries
        const TimeDate start = *c.start == '\0' ? fake::InvalidTime() : At(c.start);
        db.summary = {start, At(c.end), 3, c.big, 2, 1, c.big, 2, 4, 5, 6, 7, 8, c.big};
        gRunSettings.showSummary = 1;
        gRunSettings.separator = c.sep;
        const std::string big = std::to_string(c.big);
        EXPECT_EQ(Run(), kActivity + (c.sep == ',' ? kCommaHeader : kTabHeader) +
                             Summary(c.sep, (big + "|2|1").c_str(), "5|6|4",
                                     ("8|" + big + "|7").c_str(), c.last));
      }
    }
  }
}

TEST_F(ActivityReportTest, CommaFormQuotesOnlyFieldsThatNeedIt) {
  rt().timeText = [](const TimeDate& t) {
    return fake::SecondsOf(t) == fake::SecondsOf(At("2026-12-01 00:00:00")) ? "Tue, 1 Dec"
                                                                            : "2026-12-02";
  };
  const char* names[] = {"Doe, John", "Say \"hi\"", "two\r\nlines",
                         "Plain/Org", "",           "=HYPERLINK(\"http://x\",\"y\")",
                         "+1",        "-2",         "@SUM(A1)",
                         "\tx",       "\rx",        "a=b-c"};
  struct Case {
    char sep;
    std::string expected;
  };
  const Case cases[] = {
      {',', std::string(kCommaHeader) + "\"Tue, 1 Dec\",3,4,\"Doe, John\"\n" +
                "2026-12-02,3,4,\"Say \"\"hi\"\"\"\n" + "2026-12-02,3,4,\"two\r\nlines\"\n" +
                "2026-12-02,3,4,Plain/Org\n" +
                // Cells a spreadsheet would run as formulas are made text.
                "2026-12-02,3,4,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"\n" +
                "2026-12-02,3,4,\"'+1\"\n2026-12-02,3,4,\"'-2\"\n2026-12-02,3,4,\"'@SUM(A1)\"\n" +
                "2026-12-02,3,4,\"'\tx\"\n2026-12-02,3,4,\"'\rx\"\n2026-12-02,3,4,a=b-c\n"},
      {'\t', std::string(kTabHeader) + "Tue, 1 Dec\t3\t4\tDoe, John\n" +
                 "2026-12-02\t3\t4\tSay \"hi\"\n" + "2026-12-02\t3\t4\ttwo\r\nlines\n" +
                 "2026-12-02\t3\t4\tPlain/Org\n" +
                 "2026-12-02\t3\t4\t=HYPERLINK(\"http://x\",\"y\")\n2026-12-02\t3\t4\t+1\n" +
                 "2026-12-02\t3\t4\t-2\n2026-12-02\t3\t4\t@SUM(A1)\n2026-12-02\t3\t4\t\tx\n" +
                 "2026-12-02\t3\t4\t\rx\n2026-12-02\t3\t4\ta=b-c\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.sep));
    fake::Database& db = rt().databases[kDb];
    db.log.clear();
    for (const char* n : names) {
      db.log.push_back({At(*n == 'D' ? "2026-12-01 00:00:00" : "2026-12-02 00:00:00"), 3, 4, n});
    }
    gRunSettings.separator = c.sep;
    EXPECT_EQ(Run(), kActivity + c.expected);
  }
}

TEST_F(ActivityReportTest, LinesOfAnyLengthAreWrittenWhole) {
  // Around the room a line is put together in (time 19, numbers, separators).
  for (size_t length : {size_t{1}, size_t{470}, size_t{477}, size_t{478}, size_t{479}, size_t{600},
                        size_t{2013}, size_t{2014}, size_t{2015}, size_t{2016}, size_t{5000}}) {
    for (char sep : {'\t', ','}) {
      SCOPED_TRACE(testing::Message() << length << " " << static_cast<int>(sep));
      SetUp();
      const std::string name(length, 'u');
      rt().databases[kDb].log = {{At("2026-12-01 00:00:00"), 65535, 0, name}};
      gRunSettings.separator = sep;
      EXPECT_EQ(Run(), kActivity + (sep == ',' ? kCommaHeader : kTabHeader) +
                           Sep("2026-12-01 00:00:00|65535|0|" + name + "\n", sep));
    }
  }
}

TEST_F(ActivityReportTest, TextsFromTheRuntimeStayInTheirBuffers) {
  // A longer date text first: the next one must not show its leftovers.
  rt().timeText = [](const TimeDate& t) {
    return fake::SecondsOf(t) == fake::SecondsOf(At("2026-12-01 00:00:00")) ? std::string(90, 'D')
                                                                            : std::string("T");
  };
  // Hand-made block: a 300-character name, and a second name found inside the first.
  std::vector<uint8_t> block(2 * sizeof(ActivityEntry) + 302, 0);
  const std::string longName(300, 'n');
  std::memcpy(block.data() + 2 * sizeof(ActivityEntry), longName.c_str(), 301);
  ActivityEntry entries[2] = {{At("2026-12-01 00:00:00"), 1, 2, 2 * sizeof(ActivityEntry)},
                              {At("2026-12-02 00:00:00"), 3, 4, 2 * sizeof(ActivityEntry) + 299}};
  std::memcpy(block.data(), entries, sizeof entries);
  Db().rawBlock = block;
  Db().rawCount = 2;
  EXPECT_EQ(Run(), kActivity + kTabHeader + std::string(80, 'D') + "\t1\t2\t" +
                       std::string(300, 'n') + "\nT\t3\t4\tn\n");
}
