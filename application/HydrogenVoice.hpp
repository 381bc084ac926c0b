#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "HydrogenAtom.hpp"
#include "HydrogenSound.hpp"
#include "HydrogenVisual.hpp"
#include "VoiceParameters.hpp"
#include "sound/vl_PositionedVoice.hpp"
#include "ui/vl_PresetHandler.hpp"
#include "ui/vl_PresetSequencer.hpp"

// The piece's one voice: a whole atom, simulated, drawn and heard. The atom's table of spinors
// is the wavetable of its sound engine; the voice has its own presets (under
// "hydrogen_presets") and a preset sequencer that follows the voice's frames.
//
// A trigger recalls "presetToLoad" and starts "sequenceToPlay": file work that belongs off the
// audio thread. It is done in onTriggerPrepare(), which the synth runs before the voice is
// started (ahead of time when the synth sequencer plays in audio time); onTriggerOn() then only
// starts what was prepared. onTriggerOff() may run on the audio thread: it only asks for the
// release, and the sequencer is stopped at the next frame.
class HydrogenVoice : public vl::PositionedVoice {
 public:
  HydrogenVoice();
  ~HydrogenVoice() override;

  void onProcessGraphics(vl::Graphics& g) override;
  void onProcessAudio(vl::AudioIOData& io) override;
  void update(double dt) override;
  void init() override;
  void onTriggerPrepare() override;
  // Called without a preparation (directly, off the audio thread), it prepares first.
  void onTriggerOn() override;
  void onTriggerOff() override;
  // Deletes what the voice keeps on the GPU, while its context is current.
  void releaseGraphics() { mVisual.releaseGpu(); }

  // Whether this instance computes the atom and publishes its resonances (the primary).
  bool computing() const { return mComputing.load(); }
  void computing(bool c) { mComputing.store(c); }

  // A preset by name, below the preset folder: "Flower" or "defaults/Flower".
  void recallPreset(const std::string& name);
  // Puts a recalled preset's values into the parameters now rather than at the next frame,
  // for a caller that sets parameters over the preset before the voice runs.
  void applyRecallNow();

  VoiceParameters& parameters() { return mParams; }
  HydrogenAtom& atom() { return mAtom; }
  HydrogenSound& sound() { return mSound; }
  HydrogenVisual& visual() { return mVisual; }
  vl::PresetHandler& presets() { return mPresets; }
  vl::PresetSequencer& sequencer() { return mSequencer; }

 private:
  // What the last recalled preset lacked, taken when it was recalled and applied once its
  // values are in the parameters (the morph applies them at the next frame).
  struct Recalled {
    bool pending = false;
    bool newColors = true, resonances = true, drawType = true;
  };
  void onRecalled(const std::string& name);
  void applyRecalled();

  VoiceParameters mParams;
  HydrogenAtom mAtom;
  HydrogenSound mSound{mAtom.particles()};
  HydrogenVisual mVisual{mAtom.particles()};
  vl::PresetHandler mPresets{"hydrogen_presets"};
  vl::PresetSequencer mSequencer{vl::PresetSequencer::TIME_MASTER_UPDATE};
  std::atomic<bool> mComputing{true};
  std::atomic<bool> mPrepared{false};
  std::atomic<bool> mStopSequence{false};
  std::mutex mRecallLock;
  std::string mRecallFolder;  // sub-folder of the recall under way
  Recalled mRecalled;
};
