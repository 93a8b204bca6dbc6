// The entry table against the fake runtime: several databases in each form
// under a window and a pattern, failures told aside, long texts.
#include "report/entry_table.h"

#include <string>
#include <utility>
#include <vector>

#include "cli/run_settings.h"
#include "test_support.h"

namespace {

using fake::At;

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
      {"a.db", "Sales, EU"}, {"b.db", "B"}, {"c.db", ""},
      {"d.db", "Gone"},      {"e.db", "E"}, {"f\tg.db", "=Q\tR"}};
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
       "a.db\tSales, EU\t2026-12-02 11:00:00\t3\t4\t'=cmd|\"x\"\n"
       "c.db\t\t2026-12-03 12:00:00\t65535\t0\tCN=Ann\\Org\n"
       // One line a row: tabs and line ends escaped, formula leads guarded.
       "f\\tg.db\t'=Q\\tR\t2026-12-04 09:00:00\t5\t6\ttwo\\r\\nlines\\t\n"
       "f\\tg.db\t'=Q\\tR\t2026-12-04 09:00:00\t0\t0\t'-1\n"
       "f\\tg.db\t'=Q\\tR\t2026-12-04 09:00:00\t0\t0\t'\\tx\n"
       "f\\tg.db\t'=Q\\tR\t2026-12-04 09:00:00\t0\t0\t'\\r\\n\n"
       "f\\tg.db\t'=Q\\tR\t2026-12-04 09:00:00\t0\t0\ta\\b=c\n"},
      {',', 0,
       "Path,Title,Date/Time,Reads,Writes,User Name\n"
       "a.db,\"Sales, EU\",2026-12-01 10:00:00,1,2,\"Doe, John\"\n"
       "a.db,\"Sales, EU\",2026-12-02 11:00:00,3,4,\"'=cmd|\"\"x\"\"\"\n"
       "c.db,,2026-12-03 12:00:00,65535,0,CN=Ann\\Org\n"
       "f\tg.db,\"'=Q\tR\",2026-12-04 09:00:00,5,6,\"two\r\nlines\t\"\n"
       "f\tg.db,\"'=Q\tR\",2026-12-04 09:00:00,0,0,\"'-1\"\n"
       "f\tg.db,\"'=Q\tR\",2026-12-04 09:00:00,0,0,\"'\tx\"\n"
       "f\tg.db,\"'=Q\tR\",2026-12-04 09:00:00,0,0,\"'\r\n\"\n"
       "f\tg.db,\"'=Q\tR\",2026-12-04 09:00:00,0,0,a\\b=c\n"},
      // /c does not change JSON.
      {',', 1,
       "{\"path\":\"a.db\",\"title\":\"Sales, EU\",\"time\":\"2026-12-01 10:00:00\",\"reads\":1,"
       "\"writes\":2,\"user\":\"Doe, John\"}\n"
       "{\"path\":\"a.db\",\"title\":\"Sales, EU\",\"time\":\"2026-12-02 11:00:00\",\"reads\":3,"
       "\"writes\":4,\"user\":\"=cmd|\\\"x\\\"\"}\n"
       "{\"path\":\"c.db\",\"title\":\"\",\"time\":\"2026-12-03 12:00:00\",\"reads\":65535,"
       "\"writes\":0,\"user\":\"CN=Ann\\\\Org\"}\n"
       "{\"path\":\"f\\tg.db\",\"title\":\"=Q\\tR\",\"time\":\"2026-12-04 09:00:00\",\"reads\":5,"
       "\"writes\":6,\"user\":\"two\\r\\nlines\\t\"}\n"
       "{\"path\":\"f\\tg.db\",\"title\":\"=Q\\tR\",\"time\":\"2026-12-04 09:00:00\",\"reads\":0,"
       "\"writes\":0,\"user\":\"-1\"}\n"
       "{\"path\":\"f\\tg.db\",\"title\":\"=Q\\tR\",\"time\":\"2026-12-04 09:00:00\",\"reads\":0,"
       "\"writes\":0,\"user\":\"\\tx\"}\n"
       "{\"path\":\"f\\tg.db\",\"title\":\"=Q\\tR\",\"time\":\"2026-12-04 09:00:00\",\"reads\":0,"
       "\"writes\":0,\"user\":\"\\r\\n\"}\n"
       "{\"path\":\"f\\tg.db\",\"title\":\"=Q\\tR\",\"time\":\"2026-12-04 09:00:00\",\"reads\":0,"
       "\"writes\":0,\"user\":\"a\\\\b=c\"}\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.separator) << " json " << c.json);
    SetUp();
    // Left out by /s:14 /e:0 /x:*srv?: too old, dated ahead, a server.
    rt().databases["a.db"].log = {{At("2026-11-22 23:59:59"), 7, 7, "Old"},
                                  {At("2026-12-01 10:00:00"), 1, 2, "Doe, John"},
                                  {At("2026-12-08 00:00:00"), 7, 7, "Ahead"},
                                  {At("2026-12-02 11:00:00"), 3, 4, "=cmd|\"x\""},
                                  {At("2026-12-02 12:00:00"), 7, 7, "CN=Srv1"}};
    gRunSettings.startDays = 14;
    gRunSettings.endDays = 0;
    CopyText(gRunSettings.excludePattern, "*srv?");
    rt().databases["b.db"].activityStatus = 578;
    rt().databases["c.db"].log = {{fake::InvalidTime(), 9, 9, "Lost"},
                                  {At("2026-12-03 12:00:00"), 65535, 0, "CN=Ann\\Org"}};
    rt().databases["e.db"] = {};
    const TimeDate t = At("2026-12-04 09:00:00");
    rt().databases["f\tg.db"].log = {{t, 5, 6, "two\r\nlines\t"},
                                     {t, 0, 0, "-1"},
                                     {t, 0, 0, "\tx"},
                                     {t, 0, 0, "\r\n"},
                                     {t, 0, 0, "a\\b=c"}};
    gRunSettings.separator = c.separator;
    gRunSettings.json = c.json;
    const Output o = Run(dbs);
    EXPECT_EQ(o.err, c.table);
    EXPECT_EQ(o.out, aside);
  }
}

