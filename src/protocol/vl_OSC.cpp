#include "protocol/vl_OSC.hpp"

#include <oscpack/osc/OscReceivedElements.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/vl_Console.hpp"

namespace vl::osc {

void reportError(const char* file, int line, const char* what) {
  printError("%s:%d: OSC error: %s\n", file, line, what);
}

#define VL_OSC_REPORT(e) reportError(__FILE__, __LINE__, (e).what())

// ---------------------------------------------------------------------------------------------
// Validation

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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Message

// Both parts are built in place, so that pointing a message at new bytes allocates nothing.
struct Message::View {
  std::optional<::osc::ReceivedMessage> message;
  std::optional<::osc::ReceivedMessageArgumentStream> stream;
};

Message::Message() : mView(std::make_unique<View>()) {}

Message::Message(const char* data, std::size_t size, uint64_t timeTag,
                 const std::string& senderAddress)
    : Message() {
  checkMessage(data, size);
  mOwned.assign(data, data + size);
  view(mOwned.data(), size, timeTag, senderAddress);
}

Message::Message(const Message& other) : Message() {
  *this = other;
}

Message& Message::operator=(const Message& other) {
  if (this != &other) {
    mOwned.assign(other.mData, other.mData + other.mSize);
    view(mOwned.data(), other.mSize, other.mTimeTag, other.mSenderAddress);
  }
  return *this;
}

Message::~Message() = default;

void Message::view(const char* data, std::size_t size, uint64_t timeTag, std::string_view sender) {
  mData = data;
  mSize = size;
  mView->message.emplace(
      ::osc::ReceivedPacket(data, static_cast<::osc::osc_bundle_element_size_t>(size)));
  mView->stream.emplace(mView->message->ArgumentStream());
  mAddressPattern.assign(mView->message->AddressPattern());
  // A message without arguments has no type tag string: oscpack gives a null pointer.
  if (const char* tags = mView->message->TypeTags()) {
    mTypeTags.assign(tags, mView->message->ArgumentCount());
  } else {
    mTypeTags.clear();
  }
  mTimeTag = timeTag;
  mSenderAddress.assign(sender);
}

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
    *mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(float& value) {
  return read(__LINE__, [&] {
    float v;
    *mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(double& value) {
  return read(__LINE__, [&] {
    double v;
    *mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(int64_t& value) {
  return read(__LINE__, [&] {
    ::osc::int64 v;
    *mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(char& value) {
  return read(__LINE__, [&] {
    char v;
    *mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(std::string& value) {
  return read(__LINE__, [&] {
    const char* v;
    *mView->stream >> v;
    value = v;
  });
}
Message& Message::operator>>(std::vector<unsigned char>& blob) {
  return read(__LINE__, [&] {
    ::osc::Blob v;
    *mView->stream >> v;
    auto* bytes = static_cast<const unsigned char*>(v.data);
    blob.assign(bytes, bytes + v.size);
  });
}

Message& Message::operator>>(BlobView& blob) {
  return read(__LINE__, [&] {
    ::osc::Blob v;
    *mView->stream >> v;
    blob.data = static_cast<const unsigned char*>(v.data);
    blob.size = v.size;
  });
}

void Message::resetStream() {
  mView->stream.emplace(mView->message->ArgumentStream());
}

// Each line is assembled first and written whole.
void Message::print() const {
  vl::print("%s, %s %" PRId64 " from %s\n", mAddressPattern.c_str(), mTypeTags.c_str(),
            static_cast<int64_t>(mTimeTag), mSenderAddress.c_str());
  std::string line = "\targs = (";
  char item[64];
  try {
    auto arg = mView->message->ArgumentsBegin();
    for (std::size_t i = 0; i < mTypeTags.size(); ++i, ++arg) {
      if (i > 0) line += ", ";
      switch (mTypeTags[i]) {
        case 'b':
          line += "blob";
          continue;
        case 'c': {
          char c = arg->AsChar();
          std::snprintf(item, sizeof item, "'%c' (=%3d)",
                        std::isprint(static_cast<unsigned char>(c)) ? c : ' ', c);
          break;
        }
        case 'd':
          std::snprintf(item, sizeof item, "%g", arg->AsDouble());
          break;
        case 'f':
          std::snprintf(item, sizeof item, "%g", arg->AsFloat());
          break;
        case 'h':
          std::snprintf(item, sizeof item, "%" PRId64, static_cast<int64_t>(arg->AsInt64()));
          break;
        case 'i':
          std::snprintf(item, sizeof item, "%ld", static_cast<long>(arg->AsInt32()));
          break;
        case 's':
          line += arg->AsString();
          continue;
        default:
          line += "?";
          continue;
      }
      line += item;
    }
  } catch (const ::osc::Exception& e) {
    VL_OSC_REPORT(e);
  }
  line += ")\n";
  vl::print("%s", line.c_str());
}

// ---------------------------------------------------------------------------------------------
// PacketReader

namespace {

uint64_t bigEndian(const char* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

bool isBundle(const char* data, std::size_t size) {
  return size >= 8 && std::memcmp(data, "#bundle", 8) == 0;
}

}  // namespace

PacketReader::PacketReader() = default;
PacketReader::~PacketReader() = default;

Message& PacketReader::next() {
  if (mCount == mMessages.size()) mMessages.push_back(std::unique_ptr<Message>(new Message()));
  return *mMessages[mCount++];
}

void PacketReader::read(const char* data, std::size_t size, std::string_view senderAddress) {
  mCount = 0;
  try {
    if (isBundle(data, size)) {
      collect(data, size, senderAddress, 0);
    } else {
      checkMessage(data, size);
      next().view(data, size, 1, senderAddress);
    }
  } catch (...) {
    mCount = 0;
    throw;
  }
}

// Bundles are walked here rather than by oscpack, whose bundle reader loops forever on an
// element size of 0xfffffffc (the size plus four wraps to zero).
void PacketReader::collect(const char* data, std::size_t size, std::string_view sender, int depth) {
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
      collect(element, length, sender, depth + 1);
    } else {
      checkMessage(element, length);
      next().view(element, length, timeTag, sender);
    }
    p += length;
  }
}

std::vector<std::shared_ptr<Message>> parsePacket(const char* data, std::size_t size,
                                                  const std::string& senderAddress) {
  PacketReader reader;
  reader.read(data, size, senderAddress);
  std::vector<std::shared_ptr<Message>> messages;
  for (std::size_t i = 0; i < reader.size(); ++i) {
    messages.push_back(std::make_shared<Message>(reader[i]));
  }
  return messages;
}

}  // namespace vl::osc
