#include "sound/vl_PolySynthVoicePool.hpp"

#if __has_include("sound/vl_PolySynth.hpp")

namespace vl {

int PolySynthVoicePool::takeVoice(const std::string& type) {
  SynthVoice* voice = mSynth.getFreeVoice(type);
  if (!voice) return -1;
  std::lock_guard<std::mutex> lock(mLock);
  const int handle = mNextHandle++;
  mVoices[handle] = voice;
  return handle;
}

bool PolySynthVoicePool::setVoiceFields(int voice, const std::vector<ParameterField>& fields) {
  std::lock_guard<std::mutex> lock(mLock);
  auto it = mVoices.find(voice);
  return it != mVoices.end() && it->second->setTriggerParams(fields);
}

SynthVoice* PolySynthVoicePool::release(int voice) {
  std::lock_guard<std::mutex> lock(mLock);
  auto it = mVoices.find(voice);
  if (it == mVoices.end()) return nullptr;
  SynthVoice* v = it->second;
  mVoices.erase(it);
  return v;
}

int PolySynthVoicePool::triggerOn(int voice, int offsetFrames, int id) {
  SynthVoice* v = release(voice);
  return v ? mSynth.triggerOn(v, offsetFrames, id) : -1;
}

void PolySynthVoicePool::giveBack(int voice) {
  if (SynthVoice* v = release(voice)) mSynth.insertFreeVoice(v);
}

void renderSynthSequence(SynthSequencer& sequencer, PolySynth& synth, AudioIOData& io) {
  sequencer.processAudioBlock(io.framesPerBuffer(), io.framesPerSecond());
  synth.render(io);
}

}  // namespace vl

#endif
