#include "sound/vl_AudioDevice.hpp"

#include <RtAudio.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

// The back end's own message, written through C stdio: the back end's notices from the JACK
// thread can leave std::cerr in a failed state when the server goes away, which would
// silence every later message printed through it.
void printError(const RtAudioError& e) {
  vl::printError("\n%s\n\n", e.getMessage().c_str());
}
// One back-end instance serves every device query; the back end picks the same host API as a
// stream's own instance, so device numbers agree between the two.
RtAudio* queryBackEnd() {
  static std::once_flag once;
  static std::unique_ptr<RtAudio> rt;
  std::call_once(once, [] {
    try {
      rt = std::make_unique<RtAudio>();
    } catch (RtAudioError& e) {
      printError(e);
    }
  });
  return rt.get();
}
}  // namespace

AudioDevice::AudioDevice(int deviceNum) {
  if (deviceNum < 0) {
    RtAudio* rt = queryBackEnd();
    deviceNum = rt ? static_cast<int>(rt->getDefaultOutputDevice()) : -1;
  }
  setImpl(deviceNum);
}

AudioDevice::AudioDevice(const std::string& nameKeyword, int streamMode) {
  const int n = numDevices();
  for (int i = 0; i < n; ++i) {
    AudioDevice dev(i);
    if (!dev.valid() || std::strstr(dev.name(), nameKeyword.c_str()) == nullptr) continue;
    if ((streamMode & INPUT) && !dev.hasInput()) continue;
    if ((streamMode & OUTPUT) && !dev.hasOutput()) continue;
    *this = dev;
    return;
  }
}

int AudioDevice::backEndApi() {
  RtAudio* rt = queryBackEnd();
  return rt ? static_cast<int>(rt->getCurrentApi()) : static_cast<int>(RtAudio::UNSPECIFIED);
}

int AudioDevice::numDevices() {
  RtAudio* rt = queryBackEnd();
  return rt ? static_cast<int>(rt->getDeviceCount()) : 0;
}

void AudioDevice::setImpl(int deviceNum) {
  mID = deviceNum;
  mValid = false;
  RtAudio* rt = queryBackEnd();
  if (deviceNum < 0 || !rt) return;
  try {
    RtAudio::DeviceInfo info = rt->getDeviceInfo(static_cast<unsigned>(deviceNum));
    if (!info.probed) return;
    std::snprintf(mName, sizeof(mName), "%s", info.name.c_str());
    mChannelsInMax = static_cast<int>(info.inputChannels);
    mChannelsOutMax = static_cast<int>(info.outputChannels);
    mDefaultSampleRate = info.preferredSampleRate;
    mValid = true;
  } catch (RtAudioError& e) {
    // A number beyond the devices present (the back end names device 0 the default even
    // when there is none) is simply an invalid device; anything else is worth reporting.
    if (e.getType() != RtAudioError::INVALID_DEVICE &&
        e.getType() != RtAudioError::INVALID_PARAMETER &&
        e.getType() != RtAudioError::INVALID_USE) {
      printError(e);
    }
  }
}

std::string AudioDevice::line() const {
  if (!valid()) return "Invalid device\n";
  char text[256];
  int n = std::snprintf(text, sizeof(text), "[%2d] %s, ", id(), name());
  if (hasInput()) n += std::snprintf(text + n, sizeof(text) - n, "%2i in, ", channelsInMax());
  if (hasOutput()) n += std::snprintf(text + n, sizeof(text) - n, "%2i out, ", channelsOutMax());
  std::snprintf(text + n, sizeof(text) - n, "%.0f Hz\n", defaultSampleRate());
  return text;
}

void AudioDevice::print() const {
  vl::print("%s", line().c_str());
}

void AudioDevice::printAll() {
  const int n = numDevices();
  for (int i = 0; i < n; ++i) {
    vl::print("[%2d] %s", i, AudioDevice(i).line().c_str());
  }
}

}  // namespace vl
