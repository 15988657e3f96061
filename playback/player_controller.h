#pragma once
// PlayerController: the one object through which the shell drives playback.
// It owns the main window's drawing context, the optional full-screen
// window's context, the skinned control panel (frame pictures, six buttons,
// position slider, time text), the PlaybackEngine, the SpinLock that
// serialises everything touching the engine, and the playback thread.
//
// Threads: the shell calls every public operation on the user-interface
// thread; the playback thread runs runPlaybackLoop. Each operation takes the
// lock itself (never re-entrantly), and the lock is held for a whole tick and
// display refresh, so user operations wait for at most one tick. The window
// host is called only with the lock released. Lock order: this lock, then the
// audio output's.
//
// Ownership: owns the video window context, the full-screen context (deleted
// when replaced), every widget and the engine. The window surfaces behind the
// contexts and the MainWindowHost belong to the shell and must outlive the
// controller.
//
// Choices made here where the behaviour was open or unsafe as described:
// - setZoom and updateButtonStates read the engine's source under the lock:
//   the playback thread may close a live source at any tick.
// - The margins are known as soon as the skin is given, so a zoom applied
//   before the first layout already counts the frame.
// - Negative zoom percentages size the video area as 0 x 0 (the client area
//   is then the frame alone, at least 350 wide).
// - The time text never shows a negative clock (the audio clock starts a
//   little below 0 while the device fills): it reads 00:00:00:00 then.
// - A stop request that arrives before the playback thread has entered its
//   loop is not lost, and stopping a controller whose thread never started
//   returns at once.
// - A stream reopened by the play button is reopened with the lock released
//   (opening takes the lock itself).
// - The play button shows its "on" picture whenever playback runs, whichever
//   way it started (the button, a key, a click in the full-screen window,
//   opening a medium), and its normal picture whenever it stops.
// - A zoom that would make the window larger than the host's largest client
//   area fits the video area inside it, keeping the aspect.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/millisecond_clock.h"
#include "base/spin_lock.h"
#include "playback/main_window_host.h"
#include "playback/panel/draw_context.h"
#include "playback/panel/skin_bitmap.h"
#include "playback/panel/skin_button.h"
#include "playback/panel/skin_slider.h"
#include "playback/panel/widget.h"
#include "playback/playback_engine.h"
#include "playback/tick_waiter.h"

namespace strevana {

class PlayerController {
 public:
  // Thread states.
  static constexpr int32_t kThreadRunning = 0;
  static constexpr int32_t kThreadStopRequested = 1;
  static constexpr int32_t kThreadEnded = 2;
  // The narrowest client width zooming may give.
  static constexpr int32_t kMinClientWidth = 350;
  // Number of skin pictures handed to setSkin (see kSkinLoadOrder).
  static constexpr size_t kSkinPictureCount = 36;
  // Time text colours.
  static constexpr Colour kTimeForeground = rgb(200, 220, 240);
  static constexpr Colour kTimeBackground = rgb(64, 80, 100);

  PlayerController(std::unique_ptr<DrawContext> videoWindow, MainWindowHost* host,
                   const MillisecondClock& clock = SteadyMillisecondClock::instance());
  ~PlayerController();
  PlayerController(const PlayerController&) = delete;
  PlayerController& operator=(const PlayerController&) = delete;

  // The panel builder: the 36 pictures in kSkinLoadOrder order (eight frame
  // pieces, four per button for play, pause, step forward, step backward,
  // rewind and end, then the slider's four). Missing entries may be null.
  void setSkin(std::vector<std::unique_ptr<SkinBitmap>> pictures);
  // setSkin with the program's own pictures.
  void loadSkin();

  // Opening: 1 on success, 0 when the engine could not open the medium (the
  // previous medium is closed then).
  int openFile(const char* name);
  int openYuvSource(std::unique_ptr<MediaSource> source);
  int openStream(const char* url);

  void setZoom(int32_t percent);
  void layoutPanel();
  // Moves the video output into window (the full-screen window) or, with
  // null, back into the main window inside the frame.
  void setFullScreenWindow(std::unique_ptr<DrawContext> window);
  bool isFullScreen() const { return fullScreenWindow_ != nullptr; }
  void setUseDirectDraw(bool on);
  void setOverlayImage(int32_t width, int32_t height, const uint8_t* pixels);
  void setVideoPoint(int32_t x, int32_t y);
  // Event kinds kMouseMove, kMouseDown, kMouseRelease (panel/widget.h).
  void onPanelMouse(int32_t x, int32_t y, int32_t event);
  void updateDisplay();
  void updateButtonStates();

