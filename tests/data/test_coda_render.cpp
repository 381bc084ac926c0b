// The coda rendered once, whole, on the stereo layout by zentha_render, and every check of its
// arc made on that one file: it lasts eleven minutes and its final release, never falls silent
// for more than two seconds before its end, never clips, brings all 32 voices together at
// once, and its spectrum moves. Prints the render's real-time factor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <regex>
#include <string>
#include <vector>

#include "data_support.hpp"
#include "sound_measures.hpp"

namespace {

const char* const kCoda = "ZENTHA-coda11minutesT60.synthSequence";
constexpr double kLength = 660.0;        // eleven minutes at a beat a second
constexpr double kLongestRelease = 5.0;  // the voices' longest "releaseTime"
const double kMinusOneDb = std::pow(10.0, -1.0 / 20.0);
const double kSilence = std::pow(10.0, -60.0 / 20.0);
constexpr double kGapWindow = 0.05;

}  // namespace

TEST(CodaRender, ElevenMinutesOfAllVoicesWithoutGapsClippingOrDroppedEvents) {
  zentha_data::DataCopy data;
  const zentha_data::ToolRun run =
      zentha_data::runTool({ZENTHA_RENDER, "--layout", "stereo", "--out", "coda.wav", kCoda});
  ASSERT_EQ(run.status, 0) << run.console;
  std::printf("%s", run.console.c_str());
  // A dropped event ("Could not get free voice") or one prepared late would be a line here.
  for (const std::string& line : zentha_data::faultLines(run.console)) ADD_FAILURE() << line;

  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.console, m, std::regex(R"(\(([0-9.]+)x real time\))")));
  RecordProperty("real_time_factor", m[1].str());
  ASSERT_TRUE(std::regex_search(run.console, m, std::regex(R"(peak ([0-9]+) voices at once)")));
  EXPECT_GE(std::stoi(m[1].str()), 32);

  const zentha_data::Sound s = zentha_data::readSound("coda.wav");
  ASSERT_EQ(s.channels, 2);
  const double seconds = double(s.frames()) / s.rate;
  EXPECT_GE(seconds, kLength - kLongestRelease);
  EXPECT_LE(seconds, kLength + kLongestRelease);

  EXPECT_LT(zentha_data::peak(s), kMinusOneDb);
  for (double mean : zentha_data::channelMeans(s)) EXPECT_LT(std::fabs(mean), 1e-3);

  const std::vector<double> rms = zentha_data::windowRms(s, kGapWindow);
  EXPECT_LE(double(zentha_data::longestGap(rms, kSilence)) * kGapWindow, 2.0);
  // The last release still sounds in the final seconds: the piece fades out, it is not cut.
  EXPECT_GT(
      *std::max_element(rms.end() - int(10.0 / kGapWindow), rms.end() - int(1.0 / kGapWindow)),
      kSilence);

  // The centroid over ten-second windows wanders over a wide range, and keeps moving.
  const std::vector<double> centroids = zentha_data::spectralCentroids(s, 10.0);
  ASSERT_GE(centroids.size(), 60u);
  const auto [low, high] = std::minmax_element(centroids.begin(), centroids.end());
  EXPECT_GT(*high, 3.0 * *low);
  int moves = 0;
  for (size_t i = 1; i < centroids.size(); ++i) {
    moves += std::fabs(centroids[i] - centroids[i - 1]) > 0.05 * centroids[i - 1];
  }
  EXPECT_GT(moves, int(centroids.size()) / 3);
  std::printf("spectral centroid from %.0f to %.0f Hz, moving in %d of %zu windows\n", *low, *high,
              moves, centroids.size() - 1);
}
