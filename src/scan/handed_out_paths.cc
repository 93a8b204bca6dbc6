// Each path is a record, its length and hash, followed by its bytes, in
// chunks taken from the system as they fill; a path longer than a chunk gets
// a chunk of its own size. The index is an open-addressing table of pointers
// to the records, at most half full, grown by doubling; the hash is the
// run's keyed name hash, so directory names cannot be chosen to crowd it.
#include "scan/handed_out_paths.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/arena.h"
#include "report/name_hash.h"

namespace {

struct PathRecord {
  uint32_t length;
  uint32_t hash;  // low bits of the path's hash, to grow the index without hashing again
};

std::string_view PathOf(const PathRecord* record) {
  return {reinterpret_cast<const char*>(record + 1), record->length};
}

constexpr std::size_t kChunkSize = std::size_t{256} << 10;
static_assert(alignof(PathRecord) <= kArenaAlign);

struct Paths {
  Arena arena{kChunkSize};
  const PathRecord* last = nullptr;
  std::size_t count = 0;
  const PathRecord** slots = nullptr;  // the index, once made
  std::size_t slotCount = 0;           // a power of two
};

Paths paths;

uint32_t HashOf(std::string_view path) { return static_cast<uint32_t>(NameHash(path)); }

// Puts a record into the index, which has room for it.
void Insert(const PathRecord* record) {
  const std::size_t mask = paths.slotCount - 1;
  std::size_t slot = record->hash & mask;
  while (paths.slots[slot] != nullptr) slot = (slot + 1) & mask;
  paths.slots[slot] = record;
}

// Doubles the index (or makes the first one) and puts every record back.
bool Grow(std::size_t needed) {
  std::size_t count = paths.slotCount == 0 ? 1024 : paths.slotCount;
  while (count < 2 * needed) count *= 2;
  if (count == paths.slotCount) return true;
  auto** slots =
      static_cast<const PathRecord**>(ArenaAllocate(paths.arena, count * sizeof(PathRecord*)));
  if (slots == nullptr) return false;
  std::fill(slots, slots + count, nullptr);
  const PathRecord** old = paths.slots;
  const std::size_t oldCount = paths.slotCount;
  paths.slots = slots;
  paths.slotCount = count;
  for (std::size_t i = 0; i < oldCount; ++i) {
    if (old[i] != nullptr) Insert(old[i]);
  }
  if (old != nullptr) ArenaRelease(paths.arena, old, oldCount * sizeof(PathRecord*));
  return true;
}

// Calls `visit` for every record of the arena.
template <typename Visit>
void EachRecord(Visit visit) {
  for (ArenaChunk* chunk = paths.arena.chunks; chunk != nullptr; chunk = chunk->next) {
    char* at = reinterpret_cast<char*>(chunk + 1);
    char* end = at + chunk->used;
    while (at < end) {
      auto* record = reinterpret_cast<PathRecord*>(at);
      visit(record);
      at += ArenaRounded(sizeof(PathRecord) + record->length);
    }
  }
}

}  // namespace

void ForgetHandedOutPaths() {
  ArenaFreeChunks(paths.arena);
  if (paths.slots != nullptr) {
    ArenaRelease(paths.arena, paths.slots, paths.slotCount * sizeof(PathRecord*));
  }
  const std::size_t limit = paths.arena.limit;
  paths = Paths{};
  paths.arena.limit = limit;
}

bool KeepHandedOutPath(std::string_view path) {
  if (path.size() > UINT32_MAX - sizeof(PathRecord) - kArenaAlign) return false;
  // The index is grown first, so that a path is kept only when it can be
  // found too.
  if (paths.slots != nullptr && !Grow(paths.count + 1)) return false;
  char* memory = ArenaTake(paths.arena, sizeof(PathRecord) + path.size());
  if (memory == nullptr) return false;
  auto* record = reinterpret_cast<PathRecord*>(memory);
  record->length = static_cast<uint32_t>(path.size());
  record->hash = paths.slots != nullptr ? HashOf(path) : 0;
  if (!path.empty()) std::memcpy(record + 1, path.data(), path.size());
  paths.last = record;
  ++paths.count;
  if (paths.slots != nullptr) Insert(record);
  return true;
}

bool IsLastHandedOutPath(std::string_view path) {
  return paths.last != nullptr && PathOf(paths.last) == path;
}

bool IndexHandedOutPaths() {
  if (paths.slots != nullptr) return true;
  if (!Grow(paths.count + 1)) return false;
  // Paths kept before the index was made have no hash yet.
  EachRecord([](PathRecord* record) {
    record->hash = HashOf(PathOf(record));
    Insert(record);
  });
  return true;
}

bool WasHandedOut(std::string_view path) {
  if (paths.slots == nullptr) return false;
  const uint32_t hash = HashOf(path);
  const std::size_t mask = paths.slotCount - 1;
  for (std::size_t slot = hash & mask; paths.slots[slot] != nullptr; slot = (slot + 1) & mask) {
    const PathRecord* record = paths.slots[slot];
    if (record->hash == hash && PathOf(record) == path) return true;
  }
  return false;
}

std::size_t HandedOutPathCount() { return paths.count; }

std::size_t HandedOutPathsMemory() { return paths.arena.held; }

void SetHandedOutPathsMemoryLimit(std::size_t bytes) { paths.arena.limit = bytes; }
