#include "OfflineRenderer.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "HydrogenVoice.hpp"
#include "ParseNumber.hpp"
#include "dsp/Domain.hpp"
#include "sound/vl_Lbap.hpp"
#include "sound/vl_SpeakerLayout.hpp"
#include "sound/vl_StereoPanner.hpp"
#include "ui/vl_SynthSequence.hpp"

namespace {

const char* kVoiceName = "HydrogenVoice";
// Where every voice's preset handler looks, below the working directory.
const char* kPresetFolder = "hydrogen_presets/";

// The voice's parameters by the names a user gives them: physics and sound parameters by name,
// wave-function parameters with their group ("wfs1/n"), the resonances ("reson1R").
std::map<std::string, vl::ParameterMeta*> parametersByName(HydrogenVoice& v) {
  std::map<std::string, vl::ParameterMeta*> byName;
  for (vl::ParameterMeta* p : v.atom().parameters().parameters()) {
    const std::string& group = p->getGroup();
    byName[group.empty() ? p->getName() : group + "/" + p->getName()] = p;
  }
  for (vl::ParameterMeta* p : v.parameters().resonanceParameters()) byName[p->getName()] = p;
  for (vl::ParameterMeta* p : v.sound().parameters().parameters()) byName[p->getName()] = p;
  for (vl::ParameterMeta* p : v.visual().parameters().parameters()) byName[p->getName()] = p;
  return byName;
}

}  // namespace

const std::vector<std::string>& OfflineRenderer::layouts() {
  static const std::vector<std::string> names{"stereo", "ring8", "array54"};
  return names;
}

OfflineRenderer::OfflineRenderer(const Options& options) : mOptions(options) {
  std::shared_ptr<vl::Spatializer> spatializer;
  if (options.layout == "stereo") {
    spatializer = std::make_shared<vl::StereoPanner>(vl::StereoSpeakerLayout(0, 30.0f, 1.0f, 1.0f));
  } else if (options.layout == "ring8") {
    spatializer = std::make_shared<vl::Lbap>(vl::EightSpeakerRingLayout());
  } else if (options.layout == "array54") {
    spatializer = std::make_shared<vl::Lbap>(vl::ThreeRingSpeakerLayout());
  } else {
    return;
  }
  spatializer->compile();
  int deviceChannels = 0;
  for (const vl::Speaker& s : spatializer->speakerLayout()) {
    mChannels.push_back(int(s.deviceChannel));
    deviceChannels = std::max(deviceChannels, int(s.deviceChannel) + 1);
  }
  snl::Domain::master().setSampleRate(options.rate);

  // The scene keeps its books in the audio pass, which is this renderer's loop.
  mScene = std::make_unique<vl::DynamicScene>(options.updateThreads, vl::TIME_MASTER_AUDIO);
  mScene->setSpatializer(spatializer);
  mScene->listenerPose(vl::Pose(vl::Vec3d(0.0, 0.0, 4.0)));
  mScene->registerSynthClass<HydrogenVoice>(kVoiceName);
  mScene->disableAllocation(kVoiceName);

  mIO.framesPerSecond(options.rate);
  mIO.framesPerBuffer(kFramesPerBuffer);
  mIO.channels(deviceChannels, true);
  mIO.channelsBus(1);
  mScene->prepare(mIO);
  mInterleaved.assign(size_t(kFramesPerBuffer) * mChannels.size(), 0.0f);
  mPeak.assign(mChannels.size(), 0.0);
  mSumSquares.assign(mChannels.size(), 0.0);
}

OfflineRenderer::~OfflineRenderer() {
  // The sequencer hands voices back to the pool and the pool to the scene.
  if (mSequencer) mSequencer->stopSequence();
  mSequencer.reset();
  mPool.reset();
}

bool OfflineRenderer::playSequence(const std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = "cannot open synth sequence \"" + path + "\"";
    return false;
  }
  const fs::path file(path);
  const std::string directory = file.parent_path().string();
  const std::string name = file.filename().string();
  vl::SynthSequenceReader reader(directory);
  if (!reader.read(name) || reader.events().empty()) {
    error = "no events in synth sequence \"" + path + "\"";
    return false;
  }
  double end = 0.0, release = 0.0;
  for (const vl::SynthSequenceEvent& e : reader.events()) {
    end = std::max(end, e.startTime + (e.kind == vl::SynthSequenceEvent::PLAY ? e.duration : 0.0));
    if (e.kind == vl::SynthSequenceEvent::TRIGGER_OFF) continue;
    // The second trigger value is "releaseTime"; without it the voice keeps its default.
    release = std::max(release, e.fields.size() > 1 ? double(e.fields[1].get<float>()) : 1.0);
  }
  mNaturalLength = end + release;
  allocateVoices();

  mPool = std::make_unique<vl::PolySynthVoicePool>(*mScene);
  mSequencer = std::make_unique<vl::SynthSequencer>(vl::SynthSequencer::TIME_MASTER_AUDIO);
  mSequencer->setVoicePool(*mPool);
  mSequencer->setDirectory(directory);
  mSequencer->prepareOnCaller(true);
  if (!mSequencer->playSequence(name, 0.0f)) {
    error = "cannot play synth sequence \"" + path + "\"";
    return false;
  }
  return true;
}

