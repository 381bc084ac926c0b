#include "ui/vl_SequencerClock.hpp"

#include <chrono>
#include <thread>

namespace vl {

double SteadyClock::now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SteadyClock::sleepUntil(double time) {
  const auto deadline = std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(time)));
  std::this_thread::sleep_until(deadline);
}

std::shared_ptr<SequencerClock> SteadyClock::shared() {
  static std::shared_ptr<SequencerClock> clock = std::make_shared<SteadyClock>();
  return clock;
}

}  // namespace vl
