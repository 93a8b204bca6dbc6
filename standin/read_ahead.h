// A second thread that reads database files ahead of the program: during a directory search
// the files whose titles the search will want next, and while the program prints one
// database the one it is likely to open next. The program's own thread takes each result
// over and makes any failure a status there, so statuses come in the program's order.
#pragma once

#include <atomic>
#include <memory>

namespace standin {

// A piece of work for either thread. Run touches only what the job holds
// and what is safe on any thread (reading files, the recordings' pool).
class ReadAheadJob {
 public:
  virtual ~ReadAheadJob() = default;
  virtual void Run() = 0;

 private:
  friend class ReadAhead;
  enum State : int { kQueued, kRunning, kDone, kWithdrawn };
  std::atomic<int> state_ = kQueued;
};

class ReadAhead {
 public:
  // Queues `job` for the second thread, which is started when first wanted.
  static void Submit(const std::shared_ptr<ReadAheadJob>& job);
  // Returns once `job` has run: on this thread, when the second has not
  // begun it, else after waiting for it.
  static void Finish(ReadAheadJob* job);
  // Makes sure `job` is not running, nor ever will: it is taken back if it
  // has not begun, else waited for.
  static void Withdraw(ReadAheadJob* job);
  // Takes back every queued job and ends the second thread.
  static void Stop();
  // Whether jobs go to the second thread; when not, each runs when finished.
  // Tests turn it off to see reads happen in the search's order.
  static void SetEnabled(bool enabled);
};

}  // namespace standin
