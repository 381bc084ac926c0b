#include "app/vl_StateFragmenter.hpp"

#include <algorithm>
#include <random>
#include <string>

namespace vl {

namespace {

std::size_t padded(std::size_t length) {
  return (length + 4) & ~std::size_t(3);  // the terminating zero and the padding to four
}

}  // namespace

StateFragmenter::StateFragmenter() {
  std::random_device seed;
  mSession = seed();
}

std::size_t StateFragmenter::wholeMessageSize(const std::string& id, std::size_t size) {
  return padded(std::char_traits<char>::length(kStateAddress)) + padded(3) + padded(id.size()) + 4 +
         ((size + 3) & ~std::size_t(3));
}

std::size_t StateFragmenter::payloadSize(const std::string& id, uint16_t packetSize) {
  const std::size_t header = padded(std::char_traits<char>::length(kStateFragmentAddress)) +
                             padded(1 + std::char_traits<char>::length(kStateFragmentTags)) +
                             padded(id.size()) + 8 + 3 * 4 + 4;
  // Receivers refuse fragments under 16 bytes, which would only multiply the datagrams.
  if (packetSize < header + 16) return 0;
  return (packetSize - header) & ~std::size_t(3);  // blobs are padded to four bytes
}

osc::Packet& StateFragmenter::packet(uint16_t packetSize) {
  if (!mPacket || mPacket->capacity() != packetSize) {
    mPacket = std::make_unique<osc::Packet>(packetSize);
  }
  return *mPacket;
}

void StateFragmenter::fill(const std::string& id, const unsigned char* bytes, std::size_t length,
                           std::size_t size, std::size_t fragment, std::size_t count) {
  osc::Packet& p = *mPacket;
  p.clear();
  p.beginMessage(kStateFragmentAddress)
      .add(id)
      .add(mLastNumber)
      .add(static_cast<int32_t>(fragment))
      .add(static_cast<int32_t>(count))
      .add(static_cast<int32_t>(size))
      .addBlob(bytes, length)
      .endMessage();
}

const unsigned char* StateFragmenter::repair(const unsigned char* record, std::size_t size,
                                             std::size_t chunk, uint32_t r) {
  mRepair.assign(chunk, 0);  // keeps its capacity from one record to the next
  unsigned char* out = mRepair.data();
  for (uint32_t t = 0; t < mLayout.coverage(r); ++t) {
    const std::size_t begin = mLayout.covered(r, t) * chunk;
    const std::size_t length = std::min(chunk, size - begin);
    StateRepairLayout::xorInto(out, record + begin, length);
  }
  return out;
}

bool StateFragmenter::send(osc::Send& sender, const std::string& id, const void* record,
                           std::size_t size, uint16_t packetSize) {
  bool sent = true;
  const bool built = build(id, record, size, packetSize, [&](const osc::Packet& p) {
    sent = sender.send(p) == p.size() && sent;
  });
  return built && sent;
}

}  // namespace vl
