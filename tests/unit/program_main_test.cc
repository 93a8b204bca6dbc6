// The main routine: which databases are reported, under which rule lines,
// on which of the two initial streams.
#include "cli/program_main.h"

#include <sys/stat.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "cli/report_printf.h"
#include "cli/streams.h"
#include "scan/handed_out_paths.h"
#include "test_support.h"

namespace {

class ProgramMainTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    rt().texts[fake::kNoSuchFile] = "File does not exist";
    rt().directories[""] = {fake::DbEntry("sales.db", "Pipeline"), fake::FolderEntry("mail"),
                            fake::DbEntry("mail/jdoe.db", "Sales Mail"),
                            fake::DbEntry("other.db", "Other")};
    for (const char* path : {"sales.db", "mail/jdoe.db", "other.db"}) rt().databases[path] = {};
  }

  Output Run(std::initializer_list<std::string> args) {
    Args argv(args);
    return Capture([&] { EXPECT_EQ(ProgramMain(argv.argc(), argv.argv()), 0); });
  }

  std::vector<std::string> Opened() {
    std::vector<std::string> opened = rt().CallsOf("DbOpen(");
    opened.erase(opened.begin());  // the data directory itself
    return opened;
  }

  static int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
};

TEST_F(ProgramMainTest, AFailedParseEndsTheRunBeforeTheExchange) {
  Output o = Run({"usetrail", "/c"});
  EXPECT_EQ(o.err, "** Not enough arguments! **\n");
  EXPECT_NE(o.out.find("version 1.2\n"), std::string::npos);
  EXPECT_TRUE(rt().calls.empty());
}

TEST_F(ProgramMainTest, SelectsByPathOrTitleFoldingCase) {
  struct Case {
    const char* pattern;
    std::vector<std::string> opened;
  } cases[] = {
      {"SALES*", {"DbOpen(sales.db)", "DbOpen(mail/jdoe.db)"}},
      {"*", {"DbOpen(sales.db)", "DbOpen(mail/jdoe.db)", "DbOpen(other.db)"}},
      {"mail", {}},  // folders are never reported
      {"mail/*", {"DbOpen(mail/jdoe.db)"}},
      {"other", {"DbOpen(other.db)"}},  // by title
  };
  for (const Case& c : cases) {
    SetUp();
    Output o = Run({"usetrail", c.pattern});
    EXPECT_EQ(Opened(), c.opened) << c.pattern;
    EXPECT_EQ(Count(o.out, kRule), static_cast<int>(c.opened.size())) << c.pattern;
    EXPECT_EQ(o.err, "") << c.pattern;
    EXPECT_EQ(rt().OpenHandles(), 0);
  }
}

TEST_F(ProgramMainTest, ReportGoesToTheInitialStandardOutputUnderRuleLines) {
  Output o = Run({"usetrail", "/q", "other.db"});
  EXPECT_EQ(o.err, "Unrecognized command line option:/q (ignored)");
  const std::string head = kRule + "Activity for database: other.db\n\n";
  EXPECT_EQ(o.out.substr(0, head.size()), head);
}

TEST_F(ProgramMainTest, NothingIsWrittenAfterTheExchangeWhenNothingMatches) {
  Output o = Run({"usetrail", "nothing*"});
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
}

TEST_F(ProgramMainTest, OverviewIsAHeaderThenOneLinePerMatchingDatabase) {
  const std::string header =
      "Path\tTitle\tLast Access\tDays Since\tEntries\tReads\tWrites\tUsers\tStatus\n";
  EXPECT_EQ(Run({"usetrail", "/o", "nothing*"}).out, header);
  SetUp();
  EXPECT_EQ(Run({"usetrail", "-O", "SALES*"}).out,
            header + "sales.db\tPipeline\t\t\t0\t0\t0\t0\tok\n" +
                "mail/jdoe.db\tSales Mail\t\t\t0\t0\t0\t0\tok\n");
}

