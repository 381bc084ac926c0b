#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "math/vl_Pose.hpp"
#include "sound/vl_AudioIO.hpp"
#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_SynthRegistry.hpp"
#include "sound/vl_SynthVoice.hpp"
#include "sound/vl_VoiceLists.hpp"
#include "sound/vl_VoiceMixer.hpp"

namespace vl {

// Where the synth moves voices between its lists (triggered voices into the active list,
// finished ones back to the free list): at the start and end of each audio block, graphics
// frame or update pass, or on a clock thread of its own every millisecond.
enum TimeMasterMode : int32_t {
  TIME_MASTER_AUDIO = 0,
  TIME_MASTER_GRAPHICS = 1,
  TIME_MASTER_UPDATE = 2,
  TIME_MASTER_CPU = 4
};

// A pool of voices handed out by class name, triggered on and off from any thread and rendered
// into audio blocks, graphics frames and update passes.
//
// Voices move free -> pending (triggerOn) -> active (next bookkeeping pass) -> inactive (the
// voice calls free(), or a free request names its id) -> free (next bookkeeping pass).
// Triggers reach the bookkeeping thread through the pending list and two lock-free rings of
// ids; the bookkeeping only ever try-locks, so the audio thread never waits. A voice taken off
// the active list goes back to the free list only after any audio pass that could still be
// looking at it has finished, so an audio pass may walk the active list without a lock.
//
// The synth owns every voice it created or was given; a voice taken with getFreeVoice() and
// not triggered belongs to the caller until it is inserted back with insertFreeVoice().
//
// A trigger comes in two halves for callers that start voices on the audio thread:
// prepareTrigger() does the slow part off the audio thread (id, trigger-on callbacks, the
// voice's onTriggerPrepare()), startPrepared() only starts the voice and never waits or
// allocates. triggerOn() is both at once.
class PolySynth {
 public:
  using TriggerOnCallback =
      std::function<bool(SynthVoice* voice, int offsetFrames, int id, void* userData)>;
  using TriggerOffCallback = std::function<bool(int id, void* userData)>;
  using FreeCallback = std::function<void(int id, void* userData)>;
  using AllocationCallback = std::function<void(SynthVoice* voice, void* userData)>;
  // Runs on each voice's own buffer before it is mixed, with the voice's pose.
  using VoicePostProcess = std::function<void(AudioIOData& voiceBuffer, Pose pose)>;

  explicit PolySynth(TimeMasterMode mode = TIME_MASTER_AUDIO);
  virtual ~PolySynth();
  PolySynth(const PolySynth&) = delete;
  PolySynth& operator=(const PolySynth&) = delete;

  // Makes a voice active from the next bookkeeping pass on, offsetFrames into the coming
  // buffers. An id of -1 takes the voice's own id or, when it has none, the next automatic id
  // (from 1000). Returns the id, or -1 (voice untouched) when a trigger-on callback refused or
  // when the voice is still on one of the synth's lists: only a voice taken from the pool (or
  // never given to it) can be triggered.
  int triggerOn(SynthVoice* voice, int offsetFrames = 0, int id = -1, void* userData = nullptr);
  // The first half of triggerOn(), off the audio thread: the id, the trigger-on callbacks and
  // the voice's onTriggerPrepare(). Returns the id, or -1 with the voice untouched.
  int prepareTrigger(SynthVoice* voice, int offsetFrames = 0, int id = -1,
                     void* userData = nullptr);
  // The second half, safe on the audio thread: starts a prepared voice offsetFrames into the
  // coming buffers and runs its onTriggerOn(). False for a voice that is not prepared.
  bool startPrepared(SynthVoice* voice, int offsetFrames);
  // Takes back the preparation of a voice that will not be started; the voice is the
  // caller's again, with id -1.
  void cancelPrepared(SynthVoice* voice);
  // Turns off the active voices with this id at the next bookkeeping pass. Dropped when a
  // trigger-off callback refuses or when too many requests are waiting.
  void triggerOff(int id);
  // The halves of triggerOff(): the callbacks (false when one refuses), off the audio thread,
  // and the request itself, which never waits (false when the ring is busy or full: try again).
  bool prepareTriggerOff(int id);
  bool tryTriggerOff(int id);
  // Marks the active voices with this id inactive at the next bookkeeping pass, so that they
  // are freed without a release. Dropped when too many requests are waiting.
  void triggerFree(int id);
  // Moves every active voice back to the free list at the next bookkeeping pass, without
  // turning them off or running the free hooks.
  virtual void allNotesOff();

