// Locking and freeing the entries block of an activity log.
#include "report/activity_block.h"

ActivityBlock LockActivityBlock(MemHandle handle, uint16_t count) {
  ActivityBlock block{handle, nullptr, 0};
  if (handle == 0) return block;
  block.entries = static_cast<const unsigned char*>(MemLock(handle));
  // A block that cannot be locked has nothing to read: no entries.
  if (block.entries != nullptr) block.count = count;
  return block;
}

void ReleaseActivityBlock(const ActivityBlock& block) {
  if (block.handle == 0) return;
  // Unlocked even when the lock gave no address: a runtime may count the
  // lock of an empty block and still hand back none.
  MemUnlock(block.handle);
  MemFree(block.handle);
}
