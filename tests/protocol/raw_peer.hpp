#pragma once

// A UDP peer on a plain socket that encodes and decodes OSC by hand, independent of oscpack:
// it sends from the port it listens on (as many OSC controllers do) and may bind any loopback
// address, such as 127.0.0.2.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace osctest {

struct RawMessage {
  std::string address;
  std::string tags;
  std::vector<float> floats;  // the "f" arguments
};

class RawPeer {
 public:
  // Binds to (address, port); port 0 lets the kernel choose.
  explicit RawPeer(const std::string& address = "127.0.0.1", uint16_t port = 0) {
    mFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    a.sin_port = htons(port);
    mBound = bind(mFd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    socklen_t len = sizeof a;
    getsockname(mFd, reinterpret_cast<sockaddr*>(&a), &len);
    mPort = ntohs(a.sin_port);
  }
  ~RawPeer() { close(mFd); }
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  bool bound() const { return mBound; }
  uint16_t port() const { return mPort; }

  // A message of float, int and string arguments, given as tags and texts.
  void send(uint16_t port, const std::string& address, const std::string& tags,
            const std::vector<std::string>& args, const std::string& to = "127.0.0.1") {
    std::string m;
    putPadded(m, address);
    putPadded(m, "," + tags);
    for (std::size_t i = 0; i < tags.size(); ++i) {
      if (tags[i] == 'f') {
        float f = std::stof(args[i]);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        putInt(m, u);
      } else if (tags[i] == 'i') {
        putInt(m, static_cast<uint32_t>(std::stol(args[i])));
      } else {
        putPadded(m, args[i]);
      }
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, to.c_str(), &a.sin_addr);
    a.sin_port = htons(port);
    sendto(mFd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }

  // The next datagram decoded, or false after the time-out.
  bool receive(RawMessage& out, int timeoutMs = 5000) {
    pollfd p{mFd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    char buffer[4096];
    ssize_t n = recv(mFd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    std::size_t pos = 0;
    out = RawMessage{};
    out.address = takePadded(buffer, static_cast<std::size_t>(n), pos);
    std::string tags = takePadded(buffer, static_cast<std::size_t>(n), pos);
    out.tags = tags.empty() ? "" : tags.substr(1);
    for (char t : out.tags) {
      if (pos + 4 > static_cast<std::size_t>(n)) break;
      if (t == 'f') {
        uint32_t u = (uint32_t(uint8_t(buffer[pos])) << 24) |
                     (uint32_t(uint8_t(buffer[pos + 1])) << 16) |
                     (uint32_t(uint8_t(buffer[pos + 2])) << 8) | uint8_t(buffer[pos + 3]);
        float f;
        std::memcpy(&f, &u, 4);
        out.floats.push_back(f);
        pos += 4;
      } else if (t == 'i') {
        pos += 4;
      } else if (t == 's') {
        takePadded(buffer, static_cast<std::size_t>(n), pos);
      }
    }
    return true;
  }

 private:
  static void putInt(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      s.push_back(static_cast<char>((v >> shift) & 0xff));
  }
  static void putPadded(std::string& s, const std::string& text) {
    s += text;
    do s.push_back('\0');
    while (s.size() % 4 != 0);
  }
  static std::string takePadded(const char* data, std::size_t size, std::size_t& pos) {
    std::string text;
    while (pos < size && data[pos] != '\0') text.push_back(data[pos++]);
    pos = (pos + 4) & ~std::size_t(3);
    return text;
  }

  int mFd = -1;
  bool mBound = false;
  uint16_t mPort = 0;
};

}  // namespace osctest
