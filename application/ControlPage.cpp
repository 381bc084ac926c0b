#include "ControlPage.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>

#include "AppParameters.hpp"
#include "KeyNotes.hpp"
#include "VizavevuDer.hpp"
#include "core/vl_Console.hpp"
#include "protocol/vl_OSCEndpoint.hpp"

namespace {

// The dotted IPv4 address of a host, as message senders are given; empty when it has none.
std::string ipv4Address(const std::string& host) {
  try {
    char text[IpEndpointName::ADDRESS_STRING_LENGTH];
    vl::osc::resolveEndpoint(host, 0).AddressAsString(text);
    return text;
  } catch (const std::exception&) {
    return "";
  }
}

// Keys that recall presets in static-atom mode, with the preset each recalls.
nlohmann::json keyPresets() {
  std::vector<std::pair<int, char>> found;
  for (int c = 33; c < 127; ++c) {
    if (c >= 'A' && c <= 'Z') continue;  // the keys arrive as lower case
    const int number = presetNumberForKey(c);
    if (number != 0) found.emplace_back(number, char(c));
  }
  // In the keyboard's order, low notes first.
  std::sort(found.begin(), found.end());
  nlohmann::json keys = nlohmann::json::array();
  for (auto [number, key] : found)
    keys.push_back({{"key", std::string(1, key)}, {"preset", number}});
  return keys;
}

nlohmann::json addresses(const std::vector<vl::ParameterMeta*>& parameters) {
  nlohmann::json out = nlohmann::json::array();
  for (vl::ParameterMeta* p : parameters) out.push_back(p->getFullAddress());
  return out;
}

}  // namespace

ControlPage::ControlPage(VizavevuDer& app, vl::ParameterServer& server)
    : mApp(app), mParameters(server), mServer(server) {
  mServer.addStateProvider("piece", [this] { return state(); });
}

ControlPage::~ControlPage() {
  stop();
}

std::string ControlPage::pageRoot() {
  if (const char* dir = std::getenv("ZENTHA_WEB_DIR")) return dir;
  std::error_code ec;
  if (std::filesystem::exists("web/index.html", ec)) return "web";
  return ZENTHA_WEB_DIR;
}

void ControlPage::start(vl::TomlLoader& config) {
  int64_t loopbackOnly = 0;
  std::string token;
  bool missing = false;
  try {
    loopbackOnly = config.get<int64_t>("oscQueryLoopbackOnly");
  } catch (const std::exception&) {
    missing = true;
    try {
      config.set("oscQueryLoopbackOnly", loopbackOnly);
    } catch (const std::exception&) {
    }
  }
  try {
    token = config.get<std::string>("oscQueryToken");
  } catch (const std::exception&) {
    missing = true;
    try {
      config.set("oscQueryToken", token);
    } catch (const std::exception&) {
    }
  }
  if (missing) config.writeFile();

  // The node table's hosts are looked up once, here: a lookup on the receiving thread could
  // stall it. This instance is seen by itself.
  mNodes.clear();
  for (const auto& [host, role] : mApp.nodes()) {
    auto node = std::make_unique<Node>();
    node->host = host;
    node->role = role;
    node->address = ipv4Address(host);
    node->seen.store(host == mApp.hostName());
    mNodes.push_back(std::move(node));
  }

  mSettings = {};
  if (loopbackOnly != 0) mSettings.address = "127.0.0.1";
  mSettings.token = token;
  mSettings.pageRoot = pageRoot();
  mParameters.addPacketHandler(this);
  if (!mMeterAdded) {
    mApp.audioDomain()->audioIO().append(*this);
    mMeterAdded = true;
  }
  mStartDue = true;
}

void ControlPage::stop() {
  mStartDue = false;
  mServer.stop();
  mParameters.removePacketHandler(this);
}

