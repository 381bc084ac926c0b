#include "ui/vl_PresetSequencer.hpp"

#include <algorithm>
#include <chrono>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

PresetSequencer::PresetSequencer(int32_t mode, std::shared_ptr<SequencerClock> clock)
    : mTimeMasterMode(mode), mClock(clock ? std::move(clock) : SteadyClock::shared()) {
  if (mode == TIME_MASTER_AUDIO || mode == TIME_MASTER_GRAPHICS) {
    printError(
        "ERROR: PresetSequencer: TimeMasterMode not supported, treating as "
        "TIME_MASTER_CPU\n");
    mTimeMasterMode = TIME_MASTER_CPU;
  }
}

PresetSequencer::~PresetSequencer() {
  bool own;
  {
    std::lock_guard<std::mutex> lock(mWorker->lock);
    mWorker->quit = true;
    mWorker->destroyed = true;
    mRunning = false;
    mStartRequested = false;
    own = mWorker->started && mWorker->id == std::this_thread::get_id();
    mWorker->signal.notify_all();
  }
  mClock->wake();
  if (own) {
    // Destroyed from one of its own callbacks: the thread sees the flag when the callback
    // returns and leaves on its own.
    mThread.detach();
  } else if (mThread.joinable()) {
    mThread.join();
  }
}

void PresetSequencer::registerEventCommand(std::string name, EventCallback callback) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mEventCallbacks.emplace_back(std::move(name), std::move(callback));
}

void PresetSequencer::registerTimeChangeCallback(TimeCallback callback) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mTimeCallbacks.push_back(std::move(callback));
}

void PresetSequencer::registerBeginCallback(BeginCallback callback) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mBeginCallback = std::move(callback);
}

void PresetSequencer::registerEndCallback(EndCallback callback) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mEndCallback = std::move(callback);
}

void PresetSequencer::setDirectory(std::string directory) {
  std::lock_guard<std::mutex> lock(mStepLock);
  mDirectory = std::move(directory);
}

std::string PresetSequencer::getDirectory() const {
  return mDirectory;
}

std::string PresetSequencer::sequencePath(const std::string& name) const {
  return SequenceFile::path(mHandler ? mHandler->getCurrentPath() : mDirectory, name);
}

std::vector<PresetSequencer::Step> PresetSequencer::loadSequence(const std::string& name,
                                                                 double timeScale) {
  if (!File::checkName(name, "sequence")) return {};
  return SequenceFile::read(sequencePath(name), timeScale);
}

// ---------------------------------------------------------------------------------------------
// Playing

void PresetSequencer::ensureThread() {
  std::lock_guard<std::mutex> lock(mWorker->lock);
  if (mWorker->started || mWorker->quit) return;
  mWorker->started = true;
  // The thread takes the lock first thing, so it sees its id set.
  mThread = std::thread(&PresetSequencer::threadFunction, this, mWorker, mClock);
  mWorker->id = mThread.get_id();
}

bool PresetSequencer::onTimingThread() {
  std::lock_guard<std::mutex> lock(mWorker->lock);
  return mWorker->started && mWorker->id == std::this_thread::get_id();
}

void PresetSequencer::halt(bool wait) {
  std::shared_ptr<Worker> worker = mWorker;
  {
    std::lock_guard<std::mutex> lock(worker->lock);
    mRunning = false;
    mStartRequested = false;
    // A start not yet taken by the thread is cancelled: its caller stops waiting.
    worker->begun = worker->requested;
    worker->signal.notify_all();
  }
  mClock->wake();
  if (wait && mTimeMasterMode == TIME_MASTER_CPU) {
    std::unique_lock<std::mutex> lock(worker->lock);
    if (worker->id != std::this_thread::get_id()) {
      worker->signal.wait(lock, [&] { return !worker->inLoop || worker->quit; });
    }
  }
  if (mHandler) mHandler->stopMorph();
}

