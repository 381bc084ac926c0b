#pragma once

// The time base of the sequencer threads. The steady clock is the real one; tests and offline
// runs substitute a clock whose time they advance themselves.

#include <memory>

namespace vl {

class SequencerClock {
 public:
  virtual ~SequencerClock() = default;
  // Monotonic time in seconds.
  virtual double now() = 0;
  // Blocks until now() reaches time; may return earlier after wake().
  virtual void sleepUntil(double time) = 0;
  // Cuts a sleep short so that a stopping thread notices at once.
  virtual void wake() {}
  // Told by a timing thread when it starts (true) and stops (false) waiting for work rather
  // than for time.
  virtual void threadWaiting(bool /*waiting*/) {}
};

// The monotonic high-resolution clock of the machine.
class SteadyClock : public SequencerClock {
 public:
  double now() override;
  void sleepUntil(double time) override;

  static std::shared_ptr<SequencerClock> shared();
};

}  // namespace vl
