#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vl {

// What one instance of a distributed application is: its rank (0 is the primary), its group,
// where its data lives and what it does. Fixed before any domain starts.
struct NodeConfiguration {
  // Capability bits; a role is a sum of them.
  enum Capability : uint32_t {
    CAP_NONE = 0,
    CAP_BROADCAST = 1u << 1,       // a broadcast address is configured on facility hosts
    CAP_WINDOW = 1u << 2,          // a desktop window
    CAP_OMNIRENDERING = 1u << 3,   // the omnidirectional renderer instead of a desktop window
    CAP_AUDIO_IO = 1u << 4,        // the audio domain stays
    CAP_OSC = 1u << 5,             // kept for the application; nothing here tests it
    CAP_COMPUTE = 1u << 6,         // kept for the application; nothing here tests it
    CAP_USER_INTERFACE = 1u << 7,  // kept for the application; nothing here tests it
    CAP_STATE_SEND = 1u << 8,      // a primary sends its state record
  };

  // The capabilities of "desktop", "renderer", "audio", "simulator", "replica" and
  // "control"; nothing for any other string.
  static std::optional<uint32_t> roleCapabilities(const std::string& role);

  bool hasCapability(uint32_t bits) const { return (capabilities & bits) == bits; }

  uint16_t rank = 0;
  uint16_t group = 0;
  std::string dataRoot;
  uint32_t capabilities = CAP_NONE;
};

}  // namespace vl
