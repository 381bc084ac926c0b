#include "sound/vl_PolySynth.hpp"

#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "core/vl_Console.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

namespace {
// Ids are read from the rings in batches of this many.
constexpr uint32_t kRingBatch = 16;
}  // namespace

// The clock thread and the lock of the graphics and update passes.
struct PolySynth::Clock {
  std::mutex graphicsLock;
  std::mutex control;  // serialises starting and stopping the thread
  std::thread thread;
  std::atomic<bool> running{false};
  std::atomic<std::thread::id> threadId{};
  double period = 0.001;

  bool onClockThread() const { return threadId.load() == std::this_thread::get_id(); }
};

PolySynth::PolySynth(TimeMasterMode mode) : mClock(std::make_unique<Clock>()) {
  setTimeMaster(mode);
}

PolySynth::~PolySynth() {
  stopClock();
}

std::mutex& PolySynth::graphicsLock() {
  return mClock->graphicsLock;
}

// ---- Triggers (any thread) ----

void PolySynth::printTrigger(SynthVoice& voice) {
  std::string line = "Trigger on ";
  for (ParameterMeta* param : voice.triggerParameters()) {
    line += param->getName() + ":";
    try {
      char value[32];
      std::snprintf(value, sizeof(value), "%g", param->asFloat());
      line += value;
    } catch (const std::exception&) {
      std::vector<ParameterField> fields;
      param->get(fields);
      line += fields.empty() ? "" : fields[0].get<std::string>();
    }
    line += " ";
  }
  print("%s\n", line.c_str());
}

int PolySynth::triggerOn(SynthVoice* voice, int offsetFrames, int id, void* userData) {
  id = prepareTrigger(voice, offsetFrames, id, userData);
  if (id < 0) return -1;
  startPrepared(voice, offsetFrames);
  return id;
}

int PolySynth::prepareTrigger(SynthVoice* voice, int offsetFrames, int id, void* userData) {
  // A voice still on one of the lists (already triggered, or free) cannot be linked again.
  if (!voice || voice->mListState.load() != SynthVoice::ListState::kNone) return -1;
  if (mVerbose) printTrigger(*voice);
  if (id == -1) {
    id = voice->id();
    if (id < 0) id = mIdCounter.fetch_add(1);
  }
  // A refusal leaves the voice as it was: nothing is stored before every callback agreed.
  for (auto& entry : mTriggerOnCallbacks) {
    if (!entry.cb(voice, offsetFrames, id, entry.userData)) return -1;
  }
  auto expected = SynthVoice::ListState::kNone;
  if (!voice->mListState.compare_exchange_strong(expected, SynthVoice::ListState::kPrepared)) {
    return -1;  // triggered by another thread meanwhile
  }
  voice->id(id);
  if (userData) voice->userData(userData);
  voice->onTriggerPrepare();
  return id;
}

bool PolySynth::startPrepared(SynthVoice* voice, int offsetFrames) {
  auto expected = SynthVoice::ListState::kPrepared;
  if (!voice ||
      !voice->mListState.compare_exchange_strong(expected, SynthVoice::ListState::kPending)) {
    return false;
  }
  voice->triggerOn(offsetFrames);
  voice->onTriggerOn();
  mLists.pushPending(voice);
  return true;
}

void PolySynth::cancelPrepared(SynthVoice* voice) {
  auto expected = SynthVoice::ListState::kPrepared;
  if (voice && voice->mListState.compare_exchange_strong(expected, SynthVoice::ListState::kNone)) {
    voice->id(-1);
  }
}

void PolySynth::triggerOff(int id) {
  if (!prepareTriggerOff(id)) return;
  std::lock_guard<std::mutex> lock(mLists.triggerOffWriteLock());
  mLists.pushTriggerOff(id);
}

bool PolySynth::prepareTriggerOff(int id) {
  for (auto& entry : mTriggerOffCallbacks) {
    if (!entry.cb(id, entry.userData)) return false;
  }
  return true;
}

bool PolySynth::tryTriggerOff(int id) {
  std::unique_lock<std::mutex> lock(mLists.triggerOffWriteLock(), std::try_to_lock);
  return lock.owns_lock() && mLists.pushTriggerOff(id);
}

void PolySynth::triggerFree(int id) {
  std::lock_guard<std::mutex> lock(mLists.freeWriteLock());
  mLists.pushFree(id);
}

void PolySynth::allNotesOff() {
  mAllNotesOff.store(true);
}

// ---- Registry and pools ----

