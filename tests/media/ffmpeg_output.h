#pragma once
// ffmpeg as the peer the saved files are compared with: what it writes for a
// fixture with the given output options, read back whole.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"

namespace strevana::test {

// Runs `ffmpeg -i FIXTURE OPTIONS OUT` (OUT inside dir) and returns OUT's
// bytes; empty when ffmpeg fails.
inline std::vector<uint8_t> ffmpegOutput(const std::string& clip, const std::string& options,
                                         const std::string& dir, const std::string& name) {
  const std::string out = dir + "/" + name;
  const std::string command =
      "ffmpeg -nostdin -v error -y -i '" + fixture(clip) + "' " + options + " '" + out + "'";
  if (std::system(command.c_str()) != 0) return {};
  return readFile(out);
}

// The decoder configuration of the clip's first stream of a kind ("v" or
// "a"), as ffmpeg's dump_extra filter puts it in front of the first packet:
// that packet with it, less the packet alone (empty for a stream without
// one); nullopt when ffmpeg fails.
inline std::optional<std::vector<uint8_t>> ffmpegConfig(const std::string& clip,
                                                        const std::string& kind,
                                                        const std::string& dir) {
  const std::string map = "-map 0:" + kind + ":0 -c copy -frames:" + kind + " 1 -f data";
  const auto with =
      ffmpegOutput(clip, map + " -bsf:" + kind + " dump_extra=freq=keyframe", dir, "with-config");
  const auto without = ffmpegOutput(clip, map, dir, "without-config");
  if (without.empty() || with.size() < without.size() ||
      !std::equal(without.rbegin(), without.rend(), with.rbegin())) {
    return std::nullopt;
  }
  return std::vector<uint8_t>(with.begin(),
                              with.end() - static_cast<std::ptrdiff_t>(without.size()));
}

}  // namespace strevana::test
