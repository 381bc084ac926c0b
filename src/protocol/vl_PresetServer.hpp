#pragma once

// Lets remote clients recall and store the presets of one or more preset handlers and set
// their morph time, and tells its listeners of every recall. It receives the messages of the
// parameter server it is given, whose packet handler it is while it lives.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "protocol/vl_OSCNotifier.hpp"
#include "protocol/vl_ParameterServer.hpp"
#include "ui/vl_PresetHandler.hpp"

namespace vl {

class PresetServer : public osc::PacketHandler, public OSCNotifier {
 public:
  explicit PresetServer(ParameterServer& server);
  ~PresetServer() override;

  // Not owned. Its recalls are announced to the listeners while this server lives.
  void registerPresetHandler(PresetHandler& handler);
  PresetServer& operator<<(PresetHandler& handler) {
    registerPresetHandler(handler);
    return *this;
  }

  // The OSC path of the preset messages, "/preset" by default.
  void setAddress(std::string path);
  std::string getAddress();
  // Whether clients may store presets (on by default).
  void allowStore(bool allow) { mAllowStore = allow; }
  bool storeAllowed() const { return mAllowStore; }
  // While on, the next index or name at the path stores instead of recalling.
  void setStoreMode(bool on) { mStoreMode = on; }
  bool storeMode() const { return mStoreMode; }
  void notifyPresetChange(bool notify) { mNotifyRecalls = notify; }
  // The sender of the last message received, as "address:port".
  std::string lastSender();

  void onMessage(osc::Message& message) override;

 private:
  void recall(int index);
  void recall(const std::string& name);
  void store(int index);
  void store(const std::string& name);
  // Store mode is used up by one store through the path.
  bool takeStoreMode() { return mStoreMode.exchange(false); }
  void announceRecall(int index);
  std::vector<PresetHandler*> handlers();

  ParameterServer& mServer;
  std::mutex mLock;  // handlers, path, last sender
  std::vector<PresetHandler*> mHandlers;
  std::string mPath = "/preset";
  std::string mLastSender;
  std::atomic<bool> mAllowStore{true};
  std::atomic<bool> mStoreMode{false};
  std::atomic<bool> mNotifyRecalls{true};
};

}  // namespace vl
