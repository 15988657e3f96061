#include "platform/common_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include <algorithm>
#include <vector>

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
  std::string description = filter.description;
  if (!description.empty() && description.back() == ')') {
    const size_t open = description.rfind('(');
    if (open != std::string::npos && description.find('*', open) != std::string::npos) {
      description.erase(description.find_last_not_of(' ', open == 0 ? 0 : open - 1) + 1);
      if (open == 0) description.clear();
    }
  }
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= filter.patterns.size()) {
    size_t end = filter.patterns.find_first_of("; ", start);
    if (end == std::string::npos) end = filter.patterns.size();
    std::string one = filter.patterns.substr(start, end - start);
    if (!one.empty() && std::find(patterns.begin(), patterns.end(), one) == patterns.end()) {
      patterns.push_back(std::move(one));
    }
    start = end + 1;
  }
  std::string text = description + " (";
  for (size_t i = 0; i < patterns.size(); ++i) text += (i ? " " : "") + patterns[i];
  return text + ")";
}

bool showOpenFileName(const UiHooks& hooks, OpenFileRequest& request) {
  if (hooks.openFile) return hooks.openFile(request);
  QFileDialog dialog(request.owner);
  if (request.forSaving) {
    // Qt's save dialog asks before replacing an existing file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
  }
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
