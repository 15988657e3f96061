#pragma once
// Menu: a menu bar or popup as the player's code sees it, built from resource
// data and changed by command id like a Windows menu: entries are found,
// checked, appended and deleted by command (searching submenus too), and
// submenus are reached by position. The Qt menus are views of this model:
// fillQMenu() builds them afresh, and every change tells the root's change
// callback so the owning window can rebuild its menu bar.
//
// Threads: UI thread only. Ownership: a menu owns its submenus; the window
// that shows a menu bar owns that menu.
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/resource_module.h"

class QMenu;

namespace strevana {

class Menu {
 public:
  enum class Kind { kItem, kSeparator, kPopup };
  struct Item {
    Kind kind = Kind::kItem;
    int32_t id = 0;  // separators have 0; popups are never found by command
    std::string text;
    bool checked = false;
    bool enabled = true;
    std::unique_ptr<Menu> submenu;
  };

  Menu() = default;
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  static std::unique_ptr<Menu> fromTemplate(const MenuTemplate& menuTemplate);

  size_t itemCount() const { return items_.size(); }
  const Item& item(size_t position) const { return items_.at(position); }
  // The submenu at that position, or null when it is not a popup.
  Menu* subMenu(size_t position) const;

  // The first entry with that command id, searching submenus depth first.
  const Item* findItem(int32_t id) const;
  // Sets or clears the check mark; false when no entry has that id.
  bool checkItem(int32_t id, bool checked);
  bool isChecked(int32_t id) const;
  bool enableItem(int32_t id, bool enabled);
  // Removes the first entry with that command id (0 finds a separator);
  // false when there is none.
  bool deleteItem(int32_t id);
  // Removes the entry at that position (a popup with its submenu).
  bool deletePosition(size_t position);
  void appendItem(int32_t id, std::string text, bool checked = false);
  void appendSeparator();
  void appendPopup(std::unique_ptr<Menu> submenu, std::string text);

  // Called after every change of this menu or any of its submenus.
  void setChangeCallback(std::function<void()> callback) { changed_ = std::move(callback); }

  // Fills target with actions for this menu; choosing one calls onCommand
  // with its id.
  void fillQMenu(QMenu& target, const std::function<void(int32_t)>& onCommand) const;
  // The entry's text for Qt: "&&" kept, "\t" shortcut hints kept.
  static QString qtText(const std::string& text);

 private:
  Item* find(int32_t id);
  void notify();

  std::vector<Item> items_;
  Menu* parent_ = nullptr;
  std::function<void()> changed_;
};

}  // namespace strevana
