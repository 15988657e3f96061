#include "platform/resource_module.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace strevana {

namespace {

constexpr int32_t kMaxId = 65535;
constexpr int32_t kMaxCoordinate = 32767;

std::string_view trim(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  size_t e = s.size();
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool parseInt(std::string_view s, int32_t minValue, int32_t maxValue, int32_t& out) {
  if (s.empty()) return false;
  int64_t v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  if (v < minValue || v > maxValue) return false;
  out = static_cast<int32_t>(v);
  return true;
}

std::vector<std::string_view> splitWords(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A value is the rest of the line, or a double-quoted text with \" \\ \n \t
// escapes (for texts that begin or end with blanks).
bool unquote(std::string_view value, std::string& out) {
  out.clear();
  if (value.empty() || value.front() != '"') {
    out.assign(value);
    return true;
  }
  if (value.size() < 2 || value.back() != '"') return false;
  std::string_view inner = value.substr(1, value.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    char c = inner[i];
    if (c == '\\' && i + 1 < inner.size()) {
      char n = inner[++i];
      switch (n) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        default:
          out += '\\';
          out += n;
          break;
      }
    } else if (c == '"') {
      return false;  // an unescaped quote inside a quoted text
    } else {
      out += c;
    }
  }
  return true;
}

struct ControlClassName {
  const char* name;
  ControlClass cls;
};
// clang-format off
constexpr ControlClassName kControlClasses[] = {
    {"static", ControlClass::kStatic},        {"edit", ControlClass::kEdit},
    {"button", ControlClass::kButton},        {"defbutton", ControlClass::kDefaultButton},
    {"checkbox", ControlClass::kCheckBox},    {"radio", ControlClass::kRadioButton},
    {"groupbox", ControlClass::kGroupBox},    {"combo", ControlClass::kComboBox},
    {"icon", ControlClass::kIcon},
};
// clang-format on

struct ControlFlagName {
  const char* name;
  uint32_t flag;
};
// clang-format off
constexpr ControlFlagName kControlFlags[] = {
    {"disabled", kControlDisabled}, {"number", kControlNumber}, {"sunken", kControlSunken},
    {"dropdown", kControlDropDown}, {"vscroll", kControlVScroll}, {"sort", kControlSort},
    {"group", kControlGroup}, {"password", kControlPassword},
};
// clang-format on

}  // namespace

const DialogControlTemplate* DialogTemplate::findControl(int32_t id) const {
  for (const auto& c : controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

// Line-by-line parser; one instance per parse.
class ResourceParser {
 public:
  explicit ResourceParser(ResourceModule& module) : m_(module) {}

  // False when the module is refused as a whole (a cap was passed).
  bool run(std::string_view text) {
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) {
      text.remove_prefix(3);
    }
    size_t pos = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      size_t end = nl == std::string_view::npos ? text.size() : nl;
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNumber_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.size() > ResourceModule::kMaxLineBytes) {
        error("line too long");
        continue;
      }
      line = trim(line);
      if (line.empty() || line.front() == '#') continue;
      if (line.front() == '[') {
        startSection(line);
      } else {
        sectionLine(line);
      }
      if (refused_) return false;
    }
    closeSection();
    return true;
  }

 private:
  enum class Section { kNone, kIgnored, kStrings, kMenu, kAccelerators, kDialog };

  void error(const std::string& what) {
    if (m_.errors_.size() < 1000) {
      m_.errors_.push_back("line " + std::to_string(lineNumber_) + ": " + what);
    }
  }

  void closeSection() {
    if (section_ == Section::kMenu) {
      if (menuStack_.size() > 1) error("popup without end at end of menu");
      menuStack_.clear();
      m_.menus_.emplace(sectionId_, std::move(menu_));
    } else if (section_ == Section::kAccelerators) {
      m_.accelerators_.emplace(sectionId_, std::move(accelerators_));
    } else if (section_ == Section::kDialog) {
      m_.dialogs_.emplace(sectionId_, std::move(dialog_));
    }
    section_ = Section::kNone;
    menu_ = MenuTemplate{};
    accelerators_ = AcceleratorTable{};
    dialog_ = DialogTemplate{};
  }

