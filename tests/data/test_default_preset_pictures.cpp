// The nine default presets drawn as the program shows its static atom, a few seconds after
// they are recalled: each atom takes a reasonable part of the frame without filling it, and no
// two look nearly alike at a coarse scale.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AppParameters.hpp"
#include "AtomPicture.hpp"
#include "data_support.hpp"
#include "gl_context.hpp"

namespace {

constexpr int kWidth = 320, kHeight = 200;
constexpr int kFrames = 180;  // three seconds at 60 Hz
constexpr int kCells = 16;

// 0 for equal pictures, 1 for pictures lit in disjoint places.
double difference(const std::vector<double>& a, const std::vector<double>& b) {
  double apart = 0.0, total = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    apart += std::fabs(a[i] - b[i]);
    total += a[i] + b[i];
  }
  return total > 0.0 ? apart / total : 0.0;
}

}  // namespace

TEST(DefaultPresetPictures, EachAtomFillsPartOfTheFrameAndNoTwoLookAlike) {
  zentha_data::DataCopy data;
  const std::vector<std::string>& names = AppParameters::defaultPresetNames();
  ASSERT_EQ(names.size(), 9u);
  std::vector<std::vector<double>> coarse;
  for (const std::string& name : names) {
    const AtomPicture p = drawPreset("defaults/" + name, kFrames, kWidth, kHeight);
    std::printf("%-17s coverage %.3f, box %.2f x %.2f of the frame\n", name.c_str(), p.coverage(),
                p.litWidth(), p.litHeight());
    EXPECT_GT(p.coverage(), 0.005) << name;
    EXPECT_LT(p.coverage(), 0.5) << name;
    EXPECT_GT(std::max(p.litWidth(), p.litHeight()), 0.25) << name << " is a speck";
    EXPECT_LT(p.litWidth() * p.litHeight(), 0.8) << name << " fills the frame";
    coarse.push_back(p.downscaled(kCells));
  }
  for (size_t i = 0; i < names.size(); ++i) {
    for (size_t j = i + 1; j < names.size(); ++j) {
      const double d = difference(coarse[i], coarse[j]);
      std::printf("%s / %s: %.3f\n", names[i].c_str(), names[j].c_str(), d);
      EXPECT_GT(d, 0.3) << names[i] << " and " << names[j] << " look nearly the same";
    }
  }
}
