#pragma once

// The time-driven heart of the preset sequencer: given the steps of a sequence and the time
// that passes, it says what falls due. It owns no thread, takes no lock and touches no preset,
// parameter or callback; the sequencer carries out what it reports.

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "ui/vl_SequenceFile.hpp"

namespace vl {

class SequenceTimeline {
 public:
  struct Action {
    enum Kind {
      RECALL,          // morph to preset name over morphTime
      INTERPOLATE,     // set the state between preset from and preset name at fraction
      RECALL_AT_ONCE,  // set preset name at once, then the handler's morph time to morphTime
      EVENT,           // call the listeners of event name with values
      PARAMETER,       // set the parameter at address name to values
      TIME             // report the time
    };
    explicit Action(Kind k, std::string n = {}) : kind(k), name(std::move(n)) {}
    Kind kind;
    std::string name;
    std::string from;
    float morphTime = 0.0f;
    double fraction = 0.0;
    float time = 0.0f;
    std::vector<ParameterField> values;
  };

  void setSteps(std::vector<SequenceStep> steps);
  const std::vector<SequenceStep>& steps() const { return mSteps; }

  // Back to time 0; what is due at 0 (the first preset among it) is appended to due.
  void restart(std::vector<Action>& due);
  // Moves time on by dt. Only while running are steps due: first a seek to seek seconds when
  // seek is 0 or more, then time reports and the steps reached.
  void advance(double dt, bool running, float seek, std::vector<Action>& due);
  // Jumps to time: parameter steps before it leave their values, a preset step under way is
  // joined mid-morph, and the new time is reported.
  void relocate(double time, std::vector<Action>& due);

  // True once the last step has run and the sequence's whole length has passed.
  bool reachedEnd() const { return mReachedEnd; }
  double currentTime() const { return mCurrentTime; }
  // Seconds until something next falls due (a step, a time report or the end).
  double secondsToNextDue() const;

 private:
  void processDue(std::vector<Action>& due);
  void runStep(const SequenceStep& step, std::vector<Action>& due);
  // Absolute start of every step: preset steps one after another by morph + wait, the event
  // and parameter steps that follow a preset step by their waits from its start.
  void computeTimeline();

  std::vector<SequenceStep> mSteps;
  std::vector<double> mStepTimes;
  double mEndTime = 0.0;
  std::size_t mStepIndex = 0;
  std::deque<std::size_t> mQueue;
  double mCurrentTime = 0.0;
  double mLastTimeReport = 0.0;
  float mTimeReportInterval = 0.05f;
  bool mReachedEnd = false;
};

}  // namespace vl
