#include "app/dialogs.h"

#include <QPixmap>

#include <charconv>
#include <cmath>
#include <limits>

#include "app/app_globals.h"
#include "app/main_window.h"
#include "platform/common_dialogs.h"
#include "platform/dialog.h"
#include "playback/panel/skin_resources.h"

namespace strevana {

namespace {

constexpr int32_t kOpenUrlTemplate = 170;
constexpr int32_t kYuvTemplate = 172;
constexpr int32_t kNetworkTemplate = 176;
constexpr int32_t kSaveTemplate = 177;
constexpr int32_t kLoginTemplate = 178;
constexpr int32_t kAboutTemplate = 103;

QPixmap iconPixmap(int32_t resourceId, int32_t size) {
  std::vector<QImage> images = loadIconImages(resourceId);
  if (images.empty()) return {};
  const QImage* best = &images.back();
  for (const QImage& image : images) {
    if (image.width() >= size) {
      best = &image;
      break;
    }
  }
  return QPixmap::fromImage(
      best->scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

int32_t runTemplate(int32_t id, AppWindow* owner, DialogProc proc) {
  return Dialog::run(findDialogTemplate(id), owner, std::move(proc), app().hooks, iconPixmap);
}

bool isCommand(uint32_t message, WParam wParam, int32_t id) {
  return message == kWmCommand && loWord(wParam) == static_cast<uint32_t>(id);
}

// ------------------------------------------------------------ Network Options

// Reads one field into the state, then checks it; false keeps the dialog open.
bool readNetworkField(Dialog& d, int32_t id, int64_t limit, int32_t& into, int32_t messageId) {
  std::optional<int64_t> value = d.itemNumber(id, false);
  int64_t v = value.value_or(0);
  into = static_cast<int32_t>(std::min<int64_t>(v, std::numeric_limits<int32_t>::max()));
  if (!value || v > limit) {
    showMessageBox(app().hooks, &d, resString(messageId), resString(145), kMbOk);
    return false;
  }
  return true;
}

// The transport radio buttons "UDP", "TCP", "Automatic", for the engine's
// transport values 1, 2 and 0.
constexpr int32_t kTransportRadios[] = {1062, 1060, 1061};

LResult networkProc(Dialog& d, uint32_t message, WParam wParam, LParam) {
  NetworkOptionsDialogState& s = app().networkState;
  if (message == kWmInitDialog) {
    d.setItemNumber(1037, static_cast<uint32_t>(s.bufferSeconds));
    d.setItemNumber(1038, static_cast<uint32_t>(s.timeoutSeconds));
    d.setItemNumber(1039, static_cast<uint32_t>(s.udpPort));
    d.setChecked(kTransportRadios[s.transport >= 0 && s.transport <= 2 ? s.transport : 0], true);
    return 1;
  }
  if (isCommand(message, wParam, kIdOk)) {
    if (!readNetworkField(d, 1037, 60, s.bufferSeconds, 142)) return 1;
    if (!readNetworkField(d, 1038, 60, s.timeoutSeconds, 143)) return 1;
    if (!readNetworkField(d, 1039, 65535, s.udpPort, 144)) return 1;
    for (int32_t t = 0; t < 3; ++t) {
      if (d.isChecked(kTransportRadios[t])) s.transport = t;
    }
    d.endDialog(kIdOk);
    return 1;
  }
  if (isCommand(message, wParam, kIdCancel)) {
    d.endDialog(kIdCancel);
    return 1;
  }
  return 0;
}

// ------------------------------------------------------------- YUV Settings

void enableUserSize(Dialog& d, bool on) {
  for (int32_t id : {1008, 1009, 1020, 1021}) d.enableItem(id, on);
}

void enableUserRate(Dialog& d, bool on) {
  for (int32_t id : {1014, 1022}) d.enableItem(id, on);
}

LResult yuvProc(Dialog& d, uint32_t message, WParam wParam, LParam) {
  YuvSettings& s = app().yuvSettings;
  if (message == kWmInitDialog) {
    d.setChecked(1001 + s.sizeChoice, true);
    if (s.sizeChoice == YuvSettings::kUserDefinedSize) enableUserSize(d, true);
    d.setChecked(1010 + s.rateChoice, true);
    if (s.rateChoice == YuvSettings::kUserDefinedRate) enableUserRate(d, true);
    d.setChecked(s.colourSpace == 1 ? 1017 : 1016, true);
    d.setItemNumber(1008, s.userWidth);
    d.setItemNumber(1009, s.userHeight);
    d.setItemText(1014, formatRate(s.userRate));
    return 1;
  }
  if (message != kWmCommand) return 0;
  int32_t id = loWord(wParam);
  if (id >= 1001 && id <= 1006) {
    s.sizeChoice = id - 1001;
    enableUserSize(d, false);
  } else if (id == 1007) {
    s.sizeChoice = YuvSettings::kUserDefinedSize;
    enableUserSize(d, true);
  } else if (id >= 1010 && id <= 1012) {
    s.rateChoice = id - 1010;
    enableUserRate(d, false);
  } else if (id == 1013) {
    s.rateChoice = YuvSettings::kUserDefinedRate;
    enableUserRate(d, true);
  } else if (id == 1016 || id == 1017) {
    s.colourSpace = id - 1016;
  } else if (id == kIdOk) {
    if (s.sizeChoice == YuvSettings::kUserDefinedSize) {
      std::optional<int64_t> w = d.itemNumber(1008, false);
      if (!w || *w > std::numeric_limits<int32_t>::max()) return 1;
      s.userWidth = static_cast<int32_t>(*w);
      std::optional<int64_t> h = d.itemNumber(1009, false);
      if (!h || *h > std::numeric_limits<int32_t>::max()) return 1;
      s.userHeight = static_cast<int32_t>(*h);
    }
    std::string rateText = d.itemText(1014, 9);
    if (rateText.empty()) return 1;
    double rate = parseRate(rateText);
    if (rate == 0.0) return 1;
    s.userRate = rate;
    d.endDialog(kIdOk);
  } else if (id == kIdCancel) {
    d.endDialog(kIdCancel);
  }
  return 1;
}

// ------------------------------------------------------ Save RTP streams as

struct SaveControls {
  int32_t check;
  int32_t browse;
  int32_t label;
};
// In the order of SaveStreamDialogState's outputs.
constexpr SaveControls kSaveControls[SaveStreamDialogState::kOutputCount] = {
    {1043, 1049, 1046},  // MPEG-4 video elementary stream
    {1044, 1050, 1047},  // MPEG-4 audio elementary stream
    {1056, 1057, 1058},  // raw video (with 1059)
    {1052, 1053, 1054},  // raw audio
    {1045, 1051, 1048},  // MP4 file
};
struct BrowseFilter {
  const char* description;
  const char* pattern;
};
constexpr BrowseFilter kBrowseFilters[SaveStreamDialogState::kOutputCount] = {
    {"MPEG-4 Video ES", "*.m4v"}, {"MPEG-4 Audio ES", "*.m4a"}, {"Raw Video", "*.yuv"},
    {"Raw Audio", "*.pcm"},       {"MP4 File", "*.mp4"},
};

void enableSaveGroup(Dialog& d, size_t output) {
  const SaveControls& c = kSaveControls[output];
  bool on = d.isChecked(c.check);
  d.enableItem(c.browse, on);
  d.enableItem(c.label, on);
  if (output == SaveStreamDialogState::kRawVideo) d.enableItem(1059, on);
}

LResult saveProc(Dialog& d, uint32_t message, WParam wParam, LParam) {
  SaveStreamDialogState& s = app().saveState;
  if (message == kWmInitDialog) {
    for (size_t o = 0; o < SaveStreamDialogState::kOutputCount; ++o) {
      d.setChecked(kSaveControls[o].check, s.checked[o]);
      d.setItemText(kSaveControls[o].label, s.paths[o]);
    }
    d.setChecked(1059, s.frameFile);
    for (size_t o = 0; o < SaveStreamDialogState::kOutputCount; ++o) enableSaveGroup(d, o);
    return 1;
  }
  if (message != kWmCommand) return 0;
  int32_t id = loWord(wParam);
  for (size_t o = 0; o < SaveStreamDialogState::kOutputCount; ++o) {
    if (id == kSaveControls[o].check) {
      enableSaveGroup(d, o);
      return 1;
    }
    if (id == kSaveControls[o].browse) {
      OpenFileRequest request;
      request.owner = &d;
      request.filterIndex = 1;
      request.filters = {{kBrowseFilters[o].description, kBrowseFilters[o].pattern}};
      request.forSaving = true;
      if (showOpenFileName(app().hooks, request) &&
          request.fileName.size() <= SaveStreamDialogState::kMaxPathLength) {
        d.setItemText(kSaveControls[o].label, request.fileName);
      }
      return 1;
    }
  }
  if (id == kIdOk) {
    for (size_t o = 0; o < SaveStreamDialogState::kOutputCount; ++o) {
      s.paths[o] = d.itemText(kSaveControls[o].label, SaveStreamDialogState::kMaxPathLength);
      s.checked[o] = d.isChecked(kSaveControls[o].check);
    }
    s.frameFile = d.isChecked(1059);
    d.endDialog(kIdOk);
  } else if (id == kIdCancel) {
    d.endDialog(kIdCancel);
  }
  return 1;
}

}  // namespace

std::string formatRate(double rate) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, rate, std::chars_format::fixed, 2);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0.00");
  if (text.size() < 5) text.insert(0, 5 - text.size(), ' ');
  return text;
}

double parseRate(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i < text.size() && text[i] == '-') return 0.0;  // a second sign
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                   std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return negative ? -HUGE_VAL : HUGE_VAL;
  if (ec != std::errc() || ptr == text.data() + i) return 0.0;
  return negative ? -value : value;
}

