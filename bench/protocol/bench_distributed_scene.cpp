// A voice triggered on one distributed scene until the mirrored voice has started on another
// scene over loopback (send, receive thread, consumer, trigger), against one bare OSC message
// from a sender to a running receiver's handler over the same loopback.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "protocol/vl_DistributedScene.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_OSCRecv.hpp"
#include "sound/vl_PositionedVoice.hpp"
#include "support/udp_ports.hpp"
#include "ui/vl_Parameter.hpp"

namespace {

uint16_t openOnFreePort(vl::osc::Recv& r) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    const uint16_t port = benchnet::freeUdpPort();
    if (port != 0 && r.open(port, "127.0.0.1")) return port;
  }
  return 0;
}

std::atomic<long> gTriggerOns{0};

class BenchVoice : public vl::PositionedVoice {
 public:
  BenchVoice() { registerTriggerParameter(amp).registerTriggerParameter(label); }
  void onTriggerOn() override { gTriggerOns.fetch_add(1); }
  vl::Parameter amp{"amp", "", 0.5f, "", 0.0f, 1.0f};
  vl::ParameterString label{"label", "", "voice"};
};

struct Counter : vl::osc::PacketHandler {
  std::atomic<long> received{0};
  void onMessage(vl::osc::Message&) override { received.fetch_add(1); }
};

struct SceneInput : vl::osc::PacketHandler {
  explicit SceneInput(vl::DistributedScene& s) : scene(s) {}
  void onMessage(vl::osc::Message& m) override {
    scene.consumeMessage(m, "");
    consumed.fetch_add(1);
  }
  vl::DistributedScene& scene;
  std::atomic<long> consumed{0};
};

void waitFor(const std::atomic<long>& value, long target) {
  while (value.load() < target) std::this_thread::yield();
}

void BM_OscMessageOneWay(benchmark::State& state) {
  vl::osc::Recv recv;
  Counter counter;
  recv.handler(counter);
  const uint16_t port = openOnFreePort(recv);
  recv.start();
  vl::osc::Send send(port, "127.0.0.1");
  long sent = 0;
  for (auto _ : state) {
    send.beginMessage("/bench/triggerOn").add(int32_t(0)).add(int32_t(1)).endMessage();
    send.send();
    waitFor(counter.received, ++sent);
  }
  recv.stop();
}
BENCHMARK(BM_OscMessageOneWay)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_SceneTriggerOnMirrored(benchmark::State& state) {
  // Bookkeeping in passes run here, between iterations, so that no clock thread competes.
  vl::DistributedScene a("bench", 0, vl::TIME_MASTER_AUDIO);
  vl::DistributedScene b("bench", 0, vl::TIME_MASTER_AUDIO);
  for (auto* scene : {&a, &b}) {
    scene->registerSynthClass<BenchVoice>("", false);
    scene->allocatePolyphony<BenchVoice>(1);
  }
  vl::osc::Recv recv;
  SceneInput input(b);
  recv.handler(input);
  const uint16_t port = openOnFreePort(recv);
  recv.start();
  a.setDestination(port, "127.0.0.1");
  vl::AudioIOData block;
  block.framesPerBuffer(64);
  block.channels(2, true);
  int id = 1;
  long consumed = 0;
  for (auto _ : state) {
    const long before = gTriggerOns.load();
    a.triggerOn(a.getVoice<BenchVoice>(), 0, id++);
    waitFor(gTriggerOns, before + 2);  // the local voice, then its mirror
    state.PauseTiming();
    a.allNotesOff();
    consumed += 2;
    waitFor(input.consumed, consumed);
    a.render(block);
    b.render(block);
    state.ResumeTiming();
  }
  recv.stop();
}
BENCHMARK(BM_SceneTriggerOnMirrored)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The halves of the round trip without the network: the sending scene's trigger (message
// built and sent to a receiver that drops it), and the receiving scene's consumer.
void BM_SceneTriggerOnSendOnly(benchmark::State& state) {
  vl::DistributedScene a("bench", 0, vl::TIME_MASTER_AUDIO);
  a.registerSynthClass<BenchVoice>("", false);
  a.allocatePolyphony<BenchVoice>(1);
  vl::osc::Recv sink;
  Counter dropped;
  sink.handler(dropped);
  a.setDestination(openOnFreePort(sink), "127.0.0.1");
  sink.start();
  vl::AudioIOData block;
  block.framesPerBuffer(64);
  block.channels(2, true);
  int id = 1;
  for (auto _ : state) {
    a.triggerOn(a.getVoice<BenchVoice>(), 0, id++);
    state.PauseTiming();
    a.allNotesOff();
    a.render(block);
    state.ResumeTiming();
  }
  sink.stop();
}
BENCHMARK(BM_SceneTriggerOnSendOnly)->Unit(benchmark::kMicrosecond);

void BM_SceneConsumeTriggerOn(benchmark::State& state) {
  vl::DistributedScene b("bench", 0, vl::TIME_MASTER_AUDIO);
  b.registerSynthClass<BenchVoice>("", false);
  b.allocatePolyphony<BenchVoice>(1);
  vl::osc::Packet p;
  p.beginMessage("/bench/triggerOn").add(int32_t(0)).add(int32_t(5));
  p.add(vl::SynthRegistry::nameOf<BenchVoice>()).add(0.25f).add("x");
  for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f}) p.add(v);
  p.endMessage();
  vl::osc::Message m(p.data(), p.size());
  vl::AudioIOData block;
  block.framesPerBuffer(64);
  block.channels(2, true);
  for (auto _ : state) {
    b.consumeMessage(m, "");
    state.PauseTiming();
    b.allNotesOff();
    b.render(block);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SceneConsumeTriggerOn)->Unit(benchmark::kMicrosecond);

}  // namespace
