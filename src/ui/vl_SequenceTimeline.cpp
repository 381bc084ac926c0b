#include "ui/vl_SequenceTimeline.hpp"

#include <algorithm>

namespace vl {

namespace {

// Times computed by different sums of the same floats may differ in the last bits.
constexpr double kTimeTolerance = 1e-9;

}  // namespace

void SequenceTimeline::setSteps(std::vector<SequenceStep> steps) {
  mSteps = std::move(steps);
  computeTimeline();
}

void SequenceTimeline::computeTimeline() {
  mStepTimes.assign(mSteps.size(), 0.0);
  double presetTime = 0.0;  // start of the next preset step
  double groupTime = 0.0;   // time of the last step of the current group
  mEndTime = 0.0;
  for (std::size_t i = 0; i < mSteps.size(); ++i) {
    const SequenceStep& s = mSteps[i];
    if (s.type == SequenceStep::PRESET) {
      mStepTimes[i] = presetTime;
      groupTime = presetTime;
      presetTime += static_cast<double>(s.morphTime + s.waitTime);
    } else {
      groupTime += s.waitTime;
      mStepTimes[i] = groupTime;
    }
    mEndTime = std::max({mEndTime, presetTime, groupTime});
  }
}

void SequenceTimeline::restart(std::vector<Action>& due) {
  mLastTimeReport = 0.0;
  mReachedEnd = false;
  mCurrentTime = 0.0;
  mStepIndex = 0;
  mQueue.clear();
  processDue(due);
}

void SequenceTimeline::advance(double dt, bool running, float seek, std::vector<Action>& due) {
  mCurrentTime += dt;
  if (!running) return;
  if (seek >= 0.0f) relocate(seek, due);
  if (mCurrentTime - mLastTimeReport + kTimeTolerance >= mTimeReportInterval) {
    mLastTimeReport = mCurrentTime;
    Action report(Action::TIME);
    report.time = static_cast<float>(mCurrentTime);
    due.push_back(std::move(report));
  }
  processDue(due);
  if (mStepIndex >= mSteps.size() && mQueue.empty() && mCurrentTime + kTimeTolerance >= mEndTime) {
    mReachedEnd = true;
  }
}

void SequenceTimeline::processDue(std::vector<Action>& due) {
  // Queued steps run before a preset step of the same time, as they stand in the file.
  const auto runQueue = [&](double until) {
    while (!mQueue.empty() && until + kTimeTolerance >= mStepTimes[mQueue.front()]) {
      runStep(mSteps[mQueue.front()], due);
      mQueue.pop_front();
    }
  };
  while (mStepIndex < mSteps.size()) {
    const SequenceStep& step = mSteps[mStepIndex];
    if (step.type == SequenceStep::PRESET) {
      if (mCurrentTime + kTimeTolerance < mStepTimes[mStepIndex]) break;
      runQueue(mStepTimes[mStepIndex]);
      Action recall(Action::RECALL, step.name);
      recall.morphTime = step.morphTime;
      due.push_back(std::move(recall));
    } else {
      mQueue.push_back(mStepIndex);
    }
    ++mStepIndex;
  }
  runQueue(mCurrentTime);
}

void SequenceTimeline::runStep(const SequenceStep& step, std::vector<Action>& due) {
  if (step.type == SequenceStep::PRESET) return;
  Action action(step.type == SequenceStep::EVENT ? Action::EVENT : Action::PARAMETER, step.name);
  action.values = step.params;
  due.push_back(std::move(action));
}

void SequenceTimeline::relocate(double time, std::vector<Action>& due) {
  mStepIndex = 0;
  mCurrentTime = time;
  mLastTimeReport = 0.0;
  mQueue.clear();
  // The preset step whose interval holds the time, and the one before it.
  std::size_t current = mSteps.size(), previous = mSteps.size();
  for (std::size_t i = 0; i < mSteps.size(); ++i) {
    if (mSteps[i].type != SequenceStep::PRESET) continue;
    if (mStepTimes[i] > time + kTimeTolerance) break;
    previous = current;
    current = i;
  }
  // Steps before the time: parameter steps leave their state, events are past.
  const std::size_t next = current == mSteps.size() ? 0 : current + 1;
  for (std::size_t i = 0; i < mSteps.size(); ++i) {
    if (mSteps[i].type == SequenceStep::PRESET) {
      if (i > current && current != mSteps.size()) break;
      continue;
    }
    if (mStepTimes[i] <= time + kTimeTolerance) {
      if (mSteps[i].type == SequenceStep::PARAMETER) runStep(mSteps[i], due);
    } else {
      mQueue.push_back(i);
    }
  }
  mStepIndex = next;
  while (mStepIndex < mSteps.size() && mSteps[mStepIndex].type != SequenceStep::PRESET) {
    ++mStepIndex;
  }

  if (current != mSteps.size()) {
    const SequenceStep& step = mSteps[current];
    const double into = time - mStepTimes[current];
    if (into < step.morphTime) {
      if (previous != mSteps.size()) {
        Action between(Action::INTERPOLATE, step.name);
        between.from = mSteps[previous].name;
        between.fraction = into / step.morphTime;
        due.push_back(std::move(between));
      }
      Action rest(Action::RECALL, step.name);
      rest.morphTime = static_cast<float>(step.morphTime - into);
      due.push_back(std::move(rest));
    } else {
      Action atOnce(Action::RECALL_AT_ONCE, step.name);
      atOnce.morphTime = step.morphTime;
      due.push_back(std::move(atOnce));
    }
  }
  Action report(Action::TIME);
  report.time = static_cast<float>(time);
  due.push_back(std::move(report));
}

double SequenceTimeline::secondsToNextDue() const {
  double next = std::min(mEndTime, mLastTimeReport + mTimeReportInterval);
  if (mStepIndex < mSteps.size()) next = std::min(next, mStepTimes[mStepIndex]);
  if (!mQueue.empty()) next = std::min(next, mStepTimes[mQueue.front()]);
  return next - mCurrentTime;
}

}  // namespace vl
