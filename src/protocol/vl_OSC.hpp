#pragma once

// The program's Open Sound Control layer over oscpack: an outgoing packet builder, a UDP
// sender, a UDP receiver with its own thread, a received-message view with typed reading, and
// the two interfaces through which the rest of the program receives messages.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class UdpTransmitSocket;

namespace vl::osc {

// Writes "<file>:<line>: OSC error: <what>" on standard error.
void reportError(const char* file, int line, const char* what);

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

// A packet with a UDP socket connected to one destination.
class Send : public Packet {
 public:
  Send();
  // The timeout has no effect; it is kept for callers that pass one.
  Send(uint16_t port, const std::string& address = "localhost", float timeout = 0.f,
       std::size_t bufferSize = 1024);
  ~Send() override;

  // Connects to (address, port); the address is resolved to IPv4. False when that fails.
  bool open(uint16_t port, const std::string& address = "localhost");
  bool opened() const { return mSocket != nullptr; }

  // Sends the packet as one datagram and clears it. Returns the bytes sent: 0 when there is no
  // socket or the packet is incomplete or had a builder error.
  std::size_t send();

  const std::string& address() const { return mAddress; }
  uint16_t port() const { return mPort; }

 private:
  std::unique_ptr<UdpTransmitSocket> mSocket;
  std::string mAddress;
  uint16_t mPort = 0;
};

// One received message. It owns a copy of its bytes, so a handler may keep it after the call.
class Message {
 public:
  // Parses one OSC message (not a bundle); throws the library's error (a std::exception)
  // when it is malformed.
  Message(const char* data, std::size_t size, uint64_t timeTag = 1,
          const std::string& senderAddress = "");
  ~Message();
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  const std::string& addressPattern() const { return mAddressPattern; }
  // Type tags without the leading comma; empty for a message without arguments.
  const std::string& typeTags() const { return mTypeTags; }
  uint32_t argumentCount() const { return static_cast<uint32_t>(mTypeTags.size()); }
  uint64_t timeTag() const { return mTimeTag; }
  const std::string& senderAddress() const { return mSenderAddress; }

  // Typed reads in argument order. A missing or mistyped argument is reported and leaves the
  // destination unchanged.
  Message& operator>>(int32_t& value);
  Message& operator>>(float& value);
  Message& operator>>(double& value);
  Message& operator>>(int64_t& value);
  Message& operator>>(char& value);
  Message& operator>>(std::string& value);
  Message& operator>>(std::vector<unsigned char>& blob);
  void resetStream();

  void print() const;

 private:
  template <class F>
  Message& read(int line, F&& f);

  struct View;  // the library's view of mData and its reading position
  std::vector<char> mData;
  std::unique_ptr<View> mView;
  std::string mAddressPattern;
  std::string mTypeTags;
  uint64_t mTimeTag;
  std::string mSenderAddress;
};

class PacketHandler {
 public:
  virtual ~PacketHandler() = default;
  virtual void onMessage(Message& message) = 0;
};

class MessageConsumer {
 public:
  virtual ~MessageConsumer() = default;
  // True when the message was handled.
  virtual bool consumeMessage(Message& message, std::string rootPath) = 0;
};

// Splits a packet into its messages, bundles walked recursively, each message carrying the time
// tag of its innermost bundle (1 at top level). Throws the library's error (a std::exception) on
// malformed input.
std::vector<std::shared_ptr<Message>> parsePacket(const char* data, std::size_t size,
                                                  const std::string& senderAddress);

// A UDP receiver running its own receive thread; handlers run on that thread.
class Recv {
 public:
  class SocketReceiver;

  Recv();
  Recv(uint16_t port, const std::string& address = "");
  virtual ~Recv();
  Recv(const Recv&) = delete;
  Recv& operator=(const Recv&) = delete;

  // Binds to (address, port); an empty address means "localhost". False when binding fails.
  bool open(uint16_t port, const std::string& address = "");
  bool opened() const { return mSocketReceiver != nullptr; }
  // Not owned; handlers must outlive the receiver or be registered before start.
  void handler(PacketHandler& handler);

  bool start();
  void stop();
  bool isRunning() const { return mBackground; }

  const std::string& address() const { return mAddress; }
  uint16_t port() const { return mPort; }

  // Parses one datagram and passes its messages to the handlers. A malformed packet is
  // reported and dropped; it never ends the receive loop.
  void processPacket(const char* data, std::size_t size, const std::string& senderAddress);

 private:
  void closeSocket();

  std::unique_ptr<SocketReceiver> mSocketReceiver;
  std::mutex mHandlersLock;
  std::vector<PacketHandler*> mHandlers;
  std::thread mThread;
  std::mutex mThreadLock;
  std::condition_variable mThreadEnded;
  bool mThreadDone = true;
  std::string mAddress;
  uint16_t mPort = 0;
  bool mBackground = false;
};

}  // namespace vl::osc
