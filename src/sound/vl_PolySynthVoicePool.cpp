#include "sound/vl_PolySynthVoicePool.hpp"

#if __has_include("sound/vl_PolySynth.hpp")

namespace vl {

PolySynthVoicePool::PolySynthVoicePool(PolySynth& synth) : mSynth(synth) {
  mChunks[0].store(new Chunk{});
}

PolySynthVoicePool::~PolySynthVoicePool() {
  for (auto& chunk : mChunks) delete chunk.load();
}

std::atomic<SynthVoice*>* PolySynthVoicePool::slot(int voice) {
  if (voice < 0 || voice >= kChunks * kChunkSlots) return nullptr;
  Chunk* chunk = mChunks[static_cast<std::size_t>(voice / kChunkSlots)].load();
  return chunk ? &(*chunk)[static_cast<std::size_t>(voice % kChunkSlots)] : nullptr;
}

int PolySynthVoicePool::takeVoice(const std::string& type) {
  SynthVoice* voice = mSynth.getFreeVoice(type);
  if (!voice) return -1;
  std::lock_guard<std::mutex> lock(mTakeLock);
  // The next empty slot after the last one taken, so that slots just emptied by the audio
  // thread are reused last.
  for (int tried = 0; tried < kChunks * kChunkSlots; ++tried) {
    const int handle = (mCursor + tried) % (kChunks * kChunkSlots);
    auto& chunk = mChunks[static_cast<std::size_t>(handle / kChunkSlots)];
    if (!chunk.load()) {
      if (handle % kChunkSlots != 0) continue;
      chunk.store(new Chunk{});
    }
    std::atomic<SynthVoice*>* s = slot(handle);
    if (s->load() != nullptr) continue;
    s->store(voice);
    mCursor = handle + 1;
    return handle;
  }
  mSynth.insertFreeVoice(voice);
  return -1;
}

bool PolySynthVoicePool::setVoiceFields(int voice, const std::vector<ParameterField>& fields) {
  std::atomic<SynthVoice*>* s = slot(voice);
  SynthVoice* v = s ? s->load() : nullptr;
  return v && v->setTriggerParams(fields);
}

SynthVoice* PolySynthVoicePool::release(int voice) {
  std::atomic<SynthVoice*>* s = slot(voice);
  return s ? s->exchange(nullptr) : nullptr;
}

bool PolySynthVoicePool::prepareTrigger(int voice, int& id) {
  std::atomic<SynthVoice*>* s = slot(voice);
  SynthVoice* v = s ? s->load() : nullptr;
  if (!v) return false;
  const int prepared = mSynth.prepareTrigger(v, 0, id);
  if (prepared < 0) {
    // Refused: the voice was left untouched and is nobody's, so it is free again.
    if (release(voice) == v) mSynth.insertFreeVoice(v);
    return false;
  }
  id = prepared;
  return true;
}

int PolySynthVoicePool::triggerOn(int voice, int offsetFrames, int id) {
  SynthVoice* v = release(voice);
  if (!v) return -1;
  if (mSynth.startPrepared(v, offsetFrames)) return v->id();
  // Not prepared: a caller outside the audio thread triggering in one go.
  const int triggered = mSynth.triggerOn(v, offsetFrames, id);
  if (triggered < 0) mSynth.insertFreeVoice(v);
  return triggered;
}

void PolySynthVoicePool::giveBack(int voice) {
  if (SynthVoice* v = release(voice)) {
    mSynth.cancelPrepared(v);
    mSynth.insertFreeVoice(v);
  }
}

void renderSynthSequence(SynthSequencer& sequencer, PolySynth& synth, AudioIOData& io) {
  sequencer.processAudioBlock(io.framesPerBuffer(), io.framesPerSecond());
  synth.render(io);
}

}  // namespace vl

#endif
