// The preset sequencer's timing thread: started only when first needed, and safe to start,
// stop and destroy from any thread, its own begin and end callbacks included.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "ui/preset_test_support.hpp"
#include "ui/vl_PresetSequencer.hpp"

using vl::PresetSequencer;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

std::ptrdiff_t threadCount() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                       std::filesystem::directory_iterator());
}

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 2500 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

class SequencerThreads : public testing::Test {
 protected:
  void SetUp() override { writeFile(dir / "short.sequence", "@tick:0:0.003\n@tick:0:0.003\n"); }

  std::unique_ptr<PresetSequencer> make() {
    auto seq = std::make_unique<PresetSequencer>();
    seq->setDirectory(dir.path());
    seq->registerEventCommand("tick", [this](const std::vector<vl::ParameterField>&) { ++ticks; });
    return seq;
  }

  ScratchDir dir;
  std::atomic<int> ticks{0};
};

}  // namespace

TEST_F(SequencerThreads, ConstructionStartsNoThreadAndTheFirstPlayStartsOne) {
  const auto before = threadCount();
  std::vector<std::unique_ptr<PresetSequencer>> voices;
  for (int i = 0; i < 32; ++i) voices.push_back(make());
  EXPECT_EQ(threadCount(), before);

  voices[5]->playSequence("short");
  EXPECT_EQ(threadCount(), before + 1);
  ASSERT_TRUE(waitFor([&] { return !voices[5]->running(); }));
  EXPECT_EQ(ticks, 2);
  voices[5]->playSequence("short");  // the same thread again
  EXPECT_EQ(threadCount(), before + 1);
  ASSERT_TRUE(waitFor([&] { return ticks == 4; }));
}

TEST_F(SequencerThreads, BeginAndEndCallbacksMayStopAndRestart) {
  auto seq = make();
  std::atomic<int> begins{0}, finished{0}, stopped{0};
  seq->registerBeginCallback([&](PresetSequencer* s) {
    if (begins++ == 0) s->stopSequence();  // cancels this start
  });
  seq->registerEndCallback([&](bool done, PresetSequencer* s) {
    ++(done ? finished : stopped);
    if (finished == 1 && done) s->playSequence();  // once more from the end
  });
  seq->playSequence("short");
  EXPECT_FALSE(seq->running());
  ASSERT_TRUE(waitFor([&] { return stopped == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(finished, 0);

  seq->playSequence("short");
  ASSERT_TRUE(waitFor([&] { return finished == 2; }));
  EXPECT_EQ(ticks, 4);
  EXPECT_EQ(begins, 3);
  EXPECT_EQ(stopped, 1);
}

TEST_F(SequencerThreads, DestroyedFromItsOwnCallbacks) {
  const auto before = threadCount();
  std::promise<void> endGone;
  PresetSequencer* fromEnd = make().release();
  fromEnd->registerEndCallback([&](bool, PresetSequencer* s) {
    delete s;
    endGone.set_value();
  });
  fromEnd->playSequence("short");
  ASSERT_EQ(endGone.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);

  // Destroyed as it begins: the caller of play is let go.
  std::atomic<bool> beginGone{false};
  PresetSequencer* fromBegin = make().release();
  fromBegin->registerBeginCallback([&](PresetSequencer* s) {
    delete s;
    beginGone = true;
  });
  fromBegin->playSequence("short");
  EXPECT_TRUE(waitFor([&] { return beginGone && threadCount() == before; }));
  EXPECT_EQ(ticks, 2);
}

TEST_F(SequencerThreads, PlayAndStopFromSeveralThreadsAtOnce) {
  auto seq = make();
  std::atomic<int> begins{0}, ends{0};
  seq->registerBeginCallback([&](PresetSequencer*) { ++begins; });
  seq->registerEndCallback([&](bool, PresetSequencer*) { ++ends; });
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 60; ++i) {
        if ((i + t) % 3) {
          seq->playSequence(i % 2 ? "" : "short");
        } else {
          seq->stopSequence();
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  seq->playSequence("short");
  ASSERT_TRUE(waitFor([&] { return !seq->running() && begins == ends; }));
  // Every run that began also ended, the last one with its two steps.
  EXPECT_GT(begins, 0);
  EXPECT_GE(ticks, 2);
}
