#pragma once

// The receiving half of the state record's wire (vl_StateFragmenter.hpp describes it): joins
// fragments into whole records on the receive thread and hands the newest complete record to
// the thread that applies it. Everything received is untrusted: a fragment that does not fit
// the record it claims to belong to is dropped, and only records whose every fragment arrived
// are handed on (their own or rebuilt from repair fragments). All storage is sized once, at
// construction.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/vl_StateRepairLayout.hpp"
#include "protocol/vl_OSC.hpp"

namespace vl {

class StateAssembler {
 public:
  // Records of recordSize bytes; both buffers start zero-filled.
  explicit StateAssembler(std::size_t recordSize);

  // Only messages carrying this id are taken. Set before receiving starts.
  void id(const std::string& id) { mId = id; }
  const std::string& id() const { return mId; }
  std::size_t recordSize() const { return mRecordSize; }

  // One thread at a time (the receive thread): takes a "/_state" message or a fragment and
  // ignores everything else. A record of another size prints "ERROR: received state size
  // mismatch" (once per fragmented record). True when a record became complete.
  bool consume(osc::Message& message);

  // Any thread: when records were completed since the last call, copies the newest into
  // record (recordSize bytes) and returns how many were completed; otherwise returns 0 and
  // leaves record alone.
  std::size_t take(void* record);

  // Records completed since construction (those overwritten before a take included).
  uint64_t completed() const;

 private:
  bool consumeFragment(osc::Message& message);
  void reportMismatch();
  void publish();
  void start(int64_t number, uint32_t count, std::size_t chunk);
  bool arrived(uint32_t fragment) const;
  // Marks a fragment present and rebuilds whatever the repairs then allow; true when complete.
  bool settle(uint32_t fragment);
  void tryRepair(uint32_t repair);
  std::size_t length(uint32_t fragment) const;

  const std::size_t mRecordSize;
  std::string mId;

  // Receive thread only.
  std::vector<unsigned char> mAssembly;
  const uint32_t mMaxFragments;
  std::vector<uint64_t> mArrived;  // a bit per fragment
  std::vector<uint8_t> mRepairArrived;
  std::vector<unsigned char> mRepairs;  // the repairs received, chunk bytes each
  std::vector<unsigned char> mScratch;
  std::vector<uint32_t> mRebuilt;  // fragments present whose repairs are still to be looked at
  StateRepairLayout mLayout;
  std::size_t mChunk = 0;
  bool mRepairsKept = false;  // false when this record's repairs do not fit mRepairs
  std::string mReadId;
  bool mAssembling = false;
  bool mHaveNumber = false;
  int64_t mNumber = 0;  // the newest record started
  uint32_t mCount = 0;
  uint32_t mMissing = 0;
  bool mMismatchReported = false;
  int64_t mMismatchNumber = 0;

  // Shared with the applying thread.
  mutable std::mutex mLock;
  std::vector<unsigned char> mComplete;
  std::size_t mPending = 0;
  uint64_t mCompleted = 0;
};

}  // namespace vl
