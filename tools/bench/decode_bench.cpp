#include <cstdio>

#include "bench.h"

int runDecodeBench(int, char**) {
  std::fprintf(stderr, "strevana-bench: decode benchmark not built yet\n");
  return 1;
}
