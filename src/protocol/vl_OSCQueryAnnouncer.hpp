#pragma once

// Announces an OSCQuery server on the local network as "_oscjson._tcp" through the Avahi
// daemon, so that controllers find it without being told the port. Without a daemon it says so
// once and the server works as before, only unannounced.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vl {

class OSCQueryAnnouncer {
 public:
  OSCQueryAnnouncer();
  ~OSCQueryAnnouncer();
  OSCQueryAnnouncer(const OSCQueryAnnouncer&) = delete;
  OSCQueryAnnouncer& operator=(const OSCQueryAnnouncer&) = delete;

  // Starts Avahi's own thread and registers the service. False when no daemon answers.
  // Idempotent: a second call while announcing changes nothing.
  bool start(const std::string& name, uint16_t port);
  // Withdraws the service and joins Avahi's thread. Idempotent.
  void stop();
  bool announcing();

  struct State;  // Avahi's objects, kept out of this header

 private:
  std::mutex mLock;
  std::unique_ptr<State> mState;
};

}  // namespace vl