// A summary period of a hundred years, walked by days whatever the runtime
// makes of an argument out of place and of seconds past 32 bits: every view
// that shows the period ends and gives its whole length.
TEST_F(ProgramMainTest, ACenturyLongSummaryPeriodInEveryViewThatShowsIt) {
  struct View {
    std::initializer_list<std::string> args;
    const char* shown;
  };
  const View views[] = {
      {{"usetrail", "/i", "other.db"}, "\nLast 36866 days\t0\t0\t0\n"},
      {{"usetrail", "/o", "/i", "other.db"}, "\t36866\t0\tok\n"},
      {{"usetrail", "/o", "/i", "/j", "other.db"}, "\"periodDays\":36866,"},
  };
  struct Runtime {
    bool readsOnlyDays;
    bool wraps;
  };
  const Runtime runtimes[] = {{true, false}, {false, false}, {true, true}, {false, true}};
  for (const Runtime& r : runtimes) {
    for (const View& v : views) {
      SCOPED_TRACE(testing::Message() << *std::next(v.args.begin()) << " " << v.args.size()
                                      << (r.readsOnlyDays ? ", days only" : ", others refused")
                                      << (r.wraps ? ", wrapping" : ", saturating"));
      SetUp();
      rt().adjustReadsOnlyDays = r.readsOnlyDays;
      rt().diffWraps = r.wraps;
      rt().databases["other.db"].summary.periodStart = fake::At("1926-01-01 00:00:00");
      rt().databases["other.db"].summary.periodEnd = fake::At("2026-12-07 12:00:00");
      const Output o = Run(v.args);
      EXPECT_NE(o.out.find(v.shown), std::string::npos) << o.out;
      EXPECT_EQ(o.err, "");
      EXPECT_EQ(rt().faults, std::vector<std::string>());
    }
  }
}

TEST_F(ProgramMainTest, TablesReachTheInitialStandardOutputAndTheirFailuresItsStandardError) {
  const std::string tab = "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n";
  const std::string users =
      "User Name\tDatabases\tEntries\tReads\tWrites\tLast Access\tDays Since\tLast Database\n";
  const std::string notLogged =
      "mail/jdoe.db: User activity is not currently being logged in this database.\n";
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } cases[] = {
      {{"/t", "*"},
       tab + "sales.db\tPipeline\t2026-12-06 08:00:00\t2\t1\tCN=Ann\n" +
           "other.db\tOther\t2026-12-07 08:00:00\t1\t0\tCN=Ann\n",
       notLogged},
      {{"/u", "/o", "*"},
       users + "CN=Ann\t2\t2\t3\t1\t2026-12-07 08:00:00\t0\tother.db\n",
       "Only the first of /o, /t and /u counts:/o (ignored)" + notLogged},
      {{"/j", "/o", "S*"},
       "{\"path\":\"sales.db\",\"title\":\"Pipeline\",\"lastAccess\":\"2026-12-06 08:00:00\","
       "\"daysSince\":1,\"entries\":1,\"reads\":2,\"writes\":1,\"users\":1,\"status\":\"ok\"}\n"
       "{\"path\":\"mail/jdoe.db\",\"title\":\"Sales Mail\",\"lastAccess\":null,\"daysSince\":null,"
       "\"entries\":null,\"reads\":null,\"writes\":null,\"users\":null,\"status\":\"User activity "
       "is not currently being logged in this database.\"}\n",
       ""},
      {{"/u", "/j", "nothing"}, "", ""},
  };
  for (const Case& c : cases) {
    SetUp();
    rt().databases["sales.db"].log = {{fake::At("2026-12-06 08:00:00"), 2, 1, "CN=Ann"}};
    rt().databases["mail/jdoe.db"].activityStatus = 578;
    rt().databases["other.db"].log = {{fake::At("2026-12-07 08:00:00"), 1, 0, "CN=Ann"}};
    std::vector<std::string> all{"usetrail"};
    all.insert(all.end(), c.args.begin(), c.args.end());
    Output o = Capture([&] {
      std::vector<char*> pointers;
      for (auto& a : all) pointers.push_back(a.data());
      pointers.push_back(nullptr);
      EXPECT_EQ(ProgramMain(static_cast<int>(all.size()), pointers.data()), 0);
    });
    EXPECT_EQ(o.out, c.out) << c.args[0];
    EXPECT_EQ(o.err, c.err) << c.args[0];
    EXPECT_EQ(rt().OpenHandles(), 0);
  }
}

