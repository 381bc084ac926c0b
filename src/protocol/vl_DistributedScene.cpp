#include "protocol/vl_DistributedScene.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <typeinfo>
#include <vector>

#include "core/vl_Console.hpp"
#include "protocol/vl_ParameterAddressTable.hpp"
#include "sound/vl_PositionedVoice.hpp"
#include "sound/vl_SynthRegistry.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

namespace {

// The scene whose network message the current thread is applying: its events are not sent on.
thread_local const DistributedScene* tApplying = nullptr;

struct ApplyingScope {
  explicit ApplyingScope(const DistributedScene* scene) : mPrevious(tApplying) {
    tApplying = scene;
  }
  ~ApplyingScope() { tApplying = mPrevious; }
  const DistributedScene* mPrevious;
};

// "12" -> 12; false for a text without a leading decimal number or one beyond int's range.
bool parseId(const std::string& text, int& id) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
  id = static_cast<int>(value);
  return true;
}

}  // namespace

DistributedScene::DistributedScene(std::string prefix, int threadPoolSize, TimeMasterMode mode)
    : DynamicScene(threadPoolSize, mode), mPrefix(std::move(prefix)) {
  registerTriggerOnCallback(
      [this](SynthVoice* voice, int, int id, void*) { return onLocalTriggerOn(voice, id); });
  registerTriggerOffCallback([this](int id, void*) { return onLocalTriggerOff(id); });
  registerFreeCallback([this](int id, void*) { onVoiceFreed(id); });
}

DistributedScene::~DistributedScene() {
  // The clock thread runs the free callback, which uses this class's members.
  stopClock();
  stopFreeSender();
}

bool DistributedScene::setDestination(uint16_t port, const std::string& address) {
  auto sender = std::make_unique<osc::Send>();
  if (!sender->open(port, address)) return false;
  {
    std::lock_guard<std::mutex> lock(mSendLock);
    mSender = std::move(sender);
    mListeners = nullptr;
  }
  startFreeSender();
  return true;
}

void DistributedScene::setDestination(OSCNotifier& listeners) {
  {
    std::lock_guard<std::mutex> lock(mSendLock);
    mSender.reset();
    mListeners = &listeners;
  }
  startFreeSender();
}

bool DistributedScene::fromNetwork() const {
  return tApplying == this;
}

std::string DistributedScene::address(const char* name) const {
  return mPrefix.empty() ? std::string(name) : "/" + mPrefix + name;
}

void DistributedScene::send(const osc::Packet& packet) {
  std::lock_guard<std::mutex> lock(mSendLock);
  if (mSender) {
    mSender->send(packet);
  } else if (mListeners) {
    mListeners->sendToListeners(packet);
  }
}

bool DistributedScene::onLocalTriggerOn(SynthVoice* voice, int id) {
  if (fromNetwork()) return true;
  if (verbose()) print("voice allocated %d\n", id);
  if (!mSending.load()) return true;
  osc::Packet packet;
  packet.beginMessage(address("/triggerOn"));
  packet.add(int32_t(0)).add(int32_t(id)).add(voice->typeName());
  for (const ParameterField& field : voice->getTriggerParams()) {
    if (field.type() == ParameterField::STRING) {
      packet.add(field.get<std::string>());
    } else {
      packet.add(field.get<float>());
    }
  }
  packet.endMessage();
  if (verbose()) print("Sending trigger on message for voice %d\n", id);
  send(packet);
  return true;
}

bool DistributedScene::onLocalTriggerOff(int id) {
  if (fromNetwork() || !mSending.load()) return true;
  osc::Packet packet;
  packet.beginMessage(address("/triggerOff")).add(int32_t(id)).endMessage();
  if (verbose()) print("Sending trigger off message\n");
  send(packet);
  return true;
}

void DistributedScene::onVoiceFreed(int id) {
  // On the bookkeeping thread, possibly the audio thread: hand the id over and return. A full
  // ring drops the message; the other instances free their voices after their own release.
  if (mSending.load()) mFreedIds.push(id);
}