void PolySynth::registerCreator(const std::string& name, std::function<SynthVoice*()> create,
                                bool allowAutomaticAllocation) {
  if (mRegistry.add(name, std::move(create)) && mVerbose) {
    print("Warning: Overriding registration of SynthVoice: %s\n", name.c_str());
  }
  if (!allowAutomaticAllocation) disableAllocation(name);
}

SynthVoice* PolySynth::allocateVoice(const std::string& name) {
  if (!mRegistry.contains(name)) {
    if (mVerbose) {
      print("Can't allocate voice of type %s. Voice not registered and no polyphony.\n",
            name.c_str());
    }
    return nullptr;
  }
  if (mVerbose) print("Allocating (from name) voice of type %s.\n", name.c_str());
  SynthVoice* voice = mRegistry.create(name);
  voice->mRegisteredName = name;
  voice->init();
  for (auto& entry : mAllocationCallbacks) entry.cb(voice, entry.userData);
  return voice;
}

void PolySynth::allocatePolyphony(const std::string& name, int count) {
  for (int i = 0; i < count; ++i) {
    SynthVoice* voice = allocateVoice(name);
    if (!voice) return;
    std::lock_guard<std::mutex> lock(mLists.freeLock());
    mLists.appendFreeLocked(voice);
  }
}

SynthVoice* PolySynth::getFreeVoice(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(mLists.freeLock());
    SynthVoice* voice = mLists.takeFreeLocked([&](SynthVoice* v) {
      const std::string type = v->typeName();
      if (mVerbose) print("Comparing  voice '%s' to '%s'\n", type.c_str(), name.c_str());
      return type == name || type.rfind(name, 0) == 0 || v->mRegisteredName == name;
    });
    if (voice) return voice;
  }
  if (mRegistry.allocationDisabled(name)) {
    print("Automatic allocation disabled for voice:%s\n", name.c_str());
    return nullptr;
  }
  return allocateVoice(name);
}

SynthVoice* PolySynth::getFreeVoice() {
  std::lock_guard<std::mutex> lock(mLists.freeLock());
  return mLists.takeFreeLocked([](SynthVoice*) { return true; });
}

void PolySynth::insertFreeVoice(SynthVoice* voice) {
  std::lock_guard<std::mutex> lock(mLists.freeLock());
  // Only a voice on none of the lists can join the free list.
  if (!voice || voice->mListState.load() != SynthVoice::ListState::kNone) return;
  mLists.pushFreeLocked(voice);
}

// ---- Bookkeeping ----

void PolySynth::processVoiceQueues(bool holdingGraphicsLock) {
  auto bookkeeping = mLists.tryBookkeeping();
  if (!bookkeeping.owns_lock()) return;

  if (SynthVoice* first = mLists.activatePending(); first && mVerbose) {
    print("Voice on %d\n", first->id());
  }

  if (mAllNotesOff.load()) {
    std::unique_lock<std::mutex> voices(mLists.freeLock(), std::try_to_lock);
    std::unique_lock<std::mutex> graphics(graphicsLock(), std::defer_lock);
    if (voices.owns_lock() && (holdingGraphicsLock || graphics.try_lock())) {
      mAllNotesOff.store(false);
      mLists.unlinkActive([](SynthVoice* v) {
        v->id(-1);
        v->free();
        return true;
      });
      mLists.reclaimRetired();
    }
  }

  int32_t ids[kRingBatch];
  while (uint32_t n = mLists.popTriggerOff(ids, kRingBatch)) {
    for (uint32_t i = 0; i < n; ++i) {
      for (SynthVoice* v = mLists.activeHead(); v; v = nextVoice(v)) {
        if (v->id() != ids[i]) continue;
        if (mVerbose) print("Voice trigger off %d\n", ids[i]);
        v->triggerOff(0);
      }
    }
  }
  while (uint32_t n = mLists.popFree(ids, kRingBatch)) {
    for (uint32_t i = 0; i < n; ++i) {
      if (mVerbose) print("Voice free %d\n", ids[i]);
      for (SynthVoice* v = mLists.activeHead(); v; v = nextVoice(v)) {
        if (v->id() == ids[i]) v->free();
      }
    }
  }
}

void PolySynth::processInactiveVoices(bool holdingGraphicsLock) {
  auto bookkeeping = mLists.tryBookkeeping();
  if (!bookkeeping.owns_lock()) return;
  std::unique_lock<std::mutex> voices(mLists.freeLock(), std::try_to_lock);
  if (!voices.owns_lock()) return;
  std::unique_lock<std::mutex> graphics(graphicsLock(), std::defer_lock);
  if (!holdingGraphicsLock && !graphics.try_lock()) return;
  mLists.unlinkActive([this](SynthVoice* v) {
    if (v->active()) return false;
    const int id = v->id();
    v->id(-1);
    v->onFree();
    for (auto& entry : mFreeCallbacks) entry.cb(id, entry.userData);
    return true;
  });
  mLists.reclaimRetired();
}