void ControlPage::onFrame() {
  if (mStartDue && mParameters.isRunning()) {
    mStartDue = false;
    mSettings.name = "ZENTHA " + std::to_string(mParameters.serverPort());
    mServer.start(mSettings);
  }
  if (mStartPosted.exchange(false)) mApp.startPiece();
  if (mStopPosted.exchange(false)) mApp.stopPiece();
  const FrameStats& stats = mApp.frameStats();
  mFrameMs.store(stats.meanMs());
  mWorstMs.store(stats.worstMs());
  mFrames.store(stats.frames());
}

void ControlPage::onMessage(vl::osc::Message& m) {
  // The sender is "address:port".
  const std::string& sender = m.senderAddress();
  const std::string_view from(sender.data(), std::min(sender.size(), sender.rfind(':')));
  for (const auto& node : mNodes) {
    if (!node->address.empty() && node->address == from) node->seen.store(true);
  }
  const std::string& address = m.addressPattern();
  if (address == "/control/start") {
    mStartPosted.store(true);
  } else if (address == "/control/stop") {
    mStopPosted.store(true);
  } else if (address == "/control/defaultPreset" && m.typeTags() == "i") {
    int32_t index = 0;
    m >> index;
    const auto& names = AppParameters::defaultPresetNames();
    if (index >= 0 && size_t(index) < names.size()) mApp.appParameters().defaultPresets.set(index);
  }
}

void ControlPage::onAudioCB(vl::AudioIOData& io) {
  const int channels = std::min(io.channelsOut(), kMaxChannels);
  mChannels.store(channels, std::memory_order_relaxed);
  for (int c = 0; c < channels; ++c) {
    const float* out = io.outBuffer(c);
    float peak = 0.0f;
    for (int i = 0; i < io.framesPerBuffer(); ++i) peak = std::max(peak, std::fabs(out[i]));
    float held = mPeaks[size_t(c)].load(std::memory_order_relaxed);
    while (peak > held && !mPeaks[size_t(c)].compare_exchange_weak(held, peak)) {
    }
  }
}

std::string ControlPage::state() {
  AppParameters& params = mApp.appParameters();
  nlohmann::json s;
  s["mode"] = params.showStaticAtom.get() == 1.0f ? "static" : "sequence";
  vl::SynthSequencer& sequencer = mApp.synthSequencer();
  s["playing"] = sequencer.playing();
  s["time"] = sequencer.playing() ? sequencer.currentTime() : 0.0;
  int voices = 0;
  std::unique_lock<std::mutex> lock(mApp.scene().voiceLock(), std::try_to_lock);
  if (lock.owns_lock()) {
    for (vl::SynthVoice* v = mApp.scene().getActiveVoices(); v; v = vl::PolySynth::nextVoice(v)) {
      ++voices;
    }
    s["activeVoices"] = voices;
  } else {
    s["activeVoices"] = nullptr;  // the scene is busy; the next look sees it
  }
  lock = {};
  s["defaultPresets"] = AppParameters::defaultPresetNames();
  s["defaultPreset"] = params.defaultPresets.get();
  s["keyPresets"] = keyPresets();
  HydrogenVoice& voice = mApp.staticVoice();
  s["sound"] = addresses(voice.sound().parameters().parameters());
  s["drawing"] = addresses(voice.visual().parameters().parameters());
  nlohmann::json levels = nlohmann::json::array();
  for (int c = 0; c < mChannels.load(); ++c) levels.push_back(mPeaks[size_t(c)].exchange(0.0f));
  s["levels"] = levels;
  s["frameMs"] = mFrameMs.load();
  s["worstFrameMs"] = mWorstMs.load();
  s["frames"] = mFrames.load();
  s["underflows"] = mApp.audioDomain()->audioIO().underflowCount();
  s["primary"] = mApp.isPrimary();
  nlohmann::json nodes = nlohmann::json::array();
  for (const auto& node : mNodes) {
    nodes.push_back({{"name", node->host}, {"role", node->role}, {"seen", node->seen.load()}});
  }
  s["nodes"] = nodes;
  return s.dump();
}
