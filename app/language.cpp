// Open: finding, loading and switching language modules is not built yet.
// applyLanguage already falls back to the program's own resources, which is
// all it does while the table is empty.
#include "app/language.h"

#include "app/app_globals.h"

namespace strevana {

void enumerateLanguageModules() {}

int32_t readLanguageSetting() { return 0; }

void applyLanguage(int32_t /*index*/) {
  app().languageModule.reset();
  app().resourceModule = nullptr;
}

void writeLanguageSetting(int32_t /*index*/) {}

}  // namespace strevana