void DistributedScene::allNotesOff() {
  {
    // Every voice goes, those triggered remotely too, and without free callbacks.
    std::lock_guard<std::mutex> lock(mRemoteLock);
    mRemoteIds.clear();
  }
  if (!fromNetwork() && mSending.load()) {
    osc::Packet packet;
    packet.beginMessage(address("/allNotesOff")).endMessage();
    if (verbose()) print("Sending all notes off message\n");
    send(packet);
  }
  DynamicScene::allNotesOff();
}

// ---- Receiving ----

bool DistributedScene::consumeMessage(osc::Message& message, std::string rootPath) {
  if (!rootPath.empty() && rootPath.back() == '/') rootPath.pop_back();
  const std::string expected = rootPath + (mPrefix.empty() ? "" : "/" + mPrefix);
  const std::string& pattern = message.addressPattern();
  if (pattern.compare(0, expected.size(), expected) != 0 || pattern.size() == expected.size() ||
      pattern[expected.size()] != '/') {
    if (verbose()) print("Prefix %s not matched.\n", mPrefix.c_str());
    return false;
  }
  const std::string rest = pattern.substr(expected.size());
  const std::string& tags = message.typeTags();
  ApplyingScope applying(this);
  message.resetStream();
  if (rest == "/triggerOn") {
    receiveTriggerOn(message);
  } else if (rest == "/triggerOff" || rest == "/remove") {
    if (tags != "i") return true;
    int32_t id = -1;
    message >> id;
    if (rest == "/triggerOff") {
      if (verbose()) print("trigger off received %d\n", id);
      triggerOff(id);
    } else {
      if (verbose()) print("FREE received %d\n", id);
      triggerFree(id);
    }
  } else if (rest == "/allNotesOff") {
    allNotesOff();
  } else if (rest.compare(0, 7, "/voice/") == 0) {
    receiveVoiceMessage(message, rest.substr(7));
  } else {
    return false;
  }
  return true;
}

void DistributedScene::receiveTriggerOn(osc::Message& message) {
  const std::string& tags = message.typeTags();
  if (tags.size() < 3 || tags[0] != 'i' || tags[1] != 'i') return;
  if (tags[2] != 's') {
    printError("Unexpected type for /triggerOn name\n");
    return;
  }
  int32_t offset = 0, id = -1;
  std::string name;
  message >> offset >> id >> name;  // the offset is always 0: voices start at once
  std::vector<ParameterField> fields;
  fields.reserve(tags.size() - 3);
  for (std::size_t i = 3; i < tags.size(); ++i) {
    if (tags[i] == 'f') {
      float v = 0.0f;
      message >> v;
      if (!std::isfinite(v)) {
        printError("ERROR: Non-finite trigger field for voice %d\n", id);
        return;
      }
      fields.emplace_back(v);
    } else if (tags[i] == 's') {
      std::string v;
      message >> v;
      fields.emplace_back(v);
    } else {
      printError("ERROR: Unsupported parameter type for scene trigger\n");
      return;
    }
  }
  if (verbose()) print("trigger on received %d\n", id);
  if (id < 0) {
    // -1 would take a new local id, and no id of a triggered voice is negative.
    printError("ERROR: Invalid voice id %d for /triggerOn\n", id);
    return;
  }
  SynthVoice* voice = name.empty() ? nullptr : getFreeVoice(name);
  if (!voice) {
    print("Can't get free voice of type: %s\n", name.c_str());
    return;
  }
  bool set = false;
  try {
    set = voice->setTriggerParams(fields);
  } catch (const std::exception&) {
  }
  if (!set) {
    printError("ERROR: Too few trigger fields for voice of type %s\n", name.c_str());
    insertFreeVoice(voice);
    return;
  }
  // Remembered first: the voice may be freed before triggerOn returns.
  rememberRemote(id);
  if (triggerOn(voice, 0, id) < 0) {
    forgetRemote(id);
    insertFreeVoice(voice);
  }
}

