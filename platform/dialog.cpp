#include "platform/dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include <limits>

namespace strevana {

Dialog::Dialog(const DialogTemplate& t, QWidget* owner, DialogProc proc, const IconProvider& icons)
    : QDialog(owner), proc_(std::move(proc)) {
  build(t, icons);
}

Dialog::~Dialog() = default;

void Dialog::build(const DialogTemplate& t, const IconProvider& icons) {
  setWindowTitle(QString::fromStdString(t.caption));
  QFont dialogFont(QString::fromStdString(t.fontName));
  dialogFont.setPointSize(t.fontPoints);
  setFont(dialogFont);
  // The average width of the alphabet, as the template units expect; a font
  // that measures nothing (no glyphs) keeps the 8-point defaults.
  QFontMetrics metrics(dialogFont);
  static const QString kAlphabet =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int alphabet = metrics.horizontalAdvance(kAlphabet);
  if (alphabet > 0 && metrics.height() > 0) {
    unitX1000_ = (alphabet * 1000 / 52 + 2) / 4;
    unitY1000_ = metrics.height() * 1000 / 8;
  }
  QRect frame = toPixels(t.x, t.y, t.width, t.height);
  setFixedSize(frame.size());

  QButtonGroup* radioGroup = nullptr;
  std::vector<QWidget*> groupBoxes;
  for (const auto& c : t.controls) {
    QWidget* w = nullptr;
    QString text = QString::fromStdString(c.text);
    int32_t id = c.id;
    switch (c.controlClass) {
      case ControlClass::kStatic: {
        auto* label = new QLabel(text, this);
        if (c.flags & kControlSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        w = label;
        break;
      }
      case ControlClass::kEdit: {
        auto* edit = new QLineEdit(text, this);
        if (c.flags & kControlNumber) {
          edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
        }
        if (c.flags & kControlPassword) edit->setEchoMode(QLineEdit::Password);
        w = edit;
        break;
      }
      case ControlClass::kButton:
      case ControlClass::kDefaultButton: {
        auto* button = new QPushButton(text, this);
        bool isDefault = c.controlClass == ControlClass::kDefaultButton;
        button->setAutoDefault(isDefault);
        button->setDefault(isDefault);
        connect(button, &QPushButton::clicked, this, [this, id] { onClicked(id); });
        w = button;
        break;
      }
      case ControlClass::kCheckBox: {
        auto* box = new QCheckBox(text, this);
        connect(box, &QCheckBox::clicked, this, [this, id] { onClicked(id); });
        w = box;
        break;
      }
      case ControlClass::kRadioButton: {
        auto* radio = new QRadioButton(text, this);
        if (radioGroup == nullptr || (c.flags & kControlGroup)) {
          radioGroup = new QButtonGroup(this);
          radioGroup->setExclusive(true);
        }
        radioGroup->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, id] { onClicked(id); });
        w = radio;
        break;
      }
      case ControlClass::kGroupBox: {
        auto* box = new QGroupBox(text, this);
        groupBoxes.push_back(box);
        w = box;
        break;
      }
      case ControlClass::kComboBox: {
        auto* combo = new QComboBox(this);
        combo->setEditable((c.flags & kControlDropDown) != 0);
        combo->setInsertPolicy(QComboBox::NoInsert);
        w = combo;
        break;
      }
      case ControlClass::kIcon: {
        auto* label = new QLabel(this);
        bool ok = false;
        int32_t iconId = text.toInt(&ok);
        QRect r = toPixels(c.x, c.y, c.width, c.height);
        if (ok && icons) {
          QPixmap pixmap = icons(iconId, std::min(r.width(), r.height()));
          if (!pixmap.isNull()) label->setPixmap(pixmap);
        }
        w = label;
        break;
      }
    }
    // A combo box's height in the template includes its drop-down list.
    QRect r = toPixels(c.x, c.y, c.width, c.height);
    if (c.controlClass == ControlClass::kComboBox) r.setHeight(w->sizeHint().height());
    w->setGeometry(r);
    w->setEnabled((c.flags & kControlDisabled) == 0);
    if (id >= 0 && items_.count(id) == 0) items_[id] = w;
  }
  for (QWidget* box : groupBoxes) box->lower();
}

QRect Dialog::toPixels(int32_t x, int32_t y, int32_t w, int32_t h) const {
  auto px = [this](int32_t v) {
    return static_cast<int>(static_cast<int64_t>(v) * unitX1000_ / 1000);
  };
  auto py = [this](int32_t v) {
    return static_cast<int>(static_cast<int64_t>(v) * unitY1000_ / 1000);
  };
  return QRect(px(x), py(y), px(w), py(h));
}

