// The entries block as every view of the log takes and gives it back: no
// runtime call on handle 0, and a real block always given back.
#include "report/activity_block.h"

#include <string>
#include <vector>

#include "test_support.h"

namespace {

class ActivityBlockTest : public RuntimeTest {};

TEST_F(ActivityBlockTest, LocksReadsAndGivesBackOnlyARealBlock) {
  struct Case {
    const char* name;
    MemHandle handle;
    uint16_t count;
    bool lockFails;
    uint16_t readable;  // entries offered for reading
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"empty log: no block", 0, 0, false, 0, {}},
      {"no block despite a count", 0, 3, false, 0, {}},
      {"a block", 7, 2, false, 2, {"MemLock(log)", "MemUnlock(log)", "MemFree(log)"}},
      {"a block that cannot be locked",
       7,
       2,
       true,
       0,
       {"MemLock(log)", "MemUnlock(log)", "MemFree(log)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.handle != 0) rt().blocks[c.handle] = {"log", std::vector<uint8_t>(64), 0};
    rt().lockFails = c.lockFails;
    const ActivityBlock block = LockActivityBlock(c.handle, c.count);
    EXPECT_EQ(block.count, c.readable);
    EXPECT_EQ(block.entries == nullptr, c.readable == 0);
    ReleaseActivityBlock(block);
    EXPECT_EQ(rt().calls, c.calls);
    EXPECT_EQ(rt().callsOnNone, 0);
    EXPECT_EQ(rt().LockedBlocks(), 0);
    EXPECT_EQ(rt().LiveBlocks(), 0);
  }
}

}  // namespace