// ---- Clock thread ----

void PolySynth::setTimeMaster(TimeMasterMode mode) {
  if (mClock->onClockThread()) {
    // The thread cannot join itself: it leaves its loop, and the next start or stop from
    // another thread (or the destructor) joins it.
    mTimeMaster.store(mode);
    mClock->running.store(mode == TIME_MASTER_CPU);
    return;
  }
  std::lock_guard<std::mutex> lock(mClock->control);
  const bool running = mClock->thread.joinable() && mClock->running.load();
  if (running && mode == TIME_MASTER_CPU) {
    mTimeMaster.store(mode);
    return;
  }
  mClock->running.store(false);
  if (mClock->thread.joinable()) mClock->thread.join();
  mTimeMaster.store(mode);
  if (mode == TIME_MASTER_CPU) {
    if (mVerbose) print("Starting CPU clock thread\n");
    mClock->running.store(true);
    mClock->thread = std::thread([this] { clockLoop(); });
  }
}

void PolySynth::stopClock() {
  mClock->running.store(false);
  if (mClock->onClockThread()) return;
  std::lock_guard<std::mutex> lock(mClock->control);
  if (mClock->thread.joinable()) mClock->thread.join();
}

void PolySynth::clockLoop() {
  mClock->threadId.store(std::this_thread::get_id());
  using SteadyClock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<SteadyClock::duration>(
      std::chrono::duration<double>(mClock->period));
  auto next = SteadyClock::now();
  while (mClock->running.load()) {
    processVoiceQueues(false);
    processInactiveVoices(false);
    next += period;
    const auto now = SteadyClock::now();
    if (next < now) next = now;  // fell behind: do not try to catch up in a burst
    std::this_thread::sleep_until(next);
  }
  mClock->threadId.store(std::thread::id());
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
  if (!mMixer.prepare(io)) {
    print("WARNING: You don't have enough buses in AudioIO object. This is likely to crash.\n");
  }
}

void PolySynth::beginAudioPass(AudioIOData& io) {
  // Audio start prepares the synth; a caller that did not is served here, without the
  // warning, which is no line for the audio thread.
  if (!mMixer.preparedFor(io)) mMixer.prepare(io);
  if (mTimeMaster.load() == TIME_MASTER_AUDIO) processVoiceQueues(false);
}

void PolySynth::endAudioPass(AudioIOData& io) {
  VoiceMixer::applyGain(io, gain());
  for (AudioCallback* processor : mPostProcessing) {
    io.frame(-1);
    processor->onAudioCB(io);
  }
  if (mTimeMaster.load() == TIME_MASTER_AUDIO) processInactiveVoices(false);
}

void PolySynth::render(AudioIOData& io) {
  beginAudioPass(io);
  const int frames = io.framesPerBuffer();
  enterVoiceWalk();
  for (SynthVoice* v = mLists.activeHead(); v; v = nextVoice(v)) {
    int start = 0;
    if (!v->active() || !startsInBlock(*v, frames, start)) continue;
    if (mPerVoiceBuffers) {
      renderVoiceBuffer(*v, start);
      if (mVoicePostProcess) mVoicePostProcess(voiceBuffer(), Pose());
      mixVoiceBuffer(io, voiceBuffer().channelsOut(), true);
    } else {
      io.frame(start - 1);
      v->onProcessAudio(io);
    }
  }
  leaveVoiceWalk();
  endAudioPass(io);
}

void PolySynth::render(Graphics& g) {
  std::lock_guard<std::mutex> lock(graphicsLock());
  if (mTimeMaster.load() == TIME_MASTER_GRAPHICS) processVoiceQueues(true);
  for (SynthVoice* v = mLists.activeHead(); v; v = nextVoice(v)) {
    if (v->active()) v->onProcessGraphics(g);
  }
  if (mTimeMaster.load() == TIME_MASTER_GRAPHICS) processInactiveVoices(true);
}

void PolySynth::update(double dt) {
  std::lock_guard<std::mutex> lock(graphicsLock());
  if (mTimeMaster.load() == TIME_MASTER_UPDATE) processVoiceQueues(true);
  for (SynthVoice* v = mLists.activeHead(); v; v = nextVoice(v)) {
    if (v->active()) v->update(dt);
  }
  if (mTimeMaster.load() == TIME_MASTER_UPDATE) processInactiveVoices(true);
}

}  // namespace vl
