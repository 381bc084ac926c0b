#include "ui/vl_PresetSequencer.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>

#include "core/vl_File.hpp"

namespace vl {

namespace {

// Times computed by different sums of the same floats may differ in the last bits.
constexpr double kTimeTolerance = 1e-9;

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream s(line);
  std::string field;
  while (std::getline(s, field, ':')) fields.push_back(field);
  return fields;
}

float fieldAsFloat(const std::vector<std::string>& fields, std::size_t i) {
  return i < fields.size() && !fields[i].empty() ? std::stof(fields[i]) : 0.0f;
}

}  // namespace

PresetSequencer::PresetSequencer(int32_t mode, std::shared_ptr<SequencerClock> clock)
    : mTimeMasterMode(mode), mClock(clock ? std::move(clock) : SteadyClock::shared()) {
  if (mode == TIME_MASTER_AUDIO || mode == TIME_MASTER_GRAPHICS) {
    std::cerr << "ERROR: PresetSequencer: TimeMasterMode not supported, treating as "
                 "TIME_MASTER_CPU"
              << std::endl;
    mTimeMasterMode = TIME_MASTER_CPU;
  }
  if (mTimeMasterMode == TIME_MASTER_CPU) {
    mThreadAlive = true;
    mThread = std::thread(&PresetSequencer::threadFunction, this);
  }
}

PresetSequencer::~PresetSequencer() {
  mRunning = false;
  mStartRequested = false;
  if (mThread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mThreadLock);
      mThreadAlive = false;
    }
    mClock->wake();
    mThreadSignal.notify_all();
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
  const std::string dir =
      mHandler ? mHandler->getCurrentPath() : File::conformDirectory(mDirectory);
  return dir + name + (File::endsWith(name, ".sequence") ? "" : ".sequence");
}

std::vector<PresetSequencer::Step> PresetSequencer::loadSequence(const std::string& name,
                                                                 double timeScale) {
  std::vector<Step> steps;
  if (!File::checkName(name, "sequence")) return steps;
  const std::string path = sequencePath(name);
  std::ifstream in(path);
  if (!in.is_open()) {
    std::cout << "Could not open:" << path << std::endl;
    return steps;
  }
  const auto scaled = [timeScale](float t) {
    return std::max(0.0f, static_cast<float>(t * timeScale));
  };
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = splitFields(line);
    if (fields.empty() || fields[0].empty() || fields[0][0] == '#') continue;
    Step step;
    try {
      if (fields[0][0] == '@') {
        step.type = Step::EVENT;
        step.name = fields[0].substr(1);
        step.morphTime = scaled(fieldAsFloat(fields, 1));
        step.waitTime = scaled(fieldAsFloat(fields, 2));
        for (std::size_t i = 3; i < fields.size(); ++i)
          step.params.emplace_back(std::stof(fields[i]));
      } else if (fields[0][0] == '+') {
        step.type = Step::PARAMETER;
        step.waitTime = scaled(std::stof(fields[0].substr(1)));
        step.name = fields.size() > 1 ? fields[1] : "";
        // A value, not a time: the time scale does not apply to it.
        step.params.emplace_back(
            static_cast<float>(fields.size() > 2 ? std::stod(fields[2]) : 0.0));
      } else {
        step.name = fields[0];
        step.morphTime = scaled(fieldAsFloat(fields, 1));
        step.waitTime = scaled(fieldAsFloat(fields, 2));
      }
    } catch (const std::logic_error&) {
      std::cout << "ERROR: Bad sequence line in " << path << ": " << line << std::endl;
      continue;
    }
    steps.push_back(std::move(step));
  }
  if (in.bad()) std::cout << "Error reading:" << path << std::endl;
  return steps;
}

