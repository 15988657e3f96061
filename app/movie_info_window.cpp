#include "app/movie_info_window.h"

#include "app/app_globals.h"
#include "media/media_source.h"
#include "video/window_surface.h"

namespace strevana {

namespace {

using Kind = MetadataItem::Kind;

constexpr int32_t kMetadataTop = 300;
constexpr int32_t kBlockWidth = 390;
constexpr int32_t kDescriptionLines = 4;
constexpr int32_t kWholeTextLines = 8;

// Draws through the canvas and records what went where.
class Painter {
 public:
  explicit Painter(Widget& canvas) : canvas_(canvas) {
    layout_.lineHeight = canvas.context() ? canvas.context()->textHeight() : 0;
  }

  int32_t lineHeight() const { return layout_.lineHeight; }

  void text(int32_t x, int32_t y, const std::string& s, bool rightAligned = false) {
    canvas_.text(x, y, s, rightAligned);
    layout_.texts.push_back({x, y, rightAligned, false, s});
  }
  void label(int32_t right, int32_t y, int32_t id) { text(right, y, resString(id), true); }
  // A label right at labelRight and its value at valueX, on one line.
  void pair(int32_t labelRight, int32_t valueX, int32_t y, int32_t labelId,
            const std::string& value) {
    label(labelRight, y, labelId);
    text(valueX, y, value);
  }
  int32_t block(int32_t left, int32_t top, int32_t bottom, const std::string& s) {
    layout_.texts.push_back({left, top, false, true, s});
    return canvas_.textBox(left, top, left + kBlockWidth, bottom, s);
  }
  void separator(int32_t x1, int32_t x2, int32_t y) {
    canvas_.setForeground(kInfoSeparatorDark);
    canvas_.line(x1, y, x2, y);
    canvas_.setForeground(kInfoSeparatorLight);
    canvas_.line(x1, y + 1, x2, y + 1);
    canvas_.setForeground(kInfoText);
    layout_.separatorRows.push_back(y);
  }

  MovieInfoLayout take() { return std::move(layout_); }

