// The start-up frame: every row of the exit-status table, the order of the
// runtime calls, and the argument vector the main routine sees.
#include "startup/startup.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "cli/output_check.h"
#include "test_support.h"

namespace {

constexpr Status kStartFailure = 421;
constexpr Status kMainFailure = 1234;

Status gMainStatus = 0;
std::vector<std::string> gMainSaw;

Status RecordingMain(int32_t argc, char** argv) {
  fake::Fake().calls.push_back("ProgramMain");
  gMainSaw.assign(argv, argv + argc);
  return gMainStatus;
}

class StartupTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    gMainStatus = 0;
    gMainSaw.clear();
    rt().texts[kStartFailure] = "USETRAIL_DATA is not set";
    rt().texts[kMainFailure] = "Something broke";
    rt().startupExitValue = 7;
  }
};

TEST_F(StartupTest, ExitStatusTable) {
  struct Case {
    const char* situation;
    std::function<void(fake::Runtime&)> script;
    Status mainStatus;
    std::vector<std::string> calls;
    std::string out;
    int exitStatus;
  } cases[] = {
      {"init fails",
       [](fake::Runtime& r) { r.initStatus = kStartFailure; },
       0,
       {"RuntimeInit", "StartupStatusText(421,255)"},
       "\r\nUSETRAIL_DATA is not set\r\n\r\n",
       7},
      {"init fails, already shown",
       [](fake::Runtime& r) { r.initStatus = kStartFailure | 0x8000; },
       0,
       {"RuntimeInit", "StartupStatusText(33189,255)"},
       "",
       7},
      {"taking the arguments fails",
       [](fake::Runtime& r) { r.takeArgsStatus = kStartFailure; },
       0,
       {"RuntimeInit", "RuntimeTakeArgs", "StartupStatusText(421,255)", "RuntimeTerm"},
       "\r\nUSETRAIL_DATA is not set\r\n\r\n",
       7},
      {"entering main fails",
       [](fake::Runtime& r) { r.enterMainStatus = kStartFailure; },
       0,
       {"RuntimeInit", "RuntimeTakeArgs", "RuntimeEnterMain", "RuntimeReleaseArgs", "RuntimeTerm"},
       "",
       -1},
      {"main fails",
       [](fake::Runtime&) {},
       kMainFailure,
       {"RuntimeInit", "RuntimeTakeArgs", "RuntimeEnterMain", "ProgramMain", "StatusText(1234,255)",
        "RuntimeReleaseArgs", "RuntimeTerm"},
       "\r\nSomething broke\r\n\r\n",
       -1},
      {"main fails, already shown",
       [](fake::Runtime&) {},
       kMainFailure | 0x8000,
       {"RuntimeInit", "RuntimeTakeArgs", "RuntimeEnterMain", "ProgramMain", "RuntimeReleaseArgs",
        "RuntimeTerm"},
       "",
       -1},
      {"main fails with a status the runtime has no text for",
       [](fake::Runtime&) {},
       77,
       {"RuntimeInit", "RuntimeTakeArgs", "RuntimeEnterMain", "ProgramMain", "StatusText(77,255)",
        "RuntimeReleaseArgs", "RuntimeTerm"},
       "\r\n\r\n\r\n",
       -1},
      {"main succeeds",
       [](fake::Runtime&) {},
       0,
       {"RuntimeInit", "RuntimeTakeArgs", "RuntimeEnterMain", "ProgramMain", "RuntimeReleaseArgs",
        "RuntimeTerm"},
       "",
       0},
  };
  for (const Case& c : cases) {
    SetUp();
    c.script(rt());
    gMainStatus = c.mainStatus;
    Args args{"usetrail", "db"};
    int exitStatus = 0;
    Output o = Capture([&] { exitStatus = RunStartup(args.argc(), args.argv(), RecordingMain); });
    EXPECT_EQ(rt().calls, c.calls) << c.situation;
    EXPECT_EQ(o.out, c.out) << c.situation;
    EXPECT_EQ(o.err, "") << c.situation;
    EXPECT_EQ(exitStatus, c.exitStatus) << c.situation;
  }
}

TEST_F(StartupTest, MainSeesTheVectorTheRuntimeHandedBack) {
  rt().takeArgsVector = {"usetrail", "srv", "names.db", "/i"};
  Args args{"usetrail", "ignored"};
  Capture([&] { EXPECT_EQ(RunStartup(args.argc(), args.argv(), RecordingMain), 0); });
  EXPECT_EQ(gMainSaw, (std::vector<std::string>{"usetrail", "srv", "names.db", "/i"}));
  EXPECT_EQ(rt().enteredRoutine, &ProcessEntry);
}

TEST_F(StartupTest, LostOutputEndsWithStatusOneAfterTheShutdown) {
  const MainRoutine losing = [](int32_t, char**) -> Status {
    fake::Fake().calls.push_back("ProgramMain");
    errno = ENOSPC;
    NoteWriteResult(stdout, -1);
    FinishOutput(stderr);
    return 0;
  };
  Args args{"usetrail", "db"};
  int exitStatus = 0;
  Output o = Capture([&] { exitStatus = RunStartup(args.argc(), args.argv(), losing); });
  EXPECT_EQ(exitStatus, 1);
  EXPECT_EQ(o.err,
            "Unable to write to standard output: " + std::string(std::strerror(ENOSPC)) + "\n");
  EXPECT_EQ(rt().calls.back(), "RuntimeTerm");
}

TEST_F(StartupTest, LongStatusTextIsCutTo255) {
  rt().initStatus = kStartFailure;
  rt().texts[kStartFailure] = std::string(400, 'x');
  Args args{"usetrail"};
  Output o = Capture([&] { RunStartup(args.argc(), args.argv(), RecordingMain); });
  EXPECT_EQ(o.out, "\r\n" + std::string(255, 'x') + "\r\n\r\n");
}

}  // namespace
