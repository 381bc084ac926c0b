#pragma once

// The sending half of the state record's wire. A record larger than one datagram travels as
// numbered fragments, each an OSC message of its own so that OSC tools still see the traffic:
//
//   "/_stateFragment" ",shiiib": id, record number, fragment index, fragment count, record
//   size in bytes, the fragment's bytes.
//
// Fragment k of n holds bytes [k * c, min((k + 1) * c, size)) of the record, c = ceil(size / n).
// Indices n and up are repair fragments of c bytes (vl_StateRepairLayout.hpp), sent after the
// record's own, from which a receiver rebuilds fragments lost on the way.
// The record number carries a random session in its high 32 bits and a serial in its low 32, so
// that a receiver tells a newer record from a straggler and a restarted sender from an old one.
// A record that fits in one packet goes as the plain message "/_state" ",sb" (id, record).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/vl_StateRepairLayout.hpp"
#include "core/vl_Console.hpp"
#include "protocol/vl_OSCPacket.hpp"

namespace vl {

inline constexpr const char* kStateAddress = "/_state";
inline constexpr const char* kStateFragmentAddress = "/_stateFragment";
inline constexpr const char* kStateFragmentTags = "shiiib";

class StateFragmenter {
 public:
  StateFragmenter();

  // Builds the record's messages of at most packetSize bytes each and passes every one to
  // emit(const osc::Packet&). False, with a message, when packetSize cannot hold a fragment.
  template <class Emit>
  bool build(const std::string& id, const void* record, std::size_t size, uint16_t packetSize,
             Emit&& emit);

  // Sends the record to the sender's destination; false when a datagram was not sent.
  bool send(osc::Send& sender, const std::string& id, const void* record, std::size_t size,
            uint16_t packetSize);

  // The record number of the record built last.
  int64_t lastNumber() const { return mLastNumber; }

  // The bytes of record per fragment for a packet size and id, 0 when no fragment fits.
  static std::size_t payloadSize(const std::string& id, uint16_t packetSize);
  // The size of the plain "/_state" message for a record of the given size.
  static std::size_t wholeMessageSize(const std::string& id, std::size_t size);

 private:
  osc::Packet& packet(uint16_t packetSize);
  void fill(const std::string& id, const unsigned char* bytes, std::size_t length, std::size_t size,
            std::size_t fragment, std::size_t count);
  const unsigned char* repair(const unsigned char* record, std::size_t size, std::size_t chunk,
                              uint32_t r);

  std::unique_ptr<osc::Packet> mPacket;
  StateRepairLayout mLayout;
  std::vector<unsigned char> mRepair;
  uint64_t mSession;
  uint32_t mSerial = 0;
  int64_t mLastNumber = 0;
};

template <class Emit>
bool StateFragmenter::build(const std::string& id, const void* record, std::size_t size,
                            uint16_t packetSize, Emit&& emit) {
  osc::Packet& p = packet(packetSize);
  const auto* bytes = static_cast<const unsigned char*>(record);
  if (wholeMessageSize(id, size) <= packetSize) {
    p.clear();
    p.beginMessage(kStateAddress).add(id).addBlob(bytes, size).endMessage();
    emit(p);
    return p.ready();
  }
  const std::size_t payload = payloadSize(id, packetSize);
  if (payload == 0 || size == 0 || size > INT32_MAX) {
    vl::printError("ERROR: state record of %zu bytes cannot be sent in packets of %u bytes\n", size,
                   static_cast<unsigned>(packetSize));
    return false;
  }
  mLastNumber = static_cast<int64_t>((mSession << 32) | ++mSerial);
  const std::size_t count = (size + payload - 1) / payload;
  const std::size_t chunk = (size + count - 1) / count;
  for (std::size_t k = 0; k < count; ++k) {
    fill(id, bytes + k * chunk, std::min(chunk, size - k * chunk), size, k, count);
    emit(p);
  }
  if (mLayout.fragments() != count) mLayout.reset(static_cast<uint32_t>(count));
  for (uint32_t r = 0; r < mLayout.repairs(); ++r) {
    fill(id, repair(bytes, size, chunk, r), chunk, size, count + r, count);
    emit(p);
  }
  return true;
}

}  // namespace vl
