#pragma once

// Plays a synth sequence: takes free voices by type name from a voice pool, sets their fields
// and triggers them on and off at the scheduled times. Time comes from audio blocks, graphics
// frames or the sequencer's own play thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/vl_SequencerClock.hpp"
#include "ui/vl_SynthSequence.hpp"

namespace vl {

// What the sequencer needs of a polyphonic synth. Voices are named by handles that the pool
// gives out; a handle stays valid until the voice is triggered or given back.
class SynthSequencerVoicePool {
 public:
  virtual ~SynthSequencerVoicePool() = default;
  // A free voice of the type, or -1 when none can be had.
  virtual int takeVoice(const std::string& type) = 0;
  virtual bool setVoiceFields(int voice, const std::vector<ParameterField>& fields) = 0;
  // Triggers the voice on under the id (-1: the pool chooses); returns the id, -1 on refusal.
  virtual int triggerOn(int voice, int offsetFrames, int id) = 0;
  virtual void triggerOff(int id) = 0;
  // Gives back a voice that was taken and never triggered.
  virtual void giveBack(int voice) = 0;
};

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

  // Sets the time to startTime (seconds; -1 makes events at 0 fire one second later), reads
  // the score, takes the voices of its "+" lines and starts playing. False when the score
  // cannot be read.
  bool playSequence(const std::string& name, float startTime = 0.0f);
  // Stops playing, turns off the voices it started and gives back those never triggered.
  void stopSequence();
  bool playing() const { return mPlaying.load(); }
  // The clock time (TIME_MASTER_CPU) at which the play thread's time was the start time.
  double playStartClockTime() const { return mPlayStartClock.load(); }
  double currentTime();

  // One audio block (TIME_MASTER_AUDIO) or one graphics frame (TIME_MASTER_GRAPHICS): time
  // advances, then the events that fall due are processed.
  void processAudioBlock(int frames, double sampleRate);
  void processGraphicsFrame(double frameRate);
  // Processes the events due at time (for callers that keep their own time).
  void processEvents(double time);
  // Prints the messages that audio blocks held back (events dropped for want of a free
  // voice). Call from a thread other than the audio thread; stopSequence() calls it too.
  void reportMessages();

 private:
  struct Scheduled {
    SynthSequenceEvent event;
    int voice = -1;  // prepared voice of a TRIGGER_ON event
    bool done = false;
  };
  struct Sounding {
    int id;
    double endTime;
  };

  // Moves the time by dt, or to it when absolute; then processes what fell due.
  void advance(double time, bool absolute = false);
  // Caller holds mLock; returns true when the sequence has just ended.
  bool processLocked(double time);
  void playThread(double startTime, double start);
  void stopThread();
  void releaseLocked();
  void reportLocked();

  int32_t mMode;
  uint64_t mPeriodNs;
  std::shared_ptr<SequencerClock> mClock;
  SynthSequencerVoicePool* mPool = nullptr;
  std::string mDirectory;
  std::mutex mLock;
  std::vector<Scheduled> mEvents;
  std::size_t mNextEvent = 0;
  std::vector<Sounding> mSounding;
  std::vector<int> mTriggeredIds;     // ids of "+" voices that are on
  std::vector<std::size_t> mDropped;  // events that found no free voice, not yet reported
  double mDeferredTime = 0.0;         // audio time of blocks that found the events busy
  double mCurrentTime = 0.0;
  std::atomic<bool> mPlaying{false};
  std::atomic<bool> mThreadRunning{false};
  std::atomic<double> mPlayStartClock{0.0};
  std::thread mThread;
  bool mVerbose = false;
  std::mutex mCallbackLock;
  EndCallback mEndCallback;
};

}  // namespace vl
