#include "sound/vl_SpeakerLayout.hpp"

#include "sound/vl_Lbap.hpp"
#include "sound/vl_StereoPanner.hpp"

namespace vl {

Speakers EightSpeakerRingLayout() {
  const float azimuths[8] = {0, -10, -20, -90, 90, 30, 20, 10};
  Speakers sl;
  for (unsigned int i = 0; i < 8; ++i) sl.emplace_back(i, azimuths[i], 0.0f, 0, 3.0f, 1.0f);
  return sl;
}

Speakers ThreeRingSpeakerLayout() {
  const float ringAz[12] = {-77.66091f, -45.088017f, -14.797289f, 14.797289f,
                            45.088017f, 77.66091f,   102.33909f,  134.91199f,
                            165.20271f, -165.20271f, -134.91199f, -102.33909f};
  const float ringR[6] = {4.9921179f, 5.5711069f, 5.9006028f, 5.9006028f, 5.5711069f, 4.9921179f};
  const float midAz[30] = {-77.66091f,  -65.64759f,  -54.0816f,  -42.86983f,  -31.928167f,
                           -21.181025f, -10.559657f, 0.0f,       10.559657f,  21.181025f,
                           31.928167f,  42.86983f,   54.0816f,   65.64759f,   77.66091f,
                           102.33909f,  114.35241f,  125.9184f,  137.13017f,  148.07184f,
                           158.81897f,  169.44034f,  180.0f,     -169.44034f, -158.81897f,
                           -148.07184f, -137.13017f, -125.9184f, -114.35241f, -102.33909f};
  const float midR[8] = {4.9921179f, 5.2188702f, 5.4254832f, 5.6043501f,
                         5.7494612f, 5.8562741f, 5.9216132f, 5.9436002f};
  Speakers sl;
  for (unsigned int i = 0; i < 12; ++i) sl.emplace_back(i, ringAz[i], 41.0f, 1, ringR[i % 6], 1.0f);
  for (unsigned int i = 0; i < 30; ++i) {
    const unsigned int k = i % 15;  // the radii rise to the middle of each half and fall again
    sl.emplace_back(16 + i, midAz[i], 0.0f, 0, midR[k < 8 ? k : 14 - k], 1.0f);
  }
  for (unsigned int i = 0; i < 12; ++i) {
    sl.emplace_back(48 + i, ringAz[i], -32.5f, 2, ringR[i % 6], 1.0f);
  }
  return sl;
}

std::shared_ptr<Spatializer> spatializerForOutputs(int outputChannels) {
  std::shared_ptr<Spatializer> spatializer;
  if (outputChannels == 2 || outputChannels == 6) {
    spatializer = std::make_shared<StereoPanner>(StereoSpeakerLayout(0, 30.0f, 1.0f, 1.0f));
  } else if (outputChannels >= 13) {
    spatializer = std::make_shared<Lbap>(ThreeRingSpeakerLayout());
  } else {
    spatializer = std::make_shared<Lbap>(EightSpeakerRingLayout());
  }
  spatializer->compile();
  return spatializer;
}

}  // namespace vl
