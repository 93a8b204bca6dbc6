// Arguments that lost characters on their way into the runtime's code page
// (the Windows entry notes them): each is named in a warning and then
// matches nothing, whatever its stand-in '?' would have matched.
#include "cli/lost_arguments.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "cli/program_main.h"
#include "cli/run_settings.h"
#include "test_support.h"

namespace {

const std::string kReport =
    kRule + "Activity for database: sales.db\n\n" + "Date/Time\t\tReads\tWrites\tUser Name\n";

std::string Warning(const std::string& role, const std::string& argument,
                    const std::string& outcome) {
  return "The " + role + " \"" + argument +
         "\" holds characters that the system's code page cannot hold: " + outcome + ".\n";
}

class LostArgumentsTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    rt().directories[""] = {fake::DbEntry("sales.db", "Pipeline")};
    // The runtime's text for a name whose first letter its code page lacks.
    rt().databases["sales.db"].log = {{fake::At("2026-12-01 08:00:00"), 1, 0, "CN=?ukasz/O=Acme"},
                                      {fake::At("2026-12-02 08:00:00"), 2, 0, "CN=Lukasz/O=Acme"},
                                      {fake::At("2026-12-03 08:00:00"), 3, 0, ""}};
  }
};

std::string Line(const char* day, int reads, const char* user) {
  return std::string("2026-12-0") + day + " 08:00:00\t" + std::to_string(reads) + "\t0\t" + user +
         "\n";
}

