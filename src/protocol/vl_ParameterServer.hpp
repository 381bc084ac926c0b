#pragma once

// Exposes registered parameters over OSC: a message at a parameter's address sets it, and
// every change of a registered parameter goes on to the listeners, except back to the listener
// it came from. Messages that set no parameter go on to packet handlers and consumers. The
// server also answers the handshake and command messages through which instances on one
// machine find each other and clients ask for the current values.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCNode.hpp"
#include "protocol/vl_OSCNotifier.hpp"
#include "protocol/vl_OSCRecv.hpp"
#include "protocol/vl_ParameterAddressTable.hpp"
#include "ui/vl_ParameterBundle.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

class ParameterServer : public OSCNotifier, public osc::PacketHandler, public OSCNode {
 public:
  // Not listening until listen() is called.
  ParameterServer();
  // Listens at once on (port, address).
  ParameterServer(std::string oscAddress, uint16_t oscPort = 9010, bool verbose = false);
  // Stops the receivers, then sends "/quit" to every listener.
  ~ParameterServer() override;

  // Replaces the main receiver by one on (port, address). False, reported, when the port
  // cannot be opened. Not from a handler of this server's own dispatch.
  bool listen(uint16_t port, std::string address = "");
  bool isRunning();
  // Stops every receiver; an instance that handed itself to the first one says goodbye.
  void stopServer();
  uint16_t serverPort();
  std::string serverAddress();

  // Not owned: whoever registers keeps the parameter alive while the server lives (the change
  // callback left on the parameter does nothing once the server is gone).
  void registerParameter(ParameterMeta& parameter);
  ParameterServer& operator<<(ParameterMeta& parameter) {
    registerParameter(parameter);
    return *this;
  }
  // Its parameters (and those of its sub-bundles) at their addresses under the bundle's.
  void registerBundle(ParameterBundle& bundle);
  ParameterServer& operator<<(ParameterBundle& bundle) {
    registerBundle(bundle);
    return *this;
  }
  std::vector<ParameterMeta*> parameters();

  // Every message goes to the handlers, in registration order, after the parameters.
  void addPacketHandler(osc::PacketHandler* handler);
  void removePacketHandler(osc::PacketHandler* handler);
  void clearPacketHandlers();
  // Then to the consumers with their root path, until one takes it.
  void addConsumer(osc::MessageConsumer* consumer, std::string rootPath = "");
  void removeConsumer(osc::MessageConsumer* consumer);

  // Every registered parameter's value, or its registration message, to (address, port)
  // through a sender of its own.
  void sendAllParameters(const std::string& address, uint16_t port);
  void sendAllMeta(const std::string& address, uint16_t port);
  // The value of every registered parameter to the notifier's listeners, with no source.
  void notifyAll(OSCNotifier& notifier);

  // For the first instance on the machine: the command receiver on the handshake port, and a
  // request to instances already running to announce themselves.
  bool startHandshakeServer(std::string address = "0.0.0.0");

  void verbose(bool v) { mVerbose = v; }

  // Dispatch of one received message; the receive thread calls it, and so may a test.
  void onMessage(osc::Message& message) override;
  // The handshake and command messages.
  bool runCommand(osc::Message& message) override;

 protected:
  void onHandshakeMessage(osc::Message& message) override { runCommand(message); }

 private:
  bool handleCommand(osc::Message& message);
  // Installs the callback that forwards the parameter's changes to the listeners.
  void forwardChanges(ParameterMeta& parameter, ParameterAddressTable::Kind kind);
  void addBundleParameters(ParameterBundle& bundle, const std::string& prefix);
  void sendGoodbye();

  std::recursive_mutex mServerLock;  // dispatch against registration; a handler may register
  ParameterAddressTable mTable;
  ParameterAddressTable mBundleTable;
  std::vector<ParameterMeta*> mParameters;
  std::vector<ParameterAddressTable::Kind> mKinds;
  std::map<std::string, std::vector<ParameterBundle*>> mBundles;
  std::vector<osc::PacketHandler*> mPacketHandlers;
  std::vector<std::pair<osc::MessageConsumer*, std::string>> mConsumers;

  std::mutex mReceiverLock;  // replacing and stopping the receivers
  std::unique_ptr<osc::Recv> mServer;
  std::unique_ptr<osc::Recv> mCommandServer;
  std::mutex mInfoLock;  // address and port, read by the receive threads
  std::string mAddress;
  uint16_t mPort = 0;
  OSCNode::CommandHandler mCommandHandler{*this};
  bool mVerbose = false;
};

}  // namespace vl
