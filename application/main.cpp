// ZENTHA: the piece. Picks its audio device by the machine it runs on, then runs until its
// window closes, control-q, SIGINT or SIGTERM, and exits with status 0.
#include <csignal>
#include <memory>

#include "HostProfiles.hpp"
#include "VizavevuDer.hpp"
#include "dsp/Domain.hpp"

namespace {
void onSignal(int) {
  VizavevuDer::requestQuit();
}
}  // namespace

int main() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  auto app = std::make_unique<VizavevuDer>();
  vl::AudioDevice device(-1);
  device = chooseAudioDevice(findHostProfile(currentHostName()));
  vl::AudioIO& io = app->audioDomain()->audioIO();
  io.channelsBus(1);
  app->audioDomain()->configure(device, 44100.0, 512, device.channelsOutMax(), 0);
  snl::Domain::master().setSampleRate(io.framesPerSecond());
  io.print();
  app->start();
  app.reset();
  return 0;
}
