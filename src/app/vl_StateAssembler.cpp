#include "app/vl_StateAssembler.hpp"

#include <algorithm>
#include <cstring>

#include "app/vl_StateFragmenter.hpp"
#include "core/vl_Console.hpp"

namespace vl {

namespace {

// Fragments of fewer bytes are refused (senders never make them), which bounds the bookkeeping.
constexpr std::size_t kMinFragment = 16;
constexpr std::size_t kMaxChunk = 65536;  // more than a datagram holds

}  // namespace

StateAssembler::StateAssembler(std::size_t recordSize)
    : mRecordSize(recordSize),
      mAssembly(recordSize, 0),
      mMaxFragments(static_cast<uint32_t>(std::min<std::size_t>(
          std::max<std::size_t>(1, (recordSize + kMinFragment - 1) / kMinFragment), 1u << 20))),
      mArrived((mMaxFragments + 63) / 64, 0),
      mRepairArrived(StateRepairLayout(mMaxFragments).repairs(), 0),
      mRepairs(recordSize / 3 + 4 * std::min(recordSize, kMaxChunk) + mMaxFragments + 64),
      mScratch(kMaxChunk),
      mComplete(recordSize, 0) {
  mReadId.reserve(64);
  mRebuilt.reserve(mMaxFragments);
}

void StateAssembler::reportMismatch() {
  printError("ERROR: received state size mismatch\n");
}

void StateAssembler::publish() {
  std::lock_guard<std::mutex> lock(mLock);
  std::swap(mAssembly, mComplete);  // the older complete record is overwritten next
  ++mPending;
  ++mCompleted;
}

bool StateAssembler::consume(osc::Message& message) {
  const std::string& address = message.addressPattern();
  if (address == kStateFragmentAddress) return consumeFragment(message);
  if (address != kStateAddress || message.typeTags() != "sb") return false;
  message >> mReadId;
  if (mReadId != mId) return false;
  osc::BlobView blob;
  message >> blob;
  if (blob.size != mRecordSize) {
    reportMismatch();
    return false;
  }
  std::lock_guard<std::mutex> lock(mLock);
  std::memcpy(mComplete.data(), blob.data, mRecordSize);
  ++mPending;
  ++mCompleted;
  return true;
}

bool StateAssembler::consumeFragment(osc::Message& message) {
  if (message.typeTags() != kStateFragmentTags) return false;
  int64_t number = 0;
  int32_t index = -1, count = 0, size = 0;
  osc::BlobView blob;
  message >> mReadId;
  if (mReadId != mId) return false;
  message >> number >> index >> count >> size >> blob;
  if (size <= 0 || static_cast<uint64_t>(size) != mRecordSize) {
    if (!mMismatchReported || number != mMismatchNumber) reportMismatch();
    mMismatchReported = true;
    mMismatchNumber = number;
    return false;
  }
  if (count <= 0 || static_cast<uint32_t>(count) > mMaxFragments || index < 0) return false;
  const std::size_t chunk = (mRecordSize + count - 1) / count;
  // Every fragment must be the one its index names, none empty.
  if ((static_cast<std::size_t>(count) - 1) * chunk >= mRecordSize || chunk > kMaxChunk) {
    return false;
  }

  if (!mAssembling || number != mNumber) {
    // Records of one session are ordered by their serial; a fragment of a record older than
    // the newest started (or of that one once complete) is a straggler or a duplicate.
    const bool sameSession = mHaveNumber && (number >> 32) == (mNumber >> 32);
    const auto ahead =
        static_cast<int32_t>(static_cast<uint32_t>(number) - static_cast<uint32_t>(mNumber));
    if (sameSession && ahead <= 0) return false;
    start(number, static_cast<uint32_t>(count), chunk);
  }
  if (static_cast<uint32_t>(count) != mCount) return false;
  const auto k = static_cast<uint32_t>(index);
  if (k < mCount) {
    if (blob.size != length(k) || arrived(k)) return false;
    std::memcpy(mAssembly.data() + k * mChunk, blob.data, blob.size);
    return settle(k);
  }
  const uint32_t r = k - mCount;
  if (r >= mLayout.repairs() || blob.size != mChunk || !mRepairsKept || mRepairArrived[r]) {
    return false;
  }
  std::memcpy(mRepairs.data() + r * mChunk, blob.data, mChunk);
  mRepairArrived[r] = 1;
  tryRepair(r);
  return settle(UINT32_MAX);
}

void StateAssembler::start(int64_t number, uint32_t count, std::size_t chunk) {
  mAssembling = true;
  mHaveNumber = true;
  mNumber = number;
  mCount = count;
  mMissing = count;
  mChunk = chunk;
  if (mLayout.fragments() != count) mLayout.reset(count);
  mRepairsKept = mLayout.repairs() * chunk <= mRepairs.size();
  std::fill(mArrived.begin(), mArrived.begin() + (count + 63) / 64, 0);
  std::fill(mRepairArrived.begin(), mRepairArrived.begin() + mLayout.repairs(), 0);
  mRebuilt.clear();
}

bool StateAssembler::arrived(uint32_t fragment) const {
  return (mArrived[fragment / 64] >> (fragment % 64)) & 1;
}

std::size_t StateAssembler::length(uint32_t fragment) const {
  return std::min(mChunk, mRecordSize - fragment * mChunk);
}

// A fragment's arrival may leave one of its repairs short of a single fragment, which that
// repair then rebuilds, and so on; fragments still to be followed up wait in mRebuilt.
bool StateAssembler::settle(uint32_t fragment) {
  if (fragment != UINT32_MAX) {
    mArrived[fragment / 64] |= uint64_t(1) << (fragment % 64);
    --mMissing;
    mRebuilt.push_back(fragment);
  }
  while (!mRebuilt.empty() && mMissing != 0 && mRepairsKept) {
    const uint32_t f = mRebuilt.back();
    mRebuilt.pop_back();
    for (uint32_t j = 0; j < StateRepairLayout::kSets; ++j) {
      const uint32_t r = mLayout.repairOf(j, f);
      if (mRepairArrived[r]) tryRepair(r);
    }
  }
  if (mMissing != 0) return false;
  mAssembling = false;
  mRebuilt.clear();
  publish();
  return true;
}

void StateAssembler::tryRepair(uint32_t r) {
  const uint32_t covers = mLayout.coverage(r);
  uint32_t lost = UINT32_MAX;
  for (uint32_t t = 0; t < covers; ++t) {
    const uint32_t f = mLayout.covered(r, t);
    if (arrived(f)) continue;
    if (lost != UINT32_MAX) return;  // two or more missing: nothing to rebuild yet
    lost = f;
  }
  if (lost == UINT32_MAX) return;
  unsigned char* out = mScratch.data();
  std::memcpy(out, mRepairs.data() + r * mChunk, mChunk);
  for (uint32_t t = 0; t < covers; ++t) {
    const uint32_t f = mLayout.covered(r, t);
    if (f != lost) StateRepairLayout::xorInto(out, mAssembly.data() + f * mChunk, length(f));
  }
  std::memcpy(mAssembly.data() + lost * mChunk, out, length(lost));
  mArrived[lost / 64] |= uint64_t(1) << (lost % 64);
  --mMissing;
  mRebuilt.push_back(lost);
}

std::size_t StateAssembler::take(void* record) {
  std::lock_guard<std::mutex> lock(mLock);
  if (mPending == 0) return 0;
  std::memcpy(record, mComplete.data(), mRecordSize);
  const std::size_t taken = mPending;
  mPending = 0;
  return taken;
}

uint64_t StateAssembler::completed() const {
  std::lock_guard<std::mutex> lock(mLock);
  return mCompleted;
}

}  // namespace vl
