// An activity log read at a directory search and kept, a few bytes an entry, for the opening
// of the same database that follows: replayed through a log builder, it gives exactly what
// reading the file again would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

class LogBuilder;

// Every recording and the user names they share are held within this many
// bytes in all; a log that would pass it is not kept, and is read again when
// its database is opened.
constexpr size_t kRecordingBudget = size_t{16} << 20;

class LogRecording {
 public:
  LogRecording();
  ~LogRecording();
  LogRecording(const LogRecording&) = delete;
  LogRecording& operator=(const LogRecording&) = delete;

  // One entry, as LogBuilder::Add takes it.
  void Add(bool timeValid, int64_t seconds, uint16_t reads, uint16_t writes, std::string_view user);
  // Ends the recording: its names go to the pool that all recordings share,
  // and the room it did not fill is given back.
  void Seal();
  // Whether every entry was kept: false once the budget ran out.
  bool complete() const { return complete_; }
  size_t entries() const { return entries_; }
  // Hands every entry of a sealed recording to `builder`, in the order they
  // were added.
  void Replay(LogBuilder* builder) const;

 private:
  struct Draft;  // what is kept only while recording

  bool Grow(size_t bytes);
  uint32_t NameNumber(std::string_view user);
  void Drop();

  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t charged_ = 0;  // bytes charged to the budget
  size_t entries_ = 0;
  int64_t lastSeconds_ = 0;
  bool complete_ = true;
  std::unique_ptr<Draft> draft_;
  std::vector<uint32_t> pooled_;  // once sealed: the pool's number of each of the log's names
};

// Bytes of the budget in use now (recordings and shared names).
size_t RecordingBytesInUse();

}  // namespace standin
