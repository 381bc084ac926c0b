#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_PolySynthVoicePool.hpp"
#include "ui/vl_SynthSequencer.hpp"

class HydrogenVoice;

// Renders the piece without an audio device, faster than real time: a scene of hydrogen voices
// played by a synth sequence (or one voice triggered with a preset), spatialised over one of
// the piece's speaker layouts and passed through the device's output stage. Simulation frames
// run in rendered time: before each block, every frame due by its start steps every active
// voice, and the sequence's voices are prepared on the rendering thread, so the same input
// always renders the same samples.
//
// Voices keep their presets under "hydrogen_presets" in the working directory.
class OfflineRenderer {
 public:
  struct Options {
    std::string layout = "stereo";  // "stereo", "ring8" or "array54"
    double rate = 44100.0;
    double fps = 60.0;
    int voices = 32;
    int updateThreads = 2;  // the scene's update pool
  };
  static constexpr int kFramesPerBuffer = 512;

  static const std::vector<std::string>& layouts();

  // Call ok() afterwards: an unknown layout leaves the renderer unusable.
  explicit OfflineRenderer(const Options& options);
  ~OfflineRenderer();
  OfflineRenderer(const OfflineRenderer&) = delete;
  OfflineRenderer& operator=(const OfflineRenderer&) = delete;
  bool ok() const { return mScene != nullptr; }

  // Starts a ".synthSequence" file. False, with the reason in error, when it cannot be read.
  bool playSequence(const std::string& path, std::string& error);
  // Triggers one voice with a preset (a name below "hydrogen_presets", "defaults/Flower"),
  // then sets NAME=VALUE settings over it. False, with the reason, for an unknown preset,
  // parameter or value.
  bool playPreset(const std::string& preset, const std::vector<std::string>& settings,
                  std::string& error);
  // The last event's end plus the longest release of the voices it plays (sequences only).
  double naturalLength() const { return mNaturalLength; }

  // Output channels: one per speaker, in the layout's order.
  int channels() const { return int(mChannels.size()); }
  double rate() const { return mOptions.rate; }
  // Renders the next block: kFramesPerBuffer frames, interleaved. The peak and RMS count the
  // first `counted` frames (the rest of a last block that is cut short is not kept).
  const std::vector<float>& renderBlock(int counted = kFramesPerBuffer);
  double secondsRendered() const { return double(mFramesRendered) / mOptions.rate; }

  // Per output channel over everything rendered so far.
  double peak(int channel) const { return mPeak[size_t(channel)]; }
  double rms(int channel) const;
  // The most voices that sounded at once (attack to end of release), counted after each block.
  int peakVoices() const { return mPeakVoices; }

  vl::DynamicScene& scene() { return *mScene; }

 private:
  // Once the input is known to be playable: voices are heavy, and each one reports a
  // preset folder without a map.
  void allocateVoices();
  void runDueFrames();

  Options mOptions;
  std::unique_ptr<vl::DynamicScene> mScene;
  std::unique_ptr<vl::PolySynthVoicePool> mPool;
  std::unique_ptr<vl::SynthSequencer> mSequencer;
  vl::AudioIOData mIO;
  std::vector<int> mChannels;  // device channel of each output channel
  std::vector<float> mInterleaved;
  std::vector<double> mPeak, mSumSquares;
  long long mFramesRendered = 0;
  long long mFramesCounted = 0;
  long long mSimulationFrames = 0;
  int mPeakVoices = 0;
  double mNaturalLength = 0.0;
  bool mAllocated = false;
};
