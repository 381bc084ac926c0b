#pragma once

// Sends changes to a list of listeners, and finds the first instance on this machine through
// the handshake ports so that it can be told where to send its changes.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "math/vl_Color.hpp"
#include "math/vl_Pose.hpp"
#include "math/vl_Vec.hpp"
#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_OSCRecv.hpp"
#include "ui/vl_ParameterField.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

class OSCNotifier {
 public:
  static constexpr uint16_t kHandshakePort = 16987;
  static constexpr uint16_t kListenerPortBase = 14000;
  static constexpr int kListenerPortCount = 128;
  // Anyone on the network can register a listener, so their number is bounded.
  static constexpr std::size_t kMaxListeners = 256;

  // Callbacks installed on parameters and preset handlers may outlive the notifier: they reach
  // it through a link that is cut, waiting for a call in progress, when the notifier goes.
  class Link {
   public:
    explicit Link(OSCNotifier* target) : mTarget(target) {}
    template <class F>
    void with(F&& f) {
      std::lock_guard<std::mutex> lock(mLock);
      if (mTarget) f(*mTarget);
    }
    void cut() {
      std::lock_guard<std::mutex> lock(mLock);
      mTarget = nullptr;
    }

   private:
    std::mutex mLock;
    OSCNotifier* mTarget;
  };

  OSCNotifier();
  virtual ~OSCNotifier();
  OSCNotifier(const OSCNotifier&) = delete;
  OSCNotifier& operator=(const OSCNotifier&) = delete;

  // A listener already present is not added twice. False (and reported) when the address does
  // not resolve or the list is full.
  virtual bool addListener(std::string address, uint16_t port);
  // Removes the listener at that address (by its resolved form) and port.
  bool removeListener(const std::string& address, uint16_t port);
  void clearListeners();
  std::size_t listenerCount();

  // A message at the address with the value as its arguments, to every listener except the
  // one the source names (same address, and same port unless the source's port is 0).
  void notifyListeners(const std::string& address, float value,
                       const ValueSource* source = nullptr);
  void notifyListeners(const std::string& address, int32_t value,
                       const ValueSource* source = nullptr);
  void notifyListeners(const std::string& address, const std::string& value,
                       const ValueSource* source = nullptr);
  void notifyListeners(const std::string& address, const Pose& value,
                       const ValueSource* source = nullptr);
  void notifyListeners(const std::string& address, const Vec3f& value,
                       const ValueSource* source = nullptr);
  void notifyListeners(const std::string& address, const Vec4f& value,
                       const ValueSource* source = nullptr);
  void notifyListeners(const std::string& address, const std::vector<ParameterField>& values,
                       const ValueSource* source = nullptr);
  // Sends a packet built by the caller to every listener, without exception.
  void sendToListeners(const osc::Packet& packet);

  // For an instance that is not the first on the machine: listens on the first free port from
  // 14000 and announces that port to the first instance with "/handshake". Idempotent.
  bool startListener(std::string address = "0.0.0.0");
  void stopListener();
  // 0 while not listening.
  uint16_t listenerPort();

  // The peers that said hello: (address, listener port).
  std::vector<std::pair<std::string, uint16_t>> handshakePeers();

 protected:
  class HandshakeHandler : public osc::PacketHandler {
   public:
    explicit HandshakeHandler(OSCNotifier& notifier) : mNotifier(notifier) {}
    void onMessage(osc::Message& message) override { mNotifier.onHandshakeMessage(message); }

   private:
    OSCNotifier& mNotifier;
  };

  // Messages arriving at the listener port. Answers "/requestHandshake" by announcing itself
  // again; servers take over the whole command set.
  virtual void onHandshakeMessage(osc::Message& message);
  // Sends "/handshake" with the listener port to 127.0.0.1 at the given port.
  void announce(uint16_t handshakePort);

  // True when the peer was not known yet.
  bool addHandshakePeer(const std::string& address, uint16_t port);
  bool removeHandshakePeer(const std::string& address, uint16_t port);

  const std::shared_ptr<Link>& link() const { return mLink; }
  // Cuts the link: no callback reaches this notifier afterwards. Called by destructors of
  // derived classes before their members go.
  void detach() { mLink->cut(); }

 private:
  struct Listener {
    std::unique_ptr<osc::Send> send;
    std::string resolvedAddress;  // numeric, so that a source can be compared with it
    uint16_t port;
  };
  template <class F>
  void notify(const std::string& address, const ValueSource* source, F&& addArguments);

  std::mutex mListenerLock;
  std::vector<Listener> mListeners;
  osc::Packet mPacket;  // built under mListenerLock
  std::mutex mPeerLock;
  std::vector<std::pair<std::string, uint16_t>> mHandshakePeers;
  std::mutex mReceiverLock;  // starting and stopping the listener receiver
  std::unique_ptr<osc::Recv> mListenerRecv;
  std::atomic<uint16_t> mListenerPort{0};
  HandshakeHandler mHandshakeHandler{*this};
  std::shared_ptr<Link> mLink;
};

}  // namespace vl
