#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/vl_ComputationDomain.hpp"
#include "core/vl_Console.hpp"
#include "protocol/vl_OSC.hpp"
#include "protocol/vl_ParameterServer.hpp"

namespace vl {

// Runs the application's parameter server. The first instance on a machine gets the
// configured port and the handshake port; later ones take the next free port and hand
// themselves to the first, which then sends them its parameter changes.
class OSCDomain : public AsynchronousDomain {
 public:
  // Forwards every message the server dispatches to the domain's message callback.
  class Handler : public osc::PacketHandler {
   public:
    void onMessage(osc::Message& message) override {
      if (mDomain) mDomain->onMessage(message);
    }
    OSCDomain* mDomain = nullptr;
  };

  OSCDomain() = default;
  ~OSCDomain() override;

  bool init(ComputationDomain* parent = nullptr) override;
  bool start() override;
  bool stop() override;
  bool cleanup(ComputationDomain* parent = nullptr) override;

  ParameterServer& parameterServer() { return mParameterServer; }
  // True once start made this instance the first on the machine.
  bool isPrimary() const { return mPrimary; }

  // Runs on the server's receive thread; set it before start.
  std::function<void(osc::Message&)> onMessage = [](osc::Message& m) {
    print("Received unhandled message.\n");
    m.print();
  };
  std::string interfaceIP = "0.0.0.0";
  uint16_t port = 9010;

 private:
  Handler mHandler;
  bool mHandlerAdded = false;
  bool mPrimary = false;
  ParameterServer mParameterServer;
};

}  // namespace vl
