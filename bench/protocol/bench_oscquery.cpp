// What the OSCQuery server costs: the tree's JSON for a piece-sized set of parameters (each HTTP
// read of the tree builds it), and a change's trip from a parameter set to a WebSocket client
// listening to it, over loopback.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Asio of Boost 1.74 uses std::exchange without including <utility>: it comes after it.
#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include "protocol/vl_OSCQueryServer.hpp"
#include "protocol/vl_OSCQueryTree.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "ui/vl_Parameter.hpp"

namespace {

namespace beast = boost::beast;
namespace net = boost::asio;

std::vector<std::unique_ptr<vl::Parameter>> makeParameters(int n) {
  std::vector<std::unique_ptr<vl::Parameter>> out;
  for (int i = 0; i < n; ++i) {
    out.push_back(std::make_unique<vl::Parameter>(
        "p" + std::to_string(i), "group" + std::to_string(i % 8), 0.5f, "", 0.0f, 1.0f));
  }
  return out;
}

void BM_TreeJson(benchmark::State& state) {
  auto params = makeParameters(int(state.range(0)));
  std::vector<vl::ParameterMeta*> list;
  for (auto& p : params) list.push_back(p.get());
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = vl::oscquery::tree(list).dump();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_TreeJson)->Arg(64)->Arg(512);

void BM_ChangeToListener(benchmark::State& state) {
  auto params = makeParameters(1);
  vl::ParameterServer server;  // no OSC receiver: only the OSCQuery side is timed
  server << *params[0];
  vl::OSCQueryServer query(server);
  vl::OSCQueryServer::Settings settings;
  settings.address = "127.0.0.1";
  settings.announce = false;
  if (!query.start(settings)) {
    state.SkipWithError("cannot listen");
    return;
  }
  net::io_context ioc;
  beast::websocket::stream<net::ip::tcp::socket> ws(ioc);
  net::ip::tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"), query.port());
  ws.next_layer().connect(endpoint);
  ws.handshake("127.0.0.1", "/");
  const std::string address = params[0]->getFullAddress();
  ws.text(true);
  ws.write(net::buffer(R"({"COMMAND":"LISTEN","DATA":")" + address + "\"}"));
  beast::flat_buffer buffer;
  float v = 0.0f;
  // The command is read on the server's thread; a change before that would never come back.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (auto _ : state) {
    v = v > 0.5f ? 0.1f : v + 0.01f;
    params[0]->set(v);
    ws.read(buffer);
    buffer.consume(buffer.size());
  }
  ws.close(beast::websocket::close_code::normal);
  query.stop();
}
BENCHMARK(BM_ChangeToListener)->UseRealTime();

}  // namespace
