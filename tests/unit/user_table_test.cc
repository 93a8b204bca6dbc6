// The user table against the fake runtime: names across databases in each
// form, with the filters, in byte order, latest entries and their ties, sums
// past 32 bits, and memory that grows with names and may run short.
#include "report/user_table.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cli/output_check.h"
#include "cli/run_settings.h"
#include "test_support.h"

namespace {

using fake::At;

std::string Sep(std::string text, char s) {
  for (char& c : text) c = c == '|' ? s : c;
  return text;
}

const std::string kHeader =
    "User Name|Databases|Entries|Reads|Writes|Last Access|Days Since|Last Database\n";

class UserTableTest : public RuntimeTest {
 protected:
  void Log(const char* db, const char* time, uint16_t reads, uint16_t writes, std::string user) {
    rt().databases[db].log.push_back(
        {time ? At(time) : fake::InvalidTime(), reads, writes, std::move(user)});
  }

  // The table over `paths` in turn: its lines in `err`, what went aside in `out`.
  Output Run(const std::vector<std::string>& paths) {
    Output o = Capture([&] {
      for (const std::string& path : paths) ProcessDatabaseUsers("", path.c_str());
      PrintUserTable();
    });
    EXPECT_EQ(rt().OpenHandles(), 0);
    EXPECT_EQ(rt().LockedBlocks(), 0);
    EXPECT_EQ(rt().LiveBlocks(), 0);
    EXPECT_EQ(UserTableMemory(), 0u);  // given back once printed
    return o;
  }
};

TEST_F(UserTableTest, NamesAcrossDatabasesInEveryForm) {
  struct Case {
    char separator;
    int json;
    std::string table;
  };
  const Case cases[] = {
      {'\t', 0,
       Sep(kHeader + "'=Eve|1|1|2|2|2026-12-07 09:00:00|0|b.db\n"
                     "'@Zed\\tx\\r\\ny|1|1|1|1|2026-12-04 10:00:00|3|a.db\n"
                     "Ann|2|3|6|6|2026-12-03 10:00:00|4|a.db\n"
                     "Bob|1|1|0|1|2026-12-06 08:00:00|1|b.db\n"
                     "Doe, John|2|2|8|5|2026-12-06 07:00:00|1|d, e.db\n",
           '\t')},
      {',', 0,
       Sep(kHeader, ',') + "\"'=Eve\",1,1,2,2,2026-12-07 09:00:00,0,b.db\n"
                           "\"'@Zed\tx\r\ny\",1,1,1,1,2026-12-04 10:00:00,3,a.db\n"
                           "Ann,2,3,6,6,2026-12-03 10:00:00,4,a.db\n"
                           "Bob,1,1,0,1,2026-12-06 08:00:00,1,b.db\n"
                           "\"Doe, John\",2,2,8,5,2026-12-06 07:00:00,1,\"d, e.db\"\n"},
      {',', 1,
       "{\"user\":\"=Eve\",\"databases\":1,\"entries\":1,\"reads\":2,\"writes\":2,"
       "\"lastAccess\":\"2026-12-07 09:00:00\",\"daysSince\":0,\"lastDatabase\":\"b.db\"}\n"
       "{\"user\":\"@Zed\\tx\\r\\ny\",\"databases\":1,\"entries\":1,\"reads\":1,\"writes\":1,"
       "\"lastAccess\":\"2026-12-04 10:00:00\",\"daysSince\":3,\"lastDatabase\":\"a.db\"}\n"
       "{\"user\":\"Ann\",\"databases\":2,\"entries\":3,\"reads\":6,\"writes\":6,"
       "\"lastAccess\":\"2026-12-03 10:00:00\",\"daysSince\":4,\"lastDatabase\":\"a.db\"}\n"
       "{\"user\":\"Bob\",\"databases\":1,\"entries\":1,\"reads\":0,\"writes\":1,"
       "\"lastAccess\":\"2026-12-06 08:00:00\",\"daysSince\":1,\"lastDatabase\":\"b.db\"}\n"
       "{\"user\":\"Doe, John\",\"databases\":2,\"entries\":2,\"reads\":8,\"writes\":5,"
       "\"lastAccess\":\"2026-12-06 07:00:00\",\"daysSince\":1,\"lastDatabase\":\"d, e.db\"}\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.separator) << " json " << c.json);
    SetUp();
    Log("a.db", "2026-12-01 10:00:00", 1, 2, "Ann");
    Log("a.db", "2026-12-05 08:00:00", 3, 0, "Doe, John");
    Log("a.db", "2026-12-03 10:00:00", 4, 4, "Ann");
    Log("a.db", "2026-12-04 10:00:00", 1, 1, "@Zed\tx\r\ny");
    Log("b.db", "2026-12-03 10:00:00", 1, 0, "Ann");  // as late as in a.db: a.db stays
    Log("b.db", "2026-12-06 08:00:00", 0, 1, "Bob");
    Log("b.db", "2026-12-07 09:00:00", 2, 2, "=Eve");
    Log("b.db", "2026-12-09 09:00:00", 50, 50, "Ann");      // dated ahead: outside /e:0
    Log("b.db", "2026-12-07 10:00:00", 50, 50, "CN=Srv1");  // left out by /x
    rt().databases["c.db"].activityStatus = 578;
    Log("d, e.db", nullptr, 9, 9, "Lost");
    Log("d, e.db", "2026-12-06 07:00:00", 5, 5, "Doe, John");  // counts all the same
    gRunSettings.separator = c.separator;
    gRunSettings.json = c.json;
    gRunSettings.endDays = 0;
    CopyText(gRunSettings.excludePattern, "*srv?");
    const Output o = Run({"a.db", "b.db", "c.db", "d, e.db", "none.db"});
    EXPECT_EQ(o.err, c.table);
    EXPECT_EQ(o.out,
              "c.db: User activity is not currently being logged in this database.\n"
              "d, e.db: 1 entry with a date-time that cannot be converted\n"
              "none.db: Unable to open database\n");
  }
}

TEST_F(UserTableTest, CountsAreNeverGuardedTextsAre) {
  Log("x\ty.db", "2026-12-09 09:00:00", 1, 1, "-Neg");  // dated ahead: a negative count
  for (const auto& [sep, line] :
       {std::pair{'\t', "'-Neg\t1\t1\t1\t1\t2026-12-09 09:00:00\t-2\tx\\ty.db\n"},
        std::pair{',', "\"'-Neg\",1,1,1,1,2026-12-09 09:00:00,-2,x\ty.db\n"}}) {
    gRunSettings.separator = sep;
    EXPECT_EQ(Run({"x\ty.db"}).err, Sep(kHeader, sep) + line);
  }
}

TEST_F(UserTableTest, AnEmptyRunIsTheHeaderAlone) {
  rt().databases["a.db"] = {};
  EXPECT_EQ(Run({"a.db"}).err, Sep(kHeader, '\t'));
  gRunSettings.json = 1;
  EXPECT_EQ(Run({"a.db"}).err, "");
}

TEST_F(UserTableTest, ManyNamesInTheOrderOfTheirBytes) {
  // Enough names for the slots to grow several times, and names whose order
  // is that of unsigned bytes, a shorter name before its extensions.
  std::vector<std::string> names = {"A", "B", "a",    "a b",       "ab",
                                    "b", "~", "\xE9", "\xC3\xA4x", std::string(600, 'z')};
  for (int i = 0; i < 5000; ++i) names.push_back("CN=User " + std::to_string(100000 + i));
  std::mt19937 shuffle(7);
  std::shuffle(names.begin(), names.end(), shuffle);
  for (size_t i = 0; i < names.size(); ++i) {
    Log(i % 2 == 0 ? "a.db" : "b.db", "2026-12-01 00:00:00", 1, 0, names[i]);
    Log("c.db", "2026-12-02 00:00:00", 2, 1, names[i]);
  }
  std::sort(names.begin(), names.end());  // std::string compares as unsigned bytes
  std::string expected = Sep(kHeader, '\t');
  for (const std::string& name : names) {
    expected += name + "\t2\t2\t3\t1\t2026-12-02 00:00:00\t5\tc.db\n";
  }
  EXPECT_EQ(Run({"a.db", "b.db", "c.db"}).err, expected);
}

TEST_F(UserTableTest, SumsGoPastThirtyTwoBits) {
  for (const char* db : {"a.db", "b.db"}) {
    rt().databases[db].log.assign(65535, {At("2026-12-01 00:00:00"), 65535, 65534, "Ann"});
  }
  rt().countTimeCalls = false;
  EXPECT_EQ(Run({"a.db", "b.db"}).err,
            Sep(kHeader, '\t') +
                "Ann\t2\t131070\t8589672450\t8589541380\t2026-12-01 00:00:00\t6\ta.db\n");
}

TEST_F(UserTableTest, MemoryGrowsWithNamesNotEntries) {
  auto held = [&](size_t entries, size_t names) {
    SetUp();
    rt().countTimeCalls = false;
    for (size_t i = 0; i < entries; ++i) {
      Log("a.db", "2026-12-01 00:00:00", 1, 1, "CN=User " + std::to_string(i % names));
    }
    Capture([] { ProcessDatabaseUsers("", "a.db"); });
    const size_t bytes = UserTableMemory();
    ResetUserTable();
    return bytes;
  };
  const size_t few = held(3, 3);
  EXPECT_EQ(held(65535, 3), few);
  const size_t many = held(65535, 60000);
  EXPECT_GT(many, few);
  EXPECT_LT(many, size_t{16} << 20);  // well within 200 bytes a name
}

TEST_F(UserTableTest, MemoryThatRunsShortWritesNoTableAndFailsTheRun) {
  struct Case {
    size_t limit;
    const char* message;
  };
  const Case cases[] = {
      {64 << 10,
       "Not enough memory for the user table (0 different names held): no table written\n"},
      // The first chunk and slots fit; the slots cannot grow past 512 names.
      {(1 << 20) + (16 << 10),
       "Not enough memory for the user table (512 different names held): no table written\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    SetUp();
    for (int i = 0; i < 600; ++i) Log("a.db", "2026-12-01 00:00:00", 1, 1, std::to_string(i));
    Log("b.db", "2026-12-01 00:00:00", 1, 1, "0");
    SetUserTableMemoryLimit(c.limit);
    const Output o = Run({"a.db", "b.db"});
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, c.message);
    EXPECT_TRUE(OutputFailed());
  }
}

}  // namespace
