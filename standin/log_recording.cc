// Recordings of activity logs: per entry the time as the difference from the entry before,
// the counts, and the number of the user name among the log's names. Sealed, a recording
// keeps its names in a pool that all recordings share (a data directory's logs mostly name
// the same few users).
#include "log_recording.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "log_builder.h"

namespace standin {
namespace {

size_t budgetInUse = 0;

bool Charge(size_t bytes) {
  if (budgetInUse + bytes > kRecordingBudget) return false;
  budgetInUse += bytes;
  return true;
}

void Refund(size_t bytes) { budgetInUse -= bytes; }

// A hash of names whose seed is drawn once per run, so that no set of names
// can be chosen to fall on the same slots.
uint64_t HashSeed() {
  static const uint64_t seed = [] {
    std::random_device device;
    return (uint64_t{device()} << 32 | device()) | 1;
  }();
  return seed;
}

uint64_t Load64(const char* at) {
  uint64_t word = 0;
  std::memcpy(&word, at, 8);
  return word;
}

uint64_t Mix(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * 0x9e3779b97f4a7c15;
  return hash ^ (hash >> 29);
}

uint64_t Hash(std::string_view name) {
  const char* at = name.data();
  size_t size = name.size();
  uint64_t hash = HashSeed() ^ (size * 0xd6e8feb86659fd93);
  if (size >= 8) {
    // Whole words, and the last eight bytes, which may overlap the one before.
    for (; size > 8; at += 8, size -= 8) hash = Mix(hash, Load64(at));
    hash = Mix(hash, Load64(name.data() + name.size() - 8));
  } else if (size > 0) {
    uint64_t word = 0;
    std::memcpy(&word, at, size);
    hash = Mix(hash, word);
  }
  hash *= 0xd6e8feb86659fd93;
  return hash ^ (hash >> 32);
}

// An open-addressing table of numbers (+1; 0 is free), found by the names
// that `name` gives for each number.
template <typename NameOf>
uint32_t* Find(std::vector<uint32_t>* slots, std::string_view name, NameOf nameOf) {
  const size_t mask = slots->size() - 1;
  for (size_t at = Hash(name) & mask;; at = (at + 1) & mask) {
    uint32_t& slot = (*slots)[at];
    if (slot == 0 || nameOf(slot - 1) == name) return &slot;
  }
}

// Twice the slots, with `count` numbers placed anew.
template <typename NameOf>
void Rehash(std::vector<uint32_t>* slots, uint32_t count, NameOf nameOf) {
  slots->assign(slots->size() * 2, 0);
  const size_t mask = slots->size() - 1;
  for (uint32_t number = 0; number < count; ++number) {
    size_t at = Hash(nameOf(number)) & mask;
    while ((*slots)[at] != 0) at = (at + 1) & mask;
    (*slots)[at] = number + 1;
  }
}

// The user names of every sealed recording, each once, in blocks that never
// move.
class NamePool {
 public:
  // The pool's number of `name`; false when the budget has no room for it.
  bool Intern(std::string_view name, uint32_t* number) {
    if (slots_.empty()) slots_.assign(1024, 0);
    uint32_t* slot = Find(&slots_, name, [this](uint32_t at) { return Name(at); });
    if (*slot == 0) {
      const size_t cost = name.size() + sizeof(std::string_view) + 2 * sizeof(uint32_t);
      if (count_ == kMaxNames || !Charge(cost)) return false;
      charged_ += cost;
      if (textBlocks_.empty() || textUsed_ + name.size() > kTextBlock) {
        textBlocks_.push_back(std::make_unique<char[]>(std::max(kTextBlock, name.size())));
        textUsed_ = 0;
      }
      char* copy = textBlocks_.back().get() + textUsed_;
      if (!name.empty()) std::memcpy(copy, name.data(), name.size());
      textUsed_ += name.size();
      if (count_ % kViewBlock == 0) {
        views_[count_ / kViewBlock] = std::make_unique<std::string_view[]>(kViewBlock);
      }
      views_[count_ / kViewBlock][count_ % kViewBlock] = std::string_view(copy, name.size());
      *slot = ++count_;
      *number = count_ - 1;
      // The slot moves with the table, so the number is taken first.
      if (2 * count_ > slots_.size()) {
        Rehash(&slots_, count_, [this](uint32_t at) { return Name(at); });
      }
      return true;
    }
    *number = *slot - 1;
    return true;
  }

  std::string_view Name(uint32_t number) const {
    return views_[number / kViewBlock][number % kViewBlock];
  }

  void AddUser() { ++users_; }

  // The names are given back once no recording uses them.
  void RemoveUser() {
    if (--users_ != 0) return;
    Refund(charged_);
    charged_ = 0;
    textBlocks_.clear();
    textUsed_ = 0;
    for (uint32_t block = 0; block * kViewBlock < count_; ++block) views_[block].reset();
    count_ = 0;
    slots_.clear();
  }

 private:
  static constexpr size_t kTextBlock = size_t{64} << 10;
  static constexpr uint32_t kViewBlock = 4096;
  static constexpr uint32_t kMaxNames = kViewBlock * 4096;