TEST_F(ProgramMainTest, AScanFailureStaysOutOfATableForOtherTools) {
  const std::string failure =
      "Unable to search the local data directory\n(Error 259: File does not exist)\n";
  struct Case {
    const char* view;
    std::string out;
    std::string err;
  } cases[] = {
      {"/o",
       "Path\tTitle\tLast Access\tDays Since\tEntries\tReads\tWrites\tUsers\tStatus\n" + failure,
       ""},
      {"/t", "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n", failure},
      {"/j", "", failure},
  };
  for (const Case& c : cases) {
    SetUp();
    rt().Fail("DbOpen", 1, fake::kNoSuchFile);
    Output o = Run({"usetrail", c.view, "*"});
    EXPECT_EQ(o.out, c.out) << c.view;
    EXPECT_EQ(o.err, c.err) << c.view;
  }
}

// A path too long to keep whole is cut to the path of another database: in
// every view it fails as a path that cannot be built, and is never opened.
TEST_F(ProgramMainTest, APathTooLongToKeepIsNeverOpened) {
  const std::string shortPath = std::string(252, 's') + ".db";
  const std::string longPath = shortPath + "xyz.db";
  const std::string header =
      "Path\tTitle\tLast Access\tDays Since\tEntries\tReads\tWrites\tUsers"
      "\tStatus\n";
  struct Case {
    const char* view;
    std::string out;
    std::string err;
  } cases[] = {
      {"/e:-1",
       kRule + "Activity for database: " + shortPath +
           "\n\nDate/Time\t\tReads\tWrites\tUser Name\n2026-12-06 08:00:00\t2\t1\tCN=Ann\n" +
           kRule + "Cannot create path to database " + shortPath + "\n",
       ""},
      {"/o",
       header + shortPath + "\tShort\t2026-12-06 08:00:00\t1\t1\t2\t1\t1\tok\n" + shortPath +
           "\tLong\t\t\t\t\t\t\tCannot create path to database\n",
       ""},
      {"/t",
       "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n" + shortPath +
           "\tShort\t2026-12-06 08:00:00\t2\t1\tCN=Ann\n",
       shortPath + ": Cannot create path to database\n"},
      {"/u",
       "User Name\tDatabases\tEntries\tReads\tWrites\tLast Access\tDays Since\tLast "
       "Database\nCN=Ann\t1\t1\t2\t1\t2026-12-06 08:00:00\t1\t" +
           shortPath + "\n",
       shortPath + ": Cannot create path to database\n"},
  };
  for (const Case& c : cases) {
    SetUp();
    rt().directories[""] = {fake::DbEntry(shortPath, "Short"), fake::DbEntry(longPath, "Long")};
    rt().databases[shortPath].log = {{fake::At("2026-12-06 08:00:00"), 2, 1, "CN=Ann"}};
    Output o = Run({"usetrail", c.view, "*"});
    EXPECT_EQ(o.out, c.out) << c.view;
    EXPECT_EQ(o.err, c.err) << c.view;
    EXPECT_EQ(Opened(), std::vector<std::string>{"DbOpen(" + shortPath + ")"}) << c.view;
  }
}

TEST_F(ProgramMainTest, ARunWhereEveryDatabaseFailsStillSucceeds) {
  rt().databases.clear();
  Output o = Run({"usetrail", "*"});
  EXPECT_EQ(Count(o.out, "Unable to open database: "), 3);
}

TEST_F(ProgramMainTest, AScanThatCannotStartIsReportedByServer) {
  rt().Fail("DbOpen", 1, fake::kNoSuchFile);
  Output local = Run({"usetrail", "*"});
  EXPECT_EQ(local.out,
            "Unable to search the local data directory\n(Error 259: File does not exist)\n");

  SetUp();
  Output remote = Run({"usetrail", "Mail99", "*"});
  EXPECT_EQ(remote.out,
            "Unable to search the data directory of server Mail99\n"
            "(Error 259: File does not exist)\n");
}

