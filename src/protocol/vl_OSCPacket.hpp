#pragma once

// The sending side of the OSC layer: an outgoing packet builder over a fixed-size buffer, and
// a UDP sender that is such a packet with a socket connected to one destination.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class UdpSocket;

namespace vl::osc {

// An outgoing packet: a fixed-size buffer and a builder over it. Builder errors (buffer full,
// message not or already in progress) are reported and leave the packet usable; a packet that
// had such an error since its last clear is not sent.
class Packet {
 public:
  explicit Packet(std::size_t bufferSize = 1024);
  virtual ~Packet();
  Packet(const Packet&) = delete;
  Packet& operator=(const Packet&) = delete;

  Packet& beginMessage(const std::string& address);
  Packet& endMessage();
  // A bundle of the messages added until endBundle; time tag 1 means "immediately".
  Packet& beginBundle(uint64_t timeTag = 1);
  Packet& endBundle();

  Packet& add(int32_t value);
  Packet& add(float value);
  Packet& add(double value);
  Packet& add(int64_t value);
  Packet& add(char value);
  Packet& add(const char* value);
  Packet& add(const std::string& value) { return add(value.c_str()); }
  Packet& addBlob(const void* data, std::size_t size);

  Packet& clear();

  const char* data() const;
  std::size_t size() const;
  std::size_t capacity() const;
  // True when every message and bundle is closed and no builder error happened since clear().
  bool ready() const;

 private:
  template <class F>
  Packet& guarded(int line, F&& f);

  struct Stream;  // the library's builder, kept out of this header
  std::vector<char> mBuffer;
  std::unique_ptr<Stream> mStream;
  bool mFailed = false;
};

// A packet with a UDP socket connected to one destination. Its own buffer serves one thread
// at a time; threads that share a sender build in packets of their own and send(packet).
class Send : public Packet {
 public:
  Send();
  // The timeout has no effect; it is kept for callers that pass one.
  Send(uint16_t port, const std::string& address = "localhost", float timeout = 0.f,
       std::size_t bufferSize = 1024);
  ~Send() override;

  // Connects to (address, port); the address is resolved to IPv4 and may be a broadcast
  // address. False when that fails.
  bool open(uint16_t port, const std::string& address = "localhost");
  bool opened() const { return mSocket != nullptr; }

  // Sends the own packet as one datagram and clears it. Returns the bytes sent: 0 when there
  // is no socket or the packet is incomplete or had a builder error.
  std::size_t send();
  // Sends another packet as one datagram, leaving it and the own packet alone. Calls from
  // several threads at once are safe (while no one reopens the sender).
  std::size_t send(const Packet& packet);

  const std::string& address() const { return mAddress; }
  uint16_t port() const { return mPort; }

 private:
  std::unique_ptr<UdpSocket> mSocket;
  std::string mAddress;
  uint16_t mPort = 0;
};

}  // namespace vl::osc
