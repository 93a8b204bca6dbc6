// The second thread and its queue. A job is claimed by whichever thread gets to it first:
// the program's thread never waits for a job the second thread has not begun.
#include "read_ahead.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace standin {
namespace {

struct Worker {
  std::mutex mutex;
  std::condition_variable wake;  // a job was queued, or the thread is to end
  std::condition_variable done;  // a job the thread ran is done
  std::deque<std::shared_ptr<ReadAheadJob>> queue;
  std::thread thread;
  bool stopping = false;
  bool unavailable = false;  // the thread could not be started: jobs run when finished
  bool disabled = false;

  ~Worker() { End(); }

  void End() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
      queue.clear();
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
    stopping = false;
  }
};

Worker& TheWorker() {
  static Worker worker;
  return worker;
}

}  // namespace

void ReadAhead::Submit(const std::shared_ptr<ReadAheadJob>& job) {
  Worker& worker = TheWorker();
  std::unique_lock<std::mutex> lock(worker.mutex);
  if (worker.unavailable || worker.disabled) return;
  if (!worker.thread.joinable()) {
    try {
      worker.thread = std::thread([&worker] {
        std::unique_lock<std::mutex> held(worker.mutex);
        for (;;) {
          worker.wake.wait(held, [&worker] { return worker.stopping || !worker.queue.empty(); });
          if (worker.stopping) return;
          const std::shared_ptr<ReadAheadJob> next = std::move(worker.queue.front());
          worker.queue.pop_front();
          int queued = ReadAheadJob::kQueued;
          if (!next->state_.compare_exchange_strong(queued, ReadAheadJob::kRunning)) continue;
          held.unlock();
          next->Run();
          held.lock();
          next->state_ = ReadAheadJob::kDone;
          worker.done.notify_all();
        }
      });
    } catch (const std::system_error&) {
      worker.unavailable = true;
      return;
    }
  }
  worker.queue.push_back(job);
  lock.unlock();
  worker.wake.notify_one();
}

void ReadAhead::Finish(ReadAheadJob* job) {
  int queued = ReadAheadJob::kQueued;
  if (job->state_.compare_exchange_strong(queued, ReadAheadJob::kRunning)) {
    job->Run();
    job->state_ = ReadAheadJob::kDone;
    return;
  }
  Worker& worker = TheWorker();
  std::unique_lock<std::mutex> lock(worker.mutex);
  worker.done.wait(lock, [job] { return job->state_ != ReadAheadJob::kRunning; });
}

void ReadAhead::Withdraw(ReadAheadJob* job) {
  int queued = ReadAheadJob::kQueued;
  if (job->state_.compare_exchange_strong(queued, ReadAheadJob::kWithdrawn)) return;
  Worker& worker = TheWorker();
  std::unique_lock<std::mutex> lock(worker.mutex);
  worker.done.wait(lock, [job] { return job->state_ != ReadAheadJob::kRunning; });
}

void ReadAhead::Stop() { TheWorker().End(); }

void ReadAhead::SetEnabled(bool enabled) {
  Worker& worker = TheWorker();
  worker.End();
  worker.disabled = !enabled;
}

}  // namespace standin
