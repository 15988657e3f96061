// Feeds assembled frames to the payload formats and reads every byte of every
// access unit they hand out, so a unit pointing outside its frame is caught.
//
// Input: byte 0 picks the format (MP4V-ES, MP4A-LATM, mpeg4-generic) and,
// for mpeg4-generic, byte 1 the length of the fmtp text that follows. Then
// frames: a byte whose low two bits give 1 to 4 packets and whose top bit
// resets the format afterwards, one length byte per packet, and the packet
// bytes. The frame's buffer is exactly as long as its bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "streaming/payload_format_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace strevana;
  if (size < 1) return 0;
  static const char* const kNames[] = {"MP4V-ES", "MP4A-LATM", "mpeg4-generic"};
  const unsigned pick = data[0] % 3;
  std::size_t at = 1;
  PayloadFormatParameters parameters;
  parameters.clockRate = 44100;
  parameters.channels = 2;
  if (pick == 2 && at < size) {
    const std::size_t n = data[at++];
    const std::size_t take = n < size - at ? n : size - at;
    parameters.formatParameters.assign(reinterpret_cast<const char*>(data + at), take);
    at += take;
  }
  std::unique_ptr<PayloadFormat> format = createPayloadFormat(kNames[pick], parameters);
  if (!format) __builtin_trap();

  std::vector<AccessUnit> units;
  volatile uint8_t sink = 0;
  while (at < size) {
    const uint8_t control = data[at++];
    std::vector<uint32_t> packets;
    std::size_t total = 0;
    for (unsigned i = 0; i <= (control & 3u) && at < size; ++i) {
      packets.push_back(data[at]);
      total += data[at++];
    }
    const std::size_t take = total < size - at ? total : size - at;
    std::vector<uint8_t> bytes(data + at, data + at + take);
    at += take;

    RtpFrame frame;
    frame.data = bytes.data();
    frame.size = static_cast<uint32_t>(bytes.size());
    frame.timestamp = static_cast<int64_t>(at) * 1000;
    frame.packetSizes = packets;  // may disagree with the bytes present
    units.clear();
    const PayloadResult result = format->depacketize(frame, units);
    if (result == PayloadResult::kMalformed && !units.empty()) __builtin_trap();
    for (const AccessUnit& unit : units) {
      for (uint32_t i = 0; i < unit.size; ++i) sink = static_cast<uint8_t>(sink + unit.data[i]);
    }
    if (control & 0x80u) format->reset();
  }
  return 0;
}
