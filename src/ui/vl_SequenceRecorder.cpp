#include "ui/vl_SequenceRecorder.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

void SequenceRecorder::Shared::push(bool preset, const std::string& name, float value) {
  std::lock_guard<std::mutex> guard(lock);
  if (!recording) return;
  events.push_back({preset, name, value, clock->now()});
  signal.notify_all();
}

SequenceRecorder::SequenceRecorder(std::shared_ptr<SequencerClock> clock)
    : mShared(std::make_shared<Shared>()) {
  mShared->clock = clock ? std::move(clock) : SteadyClock::shared();
}

SequenceRecorder::~SequenceRecorder() {
  stopRecord();
}

void SequenceRecorder::setPresetHandler(PresetHandler& handler) {
  mHandler = &handler;
  std::weak_ptr<Shared> weak = mShared;
  handler.registerRecallNameCallback([weak](const std::string& name, float morphTime) {
    if (auto shared = weak.lock()) shared->push(true, name, morphTime);
  });
}

bool SequenceRecorder::registerParameter(ParameterMeta& parameter) {
  const std::string& address = parameter.getFullAddress();
  if (mHandler) {
    for (ParameterMeta* p : mHandler->parameters()) {
      if (p == &parameter || p->getFullAddress() == address) {
        printError(
            "ERROR: Parameters registered with sequence recorder must not be part of "
            "registered presets: %s\n",
            address.c_str());
        return false;
      }
    }
  }
  std::weak_ptr<Shared> weak = mShared;
  const auto record = [weak, address](float value) {
    if (auto shared = weak.lock()) shared->push(false, address, value);
  };
  if (auto* p = dynamic_cast<ParameterWrapper<float>*>(&parameter)) {
    p->registerChangeCallback([record](float v) { record(v); });
  } else if (auto* p = dynamic_cast<ParameterWrapper<int32_t>*>(&parameter)) {
    p->registerChangeCallback([record](int32_t v) { record(static_cast<float>(v)); });
  } else if (auto* p = dynamic_cast<ParameterWrapper<bool>*>(&parameter)) {
    p->registerChangeCallback([record](bool v) { record(v ? 1.0f : 0.0f); });
  } else if (auto* p = dynamic_cast<ParameterWrapper<std::string>*>(&parameter)) {
    p->registerChangeCallback([record, address](std::string v) {
      try {
        record(std::stof(v));
      } catch (const std::logic_error&) {
        printError("ERROR: Sequence recorder: non-numeric value for %s\n", address.c_str());
      }
    });
  } else {
    printError("ERROR: Sequence recorder cannot record parameter %s\n", address.c_str());
    return false;
  }
  mParameters.push_back(&parameter);
  return true;
}

void SequenceRecorder::startRecord(std::string name, bool overwrite) {
  if (name.empty()) name = "new_seq";
  if (!File::checkName(name, "sequence")) return;
  std::lock_guard<std::mutex> control(mControlLock);
  stopLocked();
  // The values at the start, taken before anything can change them.
  std::vector<SequenceStep> steps;
  for (ParameterMeta* p : mParameters) {
    SequenceStep step;
    step.type = SequenceStep::PARAMETER;
    step.name = p->getFullAddress();
    try {
      step.params.emplace_back(p->asFloat());
    } catch (const std::logic_error&) {
      continue;  // a text that is not a number has no value to record
    }
    steps.push_back(std::move(step));
  }
  mSequenceName = name;
  double start;
  {
    std::lock_guard<std::mutex> lock(mShared->lock);
    mShared->events.clear();
    mShared->recording = true;
    mShared->busy = true;
    start = mShared->clock->now();
  }
  mThread = std::thread(&SequenceRecorder::recordingThread, this, std::move(steps), name, overwrite,
                        start);
}

void SequenceRecorder::stopRecord() {
  std::lock_guard<std::mutex> control(mControlLock);
  stopLocked();
}

void SequenceRecorder::stopLocked() {
  {
    std::lock_guard<std::mutex> lock(mShared->lock);
    mShared->recording = false;
    mShared->signal.notify_all();
  }
  if (mThread.joinable()) mThread.join();
}