int32_t runOpenUrlDialog(AppWindow* owner) {
  return runTemplate(kOpenUrlTemplate, owner,
                     [](Dialog& d, uint32_t message, WParam wParam, LParam) -> LResult {
                       const UrlHistory& history = app().urlHistory;
                       if (message == kWmInitDialog) {
                         for (size_t k = history.count(); k > 0; --k)
                           d.comboInsert(1000, -1, history.at(k - 1));
                         if (history.count() > 0)
                           d.setItemText(1000, history.at(history.count() - 1));
                         return 1;
                       }
                       if (isCommand(message, wParam, kIdOk)) {
                         std::string url = d.itemText(1000, UrlHistory::kMaxUrlLength);
                         d.endDialog(kIdOk);
                         openUrlFromDialog(app().mainWindow.get(), url);
                         return 1;
                       }
                       if (isCommand(message, wParam, kIdCancel)) {
                         d.endDialog(kIdCancel);
                         return 1;
                       }
                       return 0;
                     });
}

int32_t runNetworkOptionsDialog(AppWindow* owner) {
  return runTemplate(kNetworkTemplate, owner, networkProc);
}

int32_t runYuvSettingsDialog(AppWindow* owner) { return runTemplate(kYuvTemplate, owner, yuvProc); }

int32_t runSaveStreamDialog(AppWindow* owner) {
  return runTemplate(kSaveTemplate, owner, saveProc);
}

