// Runtime memory: blocks handed to the program under 32-bit handles.
#include <map>
#include <new>
#include <vector>

#include "standin_internal.h"

namespace standin {
namespace {

struct Block {
  std::vector<uint8_t> bytes;
  uint32_t locks = 0;
};

std::map<MemHandle, Block>& Blocks() {
  static std::map<MemHandle, Block> blocks;
  return blocks;
}

// The storage of the last block freed, for the next one: the program frees
// each database's entries block before it asks for the next, and fresh
// pages for every block cost more than filling them.
constexpr size_t kLargestSpare = size_t{32} << 20;

std::vector<uint8_t>& Spare() {
  static std::vector<uint8_t> spare;
  return spare;
}

Block* Find(MemHandle handle) {
  const auto found = Blocks().find(handle);
  return found == Blocks().end() ? nullptr : &found->second;
}

}  // namespace

Status AllocateBlock(std::vector<uint8_t> bytes, MemHandle* handle) {
  // An empty block still gets one byte so that locking it yields a pointer.
  if (bytes.empty()) bytes.push_back(0);
  const MemHandle number = NewHandleNumber();
  try {
    Blocks().emplace(number, Block{std::move(bytes), 0});
  } catch (const std::bad_alloc&) {
    return Fail(kOutOfMemory);
  }
  *handle = number;
  return 0;
}

std::vector<uint8_t> SpareBlock() {
  std::vector<uint8_t> bytes = std::move(Spare());
  bytes.clear();
  return bytes;
}

bool BlockExists(MemHandle handle) { return Find(handle) != nullptr; }
void FreeAllBlocks() {
  Blocks().clear();
  Spare() = std::vector<uint8_t>();
}
size_t LiveBlocks() { return Blocks().size(); }

}  // namespace standin

extern "C" {

void* MemLock(MemHandle handle) {
  standin::Block* block = standin::Find(handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->bytes.data();
}

Status MemUnlock(MemHandle handle) {
  standin::Block* block = standin::Find(handle);
  if (block == nullptr) return standin::Fail(standin::kUnknownMemory);
  if (block->locks == 0) return standin::Fail(standin::kNotLocked);
  --block->locks;
  return 0;
}

// A locked block may be freed too: the program owns it and says it is done.
Status MemFree(MemHandle handle) {
  const auto found = standin::Blocks().find(handle);
  if (found == standin::Blocks().end()) return standin::Fail(standin::kUnknownMemory);
  std::vector<uint8_t>& bytes = found->second.bytes;
  if (bytes.capacity() <= standin::kLargestSpare &&
      bytes.capacity() > standin::Spare().capacity()) {
    standin::Spare() = std::move(bytes);
  }
  standin::Blocks().erase(found);
  return 0;
}

}  // extern "C"
