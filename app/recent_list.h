#pragma once
// The list of recently opened files and URLs, kept in the registry between
// runs and shown at the end of the File menu under commands 1 to 10.
//
// The operations' bodies are still open (only the data and the calls the
// shell makes exist so far): the list stays empty and nothing is stored.
//
// Threads: UI thread only. The list lives in AppGlobals.
#include <array>
#include <cstdint>
#include <string>

namespace strevana {

struct RecentEntry {
  int32_t kind = 0;  // 0 file, 1 URL
  std::string name;  // at most 255 characters
};

struct RecentList {
  static constexpr int32_t kCapacity = 10;
  std::array<RecentEntry, kCapacity> entries{};
  int32_t count = 0;
};

constexpr int32_t kRecentKindFile = 0;
constexpr int32_t kRecentKindUrl = 1;

void loadRecentList();
void saveRecentList();
void rebuildRecentMenu();
// name may be null: then only the menu is rebuilt.
void addRecentEntry(int32_t kind, const char* name);
void removeRecentEntry(int32_t index);

}  // namespace strevana
