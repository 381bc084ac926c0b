#pragma once

// One of the atom's three wave-function groups ("wfs1", "wfs2", "wfs3"): the six numbers of a
// spin-orbit eigenstate, with a dirty flag that any change of them raises.

#include <atomic>
#include <string>
#include <vector>

#include "ui/vl_Parameter.hpp"

// The six values of a group as read at one moment, raw: the reader truncates n and l toward
// zero, limits l to n - 1, and snaps J and j to half-integers.
struct WaveFunctionSettings {
  float n = 0.0f;
  float l = 0.0f;
  float J = 0.0f;
  float j = 0.0f;
  float f = 0.0f;
  float w = 0.0f;

  // "n" holds its construction default 0 (below its minimum 1) until the first set; such a
  // group has no eigenstate and must contribute nothing. Readers must not clamp it up to 1.
  // A NaN (the parameters' clamping lets it through) counts as empty too.
  bool empty() const { return !(n >= 1.0f); }
};

class WaveFunctionParameters {
 public:
  // group is both the group's name and the group text of its six parameters.
  explicit WaveFunctionParameters(const std::string& group);
  WaveFunctionParameters(const WaveFunctionParameters&) = delete;
  WaveFunctionParameters& operator=(const WaveFunctionParameters&) = delete;

  // Every set clamps: "n" to [1, 99] (so reset() gives 1, not the default 0), "l" to [0, 99],
  // "J" and "j" to [-9.5, 9.5], "f" to [-99, 99], "w" to [0, 1].
  vl::Parameter n;
  vl::Parameter l;
  vl::Parameter J;
  vl::Parameter j;
  vl::Parameter f;
  vl::Parameter w;

  const std::string& name() const { return mName; }

  // Raised at construction and by every announced change of the six parameters (callbacks
  // run on the setting thread: GUI, network, preset morph or sequencer).
  bool dirty() const { return mDirty.load(std::memory_order_acquire); }
  void markDirty() { mDirty.store(true, std::memory_order_release); }

  // For the single thread that rebuilds the wave function: clears the flag and, when the group
  // was dirty or its values differ from those handed out last, fills out and returns true.
  // Change callbacks run before the new value is stored, so a reader that clears the flag in
  // that gap reads the old value; comparing with the last values handed out catches the late
  // store at the next call. It also catches quiet sets, which run no callbacks.
  bool takeChanges(WaveFunctionSettings& out);

  WaveFunctionSettings read();

  // The six parameters in the order n, l, J, j, f, w.
  std::vector<vl::ParameterMeta*> parameters();

 private:
  std::string mName;
  std::atomic<bool> mDirty{true};
  WaveFunctionSettings mLast;
  bool mHandedOut = false;
};
