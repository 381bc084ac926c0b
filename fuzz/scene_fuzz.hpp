#pragma once

// The distributed scene's consumer under arbitrary datagrams, as a function of one input that
// other fuzz targets can call beside their own. The scene keeps its state from one input to the
// next, as a running instance does; after each input every voice must still be either active or
// free: none lost, none left half triggered.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>

#include "protocol/vl_DistributedScene.hpp"
#include "protocol/vl_OSC.hpp"
#include "sound/vl_AudioIOData.hpp"
#include "sound/vl_PositionedVoice.hpp"
#include "ui/vl_Parameter.hpp"

namespace scenefuzz {

// Trigger fields of each kind the wire carries, and a parameter of every kind a voice can be
// addressed with. It frees itself in the block after it is turned off.
class FuzzVoice : public vl::PositionedVoice {
 public:
  FuzzVoice() {
    registerTriggerParameter(amp).registerTriggerParameter(label).registerTriggerParameter(count);
    registerParameter(flag).registerParameter(menu).registerParameter(choice);
    registerParameter(direction).registerParameter(weights).registerParameter(tint);
    registerParameter(bang).registerParameter(target);
    menu.setElements({"a", "b", "c"});
  }
  void onProcessAudio(vl::AudioIOData&) override {
    if (mReleased) free();
  }
  void onTriggerOn() override { mReleased = false; }
  void onTriggerOff() override { mReleased = true; }

  vl::Parameter amp{"amp", "", 0.5f, "", 0.0f, 1.0f};
  vl::ParameterString label{"label"};
  vl::ParameterInt count{"count", "", 0, "", -10, 10};
  vl::ParameterBool flag{"flag"};
  vl::ParameterMenu menu{"menu"};
  vl::ParameterChoice choice{"choice"};
  vl::ParameterVec3 direction{"direction"};
  vl::ParameterVec4 weights{"weights"};
  vl::ParameterColor tint{"tint"};
  vl::Trigger bang{"bang"};
  vl::ParameterPose target{"target", "aim"};

 private:
  bool mReleased = false;
};

inline constexpr int kSceneVoices = 4;

struct SceneFixture {
  SceneFixture() : scene("scene") {
    scene.registerSynthClass<FuzzVoice>("", false);
    scene.allocatePolyphony<FuzzVoice>(kSceneVoices);
    block.framesPerBuffer(64);
    block.channels(2, true);
  }
  vl::DistributedScene scene;  // bookkeeping in the audio pass, run by the fuzzing thread
  vl::osc::PacketReader reader;
  vl::AudioIOData block;
};

inline SceneFixture& sceneFixture() {
  static SceneFixture fixture;
  return fixture;
}

inline int countVoices(vl::SynthVoice* v) {
  int n = 0;
  for (; v; v = vl::PolySynth::nextVoice(v)) ++n;
  return n;
}

// For targets that parse packets themselves: offers one message to the scene.
inline bool offerToScene(vl::osc::Message& message) {
  return sceneFixture().scene.consumeMessage(message, "");
}

// Runs the scene's bookkeeping and aborts when a voice went missing. Two passes: the first
// starts and frees, the second returns what the first retired.
inline void settleAndCheckScene() {
  SceneFixture& f = sceneFixture();
  f.scene.render(f.block);
  f.scene.render(f.block);
  std::lock_guard<std::mutex> lock(f.scene.voiceLock());
  const int voices = countVoices(f.scene.getActiveVoices()) + countVoices(f.scene.getFreeVoices());
  if (voices != kSceneVoices) std::abort();
}

inline void fuzzSceneConsumer(const uint8_t* data, std::size_t size) {
  SceneFixture& f = sceneFixture();
  try {
    f.reader.read(reinterpret_cast<const char*>(data), size, "127.0.0.1:1");
  } catch (const std::exception&) {
    return;  // malformed input is refused whole
  }
  for (std::size_t i = 0; i < f.reader.size(); ++i) offerToScene(f.reader[i]);
  settleAndCheckScene();
}

}  // namespace scenefuzz
