#pragma once

// Loopback UDP ports for the network benchmarks: the kernel picks a free one.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace benchnet {

// A socket bound to a free loopback port, or -1; port receives the number.
inline int bindLoopbackUdp(uint16_t& port) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(a.sin_port);
  return fd;
}

// A port free a moment ago, for code that opens its own socket (it may be taken meanwhile:
// callers retry).
inline uint16_t freeUdpPort() {
  uint16_t port = 0;
  const int fd = bindLoopbackUdp(port);
  if (fd >= 0) close(fd);
  return port;
}

}  // namespace benchnet
