#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/app_globals.h"

namespace strevana {

std::string languageOfModule(const std::string& fileName) {
  if (!isLanguageModuleName(fileName)) return {};
  const std::string prefix = LanguageModuleTable::kFilePrefix;
  const std::string suffix = LanguageModuleTable::kFileSuffix;
  return fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
}

bool useQtTranslations(const std::string& language) {
  AppGlobals& g = app();
  // Removing the old one first: the application asks translators newest
  // first, and a leftover would answer for the new language.
  g.qtTranslator.reset();
  if (language.empty() || QCoreApplication::instance() == nullptr) return false;
  auto translator = std::make_unique<QTranslator>();
  // "qt_LANG" gathers the catalogues of every Qt module (qtbase and more).
  if (!translator->load(QStringLiteral("qt_") + QString::fromStdString(language),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  g.qtTranslator = std::move(translator);
  return true;
}

}  // namespace strevana
