// DbGetUserActivity: hands out the activity log of an open database as a summary and a
// block of entries followed by the user names.
#include <cstring>
#include <new>
#include <vector>

#include "open_objects.h"
#include "platform.h"
#include "standin_internal.h"

extern "C" {

Status DbGetUserActivity(DbHandle handle, uint32_t /*flags*/, ActivitySummary* summary,
                         MemHandle* entries, uint16_t* count) {
  using standin::Fail;
  if (summary == nullptr || entries == nullptr || count == nullptr) {
    return Fail(standin::kBadArgument);
  }
  *entries = 0;
  *count = 0;
  const standin::OpenObject* object = standin::FindOpen(handle);
  if (object == nullptr) return Fail(standin::kUnknownHandle);
  if (!object->isDatabase) return Fail(standin::kNotADatabaseHandle);
  const standin::DatabaseContent& content = object->content;
  if (!content.recordActivity) return Fail(standin::kNoActivityLog);
  if (!content.entryError.empty()) {
    return Fail(standin::kBadEntry, "Database " + object->relPath + ": " + content.entryError);
  }

  // An empty log is no block at all: handle 0 (none) with a count of 0.
  const standin::KeptLog& kept = content.entries;
  if (kept.records.empty()) {
    *summary = content.summary;
    return 0;
  }
  // Records first, then every name with its terminator, in entry order.
  const size_t records = kept.records.size() * sizeof(ActivityEntry);
  const size_t size = records + kept.names.size();
  if (size > UINT32_MAX) return Fail(standin::kOutOfMemory);  // nameOffset is 32 bits
  std::vector<uint8_t> block = standin::SpareBlock();
  try {
    block.resize(size);
  } catch (const std::bad_alloc&) {
    return Fail(standin::kOutOfMemory);
  }
  for (size_t i = 0; i < kept.records.size(); ++i) {
    ActivityEntry record = kept.records[i];
    record.nameOffset += static_cast<uint32_t>(records);
    std::memcpy(block.data() + i * sizeof record, &record, sizeof record);
  }
  if (!kept.names.empty()) {
    std::memcpy(block.data() + records, kept.names.data(), kept.names.size());
    standin::platform::PackedToProgramText(reinterpret_cast<char*>(block.data() + records),
                                           kept.names.size());
  }
  MemHandle blockHandle = 0;
  if (Status status = standin::AllocateBlock(std::move(block), &blockHandle)) return status;
  *summary = content.summary;
  *entries = blockHandle;
  *count = static_cast<uint16_t>(kept.records.size());
  return 0;
}

}  // extern "C"
