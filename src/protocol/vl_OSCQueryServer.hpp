#pragma once

// Publishes a parameter server's parameters by OSCQuery: the tree as JSON over HTTP, changes of
// the paths a client listens to over a WebSocket on the same port, values set by that client
// through the parameter server's own dispatch. The same port serves a folder of static files
// (a control page) and a state record that the program fills in, pushed to the clients that
// ask for it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vl {

class ParameterServer;

class OSCQueryServer {
 public:
  // Beside a parameter server on port p, the OSCQuery server takes p + kPortOffset.
  static constexpr uint16_t kPortOffset = 100;

  struct Settings {
    std::string address;  // empty: where the parameter server listens
    uint16_t port = 0;    // 0: the parameter server's port + kPortOffset
    std::string name = "ZENTHA";
    // When not empty, a WebSocket client must give it ("?token=" on the connection) to set
    // values; reading stays open.
    std::string token;
    std::string pageRoot;  // served under "/_page/"; nothing when empty
    bool announce = true;  // over mDNS as "_oscjson._tcp"
  };

  // The parameter server must outlive this one.
  explicit OSCQueryServer(ParameterServer& server);
  ~OSCQueryServer();
  OSCQueryServer(const OSCQueryServer&) = delete;
  OSCQueryServer& operator=(const OSCQueryServer&) = delete;

  // Binds and starts the server's thread. False, reported, when the port cannot be opened.
  // Idempotent while running. Start and stop are safe from any thread but the server's own
  // (a handler of a message set through it), which they would have to join.
  bool start(const Settings& settings);
  bool start() { return start(Settings{}); }
  void stop();
  bool isRunning() const;
  uint16_t port() const;
  std::string address() const;

  // A member of the state record: the function returns JSON text. It runs on the server's
  // thread, several times a second while a client watches, so it only reads.
  void addStateProvider(const std::string& name, std::function<std::string()> provider);
  // The record {name: value, ...} as JSON text.
  std::string state();

  class Impl;

 private:
  std::shared_ptr<Impl> mImpl;
};

}  // namespace vl
