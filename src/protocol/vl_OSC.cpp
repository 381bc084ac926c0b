#include "protocol/vl_OSC.hpp"

#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/ip/PacketListener.h>
#include <oscpack/ip/UdpSocket.h>
#include <oscpack/osc/OscOutboundPacketStream.h>
#include <oscpack/osc/OscReceivedElements.h>

#include <cctype>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace vl::osc {

void reportError(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: ", file, line);
  std::fprintf(stderr, "OSC error: %s\n", what);
}

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
    IpEndpointName endpoint(address.c_str(), port);
    // oscpack resolves an unknown host name to 0.0.0.0 instead of failing.
    if (endpoint.address == 0 && address != "0.0.0.0") {
      throw std::runtime_error("unable to resolve address " + address);
    }
    mSocket = std::make_unique<UdpTransmitSocket>(endpoint);
  } catch (const std::runtime_error& e) {
    std::cout << "run time exception at Send::open: " << e.what() << std::endl;
    return false;
  }
  mAddress = address;
  mPort = port;
  return true;
}

std::size_t Send::send() {
  std::size_t sent = 0;
  if (mSocket && ready() && size() > 0) {
    try {
      mSocket->Send(data(), size());
      sent = size();
    } catch (const std::exception& e) {
      VL_OSC_REPORT(e);
    }
  }
  clear();
  return sent;
}

// ---------------------------------------------------------------------------------------------
// Message

namespace {

// oscpack reads a blob's size word without checking that it lies inside the message, and it
// builds but never throws its "arguments exceed message size" error for blobs. The copy is
// padded so that the unchecked read stays inside it, and blobs are checked here.
constexpr std::size_t kReadPadding = 8;

std::vector<char> paddedCopy(const char* data, std::size_t size) {
  std::vector<char> copy(size + kReadPadding, 0);
  if (size > 0) std::memcpy(copy.data(), data, size);
  return copy;
}

void checkBlobs(const ::osc::ReceivedMessage& m, const char* end) {
  if (!m.TypeTags()) return;
  for (auto arg = m.ArgumentsBegin(); arg != m.ArgumentsEnd(); ++arg) {
    if (!arg->IsBlob()) continue;
    const void* blob = nullptr;
    ::osc::osc_bundle_element_size_t size = 0;
    arg->AsBlobUnchecked(blob, size);
    const char* begin = static_cast<const char*>(blob);
    if (begin > end || static_cast<std::size_t>(end - begin) < static_cast<std::size_t>(size)) {
      throw ::osc::MalformedMessageException("arguments exceed message size");
    }
  }
}

}  // namespace

struct Message::View {
  View(const char* data, std::size_t size)
      : message(::osc::ReceivedPacket(data, size)), stream(message.ArgumentStream()) {}
  ::osc::ReceivedMessage message;
  ::osc::ReceivedMessageArgumentStream stream;
};

Message::Message(const char* data, std::size_t size, uint64_t timeTag,
                 const std::string& senderAddress)
    : mData(paddedCopy(data, size)),
      mView(std::make_unique<View>(mData.data(), size)),
      mAddressPattern(mView->message.AddressPattern()),
      // A message without arguments has no type tag string: oscpack gives a null pointer.
      mTypeTags(mView->message.TypeTags()
                    ? std::string(mView->message.TypeTags(), mView->message.ArgumentCount())
                    : std::string()),
      mTimeTag(timeTag),
      mSenderAddress(senderAddress) {
  checkBlobs(mView->message, mData.data() + size);
}

Message::~Message() = default;

template <class F>
Message& Message::read(int line, F&& f) {
  try {
    f();
  } catch (const ::osc::Exception& e) {
    reportError(__FILE__, line, e.what());
  }
  return *this;
}

