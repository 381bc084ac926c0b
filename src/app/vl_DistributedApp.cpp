#include "app/vl_DistributedApp.hpp"

#include <unistd.h>

#include <algorithm>
#include <limits>

#include "app/vl_Facility.hpp"
#include "app/vl_TomlLoader.hpp"
#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"
#include "protocol/vl_OSCRecv.hpp"

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace vl {

namespace {

void startSockets() {
#ifdef _WIN32
  WSADATA data;
  const int error = WSAStartup(MAKEWORD(2, 2), &data);
  if (error != 0) printError("WSAStartup failed with error: %d\n", error);
#endif
}

std::string localHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

// A rank or group of the node table, or nothing (with the reason printed) when it has none
// that fits 16 bits.
std::optional<uint16_t> nodeNumber(const cpptoml::table& node, const std::string& host,
                                   const char* key) {
  if (!node.contains(key)) {
    print("WARNING: node %s not given %s\n", host.c_str(), key);
    return std::nullopt;
  }
  auto value = node.get_as<int64_t>(key);
  if (!value || *value < 0 || *value > std::numeric_limits<uint16_t>::max()) {
    print("WARNING: node %s has no %s from 0 to 65535; not using it\n", host.c_str(), key);
    return std::nullopt;
  }
  return static_cast<uint16_t>(*value);
}

}  // namespace

DistributedApp::DistributedApp() = default;
DistributedApp::~DistributedApp() = default;

std::string DistributedApp::setting(const std::string& name) const {
  auto it = mSettings.find(name);
  return it == mSettings.end() ? std::string() : it->second;
}

std::string DistributedApp::calibrationDataRoot(const std::string& defaultPath) const {
  const std::string host = mHostName.empty() ? localHostName() : mHostName;
  return Facility::isRendererHost(host) ? Facility::CALIBRATION_DIRECTORY : defaultPath;
}

void DistributedApp::takeRole(const std::string& role) {
  if (auto caps = roleCapabilities(role)) {
    capabilities = *caps;
  } else {
    capabilities = CAP_NONE;
    printError("WARNING: Setting no capabilities for this app from config file\n");
  }
}

void DistributedApp::prepare() {
  if (mPrepared) return;
  startSockets();
  mHostName = localHostName();

  if (!File::exists(NODE_TABLE_FILE) && Facility::isFacilityHost(mHostName)) {
    if (File::writeReplacing(NODE_TABLE_FILE, Facility::defaultNodeTable()) !=
        File::WriteResult::OK) {
      printError("ERROR: could not write the default node table %s\n", NODE_TABLE_FILE);
    }
  }

  TomlLoader loader(NODE_TABLE_FILE);
  auto root = loader.root();
  if (auto nodes = root->get_table_array("node")) {
    mHasNodeTable = true;
    for (const auto& node : *nodes) {
      auto host = node->get_as<std::string>("host");
      if (!host) {
        print("WARNING: node without host in %s; ignoring it\n", NODE_TABLE_FILE);
        continue;
      }
      const std::string role = node->get_as<std::string>("role").value_or("");
      auto dataRoot = node->get_as<std::string>("dataRoot");
      if (!dataRoot) print("WARNING: node %s not given dataRoot\n", host->c_str());
      auto nodeRank = nodeNumber(*node, *host, "rank");
      auto nodeGroup = nodeNumber(*node, *host, "group");
      // The first entry of a host decides; a later one of the same name only adds a listener.
      if (*host == mHostName && !mFoundInNodeTable) {
        takeRole(role);
        mFoundInNodeTable = true;
        if (dataRoot) this->dataRoot = *dataRoot;
        if (nodeRank) rank = *nodeRank;
        if (nodeGroup) group = *nodeGroup;
      }
      mNodes[*host] = role;
    }
    if (!mFoundInNodeTable) {
      print("WARNING: node %s not found in node table!\n\t*Using default desktop setting!*\n",
            mHostName.c_str());
      takeRole("desktop");
    }
  } else if (auto profile = Facility::hostProfile(mHostName)) {
    static_cast<NodeConfiguration&>(*this) = *profile;
  } else {
    takeRole("desktop");
  }

  if (hasCapability(CAP_BROADCAST) && Facility::isFacilityHost(mHostName) &&
      !root->contains("broadcastAddress")) {
    loader.set("broadcastAddress", Facility::BROADCAST_ADDRESS);
    loader.writeFile();
  }
  auto broadcast = root->get_as<std::string>("broadcastAddress");
  if (root->contains("broadcastAddress") && !broadcast) {
    print("WARNING: broadcastAddress in %s is not a string; not using it\n", NODE_TABLE_FILE);
  }
  mSettings["broadcastAddress"] = broadcast && mFoundInNodeTable ? *broadcast : "127.0.0.1";

  decideRoleByPort();

  if (hasCapability(CAP_AUDIO_IO)) {
    mAudioDomain->gain(gain.get());
    gain.registerChangeCallback([this](float g) { mAudioDomain->gain(g); });
  } else {
    mDomainList.erase(std::remove(mDomainList.begin(), mDomainList.end(),
                                  std::static_pointer_cast<ComputationDomain>(mAudioDomain)),
                      mDomainList.end());
  }

  mOSCDomain->parameterServer().registerParameter(gain);
  initializeDomains();
  mPrepared = true;
}

void DistributedApp::decideRoleByPort() {
  bool taken = false;
  {
    osc::Recv probe;
    taken = !probe.open(mOSCDomain->port, mOSCDomain->interfaceIP);
  }
  if (taken) {
    // Another instance runs here already: this one follows it without any configuration.
    capabilities = CAP_BROADCAST | CAP_OMNIRENDERING | CAP_OSC;
    rank = 99;
    print("Replica: %s:Running distributed\n", mHostName.c_str());
  } else if (rank != 0) {
    print("Secondary: rank %d\n", rank);
  } else {
    print("Primary: %s:Running distributed\n", mHostName.c_str());
  }
}

void DistributedApp::start() {
  prepare();

  if (hasCapability(CAP_OMNIRENDERING)) {
    mOmniRendererDomain = std::make_shared<OmniRendererDomain>();
    mOpenGLGraphicsDomain->addWindow(mOmniRendererDomain);
    bindWindowDomain(*mOmniRendererDomain);
    // The primary shows what its controls act on; the others show the whole sphere.
    panorama.set(rank != 0 ? 1.0f : 0.0f);
    mOmniRendererDomain->omniRendering(rank != 0);
    // The callback runs on the receive thread: it keeps its own handle on the window.
    panorama.registerChangeCallback(
        [omni = std::weak_ptr<OmniRendererDomain>(mOmniRendererDomain)](float on) {
          if (auto window = omni.lock()) window->omniRendering(on == 1.0f);
        });
    mOSCDomain->parameterServer().registerParameter(panorama);
  } else if (hasCapability(CAP_WINDOW)) {
    mDefaultWindowDomain = mOpenGLGraphicsDomain->newWindow();
    bindWindowDomain(*mDefaultWindowDomain);
  }

  if (rank == 0) {
    print("Running Primary\n");
    ParameterServer& server = mOSCDomain->parameterServer();
    if (mHasNodeTable) {
      for (const auto& [host, role] : mNodes) {
        if (host != mHostName) server.addListener(host, mOSCDomain->port);
      }
    } else {
      print("WARNING: not adding extra listeners due to missing node table in %s\n",
            NODE_TABLE_FILE);
    }
    server.notifyAll(server);
  }

  runDomains();
}

GLFWOpenGLWindowDomain* DistributedApp::windowDomain() const {
  if (mOmniRendererDomain) return mOmniRendererDomain.get();
  return App::windowDomain();
}

void DistributedApp::releaseWindowDomains() {
  App::releaseWindowDomains();
  mOmniRendererDomain = nullptr;
}

}  // namespace vl
