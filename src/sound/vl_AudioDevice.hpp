#pragma once

#include <string>

namespace vl {

// What one audio device offers, as the audio back end reports it.
struct AudioDeviceInfo {
  int mID = -1;
  char mName[128] = {};
  int mChannelsInMax = 0;
  int mChannelsOutMax = 0;
  double mDefaultSampleRate = 0.0;
  bool mValid = false;

  int id() const { return mID; }
  const char* name() const { return mName; }
  int channelsInMax() const { return mChannelsInMax; }
  int channelsOutMax() const { return mChannelsOutMax; }
  double defaultSampleRate() const { return mDefaultSampleRate; }
  bool valid() const { return mValid; }
  bool hasInput() const { return mChannelsInMax > 0; }
  bool hasOutput() const { return mChannelsOutMax > 0; }
};

// An audio device chosen by number, or by part of its name and the directions it must offer.
class AudioDevice : public AudioDeviceInfo {
 public:
  enum StreamMode { INPUT = 1, OUTPUT = 2 };

  // -1 is the default output device.
  explicit AudioDevice(int deviceNum = -1);
  // The first device whose name contains `nameKeyword` and that offers every wanted direction.
  AudioDevice(const std::string& nameKeyword, int streamMode = INPUT | OUTPUT);

  static AudioDevice defaultOutput() { return AudioDevice(-1); }
  static int numDevices();

  // One line: "[ 0] name,  2 in,  8 out, 44100 Hz", or "Invalid device".
  // The device's line of the listing (ends with a line end).
  std::string line() const;
  void print() const;
  static void printAll();

  // The host audio API that device numbers refer to (an RtAudio::Api value). A stream must
  // use the same one, or its device numbers would name other devices.
  static int backEndApi();

 private:
  void setImpl(int deviceNum);
};

}  // namespace vl
