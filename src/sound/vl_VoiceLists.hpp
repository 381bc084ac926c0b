#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "sound/vl_SynthVoice.hpp"
#include "sound/vl_VoiceIdRing.hpp"

namespace vl {

// The lists a polyphonic synth threads through its voices, and the rings of ids that reach
// its bookkeeping thread.
//
// Pending: a lock-free stack any thread pushes onto; the bookkeeping thread takes it whole,
// so no node is ever popped alone and no ABA can arise. Active: walked by the audio thread
// without a lock; only the bookkeeping thread relinks it. Free: under freeLock(). A voice
// unlinked from the active list is retired, and joins the free list only once no audio walk
// that could still stand on it is under way (an epoch, odd while a walk runs).
//
// The lists own their voices: whatever is on them is deleted with them.
class VoiceLists {
 public:
  VoiceLists() = default;
  ~VoiceLists();
  VoiceLists(const VoiceLists&) = delete;
  VoiceLists& operator=(const VoiceLists&) = delete;

  // Any thread; never waits.
  void pushPending(SynthVoice* voice);
  bool pushTriggerOff(int32_t id) { return mTriggerOffRing.push(id); }
  bool pushFree(int32_t id) { return mFreeRing.push(id); }
  // Serialise the writers of each ring (triggers may come from several threads).
  std::mutex& triggerOffWriteLock() { return mTriggerOffWriteLock; }
  std::mutex& freeWriteLock() { return mFreeWriteLock; }

  // The free list, under freeLock().
  std::mutex& freeLock() { return mFreeLock; }
  SynthVoice* freeHead() const { return mFree; }
  void pushFreeLocked(SynthVoice* voice);
  void appendFreeLocked(SynthVoice* voice);
  // Unlinks and returns the first free voice for which match(voice) is true, or null.
  template <class Match>
  SynthVoice* takeFreeLocked(Match match);

  SynthVoice* activeHead() const { return mActive.load(); }
  static SynthVoice* next(const SynthVoice* voice) { return voice->mNext.load(); }

  // Bookkeeping. Only one thread does it at a time: whoever gets this lock (tried, never
  // waited for; a mode change may briefly overlap two bookkeeping threads).
  std::unique_lock<std::mutex> tryBookkeeping() {
    return std::unique_lock<std::mutex>(mBookkeepingLock, std::try_to_lock);
  }
  // Joins the pending voices in front of the active list; returns the first of them or null.
  SynthVoice* activatePending();
  uint32_t popTriggerOff(int32_t* ids, uint32_t max) { return mTriggerOffRing.pop(ids, max); }
  uint32_t popFree(int32_t* ids, uint32_t max) { return mFreeRing.pop(ids, max); }
  // Takes every voice off the active list for which drop(voice) is true. Hold freeLock().
  template <class Drop>
  void unlinkActive(Drop drop);
  // Moves the retired voices to the free list once no audio walk can still reach them. Hold
  // freeLock().
  void reclaimRetired();

  // Marks the span in which the audio thread walks the active list.
  void enterWalk() { mWalkEpoch.fetch_add(1); }
  void leaveWalk() { mWalkEpoch.fetch_add(1); }

 private:
  std::atomic<SynthVoice*> mPending{nullptr};
  std::atomic<SynthVoice*> mActive{nullptr};
  SynthVoice* mFree = nullptr;
  SynthVoice* mRetired = nullptr;
  uint32_t mRetiredEpoch = 0;
  std::atomic<uint32_t> mWalkEpoch{0};
  std::mutex mFreeLock;
  std::mutex mBookkeepingLock;
  std::mutex mTriggerOffWriteLock;
  std::mutex mFreeWriteLock;
  VoiceIdRing mTriggerOffRing;
  VoiceIdRing mFreeRing;
};

template <class Match>
SynthVoice* VoiceLists::takeFreeLocked(Match match) {
  SynthVoice* previous = nullptr;
  for (SynthVoice* v = mFree; v; previous = v, v = v->mNext.load()) {
    if (!match(v)) continue;
    SynthVoice* after = v->mNext.load();
    if (previous) {
      previous->mNext.store(after);
    } else {
      mFree = after;
    }
    v->mNext.store(nullptr);
    v->mListState.store(SynthVoice::ListState::kNone);
    return v;
  }
  return nullptr;
}

template <class Drop>
void VoiceLists::unlinkActive(Drop drop) {
  SynthVoice* previous = nullptr;
  SynthVoice* v = mActive.load();
  bool retired = false;
  while (v) {
    SynthVoice* after = v->mNext.load();
    if (drop(v)) {
      // The voice keeps its link so that an audio walk standing on it can carry on.
      if (previous) {
        previous->mNext.store(after);
      } else {
        mActive.store(after);
      }
      v->mListState.store(SynthVoice::ListState::kRetired);
      v->mNextRetired = mRetired;
      mRetired = v;
      retired = true;
    } else {
      previous = v;
    }
    v = after;
  }
  if (retired) mRetiredEpoch = mWalkEpoch.load();
}

}  // namespace vl
