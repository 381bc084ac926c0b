// A parameter server with one parameter of each kind and an OSCQuery server beside it, for the
// protocol tests to drive from outside. Arguments: OSC port, then optionally "token=T".
// Prints "ready OSC_PORT QUERY_PORT", then each change, and ends on "quit" or end of input.

#include <iostream>
#include <string>

#include "core/vl_Console.hpp"
#include "protocol/vl_OSCQueryServer.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "ui/vl_Parameter.hpp"

int main(int argc, char** argv) {
  const uint16_t oscPort = argc > 1 ? static_cast<uint16_t>(std::stoi(argv[1])) : 9010;
  vl::OSCQueryServer::Settings settings;
  settings.name = "oscquery_instance";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("token=", 0) == 0) settings.token = arg.substr(6);
  }

  vl::Parameter gain{"gain", "mix", 0.5f, "", 0.0f, 1.0f};
  gain.metadata().emplace("description", "Output gain");
  vl::ParameterInt count{"count", "mix", 3, "", -10, 10};
  vl::ParameterBool mute{"mute", "mix"};
  vl::ParameterMenu mode{"mode", "shape"};
  mode.setElements({"sine", "saw", "square"});
  vl::ParameterString label{"label", "shape", "hello"};
  vl::ParameterVec3 offset{"offset", "shape", vl::Vec3f(0.1f, 0.2f, 0.3f)};
  offset.min(vl::Vec3f(-1.0f));
  offset.max(vl::Vec3f(1.0f));
  vl::ParameterVec4 weights{"weights", "shape", vl::Vec4f(1.0f, 0.0f, 0.0f, 0.0f)};
  vl::ParameterColor tint{"tint", "shape", vl::Color(1.0f, 0.5f, 0.25f, 1.0f)};
  vl::ParameterPose where{"where", "shape"};
  vl::ParameterChoice voices{"voices", "shape", 5};
  vl::Trigger go{"go", "shape"};

  vl::ParameterServer server("127.0.0.1", oscPort);
  server << gain << count << mute << mode << label << offset << weights << tint << where << voices
         << go;
  gain.registerChangeCallback([](float v) { vl::print("gain %g\n", v); });
  count.registerChangeCallback([](int32_t v) { vl::print("count %d\n", v); });

  vl::OSCQueryServer query(server);
  if (!server.isRunning() || !query.start(settings)) return 1;
  // A second start while running changes nothing.
  query.start(settings);
  vl::print("ready %d %d\n", server.serverPort(), query.port());
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "quit") break;
  }
  query.stop();
  query.stop();
  return 0;
}
