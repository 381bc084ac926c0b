#pragma once

// Plays a synth sequence: takes free voices by type name from a voice pool, sets their fields
// and triggers them on and off at the scheduled times. Time comes from audio blocks, graphics
// frames or the sequencer's own play thread.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/vl_SequencerClock.hpp"
#include "ui/vl_SynthSequence.hpp"
#include "ui/vl_SynthSequencerRing.hpp"

namespace vl {

// What the sequencer needs of a polyphonic synth. Voices are named by handles that the pool
// gives out; a handle stays valid until the voice is triggered or given back.
//
// In audio time the sequencer's preparation thread takes, sets up and prepares voices ahead of
// their events; the audio thread only calls triggerOn() and tryTriggerOff(), which must then
// never wait, allocate or print.
class SynthSequencerVoicePool {
 public:
  virtual ~SynthSequencerVoicePool() = default;
  // A free voice of the type, or -1 when none can be had.
  virtual int takeVoice(const std::string& type) = 0;
  virtual bool setVoiceFields(int voice, const std::vector<ParameterField>& fields) = 0;
  // The voice's trigger work, done before its event is due; id (-1: the pool chooses) may be
  // chosen here. False when the trigger is refused: the handle is void then.
  virtual bool prepareTrigger(int voice, int& id) {
    (void)voice, (void)id;
    return true;
  }
  // Triggers the voice on under the id (-1: the pool chooses) offsetFrames into the coming
  // buffers; returns the id, -1 on refusal.
  virtual int triggerOn(int voice, int offsetFrames, int id) = 0;
  // Before a trigger off is due: false when it is refused.
  virtual bool prepareTriggerOff(int id) {
    (void)id;
    return true;
  }
  virtual void triggerOff(int id) = 0;
  // The audio thread's trigger off: false when it cannot be done now and must be tried again.
  virtual bool tryTriggerOff(int id) {
    triggerOff(id);
    return true;
  }
  // Gives back a voice that was taken and never triggered.
  virtual void giveBack(int voice) = 0;
};

// Start and stop are idempotent and safe from any thread, the sequencer's own threads (its
// end callback) included.
class SynthSequencer {
 public:
  enum TimeMasterMode : int32_t {
    TIME_MASTER_AUDIO = 0,
    TIME_MASTER_GRAPHICS = 1,
    TIME_MASTER_CPU = 4,
  };
  using EndCallback = std::function<void(SynthSequencer* sequencer)>;

  // periodNs: the play thread's period in TIME_MASTER_CPU mode.
  explicit SynthSequencer(int32_t mode = TIME_MASTER_AUDIO, uint64_t periodNs = 1000000,
                          std::shared_ptr<SequencerClock> clock = nullptr);
  ~SynthSequencer();
  SynthSequencer(const SynthSequencer&) = delete;
  SynthSequencer& operator=(const SynthSequencer&) = delete;

  // Not owned.
  void setVoicePool(SynthSequencerVoicePool& pool) { mPool = &pool; }
  void setDirectory(std::string directory) { mDirectory = std::move(directory); }
  void verbose(bool v) { mVerbose = v; }
  void registerEndCallback(EndCallback callback);
  // How far ahead of the audio time voices are prepared (TIME_MASTER_AUDIO; seconds). Set
  // before playSequence().
  void lookAhead(double seconds) { mLookAhead = seconds; }
  // For a caller that makes the audio blocks itself, faster than real time (an offline
  // render): no preparation thread runs, and the caller calls prepareAhead() before each
  // block, so that what is prepared when never depends on how threads are scheduled. Set
  // before playSequence().
  void prepareOnCaller(bool onCaller) { mPrepareOnCaller = onCaller; }
  // The preparation thread's pass (TIME_MASTER_AUDIO), on the caller's thread: prepares the
  // events of the look-ahead window, reports late ones and runs a pending end callback.
  void prepareAhead();

  // Sets the time to startTime (seconds; -1 makes events at 0 fire one second later), reads
  // the score, takes the voices of its "+" lines and starts playing. In audio time the events
  // of the first look-ahead window are prepared before it returns. False when the score
  // cannot be read.
  bool playSequence(const std::string& name, float startTime = 0.0f);
  // Stops playing, turns off the voices it started and gives back those never triggered.
  void stopSequence();
  bool playing() const { return mPlaying.load(); }
  // The clock time (TIME_MASTER_CPU) at which the play thread's time was the start time.
  double playStartClockTime() const { return mPlayStartClock.load(); }
  double currentTime() const { return mTime.load(); }

