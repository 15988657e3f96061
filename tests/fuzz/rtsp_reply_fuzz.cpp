// Decodes arbitrary bytes as a stream of RTSP replies, the way the client
// reads a connection: the first byte picks how the bytes are split into
// receives (1 to 256 per read), so partial lines and split terminators are
// exercised as well as whole replies.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocols/rtsp/rtsp_reply_reader.h"
#include "tests/support/memory_byte_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  strevana::testing::MemoryByteSource source(
      std::string(reinterpret_cast<const char*>(data) + 1, size - 1),
      static_cast<std::size_t>(data[0]) + 1);
  strevana::RtspReplyReader reader(source);
  strevana::RtspResponse reply;
  for (int i = 0; i < 64; ++i) {
    if (reader.readReply(reply) != 0) break;
    if (reply.body && reply.body->size() > strevana::kRtspMaxBodyBytes) __builtin_trap();
    if (reply.statusCode[0] < '1' || reply.statusCode[0] > '5' || reply.statusCode[3] != '\0')
      __builtin_trap();
  }
  return 0;
}