int32_t Dialog::run(const DialogTemplate* dialogTemplate, QWidget* owner, DialogProc proc,
                    const UiHooks& hooks, const IconProvider& icons) {
  if (dialogTemplate == nullptr) return -1;
  Dialog dialog(*dialogTemplate, owner, std::move(proc), icons);
  dialog.send(kWmInitDialog);
  if (!dialog.ended()) {
    if (hooks.dialog) {
      hooks.dialog(dialog);
    } else {
      dialog.exec();
    }
  }
  return dialog.ended() ? dialog.result() : kIdCancel;
}

LResult Dialog::send(uint32_t message, WParam wParam, LParam lParam) {
  if (!proc_) return 0;
  return proc_(*this, message, wParam, lParam);
}

void Dialog::onClicked(int32_t id) {
  if (ended_) return;
  send(kWmCommand, makeCommandWParam(static_cast<uint32_t>(id), kBnClicked), 0);
}

void Dialog::reject() { onClicked(kIdCancel); }
void Dialog::accept() { onClicked(kIdOk); }

void Dialog::endDialog(int32_t result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  done(result);
}

QWidget* Dialog::item(int32_t id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

std::string Dialog::itemText(int32_t id, size_t maxChars) const {
  QWidget* w = item(id);
  QString text;
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    text = edit->text();
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    text = combo->currentText();
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    text = label->text();
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    text = button->text();
  } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
    text = box->title();
  }
  if (static_cast<size_t>(text.size()) > maxChars) text.truncate(static_cast<qsizetype>(maxChars));
  return text.toStdString();
}

void Dialog::setItemText(int32_t id, const std::string& value) {
  QWidget* w = item(id);
  QString text = QString::fromStdString(value);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    // The digits-only filter guards typing, not text set by the program.
    edit->setText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (combo->isEditable()) combo->setEditText(text);
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(text);
  } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
    box->setTitle(text);
  }
}

std::optional<int64_t> Dialog::itemNumber(int32_t id, bool isSigned) const {
  if (item(id) == nullptr) return std::nullopt;
  std::string text = itemText(id);
  size_t i = 0, end = text.size();
  while (i < end && text[i] == ' ') ++i;
  while (end > i && text[end - 1] == ' ') --end;
  bool negative = false;
  if (isSigned && i < end && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == end) return std::nullopt;
  uint64_t value = 0;
  const uint64_t limit =
      isSigned ? static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0)
               : std::numeric_limits<uint32_t>::max();
  for (; i < end; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > limit) return std::nullopt;
  }
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

void Dialog::setItemNumber(int32_t id, int64_t value) { setItemText(id, std::to_string(value)); }

bool Dialog::isChecked(int32_t id) const {
  auto* button = qobject_cast<QAbstractButton*>(item(id));
  return button != nullptr && button->isChecked();
}

void Dialog::setChecked(int32_t id, bool checked) {
  auto* button = qobject_cast<QAbstractButton*>(item(id));
  if (button == nullptr) return;
  button->setCheckable(true);
  button->setChecked(checked);
}

bool Dialog::isEnabled(int32_t id) const {
  QWidget* w = item(id);
  return w != nullptr && w->isEnabled();
}

void Dialog::enableItem(int32_t id, bool enabled) {
  if (QWidget* w = item(id)) w->setEnabled(enabled);
}

void Dialog::comboInsert(int32_t id, int32_t index, const std::string& text) {
  auto* combo = qobject_cast<QComboBox*>(item(id));
  if (combo == nullptr) return;
  int position = index < 0 || index > combo->count() ? combo->count() : index;
  combo->insertItem(position, QString::fromStdString(text));
  combo->setCurrentIndex(-1);
}

int32_t Dialog::comboCount(int32_t id) const {
  auto* combo = qobject_cast<QComboBox*>(item(id));
  return combo == nullptr ? 0 : static_cast<int32_t>(combo->count());
}

std::string Dialog::comboText(int32_t id, int32_t index) const {
  auto* combo = qobject_cast<QComboBox*>(item(id));
  if (combo == nullptr || index < 0 || index >= combo->count()) return {};
  return combo->itemText(index).toStdString();
}

void Dialog::click(int32_t id) {
  QWidget* w = item(id);
  if (w == nullptr) {
    // Buttons 1 and 2 exist in every dialog, even a template without them.
    if (id == kIdOk || id == kIdCancel) onClicked(id);
    return;
  }
  if (!w->isEnabled()) return;
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->click();  // toggles as a user's click would, then reports it
  }
}

}  // namespace strevana
