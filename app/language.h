#pragma once
// Language modules: resource files "strevanaPlayer_*.lang" beside the program
// that replace menus, dialogs, accelerators and texts at run time. The table
// lists the choices; entry 0 is the program's own resources.
//
// The operations' bodies are still open: no module is found, so the table
// stays empty and the program's own resources are used.
//
// Threads: UI thread only. The table lives in AppGlobals.
#include <array>
#include <cstdint>
#include <string>

namespace strevana {

struct LanguageModuleEntry {
  std::string fileName;     // without folder; "application" for entry 0
  std::string displayName;  // string 2000 of the module
};

struct LanguageModuleTable {
  static constexpr int32_t kCapacity = 10;
  std::array<LanguageModuleEntry, kCapacity> entries{};
  int32_t count = 0;
  int32_t current = 0;
};

void enumerateLanguageModules();
int32_t readLanguageSetting();
void applyLanguage(int32_t index);
void writeLanguageSetting(int32_t index);

}  // namespace strevana
