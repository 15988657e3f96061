// The shell's dialogs as a user fills them in: Network Options, YUV Settings
// (on opening a raw file), Open URL with its history, Save RTP streams as.
#include "app/dialogs.h"

#include <gtest/gtest.h>

#include "shell_test.h"

namespace strevana {
namespace {

using testing::writeYuvFile;

class DialogsTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start("");
  }
  // buffer ms, timeout ms, UDP port, transport.
  static std::vector<int32_t> engineNetwork() {
    return withEngine([](PlaybackEngine& e) {
      return std::vector<int32_t>{e.bufferMs(), e.timeoutMs(), e.udpPort(), e.rtspTransport()};
    });
  }
  // '1' or '0' per control: checked, or enabled.
  static std::string flags(Dialog& d, std::initializer_list<int32_t> ids, bool enabled = false) {
    std::string out;
    for (int32_t id : ids) out += (enabled ? d.isEnabled(id) : d.isChecked(id)) ? '1' : '0';
    return out;
  }
  // The transport radio checked: 0 Automatic, 1 UDP, 2 TCP.
  static int32_t transportShown(Dialog& d) {
    return d.isChecked(1062) ? 0 : d.isChecked(1060) ? 1 : d.isChecked(1061) ? 2 : -1;
  }
  // Drops path on the window; the opened source's width and duration.
  static std::pair<int32_t, int32_t> dropped(const std::string& path) {
    DroppedFiles drop;
    drop.names = {path};
    app().mainWindow->send(kWmDropFiles, reinterpret_cast<WParam>(&drop));
    return withEngine([](PlaybackEngine& e) {
      const MediaSource* s = e.source();
      return s ? std::make_pair(s->width, s->durationMs) : std::make_pair(0, 0);
    });
  }
};

