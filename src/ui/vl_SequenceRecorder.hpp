#pragma once

// Records the preset recalls of a PresetHandler, and the changes of parameters registered
// with the recorder, with their timing, into a sequence file that PresetSequencer plays back.
// Starting and stopping are safe from any number of threads at once.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "ui/vl_PresetHandler.hpp"
#include "ui/vl_SequenceFile.hpp"
#include "ui/vl_SequencerClock.hpp"

namespace vl {

class SequenceRecorder : public osc::MessageConsumer {
 public:
  explicit SequenceRecorder(std::shared_ptr<SequencerClock> clock = nullptr);
  // Ends a recording in progress (its file is written).
  ~SequenceRecorder() override;
  SequenceRecorder(const SequenceRecorder&) = delete;
  SequenceRecorder& operator=(const SequenceRecorder&) = delete;

  // Not owned; the recorder may be destroyed first.
  void setPresetHandler(PresetHandler& handler);
  SequenceRecorder& operator<<(PresetHandler& handler) {
    setPresetHandler(handler);
    return *this;
  }
  // Records the parameter's changes. Refused (false) for a parameter of the attached preset
  // handler and for kinds without a numeric value.
  bool registerParameter(ParameterMeta& parameter);
  SequenceRecorder& operator<<(ParameterMeta& parameter) {
    registerParameter(parameter);
    return *this;
  }

  // Where sequences go when no handler is attached (else the handler's current directory).
  void setDirectory(std::string directory) { mDirectory = std::move(directory); }
  void setOSCSubPath(std::string subPath) { mOSCsubPath = std::move(subPath); }
  // A recording that is not stopped ends by itself after this many seconds.
  void setMaxRecordTime(double seconds) { mMaxRecordTime = seconds; }

  // Starts recording into name.sequence ("new_seq" when empty); one already running is
  // stopped first. Without overwrite an existing file name gets the suffix _0, _1, ...
  void startRecord(std::string name = "", bool overwrite = false);
  // Ends the recording and returns once its file is written.
  void stopRecord();
  // True from the start of a recording until its file is written.
  bool recording();
  // Path of the last file written, empty before the first.
  std::string lastRecordedPath();

  bool consumeMessage(osc::Message& message, std::string rootPath) override;

 private:
  struct Event {
    bool preset;
    std::string name;  // preset name or parameter address
    float value;       // morph time or parameter value
    double time;
  };
  // Reached by the callbacks installed on the handler and the parameters, which cannot be
  // removed again: they hold it weakly and go quiet once the recorder is gone.
  struct Shared {
    std::shared_ptr<SequencerClock> clock;
    std::mutex lock;
    std::condition_variable signal;
    bool recording = false;  // events are taken
    bool busy = false;       // until the file of the recording is written
    std::deque<Event> events;
    void push(bool preset, const std::string& name, float value);
  };

  void recordingThread(std::vector<SequenceStep> steps, std::string name, bool overwrite,
                       double start);
  void writeSequence(const std::vector<SequenceStep>& steps, const std::string& name,
                     bool overwrite);
  // Ends the recording in progress and joins its thread; caller holds mControlLock.
  void stopLocked();

  std::string mDirectory;
  std::vector<ParameterMeta*> mParameters;
  std::string mOSCsubPath;
  std::string mSequenceName = "NewSequence";
  std::shared_ptr<Shared> mShared;
  std::thread mThread;
  std::mutex mControlLock;  // one start or stop at a time: they replace mThread
  PresetHandler* mHandler = nullptr;
  double mMaxRecordTime = 60.0;
  std::string mLastPath;
};

}  // namespace vl
