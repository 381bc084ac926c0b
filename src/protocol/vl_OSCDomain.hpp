#pragma once

#include <functional>
#include <string>

#include "core/vl_ComputationDomain.hpp"

namespace vl {

namespace osc {
class Message;
}

// Runs the application's OSC endpoint. Until the parameter server is attached it only holds
// its address, port and message handler, so that it already stands first in every app's
// domain list and keeps the real order of start and stop.
class OSCDomain : public AsynchronousDomain {
 public:
  bool init(ComputationDomain* parent = nullptr) override;
  bool start() override { return true; }
  bool stop() override { return true; }

  std::function<void(osc::Message&)> onMessage = [](osc::Message&) {};
  std::string interfaceIP = "0.0.0.0";
  int port = 9010;
};

}  // namespace vl
