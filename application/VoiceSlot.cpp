#include "VoiceSlot.hpp"

#include <cmath>
#include <cstring>

namespace {

constexpr int kPoints = HydrogenVisual::kNeedlePoints;
constexpr std::size_t kPointBytes = sizeof(float) * 3 * kPoints;
constexpr std::size_t kColourBytes = sizeof(float) * 4 * kPoints;
static_assert(kPointBytes + kColourBytes <= SharedStateSlot::kPayloadSize);

}  // namespace

namespace VoiceSlot {

void write(SharedStateSlot& slot, uint64_t voiceId, uint64_t frame, const HydrogenVisual& visual) {
  float points[3 * kPoints];
  float colours[4 * kPoints];
  const auto& p = visual.needlePoints();
  const auto& c = visual.needleColours();
  for (int i = 0; i < kPoints; ++i) {
    for (int k = 0; k < 3; ++k) points[3 * i + k] = float(p[size_t(i)][k]);
    colours[4 * i] = c[size_t(i)].r;
    colours[4 * i + 1] = c[size_t(i)].g;
    colours[4 * i + 2] = c[size_t(i)].b;
    colours[4 * i + 3] = c[size_t(i)].a;
  }
  std::memcpy(slot.payload, points, kPointBytes);
  std::memcpy(slot.payload + kPointBytes, colours, kColourBytes);
  slot.value0 = voiceId;
  slot.value1 = frame;
  slot.value2 = uint64_t(visual.style());
  slot.value3 = uint16_t(HydrogenVisual::kParticles);
}

void clear(SharedStateSlot& slot) {
  slot.value0 = slot.value1 = slot.value2 = 0;
  slot.value3 = 0;
}

bool occupied(const SharedStateSlot& slot) {
  return slot.value3 != 0;
}

bool show(const SharedStateSlot& slot, HydrogenVisual& visual) {
  if (slot.value3 != HydrogenVisual::kParticles) return false;
  if (slot.value2 > uint64_t(HydrogenVisual::kMarkers)) return false;
  float points[3 * kPoints];
  float colours[4 * kPoints];
  std::memcpy(points, slot.payload, kPointBytes);
  std::memcpy(colours, slot.payload + kPointBytes, kColourBytes);
  for (float v : points) {
    if (!std::isfinite(v)) return false;
  }
  for (float v : colours) {
    if (!std::isfinite(v)) return false;
  }
  visual.showNeedles(points, colours, int(slot.value2));
  return true;
}

}  // namespace VoiceSlot
