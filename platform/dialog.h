#pragma once
// Dialog: a modal dialog built from a DialogTemplate (so a language module can
// replace it) and driven by a dialog procedure, as the player's dialogs are
// written: the procedure gets kWmInitDialog once the controls exist, then
// kWmCommand (control id, kBnClicked) for every button, check box and radio
// button click; OK, Cancel, Escape and the close box arrive as commands 1 and
// 2. The procedure ends the dialog with endDialog(result).
//
// Geometry is in dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down. Radio buttons form
// groups that start at a control with the "group" flag. Controls are found by
// id; the accessors mirror the ones the procedures need (texts, numbers,
// check states, enabling, combo-box lists).
//
// Threads: UI thread only. Ownership: the dialog owns its controls; the
// template must outlive the call that shows it.
#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/resource_module.h"
#include "platform/ui_hooks.h"
#include "platform/window_messages.h"

class QButtonGroup;
class QWidget;

namespace strevana {

class Dialog;
using DialogProc =
    std::function<LResult(Dialog& dialog, uint32_t message, WParam wParam, LParam lParam)>;
// Makes the picture of an icon control from its resource id (the control's
// text); may be empty.
using IconProvider = std::function<QPixmap(int32_t resourceId, int32_t size)>;

class Dialog : public QDialog {
 public:
  Dialog(const DialogTemplate& dialogTemplate, QWidget* owner, DialogProc proc,
         const IconProvider& icons = {});
  ~Dialog() override;

  // Shows the dialog modally (or hands it to hooks.dialog) and returns the
  // result given to endDialog; -1 without a template.
  static int32_t run(const DialogTemplate* dialogTemplate, QWidget* owner, DialogProc proc,
                     const UiHooks& hooks, const IconProvider& icons = {});

  void endDialog(int32_t result);
  bool ended() const { return ended_; }
  int32_t result() const { return result_; }

  QWidget* item(int32_t id) const;
  // The control's text, cut to at most maxChars characters.
  std::string itemText(int32_t id, size_t maxChars = 1023) const;
  void setItemText(int32_t id, const std::string& text);
  // Reads the text as a number: blanks around it allowed, a minus only when
  // isSigned, digits only otherwise; nullopt for anything else or overflow.
  std::optional<int64_t> itemNumber(int32_t id, bool isSigned) const;
  void setItemNumber(int32_t id, int64_t value);
  bool isChecked(int32_t id) const;
  void setChecked(int32_t id, bool checked);
  bool isEnabled(int32_t id) const;
  void enableItem(int32_t id, bool enabled);

  // Combo boxes: index -1 appends.
  void comboInsert(int32_t id, int32_t index, const std::string& text);
  int32_t comboCount(int32_t id) const;
  std::string comboText(int32_t id, int32_t index) const;

  // What a user's click does: toggles a check box, selects a radio button,
  // then sends the click to the procedure. Ignored for disabled controls.
  void click(int32_t id);
  // What typing into an edit field does (replaces its text).
  void type(int32_t id, const std::string& text) { setItemText(id, text); }

  // Sends a message to the procedure.
  LResult send(uint32_t message, WParam wParam = 0, LParam lParam = 0);

  // Pixels per dialog unit across and down, times 1000.
  int32_t unitX1000() const { return unitX1000_; }
  int32_t unitY1000() const { return unitY1000_; }

  // Escape and the close box end up here; both only report the command.
  void reject() override;
  void accept() override;

 private:
  void build(const DialogTemplate& t, const IconProvider& icons);
  QRect toPixels(int32_t x, int32_t y, int32_t w, int32_t h) const;
  void onClicked(int32_t id);

  DialogProc proc_;
  std::map<int32_t, QWidget*> items_;
  int32_t unitX1000_ = 1500;
  int32_t unitY1000_ = 1625;
  bool ended_ = false;
  int32_t result_ = kIdCancel;
};

}  // namespace strevana
