// Two minutes of the program playing the coda while a client floods its parameter port with
// messages of every kind, good and bad, and another recalls presets: it must neither crash nor
// grow, and it reports how often the audio ran late.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <random>
#include <regex>
#include <thread>

#include "application/HydrogenVoice.hpp"
#include "voice_support.hpp"
#include "zentha_program_support.hpp"

using namespace zentha_program;

namespace {

constexpr int kParameterPort = 9010;
constexpr int kMessagesPerSecond = 20000;
constexpr double kSoakSeconds = 120.0;
constexpr double kSettledSeconds = 20.0;

void pad(std::string& s) {
  do s.push_back('\0');
  while (s.size() % 4);
}
void putString(std::string& s, const std::string& text) {
  s += text;
  pad(s);
}
void put32(std::string& s, uint32_t v) {
  v = htonl(v);
  s.append(reinterpret_cast<const char*>(&v), 4);
}
void putFloat(std::string& s, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put32(s, v);
}

// OSC messages to the program's own parameters and to none of its addresses, with fitting,
// wrong and missing arguments, and datagrams that are not OSC at all.
class Flood {
 public:
  explicit Flood(std::vector<std::string> addresses) : mAddresses(std::move(addresses)) {}

  std::string next() {
    const int kind = pick(100);
    if (kind < 8) return garbage();
    std::string address = kind < 15 ? "/nowhere/" + std::to_string(pick(1000))
                                    : mAddresses[pick(int(mAddresses.size()))];
    std::string m;
    putString(m, address);
    switch (pick(8)) {
      case 0:
      case 1:
      case 2:
        putString(m, ",f");
        putFloat(m, value());
        break;
      case 3:
        putString(m, ",i");
        put32(m, uint32_t(int32_t(pick(2001) - 1000)));
        break;
      case 4:
        putString(m, ",s");
        putString(m, "text" + std::to_string(pick(100)));
        break;
      case 5:
        putString(m, ",");
        break;
      case 6:
        putString(m, ",fff");
        for (int i = 0; i < 3; ++i) putFloat(m, value());
        break;
      default:
        // Announces an argument the datagram does not hold.
        putString(m, ",f");
        break;
    }
    if (pick(20) == 0) m.resize(size_t(pick(int(m.size())) + 1));  // cut short
    return m;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(mRandom); }
  float value() {
    switch (pick(10)) {
      case 0:
        return std::numeric_limits<float>::quiet_NaN();
      case 1:
        return pick(2) ? std::numeric_limits<float>::infinity() : -1e30f;
      default:
        return std::uniform_real_distribution<float>(-2.0f, 12.0f)(mRandom);
    }
  }
  std::string garbage() {
    std::string g(size_t(pick(64) + 1), '\0');
    for (char& c : g) c = char(pick(256));
    if (pick(3) == 0) g.replace(0, std::min<size_t>(g.size(), 8), std::string("#bundle\0", 8));
    return g;
  }

  std::vector<std::string> mAddresses;
  std::mt19937 mRandom{20261210};
};

class Sender {
 public:
  Sender() : mSocket(socket(AF_INET, SOCK_DGRAM, 0)) {
    mTo.sin_family = AF_INET;
    mTo.sin_port = htons(kParameterPort);
    mTo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~Sender() { close(mSocket); }
  void send(const std::string& datagram) {
    sendto(mSocket, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&mTo),
           sizeof mTo);
  }

 private:
  int mSocket;
  sockaddr_in mTo{};
};

std::vector<std::string> voiceAddresses() {
  HydrogenVoice v;
  v.init();
  std::vector<std::string> addresses;
  for (vl::ParameterMeta* p : v.atom().parameters().parameters()) {
    addresses.push_back(p->getFullAddress());
  }
  for (vl::ParameterMeta* p : v.visual().parameters().parameters()) {
    addresses.push_back(p->getFullAddress());
  }
  for (vl::ParameterMeta* p : v.sound().parameters().parameters()) {
    addresses.push_back(p->getFullAddress());
  }
  return addresses;
}

}  // namespace

TEST(ZenthaSoak, TwoMinutesOfFloodedParametersAndPresetRecallsWhilePlaying) {
  const char* source = std::getenv("ZENTHA_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  zentha_test::WorkingDirectory dir;
  // The piece's own presets and coda.
  std::filesystem::copy(std::string(source) + "/data", ".",
                        std::filesystem::copy_options::recursive);
  const std::vector<std::string> addresses = voiceAddresses();
  ASSERT_GT(addresses.size(), 20u);

  Zentha z("zentha-studio");
  ASSERT_EQ(toWindow({}), 0) << z.err();
  sleepFor(1.0);
  ASSERT_EQ(toWindow({"key", "Return"}), 0);
  sleepFor(2.0);
  ASSERT_GT(monitorRms(1.0), 1e-3) << "the coda is not playing";

  std::atomic<bool> stop{false};
  std::atomic<long> sent{0}, recalls{0};
  std::thread flood([&] {
    Flood f(addresses);
    Sender s;
    // Twenty messages every millisecond, paced against the clock so a late slice catches up.
    auto due = Clock::now();
    long n = 0;
    while (!stop) {
      for (int i = 0; i < kMessagesPerSecond / 1000; ++i) s.send(f.next()), ++n;
      due += std::chrono::milliseconds(1);
      std::this_thread::sleep_until(due);
    }
    sent = n;
  });
  std::thread presets([&] {
    Sender s;
    std::mt19937 random(7);
    while (!stop) {
      std::string m;
      putString(m, "/preset");
      putString(m, ",i");
      put32(m, uint32_t(std::uniform_int_distribution<int>(0, 9)(random)));
      s.send(m);
      ++recalls;
      sleepFor(0.25);
    }
  });

  const auto start = Clock::now();
  sleepFor(kSettledSeconds);
  const long settled = residentKb(z.pid());
  bool alive = true;
  while (alive && since(start) < kSoakSeconds) {
    sleepFor(1.0);
    alive = z.running();
  }
  const long last = residentKb(z.pid());
  const double seconds = since(start);
  stop = true;
  flood.join();
  presets.join();

  ASSERT_TRUE(alive) << "the program died\n" << z.err().substr(0, 4000);
  std::printf("%ld messages in %.0f s (%.0f per second), %ld preset recalls\n", sent.load(),
              seconds, double(sent) / seconds, recalls.load());
  std::printf("resident size %ld kB after %.0f s, %ld kB at the end (%+.1f %%)\n", settled,
              kSettledSeconds, last, 100.0 * double(last - settled) / double(settled));
  EXPECT_GT(double(sent) / seconds, 0.9 * kMessagesPerSecond);
  ASSERT_GT(settled, 0);
  EXPECT_LT(std::abs(double(last - settled)) / double(settled), 0.10);
  EXPECT_GT(monitorRms(1.0), 1e-3) << "silent after the flood";

  z.signal(SIGTERM);
  ASSERT_EQ(z.wait(30.0), 0) << z.err().substr(0, 4000);
  const std::string out = z.out();
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(out, m, std::regex("frames drawn [0-9]+.*audio underflows ([0-9]+)")))
      << out.substr(0, 4000);
  std::printf("%s\n", m[0].str().c_str());
  // The recalls arrived: the map has no preset 9, and the program says so.
  EXPECT_GT(count(out, "No preset index 9\n"), 0);
}