bool OfflineRenderer::playPreset(const std::string& preset,
                                 const std::vector<std::string>& settings, std::string& error) {
  std::error_code ec;
  const std::string file = kPresetFolder + preset + ".preset";
  if (preset.empty() || preset.find("..") != std::string::npos ||
      !std::filesystem::is_regular_file(file, ec)) {
    error = "unknown preset \"" + preset + "\" (no file " + file + ")";
    return false;
  }
  allocateVoices();
  auto* voice = dynamic_cast<HydrogenVoice*>(mScene->getFreeVoice(kVoiceName));
  if (!voice) {
    error = "no voice to play the preset";
    return false;
  }
  // Settings are checked before anything plays.
  const auto byName = parametersByName(*voice);
  std::vector<std::pair<vl::ParameterMeta*, double>> values;
  for (const std::string& s : settings) {
    const size_t eq = s.find('=');
    const auto found = eq == std::string::npos ? byName.end() : byName.find(s.substr(0, eq));
    double value = 0.0;
    if (eq == std::string::npos) {
      error = "expected NAME=VALUE, got \"" + s + "\"";
    } else if (found == byName.end()) {
      error = "unknown parameter \"" + s.substr(0, eq) + "\"";
    } else if (!parseNumber(s.substr(eq + 1), value)) {
      error = "value of " + found->first + " is not a finite number: \"" + s.substr(eq + 1) + "\"";
    } else if (auto* p = dynamic_cast<vl::Parameter*>(found->second);
               p && (value < p->min() || value > p->max())) {
      error = s + " is outside the range of " + found->first;
    } else {
      values.emplace_back(found->second, value);
      continue;
    }
    mScene->insertFreeVoice(voice);
    return false;
  }
  voice->parameters().presetToLoad.set(preset);
  voice->parameters().sequenceToPlay.set("");
  if (mScene->triggerOn(voice) < 0) {
    error = "the voice refused its trigger";
    return false;
  }
  voice->applyRecallNow();
  for (auto& [parameter, value] : values) parameter->setFromFloat(float(value));
  voice->atom().takeResonances(voice->parameters());
  return true;
}

void OfflineRenderer::allocateVoices() {
  if (mAllocated) return;
  mAllocated = true;
  mScene->allocatePolyphony(kVoiceName, mOptions.voices);
}

void OfflineRenderer::runDueFrames() {
  const double start = double(mFramesRendered) / mOptions.rate;
  // Frame k is due at k / fps: the frames due by the block's start run before it.
  while (double(mSimulationFrames) / mOptions.fps <= start + 1e-12) {
    mScene->update(1.0 / mOptions.fps);
    ++mSimulationFrames;
  }
}

const std::vector<float>& OfflineRenderer::renderBlock(int counted) {
  counted = std::clamp(counted, 0, int(kFramesPerBuffer));
  if (mSequencer) mSequencer->prepareAhead();
  runDueFrames();
  mIO.zeroOut();
  mIO.zeroBus();
  mIO.frame(-1);
  if (mSequencer) {
    vl::renderSynthSequence(*mSequencer, *mScene, mIO);
  } else {
    mScene->render(mIO);
  }
  mIO.conditionOutput(true, true);
  {
    std::lock_guard<std::mutex> lock(mScene->voiceLock());
    int active = 0;
    for (vl::SynthVoice* v = mScene->getActiveVoices(); v; v = vl::PolySynth::nextVoice(v)) {
      active += v->active();
    }
    mPeakVoices = std::max(mPeakVoices, active);
  }
  const size_t n = mChannels.size();
  for (size_t c = 0; c < n; ++c) {
    const float* samples = mIO.outBuffer(mChannels[c]);
    double peak = mPeak[c], sum = 0.0;
    for (int f = 0; f < kFramesPerBuffer; ++f) mInterleaved[size_t(f) * n + c] = samples[f];
    for (int f = 0; f < counted; ++f) {
      peak = std::max(peak, double(std::fabs(samples[f])));
      sum += double(samples[f]) * samples[f];
    }
    mPeak[c] = peak;
    mSumSquares[c] += sum;
  }
  mFramesRendered += kFramesPerBuffer;
  mFramesCounted += counted;
  return mInterleaved;
}

double OfflineRenderer::rms(int channel) const {
  return mFramesCounted ? std::sqrt(mSumSquares[size_t(channel)] / double(mFramesCounted)) : 0.0;
}