void PresetSequencer::computeTimeline() {
  mStepTimes.assign(mSteps.size(), 0.0);
  double presetTime = 0.0;  // start of the next preset step
  double groupTime = 0.0;   // time of the last step of the current group
  mEndTime = 0.0;
  for (std::size_t i = 0; i < mSteps.size(); ++i) {
    const Step& s = mSteps[i];
    if (s.type == Step::PRESET) {
      mStepTimes[i] = presetTime;
      groupTime = presetTime;
      presetTime += static_cast<double>(s.morphTime + s.waitTime);
    } else {
      groupTime += s.waitTime;
      mStepTimes[i] = groupTime;
    }
    mEndTime = std::max({mEndTime, presetTime, groupTime});
  }
}

// ---------------------------------------------------------------------------------------------
// Playing

void PresetSequencer::halt(bool wait) {
  mRunning = false;
  mStartRequested = false;
  mClock->wake();
  if (wait && mTimeMasterMode == TIME_MASTER_CPU &&
      std::this_thread::get_id() != mThread.get_id()) {
    // The timing thread holds this lock for the whole of a run.
    std::lock_guard<std::mutex> lock(mThreadLock);
  }
  if (mHandler) mHandler->stopMorph();
}

void PresetSequencer::playSequence(const std::string& name, double timeScale, float startTime) {
  if (mRunning || mStartRequested) halt(true);
  if (!name.empty()) {
    std::vector<Step> steps = loadSequence(name, timeScale);
    std::lock_guard<std::mutex> lock(mStepLock);
    mSteps = std::move(steps);
    mCurrentSequence = name;
    computeTimeline();
    if (mSteps.empty()) return;
  }
  const bool handshake = mTimeMasterMode == TIME_MASTER_CPU && mThreadAlive &&
                         std::this_thread::get_id() != mThread.get_id();
  std::future<void> started;
  if (handshake) {
    // The promise must be fresh before the start request is visible: the thread may pick the
    // request up on its own (after its pause at the end of a run) and fulfil it at once.
    std::lock_guard<std::mutex> lock(mThreadLock);
    mStartPromise = std::promise<void>();
    started = mStartPromise.get_future();
  }
  std::vector<Action> actions;
  {
    std::lock_guard<std::mutex> lock(mStepLock);
    mLastTimeReport = 0.0;
    mRunning = false;
    mStartRequested = true;
    mReachedEnd = false;
    mCurrentTime = 0.0;
    mStepIndex = 0;
    mQueue.clear();
    // The first preset is recalled at once rather than at the timing thread's first pass.
    processDue(actions);
  }
  for (auto& a : actions) a();
  // A seek left over from before this start must not move it.
  mPendingSeek.store(startTime > 0.0f ? startTime : -1.0f);

  if (mTimeMasterMode == TIME_MASTER_CPU) {
    // From the timing thread itself (an end or event callback) the request is picked up as
    // soon as the callback returns.
    if (!handshake) return;
    {
      std::lock_guard<std::mutex> lock(mThreadLock);
      mThreadSignal.notify_all();
    }
    started.wait();
  } else {
    BeginCallback begin;
    {
      std::lock_guard<std::mutex> lock(mCallbackLock);
      begin = mBeginCallback;
    }
    if (begin) begin(this);
    mRunning = true;
    mStartRequested = false;
  }
}

void PresetSequencer::stopSequence() {
  const bool wasPlaying = mRunning || mStartRequested;
  halt(false);
  if (wasPlaying && mTimeMasterMode != TIME_MASTER_CPU) callEnd(false);
}

void PresetSequencer::stepSequencer(double dt) {
  if (mTimeMasterMode == TIME_MASTER_CPU) return;
  const bool wasRunning = mRunning;
  std::vector<Action> actions;
  processTime(dt, actions);
  for (auto& a : actions) a();
  if (wasRunning && !mRunning && mReachedEnd) callEnd(true);
}

void PresetSequencer::callEnd(bool finished) {
  EndCallback end;
  {
    std::lock_guard<std::mutex> lock(mCallbackLock);
    end = mEndCallback;
  }
  if (mEndCallbackEnabled && end) end(finished, this);
}

