// strevana-bench colour | decode FILE [--format 5|10|11] | present | seek FILE [--at MS] | open
// FILE | rtp
#include <cstdio>
#include <cstring>

#include "bench.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "colour") == 0) return runColourBench(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "decode") == 0) return runDecodeBench(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "seek") == 0) return runSeekBench(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "open") == 0) return runOpenBench(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "present") == 0) return runPresentBench(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "rtp") == 0) return runRtpBench(argc - 1, argv + 1);
  std::fprintf(
      stderr,
      "usage: strevana-bench colour\n       strevana-bench decode FILE [--format 5|10|11]\n"
      "       strevana-bench present\n       strevana-bench seek FILE [--at MS]\n       "
      "strevana-bench open FILE\n"
      "       strevana-bench rtp [--seconds S] [--packet-bytes B] [--packets-per-frame K]\n");
  return 2;
}