bool SequenceRecorder::recording() {
  std::lock_guard<std::mutex> lock(mShared->lock);
  return mShared->busy;
}

std::string SequenceRecorder::lastRecordedPath() {
  std::lock_guard<std::mutex> lock(mShared->lock);
  return mLastPath;
}

void SequenceRecorder::recordingThread(std::vector<SequenceStep> steps, std::string name,
                                       bool overwrite, double start) {
  using Step = SequenceStep;
  const double end = start + mMaxRecordTime;
  double lastEvent = start;
  double lastPresetTime = start;
  std::size_t lastPreset = steps.size();  // none yet
  bool done = false;
  while (!done) {
    std::deque<Event> events;
    {
      std::unique_lock<std::mutex> lock(mShared->lock);
      // The limit is checked on the recorder's clock, which need not be real time: wait in
      // short slices.
      mShared->signal.wait_for(lock, std::chrono::milliseconds(20),
                               [&] { return !mShared->events.empty() || !mShared->recording; });
      events.swap(mShared->events);
      done = !mShared->recording || mShared->clock->now() >= end;
      mShared->recording = !done;
    }
    for (const Event& e : events) {
      if (e.time >= end) break;
      Step step;
      step.name = e.name;
      if (e.preset) {
        if (lastPreset < steps.size()) {
          Step& previous = steps[lastPreset];
          previous.waitTime =
              std::max(0.0f, static_cast<float>(e.time - lastPresetTime) - previous.morphTime);
        }
        step.type = Step::PRESET;
        step.morphTime = e.value;
        lastPreset = steps.size();
        lastPresetTime = e.time;
      } else {
        step.type = Step::PARAMETER;
        step.waitTime = static_cast<float>(e.time - lastEvent);
        step.params.emplace_back(e.value);
      }
      lastEvent = e.time;
      steps.push_back(std::move(step));
    }
  }
  // The last preset holds until the recording ended.
  if (lastPreset < steps.size()) {
    Step& last = steps[lastPreset];
    const double stop = std::min(mShared->clock->now(), end);
    last.waitTime = std::max(0.0f, static_cast<float>(stop - lastPresetTime) - last.morphTime);
  }
  writeSequence(steps, name, overwrite);
  std::lock_guard<std::mutex> lock(mShared->lock);
  mShared->busy = false;
}

void SequenceRecorder::writeSequence(const std::vector<SequenceStep>& steps,
                                     const std::string& name, bool overwrite) {
  const std::string dir =
      mHandler ? mHandler->getCurrentPath() : File::conformDirectory(mDirectory);
  std::string path = dir + name + ".sequence";
  if (!overwrite) {
    for (int n = 0; File::exists(path); ++n) {
      path = dir + name + "_" + std::to_string(n) + ".sequence";
    }
  }
  if (!SequenceFile::write(path, steps)) return;
  print("Recorded: %s\n", path.c_str());
  std::lock_guard<std::mutex> lock(mShared->lock);
  mLastPath = path;
}

bool SequenceRecorder::consumeMessage(osc::Message& message, std::string rootPath) {
  const std::string address = rootPath + (mOSCsubPath.empty() ? "" : "/" + mOSCsubPath);
  const std::string& pattern = message.addressPattern();
  message.resetStream();
  if (pattern == address + "/startRecord" && message.typeTags() == "s") {
    std::string name;
    message >> name;
    print("/startRecord %s\n", name.c_str());
    startRecord(name, false);
    return true;
  }
  if (pattern == address + "/stopRecord") {
    print("/stopRecord\n");
    stopRecord();
    return true;
  }
  if (pattern == address + "/record" && message.typeTags() == "f") {
    float value = 0.0f;
    message >> value;
    if (value == 0.0f) {
      stopRecord();
    } else {
      std::string name;
      {
        std::lock_guard<std::mutex> control(mControlLock);
        name = mSequenceName;
      }
      print("record sequence %s\n", name.c_str());
      startRecord(name, false);
    }
    return true;
  }
  return false;
}

}  // namespace vl
