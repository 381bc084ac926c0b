#pragma once

// The piece's OSCQuery server and what its control page shows beyond the parameters: the mode,
// the synth sequence's time and active voices, the presets to recall, which parameters are the
// static voice's sound and drawing, output levels per channel, frame time and audio underflows.
// Start and Stop arrive as "/control/start" and "/control/stop" through the parameter server's
// dispatch and run on the main thread at the next frame.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/vl_TomlLoader.hpp"
#include "protocol/vl_OSCQueryServer.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "sound/vl_AudioIO.hpp"

class VizavevuDer;

class ControlPage : public vl::osc::PacketHandler, public vl::AudioCallback {
 public:
  static constexpr int kMaxChannels = 64;

  ControlPage(VizavevuDer& app, vl::ParameterServer& server);
  ~ControlPage() override;
  ControlPage(const ControlPage&) = delete;
  ControlPage& operator=(const ControlPage&) = delete;

  // Reads "oscQueryLoopbackOnly" (0 or 1) and "oscQueryToken" from the host's configuration,
  // adding them with their defaults when missing. The server starts once the parameter server
  // listens (the first frame after the OSC domain started), beside it. Before audio starts:
  // the level meter joins the audio callbacks.
  void start(vl::TomlLoader& config);
  void stop();
  // The main thread, once a frame: starts the server when due, runs a posted Start or Stop,
  // takes the frame statistics.
  void onFrame();

  // The page's state record, as JSON text.
  std::string state();
  uint16_t port() const { return mServer.port(); }

  void onMessage(vl::osc::Message& message) override;
  // The audio thread: each channel's peak since the page last looked.
  void onAudioCB(vl::AudioIOData& io) override;

  // Where the page's files are: $ZENTHA_WEB_DIR, else "web" in the working directory, else the
  // source tree's.
  static std::string pageRoot();

 private:
  VizavevuDer& mApp;
  vl::ParameterServer& mParameters;
  vl::OSCQueryServer mServer;
  vl::OSCQueryServer::Settings mSettings;
  bool mStartDue = false;  // the main thread's
  bool mMeterAdded = false;
  std::atomic<bool> mStartPosted{false}, mStopPosted{false};
  std::array<std::atomic<float>, kMaxChannels> mPeaks{};
  std::atomic<int> mChannels{0};
  std::atomic<double> mFrameMs{0.0}, mWorstMs{0.0};
  std::atomic<uint64_t> mFrames{0};

  // The node table's hosts, each seen once a message from its address arrived.
  struct Node {
    std::string host, role, address;
    std::atomic<bool> seen{false};
  };
  std::vector<std::unique_ptr<Node>> mNodes;  // fixed after start
};