 private:
  Widget& canvas_;
  MovieInfoLayout layout_;
};

void drawMetadata(const MovieInfo& info, Painter& p) {
  const std::vector<MetadataItem> items = info.metadataItems();
  if (items.empty()) return;
  const int32_t lh = p.lineHeight();
  int32_t y = kMetadataTop - lh;
  // Where a line after the last one drawn starts.
  int32_t nextLine = kMetadataTop;
  bool tagShown = false;
  for (const MetadataItem& item : items) {
    switch (item.kind) {
      case Kind::kTagLine:
        y += lh;
        p.pair(100, 110, y, item.labelId, item.value);
        nextLine = y + lh;
        tagShown = true;
        break;
      case Kind::kDescription:
        y += lh;
        p.label(100, y, item.labelId);
        y = p.block(110, y, y + kDescriptionLines * lh, item.value);
        nextLine = y;
        tagShown = true;
        break;
      case Kind::kCreatedWith:
        // Alone, or closing the tag lines: a line of its own either way.
        p.pair(100, 110, tagShown ? nextLine : y + lh, info_text::kCreatedWith, item.value);
        break;
      case Kind::kWholeText: p.block(5, y + lh, y + lh + kWholeTextLines * lh, item.value); break;
      case Kind::kClosingText: p.text(5, nextLine, item.value); break;
    }
  }
}

}  // namespace

const PlacedText* MovieInfoLayout::find(const std::string& text) const {
  for (const PlacedText& t : texts) {
    if (t.text == text) return &t;
  }
  return nullptr;
}

MovieInfoLayout drawMovieInfo(const MovieInfo& info, Widget& canvas) {
  DrawContext* context = canvas.context();
  if (context == nullptr) return {};
  const int32_t w = context->clientWidth();
  const int32_t h = context->clientHeight();
  canvas.setPosition(0, 0);
  canvas.setSize(w, h);
  context->setFont(1, kInfoFontHeight);

  canvas.setForeground(kInfoOutline);
  canvas.setBackground(kInfoBackground);
  canvas.rectangle(0, 0, w, h);
  canvas.setForeground(kInfoText);

  Painter p(canvas);
  const int32_t lh = p.lineHeight();

  p.text(10, 10, resString(info_text::kGeneral));
  p.separator(5, w - 5, 24);
  p.pair(100, 110, 32, info_text::kSource, info.source);
  p.pair(100, 110, 32 + lh, info_text::kDuration, info.duration);
  p.pair(100, 110, 32 + 2 * lh, info_text::kFileSize, info.fileSize);
  p.pair(100, 110, 32 + 3 * lh, info_text::kBitrate, info.bitrate);

  p.text(10, 98, resString(info_text::kVideo));
  p.text(50, 98, info.videoCodec);
  p.separator(5, 180, 112);
  p.pair(100, 110, 120, info_text::kVideoSize, info.videoSize);
  p.pair(100, 110, 120 + lh, info_text::kDisplaySize, info.displaySize);
  p.pair(100, 110, 120 + 2 * lh, info_text::kFrameRate, info.frameRate);
  p.pair(100, 110, 120 + 3 * lh, info_text::kBitrate, info.videoBitrate);

  p.text(195, 98, resString(info_text::kAudio));
  p.text(235, 98, info.audioCodec);
  p.separator(190, w - 5, 112);
  p.pair(300, 310, 120, info_text::kChannels, info.channels);
  p.pair(300, 310, 120 + lh, info_text::kSampleRate, info.sampleRate);
  p.pair(300, 310, 120 + 2 * lh, info_text::kSampleDepth, info.sampleDepth);
  p.pair(300, 310, 120 + 3 * lh, info_text::kBitrate, info.audioBitrate);

  p.text(10, 188, resString(info_text::kStreaming));
  p.separator(5, w - 5, 202);
  p.pair(140, 150, 210, info_text::kLostVideo, info.lostVideo);
  p.pair(140, 150, 210 + lh, info_text::kReceivedVideo, info.receivedVideo);
  p.pair(140, 150, 210 + 2 * lh, info_text::kLostAudio, info.lostAudio);
  p.pair(140, 150, 210 + 3 * lh, info_text::kReceivedAudio, info.receivedAudio);

  p.text(10, 278, resString(info_text::kCopyrightHeading));
  p.separator(5, w - 5, 292);
  drawMetadata(info, p);

  // A module's string 106 goes centred at the top, as its paint would.
  const std::string banner = resString(info_text::kPaintText);
  if (!banner.empty()) p.text((w - context->textWidth(banner)) / 2, 0, banner);
  return p.take();
}

MovieInfoWindowState::MovieInfoWindowState(WindowSurface* surface)
    : context(surface), canvas(&context) {
  context.setFont(1, kInfoFontHeight);
}

MovieInfoUnits currentMovieInfoUnits() {
  MovieInfoUnits units;
  units.seconds = resString(info_text::kSeconds);
  units.kiloBytes = resString(info_text::kKiloBytes);
  units.bits = resString(info_text::kBits);
  units.kiloBits = resString(info_text::kKiloBits);
  units.pixels = resString(info_text::kPixels);
  units.framesPerSecond = resString(info_text::kFramesPerSecond);
  units.hertz = resString(info_text::kHertz);
  return units;
}

void showMovieInfoWindow(const ResourceModule* /*module*/, AppWindow* /*owner*/) {
  AppGlobals& g = app();
  if (g.movieInfo) return;
  // A window closed earlier is only hidden; its object goes now.
  g.infoWindow =
      AppWindow::create(AppWindow::Style::kMain, InfoWindowProc,
                        resString(info_text::kWindowCaption), kInfoWindowWidth, kInfoWindowHeight);
  if (!g.infoWindow) return;
  g.infoWindow->setFixedSize(kInfoWindowWidth, kInfoWindowHeight);
  g.infoWindow->show();
  g.movieInfo = std::make_unique<MovieInfoWindowState>(g.infoWindow->surface());
  g.movieInfo->info.reset();
  refreshMovieInfo();
}

void refreshMovieInfo() {
  AppGlobals& g = app();
  if (!g.movieInfo || !g.controller) return;
  MovieInfoWindowState& state = *g.movieInfo;
  const MovieInfoUnits units = currentMovieInfoUnits();
  withEngine([&](PlaybackEngine& e) {
    state.info.fill(e.source(), units);
    return 0;
  });
  state.lastLayout = drawMovieInfo(state.info, state.canvas);
}

void relayoutMovieInfoWindow() {
  AppGlobals& g = app();
  if (!g.movieInfo || !g.infoWindow) return;
  g.infoWindow->setCaption(resString(info_text::kWindowCaption));
  // The unit words belong to the values, so the model is rebuilt too.
  if (g.controller) {
    refreshMovieInfo();
  } else {
    g.movieInfo->lastLayout = drawMovieInfo(g.movieInfo->info, g.movieInfo->canvas);
  }
}

LResult InfoWindowProc(AppWindow* window, uint32_t message, WParam /*wParam*/, LParam /*lParam*/) {
  AppGlobals& g = app();
  const bool current = window != nullptr && window == g.infoWindow.get();
  switch (message) {
    case kWmEraseBackground:
    case kWmMove:
      if (current && g.movieInfo) {
        g.movieInfo->lastLayout = drawMovieInfo(g.movieInfo->info, g.movieInfo->canvas);
      }
      return 1;
    case kWmDestroy:
      if (current) g.movieInfo.reset();
      return 0;
    default: return 0;
  }
}

}  // namespace strevana
