#include "ui/vl_SynthSequencer.hpp"

#include <algorithm>
#include <iostream>

#include "core/vl_File.hpp"

namespace vl {

namespace {

// Block and frame durations summed in floating point land a hair short of round times.
constexpr double kTimeTolerance = 1e-9;

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

double SynthSequencer::currentTime() {
  std::lock_guard<std::mutex> lock(mLock);
  return mCurrentTime;
}

bool SynthSequencer::playSequence(const std::string& name, float startTime) {
  if (mThread.joinable() && mThread.get_id() == std::this_thread::get_id()) {
    std::cerr << "ERROR: SynthSequencer: playSequence called from its own play thread" << std::endl;
    return false;
  }
  stopSequence();
  SynthSequenceReader reader(mDirectory);
  if (!reader.read(name, 1.0) && reader.events().empty()) return false;
  std::lock_guard<std::mutex> lock(mLock);
  mCurrentTime = startTime;
  mEvents.clear();
  for (auto& e : reader.takeEvents()) mEvents.push_back({std::move(e), -1, false});
  mNextEvent = 0;
  // Room for everything playback records, so that an audio block never allocates.
  mSounding.reserve(mEvents.size());
  mTriggeredIds.reserve(mEvents.size());
  mDropped.reserve(mEvents.size());
  // "+" voices are taken and set up now, so that triggering them later is only a trigger.
  for (auto& s : mEvents) {
    if (s.event.kind != SynthSequenceEvent::TRIGGER_ON) continue;
    s.voice = mPool ? mPool->takeVoice(s.event.voiceType) : -1;
    if (s.voice < 0) {
      std::cout << "Warning: Unable to get free voice from PolySynth." << std::endl;
      s.done = true;
      continue;
    }
    if (!mPool->setVoiceFields(s.voice, s.event.fields)) {
      std::cout << "Error setting pFields for voice of type " << s.event.voiceType << ". Fields: ";
      for (const auto& f : s.event.fields) std::cout << f.get<std::string>() << " ";
      std::cout << std::endl;
    }
  }
  mPlaying = true;
  if (mMode == TIME_MASTER_CPU) {
    mThreadRunning = true;
    // The time origin is taken now, so that time passing before the thread runs counts.
    mClock->threadWaiting(false);
    mPlayStartClock = mClock->now();
    mThread = std::thread(&SynthSequencer::playThread, this, mCurrentTime, mPlayStartClock.load());
  }
  return true;
}

void SynthSequencer::stopThread() {
  mThreadRunning = false;
  mClock->wake();
  if (mThread.joinable() && mThread.get_id() != std::this_thread::get_id()) mThread.join();
}

void SynthSequencer::stopSequence() {
  mPlaying = false;
  stopThread();
  std::lock_guard<std::mutex> lock(mLock);
  reportLocked();
  releaseLocked();
}

void SynthSequencer::reportMessages() {
  std::lock_guard<std::mutex> lock(mLock);
  reportLocked();
}

void SynthSequencer::reportLocked() {
  for (std::size_t index : mDropped) {
    std::cout << "SynthSequencer::processEvents: Could not get free voice '"
              << mEvents[index].event.voiceType << "' for sequencer!" << std::endl;
  }
  mDropped.clear();
}

void SynthSequencer::releaseLocked() {
  if (mPool) {
    for (const auto& s : mSounding) mPool->triggerOff(s.id);
    for (int id : mTriggeredIds) mPool->triggerOff(id);
    for (auto& s : mEvents) {
      if (s.voice >= 0 && !s.done) mPool->giveBack(s.voice);
    }
  }
  mSounding.clear();
  mTriggeredIds.clear();
  mEvents.clear();
  mNextEvent = 0;
}

void SynthSequencer::processAudioBlock(int frames, double sampleRate) {
  if (mMode == TIME_MASTER_AUDIO && sampleRate > 0.0) advance(frames / sampleRate);
}

void SynthSequencer::processGraphicsFrame(double frameRate) {
  if (mMode == TIME_MASTER_GRAPHICS && frameRate > 0.0) advance(1.0 / frameRate);
}

void SynthSequencer::advance(double time, bool absolute) {
  if (!mPlaying) return;
  bool ended;
  {
    std::unique_lock<std::mutex> lock(mLock, std::defer_lock);
    if (mMode == TIME_MASTER_AUDIO) {
      // The audio thread never waits: while another thread holds the events, the block's time
      // is kept for the next block.
      if (!lock.try_lock()) {
        mDeferredTime += time;
        return;
      }
      time += mDeferredTime;
      mDeferredTime = 0.0;
    } else {
      lock.lock();
    }
    mCurrentTime = absolute ? time : mCurrentTime + time;
    ended = processLocked(mCurrentTime);
  }
  if (ended) {
    EndCallback end;
    {
      std::lock_guard<std::mutex> lock(mCallbackLock);
      end = mEndCallback;
    }
    if (end) end(this);
  }
}

void SynthSequencer::processEvents(double time) {
  std::lock_guard<std::mutex> lock(mLock);
  processLocked(time);
}

bool SynthSequencer::processLocked(double time) {
  if (!mPlaying || !mPool) return false;
  for (;
       mNextEvent < mEvents.size() && mEvents[mNextEvent].event.startTime <= time + kTimeTolerance;
       ++mNextEvent) {
    Scheduled& s = mEvents[mNextEvent];
    if (s.done) continue;
    s.done = true;
    const SynthSequenceEvent& e = s.event;
    if (e.kind == SynthSequenceEvent::PLAY) {
      const int voice = mPool->takeVoice(e.voiceType);
      if (voice < 0) {
        mDropped.push_back(mNextEvent);
        // The audio thread does not print; reportMessages() does it later.
        if (mMode != TIME_MASTER_AUDIO) reportLocked();
        continue;
      }
      mPool->setVoiceFields(voice, e.fields);
      const int id = mPool->triggerOn(voice, 0, -1);
      if (id >= 0) mSounding.push_back({id, e.startTime + e.duration});
    } else if (e.kind == SynthSequenceEvent::TRIGGER_ON) {
      if (mPool->triggerOn(s.voice, 0, e.id) >= 0) mTriggeredIds.push_back(e.id);
    } else {
      mPool->triggerOff(e.id);
      mTriggeredIds.erase(std::remove(mTriggeredIds.begin(), mTriggeredIds.end(), e.id),
                          mTriggeredIds.end());
    }
  }
  for (auto it = mSounding.begin(); it != mSounding.end();) {
    if (it->endTime <= time + kTimeTolerance) {
      mPool->triggerOff(it->id);
      it = mSounding.erase(it);
    } else {
      ++it;
    }
  }
  if (mNextEvent >= mEvents.size() && mSounding.empty()) {
    mPlaying = false;
    return true;
  }
  return false;
}

void SynthSequencer::playThread(double startTime, double start) {
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
  if (mVerbose) std::cout << "CPU play thread done." << std::endl;
  mClock->threadWaiting(true);
}

}  // namespace vl
