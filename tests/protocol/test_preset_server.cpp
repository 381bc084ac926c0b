// The preset server driven by liblo's oscsend, its recall announcements read by oscdump, its
// stores read back from the preset files.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "liblo_tools.hpp"
#include "osc_test_support.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "protocol/vl_PresetServer.hpp"
#include "ui/preset_test_support.hpp"

using namespace std::chrono_literals;
using osctest::oscsend;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using vl::test::readFile;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

struct PresetRig {
  ScratchDir dir;
  vl::Parameter level{"level", "", 0.0f, "", 0.0f, 1.0f};
  vl::ParameterInt done{"done"};  // set last: everything before it has been handled
  std::unique_ptr<vl::PresetHandler> handler;
  vl::ParameterServer server;
  std::unique_ptr<vl::PresetServer> presets;
  uint16_t port = 0;
  uint16_t dumpPort = osctest::freeUdpPort();
  osctest::OscDump dump{dumpPort};
  int sequence = 0;

  PresetRig() {
    for (auto [name, value] : {std::pair{"two", "0.2"}, {"three", "0.3"}, {"five", "0.5"}}) {
      writeFile(dir / (std::string(name) + ".preset"),
                std::string("::") + name + "\n/level f " + value + " \n::\n");
    }
    writeFile(dir / "loose.preset", "::loose\n/level f 1 \n::\n");
    writeFile(dir / "default.presetMap", "2:two\n3:three\n5:five\n::\n");
    CaptureStdout();
    handler = std::make_unique<vl::PresetHandler>(dir.path());
    GetCapturedStdout();
    *handler << level;
    server << level << done;
    presets = std::make_unique<vl::PresetServer>(server);
    *presets << *handler;
    for (int i = 0; i < 20 && port == 0; ++i) {
      uint16_t p = osctest::freeUdpPort();
      if (server.listen(p, "127.0.0.1")) port = p;
    }
    EXPECT_TRUE(dump.waitReady());
    EXPECT_TRUE(presets->addListener("127.0.0.1", dumpPort));
  }

  // Sends the messages and waits until the server has handled them; returns what it printed.
  std::string send(std::vector<std::string> messages) {
    CaptureStdout();
    CaptureStderr();
    for (const std::string& m : messages) EXPECT_TRUE(oscsend(port, m)) << m;
    EXPECT_TRUE(oscsend(port, "/done i " + std::to_string(++sequence)));
    for (int i = 0; i < 500 && done.get() != sequence; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(done.get(), sequence);
    std::string out = GetCapturedStdout();
    return out + GetCapturedStderr();
  }
  // The recall announcements so far.
  std::vector<std::string> recalls(std::size_t n) { return dump.linesFor("/preset ", n); }
  float levelAfterMorph() {
    handler->morphStep(0.02);
    return level.get();
  }
};

}  // namespace

TEST(PresetServerPeers, IndicesRecallTruncatedAndOnlyAnExactOneTriggersTheIndexForm) {
  PresetRig rig;
  ASSERT_NE(rig.port, 0);
  rig.send({"/preset f 3.7"});
  EXPECT_EQ(rig.recalls(1), std::vector<std::string>{"/preset i 3"});
  EXPECT_FLOAT_EQ(rig.levelAfterMorph(), 0.3f);

  rig.send({"/preset/5 f 0", "/preset/5 f 2", "/preset/x5 f 1", "/preset/5 f 1"});
  EXPECT_EQ(rig.recalls(2), (std::vector<std::string>{"/preset i 3", "/preset i 5"}));
  EXPECT_FLOAT_EQ(rig.levelAfterMorph(), 0.5f);

  // By name; a preset outside the map is announced with -1. A morph time that is no number
  // is refused.
  const std::string out = rig.send({"/preset/morphTime f 0.5", "/preset s two", "/preset s loose",
                                    "/preset/morphTime f nan", "/preset i 7"});
  EXPECT_EQ(rig.handler->getMorphTime(), 0.5f);
  EXPECT_EQ(rig.recalls(4), (std::vector<std::string>{"/preset i 3", "/preset i 5", "/preset i 2",
                                                      "/preset i -1"}));
  EXPECT_NE(out.find("No preset index 7"), std::string::npos) << out;

  // The state of every parameter of the parameter server goes to the preset server's listeners.
  rig.send({"/preset/queryState"});
  EXPECT_EQ(rig.dump.linesFor("/done ", 1).at(0), "/done i 3");
  EXPECT_EQ(rig.presets->lastSender().rfind("127.0.0.1:", 0), 0u);
}

TEST(PresetServerPeers, StoringFromClientsObeysTheSwitchAndNamesStayInTheirFolder) {
  PresetRig rig;
  ASSERT_NE(rig.port, 0);
  const std::string two = readFile(rig.dir / "two.preset");
  rig.level.set(0.9f);

  rig.presets->allowStore(false);
  std::string out = rig.send({"/preset/storeMode f 1", "/preset f 2", "/preset/store f 4"});
  EXPECT_EQ(rig.recalls(1), std::vector<std::string>{"/preset i 2"});
  EXPECT_EQ(readFile(rig.dir / "two.preset"), two);
  EXPECT_FALSE(std::filesystem::exists(rig.dir / "default.preset"));
  EXPECT_NE(out.find("Remote storing disabled"), std::string::npos) << out;
  EXPECT_FALSE(rig.presets->storeMode());

  // Allowed: one store through the path, then recalls again.
  rig.presets->allowStore(true);
  rig.level.set(0.9f);
  rig.send({"/preset/storeMode f 1", "/preset f 2", "/preset f 3"});
  EXPECT_EQ(readFile(rig.dir / "two.preset"), "::two\n/level f 0.900000 \n::\n");
  EXPECT_EQ(rig.recalls(2).back(), "/preset i 3");
  rig.level.set(0.9f);
  rig.send({"/preset/store f 5"});
  EXPECT_EQ(readFile(rig.dir / "five.preset"), "::five\n/level f 0.900000 \n::\n");

  // Hostile names and indices store nothing and recall nothing.
  const auto before = std::distance(std::filesystem::directory_iterator(rig.dir.path()),
                                    std::filesystem::directory_iterator());
  out = rig.send({"/preset/storeMode f 1", "/preset s ../escaped", "/preset s ../../escaped",
                  "/preset/storeMode f 1", "/preset f -3", "/preset/storeMode f 1",
                  "/preset f 1e30", "/preset f -1e30", "/preset/99999999999 f 1",
                  "/preset/store f nan", "/preset s /tmp/abs"});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.dir.path()),
                          std::filesystem::directory_iterator()),
            before);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(rig.dir.path()).parent_path() /
                                       "escaped.preset"));
  EXPECT_NE(out.find("Refusing preset name \"../escaped\""), std::string::npos) << out;
  EXPECT_NE(out.find("Refusing to store preset at index -3"), std::string::npos) << out;
  EXPECT_NE(out.find("out of range"), std::string::npos) << out;
  EXPECT_EQ(rig.recalls(2).size(), 2u);
}
