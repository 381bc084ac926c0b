#include "protocol/vl_ParameterServer.hpp"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

namespace {

// The server whose dispatch runs on this thread, so that it does not replace its own receiver.
thread_local ParameterServer* tDispatching = nullptr;

// "127.0.0.1:51025" as the sender's address and port.
ValueSource sourceOf(const std::string& sender) {
  ValueSource source;
  const std::size_t colon = sender.rfind(':');
  source.ipAddr = sender.substr(0, colon);
  if (colon != std::string::npos) {
    unsigned port = 0;
    std::from_chars(sender.data() + colon + 1, sender.data() + sender.size(), port);
    source.port = port <= 65535 ? static_cast<uint16_t>(port) : 0;
  }
  return source;
}

bool validPort(int32_t port, const char* command) {
  if (port > 0 && port <= 65535) return true;
  printError("ERROR: Port %d out of range in %s\n", static_cast<int>(port), command);
  return false;
}

// Addresses that arrive in commands are used as given only when numeric: resolving a name on
// the receive thread could stall it for as long as the name service takes.
bool validAddress(const std::string& address, const char* command) {
  in_addr a;
  if (address == "localhost" || inet_pton(AF_INET, address.c_str(), &a) == 1) return true;
  printError("ERROR: Refusing address \"%s\" in %s\n", address.c_str(), command);
  return false;
}

// The (address, port) arguments of a command with tags "si".
bool readAddressAndPort(osc::Message& m, const char* command, std::string& address,
                        uint16_t& port) {
  if (m.typeTags() != "si") return false;
  int32_t p = 0;
  m >> address >> p;
  if (!validPort(p, command) || !validAddress(address, command)) return false;
  port = static_cast<uint16_t>(p);
  return true;
}

}  // namespace

ParameterServer::ParameterServer() = default;

ParameterServer::ParameterServer(std::string oscAddress, uint16_t oscPort, bool verbose)
    : mVerbose(verbose) {
  listen(oscPort, std::move(oscAddress));
}

ParameterServer::~ParameterServer() {
  stopServer();
  detach();
  osc::Packet quit(64);
  quit.beginMessage("/quit").add(0.0f).endMessage();
  sendToListeners(quit);
}

// ---------------------------------------------------------------------------------------------
// Receivers

bool ParameterServer::listen(uint16_t port, std::string address) {
  if (tDispatching == this) {
    printError("ERROR: ParameterServer cannot replace its receiver from its own dispatch\n");
    return false;
  }
  // The old receiver is joined outside the lock: its dispatch may be asking for the port.
  std::unique_ptr<osc::Recv> old;
  {
    std::lock_guard<std::mutex> lock(mReceiverLock);
    old = std::move(mServer);
  }
  old.reset();
  {
    std::lock_guard<std::mutex> info(mInfoLock);
    mAddress = address;
    mPort = 0;
  }
  std::lock_guard<std::mutex> lock(mReceiverLock);
  auto recv = std::make_unique<osc::Recv>();
  if (!recv->open(port, address)) {
    print("Error starting OSC server on port %d\n", port);
    return false;
  }
  recv->handler(*this);
  recv->start();
  mServer = std::move(recv);
  std::lock_guard<std::mutex> info(mInfoLock);
  mPort = port;
  return true;
}

bool ParameterServer::isRunning() {
  std::lock_guard<std::mutex> lock(mReceiverLock);
  return mServer && mServer->isRunning();
}

void ParameterServer::stopServer() {
  const bool handedOver = listenerPort() != 0;
  if (handedOver) sendGoodbye();
  stopListener();
  std::unique_ptr<osc::Recv> server, command;
  {
    std::lock_guard<std::mutex> lock(mReceiverLock);
    server = std::move(mServer);
    command = std::move(mCommandServer);
  }
  if (tDispatching == this) {
    // A handler of this server's dispatch cannot wait for its own thread: the receivers end
    // after this message and are joined when they go.
    if (server) server->stop();
    if (command) command->stop();
    std::lock_guard<std::mutex> lock(mReceiverLock);
    if (!mServer) mServer = std::move(server);
    if (!mCommandServer) mCommandServer = std::move(command);
    return;
  }
  server.reset();
  command.reset();
}

uint16_t ParameterServer::serverPort() {
  std::lock_guard<std::mutex> info(mInfoLock);
  return mPort;
}

std::string ParameterServer::serverAddress() {
  std::lock_guard<std::mutex> info(mInfoLock);
  return mAddress;
}

