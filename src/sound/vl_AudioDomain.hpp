#pragma once

#include <functional>

#include "app/vl_ComputationDomain.hpp"

namespace vl {

class AudioIOData;

// Placeholder until audio I/O lands: stands in the app's domain list in its place.
class AudioDomain : public AsynchronousDomain {
 public:
  bool start() override { return true; }
  bool stop() override { return true; }
  void configure(double, int, int, int) {}
  std::function<void(AudioIOData&)> onSound = [](AudioIOData&) {};
};

class SonelAudioDomain : public AudioDomain {};

}  // namespace vl
