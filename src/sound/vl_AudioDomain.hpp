#pragma once

#include <functional>

#include "core/vl_ComputationDomain.hpp"
#include "dsp/Domain.hpp"
#include "sound/vl_AudioIO.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

// The framework's audio domain: owns the audio stream and calls the audio callback (the
// application's sound hook) on the device thread every block.
class AudioDomain : public AsynchronousDomain {
 public:
  AudioDomain();
  ~AudioDomain() override;

  bool init(ComputationDomain* parent = nullptr) override;
  bool cleanup(ComputationDomain* parent = nullptr) override;
  // Opens the stream, publishes its rate, starts it; true when both open and start succeed.
  // With continueWithoutDevice set, a device that cannot be opened or started is reported
  // and the domain still returns true, so the rest of the program keeps running silent.
  bool start() override;
  bool continueWithoutDevice = false;
  // Whether the last start got the stream running.
  bool running() const { return mRunning; }
  // Stops and closes the stream.
  bool stop() override;

  // A negative sample rate takes the device's preferred rate; -1 channels take all of them.
  void configure(const AudioDevice& dev, double audioRate, int framesPerBuffer, int outChans,
                 int inChans);
  void configure(double audioRate = 44100.0, int framesPerBuffer = 512, int outChans = -1,
                 int inChans = -1) {
    configure(AudioDevice(-1), audioRate, framesPerBuffer, outChans, inChans);
  }

  AudioIO& audioIO() { return mAudioIO; }
  const AudioIO& audioIO() const { return mAudioIO; }

  // Output gain, 0 to 2, applied by the stream with a one-block ramp. Safe from any thread;
  // the "gain" parameter and these accessors are the same value.
  void gain(float g) { mGainParameter.set(g); }
  float gain() { return mGainParameter.get(); }
  Parameter& gainParameter() { return mGainParameter; }

  // Runs on the device thread; bind it before start. Unbound, the domain plays silence.
  std::function<void(AudioIOData&)> audioCallback;
  // Runs on the starting thread once the stream is open and before it starts, with the block
  // the callback will get, so that what the audio thread must not allocate is sized now (a
  // synth's or scene's prepare()). Bind it before start.
  std::function<void(AudioIOData&)> audioPrepare;

 protected:
  // Called between open and start with the rate the device accepted, so that anything
  // computed from the sample rate is ready before the first block. Sets the DSP library's
  // master rate.
  virtual void audioRateChanged(double framesPerSecond);

 private:
  static void forward(AudioIOData& io);

  AudioIO mAudioIO;
  Parameter mGainParameter{"gain", "", 1.0f, "", 0.0f, 2.0f};
  bool mRunning = false;
};

// The audio domain that is also a DSP rate domain of its own: units attached to it follow
// the device's rate, as do those of the master domain.
class SonelAudioDomain : public AudioDomain, public snl::Domain {
 protected:
  void audioRateChanged(double framesPerSecond) override;
};

}  // namespace vl