Message& Message::operator>>(int32_t& value) {
  return read(__LINE__, [&] {
    ::osc::int32 v;
    mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(float& value) {
  return read(__LINE__, [&] {
    float v;
    mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(double& value) {
  return read(__LINE__, [&] {
    double v;
    mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(int64_t& value) {
  return read(__LINE__, [&] {
    ::osc::int64 v;
    mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(char& value) {
  return read(__LINE__, [&] {
    char v;
    mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(std::string& value) {
  return read(__LINE__, [&] {
    const char* v;
    mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(std::vector<unsigned char>& blob) {
  return read(__LINE__, [&] {
    ::osc::Blob v;
    mView->stream >> v;
    auto* bytes = static_cast<const unsigned char*>(v.data);
    blob.assign(bytes, bytes + v.size);
  });
}

void Message::resetStream() {
  mView->stream = mView->message.ArgumentStream();
}

void Message::print() const {
  std::printf("%s, %s %" PRId64 " from %s\n", mAddressPattern.c_str(), mTypeTags.c_str(),
              static_cast<int64_t>(mTimeTag), mSenderAddress.c_str());
  std::printf("\targs = (");
  try {
    auto arg = mView->message.ArgumentsBegin();
    for (std::size_t i = 0; i < mTypeTags.size(); ++i, ++arg) {
      if (i > 0) std::printf(", ");
      switch (mTypeTags[i]) {
        case 'b':
          std::printf("blob");
          break;
        case 'c': {
          char c = arg->AsChar();
          std::printf("'%c' (=%3d)", std::isprint(static_cast<unsigned char>(c)) ? c : ' ', c);
          break;
        }
        case 'd':
          std::printf("%g", arg->AsDouble());
          break;
        case 'f':
          std::printf("%g", arg->AsFloat());
          break;
        case 'h':
          std::printf("%" PRId64, static_cast<int64_t>(arg->AsInt64()));
          break;
        case 'i':
          std::printf("%ld", static_cast<long>(arg->AsInt32()));
          break;
        case 's':
          std::printf("%s", arg->AsString());
          break;
        default:
          std::printf("?");
      }
    }
  } catch (const ::osc::Exception& e) {
    VL_OSC_REPORT(e);
  }
  std::printf(")\n");
}

// ---------------------------------------------------------------------------------------------
// Packet parsing

namespace {

void collect(const ::osc::ReceivedBundle& bundle, const std::string& sender,
             std::vector<std::shared_ptr<Message>>& out, int depth) {
  // Deeply nested bundles would otherwise exhaust the stack on hostile input.
  if (depth > 32) throw ::osc::MalformedBundleException("bundles nested too deeply");
  uint64_t timeTag = bundle.TimeTag();
  for (auto e = bundle.ElementsBegin(); e != bundle.ElementsEnd(); ++e) {
    if (e->IsBundle()) {
      collect(::osc::ReceivedBundle(*e), sender, out, depth + 1);
    } else {
      out.push_back(std::make_shared<Message>(e->Contents(), e->Size(), timeTag, sender));
    }
  }
}

}  // namespace

std::vector<std::shared_ptr<Message>> parsePacket(const char* data, std::size_t size,
                                                  const std::string& senderAddress) {
  std::vector<std::shared_ptr<Message>> messages;
  ::osc::ReceivedPacket packet(data, size);
  if (packet.IsBundle()) {
    collect(::osc::ReceivedBundle(packet), senderAddress, messages, 0);
  } else {
    messages.push_back(std::make_shared<Message>(data, size, 1, senderAddress));
  }
  return messages;
}

// ---------------------------------------------------------------------------------------------
// Recv

class Recv::SocketReceiver : public PacketListener {
 public:
  SocketReceiver(Recv& owner, const std::string& address, uint16_t port)
      : mOwner(owner), mSocket(IpEndpointName(address.c_str(), port), this) {}

  void ProcessPacket(const char* data, int size, const IpEndpointName& remote) override {
    char sender[IpEndpointName::ADDRESS_AND_PORT_STRING_LENGTH];
    remote.AddressAndPortAsString(sender);
    mOwner.processPacket(data, static_cast<std::size_t>(size), sender);
  }

  void run() { mSocket.Run(); }
  void asynchronousBreak() { mSocket.AsynchronousBreak(); }

 private:
  Recv& mOwner;
  UdpListeningReceiveSocket mSocket;
};

Recv::Recv() = default;

Recv::Recv(uint16_t port, const std::string& address) {
  open(port, address);
}

Recv::~Recv() {
  stop();
  closeSocket();
}

void Recv::closeSocket() {
  mSocketReceiver.reset();
}

bool Recv::open(uint16_t port, const std::string& address) {
  stop();
  closeSocket();
  std::string bindAddress = address.empty() ? "localhost" : address;
  try {
    mSocketReceiver = std::make_unique<SocketReceiver>(*this, bindAddress, port);
  } catch (const std::runtime_error& e) {
    std::cout << "run time exception at Recv::open: " << e.what() << std::endl;
    return false;
  }
  mAddress = bindAddress;
  mPort = port;
  return true;
}

void Recv::handler(PacketHandler& h) {
  std::lock_guard<std::mutex> lock(mHandlersLock);
  mHandlers.push_back(&h);
}

bool Recv::start() {
  if (!mSocketReceiver) return false;
  if (mBackground) return true;
  {
    std::lock_guard<std::mutex> lock(mThreadLock);
    mThreadDone = false;
  }
  mBackground = true;
  mThread = std::thread([this] {
    try {
      mSocketReceiver->run();
    } catch (const std::exception& e) {
      VL_OSC_REPORT(e);
    }
    std::lock_guard<std::mutex> lock(mThreadLock);
    mThreadDone = true;
    mThreadEnded.notify_all();
  });
  return true;
}

void Recv::stop() {
  if (!mBackground) return;
  // A break signalled before the thread has entered the socket loop is lost, so it is repeated
  // until the thread reports that the loop has returned.
  std::unique_lock<std::mutex> lock(mThreadLock);
  while (!mThreadDone) {
    mSocketReceiver->asynchronousBreak();
    mThreadEnded.wait_for(lock, std::chrono::milliseconds(2));
  }
  lock.unlock();
  mThread.join();
  mBackground = false;
}

void Recv::processPacket(const char* data, std::size_t size, const std::string& senderAddress) {
  std::vector<std::shared_ptr<Message>> messages;
  try {
    messages = parsePacket(data, size, senderAddress);
  } catch (const std::exception& e) {
    VL_OSC_REPORT(e);
    return;
  }
  std::vector<PacketHandler*> handlers;
  {
    std::lock_guard<std::mutex> lock(mHandlersLock);
    handlers = mHandlers;
  }
  for (PacketHandler* h : handlers) {
    for (auto& m : messages) {
      m->resetStream();
      try {
        h->onMessage(*m);
      } catch (const std::exception& e) {
        // A failing handler must not end the receive loop or starve the other handlers.
        VL_OSC_REPORT(e);
      }
    }
  }
}

}  // namespace vl::osc
