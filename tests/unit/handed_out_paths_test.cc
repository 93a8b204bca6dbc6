// The paths a scan handed out: kept byte for byte, found before and after
// the index is made, and nothing kept when memory runs short.
#include "scan/handed_out_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class HandedOutPathsTest : public testing::Test {
 protected:
  void SetUp() override {
    SetHandedOutPathsMemoryLimit(0);
    ForgetHandedOutPaths();
  }
  void TearDown() override { SetUp(); }
};

TEST_F(HandedOutPathsTest, PathsAreToldApartByEveryByte) {
  const std::string p255(255, 'p');
  const std::string huge(300000, 'h');  // longer than a chunk
  const std::vector<std::string> kept = {"a.db",     "mail/a.db", "",  std::string("x\0y", 3),
                                         p255 + "1", p255 + "2",  huge};
  const std::vector<std::string> others = {
      "A.db", "a.db ", "a.d",      "mail\\a.db", std::string("x\0z", 3),
      "x",    p255,    p255 + "3", huge + "h",   huge.substr(1)};
  for (const std::string& path : kept) ASSERT_TRUE(KeepHandedOutPath(path));
  EXPECT_TRUE(IsLastHandedOutPath(huge));
  EXPECT_FALSE(IsLastHandedOutPath(p255 + "2"));
  // Paths kept before the index and after it are found alike.
  ASSERT_TRUE(IndexHandedOutPaths());
  ASSERT_TRUE(KeepHandedOutPath("after.db"));
  EXPECT_TRUE(IsLastHandedOutPath("after.db"));
  for (const std::string& path : kept) EXPECT_TRUE(WasHandedOut(path)) << path.substr(0, 20);
  EXPECT_TRUE(WasHandedOut("after.db"));
  for (const std::string& path : others) EXPECT_FALSE(WasHandedOut(path)) << path.substr(0, 20);
  EXPECT_EQ(HandedOutPathCount(), kept.size() + 1);
}

TEST_F(HandedOutPathsTest, TheIndexGrowsWithThePaths) {
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(KeepHandedOutPath("db" + std::to_string(i)));
  ASSERT_TRUE(IndexHandedOutPaths());
  for (int i = 5000; i < 20000; ++i) ASSERT_TRUE(KeepHandedOutPath("db" + std::to_string(i)));
  for (int i = 0; i < 20000; ++i) ASSERT_TRUE(WasHandedOut("db" + std::to_string(i))) << i;
  EXPECT_FALSE(WasHandedOut("db20000"));
  EXPECT_GT(HandedOutPathsMemory(), 0u);
  ForgetHandedOutPaths();
  EXPECT_EQ(HandedOutPathsMemory(), 0u);
  EXPECT_EQ(HandedOutPathCount(), 0u);
  EXPECT_FALSE(IsLastHandedOutPath("db19999"));
}

TEST_F(HandedOutPathsTest, MemoryShortKeepsNothingAndSaysSo) {
  struct Case {
    const char* what;
    size_t limit;
    bool indexFirst;
    bool keeps, indexes;
  } cases[] = {
      {"no room for a chunk", 9000, false, false, true},
      {"no room at all", 1000, false, false, false},
      {"room for a chunk, not for the index", (size_t{1} << 18) + 64, false, true, false},
      {"room for the index, not then for a chunk", (size_t{1} << 18) + 64, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    SetHandedOutPathsMemoryLimit(c.limit);
    if (c.indexFirst) {
      ASSERT_TRUE(IndexHandedOutPaths());
    }
    EXPECT_EQ(KeepHandedOutPath("a.db"), c.keeps);
    EXPECT_EQ(HandedOutPathCount(), c.keeps ? 1u : 0u);
    EXPECT_EQ(IsLastHandedOutPath("a.db"), c.keeps);
    EXPECT_EQ(IndexHandedOutPaths(), c.indexes);
    EXPECT_LE(HandedOutPathsMemory(), c.limit);
  }
}

}  // namespace