  // One audio block (TIME_MASTER_AUDIO) or one graphics frame (TIME_MASTER_GRAPHICS): time
  // advances, then the events that fall due are processed. In audio time this only starts
  // prepared voices at their frames and queues trigger offs: it never waits or allocates.
  void processAudioBlock(int frames, double sampleRate);
  void processGraphicsFrame(double frameRate);
  // Processes the events due at time (for callers that keep their own time; not in audio time).
  void processEvents(double time);
  // Prints the messages that audio blocks held back (events dropped for want of a free
  // voice) and runs a pending end callback. Call from a thread other than the audio thread;
  // stopSequence() prints them too.
  void reportMessages();

 private:
  struct Scheduled {
    SynthSequenceEvent event;
    int voice = -1;  // the voice of a TRIGGER_ON or PLAY event, once taken
    bool done = false;
  };
  // What the audio side does, in time order: start an event's voice or turn off an id.
  struct Action {
    double time = 0.0;
    int event = -1;
    int voice = -1;
    int id = -1;
    bool on = false;
  };
  // Written by the side that plays the actions, read once playing has stopped.
  struct Played {
    std::atomic<int> id{-1};         // id the voice of a PLAY event got
    std::atomic<bool> done{false};   // the event's own action was played
    std::atomic<bool> ended{false};  // a PLAY event's trigger off was played
  };

  // Caller holds mLock. Prepares the events up to horizon and hands their actions over;
  // returns after the first event that cannot be handed over yet.
  void prepareLocked(double horizon, bool reportLate);
  bool prepareEvent(std::size_t index, bool reportLate);
  bool handOver(const Action& action, bool reportLate);
  // Hands over the prepared trigger offs due before limit.
  bool flushOffs(double limit, bool reportLate);
  // Plays the actions due by t1 in the block starting at t0 (frames at sampleRate; 0: no
  // frames, offsets 0). Returns true when the sequence has just ended.
  bool playActions(double t0, double t1, double sampleRate, int frames);
  void advance(double time, bool absolute = false);
  void playThread(double startTime, double start);
  void prepareThread();
  void finishIfEnded();
  bool onOwnThread() const;
  // Stops playback and waits for an audio block under way; releases the voices.
  void stopPlayback();
  void joinThreads();
  void releaseLocked();
  void reportLocked();

  int32_t mMode;
  uint64_t mPeriodNs;
  std::shared_ptr<SequencerClock> mClock;
  SynthSequencerVoicePool* mPool = nullptr;
  std::string mDirectory;
  double mLookAhead = 4.0;
  bool mPrepareOnCaller = false;
  bool mVerbose = false;

  std::mutex mControlLock;  // playSequence and stopSequence from threads of others
  std::mutex mLock;         // the events and their preparation
  std::vector<Scheduled> mEvents;
  std::unique_ptr<Played[]> mPlayed;
  std::size_t mNextPrepare = 0;
  std::vector<Action> mOffs;          // prepared trigger offs of PLAY events, by time
  std::vector<std::size_t> mDropped;  // events that found no free voice, not yet reported
  bool mAllHandedOver = false;

  SynthSequencerRing<Action, 1024> mActions;
  std::atomic<bool> mActionsComplete{false};  // every action is in the ring
  std::array<int, 64> mHeldOffs{};            // audio side: trigger offs to try again
  int mHeldOffCount = 0;
  std::atomic<uint32_t> mAudioEpoch{0};  // odd while an audio block plays actions
  std::atomic<double> mTime{0.0};
  std::atomic<bool> mPlaying{false};

  std::atomic<bool> mThreadRunning{false};
  std::atomic<double> mPlayStartClock{0.0};
  std::thread mThread;
  std::atomic<std::thread::id> mPlayThreadId{};
  std::atomic<bool> mPrepareRunning{false};
  std::thread mPrepareThread;
  std::atomic<std::thread::id> mPrepareThreadId{};
  std::mutex mPrepareWakeLock;
  std::condition_variable mPrepareWake;

  std::mutex mCallbackLock;
  EndCallback mEndCallback;
  std::atomic<bool> mEndPending{false};
  std::atomic<int> mEndRunning{0};
};

}  // namespace vl
