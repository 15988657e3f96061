#include <cstdio>

#include "probe.h"

int runSdpProbe(const char* path) {
  std::fprintf(stderr, "strevana-probe: cannot decode %s: session descriptions are not supported by this build yet\n", path);
  return 1;
}
