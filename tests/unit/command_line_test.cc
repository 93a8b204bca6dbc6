// The command line: what each argument form does to the run settings, and
// which stream the usage text and the warnings reach.
#include "cli/command_line.h"

#include <algorithm>
#include <climits>
#include <string>

#include "cli/run_settings.h"
#include "test_support.h"

namespace {

const std::string kUsage =
    "Displays user activity information in a database, if available.\n\n"
    "usetrail [ServerName] <DbName> [/c] [/i] [/f:filter] [/s:days] [/e:days]\n\n"
    "  ServerName      [optional] The name of the server that the database is on.\n"
    "  DbName          The name of the database to examine (wildcards are allowed).\n"
    "  /c              Display information in comma-delimited format.\n"
    "  /i              Display summary information at the end.\n"
    "  /f:filter       Filter the user names that are retrieved based on a wildcard\n"
    "                  specification using * or ? (like *John*).\n"
    "  /x:filter       Exclude names that match this wildcard pattern (like *SRV*)\n"
    "  /s:days         Get only the entries that are this many days old or newer.\n"
    "                  If this option is not specified, there is no start date.\n"
    "  /e:days         Get only the entries that are this many days old or older.\n"
    "                  If this option is not specified, there is no end date.\n"
    "\nIf the server or database name contains spaces, enclose it in quotation marks.\n"
    "You can use a combination of the /s and /e options to specify a date range.\n"
    "For example, /s:14 /e:7 gets entries from the last 7 to 14 days, /s:1 /e:1\n"
    "gets entries from yesterday, and /s:0 /e:0 gets entries from today.\n"
    "\n/o one line per database, /t per entry, /u per user, /j JSON; see the README.\n"
    "version 1.2\n";

class ParseArgumentsTest : public RuntimeTest {
 protected:
  // Parses `usetrail <args...>`; returns the result and what was written.
  std::pair<int, Output> Parse(std::initializer_list<std::string> args) {
    std::vector<std::string> all{"usetrail"};
    all.insert(all.end(), args);
    int result = -1;
    Output o = Capture([&] {
      std::vector<char*> argv;
      for (auto& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      result = ParseArguments(static_cast<int>(all.size()), argv.data());
    });
    return {result, o};
  }
};

TEST_F(ParseArgumentsTest, UsageEndsTheRunOnStandardOutputOnly) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, ""},
      {{"/?"}, ""},
      {{"srv", "db", "/c", "-?"}, ""},
      {{"/?x", "/bogus"}, ""},  // later arguments are not visited
      {{"/c"}, "** Not enough arguments! **\n"},
      {{"/c", "/i", "/s:3"}, "** Not enough arguments! **\n"},
      {{"/q"}, "Unrecognized command line option:/q (ignored)** Not enough arguments! **\n"},
  };
  for (const Case& c : cases) {
    ResetRunSettings();
    std::vector<std::string> all{"usetrail"};
    all.insert(all.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    int result = -1;
    Output o =
        Capture([&] { result = ParseArguments(static_cast<int>(argv.size()), argv.data()); });
    EXPECT_EQ(result, 0) << all.size();
    EXPECT_EQ(o.out, kUsage);
    EXPECT_EQ(o.err, c.err);
  }
}

