#pragma once

// The session a script describes (see README.md), read apart from the runtime so that the
// reader can be fuzzed without loading a client library.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace vrsim {

constexpr int kDevices = 64;
constexpr int kAxes = 5;  // axes of one controller state

struct PoseStep {
  int frame, index;
  float p[3], q[4];  // position, orientation w x y z
};
struct EventStep {
  int frame, type, index, button;
};
struct AxisStep {
  int frame, index, axis;
  float x, y;
};
struct ButtonStep {
  int frame, index;
  uint64_t held;
};

struct Session {
  bool hmdPresent = true;
  int deviceClass[kDevices] = {};
  bool connected[kDevices] = {};
  int roles[3] = {-1, -1, -1};  // by controller role: left 1, right 2
  uint32_t width = 540, height = 600;
  float frustum[2][4] = {{-1.f, 1.f, -1.f, 1.f}, {-1.f, 1.f, -1.f, 1.f}};  // l r b t tangents
  float eyeOffset[2][3] = {{-0.0315f, 0.f, 0.f}, {0.0315f, 0.f, 0.f}};
  std::set<std::string> refused;
  std::vector<PoseStep> poses;
  std::vector<EventStep> events;
  std::vector<AxisStep> axes;
  std::vector<ButtonStep> buttons;
  size_t nextEvent = 0;
  int frame = 0;
};

// Adds the script's statements to the session. A statement with missing or unreadable fields,
// or naming a device, eye or axis that does not exist, is reported on stderr and skipped: the
// runtime indexes its tables by them. Returns the number of statements skipped.
int loadScript(Session& s, std::istream& in);
int loadScript(Session& s, const char* path);

}  // namespace vrsim
