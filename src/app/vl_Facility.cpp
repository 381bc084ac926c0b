#include "app/vl_Facility.hpp"

#include <cstdio>

namespace vl {

namespace {
bool startsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

std::string rendererHost(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%02d", Facility::RENDERER_PREFIX, n);
  return name;
}
}  // namespace

bool Facility::isFacilityHost(const std::string& host) {
  return startsWith(host, CONTROL_PREFIX) || startsWith(host, RENDERER_PREFIX);
}

bool Facility::isRendererHost(const std::string& host) {
  return startsWith(host, RENDERER_PREFIX);
}

std::optional<NodeConfiguration> Facility::hostProfile(const std::string& host) {
  NodeConfiguration c;
  if (host == PRIMARY_HOST) {
    c.capabilities = *NodeConfiguration::roleCapabilities("desktop");
    return c;
  }
  if (host == AUDIO_HOST) {
    c.rank = 20;
    c.group = 1;
    c.capabilities = *NodeConfiguration::roleCapabilities("audio");
    return c;
  }
  for (int n = 1; n <= RENDERER_COUNT; ++n) {
    if (host == rendererHost(n)) {
      c.rank = static_cast<uint16_t>(n);
      c.capabilities = *NodeConfiguration::roleCapabilities("renderer");
      c.dataRoot = CALIBRATION_DIRECTORY;
      return c;
    }
  }
  return std::nullopt;
}

std::string Facility::defaultNodeTable() {
  auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
  std::string text = std::string("broadcastAddress = ") + quoted(BROADCAST_ADDRESS) + "\n";
  text += "[[node]]\nhost = " + quoted(PRIMARY_HOST) +
          "\nrank = 0\ngroup = 0\nrole = " + quoted("desktop") + "\n\n";
  for (int n = 1; n <= RENDERER_COUNT; ++n) {
    text += "[[node]]\nhost = " + quoted(rendererHost(n)) + "\nrank = " + std::to_string(n) +
            "\ngroup = 0\nrole = " + quoted("renderer") + "\n\n";
  }
  return text;
}

}  // namespace vl
