#pragma once

// Plays a sequence file: timed preset recalls with morph and wait times, plus event and
// parameter steps, driving a PresetHandler from its own timing thread (or from the owner's
// update in the modes without a thread).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "ui/vl_PresetHandler.hpp"
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

  struct Step {
    enum Type : int32_t { PRESET = 0, EVENT = 1, PARAMETER = 2 };
    Type type = PRESET;
    std::string name;  // preset name, event name or parameter address
    float morphTime = 0.0f;
    float waitTime = 0.0f;
    std::vector<ParameterField> params;
  };

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
  // Stops at once and halts the handler's morph. Safe from any thread, callbacks included.
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
  using Action = std::function<void()>;

  // Steps due at the current time, under the step lock; the collected actions (recalls,
  // callbacks, parameter sets) run afterwards without it.
  void processTime(double dt, std::vector<Action>& actions);
  void processDue(std::vector<Action>& actions);
  void relocate(double time, std::vector<Action>& actions);
  void runStep(const Step& step, std::vector<Action>& actions);
  // Absolute start of every step: preset steps one after another by morph + wait, the event
  // and parameter steps that follow a preset step by their waits from its start.
  void computeTimeline();
  double secondsToNextDue();
  // Clears the running flags; with wait, also waits until the timing thread has left its run.
  void halt(bool wait);
  void threadFunction();
  void callEnd(bool finished);

  std::vector<Step> mSteps;
  std::vector<double> mStepTimes;
  double mEndTime = 0.0;
  std::vector<ParameterMeta*> mParameters;
  std::vector<std::pair<std::string, EventCallback>> mEventCallbacks;
  std::string mDirectory;
  std::string mOSCsubPath;
  std::string mCurrentSequence;
  std::atomic<float> mPendingSeek{-1.0f};
  int32_t mTimeMasterMode;
  std::atomic<bool> mThreadAlive{false};
  std::atomic<bool> mRunning{false};
  std::atomic<bool> mStartRequested{false};
  bool mReachedEnd = false;
  std::deque<std::size_t> mQueue;
  uint64_t mGranularityNs = 10000000;
  double mCurrentTime = 0.0;
  double mLastTimeReport = 0.0;
  float mTimeReportInterval = 0.05f;
  std::vector<TimeCallback> mTimeCallbacks;
  BeginCallback mBeginCallback;
  EndCallback mEndCallback;
  std::atomic<bool> mEndCallbackEnabled{true};
  PresetHandler* mHandler = nullptr;
  std::size_t mStepIndex = 0;
  std::mutex mStepLock;
  std::mutex mCallbackLock;
  std::shared_ptr<SequencerClock> mClock;
  std::mutex mThreadLock;
  std::condition_variable mThreadSignal;
  std::promise<void> mStartPromise;
  std::thread mThread;
};

}  // namespace vl
