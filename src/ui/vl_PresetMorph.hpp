#pragma once

// The morph between the current values and a recalled preset, without any file access. A
// recall resolves its addresses to parameters once, into a plan; each step only interpolates
// the plan's fields and sets them.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ui/vl_ParameterField.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

class PresetMorph {
 public:
  struct Target {
    ParameterMeta* parameter;  // not owned
    std::vector<ParameterField> start;
    std::vector<ParameterField> target;
  };
  // In the byte-wise order of the addresses, the order a preset is applied in.
  using Plan = std::vector<Target>;

  // The fields that take start towards target at factor (1 gives the target in the start's
  // types); false, with the mismatch message, when the two do not pair up.
  static bool interpolate(const std::vector<ParameterField>& start,
                          const std::vector<ParameterField>& target, double factor,
                          std::vector<ParameterField>& result);
  // Sets every parameter of the plan to its state at factor.
  static void apply(const Plan& plan, double factor);

  // Replaces the morph in progress: ceil(morphTime / interval) steps after the one at factor
  // 0, or a single step at factor 1 when morphTime is 0.
  void start(Plan plan, float morphTime);
  // Applies the next step, if one is due.
  void step();
  void stop() { mTotalSteps.store(0); }
  bool morphing() const;
  uint64_t stepCount() const { return mStepCount.load(); }
  uint64_t totalSteps() const { return mTotalSteps.load(); }
  void setTotalSteps(uint64_t steps) { mTotalSteps.store(steps); }
  double stepInterval() const { return mInterval; }

 private:
  std::mutex mLock;  // the plan and the step counter change together
  std::shared_ptr<const Plan> mPlan;
  std::atomic<uint64_t> mStepCount{0};
  std::atomic<uint64_t> mTotalSteps{0};
  double mInterval = 0.02;
};

}  // namespace vl
