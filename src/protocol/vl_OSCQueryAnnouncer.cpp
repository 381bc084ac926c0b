#include "protocol/vl_OSCQueryAnnouncer.hpp"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include "core/vl_Console.hpp"

namespace vl {

struct OSCQueryAnnouncer::State {
  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* group = nullptr;
  std::string name;
  uint16_t port = 0;
};

namespace {

constexpr const char* kServiceType = "_oscjson._tcp";

void createService(AvahiClient* client, OSCQueryAnnouncer::State& s);

void onGroup(AvahiEntryGroup* group, AvahiEntryGroupState state, void* data) {
  auto& s = *static_cast<OSCQueryAnnouncer::State*>(data);
  if (state != AVAHI_ENTRY_GROUP_COLLISION) return;
  // Another instance on the network has the name: take the next free one, as Avahi suggests.
  char* next = avahi_alternative_service_name(s.name.c_str());
  s.name = next;
  avahi_free(next);
  avahi_entry_group_reset(group);
  createService(avahi_entry_group_get_client(group), s);
}

void createService(AvahiClient* client, OSCQueryAnnouncer::State& s) {
  if (!s.group) s.group = avahi_entry_group_new(client, onGroup, &s);
  if (!s.group) return;
  if (!avahi_entry_group_is_empty(s.group)) return;
  const int err = avahi_entry_group_add_service(s.group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                AvahiPublishFlags(0), s.name.c_str(), kServiceType,
                                                nullptr, nullptr, s.port, nullptr);
  if (err == AVAHI_ERR_COLLISION) {
    char* next = avahi_alternative_service_name(s.name.c_str());
    s.name = next;
    avahi_free(next);
    avahi_entry_group_reset(s.group);
    createService(client, s);
    return;
  }
  if (err < 0 || avahi_entry_group_commit(s.group) < 0) {
    printError("WARNING: OSCQuery service not announced: %s\n", avahi_strerror(err));
  }
}

void onClient(AvahiClient* client, AvahiClientState state, void* data) {
  auto& s = *static_cast<OSCQueryAnnouncer::State*>(data);
  if (state == AVAHI_CLIENT_S_RUNNING) {
    createService(client, s);
  } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
    if (s.group) avahi_entry_group_reset(s.group);
  }
}

}  // namespace

OSCQueryAnnouncer::OSCQueryAnnouncer() = default;

OSCQueryAnnouncer::~OSCQueryAnnouncer() {
  stop();
}

bool OSCQueryAnnouncer::start(const std::string& name, uint16_t port) {
  std::lock_guard<std::mutex> lock(mLock);
  if (mState) return true;
  auto s = std::make_unique<State>();
  s->name = name;
  s->port = port;
  s->poll = avahi_threaded_poll_new();
  if (!s->poll) return false;
  int err = 0;
  // The client's first callback runs inside avahi_client_new, before the poll thread starts.
  s->client = avahi_client_new(avahi_threaded_poll_get(s->poll), AvahiClientFlags(0), onClient,
                               s.get(), &err);
  if (!s->client) {
    printError("WARNING: no Avahi daemon (%s): the OSCQuery server is not announced\n",
               avahi_strerror(err));
    avahi_threaded_poll_free(s->poll);
    return false;
  }
  if (avahi_threaded_poll_start(s->poll) < 0) {
    avahi_client_free(s->client);
    avahi_threaded_poll_free(s->poll);
    return false;
  }
  mState = std::move(s);
  return true;
}

void OSCQueryAnnouncer::stop() {
  std::unique_ptr<State> s;
  {
    std::lock_guard<std::mutex> lock(mLock);
    s = std::move(mState);
  }
  if (!s) return;
  avahi_threaded_poll_stop(s->poll);
  // Freeing the client frees its entry groups and withdraws the service.
  avahi_client_free(s->client);
  avahi_threaded_poll_free(s->poll);
}

bool OSCQueryAnnouncer::announcing() {
  std::lock_guard<std::mutex> lock(mLock);
  return mState != nullptr;
}

}  // namespace vl