TEST_F(LostArgumentsTest, ALostArgumentIsNamedAndMatchesNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> lost;  // texts noted as having lost characters
    std::string err;
    std::string out;
    bool searched;
    std::vector<bool> lostInPlace{};  // when given: the parsed vector noted, with these flags
    // Beside `lost`: the text best-fit mapping makes of each ("": none).
    std::vector<std::string> lookAlikes{};
    // Texts noted as having lost nothing; by default the parsed ones not lost.
    std::vector<std::string> kept{};
  };
  const std::string ukasz = Line("1", 1, "CN=?ukasz/O=Acme");
  const std::string lukasz = Line("2", 2, "CN=Lukasz/O=Acme");
  const std::string empty = Line("3", 3, "");
  const Case cases[] = {
      {"a user filter that lost a character takes no name",
       {"/f:*?ukasz*", "sales.db"},
       {"/f:*?ukasz*"},
       Warning("user filter", "/f:*?ukasz*", "it matches no user name"),
       kReport,
       true},
      {"the same filter typed with '?' is a wildcard",
       {"/f:*?ukasz*", "sales.db"},
       {},
       "",
       kReport + ukasz + lukasz,
       true},
      {"an exclusion that lost a character leaves out no name",
       {"/x:*?ukasz*", "sales.db"},
       {"/x:*?ukasz*"},
       Warning("user exclusion", "/x:*?ukasz*", "it leaves out no user name"),
       kReport + ukasz + lukasz + empty,
       true},
      {"a database name that lost a character: no search",
       {"sal?s.db"},
       {"sal?s.db"},
       Warning("database name", "sal?s.db", "it matches no database"),
       "",
       false},
      {"a server name that lost a character: no search",
       {"Bia?ystok", "*"},
       {"Bia?ystok"},
       Warning("server name", "Bia?ystok", "no database is searched"),
       "",
       false},
      {"other arguments are not patterns", {"/s:?", "sales.db"}, {"/s:?"}, "", kReport, true},
      {"a '?' typed beside one that stands for a lost character is not lost",
       {"?", "?"},
       {},
       Warning("server name", "?", "no database is searched"),
       "",
       false,
       {false, true, false}},
      // The runtime's vector made from the command line its own way.
      {"a user filter handed back in its look-alike form",
       {"/f:*Lukasz*", "sales.db"},
       {"/f:*?ukasz*"},
       Warning("user filter", "/f:*?ukasz*", "it matches no user name"),
       kReport,
       true,
       {},
       {"/f:*Lukasz*"},
       {"usetrail", "sales.db"}},
      {"an exclusion handed back in its look-alike form",
       {"/x:*Lukasz*", "sales.db"},
       {"/x:*?ukasz*"},
       Warning("user exclusion", "/x:*?ukasz*", "it leaves out no user name"),
       kReport + ukasz + lukasz + empty,
       true,
       {},
       {"/x:*Lukasz*"},
       {"usetrail", "sales.db"}},
      {"a server name handed back in its look-alike form",
       {"Bialystok", "*"},
       {"Bia?ystok"},
       Warning("server name", "Bia?ystok", "no database is searched"),
       "",
       false,
       {},
       {"Bialystok"},
       {"usetrail", "*"}},
      {"a database name handed back in its look-alike form",
       {"Sales.db"},
       {"?ales.db"},
       Warning("database name", "?ales.db", "it matches no database"),
       "",
       false,
       {},
       {"Sales.db"},
       {"usetrail"}},
      {"a user filter handed back in other text",
       {"/f:*\xc5\x81ukasz*", "sales.db"},
       {"/f:*?ukasz*"},
       Warning("user filter", "/f:*\xc5\x81ukasz*", "it matches no user name"),
       kReport,
       true,
       {},
       {"/f:*Lukasz*"},
       {"usetrail", "sales.db"}},
      {"a server name handed back in other text, the pattern as it was",
       {"Bia_ystok", "sales.db"},
       {"Bia?ystok"},
       Warning("server name", "Bia_ystok", "no database is searched"),
       "",
       false,
       {},
       {"Bialystok"},
       {"usetrail", "sales.db"}},
      {"a look-alike that another argument has as it is counts as lost",
       {"/f:*Lukasz*", "sales.db"},
       {"/f:*?ukasz*"},
       Warning("user filter", "/f:*?ukasz*", "it matches no user name"),
       kReport,
       true,
       {},
       {"/f:*Lukasz*"},
       {"usetrail", "/f:*Lukasz*", "sales.db"}},
      {"nothing lost: texts of the runtime's own are taken as they are",
       {"/f:*Lukasz*", "sales.db"},
       {},
       "",
       kReport + lukasz,
       true,
       {},
       {},
       {"usetrail", "/f:*?ukasz*", "sales.*"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    // The noted vector is not the one parsed: the runtime may hand back its own.
    std::vector<std::string> kept(c.kept);
    if (kept.empty()) {
      kept.push_back("usetrail");
      for (const std::string& a : c.args) {
        if (std::ranges::find(c.lost, a) == c.lost.end()) kept.push_back(a);
      }
    }
    std::vector<std::string> noted(kept);
    noted.insert(noted.end(), c.lost.begin(), c.lost.end());
    std::vector<char*> notedArgv;
    for (std::string& text : noted) notedArgv.push_back(text.data());
    bool lost[4] = {};
    ASSERT_LE(noted.size(), std::size(lost));
    std::fill(lost + kept.size(), lost + noted.size(), true);
    std::vector<const char*> lookAlikes(kept.size(), nullptr);
    for (const std::string& text : c.lookAlikes) {
      lookAlikes.push_back(text.empty() ? nullptr : text.c_str());
    }
    lookAlikes.resize(noted.size(), nullptr);
    NoteLostArguments(static_cast<int32_t>(noted.size()), notedArgv.data(), lost,
                      lookAlikes.data());

    std::vector<std::string> all{"usetrail"};
    all.insert(all.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    bool lostInPlace[3] = {};
    if (!c.lostInPlace.empty()) {
      ASSERT_EQ(c.lostInPlace.size(), all.size());
      std::copy(c.lostInPlace.begin(), c.lostInPlace.end(), lostInPlace);
      NoteLostArguments(static_cast<int32_t>(all.size()), argv.data(), lostInPlace);
    }
    Output o = Capture([&] { ProgramMain(static_cast<int32_t>(all.size()), argv.data()); });
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(rt().CallsOf("DbSearch").size(), c.searched ? 1u : 0u);
  }
}

}  // namespace
