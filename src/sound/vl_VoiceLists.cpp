#include "sound/vl_VoiceLists.hpp"

namespace vl {

namespace {
void deleteChain(SynthVoice* voice) {
  while (voice) {
    SynthVoice* after = VoiceLists::next(voice);
    delete voice;
    voice = after;
  }
}
}  // namespace

VoiceLists::~VoiceLists() {
  deleteChain(mPending.load());
  deleteChain(mActive.load());
  deleteChain(mFree);
  for (SynthVoice* v = mRetired; v;) {
    SynthVoice* after = v->mNextRetired;
    delete v;
    v = after;
  }
}

void VoiceLists::pushPending(SynthVoice* voice) {
  SynthVoice* head = mPending.load();
  do {
    voice->mNext.store(head);
  } while (!mPending.compare_exchange_weak(head, voice));
}

void VoiceLists::pushFreeLocked(SynthVoice* voice) {
  voice->mListState.store(SynthVoice::ListState::kFree);
  voice->mNext.store(mFree);
  mFree = voice;
}

void VoiceLists::appendFreeLocked(SynthVoice* voice) {
  voice->mListState.store(SynthVoice::ListState::kFree);
  voice->mNext.store(nullptr);
  if (!mFree) {
    mFree = voice;
    return;
  }
  SynthVoice* last = mFree;
  while (SynthVoice* after = last->mNext.load()) last = after;
  last->mNext.store(voice);
}

SynthVoice* VoiceLists::activatePending() {
  SynthVoice* pending = mPending.exchange(nullptr);
  if (!pending) return nullptr;
  // Triggered voices join the front of the active list; a walk already under way does not
  // see them, and the next one does.
  SynthVoice* last = pending;
  last->mListState.store(SynthVoice::ListState::kActive);
  while (SynthVoice* after = last->mNext.load()) {
    last = after;
    last->mListState.store(SynthVoice::ListState::kActive);
  }
  last->mNext.store(mActive.load());
  mActive.store(pending);
  return pending;
}

void VoiceLists::reclaimRetired() {
  if (!mRetired) return;
  // Safe once no walk was under way at the last unlink, or that walk has ended since.
  if ((mRetiredEpoch & 1u) != 0 && mWalkEpoch.load() == mRetiredEpoch) return;
  while (SynthVoice* v = mRetired) {
    mRetired = v->mNextRetired;
    v->mNextRetired = nullptr;
    pushFreeLocked(v);
  }
}

}  // namespace vl
