#pragma once
// ResourceModule: the program's menus, accelerators, dialog templates and
// string table, parsed from one UTF-8 text file (format in resources/README.md).
// The program's own module is compiled in; a language module is the same kind
// of file found beside the program and carries the same ids.
//
// A malformed line, section or value is skipped and noted in errors(), so a
// half-translated file still gives every text it does carry. Lengths are
// bounded (file, line, nesting, entries per list), so a hostile file costs
// bounded memory.
//
// A module is refused as a whole (parse() and load() give null, as for a file
// over kMaxFileBytes) when it defines more than kMaxMenuItems menu entries
// (items, separators and popups, over all its menus together) or more than
// kMaxDialogControls dialog controls (over all its dialogs together). Each
// menu shown is built into real menus, so the total, not only each list, has
// to stay small: 512 popups of 512 items fit within the size cap yet took
// seconds and more than a gigabyte to build. The program's own module and
// the German one use 37 menu entries and 65 controls; 4096 of each leaves
// room for richer translations and is still built in a moment.
//
// Parsing stops at the first entry past a cap, so a refused module costs no
// more than the accepted part before it. The parser itself (this header and
// resource_module.cpp) needs no Qt; load() and program() read files through
// QFile (resource_module_load.cpp).
//
// Threads: a module is immutable once parsed and may be read from any thread.
// Ownership: whoever loads a module owns it; program() lives for the process.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace strevana {

struct MenuItemTemplate {
  enum class Kind { kItem, kSeparator, kPopup };
  Kind kind = Kind::kItem;
  int32_t id = 0;  // command id; 0 for separators and popups
  std::string text;
  std::vector<MenuItemTemplate> children;  // popups only
};

struct MenuTemplate {
  std::vector<MenuItemTemplate> items;
};

// One accelerator: the modifier keys and one key, written "Alt+?", "Ctrl+O",
// "F1", "Escape".
struct AcceleratorEntry {
  int32_t command = 0;
  bool alt = false;
  bool ctrl = false;
  bool shift = false;
  std::string key;  // a single character, or a key name such as "F1"
};

struct AcceleratorTable {
  std::vector<AcceleratorEntry> entries;
};

enum class ControlClass {
  kStatic,
  kEdit,
  kButton,
  kDefaultButton,
  kCheckBox,
  kRadioButton,
  kGroupBox,
  kComboBox,
  kIcon,
};

// Control style flags.
enum ControlFlag : uint32_t {
  kControlDisabled = 1u << 0,
  kControlNumber = 1u << 1,    // edit accepts digits only
  kControlSunken = 1u << 2,    // static drawn with a sunken frame
  kControlDropDown = 1u << 3,  // combo with an edit field and a drop-down list
  kControlVScroll = 1u << 4,
  kControlSort = 1u << 5,
  kControlGroup = 1u << 6,     // first radio button of a group
  kControlPassword = 1u << 7,  // edit shows dots for what is typed
};

struct DialogControlTemplate {
  ControlClass controlClass = ControlClass::kStatic;
  int32_t id = -1;                              // -1: no id
  int32_t x = 0, y = 0, width = 0, height = 0;  // dialog units
  uint32_t flags = 0;
  std::string text;  // for icons: the icon's resource id
};

struct DialogTemplate {
  std::string caption;
  int32_t x = 0, y = 0, width = 100, height = 50;  // dialog units
  int32_t fontPoints = 8;
  std::string fontName = "MS Sans Serif";
  std::vector<DialogControlTemplate> controls;

  const DialogControlTemplate* findControl(int32_t id) const;
};

class ResourceModule {
 public:
  static constexpr size_t kMaxFileBytes = 4u << 20;
  static constexpr size_t kMaxLineBytes = 4096;
  static constexpr int kMaxMenuDepth = 8;
  static constexpr size_t kMaxItemsPerList = 512;
  static constexpr size_t kMaxMenuItems = 4096;
  static constexpr size_t kMaxDialogControls = 4096;

  ResourceModule() = default;

  // Parses text in the module format. fileName is remembered as the module's
  // name (without folder) for the language setting. Null when the text
  // defines more menu entries or dialog controls than the caps above.
  static std::unique_ptr<ResourceModule> parse(std::string_view text, std::string fileName = {});
  // Reads and parses a file (a path or a Qt resource path). Null when it
  // cannot be read, is larger than kMaxFileBytes or is refused by parse().
  static std::unique_ptr<ResourceModule> load(const std::string& path);
  // The program's own module, compiled in.
  static const ResourceModule& program();

  // The string with that id; false (and out untouched) when there is none.
  bool findString(int32_t id, std::string& out) const;
  const MenuTemplate* findMenu(int32_t id) const;
  const AcceleratorTable* findAccelerators(int32_t id) const;
  const DialogTemplate* findDialog(int32_t id) const;

  const std::string& fileName() const { return fileName_; }
  // One line per problem met while parsing: "line N: what".
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  friend class ResourceParser;
  std::string fileName_;
  std::map<int32_t, std::string> strings_;
  std::map<int32_t, MenuTemplate> menus_;
  std::map<int32_t, AcceleratorTable> accelerators_;
  std::map<int32_t, DialogTemplate> dialogs_;
  std::vector<std::string> errors_;
};

}  // namespace strevana
