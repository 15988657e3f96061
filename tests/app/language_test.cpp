// Language modules: finding them beside the program, the stored choice, and
// switching menus, dialogs, accelerators and texts while the player runs.
#include "app/language.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_globals.h"
#include "app/main_window.h"
#include "app/qt_translations.h"
#include "app/recent_list.h"
#include "platform/common_dialogs.h"
#include "platform/dialog.h"
#include "platform/menu.h"
#include "shell2_support.h"
#include "shell_fixture.h"

namespace strevana {
namespace {

using testing::clearSettings;
using testing::fixture;
using testing::germanModuleSource;
using testing::makeTempFolder;
using testing::setSetting;
using testing::settingString;
using testing::writeText;

constexpr const char* kGermanFile = "strevanaPlayer_de.lang";

// A small module: its display name and a File menu of its own.
std::string smallModule(const std::string& displayName, const std::string& fileTitle = "&Fichier") {
  return "[strings]\n141 = Impossible d'ouvrir\n145 = Erreur\n150 = Langue\n2000 = " + displayName +
         "\n[menu 109]\npopup = " + fileTitle +
         "\n  item 32771 = &Ouvrir\n  item 32786 = &Info\n  separator\n  item 105 = &Quitter\nend\n"
         "popup = &Vue\n  item 32775 = 100%\nend\npopup = &Options\n  item 32772 = &Repeter\nend\n";
}

class LanguageTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    clearSettings();
    folder = makeTempFolder("languages");
    app().languages.folder = folder;
  }

  void addModule(const std::string& fileName, const std::string& text) {
    writeText((std::filesystem::path(folder) / fileName).string(), text);
  }
  void addGerman() {
    std::filesystem::copy_file(germanModuleSource(), std::filesystem::path(folder) / kGermanFile);
  }

  // The Language submenu of Options (the last entry, a popup with 5000).
  static const Menu* languageMenu() {
    Menu* options = bar().subMenu(2);
    if (options == nullptr || options->itemCount() == 0) return nullptr;
    const Menu* last = options->subMenu(options->itemCount() - 1);
    if (last == nullptr || last->findItem(kCmdLanguageBase) == nullptr) return nullptr;
    return last;
  }
  static std::string languageMenuTitle() {
    Menu* options = bar().subMenu(2);
    return options->item(options->itemCount() - 1).text;
  }
  static std::string barTitle(size_t i) { return bar().item(i).text; }

  std::string folder;
};

TEST_F(LanguageTest, NoModulesMeansNoLanguageSubmenuAndNothingWritten) {
  addModule("other_de.lang", smallModule("Deutsch"));
  addModule("strevanaPlayer_de.txt", smallModule("Deutsch"));
  start("");
  EXPECT_EQ(app().languages.count, 0);
  EXPECT_EQ(languageMenu(), nullptr);
  EXPECT_FALSE(settingString("Language"));
  EXPECT_EQ(&currentResources(), &ResourceModule::program());
}

TEST_F(LanguageTest, ModulesWithoutADisplayNameAreNotListed) {
  addModule("strevanaPlayer_a.lang", "[strings]\n141 = Nope\n");
  addModule("strevanaPlayer_b.lang", "");
  start("");
  EXPECT_EQ(app().languages.count, 0);
  EXPECT_EQ(languageMenu(), nullptr);
  EXPECT_FALSE(settingString("Language"));
}

