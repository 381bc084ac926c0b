#include "sound/vl_PolySynth.hpp"

#include <cxxabi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "ui/vl_Parameter.hpp"

namespace vl {

namespace {
// Ids are read from the rings in batches of this many.
constexpr uint32_t kRingBatch = 16;

void deleteChain(SynthVoice* voice) {
  while (voice) {
    SynthVoice* next = PolySynth::nextVoice(voice);
    delete voice;
    voice = next;
  }
}
}  // namespace

std::string PolySynth::demangle(const char* typeName) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(typeName, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : typeName;
  std::free(demangled);
  if (name.rfind("class ", 0) == 0) name.erase(0, 6);
  return name;
}

PolySynth::PolySynth(TimeMasterMode mode) {
  setTimeMaster(mode);
}

PolySynth::~PolySynth() {
  stopClock();
  deleteChain(mPendingVoices);
  deleteChain(mActiveVoices.load());
  deleteChain(mFreeVoices);
  for (SynthVoice* v = mRetiredVoices; v;) {
    SynthVoice* next = v->mNextRetired;
    delete v;
    v = next;
  }
}

// ---- Triggers (any thread) ----

int PolySynth::triggerOn(SynthVoice* voice, int offsetFrames, int id, void* userData) {
  // A voice still on one of the lists (already triggered, or free) cannot be linked again.
  if (!voice || voice->mListState.load() != SynthVoice::ListState::kNone) return -1;
  if (mVerbose) {
    std::cout << "Trigger on ";
    for (ParameterMeta* param : voice->triggerParameters()) {
      std::cout << param->getName() << ":";
      try {
        std::cout << param->asFloat() << " ";
      } catch (const std::exception&) {
        std::vector<ParameterField> fields;
        param->get(fields);
        std::cout << (fields.empty() ? "" : fields[0].get<std::string>()) << " ";
      }
    }
    std::cout << std::endl;
  }
  if (id == -1) {
    id = voice->id();
    if (id < 0) id = mIdCounter.fetch_add(1);
  }
  voice->id(id);
  if (userData) voice->userData(userData);
  for (auto& entry : mTriggerOnCallbacks) {
    if (!entry.cb(voice, offsetFrames, id, entry.userData)) return -1;
  }
  auto expected = SynthVoice::ListState::kNone;
  if (!voice->mListState.compare_exchange_strong(expected, SynthVoice::ListState::kPending)) {
    return -1;  // triggered by another thread meanwhile
  }
  voice->triggerOn(offsetFrames);
  voice->onTriggerOn();
  std::lock_guard<std::mutex> lock(mPendingLock);
  voice->mNext.store(mPendingVoices);
  mPendingVoices = voice;
  return id;
}

void PolySynth::triggerOff(int id) {
  for (auto& entry : mTriggerOffCallbacks) {
    if (!entry.cb(id, entry.userData)) return;
  }
  std::lock_guard<std::mutex> lock(mTriggerOffWriteLock);
  mTriggerOffRing.push(id);
}

void PolySynth::triggerFree(int id) {
  std::lock_guard<std::mutex> lock(mFreeWriteLock);
  mFreeRing.push(id);
}

void PolySynth::allNotesOff() {
  mAllNotesOff.store(true);
}

// ---- Registry and pools ----

void PolySynth::registerCreator(const std::string& name, std::function<SynthVoice*()> create,
                                bool allowAutomaticAllocation) {
  if (mCreators.count(name) && mVerbose) {
    std::cout << "Warning: Overriding registration of SynthVoice: " << name << std::endl;
  }
  mCreators[name] = std::move(create);
  if (!allowAutomaticAllocation) disableAllocation(name);
}

void PolySynth::disableAllocation(const std::string& name) {
  if (std::find(mNoAllocationList.begin(), mNoAllocationList.end(), name) ==
      mNoAllocationList.end()) {
    mNoAllocationList.push_back(name);
  }
}

SynthVoice* PolySynth::allocateVoice(const std::string& name) {
  auto it = mCreators.find(name);
  if (it == mCreators.end()) {
    if (mVerbose) {
      std::cout << "Can't allocate voice of type " << name
                << ". Voice not registered and no polyphony." << std::endl;
    }
    return nullptr;
  }
  if (mVerbose) std::cout << "Allocating (from name) voice of type " << name << "." << std::endl;
  SynthVoice* voice = it->second();
  voice->mRegisteredName = name;
  voice->init();
  for (auto& entry : mAllocationCallbacks) entry.cb(voice, entry.userData);
  return voice;
}

void PolySynth::allocatePolyphony(const std::string& name, int count) {
  for (int i = 0; i < count; ++i) {
    SynthVoice* voice = allocateVoice(name);
    if (!voice) return;
    voice->mNext.store(nullptr);
    voice->mListState.store(SynthVoice::ListState::kFree);
    std::lock_guard<std::mutex> lock(mFreeLock);
    if (!mFreeVoices) {
      mFreeVoices = voice;
    } else {
      SynthVoice* last = mFreeVoices;
      while (SynthVoice* next = last->mNext.load()) last = next;
      last->mNext.store(voice);
    }
  }
}

SynthVoice* PolySynth::getFreeVoice(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(mFreeLock);
    SynthVoice* previous = nullptr;
    for (SynthVoice* v = mFreeVoices; v; previous = v, v = v->mNext.load()) {
      const std::string type = v->typeName();
      if (mVerbose)
        std::cout << "Comparing  voice '" << type << "' to '" << name << "'" << std::endl;
      if (type == name || type.rfind(name, 0) == 0 || v->mRegisteredName == name) {
        SynthVoice* next = v->mNext.load();
        if (previous) {
          previous->mNext.store(next);
        } else {
          mFreeVoices = next;
        }
        v->mNext.store(nullptr);
        v->mListState.store(SynthVoice::ListState::kNone);
        return v;
      }
    }
  }
  if (std::find(mNoAllocationList.begin(), mNoAllocationList.end(), name) !=
      mNoAllocationList.end()) {
    std::cout << "Automatic allocation disabled for voice:" << name << std::endl;
    return nullptr;
  }
  return allocateVoice(name);
}