void PresetSequencer::processTime(double dt, std::vector<Action>& actions) {
  std::lock_guard<std::mutex> lock(mStepLock);
  mCurrentTime += dt;
  if (!mRunning) return;
  const float seek = mPendingSeek.exchange(-1.0f);
  if (seek >= 0.0f) relocate(seek, actions);
  if (mCurrentTime - mLastTimeReport + kTimeTolerance >= mTimeReportInterval) {
    mLastTimeReport = mCurrentTime;
    const float now = static_cast<float>(mCurrentTime);
    actions.push_back([this, now] {
      std::vector<TimeCallback> callbacks;
      {
        std::lock_guard<std::mutex> lock(mCallbackLock);
        callbacks = mTimeCallbacks;
      }
      for (auto& cb : callbacks) cb(now);
    });
  }
  processDue(actions);
  if (mStepIndex >= mSteps.size() && mQueue.empty() && mCurrentTime + kTimeTolerance >= mEndTime) {
    mReachedEnd = true;
    mRunning = false;
  }
}

void PresetSequencer::processDue(std::vector<Action>& actions) {
  // Queued steps run before a preset step of the same time, as they stand in the file.
  const auto runQueue = [&](double until) {
    while (!mQueue.empty() && until + kTimeTolerance >= mStepTimes[mQueue.front()]) {
      runStep(mSteps[mQueue.front()], actions);
      mQueue.pop_front();
    }
  };
  while (mStepIndex < mSteps.size()) {
    const Step& step = mSteps[mStepIndex];
    if (step.type == Step::PRESET) {
      if (mCurrentTime + kTimeTolerance < mStepTimes[mStepIndex]) break;
      runQueue(mStepTimes[mStepIndex]);
      if (mHandler && (mRunning || mStartRequested)) {
        actions.push_back([this, name = step.name, morph = step.morphTime] {
          mHandler->recallPreset(name, morph);
        });
      }
    } else {
      mQueue.push_back(mStepIndex);
    }
    ++mStepIndex;
  }
  runQueue(mCurrentTime);
}

void PresetSequencer::runStep(const Step& step, std::vector<Action>& actions) {
  if (step.type == Step::EVENT) {
    actions.push_back([this, name = step.name, values = step.params] {
      std::vector<std::pair<std::string, EventCallback>> callbacks;
      {
        std::lock_guard<std::mutex> lock(mCallbackLock);
        callbacks = mEventCallbacks;
      }
      for (auto& [eventName, cb] : callbacks) {
        if (eventName == name) cb(values);
      }
    });
  } else if (step.type == Step::PARAMETER) {
    for (ParameterMeta* p : mParameters) {
      if (p->getFullAddress() == step.name) {
        actions.push_back([p, values = step.params] { p->set(values); });
        break;
      }
    }
  }
}

void PresetSequencer::relocate(double time, std::vector<Action>& actions) {
  mStepIndex = 0;
  mCurrentTime = time;
  mLastTimeReport = 0.0;
  mQueue.clear();
  // The preset step whose interval holds the time, and the one before it.
  std::size_t current = mSteps.size(), previous = mSteps.size();
  for (std::size_t i = 0; i < mSteps.size(); ++i) {
    if (mSteps[i].type != Step::PRESET) continue;
    if (mStepTimes[i] > time + kTimeTolerance) break;
    previous = current;
    current = i;
  }
  // Steps before the time: parameter steps leave their state, events are past.
  const std::size_t next = current == mSteps.size() ? 0 : current + 1;
  for (std::size_t i = 0; i < mSteps.size(); ++i) {
    if (mSteps[i].type == Step::PRESET) {
      if (i > current && current != mSteps.size()) break;
      continue;
    }
    if (mStepTimes[i] <= time + kTimeTolerance) {
      if (mSteps[i].type == Step::PARAMETER) runStep(mSteps[i], actions);
    } else {
      mQueue.push_back(i);
    }
  }
  mStepIndex = next;
  while (mStepIndex < mSteps.size() && mSteps[mStepIndex].type != Step::PRESET) ++mStepIndex;

  if (mHandler && current != mSteps.size()) {
    const Step& step = mSteps[current];
    const double into = time - mStepTimes[current];
    const bool active = mRunning || mStartRequested;
    if (into < step.morphTime) {
      const float remaining = static_cast<float>(step.morphTime - into);
      if (previous != mSteps.size()) {
        const double fraction = into / step.morphTime;
        actions.push_back([this, a = mSteps[previous].name, b = step.name, fraction] {
          mHandler->setInterpolatedPreset(a, b, fraction);
        });
      }
      if (active) {
        actions.push_back(
            [this, name = step.name, remaining] { mHandler->recallPreset(name, remaining); });
      }
    } else {
      actions.push_back([this, name = step.name, morph = step.morphTime] {
        mHandler->recallPresetSynchronous(name);
        mHandler->setMorphTime(morph);
      });
    }
  }
  const float reported = static_cast<float>(time);
  actions.push_back([this, reported] {
    std::vector<TimeCallback> callbacks;
    {
      std::lock_guard<std::mutex> lock(mCallbackLock);
      callbacks = mTimeCallbacks;
    }
    for (auto& cb : callbacks) cb(reported);
  });
}

