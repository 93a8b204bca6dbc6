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

bool BlockExists(MemHandle handle) { return Find(handle) != nullptr; }
void FreeAllBlocks() { Blocks().clear(); }
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
  if (standin::Blocks().erase(handle) == 0) return standin::Fail(standin::kUnknownMemory);
  return 0;
}

}  // extern "C"
