#include "common/arena.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

static_assert(sizeof(ArenaChunk) % kArenaAlign == 0);

void* ArenaAllocate(Arena& arena, std::size_t size) {
  if (arena.limit != 0 && (size > arena.limit || arena.held > arena.limit - size)) return nullptr;
  void* memory = std::malloc(size);
  if (memory != nullptr) arena.held += size;
  return memory;
}

void ArenaRelease(Arena& arena, void* memory, std::size_t size) {
  std::free(memory);
  arena.held -= size;
}

char* ArenaTake(Arena& arena, std::size_t size) {
  if (size > SIZE_MAX - sizeof(ArenaChunk) - kArenaAlign) return nullptr;
  size = ArenaRounded(size);
  ArenaChunk* chunk = arena.chunks;
  if (chunk == nullptr || chunk->size - chunk->used < size) {
    const std::size_t room = std::max(arena.chunkSize, size);
    chunk = static_cast<ArenaChunk*>(ArenaAllocate(arena, sizeof(ArenaChunk) + room));
    if (chunk == nullptr) return nullptr;
    *chunk = ArenaChunk{arena.chunks, room, 0};
    arena.chunks = chunk;
  }
  char* memory = reinterpret_cast<char*>(chunk + 1) + chunk->used;
  chunk->used += size;
  return memory;
}

void ArenaFreeChunks(Arena& arena) {
  while (arena.chunks != nullptr) {
    ArenaChunk* next = arena.chunks->next;
    ArenaRelease(arena, arena.chunks, sizeof(ArenaChunk) + arena.chunks->size);
    arena.chunks = next;
  }
}
