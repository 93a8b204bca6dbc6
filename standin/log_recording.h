// An activity log read at a directory search and kept, a few bytes an entry, for the opening
// of the same database that follows: replayed through a log builder, it gives exactly what
// reading the file again would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace standin {

class LogBuilder;

// Every recording and the user names they share are held within this many
// bytes in all; a log that would pass it is not kept, and is read again when
// its database is opened.
constexpr size_t kRecordingBudget = size_t{24} << 20;

class LogRecording {
 public:
  LogRecording();
  ~LogRecording();
  LogRecording(const LogRecording&) = delete;
  LogRecording& operator=(const LogRecording&) = delete;

  // One entry, as LogBuilder::Add takes it.
  void Add(bool timeValid, int64_t seconds, uint16_t reads, uint16_t writes, std::string_view user);
  // Whether every entry was kept: false once the budget ran out.
  bool complete() const { return complete_; }
  size_t entries() const { return entries_; }
  // Hands every entry to `builder`, in the order they were added.
  void Replay(LogBuilder* builder) const;

 private:
  void Put(uint64_t value);

  std::vector<uint8_t> bytes_;
  size_t entries_ = 0;
  size_t counted_ = 0;  // room of bytes_ charged to the budget
  int64_t lastSeconds_ = 0;
  bool complete_ = true;
};

// Bytes of the budget in use now (recordings and shared names).
size_t RecordingBytesInUse();

}  // namespace standin