std::optional<RtspCredentials> runLoginDialog(AppWindow* owner, const std::string& url) {
  std::optional<RtspCredentials> entered;
  runTemplate(kLoginTemplate, owner,
              [&](Dialog& d, uint32_t message, WParam wParam, LParam) -> LResult {
                if (message == kWmInitDialog) {
                  std::optional<RtspCredentials> inUrl;
                  splitUrlCredentials(url, inUrl);
                  d.setItemText(1063, urlWithoutPassword(url));
                  if (inUrl) d.setItemText(1064, inUrl->user);
                  return 1;
                }
                if (isCommand(message, wParam, kIdOk)) {
                  entered = RtspCredentials{d.itemText(1064, 255), d.itemText(1065, 255)};
                  d.endDialog(kIdOk);
                  return 1;
                }
                if (isCommand(message, wParam, kIdCancel)) {
                  d.endDialog(kIdCancel);
                  return 1;
                }
                return 0;
              });
  return entered;
}

int32_t runAboutDialog(AppWindow* owner) {
  return runTemplate(
      kAboutTemplate, owner, [](Dialog& d, uint32_t message, WParam wParam, LParam) -> LResult {
        if (isCommand(message, wParam, kIdOk) || isCommand(message, wParam, kIdCancel)) {
          d.endDialog(static_cast<int32_t>(loWord(wParam)));
          return 1;
        }
        return message == kWmInitDialog ? 1 : 0;
      });
}

void networkOptionsCommand(AppWindow* owner) {
  AppGlobals& g = app();
  if (!g.controller) return;
  g.networkState = withEngine([](PlaybackEngine& e) {
    NetworkOptionsDialogState s;
    s.bufferSeconds = e.bufferMs() / 1000;
    s.timeoutSeconds = e.timeoutMs() / 1000;
    s.udpPort = e.udpPort();
    s.transport = e.rtspTransport();
    return s;
  });
  if (runNetworkOptionsDialog(owner) != kIdOk || !g.controller) return;
  NetworkOptionsDialogState s = g.networkState;
  withEngine([s](PlaybackEngine& e) {
    e.setBufferMs(s.bufferSeconds * 1000);
    e.setTimeoutMs(s.timeoutSeconds * 1000);
    e.setUdpPort(s.udpPort);
    e.setRtspTransport(s.transport);
    return 0;
  });
}

void saveStreamCommand(AppWindow* owner) {
  AppGlobals& g = app();
  if (!g.controller) return;
  SaveStreamDialogState& s = g.saveState;
  withEngine([&s](PlaybackEngine& e) {
    s.checked[SaveStreamDialogState::kVideoStream] = !e.videoSavePath().empty();
    s.checked[SaveStreamDialogState::kAudioStream] = !e.audioSavePath().empty();
    const std::string* enginePaths[] = {&e.videoSavePath(), &e.audioSavePath(),
                                        &e.rawVideoSavePath(), &e.rawAudioSavePath()};
    for (size_t o = 0; o < 4; ++o) {
      if (s.checked[o]) s.paths[o] = *enginePaths[o];
    }
    s.frameFile = e.rawVideoPerFrame() != 0;
    return 0;
  });
  if (runSaveStreamDialog(owner) != kIdOk || !g.controller) return;
  SaveStreamDialogState copy = s;
  withEngine([&copy](PlaybackEngine& e) {
    auto pathIf = [&copy](size_t o) { return copy.checked[o] ? copy.paths[o].c_str() : ""; };
    e.setVideoSavePath(pathIf(SaveStreamDialogState::kVideoStream));
    e.setAudioSavePath(pathIf(SaveStreamDialogState::kAudioStream));
    e.setRawVideoSavePath(pathIf(SaveStreamDialogState::kRawVideo), copy.frameFile ? 1 : 0);
    e.setRawAudioSavePath(pathIf(SaveStreamDialogState::kRawAudio));
    return 0;
  });
}

}  // namespace strevana