  // Registers how to create a voice class under a name (empty: the class's own name).
  template <class T>
  void registerSynthClass(std::string name = "", bool allowAutomaticAllocation = true) {
    if (name.empty()) name = SynthRegistry::nameOf<T>();
    registerCreator(
        name, [] { return static_cast<SynthVoice*>(new T); }, allowAutomaticAllocation);
  }
  void registerCreator(const std::string& name, std::function<SynthVoice*()> create,
                       bool allowAutomaticAllocation = true);
  // getFreeVoice(name) no longer creates voices of this name when none is free.
  void disableAllocation(const std::string& name) { mRegistry.disableAllocation(name); }

  // Creates count voices of a registered class and appends them to the free list.
  void allocatePolyphony(const std::string& name, int count);
  template <class T>
  void allocatePolyphony(int count) {
    const std::string name = SynthRegistry::nameOf<T>();
    if (!isRegistered(name)) registerSynthClass<T>(name);
    allocatePolyphony(name, count);
  }

  // A free voice whose class (or registration) name is name, creating one when none is free
  // and automatic allocation is allowed; null when none can be had.
  SynthVoice* getFreeVoice(const std::string& name);
  template <class T>
  T* getVoice() {
    return dynamic_cast<T*>(getFreeVoice(SynthRegistry::nameOf<T>()));
  }
  // The head of the free list, whatever its class; null when the list is empty.
  SynthVoice* getFreeVoice();
  // Gives a voice to the pool; ignored for a voice that is already on one of its lists.
  void insertFreeVoice(SynthVoice* voice);
  // A new voice of a registered class (not on any list); null when the name is unknown.
  SynthVoice* allocateVoice(const std::string& name);
  bool isRegistered(const std::string& name) const { return mRegistry.contains(name); }

  virtual void render(AudioIOData& io);
  virtual void render(Graphics& g);
  virtual void update(double dt = 0.0);
  // Sizes the per-voice buffer for io's blocks. Call it when audio starts, off the audio
  // thread; a render that finds the synth unprepared prepares it there, allocating.
  virtual void prepare(AudioIOData& io);

  // Idempotent and safe from any thread, the clock thread's own callbacks included.
  void setTimeMaster(TimeMasterMode mode);
  TimeMasterMode timeMaster() const { return mTimeMaster.load(); }

  // Register before voices are triggered; the lists are not guarded against concurrent change.
  void registerTriggerOnCallback(TriggerOnCallback cb, void* userData = nullptr);
  void registerTriggerOffCallback(TriggerOffCallback cb, void* userData = nullptr);
  void registerFreeCallback(FreeCallback cb, void* userData = nullptr);
  void registerAllocateCallback(AllocationCallback cb, void* userData = nullptr);

  void setVoicePostProcessing(VoicePostProcess cb) { mVoicePostProcess = std::move(cb); }
  // Objects run over the whole block after the voices; the caller keeps them alive.
  void appendProcessor(AudioCallback& processor) { mPostProcessing.push_back(&processor); }

  // Set before audio starts.
  void renderInVoiceBuffers(bool perVoice) { mPerVoiceBuffers = perVoice; }
  void setVoiceMaxOutputChannels(int n) { mVoiceOutChannels = n, updateMixerChannels(); }
  void setVoiceMaxInputChannels(int n) { mVoiceInChannels = n, updateMixerChannels(); }
  void setVoiceBusChannels(int n) { mVoiceBusChannels = n, updateMixerChannels(); }