// The first instance learns of this one through both of its ports: the handshake names the
// listener port, the listener registration the server's.
void ParameterServer::sendGoodbye() {
  osc::Send send;
  if (!send.open(kHandshakePort, "127.0.0.1")) return;
  for (uint16_t port : {listenerPort(), serverPort()}) {
    if (port == 0) continue;
    send.beginMessage("/goodbye").add("127.0.0.1").add(int32_t(port)).endMessage();
    send.send();
  }
}

bool ParameterServer::startHandshakeServer(std::string address) {
  {
    std::lock_guard<std::mutex> lock(mReceiverLock);
    if (mCommandServer) mCommandServer->stop();
    auto recv = std::make_unique<osc::Recv>();
    if (!recv->open(kHandshakePort, address)) {
      print("failed to start handshake server\n");
      return false;
    }
    recv->handler(mCommandHandler);
    recv->start();
    mCommandServer = std::move(recv);
  }
  print("Handshake server running on %s:%d\n", address.c_str(), kHandshakePort);
  osc::Packet request(64);
  request.beginMessage("/requestHandshake").add(int32_t(kHandshakePort)).endMessage();
  for (int i = 0; i < 100; ++i) {
    osc::Send send;
    if (send.open(static_cast<uint16_t>(kListenerPortBase + i), "127.0.0.1")) send.send(request);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Registration

void ParameterServer::registerParameter(ParameterMeta& parameter) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  // A second registration would apply each message and announce each change twice.
  if (std::find(mParameters.begin(), mParameters.end(), &parameter) != mParameters.end()) return;
  const ParameterAddressTable::Kind kind = mTable.add(parameter);
  mParameters.push_back(&parameter);
  mKinds.push_back(kind);
  if (kind == ParameterAddressTable::Kind::UNSUPPORTED) {
    print("Unsupported Parameter type for server on registration\n");
    return;
  }
  forwardChanges(parameter, kind);
}

void ParameterServer::forwardChanges(ParameterMeta& parameter, ParameterAddressTable::Kind kind) {
  using Kind = ParameterAddressTable::Kind;
  std::shared_ptr<Link> link = this->link();
  const std::string address = parameter.getFullAddress();
  auto forward = [&]<class P>(P* p) {
    using T = decltype(p->get());
    p->registerChangeCallback([link, address](T value, ValueSource* source) {
      link->with([&](OSCNotifier& n) {
        if constexpr (std::is_same_v<T, bool>) {
          if (value) n.notifyListeners(address, 1.0f, source);
        } else if constexpr (std::is_same_v<T, uint16_t>) {
          n.notifyListeners(address, int32_t(value), source);
        } else if constexpr (std::is_same_v<T, Color>) {
          n.notifyListeners(address, Vec4f(value.r, value.g, value.b, value.a), source);
        } else {
          n.notifyListeners(address, value, source);
        }
      });
    });
  };
  switch (kind) {
    case Kind::FLOAT:
      forward(static_cast<Parameter*>(&parameter));
      break;
    case Kind::INT:
      forward(static_cast<ParameterInt*>(&parameter));
      break;
    case Kind::MENU:
      forward(static_cast<ParameterMenu*>(&parameter));
      break;
    case Kind::CHOICE:
      forward(static_cast<ParameterChoice*>(&parameter));
      break;
    case Kind::STRING:
      forward(static_cast<ParameterString*>(&parameter));
      break;
    case Kind::VEC3:
      forward(static_cast<ParameterVec3*>(&parameter));
      break;
    case Kind::VEC4:
      forward(static_cast<ParameterVec4*>(&parameter));
      break;
    case Kind::COLOR:
      forward(static_cast<ParameterColor*>(&parameter));
      break;
    case Kind::POSE:
      forward(static_cast<ParameterPose*>(&parameter));
      break;
    case Kind::TRIGGER:
      forward(static_cast<Trigger*>(&parameter));
      break;
    default:
      break;
  }
}

void ParameterServer::registerBundle(ParameterBundle& bundle) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  mBundles[bundle.name()].push_back(&bundle);
  addBundleParameters(bundle, "");
  std::shared_ptr<Link> link = this->link();
  bundle.registerChangeCallback([link](ParameterMeta&, const std::string& address,
                                       const std::vector<ParameterField>& value,
                                       ValueSource* source) {
    if (value.empty()) return;  // a trigger: its state is not in the fields
    link->with([&](OSCNotifier& n) { n.notifyListeners(address, value, source); });
  });
}

