#include "ui/vl_SynthSequencer.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

namespace {

// Block and frame durations summed in floating point land a hair short of round times.
constexpr double kTimeTolerance = 1e-9;
// How often the preparation thread looks at the audio time.
constexpr auto kPreparePoll = std::chrono::milliseconds(2);

}  // namespace

SynthSequencer::SynthSequencer(int32_t mode, uint64_t periodNs,
                               std::shared_ptr<SequencerClock> clock)
    : mMode(mode),
      mPeriodNs(periodNs > 0 ? periodNs : 1000000),
      mClock(clock ? std::move(clock) : SteadyClock::shared()) {}

SynthSequencer::~SynthSequencer() {
  stopSequence();
}

void SynthSequencer::registerEndCallback(EndCallback callback) {
  std::lock_guard<std::mutex> lock(mCallbackLock);
  mEndCallback = std::move(callback);
}

bool SynthSequencer::onOwnThread() const {
  const auto self = std::this_thread::get_id();
  return mPlayThreadId.load() == self || mPrepareThreadId.load() == self;
}

// ---- Start and stop (any thread) ----

bool SynthSequencer::playSequence(const std::string& name, float startTime) {
  if (onOwnThread()) {
    printError("ERROR: SynthSequencer: playSequence called from its own play thread\n");
    return false;
  }
  std::lock_guard<std::mutex> control(mControlLock);
  stopPlayback();
  joinThreads();
  SynthSequenceReader reader(mDirectory);
  if (!reader.read(name, 1.0) && reader.events().empty()) return false;
  std::lock_guard<std::mutex> lock(mLock);
  mTime = startTime;
  mEvents.clear();
  for (auto& e : reader.takeEvents()) mEvents.push_back({std::move(e), -1, false});
  mPlayed = std::make_unique<Played[]>(mEvents.size());
  mNextPrepare = 0;
  mOffs.clear();
  mOffs.reserve(mEvents.size());
  mDropped.clear();
  mDropped.reserve(mEvents.size());
  mAllHandedOver = false;
  mActions.clear();
  mActionsComplete = false;
  mHeldOffCount = 0;
  mEndPending = false;
  // "+" voices are taken and set up now, so that triggering them later is only a trigger.
  for (auto& s : mEvents) {
    if (s.event.kind != SynthSequenceEvent::TRIGGER_ON) continue;
    s.voice = mPool ? mPool->takeVoice(s.event.voiceType) : -1;
    if (s.voice < 0) {
      print("Warning: Unable to get free voice from PolySynth.\n");
      s.done = true;
      continue;
    }
    if (!mPool->setVoiceFields(s.voice, s.event.fields)) {
      std::string values;
      for (const auto& f : s.event.fields) values += f.get<std::string>() + " ";
      print("Error setting pFields for voice of type %s. Fields: %s\n", s.event.voiceType.c_str(),
            values.c_str());
    }
  }
  mPlaying = true;
  if (mMode == TIME_MASTER_AUDIO) {
    // The opening events are ready before the first block can ask for them.
    prepareLocked(startTime + mLookAhead, false);
    if (!mPrepareOnCaller) {
      mPrepareRunning = true;
      mPrepareThread = std::thread(&SynthSequencer::prepareThread, this);
    }
  } else if (mMode == TIME_MASTER_CPU) {
    mThreadRunning = true;
    // The time origin is taken now, so that time passing before the thread runs counts.
    mClock->threadWaiting(false);
    mPlayStartClock = mClock->now();
    mThread = std::thread(&SynthSequencer::playThread, this, startTime, mPlayStartClock.load());
  }
  return true;
}

void SynthSequencer::stopSequence() {
  if (onOwnThread()) {
    // A thread cannot join itself: it stops here and leaves its loop; the next start or stop
    // from another thread joins it.
    stopPlayback();
    return;
  }
  std::lock_guard<std::mutex> control(mControlLock);
  stopPlayback();
  joinThreads();
}

void SynthSequencer::stopPlayback() {
  mPlaying = false;
  mThreadRunning = false;
  mPrepareRunning = false;
  mClock->wake();
  mPrepareWake.notify_all();
  // An audio block that saw the sequence playing finishes with the actions before they go.
  const uint32_t epoch = mAudioEpoch.load();
  if (epoch & 1u) {
    while (mAudioEpoch.load() == epoch) std::this_thread::yield();
  }
  std::lock_guard<std::mutex> lock(mLock);
  reportLocked();
  releaseLocked();
}

void SynthSequencer::joinThreads() {
  if (mPrepareThread.joinable()) mPrepareThread.join();
  if (mThread.joinable()) mThread.join();
}

void SynthSequencer::reportMessages() {
  {
    std::lock_guard<std::mutex> lock(mLock);
    reportLocked();
  }
  finishIfEnded();
}

void SynthSequencer::reportLocked() {
  for (std::size_t index : mDropped) {
    print("SynthSequencer::processEvents: Could not get free voice '%s' for sequencer!\n",
          mEvents[index].event.voiceType.c_str());
  }
  mDropped.clear();
}

