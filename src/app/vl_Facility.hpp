#pragma once

// The installation the distributed application was made for: a dome with a control room of two
// machines and fourteen projector renderers. Its host names, host profiles and calibration
// directory are written here and nowhere else.

#include <cstdint>
#include <optional>
#include <string>

#include "app/vl_NodeConfiguration.hpp"

namespace vl {

struct Facility {
  // Control-room machines ("kuppel-c01" is the primary) and renderers ("kuppel-r01" to
  // "kuppel-r14").
  static constexpr const char* CONTROL_PREFIX = "kuppel-c";
  static constexpr const char* RENDERER_PREFIX = "kuppel-r";
  static constexpr const char* PRIMARY_HOST = "kuppel-c01";
  static constexpr const char* AUDIO_HOST = "kuppel-c02";
  static constexpr int RENDERER_COUNT = 14;
  // The projector network of the dome.
  static constexpr const char* BROADCAST_ADDRESS = "192.168.10.255";
  // Written by the projector calibration in the renderer user's home.
  static constexpr const char* CALIBRATION_DIRECTORY = "/home/kuppel/calibration/current";

  static bool isFacilityHost(const std::string& host);
  static bool isRendererHost(const std::string& host);

  // The built-in profile of a facility host, for when no node table exists.
  static std::optional<NodeConfiguration> hostProfile(const std::string& host);

  // The node table of the facility as "distributed_app.toml" text: the broadcast address, the
  // primary as "desktop" and the renderers, ranks 1 to 14, as "renderer".
  static std::string defaultNodeTable();
};

}  // namespace vl
