// Feeds arbitrary bytes to the SDP decoder as a memory description and prints
// whatever it decoded, so that every reachable field is read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "protocols/sdp/sdp_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace strevana;
  auto input = makeSdpMemoryInput(std::string_view(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<SdpSession> first;
  int count = 0;
  std::string error;
  decodeSdp(input.get(), first, count, &error);
  int listed = 0;
  for (const SdpSession* s = first.get(); s != nullptr; s = s->next.get()) ++listed;
  if (listed != count) __builtin_trap();
  volatile std::size_t printed = printSdpSessions(first.get()).size();
  (void)printed;
  return 0;
}
