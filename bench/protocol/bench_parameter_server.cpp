// The parameter server: dispatch of one message with 10, 100 and 1000 registered parameters
// (the cost must not grow with their number); messages per second through a running server
// over loopback with at most a window in flight ("lost" must stay 0); and one local change
// fanned out to 16 listeners, timed until the last of them has received it.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "support/udp_ports.hpp"
#include "ui/vl_Parameter.hpp"

namespace {

using benchnet::freeUdpPort;

uint16_t listenOnFreePort(vl::ParameterServer& server) {
  for (int i = 0; i < 20; ++i) {
    uint16_t port = freeUdpPort();
    if (server.listen(port, "127.0.0.1")) return port;
  }
  return 0;
}

std::vector<std::unique_ptr<vl::Parameter>> makeParameters(int n) {
  std::vector<std::unique_ptr<vl::Parameter>> ps;
  for (int i = 0; i < n; ++i) {
    ps.push_back(std::make_unique<vl::Parameter>("p" + std::to_string(i), "bench", 0.0f));
  }
  return ps;
}

// One message at the address of a parameter in the middle of the registration order, handed
// to the dispatch as the receive thread hands it.
void BM_Dispatch(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto parameters = makeParameters(n);
  vl::ParameterServer server;
  for (auto& p : parameters) server << *p;
  vl::osc::Packet packet;
  packet.beginMessage("/bench/p" + std::to_string(n / 2)).add(0.5f).endMessage();
  vl::osc::Message message(packet.data(), packet.size(), 1, "127.0.0.1:50000");
  for (auto _ : state) server.onMessage(message);
  if (parameters[static_cast<std::size_t>(n / 2)]->get() != 0.5f) {
    state.SkipWithError("the message did not set its parameter");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Dispatch)->Arg(10)->Arg(100)->Arg(1000);

void BM_ServerLoopback(benchmark::State& state) {
  const long window = state.range(0);
  auto parameters = makeParameters(100);
  vl::ParameterServer server;
  for (auto& p : parameters) server << *p;
  std::atomic<long> received{0};
  parameters[50]->registerChangeCallback(
      [&](float) { received.fetch_add(1, std::memory_order_release); });
  const uint16_t port = listenOnFreePort(server);
  if (port == 0) {
    state.SkipWithError("could not open the server");
    return;
  }
  vl::osc::Send send(port, "127.0.0.1");
  long sent = 0;
  long lost = 0;
  // Waits until at most `allowed` messages are in flight; a message that takes over 200 ms is
  // counted as lost.
  auto drain = [&](long allowed) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (sent - lost - received.load(std::memory_order_acquire) > allowed) {
      if (std::chrono::steady_clock::now() > deadline) {
        lost = sent - received.load();
        break;
      }
      std::this_thread::yield();
    }
  };
  for (auto _ : state) {
    send.beginMessage("/bench/p50").add(static_cast<float>(sent % 7)).endMessage();
    send.send();
    ++sent;
    drain(window - 1);
  }
  drain(0);
  server.stopServer();
  state.SetItemsProcessed(sent);
  state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_ServerLoopback)->Arg(1)->Arg(32)->UseRealTime();

// From the local set until each of the 16 listening sockets holds the change.
void BM_FanOut16(benchmark::State& state) {
  vl::ParameterServer server;
  vl::Parameter level{"level", "bench", 0.0f};
  server << level;
  std::vector<int> sockets;
  for (int i = 0; i < 16; ++i) {
    uint16_t port = 0;
    const int fd = benchnet::bindLoopbackUdp(port);
    server.addListener("127.0.0.1", port);
    sockets.push_back(fd);
  }
  long missing = 0;
  char buffer[256];
  float v = 0.0f;
  for (auto _ : state) {
    level.set(v += 1.0f);
    for (int fd : sockets) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 200) != 1 || recv(fd, buffer, sizeof buffer, 0) <= 0) ++missing;
    }
  }
  for (int fd : sockets) close(fd);
  state.counters["missing"] = static_cast<double>(missing);
}
BENCHMARK(BM_FanOut16)->UseRealTime();

}  // namespace