TEST_F(DialogsTest, NetworkOptionsShowTheEngineAndCheckEachFieldInOrder) {
  withEngine([](PlaybackEngine& e) { return e.setTimeoutMs(7000), e.setRtspTransport(2), 0; });
  std::vector<std::string> shown;
  // clang-format off
  const std::tuple<const char*, const char*, const char*> attempts[] = {
      {"61", "10", "6970"}, {"60", "61", "6970"}, {"0", "60", "65536"}, {"x", "1", "1"}, {"5", "", "1"},
      {"0", "60", "65535"}};
  // clang-format on
  std::vector<bool> endedAfter;
  answerDialog = [&](Dialog& d) {
    shown = {d.itemText(1037), d.itemText(1038), d.itemText(1039),
             std::to_string(transportShown(d))};
    d.click(1060);  // UDP
    for (auto [buffer, timeout, port] : attempts) {
      d.type(1037, buffer);
      d.type(1038, timeout);
      d.type(1039, port);
      d.click(kIdOk);
      endedAfter.push_back(d.ended());
    }
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(shown, (std::vector<std::string>{"2", "7", "6970", "2"}));
  EXPECT_EQ(endedAfter, (std::vector<bool>{false, false, false, false, false, true}));
  std::string texts;
  for (const MessageBoxRequest& b : boxes) texts += b.text.substr(0, 3) + b.caption + " ";
  EXPECT_EQ(texts, "BufError TimError UDPError BufError TimError ");
  EXPECT_EQ(boxes.at(0).text, "Buffer Size must be between 0 and 60");
  EXPECT_NE(boxes[0].owner, nullptr);  // owned by the dialog
  EXPECT_EQ(engineNetwork(), (std::vector<int32_t>{0, 60000, 65535, 1}));
  // The choice is shown next time; Cancel after an OK that failed half way leaves the engine.
  answerDialog = [&](Dialog& d) {
    shown = {std::to_string(transportShown(d))};
    d.click(1061);
    d.type(1037, "30");
    d.type(1038, "99");
    d.click(kIdOk);
    d.click(kIdCancel);
  };
  command(kCmdNetworkOptions);
  EXPECT_EQ(shown, std::vector<std::string>{"1"});
  EXPECT_EQ(engineNetwork(), (std::vector<int32_t>{0, 60000, 65535, 1}));
}

TEST_F(DialogsTest, YuvSettingsOpenWithTheStoredChoicesAndKeepThem) {
  const std::string cif = writeYuvFile("cif.yuv", 352, 288, 5);
  std::string states;
  answerDialog = [&](Dialog& d) {
    states = flags(d, {1002, 1010, 1016}) + flags(d, {1008, 1009, 1014, 1018}, true);
    EXPECT_EQ(d.itemText(1014), "25.00");
    d.click(kIdOk);
  };
  EXPECT_EQ(dropped(cif), std::make_pair(352, 5 * 1000 / 25));
  EXPECT_EQ(states, "1110000");
  EXPECT_EQ(app().mainWindow->caption(), cif);
  // Choices stick even when cancelled; nothing is opened and nothing said.
  answerDialog = [&](Dialog& d) {
    d.click(1004);  // QVGA
    d.click(1017);  // 4:2:2
    d.click(1011);  // 30 fps
    d.click(kIdCancel);
  };
  dropped(cif);
  answerDialog = [&](Dialog& d) {
    states = flags(d, {1004, 1002, 1017, 1016, 1011, 1010});
    d.click(kIdCancel);
  };
  dropped(cif);
  EXPECT_EQ(states, "101010");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DialogsTest, YuvUserSizeAndRate) {
  // clang-format off
  const std::tuple<const char*, const char*, const char*> attempts[] = {
      {"", "288", "5"}, {"400", "12x", "5"}, {"400", "288", ""}, {"400", "288", "0.00"}, {"400", "288", "abc"},
      {"400", "288", "12.5"}};
  // clang-format on
  const std::string path = writeYuvFile("user.yuv", 400, 288, 12);
  std::vector<bool> ended;
  answerDialog = [&](Dialog& d) {
    const auto ok = [&] {
      d.click(kIdOk);
      ended.push_back(d.ended());
    };
    d.click(1007);
    EXPECT_TRUE(d.isEnabled(1008) && d.isEnabled(1021));
    d.click(1013);
    EXPECT_TRUE(d.isEnabled(1014) && d.isEnabled(1022));
    // Invalid entries keep the dialog open without a message.
    for (auto [width, height, rate] : attempts) {
      d.type(1008, width);
      d.type(1009, height);
      d.type(1014, rate);
      ok();
    }
  };
  EXPECT_EQ(dropped(path), std::make_pair(400, 1000));  // 12 frames at 12 per second
  EXPECT_EQ(ended, (std::vector<bool>{false, false, false, false, false, true}));
  EXPECT_TRUE(boxes.empty());
  // A size chosen from the list takes the user fields out, a rate the rate field.
  answerDialog = [&](Dialog& d) {
    EXPECT_EQ(d.itemText(1014), "12.50");
    d.click(1001);
    d.click(1010);
    EXPECT_FALSE(d.isEnabled(1008) || d.isEnabled(1021) || d.isEnabled(1014));
    d.click(kIdCancel);
  };
  dropped(path);
}

TEST_F(DialogsTest, OpenUrlOffersTheHistoryNewestFirstWithTheNewestInTheField) {
  const auto url = [](int i) { return "rtsp://127.0.0.1:9/s" + std::to_string(i); };
  for (int i : {1, 2, 3, 1}) {
    answerDialog = [&](Dialog& d) {
      d.type(1000, url(i));
      d.click(kIdOk);
    };
    command(kCmdOpenUrl);
  }
  ASSERT_EQ(boxes.size(), 4u);  // each failed, yet each is kept
  EXPECT_EQ(boxes[2].text, "Cannot open " + url(3));
  std::vector<std::string> items;
  answerDialog = [&](Dialog& d) {
    for (int32_t i = 0; i < d.comboCount(1000); ++i) items.push_back(d.comboText(1000, i));
    items.push_back(d.itemText(1000));
    d.click(kIdCancel);
  };
  command(kCmdOpenUrl);
  EXPECT_EQ(items, (std::vector<std::string>{url(1), url(3), url(2), url(1)}));
}

TEST_F(DialogsTest, SaveStreamStateFlowsToTheEngineAndBack) {
  withEngine([](PlaybackEngine& e) { return e.setVideoSavePath("/tmp/in.m4v"), 0; });
  std::string checked, enabled;
  std::vector<std::string> labels;
  answerOpenFile = [](OpenFileRequest& r) {
    EXPECT_TRUE(r.forSaving);                               // a new name must be accepted
    if (r.filters.at(0).patterns != "*.yuv") return false;  // any other Browse is cancelled
    r.fileName = "/tmp/out.yuv";
    return true;
  };
  answerDialog = [&](Dialog& d) {
    checked = flags(d, {1043, 1044, 1056, 1052, 1045, 1059});
    enabled = flags(d, {1049, 1046, 1050, 1047, 1057, 1058, 1059, 1053, 1054, 1051, 1048}, true);
    d.click(1056);  // raw video on: its Browse, label and frame-file box follow
    EXPECT_TRUE(d.isEnabled(1057) && d.isEnabled(1058) && d.isEnabled(1059));
    d.click(1057);
    d.click(1049);  // a cancelled Browse leaves the label
    labels = {d.itemText(1046), d.itemText(1058)};
    d.click(1059);
    d.click(1043);  // video elementary stream off
    EXPECT_FALSE(d.isEnabled(1049));
    d.click(kIdOk);
  };
  command(kCmdSaveStream);
  EXPECT_EQ(checked + "|" + enabled, "100000|11000000000");
  EXPECT_EQ(labels, (std::vector<std::string>{"/tmp/in.m4v", "/tmp/out.yuv"}));
  ASSERT_EQ(openRequests.size(), 2u);
  EXPECT_EQ(openRequests[0].filters[0].description, "Raw Video");
  EXPECT_EQ(openRequests[1].filters[0].patterns, "*.m4v");
  EXPECT_EQ(openRequests[1].owner, openRequests[0].owner);  // owned by the dialog
  const auto engine = [] {
    return withEngine([](PlaybackEngine& e) {
      return e.videoSavePath() + "|" + e.audioSavePath() + "|" + e.rawVideoSavePath() + "|" +
             std::to_string(e.rawVideoPerFrame()) + "|" + e.rawAudioSavePath();
    });
  };
  EXPECT_EQ(engine(), "||/tmp/out.yuv|1|");
  // The next use starts from the engine and the kept choices; Cancel changes nothing.
  withEngine([](PlaybackEngine& e) { return e.setRawAudioSavePath("/tmp/set.pcm"), 0; });
  answerDialog = [&](Dialog& d) {
    checked = flags(d, {1043, 1056, 1059});
    labels = {d.itemText(1046), d.itemText(1058)};
    d.click(1056);
    d.click(kIdCancel);
  };
  command(kCmdSaveStream);
  EXPECT_EQ(checked, "011");
  EXPECT_EQ(labels, (std::vector<std::string>{"/tmp/in.m4v", "/tmp/out.yuv"}));
  EXPECT_EQ(engine(), "||/tmp/out.yuv|1|/tmp/set.pcm");
}

}  // namespace
}  // namespace strevana