SynthVoice* PolySynth::getFreeVoice() {
  std::lock_guard<std::mutex> lock(mFreeLock);
  SynthVoice* voice = mFreeVoices;
  if (voice) {
    mFreeVoices = voice->mNext.load();
    voice->mNext.store(nullptr);
    voice->mListState.store(SynthVoice::ListState::kNone);
  }
  return voice;
}

void PolySynth::insertFreeVoice(SynthVoice* voice) {
  std::lock_guard<std::mutex> lock(mFreeLock);
  // Only a voice on none of the lists can join the free list.
  auto expected = SynthVoice::ListState::kNone;
  if (!voice ||
      !voice->mListState.compare_exchange_strong(expected, SynthVoice::ListState::kFree)) {
    return;
  }
  voice->mNext.store(mFreeVoices);
  mFreeVoices = voice;
}

// ---- Bookkeeping ----

void PolySynth::processVoiceQueues(bool holdingGraphicsLock) {
  std::unique_lock<std::mutex> bookkeeping(mBookkeepingLock, std::try_to_lock);
  if (!bookkeeping.owns_lock()) return;

  // Triggered voices join the front of the active list; a walk already under way does not see
  // them, and the next one does.
  if (mPendingLock.try_lock()) {
    SynthVoice* pending = mPendingVoices;
    mPendingVoices = nullptr;
    mPendingLock.unlock();
    if (pending) {
      if (mVerbose) std::cout << "Voice on " << pending->id() << std::endl;
      SynthVoice* last = pending;
      last->mListState.store(SynthVoice::ListState::kActive);
      while (SynthVoice* next = last->mNext.load()) {
        last = next;
        last->mListState.store(SynthVoice::ListState::kActive);
      }
      last->mNext.store(mActiveVoices.load());
      mActiveVoices.store(pending);
    }
  }

  if (mAllNotesOff.load()) {
    std::unique_lock<std::mutex> voices(mFreeLock, std::try_to_lock);
    std::unique_lock<std::mutex> graphics(mGraphicsLock, std::defer_lock);
    if (voices.owns_lock() && (holdingGraphicsLock || graphics.try_lock())) {
      mAllNotesOff.store(false);
      unlinkActive([](SynthVoice* v) {
        v->id(-1);
        v->free();
        return true;
      });
      reclaimRetired();
    }
  }

  int32_t ids[kRingBatch];
  while (uint32_t n = mTriggerOffRing.pop(ids, kRingBatch)) {
    for (uint32_t i = 0; i < n; ++i) {
      for (SynthVoice* v = mActiveVoices.load(); v; v = v->mNext.load()) {
        if (v->id() != ids[i]) continue;
        if (mVerbose) std::cout << "Voice trigger off " << ids[i] << std::endl;
        v->triggerOff(0);
      }
    }
  }
  while (uint32_t n = mFreeRing.pop(ids, kRingBatch)) {
    for (uint32_t i = 0; i < n; ++i) {
      if (mVerbose) std::cout << "Voice free " << ids[i] << std::endl;
      for (SynthVoice* v = mActiveVoices.load(); v; v = v->mNext.load()) {
        if (v->id() == ids[i]) v->free();
      }
    }
  }
}

