// libFuzzer target: arbitrary bytes handed to a receiver as one datagram, through parsing,
// bundle walking, typed reads of every argument (right and wrong types) and printing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/vl_OSC.hpp"

namespace {

class ReadEverything : public vl::osc::PacketHandler {
 public:
  void onMessage(vl::osc::Message& m) override {
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
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static vl::osc::Recv recv;
  static ReadEverything reader;
  static const bool registered = (recv.handler(reader), true);
  (void)registered;
  recv.processPacket(reinterpret_cast<const char*>(data), size, "127.0.0.1:1");
  return 0;
}
