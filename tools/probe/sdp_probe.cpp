#include <cstdio>
#include <memory>
#include <string>

#include "probe.h"
#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "protocols/sdp/sdp_printer.h"

int runSdpProbe(const char* path) {
  using namespace strevana;
  std::unique_ptr<SdpInput> input = makeSdpFileInput(path);
  if (!input) {
    std::fprintf(stderr, "strevana-probe: cannot open %s\n", path);
    return 1;
  }
  std::unique_ptr<SdpSession> sessions;
  int count = 0;
  std::string error;
  const int rc = decodeSdp(input.get(), sessions, count, &error);
  // Complete sessions before a failing line are still worth showing.
  std::fputs(printSdpSessions(sessions.get()).c_str(), stdout);
  if (rc != kSdpOk) {
    std::fprintf(stderr, "strevana-probe: cannot decode %s: %s (code %d)\n", path, error.c_str(),
                 rc);
    return 1;
  }
  return 0;
}
