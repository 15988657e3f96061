#include "streaming/media_source_factory.h"

#include <gtest/gtest.h>

namespace strevana {
namespace {

TEST(MediaSourceFactoryTest, FileEndingsPickTheSourceKind) {
  for (const char* name : {"clip.mp4", "clip.MP4", "a.b/clip.3gp", "CLIP.3GP", ".mp4"}) {
    EXPECT_EQ(classifyMediaName(nullptr, name), MediaSourceKind::kMp4File) << name;
  }
  for (const char* name : {"session.sdp", "SESSION.SDP", "/tmp/x.y.sdp"}) {
    EXPECT_EQ(classifyMediaName(nullptr, name), MediaSourceKind::kStream) << name;
  }
}

TEST(MediaSourceFactoryTest, OtherNamesAreRefused) {
  for (const char* name :
       {"clip.Mp4", "clip.mP4", "clip.3Gp", "clip.Sdp", "clip.yuv", "clip.mp4.bak", "clip.mp4~",
        "clip.mp", "clip.mp44", "clipmp4", "mp4", "", "folder.mp4/clip", "clip."}) {
    EXPECT_EQ(classifyMediaName(nullptr, name), MediaSourceKind::kNone) << name;
  }
  EXPECT_EQ(classifyMediaName(nullptr, nullptr), MediaSourceKind::kNone);
}

TEST(MediaSourceFactoryTest, UrlBasesMustStartWithLowerCaseRtsp) {
  EXPECT_EQ(classifyMediaName("rtsp://host/path", "stream"), MediaSourceKind::kStream);
  EXPECT_EQ(classifyMediaName("rtsp:", nullptr), MediaSourceKind::kStream);
  // With a base the name's ending does not matter.
  EXPECT_EQ(classifyMediaName("rtsp://host", "clip.mp4"), MediaSourceKind::kStream);
  for (const char* base :
       {"RTSP://host", "Rtsp://host", "http://host", "rtsp", "rtp://host", " rtsp://host", ""}) {
    EXPECT_EQ(classifyMediaName(base, "clip.sdp"), MediaSourceKind::kNone) << base;
  }
}

std::unique_ptr<MediaSource> create(const char* base, const char* name) {
  return createMediaSource(base, name, 0, kFormatYuy2, kPostfilterNone, 6970, 1000, 5000, nullptr,
                           nullptr, nullptr, nullptr, 0, 0, 0, nullptr);
}

TEST(MediaSourceFactoryTest, RefusedOrUnopenableNamesGiveNull) {
  EXPECT_EQ(create(nullptr, "clip.yuv"), nullptr);
  EXPECT_EQ(create(nullptr, "clip.Mp4"), nullptr);
  EXPECT_EQ(create(nullptr, "noext"), nullptr);
  EXPECT_EQ(create("RTSP://127.0.0.1:1/", "x"), nullptr);
  EXPECT_EQ(create("http://127.0.0.1:1/", "x"), nullptr);
  // Accepted endings whose file does not exist open neither video nor audio.
  EXPECT_EQ(create(nullptr, "/nonexistent-folder/clip.mp4"), nullptr);
  EXPECT_EQ(create(nullptr, "/nonexistent-folder/session.sdp"), nullptr);
}

}  // namespace
}  // namespace strevana
