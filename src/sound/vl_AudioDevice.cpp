#include "sound/vl_AudioDevice.hpp"

#include <RtAudio.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace vl {

namespace {
// One back-end instance serves every device query; the back end picks the same host API as a
// stream's own instance, so device numbers agree between the two.
RtAudio* queryBackEnd() {
  static std::once_flag once;
  static std::unique_ptr<RtAudio> rt;
  std::call_once(once, [] {
    try {
      rt = std::make_unique<RtAudio>();
    } catch (RtAudioError& e) {
      e.printMessage();
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

int AudioDevice::numDevices() {
  RtAudio* rt = queryBackEnd();
  return rt ? static_cast<int>(rt->getDeviceCount()) : 0;
}

void AudioDevice::setImpl(int deviceNum) {
  mID = deviceNum;
  mValid = false;
  // The back end reports a default device even when it has none; asking for its details
  // would throw, so an index beyond the count is simply an invalid device.
  if (deviceNum < 0 || deviceNum >= numDevices()) return;
  try {
    RtAudio::DeviceInfo info = queryBackEnd()->getDeviceInfo(static_cast<unsigned>(deviceNum));
    if (!info.probed) return;
    std::snprintf(mName, sizeof(mName), "%s", info.name.c_str());
    mChannelsInMax = static_cast<int>(info.inputChannels);
    mChannelsOutMax = static_cast<int>(info.outputChannels);
    mDefaultSampleRate = info.preferredSampleRate;
    mValid = true;
  } catch (RtAudioError& e) {
    e.printMessage();
  }
}

void AudioDevice::print() const {
  if (!valid()) {
    std::printf("Invalid device\n");
    return;
  }
  std::printf("[%2d] %s, ", id(), name());
  if (hasInput()) std::printf("%2i in, ", channelsInMax());
  if (hasOutput()) std::printf("%2i out, ", channelsOutMax());
  std::printf("%.0f Hz\n", defaultSampleRate());
}

void AudioDevice::printAll() {
  const int n = numDevices();
  for (int i = 0; i < n; ++i) {
    std::printf("[%2d] ", i);
    AudioDevice(i).print();
  }
}

}  // namespace vl
