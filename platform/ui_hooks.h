#pragma once
// UiHooks: stand-ins for the modal parts of the user interface (message boxes,
// open-file dialogs, template dialogs, popup menus). Each hook that is set
// answers in place of the user, without blocking, so tests can drive every
// flow that would otherwise wait for a person. Unset hooks mean the real Qt
// dialogs. The shell keeps the one set in its process-wide record.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace strevana {

class Dialog;
class Menu;

// Message box types and results (the subset the player uses).
constexpr uint32_t kMbOk = 0x0000;
constexpr uint32_t kMbIconError = 0x0010;
constexpr int32_t kMbResultOk = 1;

struct MessageBoxRequest {
  QWidget* owner = nullptr;
  std::string text;
  std::string caption;
  uint32_t type = kMbOk;
};

// One filter pair of an open-file dialog: description and patterns
// separated by ";" ("*.mp4;*.3gp").
struct FileFilter {
  std::string description;
  std::string patterns;
};

struct OpenFileRequest {
  QWidget* owner = nullptr;
  std::vector<FileFilter> filters;
  int32_t filterIndex = 1;  // 1-based, as chosen when the dialog opens
  std::string initialName;
  // A dialog for a file to write: names that do not exist yet are accepted,
  // an existing one only after the user agrees to replace it.
  bool forSaving = false;
  // Results when the dialog was confirmed.
  std::string fileName;  // full path, UTF-8, never cut
  int32_t chosenFilter = 1;
};

struct UiHooks {
  // Returns the button pressed (kMbResultOk).
  std::function<int32_t(const MessageBoxRequest&)> messageBox;
  // Fills fileName (and chosenFilter) and returns true to confirm.
  std::function<bool(OpenFileRequest&)> openFile;
  // Called once the dialog is built and initialised, in place of the modal
  // loop; it works the controls and ends the dialog. A dialog the hook leaves
  // open ends as Cancel.
  std::function<void(Dialog&)> dialog;
  // Returns the command chosen from the popup, or 0 for none.
  std::function<int32_t(const Menu&)> popupMenu;
};

}  // namespace strevana
