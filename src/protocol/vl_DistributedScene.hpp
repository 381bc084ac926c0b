#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCNotifier.hpp"
#include "protocol/vl_OSCPacket.hpp"
#include "sound/vl_DynamicScene.hpp"
#include "sound/vl_VoiceIdRing.hpp"

namespace vl {

// A scene that mirrors its voices between instances: the instance that plays sends its
// trigger on, trigger off, free and all-notes-off events over OSC, and the others, which
// receive them through consumeMessage(), start, stop and free the same voices under the same
// ids. Addresses are "/" + prefix + "/triggerOn" and so on, or "/triggerOn" with no prefix.
// The first argument of "/triggerOn" is sent as 0 and ignored on receipt: a mirrored voice
// starts when its message arrives.
//
// Events that arrive from the network are not sent on again, so two scenes that send to each
// other do not echo. Trigger messages go out on the thread that triggers the voice. A free
// happens on the scene's bookkeeping thread, which may be the audio thread: its id goes
// through a lock-free ring to a sending thread of the scene's own.
//
// The scene's trigger-on callback is registered first, at construction: a trigger refused by
// a callback registered later has already been announced. Announcements go out when a trigger
// is prepared: a synth sequencer that prepares its voices ahead of time announces them early.
class DistributedScene : public DynamicScene, public osc::MessageConsumer {
 public:
  // prefix: the scene's name in its addresses. threadPoolSize and mode as for DynamicScene.
  explicit DistributedScene(std::string prefix = "", int threadPoolSize = 0,
                            TimeMasterMode mode = TIME_MASTER_AUDIO);
  ~DistributedScene() override;

  // Where events go (another instance). False when the address does not resolve. Until it
  // succeeds, nothing is sent. Safe while voices are triggered.
  bool setDestination(uint16_t port, const std::string& address = "localhost");
  // Or to every listener of a notifier: a parameter server's listeners are the other instances
  // of a distributed setup, those of its node table and those that announced themselves. The
  // notifier must outlive the scene.
  void setDestination(OSCNotifier& listeners);

  const std::string& prefix() const { return mPrefix; }

  // Moves every active voice to the free list, and tells the other instances to do so.
  void allNotesOff() override;

  // Handles the scene's messages under rootPath + "/" + prefix: "/triggerOn", "/triggerOff",
  // "/remove", "/allNotesOff" and "/voice/<id>/<parameter address>". True for any of them,
  // including those refused for bad arguments; false for every other address. Runs on the
  // receiving thread; it takes the scene's voice lock, never on the audio thread.
  bool consumeMessage(osc::Message& message, std::string rootPath) override;

 private:
  bool fromNetwork() const;
  std::string address(const char* name) const;
  void send(const osc::Packet& packet);

  // The scene's own callbacks: they announce local events.
  bool onLocalTriggerOn(SynthVoice* voice, int id);
  bool onLocalTriggerOff(int id);
  void onVoiceFreed(int id);

  void receiveTriggerOn(osc::Message& message);
  void receiveVoiceMessage(osc::Message& message, const std::string& rest);

  // Remembers the ids of voices triggered by another instance, whose frees are theirs too.
  void rememberRemote(int id);
  bool forgetRemote(int id);

  void startFreeSender();
  void stopFreeSender();
  void freeSenderLoop();

  const std::string mPrefix;

  std::mutex mSendLock;  // guards opening the sender against sending through it
  std::unique_ptr<osc::Send> mSender;
  OSCNotifier* mListeners = nullptr;  // instead of mSender
  std::atomic<bool> mSending{false};  // a destination is set

  static constexpr std::size_t kMaxRemoteIds = 4096;
  std::mutex mRemoteLock;
  std::map<int, int> mRemoteIds;  // id -> voices triggered remotely under it

  // Freed ids, from the bookkeeping thread to the free sender.
  VoiceIdRing mFreedIds;
  std::thread mFreeSender;
  std::mutex mFreeSenderLock;
  std::condition_variable mFreeSenderWake;
  bool mFreeSenderStop = false;
};

}  // namespace vl
