// What an instance of a distributed app becomes: from its host's entry in the node table, from
// the facility's host profiles, or from finding its OSC port taken; and which windows and
// domains that role then runs. Every case runs a whole app against a virtual display, in a
// network namespace of its own (the design's fixed ports, and listeners named by hosts that
// resolve nowhere).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/vl_DistributedApp.hpp"
#include "app/vl_DistributedAppWithState.hpp"
#include "app/vl_Facility.hpp"

using namespace vl;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

std::string thisHost() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Each case in a fresh working directory, where the app looks for its node table.
class DistributedAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mPrevious = std::filesystem::current_path();
    std::string dir = testing::TempDir() + "dapp_XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    mDir = dir;
    std::filesystem::current_path(mDir);
  }
  void TearDown() override {
    std::filesystem::current_path(mPrevious);
    std::filesystem::remove_all(mDir);
  }
  static void writeNodeTable(const std::string& text) {
    std::ofstream(DistributedApp::NODE_TABLE_FILE) << text;
  }

  std::filesystem::path mPrevious, mDir;
};

// Runs two frames and records what it ran with.
struct ProbeApp : DistributedApp {
  int frames = 0;
  bool defaultWindow = false, omniWindow = false, omniFlag = false, audioKept = false;
  bool windowOpen = false;
  void onInit() override {
    defaultWindow = defaultWindowDomain() != nullptr;
    omniWindow = omniRendererDomain() != nullptr;
    if (omniWindow) omniFlag = omniRendererDomain()->omniRendering();
    const auto& list = domainList();
    audioKept = std::find(list.begin(), list.end(), audioDomain()) != list.end();
    if (defaultWindow || omniWindow) windowOpen = DistributedApp::defaultWindow().created();
  }
  void onAnimate(double) override {
    if (++frames >= 2) quit();
  }
};

// Decides its role only: a child process with a host name of its own has no access to the
// virtual display (whose cookie names the real host), so it leaves the graphics domain out.
struct RoleOnlyApp : DistributedApp {
  RoleOnlyApp() {
    mDomainList.erase(std::remove(mDomainList.begin(), mDomainList.end(),
                                  std::static_pointer_cast<ComputationDomain>(graphicsDomain())),
                      mDomainList.end());
  }
};

std::string node(const std::string& host, const std::string& role, int rank) {
  return "[[node]]\nhost = \"" + host + "\"\nrole = \"" + role +
         "\"\nrank = " + std::to_string(rank) + "\ngroup = 0\ndataRoot = \"/srv/zentha\"\n\n";
}

}  // namespace

TEST_F(DistributedAppTest, AHostMissingFromTheNodeTableRunsAsDesktopAndSendsToTheOthers) {
  writeNodeTable("broadcastAddress = \"10.213.7.255\"\n" + node("zentha-absent-a", "renderer", 1) +
                 "[[node]]\nhost = \"zentha-absent-b\"\nrole = \"audio\"\n");
  ProbeApp app;
  CaptureStdout();
  CaptureStderr();
  app.start();
  const std::string out = GetCapturedStdout();
  const std::string err = GetCapturedStderr();
  EXPECT_NE(out.find("WARNING: node " + thisHost() +
                     " not found in node table!\n\t*Using default desktop setting!*\n"),
            std::string::npos);
  EXPECT_NE(out.find("WARNING: node zentha-absent-b not given dataRoot\n"), std::string::npos);
  EXPECT_NE(out.find("WARNING: node zentha-absent-b not given rank\n"), std::string::npos);
  EXPECT_NE(out.find("WARNING: node zentha-absent-b not given group\n"), std::string::npos);
  EXPECT_EQ(out.find("WARNING: node zentha-absent-a not given"), std::string::npos);
  EXPECT_NE(out.find("Primary: " + thisHost() + ":Running distributed"), std::string::npos);
  EXPECT_NE(out.find("Running Primary"), std::string::npos);
  EXPECT_EQ(app.rank, 0);
  EXPECT_EQ(app.capabilities, 438u);
  EXPECT_TRUE(app.defaultWindow && app.windowOpen && app.audioKept);
  EXPECT_FALSE(app.omniWindow);
  // Not found in the table: the state would go nowhere but this machine.
  EXPECT_EQ(app.setting("broadcastAddress"), "127.0.0.1");
  EXPECT_EQ(app.nodes().size(), 2u);
  // Both other hosts were tried as listeners (neither resolves in this namespace).
  EXPECT_NE(err.find("ERROR: Could not register listener zentha-absent-a:9010"), std::string::npos);
  EXPECT_NE(err.find("ERROR: Could not register listener zentha-absent-b:9010"), std::string::npos);
  // The gain is on the network and reaches the audio output.
  auto params = app.oscDomain()->parameterServer().parameters();
  ASSERT_EQ(params.size(), 1u);
  EXPECT_EQ(params[0]->getFullAddress(), "/vantapp/sound/gain");
  app.gain.set(0.25f);
  EXPECT_EQ(app.audioDomain()->audioIO().gain(), 0.25f);
}

