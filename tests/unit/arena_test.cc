#include "common/arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// Requests against an arena of 64-byte chunks, what each gets and what the
// arena then holds from the system.
TEST(Arena, TakesFromChunksWithinItsBound) {
  struct Case {
    const char* what;
    std::size_t limit;
    std::size_t sizes[3];
    bool given[3];
    std::size_t chunks;
  };
  constexpr std::size_t kChunk = sizeof(ArenaChunk) + 64;
  const Case cases[] = {
      {"small requests share a chunk", 0, {8, 10, 24}, {true, true, true}, 1},
      {"a full chunk makes a new one", 0, {40, 40, 8}, {true, true, true}, 2},
      {"a request beyond a chunk gets one of its own size", 0, {8, 200, 8}, {true, true, true}, 3},
      {"the bound refuses a chunk, not what fits the last",
       kChunk,
       {40, 40, 16},
       {true, false, true},
       1},
      {"a request beyond the bound is refused whole",
       kChunk,
       {SIZE_MAX, 1000, 8},
       {false, false, true},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Arena arena{64};
    arena.limit = c.limit;
    for (int i = 0; i < 3; ++i) {
      char* memory = ArenaTake(arena, c.sizes[i]);
      EXPECT_EQ(memory != nullptr, c.given[i]) << i;
      if (memory == nullptr) continue;
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % kArenaAlign, 0u);
      std::memset(memory, 'x', c.sizes[i]);  // the sanitizers see every byte is ours
    }
    std::size_t chunks = 0;
    for (ArenaChunk* chunk = arena.chunks; chunk != nullptr; chunk = chunk->next) ++chunks;
    EXPECT_EQ(chunks, c.chunks);
    EXPECT_LE(arena.held, c.limit == 0 ? SIZE_MAX : c.limit);
    ArenaFreeChunks(arena);
    EXPECT_EQ(arena.held, 0u);
    EXPECT_EQ(arena.chunks, nullptr);
    EXPECT_EQ(arena.limit, c.limit);
  }
}

}  // namespace