  void startSection(std::string_view line) {
    closeSection();
    section_ = Section::kIgnored;
    if (line.back() != ']') {
      error("section header without ]");
      return;
    }
    auto words = splitWords(line.substr(1, line.size() - 2));
    if (words.size() == 1 && words[0] == "strings") {
      section_ = Section::kStrings;
      return;
    }
    if (words.size() != 2) {
      error("unknown section");
      return;
    }
    int32_t id = 0;
    if (!parseInt(words[1], 0, kMaxId, id)) {
      error("bad section id");
      return;
    }
    bool duplicate = false;
    if (words[0] == "menu") {
      duplicate = m_.menus_.count(id) != 0;
      section_ = Section::kMenu;
      menuStack_.assign(1, &menu_.items);
    } else if (words[0] == "accelerators") {
      duplicate = m_.accelerators_.count(id) != 0;
      section_ = Section::kAccelerators;
    } else if (words[0] == "dialog") {
      duplicate = m_.dialogs_.count(id) != 0;
      section_ = Section::kDialog;
    } else {
      error("unknown section");
      return;
    }
    if (duplicate) {
      error("section defined twice; the first one is kept");
      section_ = Section::kIgnored;
      menuStack_.clear();
      return;
    }
    sectionId_ = id;
  }

  void sectionLine(std::string_view line) {
    size_t eq = line.find('=');
    std::string_view key = trim(line.substr(0, eq));
    std::string value;
    bool hasValue = eq != std::string_view::npos;
    if (hasValue && !unquote(trim(line.substr(eq + 1)), value)) {
      error("unterminated quoted text");
      return;
    }
    switch (section_) {
      case Section::kNone: error("line outside any section"); return;
      case Section::kIgnored: return;
      case Section::kStrings: stringLine(key, hasValue, std::move(value)); return;
      case Section::kMenu: menuLine(key, hasValue, std::move(value)); return;
      case Section::kAccelerators: acceleratorLine(key, hasValue, value); return;
      case Section::kDialog: dialogLine(key, hasValue, std::move(value)); return;
    }
  }

  void stringLine(std::string_view key, bool hasValue, std::string value) {
    int32_t id = 0;
    if (!hasValue || !parseInt(key, 0, kMaxId, id)) {
      error("expected: ID = text");
      return;
    }
    if (!m_.strings_.emplace(id, std::move(value)).second) {
      error("string " + std::to_string(id) + " defined twice; the first one is kept");
    }
  }

  void menuLine(std::string_view key, bool hasValue, std::string value) {
    auto words = splitWords(key);
    if (words.empty()) {
      error("empty menu line");
      return;
    }
    std::vector<MenuItemTemplate>* list = menuStack_.back();
    if (words[0] == "end" && words.size() == 1 && !hasValue) {
      if (menuStack_.size() <= 1) {
        error("end without popup");
        return;
      }
      menuStack_.pop_back();
      return;
    }
    MenuItemTemplate item;
    if (words[0] == "separator" && words.size() == 1 && !hasValue) {
      item.kind = MenuItemTemplate::Kind::kSeparator;
    } else if (words[0] == "popup" && words.size() == 1 && hasValue) {
      item.kind = MenuItemTemplate::Kind::kPopup;
      item.text = std::move(value);
    } else if (words[0] == "item" && words.size() == 2 && hasValue) {
      if (!parseInt(words[1], 1, kMaxId, item.id)) {
        error("bad command id");
        return;
      }
      item.text = std::move(value);
    } else {
      error("expected: item ID = text, popup = text, separator or end");
      return;
    }
    bool isPopup = item.kind == MenuItemTemplate::Kind::kPopup;
    if (isPopup && static_cast<int>(menuStack_.size()) > ResourceModule::kMaxMenuDepth) {
      error("menus nested too deep");
      menuStack_.push_back(nullptr);  // drop everything up to its end
      return;
    }
    if (list == nullptr) {
      if (isPopup) menuStack_.push_back(nullptr);
      return;
    }
    if (list->size() >= ResourceModule::kMaxItemsPerList) {
      error("too many menu items");
      if (isPopup) menuStack_.push_back(nullptr);
      return;
    }
    if (menuItems_ >= ResourceModule::kMaxMenuItems) {
      refused_ = true;
      return;
    }
    ++menuItems_;
    list->push_back(std::move(item));
    if (isPopup) menuStack_.push_back(&list->back().children);
  }

  void acceleratorLine(std::string_view key, bool hasValue, std::string_view keys) {
    AcceleratorEntry entry;
    if (!hasValue || !parseInt(key, 1, kMaxId, entry.command)) {
      error("expected: COMMAND = keys");
      return;
    }
    while (true) {
      size_t plus = keys.find('+');
      if (plus == std::string_view::npos || plus + 1 >= keys.size()) break;
      std::string_view mod = keys.substr(0, plus);
      if (equalsIgnoreCase(mod, "alt")) {
        entry.alt = true;
      } else if (equalsIgnoreCase(mod, "ctrl")) {
        entry.ctrl = true;
      } else if (equalsIgnoreCase(mod, "shift")) {
        entry.shift = true;
      } else {
        break;
      }
      keys.remove_prefix(plus + 1);
    }
    if (keys.empty() || keys.size() > 16) {
      error("bad key");
      return;
    }
    entry.key.assign(keys);
    if (accelerators_.entries.size() >= ResourceModule::kMaxItemsPerList) {
      error("too many accelerators");
      return;
    }
    accelerators_.entries.push_back(std::move(entry));
  }