TEST_F(DistributedAppTest, ASecondInstanceOnOneMachineRunsAsReplica99WithCapabilities42) {
  writeNodeTable(node(thisHost(), "desktop", 0));
  // The first instance, as far as the port is concerned.
  int first = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(9010);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(first, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

  ProbeApp app;
  CaptureStdout();
  CaptureStderr();
  app.start();
  const std::string out = GetCapturedStdout();
  GetCapturedStderr();
  close(first);
  EXPECT_NE(out.find("Replica: " + thisHost() + ":Running distributed"), std::string::npos);
  EXPECT_EQ(out.find("Running Primary"), std::string::npos);
  EXPECT_NE(out.find("Application is replica on port: 9011"), std::string::npos);
  EXPECT_EQ(app.rank, 99);
  EXPECT_EQ(app.capabilities, 42u);
  EXPECT_TRUE(app.omniWindow && app.omniFlag && app.windowOpen);
  EXPECT_FALSE(app.defaultWindow || app.audioKept);
  // Its host is in the table, so the table's broadcast address would hold (none is given).
  EXPECT_TRUE(app.foundInNodeTable());
}

TEST_F(DistributedAppTest, EachRoleOpensTheWindowsAndKeepsTheDomainsItCallsFor) {
  struct Case {
    std::string role;
    int rank;
    bool defaultWindow, omniWindow, omniFlag, audio;
  };
  for (const Case& c :
       {Case{"control", 4, true, false, false, false},
        Case{"renderer", 3, false, true, true, false},
        Case{"renderer", 0, false, true, false, false}, Case{"replica", 5, false, true, true, true},
        Case{"audio", 6, false, false, false, true},
        Case{"projector", 7, false, false, false, false}}) {
    SCOPED_TRACE(c.role + " rank " + std::to_string(c.rank));
    writeNodeTable("broadcastAddress = \"10.213.7.255\"\n" + node(thisHost(), c.role, c.rank));
    ProbeApp app;
    CaptureStdout();
    CaptureStderr();
    app.start();
    const std::string out = GetCapturedStdout();
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(app.frames, 2);
    EXPECT_EQ(app.rank, c.rank);
    EXPECT_EQ(app.dataRoot, "/srv/zentha");
    EXPECT_EQ(app.defaultWindow, c.defaultWindow);
    EXPECT_EQ(app.omniWindow, c.omniWindow);
    EXPECT_EQ(app.omniFlag, c.omniFlag);
    EXPECT_EQ(app.windowOpen, c.defaultWindow || c.omniWindow);
    EXPECT_EQ(app.audioKept, c.audio);
    EXPECT_EQ(app.setting("broadcastAddress"), "10.213.7.255");
    const bool unknown = c.role == "projector";
    EXPECT_EQ(err.find("WARNING: Setting no capabilities for this app from config file\n") !=
                  std::string::npos,
              unknown);
    if (unknown) {
      EXPECT_EQ(app.capabilities, 0u);
    }
    EXPECT_EQ(out.find("Secondary: rank " + std::to_string(c.rank)) != std::string::npos,
              c.rank != 0);
  }
}

TEST_F(DistributedAppTest, ThePrimarySendsStateOnlyWithItsCapabilityAndTheOthersReceive) {
  struct Record {
    int frame = 0;
  };
  struct StateApp : DistributedAppWithState<Record> {
    void onAnimate(double) override {
      if (++state().frame >= 2) quit();
    }
  };
  for (auto [role, rank] :
       {std::pair{"control", 0}, std::pair{"desktop", 0}, std::pair{"audio", 2}}) {
    SCOPED_TRACE(role);
    writeNodeTable("broadcastAddress = \"127.0.0.1\"\n" + node(thisHost(), role, rank));
    StateApp app;
    CaptureStdout();
    CaptureStderr();
    app.start();
    const std::string out = GetCapturedStdout();
    GetCapturedStderr();
    // onAnimate is the state domain's simulation function.
    EXPECT_EQ(app.state().frame, 2);
    EXPECT_EQ(app.stateDomain(), app.simulationDomain());
    const bool sends = std::string(role) == "desktop";
    EXPECT_EQ(out.find("Not enabling state sending for primary.\n") != std::string::npos,
              std::string(role) == "control");
    EXPECT_EQ(out.find("Running primary with state send") != std::string::npos, sends);
    EXPECT_EQ(app.stateSender() != nullptr, sends);
    EXPECT_EQ(out.find("Running REPLICA") != std::string::npos, rank != 0);
    EXPECT_EQ(out.find("Opened 0.0.0.0:10101") != std::string::npos, rank != 0);
    EXPECT_EQ(app.stateReceiver() != nullptr, rank != 0);
    if (sends) {
      EXPECT_EQ(app.stateSender()->recordsSent(), 2u);
    }
  }
}

// Facility hosts are told apart by name, so each case runs in a child process with a host
// name of its own.
TEST_F(DistributedAppTest, FacilityHostsWriteTheDefaultTableOrFallBackOnTheirProfiles) {
  GTEST_FLAG_SET(death_test_style, "fast");
  auto asHost = [](const char* host) {
    if (unshare(CLONE_NEWUTS) != 0 || sethostname(host, std::strlen(host)) != 0) std::exit(3);
  };

  // A renderer without any table writes the facility's and finds itself in it.
  EXPECT_EXIT(
      {
        asHost("kuppel-r03");
        RoleOnlyApp app;
        app.prepare();
        const std::string text = readFile(DistributedApp::NODE_TABLE_FILE);
        size_t blocks = 0;
        for (auto p = text.find("[[node]]"); p != std::string::npos;
             p = text.find("[[node]]", p + 1))
          ++blocks;
        const bool ok =
            blocks == 15 && text.rfind("broadcastAddress = \"192.168.10.255\"\n", 0) == 0 &&
            text.find("host = \"kuppel-r14\"\nrank = 14\ngroup = 0\nrole = \"renderer\"") !=
                std::string::npos &&
            app.rank == 3 && app.capabilities == 42u && app.foundInNodeTable() &&
            app.setting("broadcastAddress") == Facility::BROADCAST_ADDRESS &&
            app.calibrationDataRoot("mine") == Facility::CALIBRATION_DIRECTORY &&
            app.nodes().size() == 15;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");

  // A table without the broadcast address gets it written back on a facility host.
  EXPECT_EXIT(
      {
        asHost("kuppel-c02");
        std::ofstream(DistributedApp::NODE_TABLE_FILE) << node("kuppel-c02", "audio", 20);
        RoleOnlyApp app;
        app.prepare();
        const std::string text = readFile(DistributedApp::NODE_TABLE_FILE);
        const bool ok = text.find("broadcastAddress = \"192.168.10.255\"") != std::string::npos &&
                        app.rank == 20 && app.capabilities == 114u &&
                        app.calibrationDataRoot("mine") == "mine";
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");

  // An empty table leaves the profile to decide.
  EXPECT_EXIT(
      {
        asHost("kuppel-c02");
        std::ofstream(DistributedApp::NODE_TABLE_FILE) << "";
        RoleOnlyApp app;
        app.prepare();
        const bool ok = app.rank == 20 && app.group == 1 && app.capabilities == 114u &&
                        !app.hasNodeTable() && app.setting("broadcastAddress") == "127.0.0.1";
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}
