// One instance of a distributed app with a state record, run by the host-pair test on a host of
// its own. It reports what it became, every change of its gain, and the hash of every record it
// computed (primary) or applied (replica); it takes "gain V" and "quit" on standard input.

#include <cstdint>
#include <iostream>
#include <string>
#include <thread>

#include "app/vl_DistributedAppWithState.hpp"
#include "core/vl_Console.hpp"

namespace {

// As large as the piece's own record.
struct TestState {
  uint64_t frame = 0;
  unsigned char bytes[491776 - sizeof(uint64_t)] = {};
};

uint64_t fnv1a(const void* data, std::size_t size) {
  uint64_t h = 14695981039346656037ull;
  for (std::size_t i = 0; i < size; ++i) {
    h = (h ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ull;
  }
  return h;
}

struct InstanceApp : vl::DistributedAppWithState<TestState> {
  void onInit() override {
    gain.registerChangeCallback([](float v, vl::ValueSource* source) {
      vl::print("gain %g from %s\n", v, source ? "network" : "here");
    });
    vl::print("ready host %s rank %d capabilities %u omni %d\n", hostName().c_str(), rank,
              capabilities, omniRendererDomain() && omniRendererDomain()->omniRendering());
  }

  void onAnimate(double) override {
    TestState& s = state();
    if (isPrimary()) {
      // Every byte changes from frame to frame, so a record mixed of two frames shows.
      ++s.frame;
      uint64_t x = s.frame * 0x9E3779B97F4A7C15ull;
      for (unsigned char& b : s.bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<unsigned char>(x);
      }
      vl::print("computed %llu %016llx\n", static_cast<unsigned long long>(s.frame),
                static_cast<unsigned long long>(fnv1a(&s, sizeof s)));
    } else if (s.frame != mLastFrame) {
      mLastFrame = s.frame;
      vl::print("applied %llu %016llx\n", static_cast<unsigned long long>(s.frame),
                static_cast<unsigned long long>(fnv1a(&s, sizeof s)));
    }
  }

  uint64_t mLastFrame = 0;
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
