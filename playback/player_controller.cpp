#include "playback/player_controller.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "playback/panel/skin_resources.h"
#include "playback/zoom_fit.h"
#include "video/video_renderer.h"
#include "video/window_surface.h"

namespace strevana {

namespace {

// Frame pieces by resource id: 133 + index.
constexpr size_t kTopLeft = 0;      // 133
constexpr size_t kTopRight = 1;     // 134
constexpr size_t kBottomLeft = 2;   // 135
constexpr size_t kBottomRight = 3;  // 136
constexpr size_t kLeftEdge = 4;     // 137
constexpr size_t kRightEdge = 5;    // 138
constexpr size_t kTopEdge = 6;      // 139
constexpr size_t kBottomEdge = 7;   // 140

// Button row: left of the first button, gap below the buttons, and each
// button's x as a multiple of its width.
constexpr int32_t kButtonLeft = 15;
constexpr int32_t kButtonBottomGap = 13;
constexpr double kPlayStep = 0.0;
constexpr double kPauseStep = 1.05;
constexpr double kRewindStep = 2.3;
constexpr double kEndStep = 3.35;
constexpr double kStepBackwardStep = 4.6;
constexpr double kStepForwardStep = 5.65;
// Slider: x, distance of its top from the bottom, width left over, height.
constexpr int32_t kSliderX = 15 + 4;
constexpr int32_t kSliderBottomOffset = 28 + 32;
constexpr int32_t kSliderWidthLess = 15 + 17 + 74;
constexpr int32_t kSliderHeight = 15;
// Time text: offsets of its top-left corner from the panel's right and bottom.
constexpr int32_t kTimeRightOffset = 100;
constexpr int32_t kTimeBottomOffset = 35;

constexpr auto kStopPollStep = std::chrono::milliseconds(100);
// How long the playback thread sleeps while nothing plays (a play wakes it).
constexpr auto kIdleWait = std::chrono::milliseconds(50);
constexpr int kStopPollSteps = 20;

int32_t widthOf(const std::unique_ptr<SkinBitmap>& b) { return b ? b->width() : 0; }
int32_t heightOf(const std::unique_ptr<SkinBitmap>& b) { return b ? b->height() : 0; }

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool endsWithSdp(const std::string& s) {
  const size_t dot = s.rfind('.');
  return dot != std::string::npos && s.compare(dot, std::string::npos, ".sdp") == 0;
}

int32_t clampToInt32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

PlayerController::PlayerController(std::unique_ptr<DrawContext> videoWindow, MainWindowHost* host,
                                   const MillisecondClock& clock)
    : videoWindow_(std::move(videoWindow)),
      host_(host),
      panel_(videoWindow_.get()),
      playButton_(videoWindow_.get()),
      pauseButton_(videoWindow_.get()),
      stepForwardButton_(videoWindow_.get()),
      stepBackwardButton_(videoWindow_.get()),
      rewindButton_(videoWindow_.get()),
      endButton_(videoWindow_.get()),
      positionSlider_(videoWindow_.get()),
      engine_(clock) {
  panel_.setBackground(rgb(0, 0, 0));
  panel_.setForeground(rgb(255, 255, 255));
  for (Widget* w : std::initializer_list<Widget*>{&playButton_, &pauseButton_, &stepForwardButton_,
                                                  &stepBackwardButton_, &rewindButton_, &endButton_,
                                                  &positionSlider_}) {
    panel_.addChild(w);
  }
  playButton_.setToggle(true);
}

PlayerController::~PlayerController() {
  if (thread_.joinable()) {
    // The thread ends after its current tick; it must not outlive what it uses.
    threadState_.store(kThreadStopRequested);
    thread_.join();
  }
  engine_.closeMedia();
}

// ---------------------------------------------------------------- skin

void PlayerController::setSkin(std::vector<std::unique_ptr<SkinBitmap>> pictures) {
  pictures.resize(kSkinPictureCount);
  std::lock_guard<SpinLock> guard(lock_);
  for (size_t i = 0; i < 8; ++i) frame_[i] = std::move(pictures[i]);
  SkinButton* buttons[] = {&playButton_,         &pauseButton_,  &stepForwardButton_,
                           &stepBackwardButton_, &rewindButton_, &endButton_};
  size_t next = 8;
  for (SkinButton* b : buttons) {
    b->setPictures(std::move(pictures[next]), std::move(pictures[next + 1]),
                   std::move(pictures[next + 2]), std::move(pictures[next + 3]));
    next += 4;
  }
  positionSlider_.setPictures(std::move(pictures[next]), std::move(pictures[next + 1]),
                              std::move(pictures[next + 2]), std::move(pictures[next + 3]));
  updateMargins();
}

void PlayerController::loadSkin() {
  std::vector<std::unique_ptr<SkinBitmap>> pictures;
  pictures.reserve(kSkinPictureCount);
  for (int32_t id : kSkinLoadOrder) pictures.push_back(loadSkinBitmap(id));
  setSkin(std::move(pictures));
}

void PlayerController::updateMargins() {
  marginTop_ = heightOf(frame_[kTopLeft]);
  marginBottom_ = heightOf(frame_[kBottomRight]);
  marginLeft_ = widthOf(frame_[kLeftEdge]);
  marginRight_ = widthOf(frame_[kRightEdge]);
}

// ---------------------------------------------------------------- opening

int PlayerController::openFile(const char* name) { return open(Opener::kFile, name, nullptr); }

int PlayerController::openYuvSource(std::unique_ptr<MediaSource> source) {
  return open(Opener::kYuv, nullptr, std::move(source));
}

int PlayerController::openStream(const char* url) { return open(Opener::kStream, url, nullptr); }

int PlayerController::open(Opener kind, const char* name, std::unique_ptr<MediaSource> source) {
  // The name may be currentName itself (the play button reopening a stream).
  std::optional<std::string> nameCopy;
  if (name) nameCopy = std::string(name);
  {
    std::lock_guard<SpinLock> guard(lock_);
    engine_.setOverlayImage(0, 0, nullptr);
  }
  currentName_.reset();
  {
    std::lock_guard<SpinLock> guard(lock_);
    int ok = 0;
    switch (kind) {
      case Opener::kFile: ok = nameCopy ? engine_.openFile(nameCopy->c_str()) : 0; break;
      case Opener::kStream: ok = nameCopy ? engine_.openUrl(nameCopy->c_str()) : 0; break;
      case Opener::kYuv: ok = engine_.openSource(std::move(source)); break;
    }
    if (!ok) return 0;
    positionSlider_.setValue(0.0);
  }
  setZoom(100);
  {
    std::lock_guard<SpinLock> guard(lock_);
    playing_.store(1);
    engine_.play();
    updateDisplayLocked();
  }
  tickWaiter_.wake();
  updateButtonStates();
  if (kind != Opener::kYuv) currentName_ = std::move(nameCopy);
  return 1;
}

// ---------------------------------------------------------------- window

void PlayerController::setZoom(int32_t percent) {
  int64_t w = 0;
  int64_t h = 0;
  int32_t left, right, top, bottom;
  {
    std::lock_guard<SpinLock> guard(lock_);
    left = marginLeft_;
    right = marginRight_;
    top = marginTop_;
    bottom = marginBottom_;
    if (const MediaSource* s = engine_.source()) {
      w = s->displayWidth;
      h = s->displayHeight;
    } else {
      w = int64_t{videoWindow_->clientWidth()} - left - right;
      h = int64_t{videoWindow_->clientHeight()} - top - bottom;
    }
  }
  w = w * percent / 100;
  h = h * percent / 100;
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  int32_t largestWidth = 0;
  int32_t largestHeight = 0;
  if (host_ && host_->largestClient(largestWidth, largestHeight)) {
    const AreaSize fitted = fitInside(
        {w, h}, {int64_t{largestWidth} - left - right, int64_t{largestHeight} - top - bottom});
    w = fitted.width;
    h = fitted.height;
  }
  int64_t clientWidth = int64_t{left} + right + w;
  if (clientWidth < kMinClientWidth) clientWidth = kMinClientWidth;
  const int64_t clientHeight = int64_t{top} + bottom + h;
  if (host_) host_->resizeClient(clampToInt32(clientWidth), clampToInt32(clientHeight));
}

void PlayerController::layoutPanel() {
  std::lock_guard<SpinLock> guard(lock_);
  layoutPanelLocked();
}

void PlayerController::layoutPanelLocked() {
  if (fullScreenWindow_) {
    DrawContext& fs = *fullScreenWindow_;
    const int32_t fw = fs.clientWidth();
    const int32_t fh = fs.clientHeight();
    fs.clearClip();
    fs.setFillWithForeground(false);
    fs.setForeground(rgb(0, 0, 0));
    fs.setBackground(rgb(0, 0, 0));
    fs.rectangle(0, 0, fw, fh);
    engine_.setVideoWindow(fs.window(), 0, 0, fw, fh);
    if (VideoRenderer* r = engine_.renderer()) r->present();
    return;
  }
  const int32_t w = videoWindow_->clientWidth();
  const int32_t h = videoWindow_->clientHeight();
  panel_.setSize(w, h);
  updateMargins();

  const int32_t videoWidth = w - marginLeft_ - marginRight_;
  const int32_t videoHeight = h - marginTop_ - marginBottom_;
  panel_.setForeground(rgb(0, 0, 0));
  panel_.setBackground(rgb(0, 0, 0));
  panel_.rectangle(marginLeft_, marginTop_, videoWidth, videoHeight);
  engine_.setVideoWindow(videoWindow_->window(), marginLeft_, marginTop_, videoWidth, videoHeight);
  if (VideoRenderer* r = engine_.renderer()) r->present();

  // The frame: corners at their own size, edges stretched between them.
  const auto& tl = frame_[kTopLeft];
  const auto& tr = frame_[kTopRight];
  const auto& bl = frame_[kBottomLeft];
  const auto& br = frame_[kBottomRight];
  const auto& top = frame_[kTopEdge];
  const auto& bottom = frame_[kBottomEdge];
  const auto& left = frame_[kLeftEdge];
  const auto& right = frame_[kRightEdge];
  if (tl) panel_.bitmap(0, 0, tl->width(), tl->height(), tl.get());
  if (tr) panel_.bitmap(w - tr->width(), 0, tr->width(), tr->height(), tr.get());
  if (bl) panel_.bitmap(0, h - bl->height(), bl->width(), bl->height(), bl.get());
  if (br) panel_.bitmap(w - br->width(), h - br->height(), br->width(), br->height(), br.get());
  if (bottom) {
    panel_.bitmap(widthOf(bl), h - bottom->height(), w - widthOf(bl) - widthOf(br),
                  bottom->height(), bottom.get());
  }
  if (right) {
    panel_.bitmap(w - right->width(), heightOf(tr), right->width(), h - heightOf(tr) - heightOf(br),
                  right.get());
  }
  if (left) {
    panel_.bitmap(0, heightOf(tl), left->width(), h - heightOf(tl) - heightOf(bl), left.get());
  }
  if (top) {
    panel_.bitmap(widthOf(tl), 0, w - widthOf(tr) - widthOf(tl), top->height(), top.get());
  }

  const std::pair<SkinButton*, double> row[] = {{&playButton_, kPlayStep},
                                                {&pauseButton_, kPauseStep},
                                                {&rewindButton_, kRewindStep},
                                                {&endButton_, kEndStep},
                                                {&stepBackwardButton_, kStepBackwardStep},
                                                {&stepForwardButton_, kStepForwardStep}};
  for (const auto& [button, step] : row) {
    button->setPosition(kButtonLeft + static_cast<int32_t>(step * button->width()),
                        h - button->height() - kButtonBottomGap);
    button->draw();
  }
  positionSlider_.setPosition(kSliderX, h - kSliderBottomOffset);
  positionSlider_.setSize(w - kSliderWidthLess, kSliderHeight);
  positionSlider_.draw();

  updateDisplayLocked(true);
}

void PlayerController::setFullScreenWindow(std::unique_ptr<DrawContext> window) {
  std::lock_guard<SpinLock> guard(lock_);
  fullScreenWindow_ = std::move(window);
  if (fullScreenWindow_) {
    engine_.setVideoWindow(fullScreenWindow_->window(), 0, 0, fullScreenWindow_->clientWidth(),
                           fullScreenWindow_->clientHeight());
    return;
  }
  const int32_t w = videoWindow_->clientWidth();
  const int32_t h = videoWindow_->clientHeight();
  panel_.setSize(w, h);
  engine_.setVideoWindow(videoWindow_->window(), marginLeft_, marginTop_,
                         w - marginLeft_ - marginRight_, h - marginTop_ - marginBottom_);
  if (VideoRenderer* r = engine_.renderer()) r->present();
}

void PlayerController::setUseDirectDraw(bool on) {
  std::lock_guard<SpinLock> guard(lock_);
  engine_.setUseDirectDraw(on ? 1 : 0);
}

void PlayerController::setOverlayImage(int32_t width, int32_t height, const uint8_t* pixels) {
  std::lock_guard<SpinLock> guard(lock_);
  engine_.setOverlayImage(width, height, pixels);
}

void PlayerController::setVideoPoint(int32_t x, int32_t y) {
  {
    std::lock_guard<SpinLock> guard(lock_);
    MediaSource* source = engine_.source();
    if (!source) return;
    double fx, fy;
    if (fullScreenWindow_) {
      const int32_t fw = fullScreenWindow_->clientWidth();
      const int32_t fh = fullScreenWindow_->clientHeight();
      if (fw <= 0 || fh <= 0) return;
      fx = static_cast<double>(x) / fw;
      fy = static_cast<double>(y) / fh;
    } else {
      const int32_t vw = videoWindow_->clientWidth() - marginLeft_ - marginRight_;
      const int32_t vh = videoWindow_->clientHeight() - marginTop_ - marginBottom_;
      if (vw <= 0 || vh <= 0) return;
      fx = static_cast<double>(x - marginLeft_) / vw;
      fy = static_cast<double>(y - marginTop_) / vh;
    }
    source->setObjectPosition(static_cast<float>(fx), static_cast<float>(fy));
  }
  layoutPanel();
}

// ---------------------------------------------------------------- panel

void PlayerController::releasePlayButtonLocked() {
  playButton_.setState(SkinButton::kNormal);
  playButton_.draw();
}

void PlayerController::startPlayingLocked() {
  playing_.store(1);
  engine_.play();
  // On every path, not only a click on the button itself.
  playButton_.setState(SkinButton::kPressed);
  playButton_.draw();
}

void PlayerController::stopPlayingLocked() {
  releasePlayButtonLocked();
  playing_.store(0);
}

std::optional<PlayerController::Reopen> PlayerController::playLocked() {
  // A paused stream was closed: playing it again opens it again.
  if (currentName_ && startsWith(*currentName_, "rtsp://"))
    return Reopen{Opener::kStream, *currentName_};
  if (currentName_ && endsWithSdp(*currentName_)) return Reopen{Opener::kFile, *currentName_};
  startPlayingLocked();
  return std::nullopt;
}

std::optional<PlayerController::Reopen> PlayerController::actLocked(PanelAction action) {
  std::optional<Reopen> reopen;
  switch (action) {
    case PanelAction::kPlay:
      if (!playing_.load()) reopen = playLocked();
      break;
    case PanelAction::kPause:
      stopPlayingLocked();
      engine_.pause();
      break;
    case PanelAction::kTogglePlay:
      if (playing_.load()) return actLocked(PanelAction::kPause);
      return actLocked(PanelAction::kPlay);
    case PanelAction::kStepBackward:
      stopPlayingLocked();
      engine_.stepBackward();
      break;
    case PanelAction::kStepForward:
      stopPlayingLocked();
      engine_.stepForward();
      break;
    case PanelAction::kRewind: engine_.rewind(); break;
    case PanelAction::kToEnd:
      stopPlayingLocked();
      engine_.seekToEnd();
      break;
  }
  updateDisplayLocked();
  return reopen;
}

void PlayerController::reopen(const std::optional<Reopen>& what) {
  if (!what) return;
  if (what->kind == Opener::kStream) {
    openStream(what->name.c_str());
  } else {
    openFile(what->name.c_str());
  }
}

void PlayerController::perform(PanelAction action) {
  std::optional<Reopen> again;
  {
    std::lock_guard<SpinLock> guard(lock_);
    const bool live = engine_.source() && engine_.source()->live;
    const bool positioning = action != PanelAction::kPlay && action != PanelAction::kPause &&
                             action != PanelAction::kTogglePlay;
    // As on the panel, where these buttons are disabled for live streams.
    if (live && positioning) return;
    again = actLocked(action);
  }
  tickWaiter_.wake();
  reopen(again);
}

bool PlayerController::inVideoArea(int32_t x, int32_t y) const {
  std::lock_guard<SpinLock> guard(lock_);
  if (fullScreenWindow_) return true;
  return x >= marginLeft_ && y >= marginTop_ && x < videoWindow_->clientWidth() - marginRight_ &&
         y < videoWindow_->clientHeight() - marginBottom_;
}

void PlayerController::onPanelMouse(int32_t x, int32_t y, int32_t event) {
  std::optional<Reopen> again;
  {
    std::lock_guard<SpinLock> guard(lock_);
    if (fullScreenWindow_) {
      if (event != kMouseRelease) return;
      // A click anywhere pauses or resumes the file on screen.
      if (playing_.load()) {
        stopPlayingLocked();
        engine_.pause();
      } else {
        startPlayingLocked();
      }
      updateDisplayLocked();
      return;
    }
    // Every widget sees the event (hover and release pictures), then the
    // clicks are acted on in the panel's order.
    const bool play = playButton_.onMouse(x, y, event);
    const bool pause = pauseButton_.onMouse(x, y, event);
    const bool stepBackward = stepBackwardButton_.onMouse(x, y, event);
    const bool stepForward = stepForwardButton_.onMouse(x, y, event);
    const bool rewind = rewindButton_.onMouse(x, y, event);
    const bool end = endButton_.onMouse(x, y, event);
    const bool slider = positionSlider_.onMouse(x, y, event);

    if (play && !playing_.load()) again = actLocked(PanelAction::kPlay);
    if (pause) actLocked(PanelAction::kPause);
    if (stepBackward) actLocked(PanelAction::kStepBackward);
    if (stepForward) actLocked(PanelAction::kStepForward);
    if (rewind) actLocked(PanelAction::kRewind);
    if (end) actLocked(PanelAction::kToEnd);
    if (slider) {
      if (const MediaSource* s = engine_.source()) {
        const double target = std::round(positionSlider_.value() * s->durationMs);
        engine_.seekTo(clampToInt32(static_cast<int64_t>(target)));
      }
      updateDisplayLocked();
    }
  }
  // Play, seek and the like take effect at the next tick, not the next due
  // picture.
  tickWaiter_.wake();
  reopen(again);
}

void PlayerController::pausePlayback() {
  std::lock_guard<SpinLock> guard(lock_);
  actLocked(PanelAction::kPause);
}

void PlayerController::endHover() {
  std::lock_guard<SpinLock> guard(lock_);
  if (fullScreenWindow_) return;
  // A move nowhere near the panel: every widget leaves its hover picture.
  for (SkinButton* b : {&playButton_, &pauseButton_, &stepBackwardButton_, &stepForwardButton_,
                        &rewindButton_, &endButton_}) {
    b->onMouse(INT32_MIN / 2, INT32_MIN / 2, kMouseMove);
  }
}

void PlayerController::seekTo(int32_t ms) {
  std::lock_guard<SpinLock> guard(lock_);
  if (engine_.source()) engine_.seekTo(ms);
  updateDisplayLocked();
  tickWaiter_.wake();
}

void PlayerController::updateDisplay() {
  std::lock_guard<SpinLock> guard(lock_);
  updateDisplayLocked();
}

void PlayerController::updateDisplayLocked(bool force) {
  MediaSource* source = engine_.source();
  const int32_t clockMs = engine_.clockMs();
  if (source && source->durationMs > 0) {
    const double fraction = static_cast<double>(clockMs) / source->durationMs;
    if (SkinSlider::clampValue(fraction) != positionSlider_.value()) {
      positionSlider_.setValue(fraction);
    }
  }
  int32_t hours = 0, minutes = 0, seconds = 0, frames = 0;
  if (!source || !source->getTimecode(hours, minutes, seconds, frames)) {
    const int32_t s = (clockMs > 0 ? clockMs : 0) / 1000;
    hours = s / 3600;
    minutes = s / 60 - hours * 60;
    seconds = s % 60;
    frames = 0;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d:%.2d", hours, minutes, seconds, frames);
  timeText_ = text;
  // Drawing text is costly (font, shaping, paint): only when it changes.
  if (!force && timeText_ == drawnTimeText_) return;
  drawnTimeText_ = timeText_;
  panel_.setForeground(kTimeForeground);
  panel_.setBackground(kTimeBackground);
  panel_.text(panel_.width() - kTimeRightOffset, panel_.height() - kTimeBottomOffset, timeText_,
              false);
  panel_.setForeground(rgb(0, 0, 0));
  panel_.setBackground(rgb(0, 0, 0));
}

std::string PlayerController::timeText() const {
  std::lock_guard<SpinLock> guard(lock_);
  return timeText_;
}

void PlayerController::updateButtonStates() {
  std::lock_guard<SpinLock> guard(lock_);
  updateButtonStatesLocked();
}

void PlayerController::updateButtonStatesLocked() {
  const MediaSource* source = engine_.source();
  playButton_.setState(playing_.load() ? SkinButton::kPressed : SkinButton::kNormal);
  if (source && source->live) {
    for (SkinButton* b : {&rewindButton_, &endButton_, &stepForwardButton_, &stepBackwardButton_}) {
      b->setState(SkinButton::kDisabled);
    }
    positionSlider_.setDisabled(true);
  } else {
    rewindButton_.setState(SkinButton::kNormal);
    positionSlider_.setDisabled(false);
    const bool audioOnly = source && source->hasAudio && !source->hasVideo;
    for (SkinButton* b : {&endButton_, &stepForwardButton_, &stepBackwardButton_}) {
      b->setState(audioOnly ? SkinButton::kDisabled : SkinButton::kNormal);
    }
  }
  for (SkinButton* b :
       {&playButton_, &rewindButton_, &endButton_, &stepForwardButton_, &stepBackwardButton_}) {
    b->draw();
  }
}

// ---------------------------------------------------------------- playback thread

void PlayerController::startPlaybackThread() {
  if (thread_.joinable()) return;
  threadState_.store(kThreadEnded);
  thread_ = std::thread([this] { threadMain(); });
}

void PlayerController::threadMain() {
  runPlaybackLoop();
  threadState_.store(kThreadEnded);
}

int PlayerController::runPlaybackLoop() {
  // Only a thread that has not been asked to stop yet starts running.
  int32_t expected = kThreadEnded;
  if (!threadState_.compare_exchange_strong(expected, kThreadRunning)) return 0;
  while (threadState_.load() == kThreadRunning) {
    std::chrono::milliseconds wait = kIdleWait;
    if (playing_.load()) {
      std::lock_guard<SpinLock> guard(lock_);
      if (!engine_.tick()) {
        playing_.store(0);
        releasePlayButtonLocked();
      }
      updateDisplayLocked();
      if (playing_.load()) wait = std::chrono::milliseconds(engine_.msUntilNextTick());
    }
    // Until the next picture is due (the engine bounds this so that the sound
    // stays fed), or until a user operation wakes the thread.
    if (wait.count() > 0) tickWaiter_.waitFor(wait);
  }
  return 0;
}

void PlayerController::stopPlaybackLoop() {
  {
    std::lock_guard<SpinLock> guard(lock_);
    if (playing_.load()) {
      playing_.store(0);
      engine_.pause();
    }
  }
  if (!thread_.joinable()) return;
  threadState_.store(kThreadStopRequested);
  tickWaiter_.wake();
  for (int i = 0; i < kStopPollSteps && threadState_.load() != kThreadEnded; ++i) {
    std::this_thread::sleep_for(kStopPollStep);
  }
  if (threadState_.load() == kThreadEnded) thread_.join();
}

}  // namespace strevana
