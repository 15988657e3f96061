#pragma once
// The list of the ten most recently opened files and URLs: kept in the
// registry between runs ("MRUName" and "MRUUrl" with the entry's digit) and
// shown at the end of the File menu under commands 1 to 10, entry 0 first.
//
// RecentList itself is plain data with the list rules (a reopened name moves
// to the top with its new kind, the eleventh name drops the oldest); the free
// functions tie it to the registry and to the main window's File menu.
//
// Choices made here:
// - A name longer than 255 bytes does not fit an entry or a registry read
//   buffer; it is refused (the list stays as it was) rather than stored cut,
//   which would name a different file.
// - The File menu's recent part is found by its commands 1 to 10 and the
//   separator right in front of them, so rebuilding it never takes away any
//   other separator of the File menu, and rebuilding twice never lists the
//   entries twice.
// - A "&" in a name is doubled in the menu text so the menu shows the name
//   as it is instead of turning the next letter into a shortcut.
// - The in-memory list is what the menu shows after a language change
//   (addRecentEntry with no name): names opened during this run are kept,
//   not replaced by the list saved at the end of the previous run.
//
// Threads: UI thread only. The list lives in AppGlobals.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace strevana {

class Menu;
class RegistryKey;

constexpr int32_t kRecentKindFile = 0;
constexpr int32_t kRecentKindUrl = 1;

struct RecentEntry {
  int32_t kind = kRecentKindFile;  // 0 file, 1 URL
  std::string name;                // at most kMaxNameBytes bytes
};

struct RecentList {
  static constexpr int32_t kCapacity = 10;
  static constexpr size_t kMaxNameBytes = 255;

  std::array<RecentEntry, kCapacity> entries{};
  int32_t count = 0;

  void clear();
  // Removes every entry named name (byte for byte; the kind is not
  // compared), then puts (kind, name) at index 0, the entry at index 9
  // falling off a full list. False, with the list unchanged, when the name
  // does not fit.
  bool add(int32_t kind, std::string_view name);
  // Moves every later entry one place toward the front; indexes outside the
  // list do nothing.
  void remove(int32_t index);

  // Registry values: read up to the first entry whose name or kind is
  // missing; written for entries 0 to count - 1 only (values with higher
  // digits stay as they were).
  void read(const RegistryKey& key);
  void write(RegistryKey& key) const;
};

// The File menu's command for entry index (0-based).
constexpr int32_t recentCommand(int32_t index) { return index + 1; }
// The value names of entry index: "MRUName0" .. "MRUName9", "MRUUrl0" ...
std::string recentNameValue(int32_t index);
std::string recentKindValue(int32_t index);
// The text a name gets in the menu ("&" doubled).
std::string recentMenuText(std::string_view name);

// Takes the recent part (commands 1 to 10 and the separator in front of
// them) out of the File menu and, when the list is not empty, appends a
// separator and one entry per name.
void showRecentEntries(Menu& fileMenu, const RecentList& list);

void loadRecentList();
// At shutdown.
void saveRecentList();
// Reloads the list from the registry and shows it in the File menu.
void rebuildRecentMenu();
// name may be null: then only the menu is rebuilt from the list.
void addRecentEntry(int32_t kind, const char* name);
void removeRecentEntry(int32_t index);

}  // namespace strevana