  // The panel buttons' actions, for the shell's keys: exactly what a click on
  // the button does (kTogglePlay is play or pause, whichever the button's
  // state offers). Positioning actions do nothing for a live stream, whose
  // buttons are disabled.
  enum class PanelAction {
    kPlay,
    kPause,
    kTogglePlay,
    kStepBackward,
    kStepForward,
    kRewind,
    kToEnd
  };
  void perform(PanelAction action);
  // Locked shortcuts for the shell's keyboard and tools: the pause button's
  // action, and the slider's seek to a position in ms.
  void pausePlayback();
  void seekTo(int32_t ms);
  // The pointer left the main window: no button keeps its hover picture.
  void endHover();
  // Whether a client position of the window showing the video lies on the
  // video (anywhere in the full-screen window, inside the frame otherwise).
  bool inVideoArea(int32_t x, int32_t y) const;

  // Runs f(engine) with the lock held: the shell's way to the engine's
  // settings (repeat, post filter, network, save paths, still picture).
  template <typename F>
  auto withEngine(F&& f) {
    std::lock_guard<SpinLock> guard(lock_);
    return f(engine_);
  }

  // The playback thread.
  void startPlaybackThread();
  int runPlaybackLoop();
  void stopPlaybackLoop();

  // State for the shell and tests.
  bool playing() const { return playing_.load() != 0; }
  int32_t threadState() const { return threadState_.load(); }
  const std::optional<std::string>& currentName() const { return currentName_; }
  DrawContext* videoWindow() const { return videoWindow_.get(); }
  int32_t marginLeft() const { return marginLeft_; }
  int32_t marginRight() const { return marginRight_; }
  int32_t marginTop() const { return marginTop_; }
  int32_t marginBottom() const { return marginBottom_; }
  // The widgets, for hit tests and drawing checks. Read them under the lock
  // (withEngine) while the playback thread runs.
  const Widget& panel() const { return panel_; }
  const SkinButton& playButton() const { return playButton_; }
  const SkinButton& pauseButton() const { return pauseButton_; }
  const SkinButton& stepForwardButton() const { return stepForwardButton_; }
  const SkinButton& stepBackwardButton() const { return stepBackwardButton_; }
  const SkinButton& rewindButton() const { return rewindButton_; }
  const SkinButton& endButton() const { return endButton_; }
  const SkinSlider& positionSlider() const { return positionSlider_; }
  // The last time text drawn.
  std::string timeText() const;

 private:
  enum class Opener { kFile, kYuv, kStream };
  // A paused stream the play action opens again once the lock is released.
  struct Reopen {
    Opener kind;
    std::string name;
  };
  int open(Opener kind, const char* name, std::unique_ptr<MediaSource> source);
  std::optional<Reopen> actLocked(PanelAction action);
  std::optional<Reopen> playLocked();
  void startPlayingLocked();
  void stopPlayingLocked();
  void reopen(const std::optional<Reopen>& what);
  void updateMargins();
  void layoutPanelLocked();
  // Redraws the slider and the time text where they changed; forced after
  // the panel itself was redrawn.
  void updateDisplayLocked(bool force = false);
  void updateButtonStatesLocked();
  void releasePlayButtonLocked();
  void threadMain();

  std::unique_ptr<DrawContext> videoWindow_;
  MainWindowHost* host_;
  Widget panel_;
  std::unique_ptr<DrawContext> fullScreenWindow_;
  std::unique_ptr<SkinBitmap> frame_[8];
  SkinButton playButton_;
  SkinButton pauseButton_;
  SkinButton stepForwardButton_;
  SkinButton stepBackwardButton_;
  SkinButton rewindButton_;
  SkinButton endButton_;
  SkinSlider positionSlider_;
  int32_t marginLeft_ = 0;
  int32_t marginRight_ = 0;
  int32_t marginTop_ = 0;
  int32_t marginBottom_ = 0;
  PlaybackEngine engine_;
  std::atomic<int32_t> playing_{0};
  TickWaiter tickWaiter_;
  mutable SpinLock lock_;
  std::atomic<int32_t> threadState_{kThreadEnded};
  std::optional<std::string> currentName_;
  std::string timeText_;
  std::string drawnTimeText_;  // what the panel shows, to skip redrawing it
  std::thread thread_;
};

}  // namespace strevana
