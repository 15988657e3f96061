// strevana-probe FILE | URL [--seconds N] | FILE.sdp [--seconds N] | --sdp FILE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "probe.h"

namespace {

bool isStream(const char* name) {
  if (std::strncmp(name, "rtsp://", 7) == 0) return true;
  const char* dot = std::strrchr(name, '.');
  return dot && (std::strcmp(dot, ".sdp") == 0 || std::strcmp(dot, ".SDP") == 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--sdp") == 0) return runSdpProbe(argv[2]);
  if ((argc == 2 || (argc == 4 && std::strcmp(argv[2], "--seconds") == 0)) && argv[1][0] != '-') {
    if (isStream(argv[1])) {
      const int seconds = argc == 4 ? std::atoi(argv[3]) : 5;
      if (seconds > 0) return runStreamProbe(argv[1], seconds);
    } else if (argc == 2) {
      return runFileProbe(argv[1]);
    }
  }
  std::fprintf(stderr,
               "usage: strevana-probe FILE\n"
               "       strevana-probe URL|FILE.sdp [--seconds N]\n"
               "       strevana-probe --sdp FILE\n");
  return 2;
}
