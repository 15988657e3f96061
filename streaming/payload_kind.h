#pragma once
// Which of the three received RTP payload formats a stream uses, and whether
// a media description is received as video or audio at all. Encoding names
// are compared without regard to case (RFC 4566 section 6: "MPEG4-GENERIC"
// and "mpeg4-generic" are the same format). Pure functions, any thread.
#include <cstdint>
#include <string_view>

#include "streaming/media_entry.h"

namespace strevana {

enum class PayloadKind : int32_t {
  kOther = 0,
  kMpeg4Generic = 1,  // "mpeg4-generic", RFC 3640
  kMp4vEs = 2,        // "MP4V-ES", RFC 3016 / RFC 6416
  kMp4aLatm = 3,      // "MP4A-LATM", RFC 3016 / RFC 6416
};

PayloadKind payloadKindOf(std::string_view encodingName);

inline constexpr int kMediaVideo = 0;
inline constexpr int kMediaAudio = 1;
inline constexpr int kMediaOther = -1;

// 0 video: media type "video" whose first format's encoding name begins with
// "MP4V-ES"; 1 audio: media type "audio" whose encoding name begins with
// "mpeg4" or "MP4A"; -1 anything else (also null). Case is ignored in the
// names, not in the media type.
int classifyMedia(const MediaEntry* entry);

}  // namespace strevana
