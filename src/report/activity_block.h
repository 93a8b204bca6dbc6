// The entries block of an activity log, as every view of the log reads it:
// locked for reading, then unlocked and freed. A block handle of 0 is no
// block at all (the runtime's way of handing back an empty log), and no
// runtime operation is ever called on it.
#pragma once

#include <cstdint>

#include "runtime/notes_runtime.h"

// The entries of one log, ready to read.
struct ActivityBlock {
  MemHandle handle;              // 0: none
  const unsigned char* entries;  // null: nothing to read
  uint16_t count;                // entries to read; 0 when `entries` is null
};

// Locks the block that DbGetUserActivity handed back with `count` entries.
// A handle of 0, or a block that cannot be locked, gives no entries.
ActivityBlock LockActivityBlock(MemHandle handle, uint16_t count);

// Unlocks and frees the block; nothing for handle 0.
void ReleaseActivityBlock(const ActivityBlock& block);
