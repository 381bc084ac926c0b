// libFuzzer target: the reassembly of state records from datagrams. The input is a script of
// deliveries over the genuine datagrams of three records (fragments and repairs): each step
// delivers one of them whole, with one byte changed, cut short, or delivers bytes of the input
// itself, so that the search reaches half-built records, rebuilding from repairs and records
// overtaking one another. After every datagram the newest complete record is taken; it must be
// one of the records sent whenever no byte of the step's datagram was changed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "app/vl_StateAssembler.hpp"
#include "app/vl_StateFragmenter.hpp"
#include "protocol/vl_OSC.hpp"

namespace {

constexpr std::size_t kRecordSize = 4000;

struct Fixture {
  Fixture() {
    for (int r = 0; r < 3; ++r) {
      records[r].resize(kRecordSize);
      for (std::size_t i = 0; i < kRecordSize; ++i) records[r][i] = (unsigned char)(i * 7 + r);
      fragmenter.build("state", records[r].data(), kRecordSize, 400, [&](const vl::osc::Packet& p) {
        packets.emplace_back(p.data(), p.data() + p.size());
      });
    }
  }
  vl::StateFragmenter fragmenter;
  std::vector<unsigned char> records[3];
  std::vector<std::vector<char>> packets;
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = fixture();
  vl::StateAssembler assembler(kRecordSize);
  assembler.id("state");
  vl::osc::PacketReader reader;
  std::vector<unsigned char> out(kRecordSize);
  std::vector<char> datagram;
  bool tampered =
      false;  // a changed datagram may pass as genuine, so taken records are not checked
  std::size_t p = 0;
  while (p + 4 <= size) {
    const uint8_t op = data[p], which = data[p + 1], at = data[p + 2], value = data[p + 3];
    p += 4;
    const auto& genuine = f.packets[which % f.packets.size()];
    datagram.assign(genuine.begin(), genuine.end());
    switch (op % 4) {
      case 0:
        break;
      case 1:
        datagram[(at * 4u + value % 4) % datagram.size()] = static_cast<char>(value);
        tampered = true;
        break;
      case 2:
        datagram.resize(datagram.size() * at / 256);
        break;
      case 3: {
        const std::size_t n = std::min<std::size_t>(size - p, at);
        datagram.assign(data + p, data + p + n);
        p += n;
        tampered = true;
        break;
      }
    }
    try {
      reader.read(datagram.data(), datagram.size(), "fuzz");
    } catch (const std::exception&) {
      continue;
    }
    for (std::size_t i = 0; i < reader.size(); ++i) assembler.consume(reader[i]);
    if (assembler.take(out.data()) && !tampered) {
      bool sent = false;
      for (auto& r : f.records) sent = sent || out == r;
      if (!sent) std::abort();  // a record nobody sent, built from genuine datagrams
    }
  }
  return 0;
}
