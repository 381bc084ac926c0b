// libFuzzer target: arbitrary bytes read as a script of the simulated VR runtime. Every
// device, eye and axis the session holds afterwards must be one the runtime's tables have.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "sim_script.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  vrsim::Session s;
  vrsim::loadScript(s, in);
  const auto device = [](int i) { return i >= 0 && i < vrsim::kDevices; };
  for (const auto& p : s.poses)
    if (!device(p.index)) std::abort();
  for (const auto& e : s.events)
    if (!device(e.index)) std::abort();
  for (const auto& a : s.axes)
    if (!device(a.index) || a.axis < 0 || a.axis >= vrsim::kAxes) std::abort();
  for (const auto& b : s.buttons)
    if (!device(b.index)) std::abort();
  for (std::size_t i = 1; i < s.events.size(); ++i)
    if (s.events[i].frame < s.events[i - 1].frame) std::abort();
  return 0;
}
