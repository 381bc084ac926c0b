// One instance of a program with an OSC domain and one parameter, driven from standard input
// ("set V", "listeners", "quit"), reporting each change of the parameter on standard output.
// The handshake test runs several of them side by side.

#include <iostream>
#include <string>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSCDomain.hpp"
#include "ui/vl_Parameter.hpp"

int main() {
  vl::OSCDomain domain;
  vl::Parameter value{"value", "", 0.0f, "", -1000.0f, 1000.0f};
  value.registerChangeCallback([](float v, vl::ValueSource* source) {
    vl::print("value %g from %s\n", v, source ? "network" : "here");
  });
  domain.parameterServer() << value;
  domain.onMessage = [](vl::osc::Message&) {};
  domain.init();
  const bool started = domain.start();
  vl::print("ready %d %s\n", domain.port,
            !started             ? "without network"
            : domain.isPrimary() ? "primary"
                                 : "replica");
  for (std::string line; std::getline(std::cin, line);) {
    if (line.rfind("set ", 0) == 0) {
      value.set(std::stof(line.substr(4)));
    } else if (line == "listeners") {
      vl::print("listeners %zu\n", domain.parameterServer().listenerCount());
    } else if (line == "quit") {
      break;
    }
  }
  domain.stop();
  domain.cleanup();
  return 0;
}