TEST_F(LanguageTest, AModuleWithTooManyMenuItemsIsNotListedNorApplied) {
  // 512 popups of 512 entries: within the file size cap, far past the cap on
  // menu entries. Stored as the choice, so a listed module would be built.
  std::string huge = smallModule("Huge") + "[menu 171]\n";
  for (int p = 0; p < 512; ++p) {
    huge += "popup = p\n";
    for (int i = 0; i < 511; ++i) huge += "item 7 = x\n";
    huge += "end\n";
  }
  ASSERT_LE(huge.size(), ResourceModule::kMaxFileBytes);
  addModule("strevanaPlayer_huge.lang", huge);
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  setSetting("Language", std::string("strevanaPlayer_huge.lang"));
  start("");
  const LanguageModuleTable& t = app().languages;
  ASSERT_EQ(t.count, 2);
  EXPECT_EQ(t.entries[1].fileName, "strevanaPlayer_fr.lang");
  EXPECT_EQ(t.current, 0);
  EXPECT_EQ(&currentResources(), &ResourceModule::program());
  EXPECT_EQ(barTitle(0), "&File");
}

TEST_F(LanguageTest, OneValidModuleGivesTwoChoices) {
  addModule("strevanaPlayer_fr.lang", smallModule("Fran\xC3\xA7" "ais"));
  start("");
  const LanguageModuleTable& t = app().languages;
  ASSERT_EQ(t.count, 2);
  EXPECT_EQ(t.entries[0].fileName, "application");
  EXPECT_EQ(t.entries[0].displayName, "English");
  EXPECT_EQ(t.entries[1].fileName, "strevanaPlayer_fr.lang");
  EXPECT_EQ(t.entries[1].displayName, "Fran\xC3\xA7" "ais");
  const Menu* menu = languageMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(languageMenuTitle(), "Language");
  ASSERT_EQ(menu->itemCount(), 2u);
  EXPECT_EQ(menu->item(0).text, "English");
  EXPECT_TRUE(menu->item(0).checked);
  EXPECT_FALSE(menu->item(1).checked);
  // The start-up choice is stored even when it is the program itself.
  EXPECT_EQ(settingString("Language"), "application");
}

TEST_F(LanguageTest, AnEleventhModuleIsNotListed) {
  for (int i = 0; i < 11; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "strevanaPlayer_%02d.lang", i);
    addModule(name, smallModule("Language " + std::to_string(i)));
  }
  // One without a display name in between: its slot goes to the next.
  addModule("strevanaPlayer_03x.lang", "[strings]\n141 = x\n");
  start("");
  const LanguageModuleTable& t = app().languages;
  ASSERT_EQ(t.count, LanguageModuleTable::kCapacity);
  EXPECT_EQ(t.entries[1].fileName, "strevanaPlayer_00.lang");
  EXPECT_EQ(t.entries[4].fileName, "strevanaPlayer_03.lang");
  EXPECT_EQ(t.entries[5].fileName, "strevanaPlayer_04.lang");
  EXPECT_EQ(t.entries[9].fileName, "strevanaPlayer_08.lang");
  ASSERT_NE(languageMenu(), nullptr);
  EXPECT_EQ(languageMenu()->itemCount(), 10u);
}

TEST_F(LanguageTest, AStoredLanguageThatIsGoneSelectsTheProgram) {
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  setSetting("Language", std::string("strevanaPlayer_gone.lang"));
  start("");
  EXPECT_EQ(readLanguageSetting(), 0);
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(barTitle(0), "&File");
  EXPECT_EQ(settingString("Language"), "application");
}

TEST_F(LanguageTest, TheStoredLanguageIsAppliedAtStart) {
  addGerman();
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  setSetting("Language", std::string("strevanaPlayer_fr.lang"));
  start("");
  ASSERT_EQ(app().languages.count, 3);
  EXPECT_EQ(app().languages.entries[1].fileName, kGermanFile);
  EXPECT_EQ(app().languages.current, 2);
  EXPECT_EQ(barTitle(0), "&Fichier");
  EXPECT_EQ(languageMenuTitle(), "Langue");
  EXPECT_TRUE(languageMenu()->item(2).checked);
}

