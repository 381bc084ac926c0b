#include "protocol/vl_OSCNotifier.hpp"

#include <algorithm>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSCEndpoint.hpp"

namespace vl {

OSCNotifier::OSCNotifier() : mLink(std::make_shared<Link>(this)) {}

OSCNotifier::~OSCNotifier() {
  detach();
  stopListener();
}

bool OSCNotifier::addListener(std::string address, uint16_t port) {
  std::string resolved;
  try {
    char text[IpEndpointName::ADDRESS_STRING_LENGTH];
    osc::resolveEndpoint(address, port).AddressAsString(text);
    resolved = text;
  } catch (const std::runtime_error&) {
  }
  auto send = std::make_unique<osc::Send>();
  if (resolved.empty() || !send->open(port, address)) {
    printError("ERROR: Could not register listener %s:%d\n", address.c_str(), port);
    return false;
  }
  std::lock_guard<std::mutex> lock(mListenerLock);
  for (const Listener& l : mListeners) {
    if (l.resolvedAddress == resolved && l.port == port) return true;
  }
  if (mListeners.size() >= kMaxListeners) {
    printError("ERROR: Could not register listener %s:%d: too many listeners\n", address.c_str(),
               port);
    return false;
  }
  mListeners.push_back({std::move(send), resolved, port});
  return true;
}

bool OSCNotifier::removeListener(const std::string& address, uint16_t port) {
  std::string resolved = address;
  try {
    char text[IpEndpointName::ADDRESS_STRING_LENGTH];
    osc::resolveEndpoint(address, port).AddressAsString(text);
    resolved = text;
  } catch (const std::runtime_error&) {
  }
  std::lock_guard<std::mutex> lock(mListenerLock);
  return std::erase_if(mListeners, [&](const Listener& l) {
           return l.resolvedAddress == resolved && l.port == port;
         }) > 0;
}

void OSCNotifier::clearListeners() {
  std::lock_guard<std::mutex> lock(mListenerLock);
  mListeners.clear();
}

std::size_t OSCNotifier::listenerCount() {
  std::lock_guard<std::mutex> lock(mListenerLock);
  return mListeners.size();
}

// The message is built once, in a packet of the notifier's own, and sent to each listener.
template <class F>
void OSCNotifier::notify(const std::string& address, const ValueSource* source, F&& addArguments) {
  std::lock_guard<std::mutex> lock(mListenerLock);
  if (mListeners.empty()) return;
  mPacket.clear();
  mPacket.beginMessage(address);
  addArguments(mPacket);
  mPacket.endMessage();
  if (!mPacket.ready()) return;
  for (Listener& l : mListeners) {
    if (source && source->ipAddr == l.resolvedAddress &&
        (source->port == 0 || source->port == l.port)) {
      continue;
    }
    l.send->send(mPacket);
  }
}

void OSCNotifier::notifyListeners(const std::string& address, float value,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) { p.add(value); });
}

void OSCNotifier::notifyListeners(const std::string& address, int32_t value,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) { p.add(value); });
}

void OSCNotifier::notifyListeners(const std::string& address, const std::string& value,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) { p.add(value); });
}

void OSCNotifier::notifyListeners(const std::string& address, const Pose& value,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) {
    for (double c : {value.position[0], value.position[1], value.position[2], value.orientation.w,
                     value.orientation.x, value.orientation.y, value.orientation.z}) {
      p.add(static_cast<float>(c));
    }
  });
}

void OSCNotifier::notifyListeners(const std::string& address, const Vec3f& value,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) {
    for (float c : value.elems) p.add(c);
  });
}

void OSCNotifier::notifyListeners(const std::string& address, const Vec4f& value,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) {
    for (float c : value.elems) p.add(c);
  });
}

void OSCNotifier::notifyListeners(const std::string& address,
                                  const std::vector<ParameterField>& values,
                                  const ValueSource* source) {
  notify(address, source, [&](osc::Packet& p) {
    for (const ParameterField& f : values) {
      switch (f.type()) {
        case ParameterField::FLOAT:
          p.add(f.get<float>());
          break;
        case ParameterField::INT32:
          p.add(f.get<int32_t>());
          break;
        case ParameterField::STRING:
          p.add(f.get<std::string>());
          break;
      }
    }
  });
}

void OSCNotifier::sendToListeners(const osc::Packet& packet) {
  std::lock_guard<std::mutex> lock(mListenerLock);
  for (Listener& l : mListeners) l.send->send(packet);
}

// ---------------------------------------------------------------------------------------------
// Handshake

bool OSCNotifier::startListener(std::string address) {
  std::lock_guard<std::mutex> lock(mReceiverLock);
  if (mListenerRecv) return true;
  for (int i = 0; i < kListenerPortCount; ++i) {
    const auto port = static_cast<uint16_t>(kListenerPortBase + i);
    auto recv = std::make_unique<osc::Recv>();
    if (!recv->open(port, address)) continue;
    recv->handler(mHandshakeHandler);
    recv->start();
    mListenerRecv = std::move(recv);
    mListenerPort = port;
    print(" OSCNotifier listening on %s:%d\n", address.c_str(), port);
    announce(kHandshakePort);
    return true;
  }
  printError("Could not start listener on address %s\n", address.c_str());
  return false;
}

void OSCNotifier::stopListener() {
  std::unique_ptr<osc::Recv> recv;
  {
    std::lock_guard<std::mutex> lock(mReceiverLock);
    recv = std::move(mListenerRecv);
    mListenerPort = 0;
  }
  // Stopped outside the lock: its handler may be waiting for it.
  if (recv) recv->stop();
}

uint16_t OSCNotifier::listenerPort() {
  return mListenerPort.load();
}

void OSCNotifier::announce(uint16_t handshakePort) {
  const uint16_t port = mListenerPort.load();
  if (port == 0) return;
  osc::Send send;
  if (!send.open(handshakePort, "127.0.0.1")) return;
  send.beginMessage("/handshake").add(int32_t(port)).endMessage();
  send.send();
}

void OSCNotifier::onHandshakeMessage(osc::Message& message) {
  if (message.addressPattern() == "/requestHandshake" && message.typeTags() == "i") {
    int32_t port = 0;
    message >> port;
    if (port > 0 && port <= 65535) announce(static_cast<uint16_t>(port));
  }
}

bool OSCNotifier::addHandshakePeer(const std::string& address, uint16_t port) {
  std::lock_guard<std::mutex> lock(mPeerLock);
  for (const auto& p : mHandshakePeers) {
    if (p.first == address && p.second == port) return false;
  }
  if (mHandshakePeers.size() >= kMaxListeners) return false;
  mHandshakePeers.emplace_back(address, port);
  return true;
}

bool OSCNotifier::removeHandshakePeer(const std::string& address, uint16_t port) {
  std::lock_guard<std::mutex> lock(mPeerLock);
  return std::erase_if(mHandshakePeers,
                       [&](const auto& p) { return p.first == address && p.second == port; }) > 0;
}

std::vector<std::pair<std::string, uint16_t>> OSCNotifier::handshakePeers() {
  std::lock_guard<std::mutex> lock(mPeerLock);
  return mHandshakePeers;
}

}  // namespace vl
