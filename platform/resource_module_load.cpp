// ResourceModule's file side: reading a module from disk or from the compiled-in
// Qt resources. Kept apart from the parser so that the parser builds without Qt.
#include <QByteArray>
#include <QFile>
#include <QString>

#include "platform/resource_module.h"

namespace strevana {

std::unique_ptr<ResourceModule> ResourceModule::load(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  if (file.size() > static_cast<qint64>(kMaxFileBytes)) return nullptr;
  QByteArray bytes = file.read(static_cast<qint64>(kMaxFileBytes) + 1);
  if (bytes.size() > static_cast<qsizetype>(kMaxFileBytes)) return nullptr;
  std::string name = path;
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return parse(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
               std::move(name));
}

const ResourceModule& ResourceModule::program() {
  // Immutable after the first call; an unreadable built-in resource (a broken
  // build) still gives an empty module rather than a crash.
  static const std::unique_ptr<ResourceModule> module = [] {
    auto m = load(":/strevana/strevanaPlayer.lang");
    if (!m) m = std::make_unique<ResourceModule>();
    m->fileName_ = "application";
    return m;
  }();
  return *module;
}

}  // namespace strevana