void PresetSequencer::playSequence(const std::string& name, double timeScale, float startTime) {
  std::shared_ptr<Worker> worker = mWorker;
  if (mRunning || mStartRequested) halt(true);
  if (!name.empty()) {
    std::vector<Step> steps = loadSequence(name, timeScale);
    const bool empty = steps.empty();
    std::lock_guard<std::mutex> lock(mStepLock);
    mTimeline.setSteps(std::move(steps));
    mCurrentSequence = name;
    if (empty) return;
  }
  const bool cpu = mTimeMasterMode == TIME_MASTER_CPU;
  if (cpu) ensureThread();
  {
    std::lock_guard<std::mutex> lock(worker->lock);
    mRunning = false;
    mStartRequested = true;
  }
  std::vector<Action> actions;
  {
    // The first preset is recalled at once rather than at the timing thread's first pass.
    std::lock_guard<std::mutex> lock(mStepLock);
    mTimeline.restart(actions);
  }
  for (const Action& a : actions) {
    perform(a, *worker);
    if (worker->destroyed) return;
  }
  // A seek left over from before this start must not move it.
  mPendingSeek.store(startTime > 0.0f ? startTime : -1.0f);

  if (cpu) {
    const bool onThread = onTimingThread();
    std::unique_lock<std::mutex> lock(worker->lock);
    // Only now, with the first preset recalled and the seek set, may the thread take the
    // start; unless a stop came first.
    if (!mStartRequested) return;
    const uint64_t ticket = ++worker->requested;
    worker->signal.notify_all();
    // From the timing thread itself (a callback) the start is taken when the callback returns.
    if (onThread) return;
    worker->signal.wait(lock, [&] { return worker->begun >= ticket || worker->quit; });
    return;
  }
  BeginCallback begin;
  {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    begin = mBeginCallback;
  }
  if (begin) begin(this);
  if (worker->destroyed) return;
  std::lock_guard<std::mutex> lock(worker->lock);
  // A stop from the begin callback has cleared the request.
  mRunning = mStartRequested.exchange(false);
}

void PresetSequencer::stopSequence() {
  const bool wasPlaying = mRunning || mStartRequested;
  halt(false);
  if (wasPlaying && mTimeMasterMode != TIME_MASTER_CPU) callEnd(false);
}

void PresetSequencer::stepSequencer(double dt) {
  if (mTimeMasterMode == TIME_MASTER_CPU) return;
  std::shared_ptr<Worker> worker = mWorker;
  std::vector<Action> actions;
  const bool ended = processTime(dt, actions);
  for (const Action& a : actions) {
    perform(a, *worker);
    if (worker->destroyed) return;
  }
  // Cleared only now, so that the last step's recall still counts as playing.
  if (ended && mRunning.exchange(false)) callEnd(true);
}

void PresetSequencer::callEnd(bool finished) {
  EndCallback end;
  {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    end = mEndCallback;
  }
  if (mEndCallbackEnabled && end) end(finished, this);
}

bool PresetSequencer::processTime(double dt, std::vector<Action>& actions) {
  std::lock_guard<std::mutex> lock(mStepLock);
  const bool running = mRunning;
  const float seek = running ? mPendingSeek.exchange(-1.0f) : -1.0f;
  mTimeline.advance(dt, running, seek, actions);
  return running && mTimeline.reachedEnd();
}

void PresetSequencer::perform(const Action& action, const Worker& worker) {
  PresetHandler* handler = mHandler;
  switch (action.kind) {
    case Action::RECALL:
      // A stop that came while the step was computed wins.
      if (handler && (mRunning || mStartRequested)) {
        handler->recallPreset(action.name, action.morphTime);
      }
      break;
    case Action::INTERPOLATE:
      if (handler) handler->setInterpolatedPreset(action.from, action.name, action.fraction);
      break;
    case Action::RECALL_AT_ONCE:
      if (handler) {
        handler->recallPresetSynchronous(action.name);
        handler->setMorphTime(action.morphTime);
      }
      break;
    case Action::EVENT: {
      std::vector<std::pair<std::string, EventCallback>> callbacks;
      {
        std::lock_guard<std::mutex> lock(mCallbackLock);
        callbacks = mEventCallbacks;
      }
      for (auto& [eventName, cb] : callbacks) {
        if (eventName != action.name) continue;
        cb(action.values);
        if (worker.destroyed) return;
      }
      break;
    }
    case Action::PARAMETER:
      for (ParameterMeta* p : mParameters) {
        if (p->getFullAddress() == action.name) {
          p->set(action.values);
          break;
        }
      }
      break;
    case Action::TIME: {
      std::vector<TimeCallback> callbacks;
      {
        std::lock_guard<std::mutex> lock(mCallbackLock);
        callbacks = mTimeCallbacks;
      }
      for (auto& cb : callbacks) {
        cb(action.time);
        if (worker.destroyed) return;
      }
      break;
    }
  }
}