  std::vector<std::unique_ptr<char[]>> textBlocks_;
  size_t textUsed_ = 0;
  std::unique_ptr<std::string_view[]> views_[kMaxNames / kViewBlock];
  uint32_t count_ = 0;
  std::vector<uint32_t> slots_;
  size_t charged_ = 0;
  size_t users_ = 0;
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

[[gnu::always_inline]] inline uint8_t* Put(uint8_t* at, uint64_t value) {
  while (value >= 0x80) {
    *at++ = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  *at++ = static_cast<uint8_t>(value);
  return at;
}

[[gnu::always_inline]] inline uint64_t Get(const uint8_t** at) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const uint8_t byte = *(*at)++;
    value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if (byte < 0x80) return value;
  }
}

// An entry takes at most 10 + 3 + 3 + 5 bytes.
constexpr size_t kLargestEntry = 21;

}  // namespace

struct LogRecording::Draft {
  // This log's names, each once, by a table of their numbers (+1; 0 is free).
  std::string names;
  std::vector<uint32_t> ends;
  std::vector<uint32_t> slots = std::vector<uint32_t>(256, 0);

  std::string_view Name(uint32_t number) const {
    const uint32_t begin = number == 0 ? 0 : ends[number - 1];
    return std::string_view(names.data() + begin, ends[number] - begin);
  }
  size_t Cost() const { return names.size() + 3 * sizeof(uint32_t) * ends.size(); }
};

// A recording's own size is charged too, and that of what keeps it (a kept
// read, its title, the allocations): a data directory of many small logs keeps
// many recordings.
constexpr size_t kKeeping = sizeof(LogRecording) + 256;

LogRecording::LogRecording() : charged_(kKeeping), draft_(std::make_unique<Draft>()) {
  budgetInUse += charged_;
  Pool().AddUser();
}

LogRecording::~LogRecording() {
  Refund(charged_);
  Pool().RemoveUser();
}

void LogRecording::Drop() {
  complete_ = false;
  Refund(charged_ - kKeeping);
  charged_ = kKeeping;
  bytes_.reset();
  size_ = capacity_ = 0;
  draft_.reset();
  pooled_ = std::vector<uint32_t>();
}

// Room for `bytes` more, charged to the budget as it is taken.
bool LogRecording::Grow(size_t bytes) {
  const size_t capacity = std::max({capacity_ * 2, size_ + bytes, size_t{256}});
  if (!Charge(capacity - capacity_)) return false;
  charged_ += capacity - capacity_;
  auto grown = std::make_unique<uint8_t[]>(capacity);
  if (size_ != 0) std::memcpy(grown.get(), bytes_.get(), size_);
  bytes_ = std::move(grown);
  capacity_ = capacity;
  return true;
}

// The number of `user` among this log's names, added when new; the names
// are charged to the budget by their length.
uint32_t LogRecording::NameNumber(std::string_view user) {
  Draft& draft = *draft_;
  const auto nameOf = [&draft](uint32_t number) { return draft.Name(number); };
  uint32_t* slot = Find(&draft.slots, user, nameOf);
  if (*slot != 0) return *slot - 1;
  const size_t cost = user.size() + 3 * sizeof(uint32_t);
  if (draft.names.size() + user.size() > UINT32_MAX - 1 || !Charge(cost)) return UINT32_MAX;
  charged_ += cost;
  draft.names.append(user);
  draft.ends.push_back(static_cast<uint32_t>(draft.names.size()));
  const auto count = static_cast<uint32_t>(draft.ends.size());
  *slot = count;
  if (2 * count > draft.slots.size()) Rehash(&draft.slots, count, nameOf);
  return count - 1;
}

void LogRecording::Add(bool timeValid, int64_t seconds, uint16_t reads, uint16_t writes,
                       std::string_view user) {
  if (!complete_) return;
  const uint32_t number = NameNumber(user);
  if (number == UINT32_MAX || (size_ + kLargestEntry > capacity_ && !Grow(kLargestEntry))) {
    Drop();
    return;
  }
  // 0 for an invalid time; else one more than the difference, zigzagged.
  uint8_t* at = bytes_.get() + size_;
  at = Put(at, timeValid ? ZigZag(seconds - lastSeconds_) + 1 : 0);
  if (timeValid) lastSeconds_ = seconds;
  at = Put(at, reads);
  at = Put(at, writes);
  at = Put(at, number);
  size_ = static_cast<size_t>(at - bytes_.get());
  ++entries_;
}

void LogRecording::Seal() {
  if (!complete_ || !draft_) return;
  const Draft& draft = *draft_;
  pooled_.resize(draft.ends.size());
  for (uint32_t number = 0; number < draft.ends.size(); ++number) {
    if (!Pool().Intern(draft.Name(number), &pooled_[number])) {
      Drop();
      return;
    }
  }
  // The log's own copies of its names go; their numbers in the pool stay.
  const size_t draftCost = draft.Cost();
  draft_.reset();
  Refund(draftCost);
  charged_ -= draftCost;
  budgetInUse += pooled_.size() * sizeof(uint32_t);
  charged_ += pooled_.size() * sizeof(uint32_t);
  if (size_ < capacity_) {
    auto fitted = std::make_unique<uint8_t[]>(size_);
    if (size_ != 0) std::memcpy(fitted.get(), bytes_.get(), size_);
    bytes_ = std::move(fitted);
    Refund(capacity_ - size_);
    charged_ -= capacity_ - size_;
    capacity_ = size_;
  }
}

void LogRecording::Replay(LogBuilder* builder) const {
  const uint8_t* at = bytes_.get();
  int64_t seconds = 0;
  for (size_t i = 0; i < entries_; ++i) {
    const uint64_t time = Get(&at);
    if (time != 0) seconds += UnZigZag(time - 1);
    const auto reads = static_cast<uint16_t>(Get(&at));
    const auto writes = static_cast<uint16_t>(Get(&at));
    const auto number = static_cast<uint32_t>(Get(&at));
    builder->Add(time != 0, seconds, reads, writes, Pool().Name(pooled_[number]));
  }
}

size_t RecordingBytesInUse() { return budgetInUse; }

}  // namespace standin