  void dialogLine(std::string_view key, bool hasValue, std::string value) {
    if (!hasValue) {
      error("expected: ... = text");
      return;
    }
    auto words = splitWords(key);
    if (words.size() == 1 && words[0] == "caption") {
      dialog_.caption = std::move(value);
      return;
    }
    if (words.size() == 1 && words[0] == "rect") {
      auto numbers = splitWords(value);
      int32_t r[4] = {};
      bool ok = numbers.size() == 4;
      for (size_t i = 0; ok && i < 4; ++i) {
        ok = parseInt(numbers[i], i < 2 ? -kMaxCoordinate : 1, kMaxCoordinate, r[i]);
      }
      if (!ok) {
        error("expected: rect = x y width height");
        return;
      }
      dialog_.x = r[0];
      dialog_.y = r[1];
      dialog_.width = r[2];
      dialog_.height = r[3];
      return;
    }
    if (words.size() == 1 && words[0] == "font") {
      std::string_view v = trim(value);
      size_t blank = v.find_first_of(" \t");
      int32_t points = 0;
      if (blank == std::string_view::npos || !parseInt(v.substr(0, blank), 1, 72, points)) {
        error("expected: font = points name");
        return;
      }
      dialog_.fontPoints = points;
      dialog_.fontName.assign(trim(v.substr(blank)));
      return;
    }
    controlLine(words, std::move(value));
  }

  void controlLine(const std::vector<std::string_view>& words, std::string value) {
    if (words.size() < 6) {
      error("expected: CLASS ID X Y WIDTH HEIGHT [FLAGS] = text");
      return;
    }
    DialogControlTemplate control;
    bool known = false;
    for (const auto& c : kControlClasses) {
      if (words[0] == c.name) {
        control.controlClass = c.cls;
        known = true;
      }
    }
    if (!known) {
      error("unknown control class");
      return;
    }
    int32_t g[4] = {};
    bool ok = parseInt(words[1], -1, kMaxId, control.id);
    for (size_t i = 0; ok && i < 4; ++i) {
      ok = parseInt(words[2 + i], i < 2 ? 0 : 1, kMaxCoordinate, g[i]);
    }
    if (!ok) {
      error("bad control id or geometry");
      return;
    }
    control.x = g[0];
    control.y = g[1];
    control.width = g[2];
    control.height = g[3];
    for (size_t i = 6; i < words.size(); ++i) {
      bool flagKnown = false;
      for (const auto& f : kControlFlags) {
        if (words[i] == f.name) {
          control.flags |= f.flag;
          flagKnown = true;
        }
      }
      if (!flagKnown) error("unknown control flag ignored");
    }
    control.text = std::move(value);
    if (dialog_.controls.size() >= ResourceModule::kMaxItemsPerList) {
      error("too many controls");
      return;
    }
    if (dialogControls_ >= ResourceModule::kMaxDialogControls) {
      refused_ = true;
      return;
    }
    ++dialogControls_;
    dialog_.controls.push_back(std::move(control));
  }

  ResourceModule& m_;
  size_t lineNumber_ = 0;
  // Entries kept so far over the whole module, against the module caps.
  size_t menuItems_ = 0;
  size_t dialogControls_ = 0;
  bool refused_ = false;
  Section section_ = Section::kNone;
  int32_t sectionId_ = 0;
  MenuTemplate menu_;
  std::vector<std::vector<MenuItemTemplate>*> menuStack_;
  AcceleratorTable accelerators_;
  DialogTemplate dialog_;
};

std::unique_ptr<ResourceModule> ResourceModule::parse(std::string_view text, std::string fileName) {
  auto module = std::make_unique<ResourceModule>();
  module->fileName_ = std::move(fileName);
  ResourceParser parser(*module);
  if (!parser.run(text)) return nullptr;
  return module;
}

bool ResourceModule::findString(int32_t id, std::string& out) const {
  auto it = strings_.find(id);
  if (it == strings_.end()) return false;
  out = it->second;
  return true;
}

const MenuTemplate* ResourceModule::findMenu(int32_t id) const {
  auto it = menus_.find(id);
  return it == menus_.end() ? nullptr : &it->second;
}

const AcceleratorTable* ResourceModule::findAccelerators(int32_t id) const {
  auto it = accelerators_.find(id);
  return it == accelerators_.end() ? nullptr : &it->second;
}

const DialogTemplate* ResourceModule::findDialog(int32_t id) const {
  auto it = dialogs_.find(id);
  return it == dialogs_.end() ? nullptr : &it->second;
}

}  // namespace strevana
