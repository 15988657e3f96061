#pragma once
// Language modules: resource files "strevanaPlayer_*.lang" beside the program
// that replace menus, dialogs, accelerators and texts at run time, without a
// restart. The table lists the choices shown in Options > Language; entry 0
// is the program's own resources ("application"), and a table of one choice
// is no choice (count 0, no Language submenu).
//
// Choices made here:
// - Modules are listed in file-name order (byte order), so the submenu reads
//   the same on every start; the match is case-sensitive, as file names are.
// - Entry 0 always means the program itself; no file is looked up for it.
// - A module without accelerator table 109 leaves the program's table in
//   use (the format's rule: what a module leaves out comes from the
//   program), so About keeps its keys.
// - The File menu's recent entries after a switch are the ones of this run
//   (see recent_list.h), not the list saved by the previous run.
//
// Threads: UI thread only. The table lives in AppGlobals.
#include <array>
#include <cstdint>
#include <string>

namespace strevana {

struct LanguageModuleEntry {
  std::string fileName;     // without folder; "application" for entry 0
  std::string displayName;  // string 2000 of the module, at most 255 bytes
};

struct LanguageModuleTable {
  static constexpr int32_t kCapacity = 10;
  static constexpr size_t kMaxTextBytes = 255;
  static constexpr const char* kProgramEntryName = "application";
  static constexpr const char* kFilePrefix = "strevanaPlayer_";
  static constexpr const char* kFileSuffix = ".lang";
  static constexpr int32_t kDisplayNameId = 2000;

  std::array<LanguageModuleEntry, kCapacity> entries{};
  int32_t count = 0;
  int32_t current = 0;
  // The folder searched for modules; empty means the program's own folder.
  // Tests point it at a folder of their own.
  std::string folder;

  // Fills the entries from the modules in folder (count 0 when there are
  // none, or only modules without string 2000). Keeps current and folder.
  void scan(const std::string& searchFolder);
  // The index of the entry with that file name (byte for byte), 0 if none.
  int32_t indexOf(const std::string& fileName) const;
};

// The folder of the running program (/proc/self/exe's directory).
std::string programFolder();
// Whether a file name matches "strevanaPlayer_*.lang".
bool isLanguageModuleName(const std::string& fileName);

void enumerateLanguageModules();
int32_t readLanguageSetting();
void applyLanguage(int32_t index);
void writeLanguageSetting(int32_t index);

}  // namespace strevana
