#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vl {

// A fixed set of worker threads taking tasks from one queue. The pool owns its threads and
// stops and joins them when destroyed (tasks still queued then are dropped).
class ThreadPool {
 public:
  explicit ThreadPool(unsigned int numThreads);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  void push(std::function<void()> task);
  // Blocks until the queue is empty and no task is running.
  void waitForProcessingDone();
  unsigned int size() const { return static_cast<unsigned int>(mThreads.size()); }

 private:
  void work();

  std::vector<std::thread> mThreads;
  std::deque<std::function<void()>> mTasks;
  std::mutex mLock;
  std::condition_variable mWorkAvailable;
  std::condition_variable mDone;
  unsigned int mRunning = 0;
  bool mStop = false;
};

}  // namespace vl
