// A primary and a replica on two hosts of their own (network namespaces joined by a veth pair,
// each with its own host name, made by tests/scripts/with_host_pair.sh), both named in one node
// table: each takes the role the table gives its host, the replica follows the primary's
// parameter changes over the pair, and every state record it applies is, byte for byte, the one
// the primary computed for that frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A dapp_instance on one host of the pair, in a working directory of its own that holds the
// node table, on a virtual display of its own, fed through a pipe.
class HostInstance {
 public:
  HostInstance(const std::string& ns, const std::string& host, const std::string& nodeTable) {
    mDir = testing::TempDir() + "host_" + host + "_" + std::to_string(getpid());
    std::filesystem::create_directories(mDir);
    std::ofstream(mDir + "/distributed_app.toml") << nodeTable;
    mOut = mDir + "/out.txt";
    const std::string command = "ip netns exec " + ns + " unshare --uts sh -c 'hostname " + host +
                                " && cd " + mDir + " && exec xvfb-run -a -s \"-screen 0 " +
                                "1280x800x24 -nolisten tcp\" " + DAPP_INSTANCE + "' > " + mOut +
                                " 2>&1";
    mPipe = popen(command.c_str(), "w");
  }
  ~HostInstance() {
    quit();
    std::filesystem::remove_all(mDir);
  }
  void send(const std::string& line) {
    std::fputs((line + "\n").c_str(), mPipe);
    std::fflush(mPipe);
  }
  int quit() {
    if (!mPipe) return mStatus;
    send("quit");
    mStatus = pclose(mPipe);
    mPipe = nullptr;
    return mStatus;
  }
  std::string output() const { return readFile(mOut); }
  bool waitFor(const std::string& text) const {
    for (int i = 0; i < 1500; ++i) {
      if (output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

 private:
  std::string mDir, mOut;
  FILE* mPipe = nullptr;
  int mStatus = -1;
};

// "computed N H" or "applied N H" lines: frame number to record hash.
std::map<unsigned long long, std::string> records(const std::string& out, const std::string& kind) {
  std::map<unsigned long long, std::string> r;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string word, hash;
    unsigned long long frame = 0;
    if (words >> word && word == kind && words >> frame >> hash) r[frame] = hash;
  }
  return r;
}

std::string node(const std::string& host, const std::string& role, int rank) {
  return "[[node]]\nhost = \"" + host + "\"\nrole = \"" + role +
         "\"\nrank = " + std::to_string(rank) + "\ngroup = 0\ndataRoot = \"/srv/zentha\"\n\n";
}

}  // namespace

TEST(HostPair, TheReplicaTakesItsRoleFromTheTableAndFollowsThePrimarysChanges) {
  const std::string nsA = env("HOST_PAIR_NS_A"), nsB = env("HOST_PAIR_NS_B");
  const std::string primaryHost = env("HOST_PAIR_NAME_A"), replicaHost = env("HOST_PAIR_NAME_B");
  ASSERT_FALSE(nsA.empty() || nsB.empty()) << "run through tests/scripts/with_host_pair.sh";
  const std::string table = "broadcastAddress = \"" + env("HOST_PAIR_BROADCAST") + "\"\n" +
                            node(primaryHost, "desktop", 0) + node(replicaHost, "renderer", 1);

  HostInstance replica(nsB, replicaHost, table);
  ASSERT_TRUE(replica.waitFor("ready host " + replicaHost + " rank 1 capabilities 42 omni 1"))
      << replica.output();
  EXPECT_NE(replica.output().find("Secondary: rank 1"), std::string::npos);
  EXPECT_NE(replica.output().find("Running REPLICA"), std::string::npos);
  EXPECT_TRUE(replica.waitFor("Opened 0.0.0.0:10101")) << replica.output();

  HostInstance primary(nsA, primaryHost, table);
  ASSERT_TRUE(primary.waitFor("ready host " + primaryHost + " rank 0 capabilities 438 omni 0"))
      << primary.output();
  EXPECT_NE(primary.output().find("Primary: " + primaryHost + ":Running distributed"),
            std::string::npos);
  EXPECT_NE(primary.output().find("Running Primary"), std::string::npos);
  EXPECT_NE(primary.output().find("Running primary with state send"), std::string::npos);
  EXPECT_EQ(primary.output().find("Could not register listener"), std::string::npos)
      << primary.output();

  // On start the primary sends every value it has.
  EXPECT_TRUE(replica.waitFor("gain 1 from network")) << replica.output();
  for (const char* v : {"0.5", "1.75", "0.125"}) {
    primary.send(std::string("gain ") + v);
    EXPECT_TRUE(primary.waitFor(std::string("gain ") + v + " from here"));
    EXPECT_TRUE(replica.waitFor(std::string("gain ") + v + " from network")) << replica.output();
  }
  // Nothing goes back: the primary saw only its own changes.
  EXPECT_EQ(primary.output().find("from network"), std::string::npos);

  // A second of frames, then the records: each one applied is the primary's of that frame.
  ASSERT_TRUE(primary.waitFor("computed 60 ")) << primary.output();
  ASSERT_TRUE(replica.waitFor("applied ")) << replica.output();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(primary.quit(), 0) << primary.output();
  EXPECT_EQ(replica.quit(), 0) << replica.output();
  EXPECT_NE(replica.output().find("done"), std::string::npos);
  const auto computed = records(primary.output(), "computed");
  const auto applied = records(replica.output(), "applied");
  for (const auto& [frame, hash] : applied) {
    auto it = computed.find(frame);
    ASSERT_NE(it, computed.end()) << "frame " << frame << " was never computed";
    EXPECT_EQ(hash, it->second) << "frame " << frame;
  }
  // The replica's own frames and the primary's drift apart by a few, over a link that loses
  // nothing: it sees most of them.
  EXPECT_GE(applied.size() * 10, computed.size() * 7)
      << applied.size() << " of " << computed.size() << " records applied";
}