TEST_F(ParseArgumentsTest, PositionalArguments) {
  struct Case {
    std::vector<std::string> args;
    std::string server, pattern;
  } cases[] = {
      {{"mail/*.db"}, "", "mail/*.db"},
      {{"CN=Mail01/O=Org", "names.db"}, "CN=Mail01/O=Org", "names.db"},
      {{"", "names.db"}, "", "names.db"},
      {{"srv", "a.db", "third", "fourth"}, "srv", "a.db"},
      {{"/c", "srv", "/i", "a.db"}, "srv", "a.db"},
      {{""}, "", ""},
  };
  for (const Case& c : cases) {
    ResetRunSettings();
    CopyText(gRunSettings.serverName, "stale");
    std::vector<std::string> all{"usetrail"};
    all.insert(all.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    Output o =
        Capture([&] { EXPECT_EQ(ParseArguments(static_cast<int>(argv.size()), argv.data()), 1); });
    EXPECT_EQ(TextOf(gRunSettings.serverName), c.server);
    EXPECT_EQ(TextOf(gRunSettings.dbPattern), c.pattern);
    EXPECT_EQ(o.out + o.err, "");
  }
}

TEST_F(ParseArgumentsTest, DayValues) {
  struct Case {
    std::string arg;
    int32_t startDays;
  } cases[] = {
      {"/s:7", 7},
      {"/S:7", 7},
      {"-s:7", 7},
      {"/start:7", 7},
      {"/s7", -1},
      {"/s:", -1},
      {"/s:-1", -1},
      {"/s:abc", 0},
      {"/s:3x", 3},
      {"/s: 7", 7},
      {"/s:\t\v\f\r\n 9", 9},
      {"/s:+5", 5},
      {"/s:-", 0},
      {"/s: -12", -12},
      {"/s:0007", 7},
      {"/s:1:2", 1},
      {"/s:2147483647", INT32_MAX},
      {"/s:2147483648", INT32_MAX},
      {"/s:99999999999999999999999", INT32_MAX},
      {"/s:-2147483648", INT32_MIN},
      {"/s:-2147483649", INT32_MIN},
      {"/s:-99999999999999999999", INT32_MIN},
  };
  for (const Case& c : cases) {
    ResetRunSettings();
    auto [result, o] = Parse({c.arg, "db"});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(gRunSettings.startDays, c.startDays) << c.arg;
    EXPECT_EQ(gRunSettings.endDays, -1) << c.arg;
    EXPECT_EQ(o.err, "") << c.arg;
  }
  ResetRunSettings();
  Parse({"/e:3", "/E:4", "db"});
  EXPECT_EQ(gRunSettings.endDays, 4);  // the later switch wins
}

TEST_F(ParseArgumentsTest, SwitchesAndPatterns) {
  auto [result, o] = Parse({"db", "/cx", "/info", "/f:a:b", "/x:*SRV*", "/f:"});
  EXPECT_EQ(result, 1);
  EXPECT_EQ(gRunSettings.separator, ',');
  EXPECT_EQ(gRunSettings.showSummary, 1);
  EXPECT_EQ(TextOf(gRunSettings.includePattern), "a:b");  // "/f:" changes nothing
  EXPECT_EQ(TextOf(gRunSettings.excludePattern), "*SRV*");
  EXPECT_EQ(o.err, "");

  ResetRunSettings();
  Parse({"db"});
  EXPECT_EQ(gRunSettings.separator, '\t');
  EXPECT_EQ(gRunSettings.showSummary, 0);
  EXPECT_EQ(TextOf(gRunSettings.includePattern), "*");
  EXPECT_EQ(TextOf(gRunSettings.excludePattern), "");
}

TEST_F(ParseArgumentsTest, UnrecognisedSwitchesWarnOnOneLineAndParsingGoesOn) {
  auto [result, o] = Parse({"/help", "-", "/", "db", "/z:1", "/i"});
  EXPECT_EQ(result, 1);
  EXPECT_EQ(o.err,
            "Unrecognized command line option:/help (ignored)"
            "Unrecognized command line option:- (ignored)"
            "Unrecognized command line option:/ (ignored)"
            "Unrecognized command line option:/z:1 (ignored)");
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(gRunSettings.showSummary, 1);
}

TEST_F(ParseArgumentsTest, OverlongValuesAreCutTo255) {
  const std::string longText(300, 'q');
  auto [result, o] = Parse({longText, "db" + longText, "/f:" + longText, "/x:" + longText});
  EXPECT_EQ(result, 1);
  EXPECT_EQ(TextOf(gRunSettings.serverName), longText.substr(0, 255));
  EXPECT_EQ(TextOf(gRunSettings.dbPattern), ("db" + longText).substr(0, 255));
  EXPECT_EQ(TextOf(gRunSettings.includePattern), longText.substr(0, 255));
  EXPECT_EQ(TextOf(gRunSettings.excludePattern), longText.substr(0, 255));
  EXPECT_EQ(gRunSettings.serverName.back(), '\0');
}

}  // namespace

namespace {

TEST_F(ParseArgumentsTest, OneViewAtATimeTheFirstCounts) {
  const std::string only = "Only the first of /o, /t and /u counts:";
  struct Case {
    std::vector<std::string> args;
    View view;
    int32_t json;
    std::string err;
  } cases[] = {
      {{"db"}, View::kReport, 0, ""},
      {{"db", "/o"}, View::kOverview, 0, ""},
      {{"/t", "db"}, View::kEntries, 0, ""},
      {{"-U", "db"}, View::kUsers, 0, ""},
      {{"/table", "/users", "db"}, View::kEntries, 0, only + "/users (ignored)"},
      {{"/j", "db"}, View::kEntries, 1, ""},  // JSON alone is the entry table
      {{"db", "/J", "/o"}, View::kOverview, 1, ""},
      {{"/json", "/u"}, View::kUsers, 1, ""},
      {{"/u", "/t", "/o", "db"}, View::kUsers, 0, only + "/t (ignored)" + only + "/o (ignored)"},
      {{"/o", "/o", "/u", "/O", "db"}, View::kOverview, 0, only + "/u (ignored)"},
      {{"/t", "/q", "/u", "db"},
       View::kEntries,
       0,
       "Unrecognized command line option:/q (ignored)" + only + "/u (ignored)"},
  };
  for (const Case& c : cases) {
    ResetRunSettings();
    std::vector<std::string> args = c.args;
    if (std::find(args.begin(), args.end(), "db") == args.end()) args.push_back("db");
    std::vector<std::string> all{"usetrail"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    int result = -1;
    Output o =
        Capture([&] { result = ParseArguments(static_cast<int>(argv.size()), argv.data()); });
    SCOPED_TRACE(all.size());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(gRunSettings.view, c.view);
    EXPECT_EQ(gRunSettings.json, c.json);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, "");
  }
}

}  // namespace
