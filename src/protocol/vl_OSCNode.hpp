#pragma once

// Something on the network that takes commands: messages that are not values but requests
// (handshakes, listener registration, requests to send state).

#include "core/vl_Console.hpp"
#include "protocol/vl_OSC.hpp"

namespace vl {

class OSCNode {
 public:
  // Passes every message of a receiver to the node's command function, printing it first.
  class CommandHandler : public osc::PacketHandler {
   public:
    explicit CommandHandler(OSCNode& node) : mNode(node) {}
    void onMessage(osc::Message& message) override {
      print("command handler got\n");
      message.print();
      mNode.runCommand(message);
    }

   private:
    OSCNode& mNode;
  };

  virtual ~OSCNode() = default;
  // True when the message was a command the node knows.
  virtual bool runCommand(osc::Message& message) = 0;
};

}  // namespace vl
