// The movie information window as drawn: colours, separators, where the
// texts go (the metadata lines in particular), and the window's life in the
// shell (opening, refreshing, language changes, closing).
#include "app/movie_info_window.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/app_globals.h"
#include "app/main_window.h"
#include "shell_test.h"
#include "support/temp_folder.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::fixture;

QRgb pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
QRgb qrgb(Colour c) { return c & 0xFFFFFF; }

// Whether any pixel in the rectangle is darker than the background (text).
bool hasInk(const QImage& image, int left, int top, int right, int bottom) {
  for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
    for (int x = std::max(left, 0); x < std::min(right, image.width()); ++x) {
      if (qGray(image.pixel(x, y)) < 100) return true;
    }
  }
  return false;
}

class MovieInfoDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::application();
    resetAppGlobals();
  }
  void TearDown() override { resetAppGlobals(); }

  MovieInfoLayout draw(const MovieInfo& info) {
    MovieInfoWindowState state(&surface);
    return drawMovieInfo(info, state.canvas);
  }

  MemoryWindowSurface surface{kInfoWindowWidth, kInfoWindowHeight};
};

TEST_F(MovieInfoDrawingTest, BackgroundOutlineAndSeparators) {
  MovieInfo info;
  MovieInfoLayout layout = draw(info);
  QImage image = surface.snapshot();
  EXPECT_EQ(pixel(image, 0, 0), qrgb(kInfoOutline));
  EXPECT_EQ(pixel(image, 399, 459), qrgb(kInfoOutline));
  EXPECT_EQ(pixel(image, 200, 459), qrgb(kInfoOutline));
  EXPECT_EQ(pixel(image, 390, 450), qrgb(kInfoBackground));
  EXPECT_EQ(pixel(image, 3, 200), qrgb(kInfoBackground));

  // Full-width separators under GENERAL, STREAMING and COPYRIGHT.
  for (int y : {24, 202, 292}) {
    EXPECT_EQ(pixel(image, 4, y), qrgb(kInfoBackground)) << y;
    EXPECT_EQ(pixel(image, 5, y), qrgb(kInfoSeparatorDark)) << y;
    EXPECT_EQ(pixel(image, 394, y), qrgb(kInfoSeparatorDark)) << y;
    EXPECT_EQ(pixel(image, 200, y + 1), qrgb(kInfoSeparatorLight)) << y;
    EXPECT_EQ(pixel(image, 200, y + 2), qrgb(kInfoBackground)) << y;
  }
  // VIDEO's and AUDIO's separators leave a gap between 180 and 190.
  EXPECT_EQ(pixel(image, 100, 112), qrgb(kInfoSeparatorDark));
  EXPECT_EQ(pixel(image, 179, 112), qrgb(kInfoSeparatorDark));
  EXPECT_EQ(pixel(image, 185, 112), qrgb(kInfoBackground));
  EXPECT_EQ(pixel(image, 190, 113), qrgb(kInfoSeparatorLight));
  EXPECT_EQ(layout.separatorRows, (std::vector<int32_t>{24, 112, 112, 202, 292}));
}

TEST_F(MovieInfoDrawingTest, LabelsEndAtTheirColumnAndValuesStartAtTheirs) {
  MovieInfo info;
  info.source = "clip.mp4";
  info.duration = "1:01";
  MovieInfoLayout layout = draw(info);
  QImage image = surface.snapshot();
  const int lh = layout.lineHeight;
  ASSERT_GT(lh, 8);

  const PlacedText* source = layout.find("Source:");
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(source->rightAligned);
  EXPECT_EQ(source->x, 100);
  EXPECT_EQ(source->y, 32);
  const PlacedText* duration = layout.find("Duration:");
  ASSERT_NE(duration, nullptr);
  EXPECT_EQ(duration->y, 32 + lh);
  ASSERT_NE(layout.find("clip.mp4"), nullptr);
  EXPECT_EQ(layout.find("clip.mp4")->x, 110);

  // Ink left of 100 for the label, right of 110 for the value, none in the
  // gap between them.
  EXPECT_TRUE(hasInk(image, 40, 32, 100, 32 + lh));
  EXPECT_TRUE(hasInk(image, 110, 32, 170, 32 + lh));
  EXPECT_FALSE(hasInk(image, 102, 32, 108, 32 + 4 * lh));

  // Every heading and label in its place (labels end at x).
  const struct {
    const char* text;
    int x, y;
  } placed[] = {
      {"GENERAL", 10, 10},
      {"File Size:", 100, 32 + 2 * lh},
      {"Bitrate:", 100, 32 + 3 * lh},
      {"VIDEO", 10, 98},
      {"Video Size:", 100, 120},
      {"Display Size:", 100, 120 + lh},
      {"Frame Rate:", 100, 120 + 2 * lh},
      {"AUDIO", 195, 98},
      {"Channels:", 300, 120},
      {"Sample Rate:", 300, 120 + lh},
      {"Sample Depth:", 300, 120 + 2 * lh},
      {"STREAMING", 10, 188},
      {"Lost Video:", 140, 210},
      {"Recv. Video:", 140, 210 + lh},
      {"Lost Audio:", 140, 210 + 2 * lh},
      {"Recv. Audio:", 140, 210 + 3 * lh},
  };
  for (const auto& p : placed) {
    const PlacedText* t = layout.find(p.text);
    ASSERT_NE(t, nullptr) << p.text;
    EXPECT_EQ(t->x, p.x) << p.text;
    EXPECT_EQ(t->y, p.y) << p.text;
  }
  EXPECT_TRUE(hasInk(image, 10, 278, 60, 278 + lh));  // COPYRIGHT
}

