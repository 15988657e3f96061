// Feeds arbitrary bytes to the language-module parser and reads back every
// menu, accelerator table, dialog and string under the ids the player uses
// and a few small ones, checking the bounds the parser promises.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resource_module.h"

namespace {

using strevana::MenuItemTemplate;
using strevana::ResourceModule;

volatile size_t sink = 0;

// depth: 1 for a menu's own list; popups nest at most kMaxMenuDepth deep, so
// no list below depth kMaxMenuDepth + 1 holds anything.
size_t walkMenu(const std::vector<MenuItemTemplate>& items, int depth) {
  if (items.empty()) return 0;
  if (depth > ResourceModule::kMaxMenuDepth + 1) __builtin_trap();
  if (items.size() > ResourceModule::kMaxItemsPerList) __builtin_trap();
  size_t n = items.size();
  for (const MenuItemTemplate& item : items) {
    sink = sink + item.text.size() + static_cast<size_t>(item.id);
    if (item.kind != MenuItemTemplate::Kind::kPopup && !item.children.empty()) __builtin_trap();
    n += walkMenu(item.children, depth + 1);
  }
  return n;
}

constexpr int32_t kIds[] = {0,   1,   2,   3,   4,   5,   6,   7,   8,    9,
                            103, 109, 141, 170, 171, 172, 176, 177, 2000, 65535};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > ResourceModule::kMaxFileBytes) return 0;  // load() refuses these
  std::unique_ptr<ResourceModule> module = ResourceModule::parse(
      std::string_view(reinterpret_cast<const char*>(data), size), "strevanaPlayer_fuzz.lang");
  if (!module) return 0;
  size_t menuItems = 0;
  size_t controls = 0;
  for (int32_t id : kIds) {
    std::string text;
    if (module->findString(id, text)) sink = sink + text.size();
    if (const auto* menu = module->findMenu(id)) menuItems += walkMenu(menu->items, 1);
    if (const auto* keys = module->findAccelerators(id)) {
      if (keys->entries.size() > ResourceModule::kMaxItemsPerList) __builtin_trap();
      for (const auto& e : keys->entries) {
        if (e.key.empty() || e.key.size() > 16 || e.command < 1) __builtin_trap();
      }
    }
    if (const auto* dialog = module->findDialog(id)) {
      if (dialog->controls.size() > ResourceModule::kMaxItemsPerList) __builtin_trap();
      controls += dialog->controls.size();
      for (const auto& c : dialog->controls) {
        if (c.width < 1 || c.height < 1) __builtin_trap();
        if (dialog->findControl(c.id) == nullptr) __builtin_trap();
        sink = sink + c.text.size();
      }
      sink = sink + dialog->caption.size() + dialog->fontName.size();
    }
  }
  if (menuItems > ResourceModule::kMaxMenuItems) __builtin_trap();
  if (controls > ResourceModule::kMaxDialogControls) __builtin_trap();
  if (module->errors().size() > 1000) __builtin_trap();
  return 0;
}
