#include "app/recent_list.h"

#include <vector>

#include "app/app_globals.h"
#include "platform/menu.h"
#include "platform/registry.h"

namespace strevana {

namespace {

bool isRecentCommand(const Menu::Item& item) {
  return item.kind == Menu::Kind::kItem && item.id >= recentCommand(0) &&
         item.id <= recentCommand(RecentList::kCapacity - 1);
}

Menu* fileMenu() {
  AppGlobals& g = app();
  if (!g.mainWindow || !g.mainWindow->menu()) return nullptr;
  return g.mainWindow->menu()->subMenu(0);
}

void showInFileMenu() {
  Menu* file = fileMenu();
  if (file == nullptr) return;
  showRecentEntries(*file, app().recentList);
  app().mainWindow->drawMenuBar();
}

}  // namespace

void RecentList::clear() {
  for (RecentEntry& e : entries) e = RecentEntry{};
  count = 0;
}

bool RecentList::add(int32_t kind, std::string_view name) {
  if (name.size() > kMaxNameBytes) return false;
  // A copy first: name may point into one of the entries moved below.
  std::string copy(name);
  for (int32_t i = count - 1; i >= 0; --i) {
    if (entries[static_cast<size_t>(i)].name == copy) remove(i);
  }
  for (int32_t i = kCapacity - 1; i > 0; --i) {
    entries[static_cast<size_t>(i)] = std::move(entries[static_cast<size_t>(i - 1)]);
  }
  entries[0] = RecentEntry{kind != 0 ? kRecentKindUrl : kRecentKindFile, std::move(copy)};
  if (count < kCapacity) ++count;
  return true;
}

void RecentList::remove(int32_t index) {
  if (index < 0 || index >= count) return;
  for (int32_t i = index; i + 1 < count; ++i) {
    entries[static_cast<size_t>(i)] = std::move(entries[static_cast<size_t>(i + 1)]);
  }
  --count;
  entries[static_cast<size_t>(count)] = RecentEntry{};
}

void RecentList::read(const RegistryKey& key) {
  for (int32_t i = 0; i < kCapacity; ++i) {
    char name[RegistryKey::kStringBufferBytes];
    if (!key.queryString(recentNameValue(i).c_str(), name, sizeof name)) return;
    uint32_t kind = 0;
    if (!key.queryNumber(recentKindValue(i).c_str(), kind)) return;
    entries[static_cast<size_t>(i)] =
        RecentEntry{kind != 0 ? kRecentKindUrl : kRecentKindFile, name};
    count = i + 1;
  }
}

void RecentList::write(RegistryKey& key) const {
  for (int32_t i = 0; i < count; ++i) {
    const RecentEntry& e = entries[static_cast<size_t>(i)];
    key.setString(recentNameValue(i).c_str(), e.name);
    key.setNumber(recentKindValue(i).c_str(), e.kind != 0 ? 1u : 0u);
  }
}

std::string recentNameValue(int32_t index) { return "MRUName" + std::to_string(index); }
std::string recentKindValue(int32_t index) { return "MRUUrl" + std::to_string(index); }

std::string recentMenuText(std::string_view name) {
  std::string text;
  text.reserve(name.size());
  for (char c : name) {
    text += c;
    if (c == '&') text += '&';
  }
  return text;
}

void showRecentEntries(Menu& fileMenu, const RecentList& list) {
  // Positions of the old entries, and the separator in front of the first.
  std::vector<size_t> doomed;
  for (size_t i = 0; i < fileMenu.itemCount(); ++i) {
    if (!isRecentCommand(fileMenu.item(i))) continue;
    if (doomed.empty() && i > 0 && fileMenu.item(i - 1).kind == Menu::Kind::kSeparator) {
      doomed.push_back(i - 1);
    }
    doomed.push_back(i);
  }
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) fileMenu.deletePosition(*it);
  if (list.count == 0) return;
  fileMenu.appendSeparator();
  for (int32_t i = 0; i < list.count; ++i) {
    fileMenu.appendItem(recentCommand(i),
                        recentMenuText(list.entries[static_cast<size_t>(i)].name));
  }
}

void loadRecentList() {
  std::unique_ptr<RegistryKey> key = RegistryKey::open();
  if (!key) return;
  app().recentList.read(*key);
}

void saveRecentList() {
  std::unique_ptr<RegistryKey> key = RegistryKey::open();
  if (!key) return;
  app().recentList.write(*key);
}

void rebuildRecentMenu() {
  app().recentList.clear();
  loadRecentList();
  showInFileMenu();
}

void addRecentEntry(int32_t kind, const char* name) {
  if (name != nullptr) app().recentList.add(kind, name);
  if (app().recentList.count != 0) showInFileMenu();
}

void removeRecentEntry(int32_t index) { app().recentList.remove(index); }

}  // namespace strevana
