// Every runtime call of a whole run fails in turn: the run must print its message, go on with
// the next database, give back what it took, and start and stop the runtime as it should.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/program_main.h"
#include "startup/startup.h"
#include "test_support.h"

namespace {

const std::string kHeader = "Date/Time\t\tReads\tWrites\tUser Name\n";
const std::string kSummary =
    "\n\nDatabase Summary Info (all users):\nSummary Period\tReads\tWrites\tUses\n"
    "Last Day\t2\t1\t3\nLast Week\t6\t3\t9\nLast Month\t20\t10\t30\nLast 30 days\t40\t20\t60\n";
const std::string kNotLogged =
    "User activity is not currently being logged in this database.\n"
    "Go to Database Properties - User Activity, and check 'Record Activity'\n";

constexpr Status kCode = 1234;
constexpr int kStartupExit = 42;

struct Entry {
  const char* at;
  uint16_t reads;
  uint16_t writes;
  const char* user;
  bool shown;  // within the /s:3 window (2026-12-04 on)
};

struct Db {
  const char* path;
  int position;  // 1-based place in the directory search, which also yields a folder
  std::vector<Entry> log;
};

// The entry of b.db outside the window checks that a failed date move is not taken for
// "today", and that its conversion failure is still reported.
const std::vector<Db> kDbs = {
    {"a.db", 1, {{"2026-12-07 10:00:00", 1, 2, "CN=Ann", true}}},
    {"b.db",
     3,
     {{"2026-12-05 09:00:00", 3, 0, "CN=Bob", true},
      {"2026-11-20 08:00:00", 5, 5, "CN=Old", false},
      {"2026-12-06 08:30:00", 0, 1, "CN=Bea", true}}},
    {"c.db", 4, {{"2026-12-04 00:00:00", 7, 8, "CN=Cy", true}}},
};

// Where a failing call stands in the run, and so what the run must print.
enum class Site {
  kNone,
  kInit,
  kTakeArgs,
  kEnterMain,
  kScan,
  kScanClose,
  kPath,
  kOpen,
  kClose,
  kActivity,
  kLock,
  kAdjust,
  kTime
};

struct Hit {
  Site site = Site::kNone;
  int db = -1;
  int record = -1;
};

// Call n of `op` in the clean run: the directory scan does its four calls before the first
// database, then each database makes its own in turn.
Hit Locate(std::string_view op, int n) {
  if (op == "RuntimeInit") return {Site::kInit};
  if (op == "RuntimeTakeArgs") return {Site::kTakeArgs};
  if (op == "RuntimeEnterMain") return {Site::kEnterMain};
  if (op == "DbSearch") return {Site::kScan};
  if (op == "BuildNetPath") return n == 1 ? Hit{Site::kScan} : Hit{Site::kPath, n - 2};
  if (op == "DbOpen") return n == 1 ? Hit{Site::kScan} : Hit{Site::kOpen, n - 2};
  if (op == "DbClose") return n == 1 ? Hit{Site::kScanClose} : Hit{Site::kClose, n - 2};
  if (op == "DbGetUserActivity") return {Site::kActivity, n - 1};
  if (op == "MemLock") return {Site::kLock, n - 1};
  if (op == "TimeAdjust") return {Site::kAdjust, (n - 1) / 2};  // start and end bound
  for (int db = 0; db < static_cast<int>(kDbs.size()); ++db) {  // TimeToText: one per entry
    const int size = static_cast<int>(kDbs[db].log.size());
    if (n <= size) return {Site::kTime, db, n - 1};
    n -= size;
  }
  return {};
}

// Each operation that can be made to fail, how often a clean run calls it, and the statuses
// it fails with: a code with a text, the same marked as already shown, and for the log the
// "not recorded" code with each of the two high bits.
struct Op {
  const char* name;
  int calls;
  std::vector<Status> statuses;
};

const std::vector<Status> kPlain = {kCode, kCode | kStatusAlreadyShown};
const std::vector<Op> kOps = {
    {"RuntimeInit", 1, kPlain},
    {"RuntimeTakeArgs", 1, kPlain},
    {"RuntimeEnterMain", 1, kPlain},
    {"BuildNetPath", 4, kPlain},
    {"DbOpen", 4, kPlain},
    {"DbSearch", 1, kPlain},
    {"DbClose", 4, kPlain},
    {"DbGetUserActivity",
     3,
     {kCode, kCode | kStatusAlreadyShown, kErrorNoActivityLog, kErrorNoActivityLog | 0x4000,
      kErrorNoActivityLog | kStatusAlreadyShown, kErrorNoActivityLog | 0xc000}},
    {"MemLock", 3, {1}},  // the status only marks the call: MemLock hands back null
    {"TimeAdjust", 6, kPlain},
    {"TimeToText", 5, kPlain},
};

std::string Describe(Status status) {
  std::string text = std::to_string(ErrorCode(status));
  if ((status & 0x4000) != 0) text += " | 0x4000";
  if (AlreadyShown(status)) text += " | 0x8000";
  return text;
}

std::string ErrorLine(Status status) {
  return "(Error " + std::to_string(ErrorCode(status)) + ": Injected failure)\n";
}

std::string Line(const Entry& e) {
  if (!e.shown) return "";
  return std::string(e.at) + "\t" + std::to_string(e.reads) + "\t" + std::to_string(e.writes) +
         "\t" + e.user + "\n";
}

// What follows the rule line of database `db` when `hit` fails with `status`.
std::string Section(int db, const Hit& hit, Status status) {
  const std::string path = kDbs[db].path;
  const Site site = hit.db == db ? hit.site : Site::kNone;
  if (site == Site::kPath) return "Cannot create path to database " + path + "\n";
  if (site == Site::kOpen) return "Unable to open database: " + path + "\n\n" + ErrorLine(status);
  std::string text = "Activity for database: " + path + "\n\n";
  if (site == Site::kActivity) {
    text += "Unable to get User Activity Log\n";
    return text + (ErrorCode(status) == kErrorNoActivityLog ? kNotLogged : ErrorLine(status));
  }
  text += kHeader;
  const std::vector<Entry>& log = kDbs[db].log;
  for (int i = 0; site != Site::kLock && i < static_cast<int>(log.size()); ++i) {
    const bool failed = site == Site::kTime && i == hit.record;
    text += failed ? "Error converting time/date stamp on record " + std::to_string(i) + "\n"
                   : Line(log[i]);
  }
  text += kSummary;
  // The status of the last conversion is the database's result.
  if (site == Site::kTime && hit.record + 1 == static_cast<int>(log.size())) {
    text += ErrorLine(status);
  }
  return text;
}

std::string ScanFailure(Status status, bool atClose) {
  return (atClose ? "Unable to close the data directory of server srv after searching it\n"
                  : "Unable to search the data directory of server srv\n") +
         ErrorLine(status);
}

// The whole report. `searched` >= 0: the directory search failed after that many entries, so
// only the databases among them are reported.
std::string ExpectedReport(const Hit& hit, Status status, int searched = -1) {
  switch (hit.site) {
    case Site::kInit:
    case Site::kTakeArgs:
      return AlreadyShown(status) ? "" : "\r\nInjected failure\r\n\r\n";
    case Site::kEnterMain:
      return "";
    case Site::kScan:
      searched = 0;  // the failure comes before any entry is stored
      break;
    default:
      break;
  }
  std::string text;
  for (int db = 0; db < static_cast<int>(kDbs.size()); ++db) {
    if (searched < 0 || kDbs[db].position <= searched) text += kRule + Section(db, hit, status);
  }
  if (hit.site == Site::kScan || hit.site == Site::kScanClose || searched >= 0) {
    text += ScanFailure(status, hit.site == Site::kScanClose);
  }
  return text;
}

class FaultInjectionTest : public RuntimeTest {
 protected:
  void Script() {
    SetUp();
    rt().texts = {{kCode, "Injected failure"}, {kErrorNoActivityLog, "No activity log"}};
    rt().startupExitValue = kStartupExit;
    rt().directories["srv!!"] = {fake::DbEntry("a.db", "Alpha"), fake::FolderEntry("sub"),
                                 fake::DbEntry("b.db", "Beta"), fake::DbEntry("c.db", "Gamma")};
    for (const Db& db : kDbs) {
      fake::Database& d = rt().databases[std::string("srv!!") + db.path];
      for (const Entry& e : db.log) d.log.push_back({fake::At(e.at), e.reads, e.writes, e.user});
      d.summary.periodStart = fake::At("2026-11-07 12:00:00");
      d.summary.periodEnd = fake::At("2026-12-07 12:00:00");
      d.summary.uses = 60, d.summary.reads = 40, d.summary.writes = 20;
      d.summary.dayUses = 3, d.summary.dayReads = 2, d.summary.dayWrites = 1;
      d.summary.weekUses = 9, d.summary.weekReads = 6, d.summary.weekWrites = 3;
      d.summary.monthUses = 30, d.summary.monthReads = 20, d.summary.monthWrites = 10;
    }
  }

