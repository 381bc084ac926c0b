#include "protocol/vl_OSCDomain.hpp"

#include "core/vl_Console.hpp"

namespace vl {

OSCDomain::~OSCDomain() {
  mParameterServer.stopServer();
  mParameterServer.removePacketHandler(&mHandler);
}

bool OSCDomain::init(ComputationDomain* parent) {
  mHandler.mDomain = this;
  if (!mHandlerAdded) {
    mParameterServer.addPacketHandler(&mHandler);
    mHandlerAdded = true;
  }
  return ComputationDomain::init(parent);
}

bool OSCDomain::start() {
  if (mParameterServer.isRunning()) return true;
  if (mParameterServer.listen(port, interfaceIP)) {
    mPrimary = true;
    mParameterServer.startHandshakeServer("0.0.0.0");
    return true;
  }
  // Offset 0 tries the configured port once more: another instance may just have left it.
  for (int offset = 0; offset < 100; ++offset) {
    if (port + offset > 65535) break;
    if (mParameterServer.listen(static_cast<uint16_t>(port + offset), interfaceIP)) {
      port = static_cast<uint16_t>(port + offset);
      mParameterServer.startListener(interfaceIP);
      print("Application is replica on port: %d\n", mParameterServer.serverPort());
      return true;
    }
  }
  port = 0;
  printError("Warning: Application could not start network role.\n");
  return false;
}

bool OSCDomain::stop() {
  mParameterServer.stopServer();
  mPrimary = false;
  return true;
}

// Only the domain's own handler goes: others were registered by their owners.
bool OSCDomain::cleanup(ComputationDomain* parent) {
  mParameterServer.removePacketHandler(&mHandler);
  mHandlerAdded = false;
  ComputationDomain::cleanup(parent);
  return true;
}

}  // namespace vl
