#include "protocol/vl_PresetServer.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "core/vl_Console.hpp"

namespace vl {

namespace {

// A preset index from one "f" or "i" argument, a float truncated toward zero. A value with
// no integer (NaN, infinite, beyond the int range) is refused.
bool readIndex(osc::Message& m, int& index) {
  if (m.typeTags() == "i") {
    int32_t v = 0;
    m >> v;
    index = v;
    return true;
  }
  if (m.typeTags() != "f") return false;
  float v = 0.0f;
  m >> v;
  if (!std::isfinite(v) || v >= 2147483648.0f || v < -2147483648.0f) {
    printError("ERROR: Preset index %g out of range\n", v);
    return false;
  }
  index = static_cast<int>(v);
  return true;
}

// N of "/N": decimal digits only, within the int range.
bool parseIndex(std::string_view text, int& index) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

PresetServer::PresetServer(ParameterServer& server) : mServer(server) {
  mServer.addPacketHandler(this);
}

PresetServer::~PresetServer() {
  // Waits for a dispatch in progress, then no recall reaches this server any more.
  mServer.removePacketHandler(this);
  detach();
}

void PresetServer::registerPresetHandler(PresetHandler& handler) {
  {
    std::lock_guard<std::mutex> lock(mLock);
    mHandlers.push_back(&handler);
  }
  std::shared_ptr<Link> link = this->link();
  handler.registerPresetCallback([link](int index, PresetHandler*, void*) {
    link->with([&](OSCNotifier& n) { static_cast<PresetServer&>(n).announceRecall(index); });
  });
}

void PresetServer::setAddress(std::string path) {
  std::lock_guard<std::mutex> lock(mLock);
  mPath = std::move(path);
}

std::string PresetServer::getAddress() {
  std::lock_guard<std::mutex> lock(mLock);
  return mPath;
}

std::string PresetServer::lastSender() {
  std::lock_guard<std::mutex> lock(mLock);
  return mLastSender;
}

std::vector<PresetHandler*> PresetServer::handlers() {
  std::lock_guard<std::mutex> lock(mLock);
  return mHandlers;
}

void PresetServer::announceRecall(int index) {
  if (mNotifyRecalls) notifyListeners(getAddress(), int32_t(index), nullptr);
}

void PresetServer::recall(int index) {
  for (PresetHandler* h : handlers()) h->recallPreset(index);
}

void PresetServer::recall(const std::string& name) {
  for (PresetHandler* h : handlers()) h->recallPreset(name);
}

// The largest int is refused too: the next index after it, which a store by name may take,
// does not exist.
void PresetServer::store(int index) {
  if (index < 0 || index == std::numeric_limits<int>::max()) {
    printError("ERROR: Refusing to store preset at index %d\n", index);
    return;
  }
  for (PresetHandler* h : handlers()) h->storePreset(index, "", true);
}

void PresetServer::store(const std::string& name) {
  for (PresetHandler* h : handlers()) h->storePreset(name);
}

void PresetServer::onMessage(osc::Message& m) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mLock);
    mLastSender = m.senderAddress();
    path = mPath;
  }
  const std::string& address = m.addressPattern();
  if (address.compare(0, path.size(), path) != 0) return;
  const std::string_view rest = std::string_view(address).substr(path.size());
  const std::string& tags = m.typeTags();

  if (rest.empty()) {
    int index = 0;
    if (tags == "s") {
      std::string name;
      m >> name;
      if (mAllowStore && takeStoreMode()) {
        store(name);
      } else {
        recall(name);
      }
    } else if (readIndex(m, index)) {
      if (mAllowStore && takeStoreMode()) {
        store(index);
      } else {
        recall(index);
      }
    }
  } else if (rest == "/morphTime") {
    float time = 0.0f;
    if (tags != "f") return;
    m >> time;
    if (!std::isfinite(time)) return;
    for (PresetHandler* h : handlers()) h->setMorphTime(time);
  } else if (rest == "/store") {
    int index = 0;
    if (tags != "f" || !readIndex(m, index)) return;
    // The switch that keeps clients from storing holds for this form too.
    if (!mAllowStore) {
      print("Remote storing disabled\n");
      return;
    }
    store(index);
  } else if (rest == "/storeMode") {
    float on = 0.0f;
    if (tags != "f") return;
    m >> on;
    if (!mAllowStore) {
      print("Remote storing disabled\n");
      return;
    }
    mStoreMode = on != 0.0f;
  } else if (rest == "/queryState") {
    mServer.notifyAll(*this);
  } else if (rest.size() > 1 && rest[0] == '/') {
    int index = 0, value = 0;
    if (!parseIndex(rest.substr(1), index) || !readIndex(m, value) || value != 1) return;
    if (mAllowStore && takeStoreMode()) {
      store(index);
    } else {
      recall(index);
    }
  }
}

}  // namespace vl