  // Runs the whole program and checks what every run must end with, whatever failed.
  std::string Run(const Hit& hit) {
    Args args({"usetrail", "srv", "*", "/i", "/s:3"});
    int exitStatus = 0;
    Output o = Capture([&] { exitStatus = RunStartup(args.argc(), args.argv(), ProgramMain); });
    const int release = rt().counts["RuntimeReleaseArgs"];
    const int term = rt().counts["RuntimeTerm"];
    const std::vector<std::string>& calls = rt().calls;
    if (hit.site == Site::kInit) {
      EXPECT_EQ(exitStatus, kStartupExit);
      EXPECT_EQ(release + term, 0);
    } else if (hit.site == Site::kTakeArgs) {
      EXPECT_EQ(exitStatus, kStartupExit);
      EXPECT_EQ(release, 0);
      EXPECT_EQ(term, 1);
      EXPECT_EQ(calls.back(), "RuntimeTerm");
    } else {
      EXPECT_EQ(exitStatus, hit.site == Site::kEnterMain ? -1 : 0);
      EXPECT_EQ(release, 1);
      EXPECT_EQ(term, 1);
      const auto from = calls.end() - std::min<std::ptrdiff_t>(2, std::ssize(calls));
      EXPECT_EQ(std::vector<std::string>(from, calls.end()),
                (std::vector<std::string>{"RuntimeReleaseArgs", "RuntimeTerm"}));
    }
    if (hit.site == Site::kEnterMain) {
      EXPECT_EQ(rt().counts["BuildNetPath"], 0);  // the main routine never ran
    }
    EXPECT_EQ(rt().OpenHandles(), 0);
    EXPECT_EQ(rt().LockedBlocks(), 0);
    EXPECT_EQ(rt().LiveBlocks(), 0);
    EXPECT_EQ(o.err, "");
    return o.out;
  }
};

TEST_F(FaultInjectionTest, EveryRuntimeCallFailsInTurn) {
  Script();
  EXPECT_EQ(Run({}), ExpectedReport({}, 0));
  const std::map<std::string, int> clean = rt().counts;

  int injected = 0;
  for (const Op& op : kOps) {
    const auto found = clean.find(op.name);
    EXPECT_EQ(found == clean.end() ? 0 : found->second, op.calls) << op.name;
    for (int n = 1; n <= op.calls; ++n) {
      const Hit hit = Locate(op.name, n);
      for (Status status : op.statuses) {
        SCOPED_TRACE(std::string(op.name) + " call " + std::to_string(n) + " fails with " +
                     Describe(status));
        Script();
        rt().Fail(op.name, n, status);
        EXPECT_EQ(Run(hit), ExpectedReport(hit, status));
        ++injected;
      }
    }
  }
  EXPECT_EQ(injected, 75);
}

TEST_F(FaultInjectionTest, AFailedDirectorySearchStillReportsWhatItStored) {
  for (int searched = 0; searched <= 4; ++searched) {
    SCOPED_TRACE("DbSearch fails after " + std::to_string(searched) + " entries");
    Script();
    rt().searchFailAfter = searched;
    rt().searchStatus = kCode;
    EXPECT_EQ(Run({}), ExpectedReport({}, kCode, searched));
  }
}

}  // namespace
