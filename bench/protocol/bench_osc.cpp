// OSC from a vl::osc::Send to a running vl::osc::Recv over loopback: messages handled per
// second with at most a window of messages in flight, so that none is lost. "lost" counts
// messages that never arrived (it must stay 0). BM_RecvProcessPacket is the receive path alone,
// from datagram bytes to handled messages, without the socket.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_OSCRecv.hpp"
#include "support/udp_ports.hpp"

namespace {

using benchnet::freeUdpPort;

struct Counter : vl::osc::PacketHandler {
  std::atomic<long> received{0};
  float sum = 0.0f;
  void onMessage(vl::osc::Message& m) override {
    float v = 0.0f;
    m >> v;
    sum += v;
    received.fetch_add(1, std::memory_order_release);
  }
};

void BM_OscLoopback(benchmark::State& state) {
  const long window = state.range(0);
  vl::osc::Recv recv;
  Counter counter;
  recv.handler(counter);
  uint16_t port = 0;
  for (int i = 0; i < 20 && port == 0; ++i) {
    uint16_t candidate = freeUdpPort();
    if (recv.open(candidate, "127.0.0.1")) port = candidate;
  }
  if (port == 0 || !recv.start()) {
    state.SkipWithError("could not open a receiver");
    return;
  }
  vl::osc::Send send(port, "127.0.0.1");
  long sent = 0;
  long lost = 0;
  // Waits until at most `allowed` messages are in flight; a message that takes over 200 ms is
  // counted as lost.
  auto drain = [&](long allowed) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (sent - lost - counter.received.load(std::memory_order_acquire) > allowed) {
      if (std::chrono::steady_clock::now() > deadline) {
        lost = sent - counter.received.load();
        break;
      }
      std::this_thread::yield();
    }
  };
  for (auto _ : state) {
    send.beginMessage("/bench/value").add(0.5f).endMessage();
    send.send();
    ++sent;
    drain(window - 1);
  }
  drain(0);
  recv.stop();
  state.SetItemsProcessed(sent);
  state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_OscLoopback)->Arg(1)->Arg(32)->UseRealTime();

// A bundle of four parameter-like messages, read and handed to one handler.
void BM_RecvProcessPacket(benchmark::State& state) {
  vl::osc::Recv recv;
  Counter counter;
  recv.handler(counter);
  vl::osc::Packet packet;
  packet.beginBundle(1);
  for (int i = 0; i < 4; ++i) {
    packet.beginMessage("/scene/voice/" + std::to_string(i) + "/amplitude").add(0.5f);
    packet.endMessage();
  }
  packet.endBundle();
  for (auto _ : state) recv.processPacket(packet.data(), packet.size(), "127.0.0.1:50000");
  state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_RecvProcessPacket);

}  // namespace