TEST_F(ProgramMainTest, AFailedCloseAfterASearchSaysSo) {
  rt().Fail("DbClose", 1, fake::kNoSuchFile);  // the data directory's close
  Output local = Run({"usetrail", "other.db"});
  EXPECT_NE(local.out.find("Activity for database: other.db"), std::string::npos);
  EXPECT_NE(local.out.find("Unable to close the local data directory after searching it\n"
                           "(Error 259: File does not exist)\n"),
            std::string::npos);
  EXPECT_EQ(local.out.find("Unable to search"), std::string::npos);

  SetUp();
  rt().directories["Mail99!!"] = rt().directories[""];
  rt().Fail("DbClose", 1, fake::kNoSuchFile);
  Output remote = Run({"usetrail", "Mail99", "nothing"});
  EXPECT_EQ(remote.out,
            "Unable to close the data directory of server Mail99 after searching it\n"
            "(Error 259: File does not exist)\n");
}

TEST_F(ProgramMainTest, MemoryShortForTheScanSaysSoAfterWhatItFound) {
  const std::string words =
      "Memory ran short while searching the %s: not every database was searched\n";
  struct Case {
    std::vector<std::string> args;
    std::string where;
    bool aside;  // the tables' messages go to the initial standard error
  } cases[] = {
      {{"usetrail", "db1*"}, "local data directory", false},
      {{"usetrail", "Mail99", "db1*"}, "data directory of server Mail99", false},
      {{"usetrail", "/u", "db1*"}, "local data directory", true},
  };
  for (const Case& c : cases) {
    SetUp();
    std::vector<fake::DirectoryEntry> dir;
    for (int i = 0; i < 1030; ++i) dir.push_back(fake::DbEntry("db" + std::to_string(i)));
    rt().directories[""] = dir;
    rt().directories["Mail99!!"] = dir;
    SetHandedOutPathsMemoryLimit(1);
    std::vector<std::string> args(c.args);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Output o = Capture([&] { ProgramMain(static_cast<int32_t>(args.size()), argv.data()); });
    SetHandedOutPathsMemoryLimit(0);
    std::string message = words;
    message.replace(message.find("%s"), 2, c.where);
    const std::string& shown = c.aside ? o.err : o.out;
    EXPECT_NE(shown.find(message), std::string::npos) << shown.substr(shown.size() - 300);
    // The first batch is reported, and nothing after it.
    EXPECT_EQ(rt().CallsOf("DbSearch").size(), 1u);
    EXPECT_EQ(Count(o.out + o.err, "db1023"), 1);
  }
}

TEST_F(ProgramMainTest, AFailedSearchStillReportsWhatItFoundThenTheFailure) {
  rt().searchFailAfter = 1;
  rt().searchStatus = fake::kNoSuchFile;
  Output o = Run({"usetrail", "*"});
  EXPECT_EQ(Opened(), std::vector<std::string>{"DbOpen(sales.db)"});
  EXPECT_NE(o.out.find("Unable to search the local data directory\n(Error 259"), std::string::npos);
}

TEST_F(ProgramMainTest, ReportLinesToAFileAreWrittenInBlocks) {
  Args argv{"usetrail", "other.db"};
  off_t before = -1, held = -1, after = -1;
  Capture([&] {
    ProgramMain(argv.argc(), argv.argv());
    auto size = [] {
      struct stat st {};
      fstat(2, &st);  // the report stream, now the initial standard output
      return st.st_size;
    };
    std::fflush(stderr);
    before = size();
    ReportPrintf("one more line\n");
    held = size();  // a line at a time would show here
    std::fflush(stderr);
    after = size();
  });
  EXPECT_EQ(held, before);
  EXPECT_GE(after, before + 14);  // the line end is one byte or two
}

TEST(SwapStandardStreams, TradesTheTwoDestinations) {
  Output o = Capture([] {
    std::fputs("out1 ", stdout);
    std::fputs("err1 ", stderr);
    SwapStandardStreams();
    std::fputs("out2", stdout);
    std::fputs("err2", stderr);
  });
  EXPECT_EQ(o.out, "out1 err2");
  EXPECT_EQ(o.err, "err1 out2");
}

}  // namespace
