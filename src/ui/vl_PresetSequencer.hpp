#pragma once

// Plays a sequence file: timed preset recalls with morph and wait times, plus event and
// parameter steps, driving a PresetHandler from its own timing thread (or from the owner's
// update in the modes without a thread). What falls due when is the timeline's business; this
// class carries it out, owns the thread and answers OSC.
//
// The timing thread starts with the first play, not before (a scene holds one sequencer per
// voice). Play, stop and destruction are safe from any thread, the timing thread's own
// callbacks included.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "ui/vl_PresetHandler.hpp"
#include "ui/vl_SequenceFile.hpp"
#include "ui/vl_SequenceTimeline.hpp"
#include "ui/vl_SequencerClock.hpp"

namespace vl {

class PresetSequencer : public osc::MessageConsumer {
 public:
  enum TimeMasterMode : int32_t {
    TIME_MASTER_AUDIO = 0,     // not supported; treated as TIME_MASTER_CPU
    TIME_MASTER_GRAPHICS = 1,  // not supported; treated as TIME_MASTER_CPU
    TIME_MASTER_UPDATE = 2,    // time advanced by stepSequencer()
    TIME_MASTER_FREE = 3,      // time advanced by stepSequencer()
    TIME_MASTER_CPU = 4        // the sequencer's own timing thread
  };

  using Step = SequenceStep;

  using TimeCallback = std::function<void(float seconds)>;
  using BeginCallback = std::function<void(PresetSequencer* sequencer)>;
  using EndCallback = std::function<void(bool finished, PresetSequencer* sequencer)>;
  using EventCallback = std::function<void(const std::vector<ParameterField>& values)>;

  explicit PresetSequencer(int32_t mode = TIME_MASTER_CPU,
                           std::shared_ptr<SequencerClock> clock = nullptr);
  ~PresetSequencer() override;
  PresetSequencer(const PresetSequencer&) = delete;
  PresetSequencer& operator=(const PresetSequencer&) = delete;

  // Not owned.
  void setHandler(PresetHandler& handler) { mHandler = &handler; }
  PresetSequencer& operator<<(PresetHandler& handler) {
    setHandler(handler);
    return *this;
  }
  // Parameters that parameter steps may set (not owned; register during set-up).
  void registerParameter(ParameterMeta& parameter) { mParameters.push_back(&parameter); }
  PresetSequencer& operator<<(ParameterMeta& parameter) {
    registerParameter(parameter);
    return *this;
  }
  void registerEventCommand(std::string name, EventCallback callback);
  void registerTimeChangeCallback(TimeCallback callback);
  void registerBeginCallback(BeginCallback callback);
  void registerEndCallback(EndCallback callback);
  void enableEndCallback(bool enable) { mEndCallbackEnabled = enable; }

  // Where sequences are read from when no handler is attached.
  void setDirectory(std::string directory);
  std::string getDirectory() const;
  // The path of the sequence file for a name.
  std::string sequencePath(const std::string& name) const;
  void setOSCSubPath(std::string subPath) { mOSCsubPath = std::move(subPath); }

  // Reads a sequence file, the times multiplied by timeScale. Empty, with a message, when the
  // file cannot be opened or the name is refused.
  std::vector<Step> loadSequence(const std::string& name, double timeScale = 1.0);

  // Loads (unless the name is empty, which replays the loaded sequence) and starts playing;
  // with a start time above 0 playing begins there. In TIME_MASTER_CPU mode this returns once
  // the timing thread has started.
  void playSequence(const std::string& name = "", double timeScale = 1.0, float startTime = 0.0f);
  // Stops at once and halts the handler's morph. From the begin callback it cancels the start.
  void stopSequence();
  // Moves the playing sequence to the given time at its next step.
  void seek(float seconds) { mPendingSeek.store(seconds); }
  // Advances time in the modes without a thread; the owner calls it once per update.
  void stepSequencer(double dt);

  bool running() const { return mRunning.load(); }
  double currentTime();
  std::string currentSequence();
  std::vector<Step> getSequenceSteps();
  int32_t timeMasterMode() const { return mTimeMasterMode; }
  void setGranularityNs(uint64_t ns) { mGranularityNs = ns; }

  bool consumeMessage(osc::Message& message, std::string rootPath) override;

 private:
  using Action = SequenceTimeline::Action;

  // What the sequencer shares with its timing thread. The thread and every waiting caller
  // hold it too, so that after any callback they can tell that the sequencer was destroyed
  // meanwhile and leave without touching it.
  struct Worker {
    std::mutex lock;
    std::condition_variable signal;
    std::thread::id id;
    bool started = false;
    bool quit = false;
    bool inLoop = false;     // from the begin callback to the end of the running loop
    uint64_t requested = 0;  // start requests; begun catches up when a start is taken or
    uint64_t begun = 0;      // cancelled
    std::atomic<bool> destroyed{false};
  };

  void ensureThread();
  bool onTimingThread();
  // Steps due at the current time, under the step lock; the actions run afterwards without it.
  // True when this advance reached the end of the sequence.
  bool processTime(double dt, std::vector<Action>& actions);
  // Carries out one action; stops early when the sequencer is destroyed by a callback.
  void perform(const Action& action, const Worker& worker);
  // Clears the running flags; with wait, also waits until the timing thread has left its run.
  void halt(bool wait);
  void threadFunction(std::shared_ptr<Worker> worker, std::shared_ptr<SequencerClock> clock);
  // One run from the begin callback to the end callback; false when a callback destroyed the
  // sequencer.
  bool run(Worker& worker, SequencerClock& clock);
  void callEnd(bool finished);

  SequenceTimeline mTimeline;
  std::vector<ParameterMeta*> mParameters;
  std::vector<std::pair<std::string, EventCallback>> mEventCallbacks;
  std::string mDirectory;
  std::string mOSCsubPath;
  std::string mCurrentSequence;
  std::atomic<float> mPendingSeek{-1.0f};
  int32_t mTimeMasterMode;
  std::atomic<bool> mRunning{false};
  std::atomic<bool> mStartRequested{false};
  uint64_t mGranularityNs = 10000000;
  std::vector<TimeCallback> mTimeCallbacks;
  BeginCallback mBeginCallback;
  EndCallback mEndCallback;
  std::atomic<bool> mEndCallbackEnabled{true};
  PresetHandler* mHandler = nullptr;
  std::mutex mStepLock;
  std::mutex mCallbackLock;
  std::shared_ptr<SequencerClock> mClock;
  std::shared_ptr<Worker> mWorker = std::make_shared<Worker>();
  std::thread mThread;
};

}  // namespace vl
