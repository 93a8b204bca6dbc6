// Memory that a table keeps for the whole run: chunks taken from the system
// as records come, never moved, all given back at once. A bound on what is
// taken lets tests make memory run short.
#pragma once

#include <cstddef>

struct ArenaChunk {
  ArenaChunk* next;
  std::size_t size;  // bytes after the header
  std::size_t used;
};

struct Arena {
  std::size_t chunkSize;         // bytes of an ordinary chunk
  ArenaChunk* chunks = nullptr;  // the newest first
  std::size_t held = 0;          // bytes taken from the system, chunks and the rest
  std::size_t limit = 0;         // 0: no bound
};

// Alignment of what the chunks hand out: records may need no more.
constexpr std::size_t kArenaAlign = alignof(ArenaChunk);

// `size` bytes from the system, within the arena's bound and counted in it;
// null when there are none.
void* ArenaAllocate(Arena& arena, std::size_t size);
void ArenaRelease(Arena& arena, void* memory, std::size_t size);

// `size` bytes from the chunks, rounded up to kArenaAlign; null when memory
// ran short. A request larger than a chunk gets a chunk of its own size.
char* ArenaTake(Arena& arena, std::size_t size);

// `size` rounded up as ArenaTake rounds it: where the next record begins.
constexpr std::size_t ArenaRounded(std::size_t size) {
  return (size + kArenaAlign - 1) / kArenaAlign * kArenaAlign;
}

// Gives every chunk back; the bound stays.
void ArenaFreeChunks(Arena& arena);
