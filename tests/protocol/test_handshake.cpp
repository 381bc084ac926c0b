// Instances of one program on one machine: the first takes the configured port and the
// handshake port, later ones the next free port and a listener port from 14000, and the first
// sends them its changes until they say goodbye. Run in a network namespace of its own, so
// that the fixed ports are free whatever else runs.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "liblo_tools.hpp"
#include "protocol/vl_OSCDomain.hpp"

using namespace std::chrono_literals;

namespace {

// A running server_instance, fed through a pipe, its output collected in a file.
class Instance {
 public:
  explicit Instance(const std::string& name) {
    mOut = testing::TempDir() + "instance_" + std::to_string(getpid()) + "_" + name + ".txt";
    std::remove(mOut.c_str());
    mPipe = popen((std::string(SERVER_INSTANCE) + " > " + mOut + " 2>&1").c_str(), "w");
  }
  ~Instance() { quit(); }
  void send(const std::string& line) {
    std::fputs((line + "\n").c_str(), mPipe);
    std::fflush(mPipe);
  }
  void quit() {
    if (!mPipe) return;
    send("quit");
    EXPECT_EQ(pclose(mPipe), 0);
    mPipe = nullptr;
  }
  std::string output() const { return osctest::readFile(mOut); }
  // Waits until the text appears n times in the output.
  bool waitFor(const std::string& text, int n = 1) {
    for (int i = 0; i < 500; ++i) {
      if (count(text) >= n) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  int count(const std::string& text) const {
    const std::string out = output();
    int n = 0;
    for (auto p = out.find(text); p != std::string::npos; p = out.find(text, p + 1)) ++n;
    return n;
  }

 private:
  std::string mOut;
  FILE* mPipe = nullptr;
};

}  // namespace

TEST(Handshake, LaterInstancesTakeTheNextPortAndReceiveTheFirstsChangesUntilGoodbye) {
  Instance first("first");
  ASSERT_TRUE(first.waitFor("ready 9010 primary")) << first.output();
  EXPECT_TRUE(first.waitFor("Handshake server running on 0.0.0.0:16987"));

  Instance second("second");
  ASSERT_TRUE(second.waitFor("ready 9011 replica")) << second.output();
  EXPECT_TRUE(second.waitFor("Application is replica on port: 9011"));
  EXPECT_TRUE(second.waitFor(" OSCNotifier listening on 0.0.0.0:14000"));
  ASSERT_TRUE(first.waitFor("Registered listener 127.0.0.1:9011")) << first.output();
  EXPECT_TRUE(first.waitFor("ParameterServer handshake from 127.0.0.1:"));
  EXPECT_TRUE(second.waitFor("Sending listener info to: 127.0.0.1:9010"));

  for (const char* v : {"0.25", "-3", "512"}) {
    first.send(std::string("set ") + v);
    EXPECT_TRUE(second.waitFor(std::string("value ") + v + " from network")) << v << "\n"
                                                                             << second.output();
  }

  second.quit();
  ASSERT_TRUE(first.waitFor("Parameter server said goodbye 127.0.0.1:14000")) << first.output();
  ASSERT_TRUE(first.waitFor("Parameter server said goodbye 127.0.0.1:9011"));
  first.send("listeners");
  EXPECT_TRUE(first.waitFor("listeners 0")) << first.output();

  // The ports are free again, and the newcomer on them is welcomed as a new peer.
  Instance third("third");
  ASSERT_TRUE(third.waitFor("ready 9011 replica")) << third.output();
  ASSERT_TRUE(first.waitFor("Registered listener 127.0.0.1:9011", 2)) << first.output();
  EXPECT_EQ(first.count("ParameterServer handshake from"), 2);
  EXPECT_EQ(first.count("Received unnecessary handshake"), 0);
  first.send("set 7");
  EXPECT_TRUE(third.waitFor("value 7 from network")) << third.output();
  first.send("listeners");
  EXPECT_TRUE(first.waitFor("listeners 1"));
}

TEST(Handshake, AnInstanceStartedBeforeTheFirstIsAskedToAnnounceItself) {
  // A replica whose first instance is not running yet: its handshake goes nowhere until the
  // first instance starts and asks the listener ports.
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(9010);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  Instance early("early");
  ASSERT_TRUE(early.waitFor("ready 9011 replica")) << early.output();
  close(fd);

  Instance first("late_first");
  ASSERT_TRUE(first.waitFor("ready 9010 primary")) << first.output();
  ASSERT_TRUE(first.waitFor("Registered listener 127.0.0.1:9011")) << first.output();
  first.send("set 0.5");
  EXPECT_TRUE(early.waitFor("value 0.5 from network")) << early.output();
}

TEST(Handshake, WithAHundredPortsTakenTheDomainHasNoNetworkRole) {
  std::vector<int> sockets;
  for (int port = 9010; port < 9110; ++port) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << port;
    sockets.push_back(fd);
  }
  vl::OSCDomain domain;
  domain.init();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(domain.start());
  testing::internal::GetCapturedStdout();
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(domain.port, 0);
  EXPECT_NE(errors.find("Warning: Application could not start network role.\n"), std::string::npos);
  for (int fd : sockets) close(fd);
  EXPECT_TRUE(domain.stop());
  EXPECT_TRUE(domain.cleanup());
}
