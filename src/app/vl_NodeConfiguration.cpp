#include "app/vl_NodeConfiguration.hpp"

#include <array>
#include <utility>

namespace vl {

std::optional<uint32_t> NodeConfiguration::roleCapabilities(const std::string& role) {
  static const std::array<std::pair<const char*, uint32_t>, 6> roles{{
      {"desktop",
       CAP_BROADCAST | CAP_WINDOW | CAP_AUDIO_IO | CAP_OSC | CAP_USER_INTERFACE | CAP_STATE_SEND},
      {"renderer", CAP_BROADCAST | CAP_OMNIRENDERING | CAP_OSC},
      {"audio", CAP_BROADCAST | CAP_AUDIO_IO | CAP_OSC | CAP_COMPUTE},
      {"simulator", CAP_BROADCAST | CAP_OSC | CAP_COMPUTE | CAP_STATE_SEND},
      {"replica", CAP_BROADCAST | CAP_OMNIRENDERING | CAP_AUDIO_IO | CAP_OSC},
      {"control", CAP_WINDOW | CAP_OSC | CAP_USER_INTERFACE},
  }};
  for (const auto& [name, caps] : roles) {
    if (role == name) return caps;
  }
  return std::nullopt;
}

}  // namespace vl
