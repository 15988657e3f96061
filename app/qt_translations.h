#pragma once
// Qt's own texts (file dialog, message box buttons) in the language of the
// chosen language module, from Qt's translation catalogues (Debian's
// qt6-translations-l10n puts them in Qt's translations folder).
//
// Choices made here:
// - A module's language is the part of its file name between
//   "strevanaPlayer_" and ".lang" ("strevanaPlayer_de.lang" is "de",
//   "strevanaPlayer_pt_BR.lang" "pt_BR"), the names Qt's catalogues use.
// - A language Qt has no catalogue for leaves Qt's texts in English, as does
//   the program's own entry.
//
// Threads: UI thread only. The installed translator is kept in AppGlobals.
#include <string>

namespace strevana {

// The language of a language module's file name; empty when it has none.
std::string languageOfModule(const std::string& fileName);

// Installs Qt's catalogue for language in place of the one installed before;
// an empty language (or one without a catalogue) removes it. True when a
// catalogue is installed afterwards.
bool useQtTranslations(const std::string& language);

}  // namespace strevana
