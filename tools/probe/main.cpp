// strevana-probe FILE | --sdp FILE
#include <cstdio>
#include <cstring>

#include "probe.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--sdp") == 0) return runSdpProbe(argv[2]);
  if (argc == 2 && argv[1][0] != '-') return runFileProbe(argv[1]);
  std::fprintf(stderr, "usage: strevana-probe FILE\n       strevana-probe --sdp FILE\n");
  return 2;
}
