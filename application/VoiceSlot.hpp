#pragma once

// One drawn voice in a slot of the state record: what a replica needs to draw the voice exactly
// as the primary drew it in one frame. The payload holds the needles as the primary's visual
// built them (tail and head of each particle's spin needle, as floats) and their colours as
// they went into the mesh; the fields say which voice, from which frame, in which style.
//
// A slot arrives from the network: reading it checks everything it relies on (the particle
// count, the style, finite numbers) and refuses the slot otherwise.

#include <cstdint>

#include "HydrogenVisual.hpp"
#include "SharedState.hpp"

namespace VoiceSlot {

// The voice id under which the static voice of static-atom mode travels.
constexpr uint64_t kStaticVoice = ~uint64_t(0);

// Fills the slot from the visual's last step: value0 the voice id, value1 the frame, value2 the
// style, value3 the particle count (0 marks an empty slot).
void write(SharedStateSlot& slot, uint64_t voiceId, uint64_t frame, const HydrogenVisual& visual);
void clear(SharedStateSlot& slot);

bool occupied(const SharedStateSlot& slot);
inline uint64_t voiceId(const SharedStateSlot& slot) {
  return slot.value0;
}
inline uint64_t frame(const SharedStateSlot& slot) {
  return slot.value1;
}

// Shows the slot's needles on the visual (until its next step); false, and the visual left
// alone, for an empty or malformed slot.
bool show(const SharedStateSlot& slot, HydrogenVisual& visual);

}  // namespace VoiceSlot
