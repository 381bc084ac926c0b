#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "dsp/Domain.hpp"

using namespace snl;

namespace {

struct Log {
  std::vector<std::pair<int, double>> calls;
};

class Recorder : public DomainObserver {
 public:
  Recorder(int id, Log& log) : mId(id), mLog(&log) {}
  void onDomainChange(double ratio) override { mLog->calls.emplace_back(mId, ratio); }

 private:
  int mId;
  Log* mLog;
};

}  // namespace

TEST(Domain, LaterAttachedObserversAreToldFirstWithTheRateRatio) {
  Domain d;
  d.setSampleRate(100.0);
  Log log;
  Recorder a(1, log), b(2, log), c(3, log);
  const double masterRate = Domain::master().sampleRate();
  a.attach(d);
  b.attach(d);
  c.attach(d);
  ASSERT_EQ(log.calls.size(), 3u);
  for (auto& [id, ratio] : log.calls) EXPECT_DOUBLE_EQ(ratio, 100.0 / masterRate);

  log.calls.clear();
  d.setSampleRate(400.0);
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[0], std::make_pair(3, 4.0));
  EXPECT_EQ(log.calls[1], std::make_pair(2, 4.0));
  EXPECT_EQ(log.calls[2], std::make_pair(1, 4.0));
  EXPECT_DOUBLE_EQ(d.samplePeriod(), 1.0 / 400.0);
  EXPECT_EQ(d.observerCount(), 3);
}

TEST(Domain, SettingTheSameRateMarksItSetButNotifiesNobody) {
  Domain d;
  Log log;
  Recorder a(1, log);
  a.attach(d);
  log.calls.clear();
  EXPECT_FALSE(d.hasBeenSet());
  d.setSampleRate(1.0);
  EXPECT_TRUE(d.hasBeenSet());
  EXPECT_TRUE(log.calls.empty());
  d.setSamplePeriod(0.5);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_DOUBLE_EQ(log.calls[0].second, 2.0);
  // Rates that are not positive finite numbers are ignored.
  d.setSampleRate(0.0);
  d.setSampleRate(-5.0);
  d.setSampleRate(1.0 / 0.0);
  EXPECT_EQ(d.sampleRate(), 2.0);
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST(Domain, AttachMovesBetweenListsAndDestructionUnlinks) {
  Domain d1, d2;
  d1.setSampleRate(100.0);
  d2.setSampleRate(300.0);
  Log log;
  Recorder a(1, log);
  a.attach(d1);
  {
    Recorder b(2, log), c(3, log);
    b.attach(d1);
    c.attach(d1);
    log.calls.clear();
    b.attach(d2);  // from the middle of d1's list
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_DOUBLE_EQ(log.calls[0].second, 3.0);
    b.attach(d2);  // already there: nothing happens
    EXPECT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(d1.observerCount(), 2);
    EXPECT_EQ(d2.observerCount(), 1);
    EXPECT_EQ(d1.head(), &c);
    EXPECT_EQ(c.next(), &a);
  }
  EXPECT_EQ(d1.observerCount(), 1);
  EXPECT_EQ(d2.observerCount(), 0);
  EXPECT_EQ(d1.head(), &a);
  EXPECT_EQ(a.prev(), nullptr);
}

TEST(Domain, CopiesJoinTheSourceDomainAndDyingDomainsHandObserversToTheMaster) {
  Log log;
  Recorder a(1, log);
  {
    Domain d;
    a.attach(d);
    Recorder copy(a);
    EXPECT_EQ(copy.domain(), &d);
    EXPECT_EQ(d.observerCount(), 2);
  }
  EXPECT_EQ(a.domain(), &Domain::master());
}