void SynthSequencer::finishIfEnded() {
  mEndRunning.fetch_add(1);
  if (mEndPending.exchange(false)) {
    EndCallback end;
    {
      std::lock_guard<std::mutex> lock(mCallbackLock);
      end = mEndCallback;
    }
    if (end) end(this);
  }
  mEndRunning.fetch_sub(1);
  // Whoever asks after the end sees the callback done, whichever thread ran it.
  if (onOwnThread()) return;
  while (mEndRunning.load() > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void SynthSequencer::releaseLocked() {
  if (mPool && mPlayed) {
    // What sounds: voices of PLAY events not yet turned off, then "+" ids still on.
    for (std::size_t i = 0; i < mEvents.size(); ++i) {
      const Played& p = mPlayed[i];
      if (mEvents[i].event.kind == SynthSequenceEvent::PLAY && p.done && !p.ended &&
          p.id.load() >= 0) {
        mPool->triggerOff(p.id);
      }
    }
    std::vector<int> on;
    for (std::size_t i = 0; i < mEvents.size(); ++i) {
      const SynthSequenceEvent& e = mEvents[i].event;
      if (!mPlayed[i].done) continue;
      if (e.kind == SynthSequenceEvent::TRIGGER_ON) on.push_back(e.id);
      if (e.kind == SynthSequenceEvent::TRIGGER_OFF) {
        on.erase(std::remove(on.begin(), on.end(), e.id), on.end());
      }
    }
    for (int id : on) mPool->triggerOff(id);
    for (int i = 0; i < mHeldOffCount; ++i) mPool->triggerOff(mHeldOffs[i]);
    for (std::size_t i = 0; i < mEvents.size(); ++i) {
      if (mEvents[i].voice >= 0 && !mPlayed[i].done) mPool->giveBack(mEvents[i].voice);
    }
  }
  mHeldOffCount = 0;
  mEvents.clear();
  mPlayed.reset();
  mOffs.clear();
  mActions.clear();
  mNextPrepare = 0;
}

// ---- Preparation (off the audio thread) ----

void SynthSequencer::prepareThread() {
  mPrepareThreadId = std::this_thread::get_id();
  while (mPrepareRunning) {
    {
      std::lock_guard<std::mutex> lock(mLock);
      if (mPlaying && !mAllHandedOver) prepareLocked(mTime.load() + mLookAhead, true);
    }
    finishIfEnded();
    if (!mPlaying && !mEndPending) break;
    std::unique_lock<std::mutex> wake(mPrepareWakeLock);
    mPrepareWake.wait_for(wake, kPreparePoll, [this] { return !mPrepareRunning; });
  }
  mPrepareThreadId = std::thread::id();
}

void SynthSequencer::prepareAhead() {
  if (mMode != TIME_MASTER_AUDIO) return;
  {
    std::lock_guard<std::mutex> lock(mLock);
    if (mPlaying && !mAllHandedOver) prepareLocked(mTime.load() + mLookAhead, true);
    reportLocked();
  }
  finishIfEnded();
}

void SynthSequencer::prepareLocked(double horizon, bool reportLate) {
  if (!mPool) return;
  while (mNextPrepare < mEvents.size()) {
    const double start = mEvents[mNextPrepare].event.startTime;
    if (start > horizon + kTimeTolerance) {
      // Ends due before the next event must not wait for it to come into the window: a voice
      // would sound, and stay taken, until then.
      flushOffs(horizon + kTimeTolerance, reportLate);
      return;
    }
    if (!flushOffs(start, reportLate) || !prepareEvent(mNextPrepare, reportLate)) return;
    ++mNextPrepare;
  }
  if (!flushOffs(std::numeric_limits<double>::infinity(), reportLate)) return;
  mAllHandedOver = true;
  mActionsComplete = true;
}

bool SynthSequencer::flushOffs(double limit, bool reportLate) {
  while (!mOffs.empty() && mOffs.front().time < limit) {
    if (mOffs.front().id >= 0 && !mPool->prepareTriggerOff(mOffs.front().id)) {
      mPlayed[static_cast<std::size_t>(mOffs.front().event)].ended = true;  // refused
    } else if (!handOver(mOffs.front(), reportLate)) {
      return false;
    }
    mOffs.erase(mOffs.begin());
  }
  return true;
}

bool SynthSequencer::handOver(const Action& action, bool reportLate) {
  if (!mActions.push(action)) return false;  // full: the next pass goes on
  const double late = mTime.load() - action.time;
  if (reportLate && action.on && late > kTimeTolerance) {
    // Played as soon as it is ready, at the start of the next block.
    print("WARNING: SynthSequencer: voice '%s' for %f s was prepared %f s late\n",
          mEvents[static_cast<std::size_t>(action.event)].event.voiceType.c_str(), action.time,
          late);
  }
  return true;
}

bool SynthSequencer::prepareEvent(std::size_t index, bool reportLate) {
  Scheduled& s = mEvents[index];
  const SynthSequenceEvent& e = s.event;
  if (s.done) return true;
  if (mActions.full()) return false;
  const int event = static_cast<int>(index);
  if (e.kind == SynthSequenceEvent::TRIGGER_OFF) {
    s.done = true;
    if (mPool->prepareTriggerOff(e.id))
      return handOver({e.startTime, event, -1, e.id, false}, reportLate);
    mPlayed[index].done = true;  // refused: as good as played
    return true;
  }
  if (e.kind == SynthSequenceEvent::PLAY) {
    s.voice = mPool->takeVoice(e.voiceType);
    if (s.voice < 0) {
      s.done = true;
      mDropped.push_back(index);
      return true;
    }
    mPool->setVoiceFields(s.voice, e.fields);
  }
  s.done = true;
  int id = e.kind == SynthSequenceEvent::PLAY ? -1 : e.id;
  if (!mPool->prepareTrigger(s.voice, id)) {
    s.voice = -1;  // the pool has it back
    return true;
  }
  if (e.kind == SynthSequenceEvent::PLAY) {
    mPlayed[index].id = id;
    const Action off{e.startTime + e.duration, event, -1, id, false};
    mOffs.insert(std::upper_bound(mOffs.begin(), mOffs.end(), off,
                                  [](const Action& a, const Action& b) { return a.time < b.time; }),
                 off);
  }
  return handOver({e.startTime, event, s.voice, id, true}, reportLate);
}

// ---- Playing (the time master's thread) ----

bool SynthSequencer::playActions(double t0, double t1, double sampleRate, int frames) {
  for (int i = 0; i < mHeldOffCount;) {
    if (mPool->tryTriggerOff(mHeldOffs[static_cast<std::size_t>(i)])) {
      mHeldOffs[static_cast<std::size_t>(i)] = mHeldOffs[static_cast<std::size_t>(--mHeldOffCount)];
    } else {
      ++i;
    }
  }
  Action a;
  while (mActions.peek(a) && a.time <= t1 + kTimeTolerance) {
    mActions.pop();
    Played& played = mPlayed[static_cast<std::size_t>(a.event)];
    if (a.on) {
      const double frame = std::round((a.time - t0) * sampleRate);
      const int offset = static_cast<int>(std::clamp(frame, 0.0, static_cast<double>(frames)));
      played.id = mPool->triggerOn(a.voice, offset, a.id);
      played.done = true;
      continue;
    }
    const bool ofPlay =
        mEvents[static_cast<std::size_t>(a.event)].event.kind == SynthSequenceEvent::PLAY;
    const int id = ofPlay ? played.id.load() : a.id;
    (ofPlay ? played.ended : played.done) = true;
    if (id < 0 || mPool->tryTriggerOff(id)) continue;
    if (mHeldOffCount < static_cast<int>(mHeldOffs.size())) mHeldOffs[mHeldOffCount++] = id;
  }
  if (mActionsComplete.load() && mActions.empty() && mHeldOffCount == 0) {
    mEndPending = true;
    mPlaying = false;
    return true;
  }
  return false;
}

void SynthSequencer::processAudioBlock(int frames, double sampleRate) {
  if (mMode != TIME_MASTER_AUDIO || sampleRate <= 0.0 || !mPlaying) return;
  mAudioEpoch.fetch_add(1);
  if (mPlaying) {
    const double t0 = mTime.load();
    const double t1 = t0 + frames / sampleRate;
    mTime = t1;
    playActions(t0, t1, sampleRate, frames);
  }
  mAudioEpoch.fetch_add(1);
}

void SynthSequencer::processGraphicsFrame(double frameRate) {
  if (mMode == TIME_MASTER_GRAPHICS && frameRate > 0.0) advance(1.0 / frameRate);
}

void SynthSequencer::advance(double time, bool absolute) {
  if (!mPlaying) return;
  bool ended;
  {
    std::lock_guard<std::mutex> lock(mLock);
    if (!mPlaying || !mPool) return;
    const double t0 = mTime.load();
    const double t1 = absolute ? time : t0 + time;
    mTime = t1;
    // Off the audio thread there is nothing to prepare ahead: events are prepared as they
    // fall due and played at once.
    prepareLocked(t1, false);
    ended = playActions(t0, t1, 0.0, 0);
    reportLocked();
  }
  if (ended) finishIfEnded();
}

void SynthSequencer::processEvents(double time) {
  if (mMode == TIME_MASTER_AUDIO) return;
  std::lock_guard<std::mutex> lock(mLock);
  if (!mPlaying || !mPool) return;
  const double t0 = mTime.load();
  prepareLocked(time, false);
  playActions(t0, time, 0.0, 0);
}

void SynthSequencer::playThread(double startTime, double start) {
  mPlayThreadId = std::this_thread::get_id();
  // Deadlines and times are counted from the start, so neither sleeping late nor rounding
  // ever shifts later events.
  const double period = static_cast<double>(mPeriodNs) * 1e-9;
  uint64_t tick = 0;
  while (mThreadRunning && mPlaying) {
    ++tick;
    const double elapsed = static_cast<double>(tick) * period;
    mClock->sleepUntil(start + elapsed);
    if (!mThreadRunning) break;
    advance(startTime + elapsed, true);
  }
  if (mVerbose) print("CPU play thread done.\n");
  mClock->threadWaiting(true);
  mPlayThreadId = std::thread::id();
}

}  // namespace vl
