// The state record between hosts: whole records only, the newest of a frame applied, foreign
// and malformed messages ignored, and records through a lossy network equal to those sent.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/vl_StateDistributionDomain.hpp"

using namespace vl;

namespace {

struct Record {
  unsigned char bytes[491776];  // the size of the piece's record
};
using Packets = std::vector<std::vector<char>>;

std::shared_ptr<Record> randomRecord(uint32_t seed) {
  auto r = std::make_shared<Record>();
  std::mt19937 rng(seed);
  for (auto& b : r->bytes) b = static_cast<unsigned char>(rng());
  return r;
}

Packets packetsOf(StateFragmenter& f, const void* data, std::size_t size,
                  const std::string& id = "state") {
  Packets out;
  f.build(id, data, size, 1400, [&](const osc::Packet& p) {
    EXPECT_LE(p.size(), 1400u);
    out.emplace_back(p.data(), p.data() + p.size());
  });
  return out;
}

// Delivers a datagram as the receive thread would.
void feed(StateReceiveDomain<Record>& d, const std::vector<char>& bytes) {
  osc::Message m(bytes.data(), bytes.size());
  StateReceiveDomain<Record>::Handler h;
  h.mDomain = &d;
  h.onMessage(m);
}

std::vector<char> message(osc::Packet& p) {
  return std::vector<char>(p.data(), p.data() + p.size());
}

bool same(const Record& a, const Record& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

struct Replica {
  Replica() {
    receiver = domain.addStateReceiver("state");
    receiver->setAddress("127.0.0.1");
    receiver->setPort(0);
    EXPECT_TRUE(domain.init());
  }
  ~Replica() { domain.cleanup(); }
  StateDistributionDomain<Record> domain;
  std::shared_ptr<StateReceiveDomain<Record>> receiver;
};

}  // namespace

TEST(StateReceive, AppliesWholeRecordsOnlyAndTheNewestOfAFrame) {
  Replica replica;
  auto& rx = *replica.receiver;
  const Record& live = replica.domain.state();
  StateFragmenter sender;
  auto a = randomRecord(1), b = randomRecord(2), c = randomRecord(3), d = randomRecord(4);
  std::mt19937 rng(7);

  // Two records between frames, the first out of order: only the second, counted twice.
  Packets pa = packetsOf(sender, a.get(), sizeof(Record));
  Packets pb = packetsOf(sender, b.get(), sizeof(Record));
  ASSERT_GT(pa.size(), 352u);
  std::shuffle(pa.begin(), pa.end(), rng);
  for (auto& p : pa) feed(rx, p);
  for (auto& p : pb) feed(rx, p);
  replica.domain.tick();
  EXPECT_TRUE(same(live, *b));
  EXPECT_EQ(rx.recordsTaken(), 2u);
  EXPECT_EQ(rx.recordsApplied(), 1u);
  replica.domain.tick();
  EXPECT_EQ(rx.recordsApplied(), 1u);

  // A record short of one fragment is never applied; once a newer record has begun, the older
  // one's remaining fragments (its repairs among them) neither complete it nor mix in.
  Packets pc = packetsOf(sender, c.get(), sizeof(Record));
  Packets pd = packetsOf(sender, d.get(), sizeof(Record));
  const std::size_t sources = 366;
  for (std::size_t k = 0; k < sources; ++k) {
    if (k != 5) feed(rx, pc[k]);
  }
  replica.domain.tick();
  EXPECT_TRUE(same(live, *b));
  for (std::size_t k = 0; k < sources / 2; ++k) feed(rx, pd[k]);
  for (std::size_t k = 5; k < pc.size(); ++k) feed(rx, pc[k]);
  replica.domain.tick();
  EXPECT_TRUE(same(live, *b));
  for (std::size_t k = sources / 2; k < sources; ++k) feed(rx, pd[k]);
  replica.domain.tick();
  EXPECT_TRUE(same(live, *d));
  EXPECT_EQ(rx.recordsTaken(), 1u);

  // A tenth of the datagrams lost: the lost fragments are rebuilt from the repairs.
  auto e = randomRecord(5);
  std::bernoulli_distribution lost(0.1);
  std::size_t dropped = 0;
  for (auto& p : packetsOf(sender, e.get(), sizeof(Record))) {
    if (lost(rng) && ++dropped) continue;
    feed(rx, p);
  }
  EXPECT_GT(dropped, 20u);
  replica.domain.tick();
  EXPECT_TRUE(same(live, *e));
}

TEST(StateReceive, IgnoresForeignMessagesAndReportsRecordsOfAnotherSize) {
  Replica replica;
  auto& rx = *replica.receiver;
  StateFragmenter sender;
  auto a = randomRecord(11), b = randomRecord(12);
  for (auto& p : packetsOf(sender, a.get(), sizeof(Record))) feed(rx, p);
  replica.domain.tick();
  ASSERT_TRUE(same(replica.domain.state(), *a));

  osc::Packet p(sizeof(Record) + 1024);
  Packets foreign = packetsOf(sender, b.get(), sizeof(Record), "other");
  auto whole = [&](const char* id, std::size_t size, const char* extra) {
    p.clear();
    p.beginMessage("/_state").add(id).addBlob(b->bytes, size);
    if (*extra) p.add(extra);
    return message(p.endMessage());
  };
  foreign.push_back(whole("other", sizeof(Record), ""));
  foreign.push_back(whole("state", sizeof(Record), "x"));
  p.clear();
  foreign.push_back(message(p.beginMessage("/_state").add("state").endMessage()));
  // Fragments that do not fit the record they claim: bad indices, counts and lengths.
  auto fragment = [&](int32_t index, int32_t count, int32_t size, std::size_t length) {
    p.clear();
    p.beginMessage("/_stateFragment").add("state").add(int64_t(99) << 32 | 1).add(index);
    p.add(count).add(size).addBlob(b->bytes, length);
    return message(p.endMessage());
  };
  const int32_t n = int32_t(sizeof(Record));
  for (auto bad :
       {fragment(-1, 366, n, 1344), fragment(366 + 124, 366, n, 1344),
        fragment(INT32_MAX, 366, n, 1344), fragment(0, 0, n, 1344), fragment(0, -3, n, 1344),
        fragment(0, n, n, 1), fragment(0, INT32_MAX, n, 0), fragment(0, 366, n, 1343),
        fragment(0, 366, n, 1345), fragment(365, 366, n, 1344), fragment(366, 366, n, 1216)}) {
    foreign.push_back(bad);
  }
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (auto& m : foreign) feed(rx, m);
  replica.domain.tick();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(same(replica.domain.state(), *a));
  EXPECT_EQ(rx.recordsApplied(), 1u);

  // A record one byte short, whole or in fragments, is reported once and dropped.
  testing::internal::CaptureStderr();
  feed(rx, whole("state", sizeof(Record) - 1, ""));
  for (auto& m : packetsOf(sender, b.get(), sizeof(Record) - 1)) feed(rx, m);
  replica.domain.tick();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: received state size mismatch\nERROR: received state size mismatch\n");
  EXPECT_TRUE(same(replica.domain.state(), *a));
}

namespace {

uint64_t hashOf(const Record& r) {
  return std::hash<std::string_view>()(
      std::string_view(reinterpret_cast<const char*>(r.bytes), sizeof r.bytes));
}

// Forwards datagrams from its own port to a destination, dropping a share of them at random.
class LossyRelay {
 public:
  LossyRelay(uint16_t to, double loss) : mLoss(loss) {
    mFd = socket(AF_INET, SOCK_DGRAM, 0);
    int big = 4 << 20;
    setsockopt(mFd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(mFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(mFd, reinterpret_cast<sockaddr*>(&a), &len);
    mPort = ntohs(a.sin_port);
    mTo = a;
    mTo.sin_port = htons(to);
    mThread = std::thread([this] { run(); });
  }
  ~LossyRelay() {
    mRunning = false;
    mThread.join();
    close(mFd);
  }
  uint16_t port() const { return mPort; }
  uint64_t forwarded() const { return mForwarded; }
  uint64_t dropped() const { return mDropped; }

 private:
  void run() {
    std::mt19937 rng(42);
    std::bernoulli_distribution drop(mLoss);
    std::vector<char> buffer(65536);
    while (mRunning) {
      pollfd p{mFd, POLLIN, 0};
      if (poll(&p, 1, 20) != 1) continue;
      const ssize_t n = recv(mFd, buffer.data(), buffer.size(), 0);
      if (n <= 0) continue;
      if (drop(rng)) {
        ++mDropped;
        continue;
      }
      sendto(mFd, buffer.data(), static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&mTo),
             sizeof mTo);
      ++mForwarded;
    }
  }

  double mLoss;
  int mFd = -1;
  uint16_t mPort = 0;
  sockaddr_in mTo{};
  std::atomic<bool> mRunning{true};
  std::atomic<uint64_t> mForwarded{0}, mDropped{0};
  std::thread mThread;
};

uint16_t freePort() {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

}  // namespace

// A primary and a replica at frame pace through a relay that loses a tenth of the datagrams:
// every record the replica applies, before its own simulation step, is byte for byte one the
// primary sent, and most frames show the record sent just before them.
TEST(StateOverNetwork, RecordsThroughALossyRelayAreThoseSent) {
  const uint16_t port = freePort();
  StateDistributionDomain<Record> replica;
  auto rx = replica.addStateReceiver("state");
  rx->setAddress("127.0.0.1");
  rx->setPort(port);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(replica.init());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Opened 127.0.0.1:" + std::to_string(port) + "\n");

  // A second receiver cannot have the port: its init fails, as the app reports.
  {
    StateReceiveDomain<Record> taken;
    taken.setAddress("127.0.0.1");
    taken.setPort(port);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(taken.init());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error opening server\n");
  }

  LossyRelay relay(port, 0.1);
  StateDistributionDomain<Record> primary;
  auto tx = primary.addStateSender("state");
  tx->setAddress("127.0.0.1");
  tx->setPort(relay.port());
  ASSERT_TRUE(primary.init());

  std::set<uint64_t> sent;
  uint64_t lastSent = 0;
  std::mt19937_64 rng(3);
  primary.simulationFunction = [&](double) {
    auto* words = reinterpret_cast<uint64_t*>(primary.state().bytes);
    for (std::size_t i = 0; i < sizeof(Record) / 8; ++i) words[i] = rng();
    lastSent = hashOf(primary.state());
    sent.insert(lastSent);
  };
  int applied = 0, current = 0, foreign = 0;
  uint64_t seenApplied = 0;
  replica.simulationFunction = [&](double) {
    if (rx->recordsApplied() == seenApplied) return;
    seenApplied = rx->recordsApplied();
    const uint64_t h = hashOf(replica.state());
    ++applied;
    if (!sent.count(h)) ++foreign;
    if (h == lastSent) ++current;
  };
  const int frames = 120;
  for (int f = 0; f < frames; ++f) {
    primary.tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
    replica.tick();
  }
  primary.cleanup();
  replica.cleanup();
  EXPECT_EQ(tx->recordsSent(), uint64_t(frames));
  EXPECT_GT(relay.dropped(), uint64_t(frames) * 40);
  EXPECT_EQ(foreign, 0);
  EXPECT_GE(applied, frames * 8 / 10);
  EXPECT_GE(current, frames * 7 / 10);
}
