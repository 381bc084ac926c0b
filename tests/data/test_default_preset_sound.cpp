// Each default preset rendered for ten seconds by zentha_render, as a user renders it: it
// sounds throughout once its attack is over, stays below -1 dBFS and carries no DC offset.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AppParameters.hpp"
#include "data_support.hpp"
#include "sound_measures.hpp"

namespace {

const double kMinusOneDb = std::pow(10.0, -1.0 / 20.0);
const double kMinusFiftyDb = std::pow(10.0, -50.0 / 20.0);

}  // namespace

TEST(DefaultPresetSound, EachSoundsClearOfClippingAndDcForTenSeconds) {
  zentha_data::DataCopy data;
  for (const std::string& name : AppParameters::defaultPresetNames()) {
    SCOPED_TRACE(name);
    const zentha_data::ToolRun run = zentha_data::runTool(
        {ZENTHA_RENDER, "--preset", "defaults/" + name, "--seconds", "10", "--out", "preset.wav"});
    ASSERT_EQ(run.status, 0) << run.console;
    for (const std::string& line : zentha_data::faultLines(run.console)) ADD_FAILURE() << line;
    const zentha_data::Sound s = zentha_data::readSound("preset.wav");
    ASSERT_EQ(s.frames(), size_t(10 * s.rate));

    EXPECT_LT(zentha_data::peak(s), kMinusOneDb);
    // Every second after the first (the longest attack) sounds.
    const std::vector<double> seconds = zentha_data::windowRms(s, 1.0);
    for (size_t i = 1; i < seconds.size(); ++i) {
      EXPECT_GT(seconds[i], kMinusFiftyDb) << "silent in second " << i;
    }
    const double rms = zentha_data::windowRms(s, 10.0)[0];
    for (double mean : zentha_data::channelMeans(s)) {
      EXPECT_LT(std::fabs(mean), 0.01 * rms) << "DC offset " << mean << " at RMS " << rms;
    }
  }
}
