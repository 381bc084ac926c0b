// Receiving state records allocates nothing once the receiver is open: neither the receive
// thread joining fragments (a tenth of them lost and rebuilt) nor the frame applying the record.
// A binary of its own, because the counter replaces the global operator new.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "app/vl_StateDistributionDomain.hpp"
#include "sound/allocation_counter.hpp"

using namespace vl;

namespace {
struct Record {
  unsigned char bytes[491776];
};
}  // namespace

TEST(StateReceive, ReceivingAndApplyingAllocateNothing) {
  StateDistributionDomain<Record> replica;
  auto rx = replica.addStateReceiver("state");
  rx->setAddress("127.0.0.1");
  rx->setPort(0);
  ASSERT_TRUE(replica.init());

  // The sender runs on this thread but is not what is counted: it feeds the receiver's
  // handler directly, dropping a tenth of the fragments.
  StateFragmenter sender;
  auto record = std::make_unique<Record>();
  std::mt19937 rng(1);
  std::bernoulli_distribution lost(0.1);
  StateReceiveDomain<Record>::Handler handler;
  handler.mDomain = rx.get();
  auto sendOne = [&](bool count) {
    for (auto& b : record->bytes) b = static_cast<unsigned char>(rng());
    alloctest::tExempt = true;
    std::vector<std::vector<char>> packets;
    sender.build("state", record.get(), sizeof(Record), 1400, [&](const osc::Packet& p) {
      if (!lost(rng)) packets.emplace_back(p.data(), p.data() + p.size());
    });
    std::vector<std::unique_ptr<osc::Message>> messages;
    for (auto& p : packets) messages.push_back(std::make_unique<osc::Message>(p.data(), p.size()));
    alloctest::tExempt = false;
    alloctest::gCounting = count;
    for (auto& m : messages) handler.onMessage(*m);
    replica.tick();
    alloctest::gCounting = false;
    alloctest::tExempt = true;
    messages.clear();
    packets.clear();
    alloctest::tExempt = false;
  };
  sendOne(false);
  const uint64_t applied = rx->recordsApplied();
  for (int i = 0; i < 20; ++i) sendOne(true);
  EXPECT_EQ(alloctest::gAllocations.load(), 0);
  EXPECT_GE(rx->recordsApplied() - applied, 15u);
  EXPECT_EQ(std::memcmp(replica.state().bytes, record->bytes, sizeof(Record)), 0);
  replica.cleanup();
}