void DistributedScene::receiveVoiceMessage(osc::Message& message, const std::string& rest) {
  const std::size_t slash = rest.find('/');
  const std::string idText = rest.substr(0, slash);
  const std::string parameterAddress = slash == std::string::npos ? "" : rest.substr(slash);
  int id = -1;
  const bool valid = parseId(idText, id) && id >= 0;
  // Held while the voice's parameters are set, so that the voice stays active meanwhile.
  std::lock_guard<std::mutex> lock(voiceLock());
  SynthVoice* voice = getActiveVoices();
  while (voice && !(valid && voice->active() && voice->id() == id)) voice = nextVoice(voice);
  if (!voice) {
    print(" -- Can't match voice id %s\n", idText.c_str());
    return;
  }
  if (parameterAddress.empty()) return;
  std::vector<ParameterMeta*> params = voice->triggerParameters();
  params.insert(params.end(), voice->parameters().begin(), voice->parameters().end());
  if (auto* positioned = dynamic_cast<PositionedVoice*>(voice)) {
    for (ParameterMeta* own : {static_cast<ParameterMeta*>(&positioned->parameterPose()),
                               static_cast<ParameterMeta*>(&positioned->parameterSize())}) {
      if (std::find(params.begin(), params.end(), own) == params.end()) params.push_back(own);
    }
  }
  for (ParameterMeta* p : params) {
    ParameterAddressTable::applyAt(*p, parameterAddress, message, nullptr);
  }
}

void DistributedScene::rememberRemote(int id) {
  // Only frees that would be sent need telling apart. The bound keeps ids whose free
  // never came back (a full ring) from piling up.
  if (!mSending.load()) return;
  std::lock_guard<std::mutex> lock(mRemoteLock);
  if (mRemoteIds.size() >= kMaxRemoteIds) mRemoteIds.clear();
  ++mRemoteIds[id];
}

bool DistributedScene::forgetRemote(int id) {
  std::lock_guard<std::mutex> lock(mRemoteLock);
  auto it = mRemoteIds.find(id);
  if (it == mRemoteIds.end()) return false;
  if (--it->second == 0) mRemoteIds.erase(it);
  return true;
}

// ---- The free sender ----

void DistributedScene::startFreeSender() {
  std::lock_guard<std::mutex> lock(mFreeSenderLock);
  if (mFreeSender.joinable()) return;
  mFreeSenderStop = false;
  mSending.store(true);
  mFreeSender = std::thread([this] { freeSenderLoop(); });
}

void DistributedScene::stopFreeSender() {
  std::thread sender;
  {
    std::lock_guard<std::mutex> lock(mFreeSenderLock);
    mFreeSenderStop = true;
    sender = std::move(mFreeSender);
  }
  mFreeSenderWake.notify_all();
  if (sender.joinable()) sender.join();
}

void DistributedScene::freeSenderLoop() {
  osc::Packet packet;
  int32_t ids[16];
  std::unique_lock<std::mutex> lock(mFreeSenderLock);
  while (!mFreeSenderStop) {
    lock.unlock();
    while (uint32_t n = mFreedIds.pop(ids, 16)) {
      for (uint32_t i = 0; i < n; ++i) {
        if (forgetRemote(ids[i])) continue;  // the instance that triggered it frees it
        packet.clear();
        packet.beginMessage(address("/remove")).add(ids[i]).endMessage();
        if (verbose()) print(" -- Sending free message %d\n", ids[i]);
        send(packet);
      }
    }
    lock.lock();
    // The bookkeeping thread cannot wake this one without risking a wait, so it polls.
    mFreeSenderWake.wait_for(lock, std::chrono::milliseconds(1),
                             [this] { return mFreeSenderStop; });
  }
}

}  // namespace vl