TEST_F(MovieInfoDrawingTest, TheClosingMarkGetsALineOfItsOwn) {
  MovieInfo info;
  info.metadata = "Title: Harbour; Date: 2026; (c): Korvello; strevana encoded";
  MovieInfoLayout layout = draw(info);
  QImage image = surface.snapshot();
  const int lh = layout.lineHeight;
  ASSERT_NE(layout.find("Title:"), nullptr);
  EXPECT_EQ(layout.find("Title:")->y, 300);
  EXPECT_EQ(layout.find("Harbour")->y, 300);
  EXPECT_EQ(layout.find("Date:")->y, 300 + lh);
  EXPECT_EQ(layout.find("Copyright:")->y, 300 + 2 * lh);
  const PlacedText* created = layout.find("Created with:");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->y, 300 + 3 * lh) << "not over the copyright line";
  EXPECT_EQ(layout.find("strevana")->y, 300 + 3 * lh);
  EXPECT_TRUE(hasInk(image, 20, 300 + 3 * lh, 100, 300 + 4 * lh));
  // The copyright value is still readable: only its own text in its row.
  EXPECT_TRUE(hasInk(image, 110, 300 + 2 * lh, 200, 300 + 3 * lh));
}

TEST_F(MovieInfoDrawingTest, AllFourTagsWithTheDescriptionBlock) {
  MovieInfo info;
  info.metadata =
      "Title: Harbour; Date: 2026; (c): Korvello; Description: Boats leave the harbour at dawn "
      "while the gulls circle over the piers and the light comes up; strevana encoded";
  MovieInfoLayout layout = draw(info);
  QImage image = surface.snapshot();
  const int lh = layout.lineHeight;
  const PlacedText* description = layout.find("Description:");
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->y, 300 + 3 * lh);
  const PlacedText* created = layout.find("Created with:");
  ASSERT_NE(created, nullptr);
  // Below the wrapped block (two or more lines), at most four lines high.
  EXPECT_GE(created->y, 300 + 5 * lh);
  EXPECT_LE(created->y, 300 + 7 * lh);
  EXPECT_TRUE(hasInk(image, 110, 300 + 4 * lh, 400, 300 + 5 * lh)) << "second description line";
}

TEST_F(MovieInfoDrawingTest, TheEncoderMarkAloneAndPlainText) {
  MovieInfo info;
  info.metadata = "strevana encoded";
  MovieInfoLayout layout = draw(info);
  ASSERT_NE(layout.find("Created with:"), nullptr);
  EXPECT_EQ(layout.find("Created with:")->y, 300);
  EXPECT_EQ(layout.find("strevana")->x, 110);

  info.metadata = "no tags here, just words";
  layout = draw(info);
  const PlacedText* block = layout.find(info.metadata);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(block->block);
  EXPECT_EQ(block->x, 5);
  EXPECT_EQ(block->y, 300);
  EXPECT_EQ(layout.find("Created with:"), nullptr);
}

TEST_F(MovieInfoDrawingTest, NothingOpenShowsDashes) {
  MovieInfo info;
  info.fill(nullptr, MovieInfoUnits{});
  MovieInfoLayout layout = draw(info);
  size_t dashes = 0;
  for (const PlacedText& t : layout.texts) dashes += t.text == "-";
  EXPECT_EQ(dashes, 18u);  // source, 3 general, 2 codecs, 4 video, 4 audio, 4 streaming
  EXPECT_EQ(layout.find("Created with:"), nullptr);
}

class MovieInfoWindowTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    app().languages.folder = folder.path();
  }
  static MovieInfoWindowState* state() { return app().movieInfo.get(); }

  testing::ScratchFolder folder;
};

TEST_F(MovieInfoWindowTest, OpensOnceShowsTheOpenMediumAndCloses) {
  start("");
  EXPECT_EQ(state(), nullptr);
  refreshMovieInfo();  // closed: nothing happens
  command(kCmdMovieInfo);
  ASSERT_NE(state(), nullptr);
  AppWindow* window = app().infoWindow.get();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->caption(), "Movie Info");
  EXPECT_EQ(window->surface()->clientWidth(), kInfoWindowWidth);
  EXPECT_EQ(window->surface()->clientHeight(), kInfoWindowHeight);
  EXPECT_EQ(state()->info.source, "-");
  {
    auto buffer = window->surface()->paint();
    EXPECT_EQ(pixel(buffer.image(), 390, 450), qrgb(kInfoBackground));
    EXPECT_EQ(pixel(buffer.image(), 200, 24), qrgb(kInfoSeparatorDark));
  }

  // A second "Movie Info" does nothing.
  command(kCmdMovieInfo);
  EXPECT_EQ(app().infoWindow.get(), window);

  const std::string clip = fixture("demo.mp4");
  openLocalFile(app().mainWindow.get(), clip);
  ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(state()->info.source, MovieInfo::shortenSourceName(clip));
  EXPECT_EQ(state()->info.duration, "10.00 sec");
  EXPECT_EQ(state()->info.videoSize, "320x240 pixel");
  ASSERT_NE(state()->lastLayout.find("Created with:"), nullptr);

  // Closing drops the model; the next "Movie Info" makes a new window.
  window->close();
  settle();
  EXPECT_EQ(state(), nullptr);
  command(kCmdMovieInfo);
  ASSERT_NE(state(), nullptr);
  EXPECT_TRUE(app().infoWindow->isVisible());
  EXPECT_EQ(state()->info.duration, "10.00 sec");
}

TEST_F(MovieInfoWindowTest, TheTimerRefreshesEvery1100Ms) {
  start("");
  command(kCmdMovieInfo);
  ASSERT_NE(state(), nullptr);
  openLocalFile(app().mainWindow.get(), fixture("mpeg4_aac.mp4"));
  state()->info.duration = "stale";
  app().infoRefreshMs = 0;
  AppWindow* main = app().mainWindow.get();
  for (int i = 0; i < 10; ++i) main->send(kWmTimer, kMainTimerId);
  EXPECT_EQ(state()->info.duration, "stale");
  main->send(kWmTimer, kMainTimerId);
  EXPECT_NE(state()->info.duration, "stale");
  // A failed open refreshes too: the medium that was open is closed.
  state()->info.duration = "stale";
  openLocalFile(main, ::testing::TempDir() + "missing.mp4");
  EXPECT_NE(state()->info.duration, "stale");
  state()->info.duration = "stale";
  openUrlFromDialog(main, "rtsp://127.0.0.1:9/refused");
  EXPECT_NE(state()->info.duration, "stale");
}

TEST_F(MovieInfoWindowTest, ALanguageChangeRelaysTheWindowOut) {
  std::filesystem::copy_file(testing::germanModuleSource(), folder.file("strevanaPlayer_de.lang"));
  start("");
  command(kCmdMovieInfo);
  openLocalFile(app().mainWindow.get(), fixture("demo.mp4"));
  ASSERT_NE(state(), nullptr);
  EXPECT_NE(state()->lastLayout.find("Source:"), nullptr);
  command(kCmdLanguageBase + 1);
  EXPECT_EQ(app().infoWindow->caption(), "Filminformationen");
  EXPECT_NE(state()->lastLayout.find("Quelle:"), nullptr);
  EXPECT_EQ(state()->lastLayout.find("Source:"), nullptr);
  EXPECT_NE(state()->lastLayout.find("Erstellt mit:"), nullptr);
  EXPECT_EQ(state()->info.duration, "10.00 s");
  EXPECT_EQ(state()->info.videoSize, "320x240 Pixel");
  EXPECT_EQ(state()->info.sampleDepth, "16 Bit");
}

}  // namespace
}  // namespace strevana
