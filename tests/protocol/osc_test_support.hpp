#pragma once

// Helpers for the OSC tests: free loopback ports, raw datagrams, and a handler that records
// what it receives for the test thread to wait on.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "protocol/vl_OSCRecv.hpp"

namespace osctest {

// A UDP port that was free a moment ago on 127.0.0.1 (the kernel picks it), so that tests
// running in parallel do not collide.
inline uint16_t freeUdpPort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// Opens r on a free loopback port and returns the port.
inline uint16_t openOnFreePort(vl::osc::Recv& r) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    uint16_t port = freeUdpPort();
    if (r.open(port, "127.0.0.1")) return port;
  }
  return 0;
}

// Sends bytes as one datagram from a plain socket, without the OSC library.
inline void sendRaw(uint16_t port, const void* data, std::size_t size) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  close(fd);
}

struct Received {
  std::string address;
  std::string typeTags;
  uint64_t timeTag = 0;
  std::string sender;
  std::vector<int32_t> ints;
  std::vector<float> floats;
  std::vector<std::string> strings;
  std::vector<std::vector<unsigned char>> blobs;
};

// Records each message with its int32, float, string and blob arguments.
class Recorder : public vl::osc::PacketHandler {
 public:
  void onMessage(vl::osc::Message& m) override {
    Received r;
    r.address = m.addressPattern();
    r.typeTags = m.typeTags();
    r.timeTag = m.timeTag();
    r.sender = m.senderAddress();
    for (char t : r.typeTags) {
      if (t == 'i') {
        int32_t v = 0;
        m >> v;
        r.ints.push_back(v);
      } else if (t == 'f') {
        float v = 0;
        m >> v;
        r.floats.push_back(v);
      } else if (t == 's') {
        std::string v;
        m >> v;
        r.strings.push_back(v);
      } else if (t == 'b') {
        std::vector<unsigned char> v;
        m >> v;
        r.blobs.push_back(v);
      } else {
        return;  // other kinds are not recorded
      }
    }
    std::lock_guard<std::mutex> lock(mLock);
    mMessages.push_back(std::move(r));
    mChanged.notify_all();
  }

  // Waits until at least n messages arrived; false on time-out.
  bool waitFor(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mLock);
    return mChanged.wait_for(lock, timeout, [&] { return mMessages.size() >= n; });
  }

  std::vector<Received> messages() {
    std::lock_guard<std::mutex> lock(mLock);
    return mMessages;
  }

 private:
  std::mutex mLock;
  std::condition_variable mChanged;
  std::vector<Received> mMessages;
};

}  // namespace osctest
