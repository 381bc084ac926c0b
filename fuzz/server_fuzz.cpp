// libFuzzer target: arbitrary bytes read as one datagram and dispatched by a parameter server
// holding a parameter of every kind, a bundle, a preset server over a preset handler and a
// distributed scene as its consumer, as the receive thread would. Commands that answer send only
// inside the network namespace the check runs in; stores go to a scratch directory.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "protocol/vl_PresetServer.hpp"
#include "scene_fuzz.hpp"
#include "ui/vl_Parameter.hpp"
#include "ui/vl_ParameterBundle.hpp"
#include "ui/vl_PresetHandler.hpp"

namespace {

std::string scratchDirectory() {
  char pattern[] = "/tmp/server_fuzzXXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "/tmp";
}

struct Fixture {
  vl::Parameter level{"level", "k", 0.0f, "", -1.0f, 1.0f};
  vl::ParameterBool on{"on", "k"};
  vl::ParameterInt count{"count", "k", 0, "", -100, 100};
  vl::ParameterMenu menu{"menu", "k"};
  vl::ParameterChoice choice{"choice", "k"};
  vl::ParameterString text{"text", "k"};
  vl::ParameterVec3 vec3{"vec3", "k"};
  vl::ParameterVec4 vec4{"vec4", "k"};
  vl::ParameterColor color{"color", "k"};
  vl::ParameterPose pose{"pose", "k"};
  vl::Trigger fire{"fire", "k"};
  vl::ParameterBundle bundle{"voice"};
  vl::Parameter gain{"gain", "", 0.5f, "", 0.0f, 1.0f};
  vl::ParameterBundle inner{"inner"};
  vl::ParameterInt step{"step"};

  vl::ParameterServer server;
  vl::PresetHandler presets{scratchDirectory()};
  vl::PresetServer presetServer{server};

  Fixture() {
    menu.setElements({"a", "b", "c"});
    server << level << on << count << menu << choice << text << vec3 << vec4 << color << pose
           << fire;
    inner << step;
    bundle << gain;
    bundle.addBundle(inner);
    server << bundle;
    presets << level << count << text << pose;
    presetServer << presets;
    server.addConsumer(&scenefuzz::sceneFixture().scene, "");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Kept from one input to the next, as a running program keeps them. Never destroyed: the
  // process ends with them.
  static vl::osc::PacketReader reader;
  static Fixture* fixture = new Fixture;
  try {
    reader.read(reinterpret_cast<const char*>(data), size, "127.0.0.1:1");
  } catch (const std::exception&) {
    return 0;  // malformed input is refused whole
  }
  for (std::size_t i = 0; i < reader.size(); ++i) fixture->server.onMessage(reader[i]);
  fixture->presets.morphStep(0.02);
  scenefuzz::settleAndCheckScene();
  // Listeners registered by the input would make every later input slower.
  if (fixture->server.listenerCount() > 4) fixture->server.clearListeners();
  return 0;
}
