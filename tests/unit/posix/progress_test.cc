// Progress on a real pseudo-terminal: shown while the report goes to a file,
// erased at the end, and never a byte of difference in the report itself.
#include "cli/progress.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/program_main.h"
#include "test_support.h"

namespace {

int64_t gClockMs = 0;
int64_t gClockStep = 0;
int64_t SteppingClock() { return gClockMs += gClockStep; }

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  lseek(fd, 0, SEEK_SET);
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

class ProgressTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    for (int i = 0; i < 40; ++i) {
      const std::string path = "db" + std::to_string(100 + i) + ".db";
      rt().directories[""].push_back(fake::DbEntry(path, "T"));
      if (failOne && i == 20) continue;  // found, but it does not open
      rt().databases[path].log = {{fake::At("2026-12-07 08:00:00"), 1, 2, "CN=U"}};
    }
  }
  void TearDown() override { SetProgressClock(nullptr); }

  bool failOne = false;

  // Runs the tool with the report going to a file and the initial standard
  // error to `errFd`; gives back the report file's content.
  std::string Run(int errFd, int outFd, bool overview, const char* pattern) {
    return Run(errFd, outFd,
               overview ? Args{"usetrail", "/o", pattern} : Args{"usetrail", pattern});
  }

  std::string Run(int errFd, int outFd, Args argv) {
    SetUp();
    gClockMs = 0;
    SetProgressClock(SteppingClock);
    std::fflush(nullptr);
    const int savedOut = dup(1);
    const int savedErr = dup(2);
    dup2(outFd, 1);
    dup2(errFd, 2);
    ProgramMain(argv.argc(), argv.argv());
    std::fflush(nullptr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    return isatty(outFd) ? std::string() : ReadAll(outFd);
  }
};

TEST_F(ProgressTest, ShownOnlyOnATerminalAfterHalfASecondAndErased) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  fcntl(master, F_SETFL, O_NONBLOCK);

  auto file = [] {
    char name[] = "/tmp/usetrail-progress-XXXXXX";
    const int fd = mkstemp(name);
    unlink(name);
    return fd;
  };
  struct Case {
    const char* name;
    bool errOnTerminal;
    bool outOnTerminal;
    int64_t step;  // milliseconds per clock reading: one at the start, one per database
    bool overview;
    const char* pattern;
    const char* shown;  // expected on the terminal; null: nothing at all
  };
  const Case cases[] = {
      {"report", true, false, 100, false, "*",
       "\r5 databases searched, 5 reported, 5 entries printed"},
      {"overview", true, false, 100, true, "db10*",
       "\r5 databases searched, 5 reported, 5 entries counted"},
      {"short run", true, false, 10, false, "*", nullptr},
      {"report on the terminal", true, true, 100, false, "*", nullptr},
      {"standard error a file", false, false, 100, false, "*", nullptr},
  };
  std::string plain;  // the report with standard error a file
  {
    const int out = file();
    const int err = file();
    gClockStep = 100;
    plain = Run(err, out, false, "*");
    close(out);
    close(err);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gClockStep = c.step;
    const int out = c.outOnTerminal ? terminal : file();
    const int err = c.errOnTerminal ? terminal : file();
    const std::string report = Run(err, out, c.overview, c.pattern);
    std::string screen;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
      screen.append(buffer, static_cast<size_t>(n));
    }
    if (!c.outOnTerminal && !c.overview) {
      EXPECT_EQ(report, plain);
    }
    if (c.shown == nullptr) {
      if (!c.outOnTerminal) {
        EXPECT_EQ(screen, "");
      }
      EXPECT_EQ(screen.find("searched"), std::string::npos);
    } else {
      // First shown after half a second, rewritten in place, then erased.
      const std::string first(c.shown);
      EXPECT_EQ(screen.substr(0, first.size()), first);
      EXPECT_GT(screen.size(), 3 * first.size());  // updated several times
      const size_t erase = screen.rfind('\r', screen.size() - 2);
      ASSERT_NE(erase, std::string::npos);
      EXPECT_EQ(screen.substr(erase), "\r" + std::string(screen.size() - erase - 2, ' ') + "\r");
      EXPECT_GE(screen.size() - erase - 2, first.size() - 1);
      EXPECT_EQ(screen.find('\n'), std::string::npos);
    }
    if (!c.outOnTerminal) close(out);
    if (!c.errOnTerminal) close(err);
  }
  close(terminal);
  close(master);
}

// A table's failures go to the same terminal as the progress line: the line
// is erased first, so that each message stands whole on a line of its own.
TEST_F(ProgressTest, MessagesOfATableEraseTheLineFirst) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  fcntl(master, F_SETFL, O_NONBLOCK);
  char name[] = "/tmp/usetrail-progress-XXXXXX";
  const int out = mkstemp(name);
  unlink(name);

  gClockStep = 100;
  failOne = true;
  for (const char* view : {"/t", "/u"}) {
    SCOPED_TRACE(view);
    ftruncate(out, 0);
    Args argv{"usetrail", view, "*"};
    Run(terminal, out, std::move(argv));
    std::string screen;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
      screen.append(buffer, static_cast<size_t>(n));
    }
    const std::string message = "db120.db: Unable to open database\r\n";  // the terminal's line end
    const size_t at = screen.find(message);
    ASSERT_NE(at, std::string::npos) << screen;
    EXPECT_EQ(screen[at - 1], '\r');                            // the end of the erasing
    EXPECT_NE(screen.find("entries ", at), std::string::npos);  // shown again afterwards
    EXPECT_EQ(screen.find("db1", at + message.size()), std::string::npos);
  }
  close(out);
  close(terminal);
  close(master);
}

}  // namespace
