#include <cstdio>

#include "probe.h"

int runFileProbe(const char* path) {
  std::fprintf(stderr, "strevana-probe: cannot read %s: media files are not supported by this build yet\n", path);
  return 1;
}