double PresetSequencer::secondsToNextDue() {
  std::lock_guard<std::mutex> lock(mStepLock);
  double due = std::min(mEndTime, mLastTimeReport + mTimeReportInterval);
  if (mStepIndex < mSteps.size()) due = std::min(due, mStepTimes[mStepIndex]);
  if (!mQueue.empty()) due = std::min(due, mStepTimes[mQueue.front()]);
  return due - mCurrentTime;
}

void PresetSequencer::threadFunction() {
  std::unique_lock<std::mutex> lock(mThreadLock);
  while (mThreadAlive) {
    mClock->threadWaiting(true);
    mThreadSignal.wait(lock, [this] { return mStartRequested || !mThreadAlive; });
    mClock->threadWaiting(false);
    if (!mStartRequested) break;
    BeginCallback begin;
    {
      std::lock_guard<std::mutex> callbackLock(mCallbackLock);
      begin = mBeginCallback;
    }
    if (begin) begin(this);
    mRunning = true;
    mStartRequested = false;
    mStartPromise.set_value();

    // Time is measured, not counted in ticks, so lateness never accumulates; the thread
    // sleeps until the next step falls due, at most one granularity at a time.
    const double granularity = static_cast<double>(mGranularityNs) * 1e-9;
    double last = mClock->now();
    while (mRunning) {
      const double now = mClock->now();
      std::vector<Action> actions;
      processTime(now - last, actions);
      last = now;
      for (auto& a : actions) a();
      if (!mRunning) break;
      const double due = std::clamp(secondsToNextDue(), 0.0, granularity);
      mClock->sleepUntil(now + due);
    }
    const bool finished = mReachedEnd;
    if (mHandler) {
      // The last morph is let run briefly; a new start during the pause keeps its own morph.
      const bool restarted = mThreadSignal.wait_for(lock, std::chrono::milliseconds(100), [this] {
        return mStartRequested || !mThreadAlive;
      });
      if (!restarted) mHandler->stopMorph();
    }
    callEnd(finished);
  }
  mClock->threadWaiting(false);
}

double PresetSequencer::currentTime() {
  std::lock_guard<std::mutex> lock(mStepLock);
  return mCurrentTime;
}

std::string PresetSequencer::currentSequence() {
  std::lock_guard<std::mutex> lock(mStepLock);
  return mCurrentSequence;
}

std::vector<PresetSequencer::Step> PresetSequencer::getSequenceSteps() {
  std::lock_guard<std::mutex> lock(mStepLock);
  return mSteps;
}

bool PresetSequencer::consumeMessage(osc::Message& message, std::string rootPath) {
  const std::string address = rootPath + (mOSCsubPath.empty() ? "" : "/" + mOSCsubPath);
  if (message.addressPattern() == address && message.typeTags() == "s") {
    std::string name;
    message.resetStream();
    message >> name;
    std::cout << "start sequence " << name << std::endl;
    playSequence(name, 1.0, 0.0f);
    return true;
  }
  if (message.addressPattern() == address + "/stop") {
    std::cout << "stop sequence " << std::endl;
    stopSequence();
    return true;
  }
  return false;
}

}  // namespace vl
