// Decodes arbitrary bytes as an RTSP connection that carries media frames
// between and inside replies (RFC 2326 10.12), the way the client reads it
// while a stream plays over TCP: the first byte picks how the bytes are split
// into receives (1 to 256 per read), the second which reads are replies and
// which are drains of media alone. Every frame handed out must fit its 16-bit
// length and come from the input's bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocols/rtsp/rtsp_reply_reader.h"
#include "tests/support/memory_byte_source.h"

namespace {

class CountingSink final : public strevana::InterleavedSink {
 public:
  explicit CountingSink(std::size_t limit) : limit_(limit) {}
  void onInterleavedFrame(uint8_t, const uint8_t* data, std::size_t size) override {
    if (size > 0xFFFF || (size > 0 && data == nullptr)) __builtin_trap();
    total_ += size + 4;  // each frame costs its bytes and its 4-byte header
    if (total_ > limit_) __builtin_trap();
    volatile uint8_t touch = 0;
    for (std::size_t i = 0; i < size; ++i) touch = touch ^ data[i];
    (void)touch;
  }

 private:
  std::size_t limit_;
  std::size_t total_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const uint8_t pattern = data[1];
  strevana::testing::MemoryByteSource source(
      std::string(reinterpret_cast<const char*>(data) + 2, size - 2),
      static_cast<std::size_t>(data[0]) + 1);
  CountingSink sink(size - 2);
  strevana::RtspReplyReader reader(source);
  reader.setInterleavedSink(&sink);
  strevana::RtspResponse reply;
  for (int i = 0; i < 64; ++i) {
    if ((pattern >> (i % 8)) & 1) {
      if (reader.readInterleaved() < 0) break;
      if (reader.messagePending() && reader.readReply(reply) != 0) break;
    } else {
      if (reader.readReply(reply) != 0) break;
      if (reply.statusCode[0] < '1' || reply.statusCode[0] > '5' || reply.statusCode[3] != '\0')
        __builtin_trap();
    }
  }
  return 0;
}