void PolySynth::processInactiveVoices(bool holdingGraphicsLock) {
  std::unique_lock<std::mutex> bookkeeping(mBookkeepingLock, std::try_to_lock);
  if (!bookkeeping.owns_lock()) return;
  std::unique_lock<std::mutex> voices(mFreeLock, std::try_to_lock);
  if (!voices.owns_lock()) return;
  std::unique_lock<std::mutex> graphics(mGraphicsLock, std::defer_lock);
  if (!holdingGraphicsLock && !graphics.try_lock()) return;
  unlinkActive([this](SynthVoice* v) {
    if (v->active()) return false;
    const int id = v->id();
    v->id(-1);
    v->onFree();
    for (auto& entry : mFreeCallbacks) entry.cb(id, entry.userData);
    return true;
  });
  reclaimRetired();
}

template <class Drop>
void PolySynth::unlinkActive(Drop drop) {
  SynthVoice* previous = nullptr;
  SynthVoice* v = mActiveVoices.load();
  bool retired = false;
  while (v) {
    SynthVoice* next = v->mNext.load();
    if (drop(v)) {
      // The voice keeps its link so that an audio walk standing on it can carry on.
      if (previous) {
        previous->mNext.store(next);
      } else {
        mActiveVoices.store(next);
      }
      v->mListState.store(SynthVoice::ListState::kRetired);
      v->mNextRetired = mRetiredVoices;
      mRetiredVoices = v;
      retired = true;
    } else {
      previous = v;
    }
    v = next;
  }
  if (retired) mRetiredEpoch = mAudioWalkEpoch.load();
}

void PolySynth::reclaimRetired() {
  if (!mRetiredVoices) return;
  // Safe once no walk was under way at the last unlink, or that walk has ended since.
  if ((mRetiredEpoch & 1u) != 0 && mAudioWalkEpoch.load() == mRetiredEpoch) return;
  while (SynthVoice* v = mRetiredVoices) {
    mRetiredVoices = v->mNextRetired;
    v->mNextRetired = nullptr;
    v->mListState.store(SynthVoice::ListState::kFree);
    v->mNext.store(mFreeVoices);
    mFreeVoices = v;
  }
}

// ---- Clock thread ----

void PolySynth::setTimeMaster(TimeMasterMode mode) {
  stopClock();
  mTimeMaster = mode;
  if (mode == TIME_MASTER_CPU) {
    if (mVerbose) std::cout << "Starting CPU clock thread" << std::endl;
    mClockRunning.store(true);
    mClockThread = std::thread([this] { clockLoop(); });
  }
}

void PolySynth::stopClock() {
  mClockRunning.store(false);
  if (mClockThread.joinable()) mClockThread.join();
}

void PolySynth::clockLoop() {
  using Clock = std::chrono::steady_clock;
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(mClockPeriod));
  auto next = Clock::now();
  while (mClockRunning.load()) {
    processVoiceQueues(false);
    processInactiveVoices(false);
    next += period;
    const auto now = Clock::now();
    if (next < now) next = now;  // fell behind: do not try to catch up in a burst
    std::this_thread::sleep_until(next);
  }
}

// ---- Callbacks ----

void PolySynth::registerTriggerOnCallback(TriggerOnCallback cb, void* userData) {
  mTriggerOnCallbacks.push_back({std::move(cb), userData});
}
void PolySynth::registerTriggerOffCallback(TriggerOffCallback cb, void* userData) {
  mTriggerOffCallbacks.push_back({std::move(cb), userData});
}
void PolySynth::registerFreeCallback(FreeCallback cb, void* userData) {
  mFreeCallbacks.push_back({std::move(cb), userData});
}
void PolySynth::registerAllocateCallback(AllocationCallback cb, void* userData) {
  mAllocationCallbacks.push_back({std::move(cb), userData});
}

// ---- Rendering ----

