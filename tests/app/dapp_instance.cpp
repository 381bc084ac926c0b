// One instance of a distributed app, run by the host-pair test on a host of its own. It reports
// what it became and every change of its gain, and takes "gain V" and "quit" on standard input.

#include <iostream>
#include <string>
#include <thread>

#include "app/vl_DistributedApp.hpp"
#include "core/vl_Console.hpp"

namespace {

struct InstanceApp : vl::DistributedApp {
  void onInit() override {
    gain.registerChangeCallback([](float v, vl::ValueSource* source) {
      vl::print("gain %g from %s\n", v, source ? "network" : "here");
    });
    vl::print("ready host %s rank %d capabilities %u omni %d\n", hostName().c_str(), rank,
              capabilities, omniRendererDomain() && omniRendererDomain()->omniRendering());
  }
};

}  // namespace

int main() {
  InstanceApp app;
  std::thread input([&app] {
    for (std::string line; std::getline(std::cin, line);) {
      if (line.rfind("gain ", 0) == 0) {
        app.gain.set(std::stof(line.substr(5)));
      } else if (line == "quit") {
        break;
      }
    }
    app.quit();
  });
  app.start();
  input.join();
  vl::print("done\n");
  return 0;
}
