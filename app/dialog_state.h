#pragma once
// The records the Network Options and Save RTP streams dialogs edit. The
// command handlers move their values to and from the PlaybackEngine.
//
// Threads: UI thread. Plain value types.
#include <array>
#include <cstdint>
#include <string>

namespace strevana {

struct NetworkOptionsDialogState {
  int32_t bufferSeconds = 0;
  int32_t timeoutSeconds = 0;
  int32_t udpPort = 0;
  int32_t transport = 0;  // 0 automatic, 1 UDP, 2 TCP (the engine's values)
};

struct SaveStreamDialogState {
  // The five outputs, in this order throughout.
  enum Output { kVideoStream = 0, kAudioStream, kRawVideo, kRawAudio, kMp4File, kOutputCount };
  // A path is held in 1024 bytes with its terminator.
  static constexpr size_t kMaxPathLength = 1023;

  std::array<std::string, kOutputCount> paths{};
  std::array<bool, kOutputCount> checked{};
  bool frameFile = false;  // "Save every frame in single file"
};

}  // namespace strevana