TEST_F(LanguageTest, SwitchingAtRunTimeReplacesMenusDialogsAndTexts) {
  addGerman();
  start("");
  ASSERT_EQ(app().languages.count, 2);
  EXPECT_EQ(app().languages.entries[1].displayName, "Deutsch");
  command(kCmdLanguageBase + 1);

  EXPECT_EQ(app().languages.current, 1);
  EXPECT_EQ(settingString("Language"), kGermanFile);
  EXPECT_EQ(barTitle(0), "&Datei");
  EXPECT_EQ(barTitle(1), "&Ansicht");
  EXPECT_EQ(barTitle(2), "&Optionen");
  EXPECT_EQ(barTitle(3), "&Hilfe");
  EXPECT_EQ(bar().findItem(kCmdOpen)->text, "\xC3\x96&ffnen");
  EXPECT_EQ(bar().findItem(kCmdMovieInfo)->text, "Film&informationen");
  // Entries the shell always takes out stay out in the new menus too.
  EXPECT_EQ(bar().findItem(kCmdLoadBackground), nullptr);
  EXPECT_EQ(bar().findItem(kCmdSaveStream), nullptr);
  EXPECT_EQ(languageMenuTitle(), "Sprache");
  ASSERT_NE(languageMenu(), nullptr);
  EXPECT_TRUE(languageMenu()->item(1).checked);
  EXPECT_FALSE(languageMenu()->item(0).checked);
  ASSERT_TRUE(app().popupMenu);
  EXPECT_EQ(app().popupMenu->item(0).text, "Ansicht");
  EXPECT_EQ(app().accelerators, currentResources().findAccelerators(109));
  ASSERT_NE(app().accelerators, nullptr);
  EXPECT_EQ(app().accelerators->entries.size(), 2u);

  // Dialogs come from the module.
  std::string cancelText;
  answerDialog = [&](Dialog& d) {
    cancelText = d.itemText(kIdCancel);
    d.click(kIdCancel);
  };
  command(kCmdNetworkOptions);
  ASSERT_FALSE(dialogCaptions.empty());
  EXPECT_EQ(dialogCaptions.back(), "Netzwerkoptionen");
  EXPECT_EQ(cancelText, "Abbrechen");

  // So does the "Cannot open" message.
  const std::string missing = ::testing::TempDir() + "nicht-da.mp4";
  openLocalFile(app().mainWindow.get(), missing);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Kann nicht \xC3\xB6" "ffnen: " + missing);
  EXPECT_EQ(boxes[0].caption, "Fehler");

  // And back.
  command(kCmdLanguageBase);
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(settingString("Language"), "application");
  EXPECT_EQ(barTitle(0), "&File");
  EXPECT_EQ(languageMenuTitle(), "Language");
  command(kCmdNetworkOptions);
  EXPECT_EQ(dialogCaptions.back(), "Network Options");
  EXPECT_EQ(cancelText, "Cancel");
}

// Through Qt's own menu bar: the action that reports the choice belongs to
// the bar that the switch replaces.
// The buttons of Qt's own file dialog, read from inside its modal loop.
std::vector<std::string> fileDialogButtons() {
  std::vector<std::string> texts;
  QTimer::singleShot(0, [&texts] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>()) {
      for (QAbstractButton* b : box->buttons()) texts.push_back(b->text().toStdString());
    }
    dialog->reject();
  });
  OpenFileRequest request;
  request.filters = {{"MPEG-4 File (*.mp4)", "*.mp4"}};
  showOpenFileName(UiHooks{}, request);
  return texts;
}

bool has(const std::vector<std::string>& texts, const std::string& wanted) {
  return std::find(texts.begin(), texts.end(), wanted) != texts.end();
}