  void gain(float g) { mGain.store(g, std::memory_order_relaxed); }
  float gain() const { return mGain.load(std::memory_order_relaxed); }
  void verbose(bool v) { mVerbose = v; }
  bool verbose() const { return mVerbose; }

  // The list heads. Walk the active list only while holding voiceLock(), which keeps voices
  // from leaving it.
  SynthVoice* getActiveVoices() { return mLists.activeHead(); }
  SynthVoice* getFreeVoices() { return mLists.freeHead(); }
  std::mutex& voiceLock() { return mLists.freeLock(); }

  static SynthVoice* nextVoice(const SynthVoice* voice) { return VoiceLists::next(voice); }
  static std::string demangle(const char* typeName) { return SynthRegistry::demangle(typeName); }

 protected:
  // Bookkeeping: pending insertion, all-notes-off and the rings (start of a pass), inactive
  // removal (end of a pass). holdingGraphicsLock tells that the caller holds graphicsLock().
  void processVoiceQueues(bool holdingGraphicsLock);
  void processInactiveVoices(bool holdingGraphicsLock);

  // Audio pass helpers shared with subclasses that mix voices in their own way.
  // beginAudioPass prepares (when audio start did not) and runs the start bookkeeping of the
  // audio mode; endAudioPass applies gain and processors and the end bookkeeping.
  void beginAudioPass(AudioIOData& io);
  void endAudioPass(AudioIOData& io);
  // Marks the span in which the active list is walked on the audio thread.
  void enterVoiceWalk() { mLists.enterWalk(); }
  void leaveVoiceWalk() { mLists.leaveWalk(); }
  SynthVoice* activeVoices() const { return mLists.activeHead(); }
  static bool startsInBlock(SynthVoice& voice, int framesPerBuffer, int& start) {
    return VoiceMixer::startsInBlock(voice, framesPerBuffer, start);
  }
  // Renders the voice alone into voiceBuffer() (cleared first), starting at frame start.
  void renderVoiceBuffer(SynthVoice& voice, int start) { mMixer.render(voice, start); }
  // Adds voiceBuffer()'s outputs (up to numOutputs) and buses into io.
  void mixVoiceBuffer(AudioIOData& io, int numOutputs, bool buses) {
    mMixer.mix(io, numOutputs, buses);
  }
  AudioIOData& voiceBuffer() { return mMixer.buffer(); }
  // Held by render(Graphics&) and update(); subclasses that override them take it too.
  std::mutex& graphicsLock();

  void stopClock();

  VoicePostProcess mVoicePostProcess;
  std::atomic<TimeMasterMode> mTimeMaster{TIME_MASTER_AUDIO};

 private:
  struct Clock;
  struct TriggerOnEntry {
    TriggerOnCallback cb;
    void* userData;
  };
  struct TriggerOffEntry {
    TriggerOffCallback cb;
    void* userData;
  };
  struct FreeEntry {
    FreeCallback cb;
    void* userData;
  };
  struct AllocationEntry {
    AllocationCallback cb;
    void* userData;
  };

  void clockLoop();
  void updateMixerChannels() {
    mMixer.channels(mVoiceOutChannels, mVoiceInChannels, mVoiceBusChannels);
  }
  void printTrigger(SynthVoice& voice);

  VoiceLists mLists;
  SynthRegistry mRegistry;
  VoiceMixer mMixer;
  std::unique_ptr<Clock> mClock;
  bool mPerVoiceBuffers = true;
  int mVoiceOutChannels = 2;
  int mVoiceInChannels = 0;
  int mVoiceBusChannels = 0;
  std::vector<AudioCallback*> mPostProcessing;
  std::vector<TriggerOnEntry> mTriggerOnCallbacks;
  std::vector<TriggerOffEntry> mTriggerOffCallbacks;
  std::vector<FreeEntry> mFreeCallbacks;
  std::vector<AllocationEntry> mAllocationCallbacks;
  std::atomic<float> mGain{1.0f};
  std::atomic<int> mIdCounter{1000};
  std::atomic<bool> mAllNotesOff{false};
  bool mVerbose = false;
};

}  // namespace vl