void ParameterServer::addBundleParameters(ParameterBundle& bundle, const std::string& prefix) {
  const std::string address = prefix + bundle.bundleAddress();
  for (ParameterMeta* p : bundle.parameters()) mBundleTable.add(*p, address);
  for (auto& [name, subBundles] : bundle.bundles()) {
    for (ParameterBundle* sub : subBundles) addBundleParameters(*sub, address);
  }
}

std::vector<ParameterMeta*> ParameterServer::parameters() {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  return mParameters;
}

void ParameterServer::addPacketHandler(osc::PacketHandler* handler) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  mPacketHandlers.push_back(handler);
}

void ParameterServer::removePacketHandler(osc::PacketHandler* handler) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  std::erase(mPacketHandlers, handler);
}

void ParameterServer::clearPacketHandlers() {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  mPacketHandlers.clear();
}

void ParameterServer::addConsumer(osc::MessageConsumer* consumer, std::string rootPath) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  mConsumers.emplace_back(consumer, std::move(rootPath));
}

void ParameterServer::removeConsumer(osc::MessageConsumer* consumer) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  std::erase_if(mConsumers, [&](const auto& c) { return c.first == consumer; });
}

// ---------------------------------------------------------------------------------------------
// Dispatch

void ParameterServer::onMessage(osc::Message& m) {
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  ParameterServer* outer = tDispatching;
  tDispatching = this;
  m.resetStream();
  if (mVerbose) m.print();
  ValueSource source = sourceOf(m.senderAddress());
  mTable.apply(m, &source);
  if (!mBundleTable.empty()) mBundleTable.apply(m, &source);
  m.resetStream();
  handleCommand(m);
  // Indexed: a handler may add or remove handlers and consumers.
  for (std::size_t i = 0; i < mPacketHandlers.size(); ++i) {
    m.resetStream();
    try {
      mPacketHandlers[i]->onMessage(m);
    } catch (const std::exception& e) {
      osc::reportError(__FILE__, __LINE__, e.what());
    }
  }
  for (std::size_t i = 0; i < mConsumers.size(); ++i) {
    m.resetStream();
    try {
      if (mConsumers[i].first->consumeMessage(m, mConsumers[i].second)) break;
    } catch (const std::exception& e) {
      osc::reportError(__FILE__, __LINE__, e.what());
    }
  }
  tDispatching = outer;
}

bool ParameterServer::runCommand(osc::Message& m) {
  m.resetStream();
  if (handleCommand(m)) return true;
  print("Running parameter server command\n");
  print("Unhandled command\n");
  m.print();
  return false;
}

