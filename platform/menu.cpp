#include "platform/menu.h"

#include <QAction>
#include <QMenu>

namespace strevana {

namespace {

void addTemplateItems(Menu& menu, const std::vector<MenuItemTemplate>& items) {
  for (const auto& t : items) {
    switch (t.kind) {
      case MenuItemTemplate::Kind::kItem: menu.appendItem(t.id, t.text); break;
      case MenuItemTemplate::Kind::kSeparator: menu.appendSeparator(); break;
      case MenuItemTemplate::Kind::kPopup: {
        auto sub = std::make_unique<Menu>();
        addTemplateItems(*sub, t.children);
        menu.appendPopup(std::move(sub), t.text);
        break;
      }
    }
  }
}

}  // namespace

std::unique_ptr<Menu> Menu::fromTemplate(const MenuTemplate& menuTemplate) {
  auto menu = std::make_unique<Menu>();
  addTemplateItems(*menu, menuTemplate.items);
  return menu;
}

Menu* Menu::subMenu(size_t position) const {
  if (position >= items_.size()) return nullptr;
  return items_[position].submenu.get();
}

Menu::Item* Menu::find(int32_t id) {
  for (auto& item : items_) {
    if (item.kind == Kind::kPopup) {
      if (Item* inner = item.submenu->find(id)) return inner;
    } else if (item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

const Menu::Item* Menu::findItem(int32_t id) const { return const_cast<Menu*>(this)->find(id); }

bool Menu::checkItem(int32_t id, bool checked) {
  Item* item = find(id);
  if (item == nullptr) return false;
  if (item->checked != checked) {
    item->checked = checked;
    notify();
  }
  return true;
}

bool Menu::isChecked(int32_t id) const {
  const Item* item = findItem(id);
  return item != nullptr && item->checked;
}

bool Menu::enableItem(int32_t id, bool enabled) {
  Item* item = find(id);
  if (item == nullptr) return false;
  if (item->enabled != enabled) {
    item->enabled = enabled;
    notify();
  }
  return true;
}

bool Menu::deleteItem(int32_t id) {
  for (size_t i = 0; i < items_.size(); ++i) {
    Item& item = items_[i];
    if (item.kind == Kind::kPopup) {
      if (item.submenu->deleteItem(id)) return true;  // that menu notified
    } else if (item.id == id) {
      items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
      notify();
      return true;
    }
  }
  return false;
}

bool Menu::deletePosition(size_t position) {
  if (position >= items_.size()) return false;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(position));
  notify();
  return true;
}

void Menu::appendItem(int32_t id, std::string text, bool checked) {
  Item item;
  item.kind = Kind::kItem;
  item.id = id;
  item.text = std::move(text);
  item.checked = checked;
  items_.push_back(std::move(item));
  notify();
}

void Menu::appendSeparator() {
  Item item;
  item.kind = Kind::kSeparator;
  items_.push_back(std::move(item));
  notify();
}

void Menu::appendPopup(std::unique_ptr<Menu> submenu, std::string text) {
  if (!submenu) return;
  submenu->parent_ = this;
  submenu->changed_ = nullptr;
  Item item;
  item.kind = Kind::kPopup;
  item.text = std::move(text);
  item.submenu = std::move(submenu);
  items_.push_back(std::move(item));
  notify();
}

void Menu::notify() {
  Menu* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  if (root->changed_) root->changed_();
}

QString Menu::qtText(const std::string& text) { return QString::fromStdString(text); }

void Menu::fillQMenu(QMenu& target, const std::function<void(int32_t)>& onCommand) const {
  for (const auto& item : items_) {
    switch (item.kind) {
      case Kind::kSeparator: target.addSeparator(); break;
      case Kind::kPopup: {
        QMenu* sub = target.addMenu(qtText(item.text));
        sub->setEnabled(item.enabled);
        item.submenu->fillQMenu(*sub, onCommand);
        break;
      }
      case Kind::kItem: {
        QAction* action = target.addAction(qtText(item.text));
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        action->setEnabled(item.enabled);
        action->setData(item.id);
        int32_t id = item.id;
        QObject::connect(action, &QAction::triggered, action, [onCommand, id] { onCommand(id); });
        break;
      }
    }
  }
}

}  // namespace strevana
