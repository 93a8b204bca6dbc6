// The entry table against the fake runtime: several databases in each form,
// the same entries as the report, and failures told aside in the words of
// the overview.
#include "report/entry_table.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/run_settings.h"
#include "report/activity_report.h"
#include "report/overview.h"
#include "test_support.h"

namespace {

using fake::At;

// `text` with every '|' made the separator `s`.
std::string Sep(std::string text, char s) {
  for (char& c : text) c = c == '|' ? s : c;
  return text;
}

class EntryTableTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    rt().texts = {{fake::kNoSuchFile, "File does not exist"}, {fake::kBadHandle, "Invalid handle"}};
  }

  // The table of the databases (path, title) in turn: the report stream's
  // lines in `err`, what went aside (the initial standard error) in `out`.
  Output Run(const std::vector<std::pair<std::string, std::string>>& dbs) {
    Output o = Capture([&] {
      PrintEntryTableHeader();
      for (const auto& [path, title] : dbs) ProcessDatabaseEntries("", path.c_str(), title.c_str());
    });
    EXPECT_EQ(rt().OpenHandles(), 0);
    EXPECT_EQ(rt().LockedBlocks(), 0);
    EXPECT_EQ(rt().LiveBlocks(), 0);
    return o;
  }
};

TEST_F(EntryTableTest, TheSameTableInEveryForm) {
  const std::vector<std::pair<std::string, std::string>> dbs = {
      {"a.db", "Sales, EU"}, {"b.db", "B"}, {"c.db", ""}, {"d.db", "Gone"}, {"e.db", "E"}};
  const std::string aside =
      "b.db: User activity is not currently being logged in this database.\n"
      "c.db: 1 entry with a date-time that cannot be converted\n"
      "d.db: Unable to open database (Error 259: File does not exist)\n";
  struct Case {
    char separator;
    int json;
    std::string table;
  };
  const Case cases[] = {
      {'\t', 0,
       "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n"
       "a.db\tSales, EU\t2026-12-01 10:00:00\t1\t2\tDoe, John\n"
       "a.db\tSales, EU\t2026-12-02 11:00:00\t3\t4\t=cmd|\"x\"\n"
       "c.db\t\t2026-12-03 12:00:00\t65535\t0\tCN=Ann\\Org\n"},
      {',', 0,
       "Path,Title,Date/Time,Reads,Writes,User Name\n"
       "a.db,\"Sales, EU\",2026-12-01 10:00:00,1,2,\"Doe, John\"\n"
       "a.db,\"Sales, EU\",2026-12-02 11:00:00,3,4,\"'=cmd|\"\"x\"\"\"\n"
       "c.db,,2026-12-03 12:00:00,65535,0,CN=Ann\\Org\n"},
      // /c does not change JSON.
      {',', 1,
       "{\"path\":\"a.db\",\"title\":\"Sales, EU\",\"time\":\"2026-12-01 10:00:00\",\"reads\":1,"
       "\"writes\":2,\"user\":\"Doe, John\"}\n"
       "{\"path\":\"a.db\",\"title\":\"Sales, EU\",\"time\":\"2026-12-02 11:00:00\",\"reads\":3,"
       "\"writes\":4,\"user\":\"=cmd|\\\"x\\\"\"}\n"
       "{\"path\":\"c.db\",\"title\":\"\",\"time\":\"2026-12-03 12:00:00\",\"reads\":65535,"
       "\"writes\":0,\"user\":\"CN=Ann\\\\Org\"}\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.separator) << " json " << c.json);
    SetUp();
    rt().databases["a.db"].log = {{At("2026-12-01 10:00:00"), 1, 2, "Doe, John"},
                                  {At("2026-12-02 11:00:00"), 3, 4, "=cmd|\"x\""}};
    rt().databases["b.db"].activityStatus = 578;
    rt().databases["c.db"].log = {{fake::InvalidTime(), 9, 9, "Lost"},
                                  {At("2026-12-03 12:00:00"), 65535, 0, "CN=Ann\\Org"}};
    rt().databases["e.db"] = {};
    gRunSettings.separator = c.separator;
    gRunSettings.json = c.json;
    const Output o = Run(dbs);
    EXPECT_EQ(o.err, c.table);
    EXPECT_EQ(o.out, aside);
  }
}

TEST_F(EntryTableTest, AnEmptyRunIsTheHeaderAlone) {
  EXPECT_EQ(Run({}).err, "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n");
  gRunSettings.json = 1;
  EXPECT_EQ(Run({}).err, "");
}

// Each line of the table is a line of the report with path and title in
// front, under every window and pattern.
TEST_F(EntryTableTest, KeepsTheEntriesTheReportPrints) {
  // Now is 2026-12-07 12:00:00.
  const std::vector<fake::LogEntry> log = {
      {At("2026-11-20 08:00:00"), 1, 0, "CN=Ann"},    {At("2026-12-05 08:00:00"), 2, 1, "CN=Bob"},
      {At("2026-12-06 23:00:00"), 4, 2, "CN=Ann"},    {fake::InvalidTime(), 5, 5, "CN=Bad"},
      {At("2026-12-06 23:00:00"), 8, 0, "cn=ann"},    {At("2026-12-03 09:00:00"), 16, 4, "CN=Srv1"},
      {At("2026-12-09 10:00:00"), 32, 8, "CN=Early"}, {At("2026-12-07 00:00:00"), 0, 0, ""},
  };
  struct Case {
    int32_t start, end;
    const char* include;
    const char* exclude;
    size_t lines;
  };
  const Case cases[] = {
      {-1, -1, "*", "", 6},      {14, 1, "*", "", 4}, {1, 1, "*", "", 2}, {-1, 1, "*ann", "", 3},
      {-1, -1, "*", "*SRV?", 6}, {0, 0, "*", "", 0},  {3, 5, "*", "", 0}, {0, 0, "", "x", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " " << c.end << " " << c.include);
    SetUp();
    rt().databases["a.db"].log = log;
    gRunSettings.startDays = c.start;
    gRunSettings.endDays = c.end;
    CopyText(gRunSettings.includePattern, c.include);
    CopyText(gRunSettings.excludePattern, c.exclude);
    const std::string report = Capture([] { ProcessDatabase("", "a.db"); }).err;
    std::string expected;
    size_t lines = 0;
    // The report's entry lines: after the header, up to the first blank line.
    size_t at = report.find("User Name\n") + 10;
    for (size_t end = report.find('\n', at); end != std::string::npos;
         at = end + 1, end = report.find('\n', at)) {
      const std::string line = report.substr(at, end + 1 - at);
      if (line.rfind("Error converting", 0) == 0) continue;
      expected += "a.db\tT\t" + line;
      ++lines;
    }
    EXPECT_EQ(lines, c.lines);
    const Output o = Run({{"a.db", "T"}});
    EXPECT_EQ(o.err, "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n" + expected);
    EXPECT_EQ(o.out, "a.db: 1 entry with a date-time that cannot be converted\n");
  }
}

// A failure goes aside in the very words of the overview's Status column.
TEST_F(EntryTableTest, FailuresAreToldInTheOverviewsWords) {
  const std::function<void()> scripts[] = {
      [] { fake::Fake().Fail("BuildNetPath", 1, fake::kPathTooLong); },
      [] {
        fake::Fake().databases["a.db"].opens = false;
        fake::Fake().databases["a.db"].openStatus = fake::kNoSuchFile;
      },
      [] { fake::Fake().databases["a.db"].opens = false; },
      [] { fake::Fake().databases["a.db"].activityStatus = 0x8000 | 578; },
      [] { fake::Fake().databases["a.db"].activityStatus = fake::kBadHandle; },
      [] { fake::Fake().databases["a.db"].activityStatus = 77; },
      [] {
        fake::Fake().databases["a.db"].log = {{fake::InvalidTime(), 1, 1, "X"},
                                              {fake::InvalidTime(), 1, 1, "Y"}};
      },
  };
  for (const auto& script : scripts) {
    SetUp();
    script();
    std::string status = Capture([] { ProcessDatabaseOverview("", "a.db", "T"); }).err;
    status = status.substr(status.rfind('\t') + 1);
    SetUp();
    script();
    const Output o = Run({{"a.db", "T"}});
    EXPECT_EQ(o.out, "a.db: " + status);
    EXPECT_EQ(o.err, "Path\tTitle\tDate/Time\tReads\tWrites\tUser Name\n");
  }
}

TEST_F(EntryTableTest, LongPathsTitlesAndNamesAreWrittenWhole) {
  const std::string longPath = std::string(240, 'p') + ".db";  // as long as a path is built
  // A title of more than 255 characters is not put together ahead.
  for (const std::string& longTitle : {std::string("T"), std::string(300, 't')}) {
    for (const size_t nameLength : {size_t{1}, size_t{1000}, size_t{4100}, size_t{9000}}) {
      for (const char sep : {'\t', ','}) {
        SCOPED_TRACE(testing::Message()
                     << nameLength << " " << static_cast<int>(sep) << " " << longTitle.size());
        SetUp();
        const std::string name = "\"" + std::string(nameLength, 'n');
        rt().databases[longPath].log = {{At("2026-12-01 00:00:00"), 7, 8, name},
                                        {At("2026-12-02 00:00:00"), 9, 0, "U"}};
        rt().databases["b.db"].log = {{At("2026-12-03 00:00:00"), 1, 1, "V"}};
        gRunSettings.separator = sep;
        const std::string quoted = sep == ',' ? "\"\"\"" + name.substr(1) + "\"" : name;
        EXPECT_EQ(Run({{longPath, longTitle}, {"b.db", "B"}}).err,
                  Sep("Path|Title|Date/Time|Reads|Writes|User Name\n", sep) +
                      Sep(longPath + "|" + longTitle + "|2026-12-01 00:00:00|7|8|", sep) + quoted +
                      "\n" + Sep(longPath + "|" + longTitle + "|2026-12-02 00:00:00|9|0|U\n", sep) +
                      Sep("b.db|B|2026-12-03 00:00:00|1|1|V\n", sep));

        SetUp();
        rt().databases[longPath].log = {{At("2026-12-01 00:00:00"), 7, 8, name},
                                        {At("2026-12-02 00:00:00"), 9, 0, "U"}};
        gRunSettings.json = 1;
        // A line longer than the writer's room goes out in pieces; the next
        // line must still begin with its own path and title.
        const std::string head = "{\"path\":\"" + longPath + "\",\"title\":\"" + longTitle + "\",";
        EXPECT_EQ(
            Run({{longPath, longTitle}}).err,
            head + "\"time\":\"2026-12-01 00:00:00\",\"reads\":7,\"writes\":8,\"user\":\"\\\"" +
                name.substr(1) + "\"}\n" + head +
                "\"time\":\"2026-12-02 00:00:00\",\"reads\":9,\"writes\":0,\"user\":\"U\"}\n");
      }
    }
  }
}

}  // namespace