bool ParameterServer::handleCommand(osc::Message& m) {
  const std::string& address = m.addressPattern();
  const std::string& tags = m.typeTags();
  static const char* const kCommands[] = {
      "/handshake", "/requestHandshake",  "/requestListenerInfo", "/registerListener",
      "/goodbye",   "/sendAllParameters", "/sendParametersMeta"};
  if (std::none_of(std::begin(kCommands), std::end(kCommands),
                   [&](const char* c) { return address == c; })) {
    return false;
  }
  const ValueSource sender = sourceOf(m.senderAddress());
  if (address == "/handshake") {
    int32_t port = 0;
    if (tags != "i") return true;
    m >> port;
    if (!validPort(port, "/handshake")) return true;
    if (!addHandshakePeer(sender.ipAddr, static_cast<uint16_t>(port))) {
      print("Received unnecessary handshake from %s\n", m.senderAddress().c_str());
      return true;
    }
    print("ParameterServer handshake from %s\n", m.senderAddress().c_str());
    std::string own = serverAddress();
    if (own.empty() || own == "0.0.0.0") own = "127.0.0.1";
    osc::Send send;
    if (send.open(static_cast<uint16_t>(port), sender.ipAddr)) {
      send.beginMessage("/requestListenerInfo").add(own).add(int32_t(serverPort())).endMessage();
      send.send();
    }
  } else if (address == "/requestHandshake") {
    int32_t port = 0;
    if (tags != "i") return true;
    m >> port;
    if (validPort(port, "/requestHandshake")) announce(static_cast<uint16_t>(port));
  } else if (address == "/requestListenerInfo") {
    std::string to;
    uint16_t port = 0;
    if (tags != "si") {
      printError("ERROR: Unexpected typetags for /requestListenerInfo\n");
      return true;
    }
    if (!readAddressAndPort(m, "/requestListenerInfo", to, port)) return true;
    print("Sending listener info to: %s:%d\n", to.c_str(), port);
    std::string own = serverAddress();
    if (own.empty() || own == "0.0.0.0") own = "127.0.0.1";
    osc::Send send;
    if (send.open(port, to)) {
      send.beginMessage("/registerListener").add(own).add(int32_t(serverPort())).endMessage();
      send.send();
    }
  } else if (address == "/registerListener") {
    std::string listener;
    uint16_t port = 0;
    if (!readAddressAndPort(m, "/registerListener", listener, port)) return true;
    if (addListener(listener, port)) {
      print("Registered listener %s:%d\n", listener.c_str(), port);
    }
  } else if (address == "/goodbye") {
    std::string peer;
    uint16_t port = 0;
    if (!readAddressAndPort(m, "/goodbye", peer, port)) return true;
    // A peer that leaves is forgotten as a handshake peer and as a listener, so that it is no
    // longer sent to and a new instance on its ports is welcomed again.
    removeHandshakePeer(peer, port);
    removeListener(peer, port);
    print("Parameter server said goodbye %s:%d\n", peer.c_str(), port);
  } else if (address == "/sendAllParameters") {
    std::string to = sender.ipAddr;
    int32_t port = 0;
    if (tags == "si") {
      m >> to >> port;
      if (to == "0.0.0.0") to = sender.ipAddr;
    } else if (tags == "i") {
      m >> port;
    } else {
      return true;
    }
    print("/sendAllParameters\n");
    if (validPort(port, "/sendAllParameters") && validAddress(to, "/sendAllParameters")) {
      sendAllParameters(to, static_cast<uint16_t>(port));
    }
  } else if (address == "/sendParametersMeta") {
    if (tags != "si") return true;
    std::string ignored;
    int32_t port = 0;
    m >> ignored >> port;
    print("/sendParametersMeta\n");
    if (validPort(port, "/sendParametersMeta")) {
      sendAllMeta(sender.ipAddr, static_cast<uint16_t>(port));
    }
  } else {
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Sending the state

void ParameterServer::sendAllParameters(const std::string& address, uint16_t port) {
  osc::Send send;
  if (!send.open(port, address)) return;
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  for (ParameterMeta* p : mParameters) p->sendValue(send);
  for (auto& [name, bundles] : mBundles) {
    for (ParameterBundle* b : bundles) {
      for (ParameterMeta* p : b->parameters()) p->sendValue(send, b->bundleAddress());
    }
  }
}

void ParameterServer::sendAllMeta(const std::string& address, uint16_t port) {
  osc::Send send;
  if (!send.open(port, address)) return;
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  for (ParameterMeta* p : mParameters) p->sendMeta(send);
  for (auto& [name, bundles] : mBundles) {
    for (ParameterBundle* b : bundles) {
      for (ParameterMeta* p : b->parameters()) {
        p->sendMeta(send, b->name(), std::to_string(b->bundleIndex()));
      }
    }
  }
}

void ParameterServer::notifyAll(OSCNotifier& n) {
  using Kind = ParameterAddressTable::Kind;
  std::lock_guard<std::recursive_mutex> lock(mServerLock);
  for (std::size_t i = 0; i < mParameters.size(); ++i) {
    ParameterMeta* p = mParameters[i];
    const std::string& a = p->getFullAddress();
    switch (mKinds[i]) {
      case Kind::FLOAT:
        n.notifyListeners(a, static_cast<Parameter*>(p)->get());
        break;
      case Kind::INT:
        n.notifyListeners(a, static_cast<ParameterInt*>(p)->get());
        break;
      case Kind::MENU:
        n.notifyListeners(a, static_cast<ParameterMenu*>(p)->get());
        break;
      case Kind::CHOICE:
        n.notifyListeners(a, int32_t(static_cast<ParameterChoice*>(p)->get()));
        break;
      case Kind::STRING:
        n.notifyListeners(a, static_cast<ParameterString*>(p)->get());
        break;
      case Kind::VEC3:
        n.notifyListeners(a, static_cast<ParameterVec3*>(p)->get());
        break;
      case Kind::VEC4:
        n.notifyListeners(a, static_cast<ParameterVec4*>(p)->get());
        break;
      case Kind::COLOR: {
        const Color c = static_cast<ParameterColor*>(p)->get();
        n.notifyListeners(a, Vec4f(c.r, c.g, c.b, c.a));
        break;
      }
      case Kind::POSE:
        n.notifyListeners(a, static_cast<ParameterPose*>(p)->get());
        break;
      default:
        break;  // a trigger has no state to announce
    }
  }
}

}  // namespace vl
