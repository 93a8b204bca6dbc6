// The keyed hash of user names: names chosen to share slots under one key
// spread out under another, a new run picks a new key, and the name set
// counts exactly when names crowd a few of its slots.
#include "report/name_hash.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "report/name_set.h"

namespace {

constexpr uint64_t kSlotMask = 0x3ff;

// `count` names whose hashes under the current key share their low bits.
std::vector<std::string> CraftCollisions(std::size_t count) {
  std::vector<std::string> names;
  for (uint64_t i = 0; names.size() < count; ++i) {
    std::string name = "CN=User " + std::to_string(i) + "/O=Acme";
    if ((NameHash(name) & kSlotMask) == 0) names.push_back(name);
  }
  return names;
}

TEST(NameHash, NamesCraftedForOneKeySpreadUnderAnother) {
  SetNameHashKey(1, 2);
  const std::vector<std::string> names = CraftCollisions(400);
  SetNameHashKey(3, 4);
  std::set<uint64_t> slots;
  for (const std::string& name : names) slots.insert(NameHash(name) & kSlotMask);
  EXPECT_GT(slots.size(), 250u);  // 400 throws into 1024 slots land on about 330
}

TEST(NameHash, EveryRunChoosesItsOwnKey) {
  ChooseNameHashKey();
  const uint64_t first = NameHash("CN=Jane Doe/O=Acme");
  ChooseNameHashKey();
  EXPECT_NE(NameHash("CN=Jane Doe/O=Acme"), first);
  EXPECT_NE(NameHash("a"), NameHash("b"));
  EXPECT_NE(NameHash(std::string("a\0", 2)), NameHash("a"));  // the length counts
}

TEST(NameHash, NameSetCountsExactlyWhenNamesCrowdItsSlots) {
  SetNameHashKey(5, 6);
  const std::vector<std::string> names = CraftCollisions(300);
  ClearNameSet();
  for (int round = 0; round < 2; ++round) {
    for (const std::string& name : names) AddName(name.c_str());
  }
  EXPECT_EQ(NameSetSize(), names.size());
  ClearNameSet();
  EXPECT_EQ(NameSetSize(), 0u);
  ChooseNameHashKey();
}

}  // namespace
