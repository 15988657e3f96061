#pragma once
// createMediaSource: picks the source class from the name. A URL base must
// start with "rtsp:" (case-sensitive); without one, the name's last ending
// decides: ".mp4" ".MP4" ".3gp" ".3GP" make an MP4 file source, ".sdp" ".SDP"
// a streaming source reading a local session description; anything else
// (".Mp4", ".yuv", no dot) gives null. For a stream the flags name the
// transport (rtsp_transport.h); file sources do not read them. When a stream
// cannot be opened, failedStatus (if given) receives the RTSP status that
// refused it (401: the server wants a login, or refused the one in the URL),
// else 0. A source that opened neither video nor
// audio is destroyed and null returned. Raw YUV sources are never made here.
// It lives with the streaming code because it constructs both the file source
// (below) and the streaming source.
#include <cstdint>
#include <memory>

#include "media/media_source.h"

namespace strevana {

enum class MediaSourceKind { kNone, kMp4File, kStream };

// The naming rule alone, without opening anything.
MediaSourceKind classifyMediaName(const char* urlBase, const char* name);

std::unique_ptr<MediaSource> createMediaSource(
    const char* urlBase, const char* name, int32_t flags, OutputFormat initialFormat,
    PostfilterMode postfilter, int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
    const char* videoStreamPath, const char* audioStreamPath, const char* rawVideoPath,
    const char* rawAudioPath, int32_t rawVideoPerFrame, int32_t stillWidth, int32_t stillHeight,
    const uint32_t* stillBits, int32_t* failedStatus = nullptr);

}  // namespace strevana
