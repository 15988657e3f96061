#include "platform/common_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace strevana {

int32_t showMessageBox(const UiHooks& hooks, QWidget* owner, const std::string& text,
                       const std::string& caption, uint32_t type) {
  MessageBoxRequest request;
  request.owner = owner;
  request.text = text;
  request.caption = caption;
  request.type = type;
  if (hooks.messageBox) return hooks.messageBox(request);
  QMessageBox box(owner);
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  box.setIcon((type & kMbIconError) != 0 ? QMessageBox::Critical : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return kMbResultOk;
}

std::string qtNameFilter(const FileFilter& filter) {
  std::string patterns = filter.patterns;
  for (char& c : patterns) {
    if (c == ';') c = ' ';
  }
  return filter.description + " (" + patterns + ")";
}

bool showOpenFileName(const UiHooks& hooks, OpenFileRequest& request) {
  if (hooks.openFile) return hooks.openFile(request);
  QFileDialog dialog(request.owner);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  QStringList filters;
  for (const auto& f : request.filters) filters << QString::fromStdString(qtNameFilter(f));
  dialog.setNameFilters(filters);
  int index = request.filterIndex - 1;
  if (index >= 0 && index < filters.size()) dialog.selectNameFilter(filters[index]);
  if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
  if (dialog.exec() != QDialog::Accepted) return false;
  QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  request.fileName = chosen.front().toStdString();
  request.chosenFilter = static_cast<int32_t>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  return true;
}

}  // namespace strevana
