#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "dsp/CombChorus.hpp"
#include "dsp/Delay.hpp"
#include "dsp/Domain.hpp"

// Runs in a process of its own: it checks the master domain from its untouched start.

using namespace snl;

TEST(MasterDomain, UnitsBuiltBeforeTheRateIsSetAllocateOnceItIs) {
  // Concurrent first use creates exactly one master.
  std::vector<Domain*> seen(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&seen, i] { seen[i] = &Domain::master(); });
  for (auto& t : threads) t.join();
  for (Domain* d : seen) EXPECT_EQ(d, seen[0]);

  Domain& m = Domain::master();
  EXPECT_EQ(m.sampleRate(), 1.0);
  EXPECT_EQ(m.samplePeriod(), 1.0);
  EXPECT_FALSE(m.hasBeenSet());

  Delay<float> line(0.312f, 0.1f);
  CombChorus chorus(0.31f, 0.002f, 0.71f, 0.9f, 0.1f);
  EXPECT_EQ(line.size(), 0u);
  EXPECT_EQ(chorus.comb1().size(), 0u);
  EXPECT_EQ(line(1.0f), 0.0f);  // an unallocated line is silent, not a crash
  EXPECT_EQ(chorus(1.0f), 0.9f);

  m.setSampleRate(44100.0);
  EXPECT_TRUE(m.hasBeenSet());
  EXPECT_EQ(line.size(), 16384u);
  EXPECT_EQ(chorus.comb1().size(), 16384u);
  EXPECT_EQ(chorus.comb2().size(), 16384u);
  EXPECT_EQ(line.elems()[0], 0.0f);
}
