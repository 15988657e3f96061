#include "app/dialogs.h"

#include <QLabel>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "shell_test.h"

namespace strevana {
namespace {

using testing::fixture;
using testing::ShellTest;
using testing::writeYuvFile;

class NetworkOptionsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start("");
  }
  static NetworkOptionsDialogState engineValues() {
    return withEngine([](PlaybackEngine& e) {
      return NetworkOptionsDialogState{e.bufferMs(), e.timeoutMs(), e.udpPort()};
    });
  }
};

TEST_F(NetworkOptionsTest, ShowsTheEngineValuesInSeconds) {
  std::vector<std::string> shown;
  answerDialog = [&](Dialog& d) {
    shown = {d.itemText(1037), d.itemText(1038), d.itemText(1039)};
    d.click(kIdCancel);
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(shown, (std::vector<std::string>{"2", "10", "6970"}));
  NetworkOptionsDialogState e = engineValues();
  EXPECT_EQ(e.bufferSeconds, 2000);  // untouched after Cancel (held here in ms)
  EXPECT_EQ(e.udpPort, 6970);
}

TEST_F(NetworkOptionsTest, EachFieldIsCheckedInOrderWithItsOwnMessage) {
  std::vector<bool> endedAfter;
  answerDialog = [&](Dialog& d) {
    auto attempt = [&](const char* buffer, const char* timeout, const char* port) {
      d.type(1037, buffer);
      d.type(1038, timeout);
      d.type(1039, port);
      d.click(kIdOk);
      endedAfter.push_back(d.ended());
    };
    attempt("61", "10", "6970");
    attempt("60", "61", "6970");
    attempt("0", "60", "65536");
    attempt("x", "1", "1");
    attempt("5", "", "1");
    attempt("0", "60", "65535");
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(endedAfter, (std::vector<bool>{false, false, false, false, false, true}));
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].text, "Buffer Size must be between 0 and 60");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_NE(boxes[0].owner, nullptr);  // owned by the dialog
  EXPECT_EQ(boxes[1].text, "Timeout must be between 0 and 60");
  EXPECT_EQ(boxes[2].text, "UDP Port must be between 0 and 65535");
  EXPECT_EQ(boxes[3].text, "Buffer Size must be between 0 and 60");
  EXPECT_EQ(boxes[4].text, "Timeout must be between 0 and 60");
  NetworkOptionsDialogState e = engineValues();
  EXPECT_EQ(e.bufferSeconds, 0);       // ms
  EXPECT_EQ(e.timeoutSeconds, 60000);  // ms
  EXPECT_EQ(e.udpPort, 65535);
}

TEST_F(NetworkOptionsTest, CancelAfterAFailedOkLeavesTheEngineAlone) {
  answerDialog = [&](Dialog& d) {
    d.type(1037, "30");
    d.type(1038, "99");
    d.click(kIdOk);  // buffer passes into the dialog's record, timeout fails
    d.click(kIdCancel);
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(app().networkState.bufferSeconds, 30);
  EXPECT_EQ(engineValues().bufferSeconds, 2000);
  EXPECT_EQ(engineValues().timeoutSeconds, 10000);
}

// The transport choice starts at Automatic, reaches the engine on OK only,
// and is shown again the next time.
TEST_F(NetworkOptionsTest, TransportChoiceGoesToTheEngine) {
  const std::pair<int32_t, int32_t> choices[] = {{1060, 1}, {1061, 2}, {1062, 0}};
  int32_t shown = -1;
  answerDialog = [&](Dialog& d) {
    shown = d.isChecked(1062) ? 0 : d.isChecked(1060) ? 1 : d.isChecked(1061) ? 2 : -1;
    d.click(1060);
    d.click(kIdCancel);
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.rtspTransport(); }), 0);
  int32_t previous = 0;
  for (const auto& [radio, transport] : choices) {
    answerDialog = [&, radio = radio](Dialog& d) {
      shown = d.isChecked(1062) ? 0 : d.isChecked(1060) ? 1 : d.isChecked(1061) ? 2 : -1;
      d.click(radio);
      d.click(kIdOk);
    };
    command(kCmdNetworkOptions);
    EXPECT_EQ(shown, previous);
    EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.rtspTransport(); }), transport);
    previous = transport;
  }
}

class YuvSettingsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start("");
  }
  // Opens path through the drop path and reports the source's size and rate.
  struct Opened {
    int32_t width = 0, height = 0, frames = 0, durationMs = 0;
  };
  Opened openDropped(const std::string& path) {
    DroppedFiles drop;
    drop.names = {path};
    app().mainWindow->send(kWmDropFiles, reinterpret_cast<WParam>(&drop));
    return withEngine([](PlaybackEngine& e) {
      Opened o;
      if (const MediaSource* s = e.source()) {
        o = {s->width, s->height, s->frameCount, s->durationMs};
      }
      return o;
    });
  }
};

TEST_F(YuvSettingsTest, OpensWithTheStoredChoices) {
  std::string path = writeYuvFile("cif.yuv", 352, 288, 5);
  std::vector<bool> states;
  std::string rate;
  answerDialog = [&](Dialog& d) {
    states = {d.isChecked(1002), d.isChecked(1010), d.isChecked(1016),
              d.isEnabled(1008), d.isEnabled(1014), d.isEnabled(1018)};
    rate = d.itemText(1014);
    d.click(kIdOk);
  };
  Opened o = openDropped(path);
  EXPECT_EQ(states, (std::vector<bool>{true, true, true, false, false, false}));
  EXPECT_EQ(rate, "25.00");
  EXPECT_EQ(o.width, 352);
  EXPECT_EQ(o.height, 288);
  EXPECT_EQ(o.durationMs, 5 * 1000 / 25);
  EXPECT_EQ(app().mainWindow->caption(), path);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(YuvSettingsTest, UserDefinedWidthAndRate) {
  std::string path = writeYuvFile("user.yuv", 400, 288, 12);
  answerDialog = [&](Dialog& d) {
    d.click(1007);
    EXPECT_TRUE(d.isEnabled(1008));
    EXPECT_TRUE(d.isEnabled(1021));
    d.type(1008, "400");
    d.click(1013);
    EXPECT_TRUE(d.isEnabled(1014));
    d.type(1014, "12.5");
    d.click(kIdOk);
  };
  Opened o = openDropped(path);
  EXPECT_EQ(o.width, 400);
  EXPECT_EQ(o.height, 288);  // the stored user height
  EXPECT_EQ(o.frames, 12);
  EXPECT_EQ(o.durationMs, 1000);  // 12 frames at 12 per second
  EXPECT_DOUBLE_EQ(app().yuvSettings.userRate, 12.5);
}

TEST_F(YuvSettingsTest, NegativeAndFractionalRatesPlayAtOneFramePerSecond) {
  std::string path = writeYuvFile("slow.yuv", 176, 144, 3);
  for (const char* text : {"-3", "0.5"}) {
    answerDialog = [&](Dialog& d) {
      d.click(1001);
      d.click(1013);
      d.type(1014, text);
      d.click(kIdOk);
      EXPECT_TRUE(d.ended());
    };
    Opened o = openDropped(path);
    EXPECT_EQ(o.durationMs, 3000) << text;
  }
  EXPECT_DOUBLE_EQ(app().yuvSettings.userRate, 0.5);
  // Reopening shows the stored rate as the field writes it.
  std::string shown;
  answerDialog = [&](Dialog& d) {
    shown = d.itemText(1014);
    EXPECT_TRUE(d.isChecked(1013));
    EXPECT_TRUE(d.isEnabled(1014));
    d.click(kIdCancel);
  };
  openDropped(path);
  EXPECT_EQ(shown, " 0.50");
}

TEST_F(YuvSettingsTest, InvalidEntriesKeepTheDialogOpenWithoutAMessage) {
  std::string path = writeYuvFile("invalid.yuv", 176, 144, 2);
  std::vector<bool> ended;
  answerDialog = [&](Dialog& d) {
    auto ok = [&] {
      d.click(kIdOk);
      ended.push_back(d.ended());
    };
    d.click(1007);
    d.type(1008, "");  // invalid user width
    ok();
    d.type(1008, "176");
    d.type(1009, "12x");  // invalid user height
    ok();
    d.type(1009, "144");
    d.type(1014, "");  // empty rate, even with a fixed rate chosen
    ok();
    d.type(1014, "0");
    ok();
    d.type(1014, "0.00");
    ok();
    d.type(1014, "abc");  // reads as 0
    ok();
    d.type(1014, "25");
    ok();
  };
  Opened o = openDropped(path);
  EXPECT_EQ(ended, (std::vector<bool>{false, false, false, false, false, false, true}));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(o.width, 176);
  EXPECT_EQ(o.durationMs, 2 * 1000 / 25);
}

TEST_F(YuvSettingsTest, ChoicesStickEvenWhenCancelled) {
  std::string path = writeYuvFile("sticky.yuv", 176, 144, 2);
  answerDialog = [&](Dialog& d) {
    d.click(1004);  // QVGA
    d.click(1017);  // 4:2:2
    d.click(kIdCancel);
  };
  Opened o = openDropped(path);
  EXPECT_EQ(o.width, 0);  // nothing opened, nothing said
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(app().yuvSettings.sizeChoice, 3);
  EXPECT_EQ(app().yuvSettings.colourSpace, 1);
  std::vector<bool> states;
  answerDialog = [&](Dialog& d) {
    states = {d.isChecked(1004), d.isChecked(1002), d.isChecked(1017)};
    d.click(kIdCancel);
  };
  openDropped(path);
  EXPECT_EQ(states, (std::vector<bool>{true, false, true}));
}

TEST_F(YuvSettingsTest, AFileTooShortForOneFrameCannotBeOpened) {
  std::string path = writeYuvFile("short.yuv", 100, 100, 1);  // smaller than one CIF frame
  answerDialog = [](Dialog& d) { d.click(kIdOk); };
  openDropped(path);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + path);
}

class OpenUrlTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start("");
  }
  void enter(const std::string& url) {
    answerDialog = [url](Dialog& d) {
      d.type(1000, url);
      d.click(kIdOk);
    };
    command(kCmdOpenUrl);
  }
  std::vector<std::string> listed(std::string* edit = nullptr) {
    std::vector<std::string> items;
    answerDialog = [&](Dialog& d) {
      for (int32_t i = 0; i < d.comboCount(1000); ++i) items.push_back(d.comboText(1000, i));
      if (edit != nullptr) *edit = d.itemText(1000);
      d.click(kIdCancel);
    };
    command(kCmdOpenUrl);
    return items;
  }
  static std::string url(int i) { return "rtsp://127.0.0.1:9/s" + std::to_string(i); }
};

TEST_F(OpenUrlTest, HistoryNewestFirstWithTheNewestInTheField) {
  std::string edit = "unset";
  EXPECT_TRUE(listed(&edit).empty());
  EXPECT_EQ(edit, "");
  for (int i = 1; i <= 3; ++i) enter(url(i));
  // Each failed, yet each is in the history.
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].text, "Cannot open " + url(3));
  EXPECT_EQ(listed(&edit), (std::vector<std::string>{url(3), url(2), url(1)}));
  EXPECT_EQ(edit, url(3));
  enter(url(1));
  EXPECT_EQ(listed(), (std::vector<std::string>{url(1), url(3), url(2)}));
  for (int i = 4; i <= 11; ++i) enter(url(i));
  std::vector<std::string> items = listed();
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items.front(), url(11));
  EXPECT_EQ(items.back(), url(3));  // url(2), the oldest, was dropped
}

TEST_F(OpenUrlTest, OverlongUrlIsRefusedWhole) {
  std::string longUrl = "rtsp://host/" + std::string(300, 'p');
  enter(longUrl);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + longUrl);
  EXPECT_EQ(app().urlHistory.count(), 1u);
}

class SaveStreamTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start("");
  }
};

