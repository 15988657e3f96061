#include "streaming/media_source_factory.h"

#include <cstring>
#include <new>

#include "media/mp4_file_source.h"
#include "streaming/rtsp_stream_source.h"

namespace strevana {

namespace {

std::unique_ptr<MediaSource> makeMp4Source(const char* name, int32_t flags, OutputFormat format,
                                           PostfilterMode postfilter, const char* videoStreamPath,
                                           const char* audioStreamPath, const char* rawVideoPath,
                                           const char* rawAudioPath, int32_t rawVideoPerFrame,
                                           int32_t stillWidth, int32_t stillHeight,
                                           const uint32_t* stillBits) {
  return std::make_unique<Mp4FileSource>(name, flags, format, postfilter, videoStreamPath,
                                         audioStreamPath, rawVideoPath, rawAudioPath,
                                         rawVideoPerFrame, stillWidth, stillHeight, stillBits);
}

std::unique_ptr<MediaSource> makeStreamSource(const char* urlBase, const char* name, int32_t flags,
                                              OutputFormat format, PostfilterMode postfilter,
                                              int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
                                              int32_t stillWidth, int32_t stillHeight,
                                              const uint32_t* stillBits,
                                              const char* videoStreamPath,
                                              const char* audioStreamPath, const char* rawVideoPath,
                                              const char* rawAudioPath, int32_t rawVideoPerFrame) {
  return std::make_unique<RtspStreamSource>(
      urlBase, name, format, postfilter, udpPort, bufferMs, timeoutMs, stillWidth, stillHeight,
      stillBits, videoStreamPath, audioStreamPath, rawVideoPath, rawAudioPath, rawVideoPerFrame,
      SteadyMillisecondClock::instance(), transportFromFlags(flags));
}

}  // namespace

MediaSourceKind classifyMediaName(const char* urlBase, const char* name) {
  if (urlBase) {
    return std::strncmp(urlBase, "rtsp:", 5) == 0 ? MediaSourceKind::kStream
                                                  : MediaSourceKind::kNone;
  }
  if (!name) return MediaSourceKind::kNone;
  const char* ext = std::strrchr(name, '.');
  if (!ext) return MediaSourceKind::kNone;
  for (const char* e : {".mp4", ".MP4", ".3gp", ".3GP"}) {
    if (std::strcmp(ext, e) == 0) return MediaSourceKind::kMp4File;
  }
  for (const char* e : {".sdp", ".SDP"}) {
    if (std::strcmp(ext, e) == 0) return MediaSourceKind::kStream;
  }
  return MediaSourceKind::kNone;
}

std::unique_ptr<MediaSource> createMediaSource(
    const char* urlBase, const char* name, int32_t flags, OutputFormat initialFormat,
    PostfilterMode postfilter, int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
    const char* videoStreamPath, const char* audioStreamPath, const char* rawVideoPath,
    const char* rawAudioPath, int32_t rawVideoPerFrame, int32_t stillWidth, int32_t stillHeight,
    const uint32_t* stillBits, int32_t* failedStatus) {
  if (failedStatus) *failedStatus = 0;
  std::unique_ptr<MediaSource> source;
  try {
    switch (classifyMediaName(urlBase, name)) {
      case MediaSourceKind::kNone: return nullptr;
      case MediaSourceKind::kMp4File:
        source = makeMp4Source(name, flags, initialFormat, postfilter, videoStreamPath,
                               audioStreamPath, rawVideoPath, rawAudioPath, rawVideoPerFrame,
                               stillWidth, stillHeight, stillBits);
        break;
      case MediaSourceKind::kStream:
        source =
            makeStreamSource(urlBase, name, flags, initialFormat, postfilter, udpPort, bufferMs,
                             timeoutMs, stillWidth, stillHeight, stillBits, videoStreamPath,
                             audioStreamPath, rawVideoPath, rawAudioPath, rawVideoPerFrame);
        break;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (source && !source->hasVideo && !source->hasAudio) {
    const auto* stream = dynamic_cast<const RtspStreamSource*>(source.get());
    if (stream && failedStatus) *failedStatus = stream->openFailureStatus();
    return nullptr;
  }
  return source;
}

}  // namespace strevana
