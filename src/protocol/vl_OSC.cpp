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

// oscpack's message parser trusts blob sizes (it builds its "arguments exceed message size"
// error for blobs but never throws it) and then reads the next argument wherever a bogus size
// points. Every message is therefore checked here, fully, before oscpack sees it.
// Returns the length of the zero-terminated, zero-padded string at data + from.
std::size_t paddedLength(const char* data, std::size_t from, std::size_t size, const char* what) {
  const void* nul = std::memchr(data + from, '\0', size - from);
  if (!nul) throw ::osc::MalformedMessageException(what);
  std::size_t length = static_cast<std::size_t>(static_cast<const char*>(nul) - (data + from));
  std::size_t padded = (length + 4) & ~std::size_t(3);
  // oscpack finds a string's end by the last byte of each four, so the padding must be zero
  // for its reading and this check to agree.
  if (padded > size - from) throw ::osc::MalformedMessageException(what);
  for (std::size_t k = length; k < padded; ++k) {
    if (data[from + k] != '\0') throw ::osc::MalformedMessageException("string padding not zero");
  }
  return padded;
}

void checkMessage(const char* data, std::size_t size) {
  if (size == 0 || size % 4 != 0) {
    throw ::osc::MalformedMessageException("message size must be a positive multiple of four");
  }
  std::size_t p = paddedLength(data, 0, size, "unterminated address pattern");
  if (p >= size) return;  // no type tags, no arguments
  if (data[p] != ',') throw ::osc::MalformedMessageException("type tags not present");
  const std::size_t tags = p + 1;
  p += paddedLength(data, p, size, "type tags were not terminated before end of message");
  for (std::size_t t = tags; data[t] != '\0'; ++t) {
    std::size_t need = 0;
    switch (data[t]) {
      case 'T':
      case 'F':
      case 'N':
      case 'I':
      case '[':
      case ']':
        break;
      case 'i':
      case 'f':
      case 'c':
      case 'r':
      case 'm':
        need = 4;
        break;
      case 'h':
      case 't':
      case 'd':
        need = 8;
        break;
      case 's':
      case 'S':
        if (p >= size) throw ::osc::MalformedMessageException("arguments exceed message size");
        need = paddedLength(data, p, size, "unterminated string argument");
        break;
      case 'b': {
        if (size - p < 4) throw ::osc::MalformedMessageException("arguments exceed message size");
        const auto* b = reinterpret_cast<const unsigned char*>(data + p);
        uint64_t blob =
            (uint64_t(b[0]) << 24) | (uint64_t(b[1]) << 16) | (uint64_t(b[2]) << 8) | b[3];
        need = static_cast<std::size_t>(4 + ((blob + 3) & ~uint64_t(3)));
        break;
      }
      default:
        throw ::osc::MalformedMessageException("unknown type tag");
    }
    if (need > size - p) throw ::osc::MalformedMessageException("arguments exceed message size");
    p += need;
  }
}

std::vector<char> checkedCopy(const char* data, std::size_t size) {
  checkMessage(data, size);
  return std::vector<char>(data, data + size);
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
    : mData(checkedCopy(data, size)),
      mView(std::make_unique<View>(mData.data(), size)),
      mAddressPattern(mView->message.AddressPattern()),
      // A message without arguments has no type tag string: oscpack gives a null pointer.
      mTypeTags(mView->message.TypeTags()
                    ? std::string(mView->message.TypeTags(), mView->message.ArgumentCount())
                    : std::string()),
      mTimeTag(timeTag),
      mSenderAddress(senderAddress) {}

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

uint64_t bigEndian(const char* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

bool isBundle(const char* data, std::size_t size) {
  return size >= 8 && std::memcmp(data, "#bundle", 8) == 0;
}

// Bundles are walked here rather than by oscpack, whose bundle reader loops forever on an
// element size of 0xfffffffc (the size plus four wraps to zero).
void collect(const char* data, std::size_t size, const std::string& sender,
             std::vector<std::shared_ptr<Message>>& out, int depth) {
  // Deeply nested bundles would otherwise exhaust the stack on hostile input.
  if (depth > 32) throw ::osc::MalformedBundleException("bundles nested too deeply");
  if (size < 16) throw ::osc::MalformedBundleException("packet too short for bundle");
  if (size % 4 != 0) throw ::osc::MalformedBundleException("bundle size must be multiple of four");
  const uint64_t timeTag = bigEndian(data + 8, 8);
  std::size_t p = 16;
  while (p < size) {
    if (size - p < 4) throw ::osc::MalformedBundleException("packet too short for elementSize");
    const uint64_t elementSize = bigEndian(data + p, 4);
    p += 4;
    if (elementSize == 0 || elementSize % 4 != 0 || elementSize > size - p) {
      throw ::osc::MalformedBundleException("bad bundle element size");
    }
    const char* element = data + p;
    const auto length = static_cast<std::size_t>(elementSize);
    if (isBundle(element, length)) {
      collect(element, length, sender, out, depth + 1);
    } else {
      out.push_back(std::make_shared<Message>(element, length, timeTag, sender));
    }
    p += length;
  }
}

}  // namespace

std::vector<std::shared_ptr<Message>> parsePacket(const char* data, std::size_t size,
                                                  const std::string& senderAddress) {
  std::vector<std::shared_ptr<Message>> messages;
  if (isBundle(data, size)) {
    collect(data, size, senderAddress, messages, 0);
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
  if (mBackground && std::this_thread::get_id() == mThread.get_id()) {
    reportError(__FILE__, __LINE__, "a receiver cannot be reopened from its own handler");
    return false;
  }
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
  if (std::this_thread::get_id() == mThread.get_id()) {
    // A handler cannot wait for its own thread: the loop ends after this packet, and the next
    // stop from another thread (or the destructor) joins it.
    mSocketReceiver->asynchronousBreak();
    return;
  }
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
