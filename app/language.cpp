#include "app/language.h"

#include <QCoreApplication>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/app_globals.h"
#include "app/main_window.h"
#include "app/movie_info_window.h"
#include "app/qt_translations.h"
#include "app/recent_list.h"
#include "platform/registry.h"

namespace strevana {

namespace {

constexpr int32_t kMenuBarId = 109;
constexpr int32_t kPopupMenuId = 171;
constexpr int32_t kAcceleratorsId = 109;
constexpr const char* kLanguageValue = "Language";

// Cut at maxBytes, never inside a UTF-8 sequence.
std::string cutText(std::string text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

bool displayName(const ResourceModule& module, std::string& out) {
  std::string text;
  if (!module.findString(LanguageModuleTable::kDisplayNameId, text)) return false;
  out = cutText(std::move(text), LanguageModuleTable::kMaxTextBytes);
  return true;
}

std::string searchFolder() {
  const std::string& folder = app().languages.folder;
  return folder.empty() ? programFolder() : folder;
}

std::string modulePath(const std::string& fileName) {
  return (std::filesystem::path(searchFolder()) / fileName).string();
}

// The accelerator table every window translates keys with.
void useAccelerators(const AcceleratorTable* table) {
  AppGlobals& g = app();
  g.accelerators = table;
  if (g.mainWindow) g.mainWindow->setAccelerators(table);
  if (g.fullScreenWindow) g.fullScreenWindow->setAccelerators(table);
}

}  // namespace

bool isLanguageModuleName(const std::string& fileName) {
  const std::string prefix = LanguageModuleTable::kFilePrefix;
  const std::string suffix = LanguageModuleTable::kFileSuffix;
  return fileName.size() >= prefix.size() + suffix.size() &&
         fileName.compare(0, prefix.size(), prefix) == 0 &&
         fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string programFolder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && exe.has_parent_path()) return exe.parent_path().string();
  if (QCoreApplication::instance() != nullptr) {
    return QCoreApplication::applicationDirPath().toStdString();
  }
  return ".";
}

void LanguageModuleTable::scan(const std::string& folderToSearch) {
  count = 0;
  std::vector<std::string> matches;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folderToSearch, error), end; !error && it != end;
       it.increment(error)) {
    std::string name = it->path().filename().string();
    if (!isLanguageModuleName(name) || name.size() > kMaxTextBytes) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    matches.push_back(std::move(name));
  }
  if (matches.empty()) return;
  std::sort(matches.begin(), matches.end());

  entries[0].fileName = kProgramEntryName;
  if (displayName(ResourceModule::program(), entries[0].displayName)) ++count;
  for (const std::string& match : matches) {
    if (count >= kCapacity) break;
    LanguageModuleEntry& entry = entries[static_cast<size_t>(count)];
    entry.fileName = match;
    std::unique_ptr<ResourceModule> module =
        ResourceModule::load((std::filesystem::path(folderToSearch) / match).string());
    // A module without a display name is not listed; its slot is reused.
    if (module && displayName(*module, entry.displayName)) ++count;
  }
  for (int32_t i = count; i < kCapacity; ++i)
    entries[static_cast<size_t>(i)] = LanguageModuleEntry{};
  // A single choice is no choice.
  if (count == 1) count = 0;
}

int32_t LanguageModuleTable::indexOf(const std::string& fileName) const {
  for (int32_t i = 0; i < count; ++i) {
    if (entries[static_cast<size_t>(i)].fileName == fileName) return i;
  }
  return 0;
}

void enumerateLanguageModules() { app().languages.scan(searchFolder()); }

int32_t readLanguageSetting() {
  std::unique_ptr<RegistryKey> key = RegistryKey::open();
  if (!key) return 0;
  std::optional<std::string> value = key->queryString(kLanguageValue);
  if (!value) return 0;
  const LanguageModuleTable& table = app().languages;
  if (table.count == 0) return 0;
  return table.indexOf(*value);
}

void applyLanguage(int32_t index) {
  AppGlobals& g = app();
  // Kept until nothing refers into it any more (the accelerator table).
  std::unique_ptr<ResourceModule> previous = std::move(g.languageModule);
  g.resourceModule = nullptr;
  if (index < 0 || index >= g.languages.count) {
    if (previous) useAccelerators(ResourceModule::program().findAccelerators(kAcceleratorsId));
    useQtTranslations("");
    return;
  }

  const LanguageModuleEntry& entry = g.languages.entries[static_cast<size_t>(index)];
  std::unique_ptr<ResourceModule> module;
  if (index != 0 && entry.fileName != LanguageModuleTable::kProgramEntryName) {
    module = ResourceModule::load(modulePath(entry.fileName));
  }
  if (module) {
    g.languageModule = std::move(module);
    g.resourceModule = g.languageModule.get();
    g.languages.current = index;
  } else {
    g.resourceModule = &ResourceModule::program();
    g.languages.current = 0;
  }
  useQtTranslations(g.languages.current == 0 ? std::string() : languageOfModule(entry.fileName));
  const ResourceModule& resources = currentResources();

  if (g.mainWindow) {
    if (const MenuTemplate* bar = resources.findMenu(kMenuBarId)) {
      g.mainWindow->setMenu(Menu::fromTemplate(*bar));
    }
  }
  if (const MenuTemplate* popup = resources.findMenu(kPopupMenuId)) {
    g.popupMenu = Menu::fromTemplate(*popup);
    if (Menu* first = g.popupMenu->subMenu(0)) {
      first->checkItem(static_cast<int32_t>(kCmdFullscreen),
                       g.controller && g.controller->isFullScreen());
    }
  }
  const AcceleratorTable* keys = resources.findAccelerators(kAcceleratorsId);
  if (keys == nullptr) keys = ResourceModule::program().findAccelerators(kAcceleratorsId);
  useAccelerators(keys);
  previous.reset();

  relayoutMovieInfoWindow();
  // The new menu bar gets this run's recent entries.
  addRecentEntry(kRecentKindFile, nullptr);
  refreshMenus();
  writeLanguageSetting(g.languages.current);
}

void writeLanguageSetting(int32_t index) {
  const LanguageModuleTable& table = app().languages;
  if (index < 0 || index >= table.count) return;
  std::unique_ptr<RegistryKey> key = RegistryKey::open();
  if (!key) return;
  key->setString(kLanguageValue, table.entries[static_cast<size_t>(index)].fileName);
}

}  // namespace strevana
