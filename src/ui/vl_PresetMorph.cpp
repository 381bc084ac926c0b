#include "ui/vl_PresetMorph.hpp"

#include <cmath>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

bool isNumber(const ParameterField& f) {
  return f.type() == ParameterField::FLOAT || f.type() == ParameterField::INT32;
}

}  // namespace

bool PresetMorph::interpolate(const std::vector<ParameterField>& start,
                              const std::vector<ParameterField>& target, double factor,
                              std::vector<ParameterField>& result) {
  result.clear();
  if (start.size() != target.size()) {
    printError("Parameter data type mismatch. Aborting.\n");
    return false;
  }
  for (std::size_t i = 0; i < target.size(); ++i) {
    const ParameterField& s = start[i];
    const ParameterField& t = target[i];
    if (s.type() != t.type() && !(isNumber(s) && isNumber(t))) {
      printError("Parameter data type mismatch. Aborting.\n");
      return false;
    }
    if (t.type() == ParameterField::STRING) {
      result.push_back(t);
    } else if (factor == 1.0) {
      if (s.type() == ParameterField::INT32) {
        result.emplace_back(t.get<int32_t>());
      } else {
        result.emplace_back(t.get<float>());
      }
    } else {
      const float a = s.get<float>();
      const float b = t.get<float>();
      const float value = a + (b - a) * static_cast<float>(factor);
      if (s.type() == ParameterField::INT32) {
        result.emplace_back(static_cast<int32_t>(std::trunc(value)));
      } else {
        result.emplace_back(value);
      }
    }
  }
  return true;
}

void PresetMorph::apply(const Plan& plan, double factor) {
  std::vector<ParameterField> fields;
  for (const Target& t : plan) {
    if (interpolate(t.start, t.target, factor, fields)) t.parameter->set(fields);
  }
}

void PresetMorph::start(Plan plan, float morphTime) {
  auto shared = std::make_shared<const Plan>(std::move(plan));
  std::lock_guard<std::mutex> lock(mLock);
  mPlan = std::move(shared);
  mStepCount.store(0);
  mTotalSteps.store(
      morphTime > 0.0f ? static_cast<uint64_t>(std::ceil(morphTime / static_cast<float>(mInterval)))
                       : 1);
}

void PresetMorph::step() {
  std::shared_ptr<const Plan> plan;
  double factor;
  {
    std::lock_guard<std::mutex> lock(mLock);
    const uint64_t k = mStepCount.fetch_add(1);
    const uint64_t total = mTotalSteps.load();
    if (total == 0 || k > total || !mPlan) return;
    factor = total == 1 ? 1.0 : static_cast<double>(k) / static_cast<double>(total);
    plan = mPlan;
  }
  // Applied without the lock: the parameters' callbacks may recall another preset.
  apply(*plan, factor);
}

bool PresetMorph::morphing() const {
  const uint64_t total = mTotalSteps.load();
  return total > 0 && mStepCount.load() <= total;
}

}  // namespace vl