TEST_F(SaveStreamTest, StateFlowsToTheEngineAndBack) {
  withEngine([](PlaybackEngine& e) { return e.setVideoSavePath("/tmp/in.m4v"); });
  std::map<int, bool> checked, enabled;
  std::map<int, std::string> labels;
  answerOpenFile = [](OpenFileRequest& r) {
    EXPECT_EQ(r.filters.size(), 1u);
    EXPECT_TRUE(r.forSaving);  // a new name must be accepted
    if (r.filters[0].patterns == "*.yuv") {
      r.fileName = "/tmp/out.yuv";
      return true;
    }
    return false;  // any other Browse is cancelled
  };
  answerDialog = [&](Dialog& d) {
    for (int id : {1043, 1044, 1056, 1052, 1045, 1059}) checked[id] = d.isChecked(id);
    for (int id : {1049, 1046, 1050, 1047, 1057, 1058, 1059, 1053, 1054, 1051, 1048}) {
      enabled[id] = d.isEnabled(id);
    }
    labels[1046] = d.itemText(1046);
    d.click(1056);  // raw video on: its Browse, label and frame-file box follow
    EXPECT_TRUE(d.isEnabled(1057));
    EXPECT_TRUE(d.isEnabled(1059));
    d.click(1057);
    labels[1058] = d.itemText(1058);
    d.click(1049);  // a cancelled Browse leaves the label
    labels[-1046] = d.itemText(1046);
    d.click(1059);
    d.click(1043);  // video elementary stream off
    EXPECT_FALSE(d.isEnabled(1049));
    d.click(1045);  // the MP4 box is always disabled
    d.click(kIdOk);
  };
  command(kCmdSaveStream);
  EXPECT_TRUE(checked[1043]);
  EXPECT_FALSE(checked[1044]);
  EXPECT_FALSE(checked[1045]);
  EXPECT_TRUE(enabled[1049] && enabled[1046]);
  EXPECT_FALSE(enabled[1050] || enabled[1047] || enabled[1057] || enabled[1058] || enabled[1059]);
  EXPECT_FALSE(enabled[1051] || enabled[1048]);
  EXPECT_EQ(labels[1046], "/tmp/in.m4v");
  EXPECT_EQ(labels[1058], "/tmp/out.yuv");
  EXPECT_EQ(labels[-1046], "/tmp/in.m4v");
  ASSERT_EQ(openRequests.size(), 2u);
  EXPECT_EQ(openRequests[0].filters[0].description, "Raw Video");
  EXPECT_EQ(openRequests[1].filters[0].patterns, "*.m4v");
  EXPECT_EQ(openRequests[1].owner, openRequests[0].owner);  // owned by the dialog

  auto engine = withEngine([](PlaybackEngine& e) {
    return std::make_tuple(e.videoSavePath(), e.audioSavePath(), e.rawVideoSavePath(),
                           e.rawVideoPerFrame(), e.rawAudioSavePath());
  });
  EXPECT_EQ(std::get<0>(engine), "");
  EXPECT_EQ(std::get<1>(engine), "");
  EXPECT_EQ(std::get<2>(engine), "/tmp/out.yuv");
  EXPECT_EQ(std::get<3>(engine), 1);
  EXPECT_EQ(std::get<4>(engine), "");

  // The next use starts from the engine and the kept choices.
  answerDialog = [&](Dialog& d) {
    checked.clear();
    for (int id : {1043, 1056, 1059}) checked[id] = d.isChecked(id);
    labels[1058] = d.itemText(1058);
    labels[1046] = d.itemText(1046);
    d.click(kIdCancel);
  };
  command(kCmdSaveStream);
  EXPECT_FALSE(checked[1043]);
  EXPECT_TRUE(checked[1056]);
  EXPECT_TRUE(checked[1059]);
  EXPECT_EQ(labels[1058], "/tmp/out.yuv");
  EXPECT_EQ(labels[1046], "/tmp/in.m4v");  // kept in the dialog's record
}

TEST_F(SaveStreamTest, CancelChangesNothing) {
  withEngine([](PlaybackEngine& e) { return e.setAudioSavePath("/tmp/a.m4a"); });
  answerDialog = [](Dialog& d) {
    d.click(1044);
    d.click(kIdCancel);
  };
  command(kCmdSaveStream);
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.audioSavePath(); }), "/tmp/a.m4a");
}

TEST_F(ShellTest, AboutShowsTitleVersionAndIcon) {
  start("");
  std::vector<std::string> texts;
  answerDialog = [&](Dialog& d) {
    for (QObject* child : d.children()) {
      if (auto* label = qobject_cast<QLabel*>(child)) {
        texts.push_back(label->pixmap().isNull() ? label->text().toStdString() : "<icon>");
      }
    }
    d.reject();  // Escape
    EXPECT_TRUE(d.ended());
  };
  command(kCmdAbout);
  EXPECT_EQ(texts, (std::vector<std::string>{"<icon>", "strevana Player", "Version 2.12 build 3"}));
}

TEST(DialogTexts, RateFieldFormatAndReading) {
  EXPECT_EQ(formatRate(25.0), "25.00");
  EXPECT_EQ(formatRate(0.5), " 0.50");
  EXPECT_EQ(formatRate(-3.0), "-3.00");
  EXPECT_EQ(formatRate(123.456), "123.46");
  EXPECT_DOUBLE_EQ(parseRate(" 12.5"), 12.5);
  EXPECT_DOUBLE_EQ(parseRate("12.5fps"), 12.5);
  EXPECT_DOUBLE_EQ(parseRate("-3"), -3.0);
  EXPECT_DOUBLE_EQ(parseRate("+7"), 7.0);
  EXPECT_DOUBLE_EQ(parseRate("abc"), 0.0);
  EXPECT_DOUBLE_EQ(parseRate("--1"), 0.0);
  EXPECT_DOUBLE_EQ(parseRate("12,5"), 12.0);
}

}  // namespace
}  // namespace strevana
