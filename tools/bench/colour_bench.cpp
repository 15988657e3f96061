#include <cstdio>

#include "bench.h"

int runColourBench(int, char**) {
  std::fprintf(stderr, "strevana-bench: colour benchmark not built yet\n");
  return 1;
}