TEST_F(LanguageTest, QtsOwnDialogsFollowTheChosenLanguage) {
  addGerman();
  start("");
  EXPECT_TRUE(has(fileDialogButtons(), "Cancel"));
  command(kCmdLanguageBase + 1);
  ASSERT_EQ(app().languages.current, 1);
  ASSERT_NE(app().qtTranslator, nullptr) << "Qt's German catalogue (qt6-translations-l10n) is missing";
  const auto german = fileDialogButtons();
  EXPECT_TRUE(has(german, "Abbrechen")) << (german.empty() ? "no buttons" : german.front());
  EXPECT_FALSE(has(german, "Cancel"));
  // Back to the program's own language: Qt's English again.
  command(kCmdLanguageBase);
  EXPECT_EQ(app().qtTranslator, nullptr);
  EXPECT_TRUE(has(fileDialogButtons(), "Cancel"));
}

TEST(QtTranslations, ALanguageIsTheModulesFileNameSuffix) {
  const struct {
    const char* fileName;
    const char* language;
  } cases[] = {{"strevanaPlayer_de.lang", "de"},
               {"strevanaPlayer_pt_BR.lang", "pt_BR"},
               {"strevanaPlayer_.lang", ""},
               {"application", ""},
               {"other_de.lang", ""}};
  for (const auto& c : cases) EXPECT_EQ(languageOfModule(c.fileName), c.language) << c.fileName;
}

TEST_F(LanguageTest, ChoosingFromTheShownMenuBar) {
  addGerman();
  start("");
  settle();
  QAction* deutsch = nullptr;
  for (QMenu* menu : app().mainWindow->menuBar()->findChildren<QMenu*>()) {
    for (QAction* action : menu->actions()) {
      if (action->text() == "Deutsch") deutsch = action;
    }
  }
  ASSERT_NE(deutsch, nullptr);
  deutsch->trigger();
  settle();
  EXPECT_EQ(app().languages.current, 1);
  QStringList titles;
  for (QAction* action : app().mainWindow->menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles, (QStringList{"&Datei", "&Ansicht", "&Optionen", "&Hilfe"}));
}

TEST_F(LanguageTest, SwitchingKeepsThisRunsRecentEntries) {
  addGerman();
  start("");
  const std::string clip = fixture("mpeg4_aac.mp4");
  openLocalFile(app().mainWindow.get(), clip);
  ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  command(kCmdLanguageBase + 1);
  ASSERT_EQ(app().recentList.count, 1);
  const Menu& file = *bar().subMenu(0);
  ASSERT_GE(file.itemCount(), 2u);
  EXPECT_EQ(file.item(file.itemCount() - 1).id, 1);
  EXPECT_EQ(file.item(file.itemCount() - 1).text, clip);
  EXPECT_EQ(file.item(file.itemCount() - 2).kind, Menu::Kind::kSeparator);
  EXPECT_EQ(file.item(file.itemCount() - 3).text, "&Beenden");
}

TEST_F(LanguageTest, AModuleGoneBeforeItIsChosenFallsBackToTheProgram) {
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  start("");
  ASSERT_EQ(app().languages.count, 2);
  std::filesystem::remove(std::filesystem::path(folder) / "strevanaPlayer_fr.lang");
  command(kCmdLanguageBase + 1);
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(&currentResources(), &ResourceModule::program());
  EXPECT_EQ(barTitle(0), "&File");
  EXPECT_EQ(settingString("Language"), "application");
}

TEST_F(LanguageTest, AModuleWithoutMenusOrKeysKeepsTheCurrentOnes) {
  addModule("strevanaPlayer_min.lang", "[strings]\n2000 = Minimal\n141 = Zut\n");
  addModule("strevanaPlayer_fr.lang", smallModule("Francais"));
  start("");
  ASSERT_EQ(app().languages.count, 3);
  ASSERT_EQ(app().languages.entries[1].displayName, "Francais");
  command(kCmdLanguageBase + 1);  // French menus
  EXPECT_EQ(barTitle(0), "&Fichier");
  command(kCmdLanguageBase + 2);  // strings only
  EXPECT_EQ(barTitle(0), "&Fichier");
  EXPECT_EQ(resString(141), "Zut");
  ASSERT_NE(app().accelerators, nullptr);
  EXPECT_EQ(app().accelerators, ResourceModule::program().findAccelerators(109));
}

