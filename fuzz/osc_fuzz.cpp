// libFuzzer target: arbitrary bytes read as one datagram, through validation, bundle walking,
// typed reads of every argument (right and wrong types), copying and printing. It links only
// the reading side of the OSC layer, the side that faces the network.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "protocol/vl_OSC.hpp"

namespace {

class ReadEverything {
 public:
  void onMessage(vl::osc::Message& m) {
    for (char tag : m.typeTags()) {
      switch (tag) {
        case 'i': {
          int32_t v;
          m >> v;
          break;
        }
        case 'f': {
          float v;
          m >> v;
          break;
        }
        case 's': {
          std::string v;
          m >> v;
          break;
        }
        case 'b': {
          std::vector<unsigned char> v;
          m >> v;
          break;
        }
        case 'c': {
          char v;
          m >> v;
          break;
        }
        case 'd': {
          double v;
          m >> v;
          break;
        }
        case 'h': {
          int64_t v;
          m >> v;
          break;
        }
        default: {  // a mismatched read must be reported, not trusted
          int32_t v;
          m >> v;
        }
      }
    }
    int32_t past;
    m >> past;
    m.resetStream();
    std::string first;
    m >> first;
    m.print();
    vl::osc::Message kept(m);
    kept >> first;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Kept from one input to the next, as a receiver keeps it, so that reuse is fuzzed too.
  static vl::osc::PacketReader reader;
  static ReadEverything handler;
  try {
    reader.read(reinterpret_cast<const char*>(data), size, "127.0.0.1:1");
  } catch (const std::exception&) {
    return 0;  // malformed input is refused whole
  }
  for (std::size_t i = 0; i < reader.size(); ++i) handler.onMessage(reader[i]);
  return 0;
}
