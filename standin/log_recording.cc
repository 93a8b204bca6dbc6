// Recordings of activity logs: per entry the time as the difference from the entry before,
// the counts, and the number of the user name in a pool that all recordings share (a data
// directory's logs mostly name the same few users).
#include "log_recording.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "log_builder.h"

namespace standin {
namespace {

// Room is taken from the budget this many bytes at a time.
constexpr size_t kBudgetStep = size_t{16} << 10;

size_t budgetInUse = 0;
size_t liveRecordings = 0;

bool TakeBudget(size_t bytes) {
  if (budgetInUse + bytes > kRecordingBudget) return false;
  budgetInUse += bytes;
  return true;
}

// The user names of every recording, each once, found again by a hash whose
// seed is drawn per run, so that no set of names can be chosen to collide.
class NamePool {
 public:
  // The number of `name`, added when new; false when the budget has no room.
  bool Intern(std::string_view name, uint32_t* id) {
    if (seed_ == 0) {
      std::random_device device;
      seed_ = (uint64_t{device()} << 32 | device()) | 1;
    }
    if (slots_.empty()) slots_.assign(1024, 0);
    const size_t mask = slots_.size() - 1;
    for (size_t at = Hash(name) & mask;; at = (at + 1) & mask) {
      const uint32_t slot = slots_[at];
      if (slot == 0) break;
      if (Name(slot - 1) == name) {
        *id = slot - 1;
        return true;
      }
    }
    // New: room for its bytes and its place in the table first.
    const size_t cost = name.size() + sizeof(Span) + 2 * sizeof(uint32_t);
    while (counted_ + cost > taken_) {
      if (!TakeBudget(kBudgetStep)) return false;
      taken_ += kBudgetStep;
    }
    counted_ += cost;
    *id = static_cast<uint32_t>(spans_.size());
    spans_.push_back({text_.size(), name.size()});
    text_.append(name);
    if (2 * spans_.size() > slots_.size()) {
      Grow();
    } else {
      Place(*id);
    }
    return true;
  }

  std::string_view Name(uint32_t id) const {
    const Span& span = spans_[id];
    return std::string_view(text_.data() + span.offset, span.length);
  }

  // Forgets every name; the seed stays.
  void Clear() {
    budgetInUse -= taken_;
    const uint64_t seed = seed_;
    *this = NamePool();
    seed_ = seed;
  }

 private:
  struct Span {
    size_t offset;
    size_t length;
  };

  uint64_t Hash(std::string_view name) const {
    constexpr uint64_t kOdd = 0x9e3779b97f4a7c15;
    uint64_t hash = seed_ ^ (name.size() * kOdd);
    size_t at = 0;
    for (; at + 8 <= name.size(); at += 8) {
      uint64_t word = 0;
      std::memcpy(&word, name.data() + at, 8);
      hash = (hash ^ word) * kOdd;
      hash ^= hash >> 29;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, name.data() + at, name.size() - at);
    hash = (hash ^ tail) * kOdd;
    hash ^= hash >> 32;
    hash *= 0xd6e8feb86659fd93;
    return hash ^ (hash >> 32);
  }

  void Place(uint32_t id) {
    const size_t mask = slots_.size() - 1;
    size_t at = Hash(Name(id)) & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = id + 1;
  }

  void Grow() {
    slots_.assign(slots_.size() * 2, 0);
    for (uint32_t id = 0; id < spans_.size(); ++id) Place(id);
  }

  uint64_t seed_ = 0;
  std::string text_;
  std::vector<Span> spans_;
  std::vector<uint32_t> slots_;  // id + 1; 0 is free
  size_t counted_ = 0;           // bytes the pool is charged with
  size_t taken_ = 0;             // budget taken for them
};

NamePool& Pool() {
  static NamePool pool;
  return pool;
}

uint64_t ZigZag(int64_t value) {
  return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t UnZigZag(uint64_t value) {
  return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

uint64_t Get(const uint8_t** at) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const uint8_t byte = *(*at)++;
    value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

LogRecording::LogRecording() { ++liveRecordings; }

LogRecording::~LogRecording() {
  budgetInUse -= counted_;
  // The names are given back once no recording uses them.
  if (--liveRecordings == 0) Pool().Clear();
}

void LogRecording::Put(uint64_t value) {
  while (value >= 0x80) {
    bytes_.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  bytes_.push_back(static_cast<uint8_t>(value));
}

void LogRecording::Add(bool timeValid, int64_t seconds, uint16_t reads, uint16_t writes,
                       std::string_view user) {
  if (!complete_) return;
  // An entry takes at most 21 bytes; the room is charged as it is taken.
  bool room = true;
  if (bytes_.size() + 32 > bytes_.capacity()) {
    const size_t grow = std::max(bytes_.capacity(), kBudgetStep);
    room = TakeBudget(grow);
    if (room) {
      counted_ += grow;
      bytes_.reserve(bytes_.capacity() + grow);
    }
  }
  uint32_t id = 0;
  if (!room || !Pool().Intern(user, &id)) {
    complete_ = false;
    budgetInUse -= counted_;
    counted_ = 0;
    bytes_ = std::vector<uint8_t>();
    return;
  }
  // 0 for an invalid time; else one more than the difference, zigzagged.
  Put(timeValid ? ZigZag(seconds - lastSeconds_) + 1 : 0);
  if (timeValid) lastSeconds_ = seconds;
  Put(reads);
  Put(writes);
  Put(id);
  ++entries_;
}

void LogRecording::Replay(LogBuilder* builder) const {
  const uint8_t* at = bytes_.data();
  int64_t seconds = 0;
  for (size_t i = 0; i < entries_; ++i) {
    const uint64_t time = Get(&at);
    if (time != 0) seconds += UnZigZag(time - 1);
    const auto reads = static_cast<uint16_t>(Get(&at));
    const auto writes = static_cast<uint16_t>(Get(&at));
    const auto id = static_cast<uint32_t>(Get(&at));
    builder->Add(time != 0, seconds, reads, writes, Pool().Name(id));
  }
}

size_t RecordingBytesInUse() { return budgetInUse; }

}  // namespace standin
