// The summary and the kept entries of an activity log, shared by both database readers so
// that they cannot differ in what they keep or count.
#include "log_builder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "standin_internal.h"

namespace standin {
namespace {

void AddCapped(uint32_t* total, uint64_t amount) {
  const uint64_t sum = *total + amount;
  *total = sum > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(sum);
}

// Overwritten names may take up to this many bytes more than the live ones
// before they are dropped, so a long log costs a copy now and then, not one
// per entry.
constexpr size_t kCompactSlack = size_t{1} << 20;

// Only the room of usual logs is kept.
constexpr size_t kLargestKeptSpare = size_t{16} << 20;

KeptLog& KeptSpare() {
  static KeptLog spare;
  return spare;
}

}  // namespace

KeptLog SpareLog() {
  KeptLog log = std::move(KeptSpare());
  log.records.clear();
  log.names.clear();
  return log;
}

void RecycleLog(KeptLog log) {
  if (log.records.capacity() * sizeof(KeptRecord) + log.names.capacity() > kLargestKeptSpare)
    return;
  if (log.names.capacity() > KeptSpare().names.capacity()) KeptSpare() = std::move(log);
}

LogBuilder::LogBuilder(int64_t now, DatabaseContent* out) : now_(now), out_(out) {}

void LogBuilder::Add(bool timeValid, int64_t seconds, uint16_t reads, uint16_t writes,
                     std::string_view user) {
  if (out_->recording) {
    out_->recording->Add(timeValid, seconds, reads, writes, user);
    return;
  }
  if (timeValid) {
    ActivitySummary& sum = out_->summary;
    if (!anyValid_ || seconds < earliest_) earliest_ = seconds;
    anyValid_ = true;
    AddCapped(&sum.uses, 1);
    AddCapped(&sum.reads, reads);
    AddCapped(&sum.writes, writes);
    // The last N days of 86,400 seconds up to and including now.
    const int64_t age = now_ - seconds;
    if (age >= 0 && age < 30 * 86400) {
      AddCapped(&sum.monthUses, 1);
      AddCapped(&sum.monthReads, reads);
      AddCapped(&sum.monthWrites, writes);
      if (age < 7 * 86400) {
        AddCapped(&sum.weekUses, 1);
        AddCapped(&sum.weekReads, reads);
        AddCapped(&sum.weekWrites, writes);
        if (age < 86400) {
          AddCapped(&sum.dayUses, 1);
          AddCapped(&sum.dayReads, reads);
          AddCapped(&sum.dayWrites, writes);
        }
      }
    }
  }

  KeptLog& kept = out_->entries;
  const KeptRecord record{timeValid ? MakeTime(seconds) : InvalidTime(), reads, writes,
                          kept.names.size()};
  if (added_ < kMaxEntries) {
    kept.records.push_back(record);
  } else {
    // A ring of the newest kMaxEntries; Finish puts them in file order.
    KeptRecord& slot = kept.records[added_ % kMaxEntries];
    liveNames_ -= std::strlen(kept.names.data() + slot.nameOffset) + 1;
    slot = record;
  }
  kept.names.append(user.data(), user.size());
  kept.names.push_back('\0');
  liveNames_ += user.size() + 1;
  ++added_;
  if (kept.names.size() > 2 * liveNames_ + kCompactSlack) Compact(added_ % kMaxEntries);
}

void LogBuilder::Compact(size_t oldest) {
  KeptLog& kept = out_->entries;
  std::string names;
  names.reserve(liveNames_);
  const size_t count = kept.records.size();
  for (size_t i = 0; i < count; ++i) {
    KeptRecord& record = kept.records[(oldest + i) % count];
    const char* name = kept.names.data() + record.nameOffset;
    record.nameOffset = names.size();
    names.append(name, std::strlen(name) + 1);
  }
  kept.names = std::move(names);
  liveNames_ = kept.names.size();
}

void LogBuilder::Finish() {
  if (out_->recording) {
    out_->recording->Seal();
    return;
  }
  KeptLog& kept = out_->entries;
  if (added_ > kMaxEntries) {
    const size_t oldest = added_ % kMaxEntries;
    Compact(oldest);  // names in file order, the overwritten ones gone
    std::rotate(kept.records.begin(), kept.records.begin() + static_cast<long>(oldest),
                kept.records.end());
  }
  const int64_t start = anyValid_ ? earliest_ : now_;
  out_->summary.periodStart = MakeTime(start);
  out_->summary.periodEnd = MakeTime(now_);
}

}  // namespace standin
