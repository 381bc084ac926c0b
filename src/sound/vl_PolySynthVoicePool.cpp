#include "sound/vl_PolySynthVoicePool.hpp"

#if __has_include("sound/vl_PolySynth.hpp")

namespace vl {

PolySynthVoicePool::PolySynthVoicePool(PolySynth& synth) : mSynth(synth) {
  mSlots.reserve(64);
  mFreeSlots.reserve(64);
}

int PolySynthVoicePool::takeVoice(const std::string& type) {
  SynthVoice* voice = mSynth.getFreeVoice(type);
  if (!voice) return -1;
  std::lock_guard<std::mutex> lock(mLock);
  if (!mFreeSlots.empty()) {
    const int handle = mFreeSlots.back();
    mFreeSlots.pop_back();
    mSlots[static_cast<std::size_t>(handle)] = voice;
    return handle;
  }
  mSlots.push_back(voice);
  mFreeSlots.reserve(mSlots.capacity());
  return static_cast<int>(mSlots.size()) - 1;
}

bool PolySynthVoicePool::setVoiceFields(int voice, const std::vector<ParameterField>& fields) {
  std::lock_guard<std::mutex> lock(mLock);
  if (voice < 0 || static_cast<std::size_t>(voice) >= mSlots.size()) return false;
  SynthVoice* v = mSlots[static_cast<std::size_t>(voice)];
  return v && v->setTriggerParams(fields);
}

SynthVoice* PolySynthVoicePool::release(int voice) {
  std::lock_guard<std::mutex> lock(mLock);
  if (voice < 0 || static_cast<std::size_t>(voice) >= mSlots.size()) return nullptr;
  SynthVoice* v = mSlots[static_cast<std::size_t>(voice)];
  if (v) {
    mSlots[static_cast<std::size_t>(voice)] = nullptr;
    mFreeSlots.push_back(voice);
  }
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
