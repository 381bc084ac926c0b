#include "sound/vl_ThreadPool.hpp"

namespace vl {

ThreadPool::ThreadPool(unsigned int numThreads) {
  mThreads.reserve(numThreads);
  for (unsigned int i = 0; i < numThreads; ++i) mThreads.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mLock);
    mStop = true;
  }
  mWorkAvailable.notify_all();
  for (std::thread& t : mThreads) t.join();
}

void ThreadPool::push(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mLock);
    mTasks.push_back(std::move(task));
  }
  mWorkAvailable.notify_one();
}

void ThreadPool::waitForProcessingDone() {
  std::unique_lock<std::mutex> lock(mLock);
  mDone.wait(lock, [this] { return mTasks.empty() && mRunning == 0; });
}

void ThreadPool::work() {
  std::unique_lock<std::mutex> lock(mLock);
  while (true) {
    mWorkAvailable.wait(lock, [this] { return mStop || !mTasks.empty(); });
    if (mStop) return;
    std::function<void()> task = std::move(mTasks.front());
    mTasks.pop_front();
    ++mRunning;
    lock.unlock();
    task();
    lock.lock();
    --mRunning;
    if (mTasks.empty() && mRunning == 0) mDone.notify_all();
  }
}

}  // namespace vl