TEST_F(EntryTableTest, LongPathsTitlesAndNamesAreWrittenWhole) {
  const std::string longPath = std::string(240, 'p') + ".db";  // as long as a path is built
  // A title of more than 255 characters is not put together ahead; a tab in
  // it is escaped in the tab form (and in JSON) either way.
  for (const std::string& longTitle : {std::string("T\tU"), std::string(300, 't'),
                                       std::string(150, 't') + "\t" + std::string(150, 't')}) {
    for (const size_t nameLength : {size_t{1}, size_t{1000}, size_t{4100}, size_t{9000}}) {
      for (const char sep : {'\t', ','}) {
        SCOPED_TRACE(testing::Message()
                     << nameLength << " " << static_cast<int>(sep) << " " << longTitle.size());
        SetUp();
        const std::string name = "\"" + std::string(nameLength, 'n') + "\n";
        rt().databases[longPath].log = {{At("2026-12-01 00:00:00"), 7, 8, name},
                                        {At("2026-12-02 00:00:00"), 9, 0, "U"}};
        rt().databases["b.db"].log = {{At("2026-12-03 00:00:00"), 1, 1, "V"}};
        gRunSettings.separator = sep;
        const std::string quoted =
            sep == ',' ? "\"\"\"" + name.substr(1) + "\"" : name.substr(0, name.size() - 1) + "\\n";
        std::string escaped = longTitle;
        if (escaped.find('\t') != std::string::npos) {
          escaped.replace(escaped.find('\t'), 1, "\\t");
        }
        const std::string title = sep == '\t' ? escaped : longTitle;
        EXPECT_EQ(Run({{longPath, longTitle}, {"b.db", "B"}}).err,
                  Sep("Path|Title|Date/Time|Reads|Writes|User Name\n", sep) + longPath + sep +
                      title + Sep("|2026-12-01 00:00:00|7|8|", sep) + quoted + "\n" + longPath +
                      sep + title + Sep("|2026-12-02 00:00:00|9|0|U\n", sep) +
                      Sep("b.db|B|2026-12-03 00:00:00|1|1|V\n", sep));

        SetUp();
        rt().databases[longPath].log = {{At("2026-12-01 00:00:00"), 7, 8, name},
                                        {At("2026-12-02 00:00:00"), 9, 0, "U"}};
        gRunSettings.json = 1;
        // A line longer than the writer's room goes out in pieces; the next
        // line must still begin with its own path and title.
        const std::string head = "{\"path\":\"" + longPath + "\",\"title\":\"" + escaped + "\",";
        EXPECT_EQ(
            Run({{longPath, longTitle}}).err,
            head + "\"time\":\"2026-12-01 00:00:00\",\"reads\":7,\"writes\":8,\"user\":\"\\\"" +
                name.substr(1, nameLength) + "\\n\"}\n" + head +
                "\"time\":\"2026-12-02 00:00:00\",\"reads\":9,\"writes\":0,\"user\":\"U\"}\n");
      }
    }
  }
}

}  // namespace
