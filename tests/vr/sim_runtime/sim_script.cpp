#include "sim_script.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace vrsim {

namespace {

bool device(int i) {
  return i >= 0 && i < kDevices;
}
bool eye(int e) {
  return e == 0 || e == 1;
}

// One statement into the session; false when it is malformed, leaving the session unchanged.
bool statement(Session& s, const std::string& key, std::istringstream& w) {
  if (key == "nohmd") {
    s.hmdPresent = false;
    return true;
  }
  if (key == "device") {
    int i, c;
    if (!(w >> i >> c) || !device(i)) return false;
    s.deviceClass[i] = c, s.connected[i] = true;
    return true;
  }
  if (key == "role") {
    std::string hand;
    int i;
    if (!(w >> hand >> i) || (hand != "left" && hand != "right")) return false;
    s.roles[hand == "left" ? 1 : 2] = i;
    return true;
  }
  if (key == "size") {
    uint32_t width, height;
    if (!(w >> width >> height)) return false;
    s.width = width, s.height = height;
    return true;
  }
  if (key == "frustum" || key == "eye") {
    int e;
    float v[4];
    const int n = key == "frustum" ? 4 : 3;
    if (!(w >> e) || !eye(e)) return false;
    for (int k = 0; k < n; ++k) {
      if (!(w >> v[k])) return false;
    }
    std::copy(v, v + n, key == "frustum" ? s.frustum[e] : s.eyeOffset[e]);
    return true;
  }
  if (key == "refuse") {
    std::string name;
    if (!(w >> name)) return false;
    s.refused.insert(name);
    return true;
  }
  if (key == "pose") {
    PoseStep p{0, 0, {0, 0, 0}, {1, 0, 0, 0}};
    if (!(w >> p.frame >> p.index >> p.p[0] >> p.p[1] >> p.p[2]) || !device(p.index)) return false;
    // The orientation is optional, but all four or none.
    float q[4];
    if (w >> q[0]) {
      if (!(w >> q[1] >> q[2] >> q[3])) return false;
      std::copy(q, q + 4, p.q);
    }
    s.poses.push_back(p);
    return true;
  }
  if (key == "event") {
    EventStep e;
    if (!(w >> e.frame >> e.type >> e.index >> e.button) || !device(e.index)) return false;
    s.events.push_back(e);
    return true;
  }
  if (key == "axis") {
    AxisStep a;
    if (!(w >> a.frame >> a.index >> a.axis >> a.x >> a.y) || !device(a.index) || a.axis < 0 ||
        a.axis >= kAxes)
      return false;
    s.axes.push_back(a);
    return true;
  }
  if (key == "buttons") {
    ButtonStep b;
    if (!(w >> b.frame >> b.index >> std::hex >> b.held) || !device(b.index)) return false;
    s.buttons.push_back(b);
    return true;
  }
  return false;
}

}  // namespace

int loadScript(Session& s, std::istream& in) {
  int skipped = 0;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream w(line);
    std::string key;
    if (!(w >> key) || key[0] == '#') continue;
    if (!statement(s, key, w)) {
      std::fprintf(stderr, "simulated VR runtime: statement skipped: %s\n", line.c_str());
      ++skipped;
    }
  }
  std::stable_sort(s.events.begin(), s.events.end(),
                   [](const EventStep& a, const EventStep& b) { return a.frame < b.frame; });
  return skipped;
}

int loadScript(Session& s, const char* path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "simulated VR runtime: cannot read %s\n", path);
    return 0;
  }
  return loadScript(s, in);
}

}  // namespace vrsim
