#pragma once

// The reading side of the program's Open Sound Control layer over oscpack: validation of
// received bytes, the message view with typed reading, splitting a datagram into its messages,
// and the two interfaces through which the rest of the program receives messages. This is the
// part that faces untrusted input; it needs no socket (vl_OSCPacket.hpp builds and sends,
// vl_OSCRecv.hpp receives).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vl::osc {

// Writes "<file>:<line>: OSC error: <what>" on standard error.
void reportError(const char* file, int line, const char* what);

// One received message. A message handed to a handler by a receiver views the receiver's
// storage and is valid only for the duration of the call: anything that keeps a message must
// copy it (the copy owns its bytes). A message built from bytes owns a copy of them.
// A blob's bytes inside a message, read without copying; valid as long as the message's bytes.
struct BlobView {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

class Message {
 public:
  // Checks and copies one OSC message (not a bundle); throws the library's error (a
  // std::exception) when it is malformed.
  Message(const char* data, std::size_t size, uint64_t timeTag = 1,
          const std::string& senderAddress = "");
  ~Message();
  // The copy owns its bytes and reads from the first argument.
  Message(const Message& other);
  Message& operator=(const Message& other);

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
  Message& operator>>(BlobView& blob);
  void resetStream();

  void print() const;

 private:
  friend class PacketReader;
  Message();
  // Views checked bytes; the strings keep their capacity, so a warm message allocates nothing.
  void view(const char* data, std::size_t size, uint64_t timeTag, std::string_view sender);

  template <class F>
  Message& read(int line, F&& f);

  struct View;               // the library's view of the bytes and its reading position
  std::vector<char> mOwned;  // empty while the message views someone else's bytes
  const char* mData = nullptr;
  std::size_t mSize = 0;
  std::unique_ptr<View> mView;
  std::string mAddressPattern;
  std::string mTypeTags;
  uint64_t mTimeTag = 1;
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

// Splits datagrams into their messages, bundles walked recursively, each message carrying the
// time tag of its innermost bundle (1 at top level). The messages view the datagram's bytes
// until the next read and live in storage kept from one datagram to the next, so that once
// the reader has held its largest packet, reading allocates nothing. One thread at a time.
class PacketReader {
 public:
  PacketReader();
  ~PacketReader();
  PacketReader(const PacketReader&) = delete;
  PacketReader& operator=(const PacketReader&) = delete;

  // Throws the library's error (a std::exception) on malformed input, leaving no messages:
  // a packet is taken whole or not at all.
  void read(const char* data, std::size_t size, std::string_view senderAddress);
  std::size_t size() const { return mCount; }
  Message& operator[](std::size_t i) { return *mMessages[i]; }

 private:
  void collect(const char* data, std::size_t size, std::string_view sender, int depth);
  Message& next();

  std::vector<std::unique_ptr<Message>> mMessages;
  std::size_t mCount = 0;
};

// The messages of a packet as copies that the caller keeps. Throws like PacketReader::read.
std::vector<std::shared_ptr<Message>> parsePacket(const char* data, std::size_t size,
                                                  const std::string& senderAddress);

}  // namespace vl::osc
