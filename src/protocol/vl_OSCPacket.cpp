#include "protocol/vl_OSCPacket.hpp"

#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/ip/UdpSocket.h>
#include <oscpack/osc/OscOutboundPacketStream.h>

#include <stdexcept>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCEndpoint.hpp"

namespace vl::osc {

#define VL_OSC_REPORT(e) reportError(__FILE__, __LINE__, (e).what())

// ---------------------------------------------------------------------------------------------
// Packet

struct Packet::Stream {
  Stream(char* buffer, std::size_t size) : stream(buffer, size) {}
  ::osc::OutboundPacketStream stream;
};

Packet::Packet(std::size_t bufferSize)
    : mBuffer(bufferSize, 0), mStream(std::make_unique<Stream>(mBuffer.data(), mBuffer.size())) {}

Packet::~Packet() = default;

const char* Packet::data() const {
  return mStream->stream.Data();
}
std::size_t Packet::size() const {
  return mStream->stream.Size();
}
std::size_t Packet::capacity() const {
  return mStream->stream.Capacity();
}
bool Packet::ready() const {
  return !mFailed && mStream->stream.IsReady();
}

template <class F>
Packet& Packet::guarded(int line, F&& f) {
  try {
    f();
  } catch (const ::osc::Exception& e) {
    mFailed = true;
    reportError(__FILE__, line, e.what());
  }
  return *this;
}

Packet& Packet::beginMessage(const std::string& address) {
  return guarded(__LINE__, [&] { mStream->stream << ::osc::BeginMessage(address.c_str()); });
}
Packet& Packet::endMessage() {
  return guarded(__LINE__, [&] { mStream->stream << ::osc::EndMessage; });
}
Packet& Packet::beginBundle(uint64_t timeTag) {
  return guarded(__LINE__, [&] { mStream->stream << ::osc::BeginBundle(timeTag); });
}
Packet& Packet::endBundle() {
  return guarded(__LINE__, [&] { mStream->stream << ::osc::EndBundle; });
}
Packet& Packet::add(int32_t value) {
  return guarded(__LINE__, [&] { mStream->stream << static_cast<::osc::int32>(value); });
}
Packet& Packet::add(float value) {
  return guarded(__LINE__, [&] { mStream->stream << value; });
}
Packet& Packet::add(double value) {
  return guarded(__LINE__, [&] { mStream->stream << value; });
}
Packet& Packet::add(int64_t value) {
  return guarded(__LINE__, [&] { mStream->stream << static_cast<::osc::int64>(value); });
}
Packet& Packet::add(char value) {
  return guarded(__LINE__, [&] { mStream->stream << value; });
}
Packet& Packet::add(const char* value) {
  return guarded(__LINE__, [&] { mStream->stream << value; });
}
Packet& Packet::addBlob(const void* data, std::size_t size) {
  return guarded(__LINE__, [&] {
    mStream->stream << ::osc::Blob(data, static_cast<::osc::osc_bundle_element_size_t>(size));
  });
}

Packet& Packet::clear() {
  mStream->stream.Clear();
  mFailed = false;
  return *this;
}

// ---------------------------------------------------------------------------------------------
// Send

Send::Send() : Packet(1024) {}

Send::Send(uint16_t port, const std::string& address, float, std::size_t bufferSize)
    : Packet(bufferSize) {
  open(port, address);
}

Send::~Send() = default;

bool Send::open(uint16_t port, const std::string& address) {
  mSocket.reset();
  try {
    // Without the broadcast flag the kernel refuses to connect to a broadcast address.
    auto socket = std::make_unique<UdpSocket>();
    socket->SetEnableBroadcast(true);
    socket->Connect(resolveEndpoint(address, port));
    mSocket = std::move(socket);
  } catch (const std::runtime_error& e) {
    print("run time exception at Send::open: %s\n", e.what());
    return false;
  }
  mAddress = address;
  mPort = port;
  return true;
}

std::size_t Send::send() {
  const std::size_t sent = send(*this);
  clear();
  return sent;
}

std::size_t Send::send(const Packet& packet) {
  if (!mSocket || !packet.ready() || packet.size() == 0) return 0;
  try {
    mSocket->Send(packet.data(), packet.size());
  } catch (const std::exception& e) {
    VL_OSC_REPORT(e);
    return 0;
  }
  return packet.size();
}

}  // namespace vl::osc
