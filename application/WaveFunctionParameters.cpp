#include "WaveFunctionParameters.hpp"

#include <cstring>

WaveFunctionParameters::WaveFunctionParameters(const std::string& group)
    : n("n", group, 0.0f, "", 1.0f, 99.0f),
      l("l", group, 0.0f, "", 0.0f, 99.0f),
      J("J", group, 0.0f, "", -9.5f, 9.5f),
      j("j", group, 0.0f, "", -9.5f, 9.5f),
      f("f", group, 0.0f, "", -99.0f, 99.0f),
      w("w", group, 0.0f, "", 0.0f, 1.0f),
      mName(group) {
  for (vl::Parameter* p : {&n, &l, &J, &j, &f, &w}) {
    p->registerChangeCallback([this](float) { markDirty(); });
  }
}

WaveFunctionSettings WaveFunctionParameters::read() {
  return {n.get(), l.get(), J.get(), j.get(), f.get(), w.get()};
}

bool WaveFunctionParameters::takeChanges(WaveFunctionSettings& out) {
  const bool wasDirty = mDirty.exchange(false, std::memory_order_acq_rel);
  const WaveFunctionSettings now = read();
  // Bitwise, so that a NaN that got in compares equal to itself and does not rebuild forever.
  const bool changed = !mHandedOut || std::memcmp(&now, &mLast, sizeof now) != 0;
  if (!wasDirty && !changed) return false;
  mLast = now;
  mHandedOut = true;
  out = now;
  return true;
}

std::vector<vl::ParameterMeta*> WaveFunctionParameters::parameters() {
  return {&n, &l, &J, &j, &f, &w};
}
