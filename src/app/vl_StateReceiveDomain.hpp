#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "app/vl_StateAssembler.hpp"
#include "core/vl_ComputationDomain.hpp"
#include "core/vl_Console.hpp"
#include "protocol/vl_OSCRecv.hpp"

namespace vl {

// Receives records on the receiver's own thread and, once per tick before the simulation
// function, applies the newest complete record that arrived since the last tick. Settings are
// made before init.
template <class T>
class StateReceiveDomain : public SynchronousDomain {
  static_assert(std::is_trivially_copyable_v<T>, "a state record is copied as raw bytes");

 public:
  class Handler : public osc::PacketHandler {
   public:
    void onMessage(osc::Message& message) override {
      if (mDomain && mDomain->mAssembler) mDomain->mAssembler->consume(message);
    }
    StateReceiveDomain* mDomain = nullptr;
  };

  ~StateReceiveDomain() override { mReceiver.reset(); }

  bool init(ComputationDomain* = nullptr) override {
    bool ok = initializeSubdomains(true);
    mReceiver.reset();  // a second init reopens the port
    mAssembler = std::make_unique<StateAssembler>(sizeof(T));
    mAssembler->id(mId);
    mReceiver = std::make_unique<osc::Recv>();
    if (!mReceiver->open(mPort, mAddress)) {
      printError("Error opening server\n");
      mReceiver.reset();
      return false;
    }
    // A record arrives as a burst of some 500 datagrams; room for several bursts.
    mReceiver->receiveBufferSize(static_cast<int>(8 * sizeof(T) + (1 << 20)));
    mHandler.mDomain = this;
    mReceiver->handler(mHandler);
    if (!mReceiver->start()) {
      printError("Failed to start receiver. \n");
      mReceiver.reset();
      return false;
    }
    print("Opened %s:%u\n", mAddress.c_str(), static_cast<unsigned>(mPort));
    return initializeSubdomains(false) && ok;
  }

  bool tick() override {
    tickSubdomains(true);
    if (mAssembler && mState) {
      if (const std::size_t taken = mAssembler->take(mState.get())) {
        mRecordsTaken = taken;
        ++mRecordsApplied;
      }
    }
    tickSubdomains(false);
    return true;
  }

  bool cleanup(ComputationDomain* parent = nullptr) override {
    const bool ok = ComputationDomain::cleanup(parent);
    mReceiver.reset();  // joins the receive thread before the buffers go
    mAssembler.reset();
    mState.reset();
    return ok;
  }

  void setState(std::shared_ptr<T> state) { mState = std::move(state); }
  const std::shared_ptr<T>& state() const { return mState; }
  void setId(const std::string& id) { mId = id; }
  const std::string& id() const { return mId; }
  void setAddress(const std::string& address) { mAddress = address; }
  const std::string& address() const { return mAddress; }
  void setPort(uint16_t port) { mPort = port; }
  uint16_t port() const { return mPort; }
  // Kept for senders' symmetry: fragments of any size up to a datagram are taken.
  void setPacketSize(uint16_t size) { mPacketSize = size; }
  uint16_t packetSize() const { return mPacketSize; }

  // How many records had arrived for the last tick that applied one (only the newest of them
  // was applied).
  std::size_t recordsTaken() const { return mRecordsTaken; }
  // Ticks that applied a record.
  uint64_t recordsApplied() const { return mRecordsApplied; }
  // Complete records received so far, applied or not; 0 before init.
  uint64_t recordsReceived() const { return mAssembler ? mAssembler->completed() : 0; }

 private:
  std::shared_ptr<T> mState;
  std::size_t mRecordsTaken = 0;
  uint64_t mRecordsApplied = 0;
  std::string mAddress = "0.0.0.0";
  uint16_t mPort = 10101;
  uint16_t mPacketSize = 1400;
  std::string mId = "state";
  Handler mHandler;
  std::unique_ptr<StateAssembler> mAssembler;
  std::unique_ptr<osc::Recv> mReceiver;
};

}  // namespace vl