TEST_F(LanguageTest, AnIndexOutsideTheTableOnlyDropsTheModule) {
  addGerman();
  start("");
  command(kCmdLanguageBase + 1);
  applyLanguage(7);
  EXPECT_EQ(&currentResources(), &ResourceModule::program());
  EXPECT_EQ(app().accelerators, ResourceModule::program().findAccelerators(109));
  EXPECT_EQ(settingString("Language"), kGermanFile) << "nothing is written for a bad index";
}

// The shipped German module carries everything the program's own resources
// carry, under the same ids and in the same shape.
TEST(GermanModuleTest, IsCompleteAndShapedLikeTheProgramsResources) {
  std::unique_ptr<ResourceModule> de = ResourceModule::load(germanModuleSource());
  ASSERT_NE(de, nullptr) << germanModuleSource();
  EXPECT_TRUE(de->errors().empty()) << de->errors().front();
  const ResourceModule& en = ResourceModule::program();

  std::string text;
  ASSERT_TRUE(de->findString(2000, text));
  EXPECT_EQ(text, "Deutsch");
  for (int32_t id = 100; id <= 2000; ++id) {
    std::string english;
    if (!en.findString(id, english)) continue;
    EXPECT_TRUE(de->findString(id, text)) << "string " << id;
  }
  for (int32_t id : {112, 113, 115, 141, 145, 147, 150}) {
    std::string english, german;
    en.findString(id, english);
    de->findString(id, german);
    EXPECT_NE(english, german) << "string " << id << " is not translated";
  }

  std::function<void(const std::vector<MenuItemTemplate>&, const std::vector<MenuItemTemplate>&)> sameShape =
      [&](const auto& a, const auto& b) {
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) {
          EXPECT_EQ(a[i].kind, b[i].kind);
          EXPECT_EQ(a[i].id, b[i].id);
          EXPECT_EQ(a[i].text.empty(), b[i].text.empty());
          sameShape(a[i].children, b[i].children);
        }
      };
  for (int32_t id : {109, 171}) {
    ASSERT_NE(de->findMenu(id), nullptr) << "menu " << id;
    sameShape(en.findMenu(id)->items, de->findMenu(id)->items);
  }
  ASSERT_NE(de->findAccelerators(109), nullptr);
  EXPECT_EQ(de->findAccelerators(109)->entries.size(), en.findAccelerators(109)->entries.size());
  for (int32_t id : {103, 170, 172, 176, 177}) {
    const DialogTemplate* d = de->findDialog(id);
    const DialogTemplate* e = en.findDialog(id);
    ASSERT_NE(d, nullptr) << "dialog " << id;
    ASSERT_EQ(d->controls.size(), e->controls.size()) << "dialog " << id;
    EXPECT_FALSE(d->caption.empty());
    for (size_t i = 0; i < d->controls.size(); ++i) {
      EXPECT_EQ(d->controls[i].id, e->controls[i].id) << "dialog " << id << " control " << i;
      EXPECT_EQ(d->controls[i].controlClass, e->controls[i].controlClass);
      EXPECT_EQ(d->controls[i].flags, e->controls[i].flags);
    }
  }
}

TEST(LanguageNameTest, OnlyTheModulePatternMatches) {
  EXPECT_TRUE(isLanguageModuleName("strevanaPlayer_de.lang"));
  EXPECT_TRUE(isLanguageModuleName("strevanaPlayer_.lang"));
  EXPECT_FALSE(isLanguageModuleName("strevanaPlayer.lang"));
  EXPECT_FALSE(isLanguageModuleName("StrevanaPlayer_de.lang"));
  EXPECT_FALSE(isLanguageModuleName("strevanaPlayer_de.lang.bak"));
  EXPECT_FALSE(isLanguageModuleName("strevanaPlayer_de.dll"));
}

}  // namespace
}  // namespace strevana
