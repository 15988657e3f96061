#include "playback/panel/skin_resources.h"

#include <QString>
#include <iterator>

namespace strevana {

namespace {

struct PictureEntry {
  int32_t id;
  const char* name;  // file under resources/skin, without ".png"
};

// Resource id -> picture. The sizes are fixed by the panel's layout (see
// resources/skin/README.md).
// clang-format off
constexpr PictureEntry kPictures[] = {
    {133, "frame_top_left"},      {134, "frame_top_right"},   {135, "frame_bottom_left"},
    {136, "frame_bottom_right"},  {137, "frame_left"},        {138, "frame_right"},
    {139, "frame_top"},           {140, "frame_bottom"},
    {132, "play_normal"},         {141, "play_on"},           {142, "play_hover"},
    {143, "play_disabled"},
    {145, "pause_normal"},        {146, "pause_pressed"},     {147, "pause_hover"},
    {148, "pause_disabled"},
    {151, "step_forward_normal"}, {149, "step_forward_pressed"},
    {152, "step_forward_hover"},  {150, "step_forward_disabled"},
    {156, "step_back_normal"},    {153, "step_back_pressed"}, {154, "step_back_hover"},
    {155, "step_back_disabled"},
    {161, "rewind_normal"},       {157, "rewind_pressed"},    {158, "rewind_hover"},
    {160, "rewind_disabled"},
    {162, "end_normal"},          {163, "end_pressed"},       {164, "end_hover"},
    {165, "end_disabled"},
    {166, "slider_left"},         {167, "slider_right"},      {168, "slider_middle"},
    {169, "slider_knob"},
    {kStillPictureId, "still_picture"},
};
// clang-format on

constexpr int32_t kLargeIconSizes[] = {32, 48, 64, 128, 256};
constexpr int32_t kSmallIconSizes[] = {16, 24, 32};

QImage loadPicture(int32_t resourceId) {
  for (const PictureEntry& e : kPictures) {
    if (e.id == resourceId) {
      return QImage(QStringLiteral(":/strevana/skin/%1.png").arg(QLatin1String(e.name)));
    }
  }
  return QImage();
}

}  // namespace

std::unique_ptr<SkinBitmap> loadSkinBitmap(int32_t resourceId) {
  QImage image = loadPicture(resourceId);
  if (image.isNull()) {
    return nullptr;
  }
  return std::make_unique<SkinBitmap>(image);
}

QImage loadStillPicture() {
  QImage image = loadPicture(kStillPictureId);
  return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
}

std::vector<QImage> loadIconImages(int32_t resourceId) {
  std::vector<QImage> images;
  const int32_t* begin = nullptr;
  const int32_t* end = nullptr;
  if (resourceId == kIconLarge) {
    begin = std::begin(kLargeIconSizes);
    end = std::end(kLargeIconSizes);
  } else if (resourceId == kIconSmall) {
    begin = std::begin(kSmallIconSizes);
    end = std::end(kSmallIconSizes);
  }
  for (const int32_t* size = begin; size != end; ++size) {
    QImage image(QStringLiteral(":/strevana/icons/strevana_%1.png").arg(*size));
    if (!image.isNull()) {
      images.push_back(image.convertToFormat(QImage::Format_ARGB32));
    }
  }
  return images;
}

}  // namespace strevana