void PresetSequencer::threadFunction(std::shared_ptr<Worker> worker,
                                     std::shared_ptr<SequencerClock> clock) {
  std::unique_lock<std::mutex> lock(worker->lock);
  for (;;) {
    clock->threadWaiting(true);
    worker->signal.wait(lock, [&] { return worker->quit || worker->requested > worker->begun; });
    clock->threadWaiting(false);
    if (worker->quit) return;
    lock.unlock();
    // After a destruction from a callback nothing of the sequencer may be touched.
    if (!run(*worker, *clock)) return;
    lock.lock();
  }
}

bool PresetSequencer::run(Worker& worker, SequencerClock& clock) {
  BeginCallback begin;
  {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    begin = mBeginCallback;
  }
  if (begin) begin(this);
  if (worker.destroyed) return false;
  bool started;
  {
    std::lock_guard<std::mutex> lock(worker.lock);
    // A stop from the begin callback cancels the start.
    started = mStartRequested.exchange(false) && !worker.quit;
    mRunning = started;
    worker.inLoop = started;
    worker.begun = worker.requested;
    worker.signal.notify_all();
  }
  if (!started) {
    callEnd(false);
    return !worker.destroyed;
  }

  // Time is measured, not counted in ticks, so lateness never accumulates; the thread sleeps
  // until the next step falls due, at most one granularity at a time.
  const double granularity = static_cast<double>(mGranularityNs) * 1e-9;
  double last = clock.now();
  std::vector<Action> actions;
  while (mRunning) {
    const double now = clock.now();
    actions.clear();
    const bool ended = processTime(now - last, actions);
    last = now;
    for (const Action& a : actions) {
      perform(a, worker);
      if (worker.destroyed) return false;
    }
    // Cleared only now, so that the last step's recall still counts as playing.
    if (ended) mRunning = false;
    if (!mRunning) break;
    double due;
    {
      std::lock_guard<std::mutex> lock(mStepLock);
      due = std::clamp(mTimeline.secondsToNextDue(), 0.0, granularity);
    }
    clock.sleepUntil(now + due);
  }
  bool finished;
  {
    std::lock_guard<std::mutex> lock(mStepLock);
    finished = mTimeline.reachedEnd();
  }
  std::unique_lock<std::mutex> lock(worker.lock);
  worker.inLoop = false;
  worker.signal.notify_all();
  if (mHandler) {
    // The last morph is let run briefly; a new start during the pause keeps its own morph.
    const bool restarted = worker.signal.wait_for(lock, std::chrono::milliseconds(100),
                                                  [&] { return mStartRequested || worker.quit; });
    if (!restarted) mHandler->stopMorph();
  }
  if (worker.quit) return true;
  lock.unlock();
  callEnd(finished);
  return !worker.destroyed;
}

double PresetSequencer::currentTime() {
  std::lock_guard<std::mutex> lock(mStepLock);
  return mTimeline.currentTime();
}

std::string PresetSequencer::currentSequence() {
  std::lock_guard<std::mutex> lock(mStepLock);
  return mCurrentSequence;
}

std::vector<PresetSequencer::Step> PresetSequencer::getSequenceSteps() {
  std::lock_guard<std::mutex> lock(mStepLock);
  return mTimeline.steps();
}

bool PresetSequencer::consumeMessage(osc::Message& message, std::string rootPath) {
  const std::string address = rootPath + (mOSCsubPath.empty() ? "" : "/" + mOSCsubPath);
  if (message.addressPattern() == address && message.typeTags() == "s") {
    std::string name;
    message.resetStream();
    message >> name;
    print("start sequence %s\n", name.c_str());
    playSequence(name, 1.0, 0.0f);
    return true;
  }
  if (message.addressPattern() == address + "/stop") {
    print("stop sequence \n");
    stopSequence();
    return true;
  }
  return false;
}

}  // namespace vl
