#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "app/vl_StateFragmenter.hpp"
#include "core/vl_ComputationDomain.hpp"
#include "core/vl_Console.hpp"
#include "protocol/vl_OSCPacket.hpp"

namespace vl {

// Sends the record once per tick, after the simulation function, to one destination (a host or
// a broadcast address). The settings may change from any thread; the next tick uses them.
template <class T>
class StateSendDomain : public SynchronousDomain {
  static_assert(std::is_trivially_copyable_v<T>, "a state record is copied as raw bytes");

 public:
  bool init(ComputationDomain* parent = nullptr) override {
    if (address().empty()) print("WARNING: no destination address for the state, nothing sent\n");
    return ComputationDomain::init(parent);
  }

  bool cleanup(ComputationDomain* parent = nullptr) override {
    const bool ok = ComputationDomain::cleanup(parent);
    std::lock_guard<std::mutex> lock(mMutex);
    mSender.reset();
    mState.reset();
    return ok;
  }

  bool tick() override {
    tickSubdomains(true);
    {
      std::lock_guard<std::mutex> lock(mMutex);
      // The socket is kept from frame to frame and opened again when the destination changes
      // or the last opening failed; a failed frame is retried with the next frame's record.
      if (mState && !mAddress.empty()) {
        if (!mSender || mSender->address() != mAddress || mSender->port() != mPort) {
          mSender = std::make_unique<osc::Send>();
          if (!mSender->open(mPort, mAddress)) mSender.reset();
        }
        if (mSender && mFragmenter.send(*mSender, mId, mState.get(), sizeof(T), mPacketSize)) {
          ++mRecordsSent;
        }
      }
    }
    tickSubdomains(false);
    return true;
  }

  void setState(std::shared_ptr<T> state) {
    std::lock_guard<std::mutex> lock(mMutex);
    mState = std::move(state);
  }
  std::shared_ptr<T> state() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mState;
  }

  void setId(const std::string& id) {
    std::lock_guard<std::mutex> lock(mMutex);
    mId = id;
  }
  void setAddress(const std::string& address) {
    std::lock_guard<std::mutex> lock(mMutex);
    mAddress = address;
  }
  void setPort(uint16_t port) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPort = port;
  }
  void setPacketSize(uint16_t size) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPacketSize = size;
  }
  std::string id() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mId;
  }
  std::string address() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mAddress;
  }
  uint16_t port() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPort;
  }
  uint16_t packetSize() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mPacketSize;
  }
  // Records whose every datagram was handed to the network.
  uint64_t recordsSent() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mRecordsSent;
  }

 private:
  std::shared_ptr<T> mState;
  std::mutex mMutex;
  uint16_t mPort = 10101;
  std::string mAddress;
  uint16_t mPacketSize = 1400;
  std::string mId = "state";
  std::unique_ptr<osc::Send> mSender;
  StateFragmenter mFragmenter;
  uint64_t mRecordsSent = 0;
};

}  // namespace vl
