#pragma once

// liblo's oscsend and oscdump, an OSC implementation independent of ours, as test peers.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/vl_OSCPacket.hpp"

namespace osctest {

using namespace std::chrono_literals;

inline std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs "oscsend 127.0.0.1 <port> <arguments>"; true when it succeeded.
inline bool oscsend(uint16_t port, const std::string& arguments) {
  const std::string cmd = "oscsend 127.0.0.1 " + std::to_string(port) + " " + arguments;
  return std::system(cmd.c_str()) == 0;
}

// liblo's oscdump on a port, writing to a file; stopped by its process id.
class OscDump {
 public:
  explicit OscDump(uint16_t port) : mPort(port) {
    // Tests in network namespaces of their own may use the same port at once.
    mOut = testing::TempDir() + "oscdump_" + std::to_string(getpid()) + "_" + std::to_string(port) +
           ".txt";
    std::string pidFile = mOut + ".pid";
    std::string cmd =
        "oscdump -L " + std::to_string(port) + " > " + mOut + " 2>&1 & echo $! > " + pidFile;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream(pidFile) >> mPid;
  }
  ~OscDump() {
    if (mPid > 0) kill(mPid, SIGTERM);
  }
  std::string output() const { return readFile(mOut); }
  // oscdump gives no sign of readiness: probe until a probe shows up in its output.
  bool waitReady(vl::osc::Send& s) {
    for (int i = 0; i < 100; ++i) {
      s.beginMessage("/probe").endMessage();
      s.send();
      std::this_thread::sleep_for(50ms);
      if (output().find("/probe") != std::string::npos) return true;
    }
    return false;
  }
  bool waitReady() {
    vl::osc::Send s(mPort, "127.0.0.1");
    return waitReady(s);
  }
  // Waits for n lines containing the address and returns them without the leading time tag.
  std::vector<std::string> linesFor(const std::string& address, std::size_t n) {
    std::vector<std::string> lines;
    for (int i = 0; i < 100 && lines.size() < n; ++i) {
      lines.clear();
      std::istringstream in(output());
      for (std::string line; std::getline(in, line);) {
        auto pos = line.find(' ');
        if (pos != std::string::npos && line.compare(pos + 1, address.size(), address) == 0) {
          lines.push_back(line.substr(pos + 1));
        }
      }
      if (lines.size() < n) std::this_thread::sleep_for(50ms);
    }
    return lines;
  }

 private:
  uint16_t mPort;
  std::string mOut;
  pid_t mPid = -1;
};

}  // namespace osctest
