// DbGetUserActivity: hands out the activity log of an open database as a summary and a
// block of entries followed by the user names.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "open_objects.h"
#include "platform.h"
#include "standin_internal.h"

namespace standin {
namespace {
size_t blockLimit = kEntriesBlockLimit;
}  // namespace

size_t EntriesBlockLimit() { return blockLimit; }
void SetEntriesBlockLimit(size_t bytes) { blockLimit = bytes; }

size_t EntriesBlockSize(const KeptLog& kept) {
  return kept.records.size() * sizeof(ActivityEntry) + kept.names.size();
}

bool FillEntriesBlock(const KeptLog& kept, std::vector<uint8_t>* block) {
  // Records first, then every name with its terminator, in entry order.
  const size_t records = kept.records.size() * sizeof(ActivityEntry);
  try {
    block->resize(records + kept.names.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t i = 0; i < kept.records.size(); ++i) {
    const KeptRecord& entry = kept.records[i];
    const ActivityEntry record{entry.time, entry.reads, entry.writes,
                               static_cast<uint32_t>(records + entry.nameOffset)};
    std::memcpy(block->data() + i * sizeof record, &record, sizeof record);
  }
  if (!kept.names.empty()) {
    char* names = reinterpret_cast<char*>(block->data() + records);
    std::memcpy(names, kept.names.data(), kept.names.size());
    platform::PackedToProgramText(names, kept.names.size());
  }
  return true;
}

}  // namespace standin

extern "C" {

Status DbGetUserActivity(DbHandle handle, uint32_t flags, ActivitySummary* summary,
                         MemHandle* entries, uint16_t* count) try {
  using standin::Fail;
  if (summary == nullptr || entries == nullptr || count == nullptr) {
    return Fail(standin::kBadArgument);
  }
  *entries = 0;
  *count = 0;
  if (const Status fault = standin::CheckFixed("DbGetUserActivity", {{"flags", flags, 0}})) {
    return fault;
  }
  standin::OpenObject* object = standin::FindOpen(handle);
  if (object == nullptr) return Fail(standin::kUnknownHandle);
  if (!object->isDatabase) return Fail(standin::kNotADatabaseHandle);
  const standin::DatabaseContent& content = object->content;
  if (!content.recordActivity) return Fail(standin::kNoActivityLog);
  if (!content.entryError.empty()) {
    return Fail(standin::kBadEntry, "Database " + object->relPath + ": " + content.entryError);
  }

  const standin::KeptLog& kept = content.entries;
  // An empty log is no block at all: handle 0 (none) with a count of 0.
  if (kept.records.empty()) {
    *summary = content.summary;
    return 0;
  }
  const size_t size = standin::EntriesBlockSize(kept);
  // A name's place is 32 bits: a block beyond them would hand out wrong names.
  if (size > standin::EntriesBlockLimit()) {
    return Fail(standin::kLogTooLarge,
                "Database " + object->relPath + ": the activity log cannot be handed out: its " +
                    std::to_string(kept.records.size()) + " entries and their user names take " +
                    std::to_string(size) + " bytes, more than the " +
                    std::to_string(standin::EntriesBlockLimit()) + " an entries block can address");
  }
  std::vector<uint8_t> block = standin::SpareBlock();
  if (!standin::FillEntriesBlock(kept, &block)) return standin::MemoryShort(object->relPath);
  MemHandle blockHandle = 0;
  if (standin::AllocateBlock(std::move(block), &blockHandle) != 0) {
    return standin::MemoryShort(object->relPath);
  }
  *summary = content.summary;
  *entries = blockHandle;
  *count = static_cast<uint16_t>(kept.records.size());
  return 0;
} catch (const std::exception&) {
  return standin::Fail(standin::kOutOfMemory);
}

}  // extern "C"
