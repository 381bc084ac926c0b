// Morphing between presets: the step counter and its factors, integer and text fields, type
// mismatches, interrupted morphs and interpolated states.

#include <gtest/gtest.h>

#include "ui/preset_test_support.hpp"
#include "ui/vl_PresetHandler.hpp"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

class Morph : public testing::Test {
 protected:
  void SetUp() override {
    CaptureStdout();
    handler = std::make_unique<vl::PresetHandler>(dir.path());
    GetCapturedStdout();
    *handler << level << count << label;
    level.registerChangeCallback([this](float v) { levels.push_back(v); });
    count.registerChangeCallback([this](int32_t v) { counts.push_back(v); });
    writeFile(dir / "A.preset", "::A\n/count i 0 \n/label s x \n/level f 0.0 \n::\n");
    writeFile(dir / "B.preset", "::B\n/count i 10 \n/label s y \n/level f 1.0 \n::\n");
    writeFile(dir / "C.preset", "::C\n/level f 0.0 \n::\n");
  }

  void steps(int n) {
    for (int i = 0; i < n; ++i) handler->morphStep(0.02);
  }

  ScratchDir dir;
  std::unique_ptr<vl::PresetHandler> handler;
  vl::Parameter level{"level", "", 0.0f, "", -10.0f, 10.0f};
  vl::ParameterInt count{"count", "", 0};
  vl::ParameterString label{"label", "", "x"};
  std::vector<float> levels;
  std::vector<int32_t> counts;
};

}  // namespace

TEST_F(Morph, OneSecondGivesFiftyStepsAndFiftyOneFactors) {
  handler->recallPreset("B", 1.0f);
  EXPECT_EQ(handler->totalMorphSteps(), 50u);
  EXPECT_TRUE(level.get() == 0.0f && label.get() == "x");  // nothing changes before a step
  steps(60);
  ASSERT_EQ(levels.size(), 51u);
  for (int k = 0; k <= 50; ++k) EXPECT_NEAR(levels[k], k / 50.0f, 1e-6f) << k;
  EXPECT_EQ(level.get(), 1.0f);
  EXPECT_EQ(count.get(), 10);
  EXPECT_FALSE(handler->morphing());
  // Truncation toward zero of the integer field: 10 × 11/50 = 2.2.
  EXPECT_EQ(counts[11], 2);
}

TEST_F(Morph, ZeroMorphTimeAppliesTheWholePresetAtTheNextStep) {
  handler->setMorphTime(0.0f);
  handler->recallPreset("B");
  EXPECT_EQ(handler->totalMorphSteps(), 1u);
  EXPECT_EQ(level.get(), 0.0f);
  steps(1);
  EXPECT_EQ(level.get(), 1.0f);
  EXPECT_EQ(count.get(), 10);
  EXPECT_EQ(label.get(), "y");
  ASSERT_EQ(levels.size(), 1u);
  EXPECT_EQ(levels[0], 1.0f);
  steps(5);
  EXPECT_EQ(levels.size(), 2u);  // factor 1 once more for k = N, then nothing
}

TEST_F(Morph, IntegerAndTextFields) {
  handler->recallPreset("B", 0.4f);  // 20 steps: step 11 is factor 0.55
  EXPECT_EQ(handler->totalMorphSteps(), 20u);
  steps(1);
  EXPECT_EQ(label.get(), "y");  // texts take the target at once
  steps(11);
  EXPECT_EQ(count.get(), 5);
  EXPECT_NEAR(level.get(), 0.55f, 1e-6f);

  handler->setInterpolatedPreset("A", "B", 0.55);
  EXPECT_EQ(count.get(), 5);
  EXPECT_NEAR(level.get(), 0.55f, 1e-6f);
  handler->setInterpolatedPreset("B", "A", 1.0);
  EXPECT_EQ(count.get(), 0);
  EXPECT_EQ(label.get(), "x");
  EXPECT_EQ(level.get(), 0.0f);
  // An interpolated state halts the morph that was running.
  EXPECT_FALSE(handler->morphing());
}

TEST_F(Morph, TypeMismatchLeavesTheParameterUnchanged) {
  writeFile(dir / "T.preset", "::T\n/count i 3 \n/level s loud \n::\n");
  level.set(0.25f);
  levels.clear();
  handler->recallPreset("T", 0.0f);
  CaptureStderr();
  steps(1);
  EXPECT_EQ(GetCapturedStderr(), "Parameter data type mismatch. Aborting.\n");
  EXPECT_EQ(level.get(), 0.25f);
  EXPECT_TRUE(levels.empty());
  EXPECT_EQ(count.get(), 3);  // the other fields still apply
}

TEST_F(Morph, RecallDuringAMorphRestartsFromTheCurrentValues) {
  handler->recallPreset("B", 1.0f);
  steps(25);  // factors 0 .. 24/50
  EXPECT_NEAR(level.get(), 0.48f, 1e-6f);
  handler->recallPreset("C", 1.0f);
  levels.clear();
  steps(26);
  ASSERT_EQ(levels.size(), 26u);
  EXPECT_NEAR(levels[0], 0.48f, 1e-6f);
  EXPECT_NEAR(levels[25], 0.24f, 1e-6f);
  steps(30);
  EXPECT_EQ(level.get(), 0.0f);
  // C has no count: the morph leaves it where B's morph had brought it.
  EXPECT_EQ(count.get(), 4);
}

TEST_F(Morph, StoppingHaltsAndSlowFramesAreReported) {
  handler->recallPreset("B", 1.0f);
  steps(10);
  handler->stopMorph();
  const float halted = level.get();
  steps(10);
  EXPECT_EQ(level.get(), halted);
  EXPECT_FALSE(handler->morphing());

  handler->recallPreset("A", 1.0f);
  CaptureStdout();
  handler->morphStep(0.005);
  handler->morphStep(0.02);
  EXPECT_EQ(GetCapturedStdout(), "Time drift = 0.015\n");
}