void PolySynth::prepare(AudioIOData& io) {
  mVoiceBuffer.framesPerSecond(io.framesPerSecond());
  mVoiceBuffer.framesPerBuffer(io.framesPerBuffer());
  mVoiceBuffer.channels(mVoiceOutChannels, true);
  mVoiceBuffer.channels(mVoiceInChannels, false);
  mVoiceBuffer.channelsBus(mVoiceBusChannels);
  if (io.channelsBus() < mVoiceBusChannels) {
    std::cout << "WARNING: You don't have enough buses in AudioIO object. This is likely to crash."
              << std::endl;
  }
  mPrepared = true;
}

void PolySynth::beginAudioPass(AudioIOData& io) {
  if (!mPrepared || mVoiceBuffer.framesPerBuffer() != io.framesPerBuffer()) prepare(io);
  if (mTimeMaster == TIME_MASTER_AUDIO) processVoiceQueues(false);
}

void PolySynth::endAudioPass(AudioIOData& io) {
  const float g = gain();
  if (g != 1.0f) {
    for (int c = 0; c < io.channelsOut(); ++c) {
      float* out = io.outBuffer(c);
      for (int f = 0; f < io.framesPerBuffer(); ++f) out[f] *= g;
    }
  }
  for (AudioCallback* processor : mPostProcessing) {
    io.frame(-1);
    processor->onAudioCB(io);
  }
  if (mTimeMaster == TIME_MASTER_AUDIO) processInactiveVoices(false);
}

bool PolySynth::startsInBlock(SynthVoice& voice, int framesPerBuffer, int& start) {
  start = voice.getStartOffsetFrames(framesPerBuffer);
  if (start >= framesPerBuffer) return false;
  const int end = voice.getEndOffsetFrames(framesPerBuffer);
  if (end >= 1 && end <= framesPerBuffer) voice.onTriggerOff();
  return true;
}

void PolySynth::renderVoiceBuffer(SynthVoice& voice, int start) {
  mVoiceBuffer.zeroOut();
  mVoiceBuffer.zeroBus();
  mVoiceBuffer.frame(start - 1);
  voice.onProcessAudio(mVoiceBuffer);
}

void PolySynth::mixVoiceBuffer(AudioIOData& io, int numOutputs, bool buses) {
  const int frames = std::min(io.framesPerBuffer(), mVoiceBuffer.framesPerBuffer());
  const int outs = std::min({numOutputs, mVoiceBuffer.channelsOut(), io.channelsOut()});
  for (int c = 0; c < outs; ++c) {
    const float* src = mVoiceBuffer.outBuffer(c);
    float* dst = io.outBuffer(c);
    for (int f = 0; f < frames; ++f) dst[f] += src[f];
  }
  if (!buses) return;
  const int busCount = std::min(mVoiceBuffer.channelsBus(), io.channelsBus());
  for (int c = 0; c < busCount; ++c) {
    const float* src = mVoiceBuffer.busBuffer(c);
    float* dst = io.busBuffer(c);
    for (int f = 0; f < frames; ++f) dst[f] += src[f];
  }
}

void PolySynth::render(AudioIOData& io) {
  beginAudioPass(io);
  const int frames = io.framesPerBuffer();
  enterVoiceWalk();
  for (SynthVoice* v = mActiveVoices.load(); v; v = v->mNext.load()) {
    int start = 0;
    if (!v->active() || !startsInBlock(*v, frames, start)) continue;
    if (mPerVoiceBuffers) {
      renderVoiceBuffer(*v, start);
      if (mVoicePostProcess) mVoicePostProcess(mVoiceBuffer, Pose());
      mixVoiceBuffer(io, mVoiceBuffer.channelsOut(), true);
    } else {
      io.frame(start - 1);
      v->onProcessAudio(io);
    }
  }
  leaveVoiceWalk();
  endAudioPass(io);
}

void PolySynth::render(Graphics& g) {
  std::lock_guard<std::mutex> lock(mGraphicsLock);
  if (mTimeMaster == TIME_MASTER_GRAPHICS) processVoiceQueues(true);
  for (SynthVoice* v = mActiveVoices.load(); v; v = v->mNext.load()) {
    if (v->active()) v->onProcessGraphics(g);
  }
  if (mTimeMaster == TIME_MASTER_GRAPHICS) processInactiveVoices(true);
}

void PolySynth::update(double dt) {
  std::lock_guard<std::mutex> lock(mGraphicsLock);
  if (mTimeMaster == TIME_MASTER_UPDATE) processVoiceQueues(true);
  for (SynthVoice* v = mActiveVoices.load(); v; v = v->mNext.load()) {
    if (v->active()) v->update(dt);
  }
  if (mTimeMaster == TIME_MASTER_UPDATE) processInactiveVoices(true);
}

}  // namespace vl
